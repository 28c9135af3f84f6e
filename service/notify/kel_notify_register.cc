#include "service/notify/kel_notify_register.h"

#include <arpa/inet.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "service/notify/kel_client_notify.h"
#include "service/session/kel_client_hash.h"
#include "sharedlib/cmd_codes.h"
#include "sharedlib/diag.h"

int ParseNotifyRegistration(unsigned char code, const unsigned char* data, unsigned short len) {
  if (code != KEL_CMD_NOTIFY || data == nullptr || len < 2 || data[0] != 1) return -1;
  // The text is bounded by the packet: a missing terminator must not read past it.
  const char* text = reinterpret_cast<const char*>(data + 1);
  const std::string id(text, strnlen(text, static_cast<size_t>(len - 1)));
  if (id.empty() || id.find_first_not_of("0123456789") != std::string::npos) return -1;
  errno = 0;
  const long value = strtol(id.c_str(), nullptr, 10);
  if (errno != 0 || value > INT_MAX) return -1;
  return static_cast<int>(value);
}

bool NotifyPeerAllowed(in_addr_t loginAddr, const sockaddr_in& peer) {
  return peer.sin_family == AF_INET && loginAddr != 0 && peer.sin_addr.s_addr == loginAddr;
}

KelNotifyRegResult RegisterNotifySocket(KelClientHash* hash, int id, int sock,
                                        const sockaddr_in& peer) {
  KelClient* client = PinClient(hash, id);
  if (client == nullptr) {
    KEL_PRINT(ZEP_DBG_WARN, "Cannot find Client[%d]\n", id);
    return KelNotifyRegResult::kUnknownClient;
  }
  KelRemoteClient* session = client->pRemoteClient;
  if (!NotifyPeerAllowed(session->loginAddr, peer)) {
    char from[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &peer.sin_addr, from, sizeof(from));
    KEL_PRINT(ZEP_DBG_WARN, "Client[%d] notify socket refused: %s is not its login address\n", id,
              from);
    UnpinClient(client);
    return KelNotifyRegResult::kRefusedPeer;
  }
  // The new connection is not shared yet; confirm before it replaces the old one.
  int target = sock;
  const _KelHostEventData confirm{KEL_NOTICE_REGISTERED, 0, nullptr};
  if (!KelClientNotify(hash).SendNotice(confirm, &target)) {
    KEL_PRINT(ZEP_DBG_ERROR, "Client[%d] notify socket confirmation failed\n", id);
    UnpinClient(client);
    return KelNotifyRegResult::kSendFailed;
  }
  session->notifyMutex.lock();
  const int replaced = session->notifySocket.sock;
  session->notifySocket.sock = sock;
  session->notifySocket.peer = peer;
  // Closed under the mutex: every write to the old connection happens under it too.
  if (replaced != -1) close(replaced);
  session->notifyMutex.unlock();
  UnpinClient(client);
  return KelNotifyRegResult::kRegistered;
}
