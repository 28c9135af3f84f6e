// KelExecuteCmd: the retrying exchange every request of the library goes through.
#include "webext/client/client_exchange.h"

#include <sys/select.h>
#include <sys/socket.h>

#include "sharedlib/diag.h"
#include "webext/client/client_codes.h"
#include "webext/client/client_info.h"

namespace {
constexpr int kAttempts = 3;
constexpr unsigned int kDrainUsec = 100000;  // what a stale reply may still take to arrive
constexpr unsigned short kRetCodeEnd = 5;    // data[1..4] hold the return code
}  // namespace

int DiscardPending(int sock, unsigned int usec) {
  if (sock < 0) return 0;
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(sock, &readable);
  timeval tv{static_cast<time_t>(usec / 1000000), static_cast<suseconds_t>(usec % 1000000)};
  if (select(sock + 1, &readable, nullptr, nullptr, &tv) <= 0) return 0;
  unsigned char junk[kClientBufSize];
  ssize_t n = recv(sock, junk, sizeof(junk), 0);
  return n > 0 ? static_cast<int>(n) : 0;
}

int KelExecuteCmd(int sock, unsigned char* cmd, unsigned char* data, unsigned short* len,
                  unsigned int timeoutSec, int useRetCode) {
  if (cmd == nullptr || data == nullptr || len == nullptr) {
    KEL_PRINT(ZEP_DBG_ERROR, "Invalid parameters\n");
    return KEL_CLIENT_INVALID_PARAM;
  }
  if (*len + static_cast<unsigned int>(kPacketOverhead) > kClientBufSize) {
    KEL_PRINT(ZEP_DBG_ERROR, "Request of %u bytes does not fit a packet\n", *len);
    return KEL_CLIENT_TOO_LONG;
  }
  // The reply overwrites the caller's buffer, so the packet is assembled once and resent
  // as it is.
  unsigned char packet[kClientBufSize];
  const unsigned char reqCmd = *cmd;
  const unsigned char reqSub = *len > 0 ? data[0] : 0;
  const unsigned short packetLen = static_cast<unsigned short>(*len + kPacketOverhead);
  AssemblePacket(reqCmd, data, *len, packet);

  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (bClearRevBuf.exchange(false)) DiscardPending(sock, kDrainUsec);

    if (SendPacket(sock, packet, packetLen) != 0) {
      KEL_PRINT(ZEP_DBG_ERROR, "Send packet Request to server failed!!!\n");
      return KEL_CLIENT_SEND_FAILED;
    }
    int wait = WaitCommand(sock, cmd, data, len, timeoutSec, 0, 1, kClientBufSize);
    if (wait == 1) {
      bClearRevBuf = true;
      return KEL_CLIENT_TIMEOUT;
    }
    if (wait != 0) {
      bClearRevBuf = true;
      return KEL_CLIENT_SEND_FAILED;
    }
    if (*cmd == reqCmd && (*len == 0 ? 0 : data[0]) == reqSub) {
      if (!useRetCode) return KEL_CLIENT_OK;
      if (*len < kRetCodeEnd) {
        // Before a login the service echoes a packet it does not handle: no return code.
        KEL_PRINT(ZEP_DBG_ERROR, "Reply of %u bytes carries no return code\n", *len);
        return KEL_CLIENT_UNEXPECTED;
      }
      return BufToINT32S(1, data);
    }
    KEL_PRINT(ZEP_DBG_ERROR, "Server send an incorrect cmd code %d\n", *cmd);
    bClearRevBuf = true;
  }
  return KEL_CLIENT_WRONG_REPLY;
}
