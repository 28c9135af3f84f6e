// The notice senders. Every write to a notification connection happens under the session's
// notifyMutex, so notices from the signal workers and the acknowledgement probe never
// interleave on one socket; registry locks are held only for the look-up, never for I/O.
#include "service/notify/kel_client_notify.h"

#include <cstring>
#include <vector>

#include "service/session/kel_client_hash.h"
#include "sharedlib/diag.h"
#include "sharedlib/kel_thread.h"
#include "sharedlib/packet.h"

namespace {
constexpr unsigned int kMaxNoticePacket = 2064;
constexpr unsigned int kAckWaitSec = 2;
constexpr long kLockRetryMs = 100;
constexpr int kLockAttempts = 3;
}  // namespace

bool KelClientNotify::SendNotice(const _KelHostEventData& notice, int* socket) {
  if (socket == nullptr || *socket < 0) return false;
  if (kPacketOverhead + 1u + notice.len > kMaxNoticePacket) {
    KEL_PRINT(ZEP_DBG_ERROR, "Event Data length is too long\n");
    return false;
  }
  const unsigned short payloadLen = static_cast<unsigned short>(1 + notice.len);
  std::vector<unsigned char> packet(payloadLen + kPacketOverhead);
  packet[0] = static_cast<unsigned char>(notice.type);
  if (notice.len != 0 && notice.data != nullptr) memcpy(&packet[1], notice.data, notice.len);
  AssemblePacket(KEL_CMD_NOTIFY, packet.data(), payloadLen, packet.data());
  return SendPacket(*socket, packet.data(), static_cast<unsigned short>(packet.size())) == 0;
}

bool KelClientNotify::BroadcastNotice(const _KelHostEventData& notice) {
  if (!m_pHash->r_lock(__FILE__, __LINE__)) {
    KEL_PRINT(ZEP_DBG_ERROR, "Lock the ClientHash failed\n");
    return false;
  }
  std::vector<int> ids(static_cast<size_t>(m_pHash->GetCurClientNum()) + 1);
  const int count = m_pHash->GetAllClientID(ids.data());
  m_pHash->r_unlock(__FILE__, __LINE__);
  for (int i = 0; i < count; ++i) {
    bool lockFailed = true;
    KelClient* client = nullptr;
    // A registry that stays locked (a stuck writer) must not keep the worker here for ever:
    // the client misses this notice instead.
    for (int attempt = 0; lockFailed && attempt < kLockAttempts; ++attempt) {
      if (attempt > 0) KelBaseThread::KelThreadSleep(kLockRetryMs);
      lockFailed = false;
      client = PinClient(m_pHash, ids[i], &lockFailed);
      if (lockFailed) KEL_PRINT(ZEP_DBG_ERROR, "Lock the ClientHash failed\n");
    }
    if (client == nullptr) continue;  // logged out meanwhile, or the registry stayed locked
    KelRemoteClient* session = client->pRemoteClient;
    session->notifyMutex.lock();
    if (session->notifySocket.sock != -1) {
      SendNotice(notice, &session->notifySocket.sock);
      KEL_PRINT(ZEP_DBG_INFO, "Send notice to Client[%d]\n", ids[i]);
    }
    session->notifyMutex.unlock();
    UnpinClient(client);
  }
  return true;
}

bool KelClientAck::AckClient(int id) {
  KelClient* client = PinClient(m_pHash, id);
  if (client == nullptr) return false;
  KelRemoteClient* session = client->pRemoteClient;
  session->notifyMutex.lock();
  const int sock = session->notifySocket.sock;
  bool answered = false;
  if (sock == -1) {
    KEL_PRINT(ZEP_DBG_WARN, "The event notify socket has not been created for client[%d]\n", id);
  } else {
    const _KelHostEventData probe{KEL_NOTICE_ACK, 0, nullptr};
    int target = sock;
    if (KelClientNotify(m_pHash).SendNotice(probe, &target)) {
      unsigned char code = 0;
      unsigned short len = 0;
      std::vector<unsigned char> answer(kMaxPayload);
      answered = WaitCommand(sock, &code, answer.data(), &len, kAckWaitSec, 0, 1) == 0;
    }
    if (!answered) KEL_PRINT(ZEP_DBG_WARN, "ACK to Client[%d] failed: No response\n", id);
  }
  // The count is read by the watchdog; it shares the mutex that orders the probe.
  session->ackMissCount = answered ? 0 : session->ackMissCount + 1;
  session->notifyMutex.unlock();
  UnpinClient(client);
  return true;
}
