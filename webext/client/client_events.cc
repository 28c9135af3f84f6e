// The notification connection's client side.
#include "webext/client/client_events.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "sharedlib/cmd_codes.h"
#include "sharedlib/diag.h"
#include "sharedlib/kel_socket.h"
#include "webext/client/client_codes.h"
#include "webext/client/client_exchange.h"

namespace {

constexpr unsigned short kRegisterSize = 21;  // kind byte and a 20-byte zero-padded ID text
constexpr unsigned char kNoticeKinds = 8;

void DropNoticeSocket(CLIENT_INFO* ci, KelSendSocket* sock) {
  sock->Close();
  delete sock;
  ci->pNoticeSock = nullptr;
  ci->nNoticeSock = -1;
}

}  // namespace

int InitEventSocket(CLIENT_INFO* ci, const char* clientIdText, const char* host,
                    unsigned short port) {
  if (ci == nullptr || host == nullptr) {
    KEL_PRINT(ZEP_DBG_ERROR, "Invalid parameters\n");
    return KEL_CLIENT_INVALID_PARAM;
  }
  const char* id = clientIdText != nullptr ? clientIdText : ci->szClientID;
  const size_t idLen = strnlen(id, kRegisterSize);
  if (idLen >= kRegisterSize - 1) {
    KEL_PRINT(ZEP_DBG_ERROR, "Client ID text too long for a registration\n");
    return KEL_CLIENT_INVALID_PARAM;
  }
  KelSendSocket* sock = new (std::nothrow) KelSendSocket(host, port);
  if (sock == nullptr) {
    KEL_PRINT(ZEP_DBG_ERROR, "No memory for the socket object\n");
    return KEL_CLIENT_NO_MEMORY;
  }
  if (!sock->Start()) {
    KEL_PRINT(ZEP_DBG_ERROR, "Start send socket failed\n");
    DropNoticeSocket(ci, sock);
    return KEL_CLIENT_CONNECT_FAILED;
  }
  ci->nNoticeSock = sock->GetSocketID();
  ci->NoticeSrvAddr = sock->GetSockAddr();
  ci->pNoticeSock = sock;
  snprintf(ci->szServerName, sizeof(ci->szServerName), "%s", sock->GetTgtName());

  // The confirmation is a notice of the registration's own kind, so the exchange's match
  // on code and first byte is the check that the service accepted it.
  unsigned char code = KEL_CMD_NOTIFY;
  unsigned char data[kClientBufSize] = {};
  unsigned short len = kRegisterSize;
  data[0] = kNoticeRegister;
  memcpy(data + 1, id, idLen);
  int ret = KelExecuteCmd(ci->nNoticeSock, &code, data, &len, kClientReplyTimeoutSec, 0);
  if (ret != KEL_CLIENT_OK) {
    KEL_PRINT(ZEP_DBG_ERROR, "Execute cmd[%d] failed\n", KEL_CMD_NOTIFY);
    DropNoticeSocket(ci, sock);
  }
  return ret;
}

int DecodeNotice(unsigned char code, const unsigned char* payload, unsigned short payloadLen,
                 int* type, unsigned char* data, unsigned short* len, bool* echo) {
  *type = KEL_NOTICE_NONE;
  *echo = false;
  // An empty data area has no kind byte; everything below reads payload[0] and counts
  // the notice's data from payload[1] on, so it needs at least that byte.
  if (code != KEL_CMD_NOTIFY || payloadLen == 0 || payload[0] >= kNoticeKinds) {
    KEL_PRINT(ZEP_DBG_ERROR, "Not a notice: code %d, %u bytes\n", code, payloadLen);
    return KEL_CLIENT_UNEXPECTED;
  }
  const unsigned short dataLen = static_cast<unsigned short>(payloadLen - 1);
  switch (payload[0]) {
    case kNoticeProbe:
      *echo = true;
      return KEL_CLIENT_OK;
    case KEL_NOTICE_KIND_HOTPLUG:
    case KEL_NOTICE_KIND_OTHER:
    case KEL_NOTICE_KIND_KICKED:
      *type = payload[0];
      return KEL_CLIENT_OK;
    case KEL_NOTICE_KIND_DISK_STATUS:
      if (len == nullptr || data == nullptr) break;
      *type = payload[0];
      *len = dataLen;
      memcpy(data, payload + 1, dataLen);
      return KEL_CLIENT_OK;
    case KEL_NOTICE_KIND_TASK:
      if (len == nullptr || data == nullptr || dataLen < kNoticeTaskSize) break;
      *type = payload[0];
      *len = kNoticeTaskSize;
      memcpy(data, payload + 1, kNoticeTaskSize);
      return KEL_CLIENT_OK;
    default:
      break;
  }
  KEL_PRINT(ZEP_DBG_ERROR, "Unexpected notice kind %d of %u bytes\n", payload[0], payloadLen);
  return KEL_CLIENT_UNEXPECTED;
}

int CheckRaidEvent(CLIENT_INFO* ci, int* type, unsigned char* data, unsigned short* len) {
  return CheckRaidEventWithin(ci, type, data, len, kNoticeWaitSec, 0);
}

int CheckRaidEventWithin(CLIENT_INFO* ci, int* type, unsigned char* data, unsigned short* len,
                         unsigned int sec, unsigned int usec) {
  if (ci == nullptr || type == nullptr) {
    KEL_PRINT(ZEP_DBG_ERROR, "Invalid parameters\n");
    return KEL_CLIENT_INVALID_PARAM;
  }
  unsigned char code = 0;
  unsigned char payload[kClientBufSize];
  unsigned short payloadLen = 0;
  int wait = WaitCommand(ci->nNoticeSock, &code, payload, &payloadLen, sec, usec, 1,
                         kClientBufSize);
  if (wait != 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "Wait for CheckRaidEvent send by server failed[ret = %d]!!!\n",
              wait);
    return wait == 1 ? KEL_CLIENT_TIMEOUT : KEL_CLIENT_SEND_FAILED;
  }
  bool echo = false;
  int ret = DecodeNotice(code, payload, payloadLen, type, data, len, &echo);
  if (ret != KEL_CLIENT_OK || !echo) return ret;
  unsigned char packet[kClientBufSize + kPacketOverhead];
  AssemblePacket(code, payload, payloadLen, packet);
  const auto packetLen = static_cast<unsigned short>(payloadLen + kPacketOverhead);
  if (SendPacket(ci->nNoticeSock, packet, packetLen) != 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "Send packet Request to server failed!!!\n");
    return KEL_CLIENT_SEND_FAILED;
  }
  return KEL_CLIENT_OK;
}
