#include "sharedlib/packet.h"

#include <sys/select.h>
#include <sys/socket.h>
#include <sys/uio.h>

#include <cerrno>
#include <cstring>

#include "sharedlib/diag.h"

int AssemblePacket(unsigned char cmd, const unsigned char* payload, unsigned short len,
                   unsigned char* out) {
  if (len != 0) memmove(out + 8, payload, len);
  memcpy(out, DELIMITER, sizeof(DELIMITER));
  unsigned short field = static_cast<unsigned short>(len + 1);
  out[5] = static_cast<unsigned char>(field >> 8);
  out[6] = static_cast<unsigned char>(field & 0xFF);
  out[7] = cmd;
  unsigned char sum = 0;
  for (int i = 5; i <= 7 + len; ++i) sum = static_cast<unsigned char>(sum + out[i]);
  out[8 + len] = static_cast<unsigned char>(-sum);
  return 0;
}

int SendPacket(int sock, const unsigned char* buf, unsigned short len) {
  if (sock == -1) return -1;
  unsigned sent = 0;
  while (sent < len) {
    ssize_t n = send(sock, buf + sent, len - sent, 0);
    if (n < 0) {
      if (errno == EINTR) {
        KEL_PRINT(ZEP_DBG_WARN, "send() function has been interrupted!\n\r");
        continue;
      }
      return -1;
    }
    sent += static_cast<unsigned>(n);
  }
  return 0;
}

namespace {

// Where a packet being received stands. The length and command bytes are read together,
// and so are the payload and the checksum, to keep system calls per packet few.
enum class Phase { kDelimiter, kHeader, kBody };

enum class Wait { kReadable, kTimeout, kError };

Wait WaitReadable(int sock, unsigned int sec, unsigned int usec) {
  for (;;) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(sock, &readable);
    timeval tv{static_cast<time_t>(sec), static_cast<suseconds_t>(usec)};
    int n = select(sock + 1, &readable, nullptr, nullptr, &tv);
    if (n == 0) return Wait::kTimeout;
    if (n < 0) {
      if (errno == EINTR) {
        KEL_PRINT(ZEP_DBG_WARN, "select() function has been interrupted!\n\r");
        continue;
      }
      KEL_PRINT(ZEP_DBG_ERROR, "Select() function return error\n");
      return Wait::kError;
    }
    if (!FD_ISSET(sock, &readable)) {
      KEL_PRINT(ZEP_DBG_ERROR, "select() function running abnormally(impossible)!\n\r");
      return Wait::kError;
    }
    return Wait::kReadable;
  }
}

}  // namespace

int WaitCommand(int sock, unsigned char* cmd, unsigned char* payload, unsigned short* len,
                unsigned int sec, unsigned int usec, int returnOnTimeout, unsigned int capacity) {
  if (sock == -1) {
    KEL_PRINT(ZEP_DBG_ERROR, "Invalid socketFD\n");
    return -1;
  }
  unsigned char header[8];  // delimiter, length, command
  unsigned char checksum = 0;
  unsigned int have = 0;    // bytes of the current phase read so far
  Phase phase = Phase::kDelimiter;
  for (;;) {
    iovec iov[2];
    int parts = 1;
    switch (phase) {
      case Phase::kDelimiter:
        // Hunt for the first delimiter byte one byte at a time, then take the rest.
        iov[0] = {header + have, have == 0 ? 1u : 5u - have};
        break;
      case Phase::kHeader:
        iov[0] = {header + 5 + have, 3u - have};
        break;
      case Phase::kBody:
        if (have < *len) {
          iov[0] = {payload + have, static_cast<size_t>(*len - have)};
          iov[1] = {&checksum, 1};
          parts = 2;
        } else {
          iov[0] = {&checksum, 1};
        }
        break;
    }
    msghdr msg{};
    msg.msg_iov = iov;
    msg.msg_iovlen = static_cast<size_t>(parts);
    // Try first and wait only when nothing is there: a request usually arrives whole.
    ssize_t n = recvmsg(sock, &msg, MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      Wait w = WaitReadable(sock, sec, usec);
      if (w == Wait::kError) return -1;
      if (w == Wait::kTimeout && returnOnTimeout) return 1;
      continue;
    }
    if (n <= 0) {
      if (n < 0 && errno == EINTR) {
        KEL_PRINT(ZEP_DBG_WARN, "recv() function has been interrupted!\n\r");
        continue;
      }
      if (phase == Phase::kDelimiter) return n == 0 ? 2 : -1;
      if (n == 0) {
        KEL_PRINT(ZEP_DBG_ERROR,
                  "recv() function return error, error code = %d, the peer close socket!\n\r",
                  errno);
        // Before the whole length field is in, a close counts as between packets.
        return phase == Phase::kHeader && have < 2 ? 2 : -1;
      }
      KEL_PRINT(ZEP_DBG_ERROR, "recv() function return error, error code = %d!\n\r", errno);
      return -1;
    }
    have += static_cast<unsigned int>(n);

    switch (phase) {
      case Phase::kDelimiter:
        if (have == 1 && header[0] != DELIMITER[0]) {
          KEL_PRINT(ZEP_DBG_WARN,
                    "First delimiter character mismatch, received character is: 0x%x\n\r",
                    header[0]);
          have = 0;
        } else if (have == 5) {
          have = 0;
          if (CheckDelimiter(header) == 0) phase = Phase::kHeader;
        }
        break;
      case Phase::kHeader:
        if (have == 3) {
          unsigned int field = header[5] * 256u + header[6];
          *len = static_cast<unsigned short>(field - 1);
          if (field == 0 || *len > capacity) {
            KEL_PRINT(ZEP_DBG_ERROR, "Packet announces %u payload bytes, more than %u\n",
                      field == 0 ? 65535u : field - 1, capacity);
            return -1;
          }
          *cmd = header[7];
          have = 0;
          phase = Phase::kBody;
        }
        break;
      case Phase::kBody:
        if (have == *len + 1u) {
          if (CheckSumVerify(static_cast<unsigned short>(*len + 1), *cmd, payload, checksum) == 0)
            return 0;
          KEL_PRINT(ZEP_DBG_WARN, "checksum verify failed\n\r");
          have = 0;
          phase = Phase::kDelimiter;
        }
        break;
    }
  }
}

int CheckDelimiter(const unsigned char* buf) {
  return memcmp(buf, DELIMITER, sizeof(DELIMITER)) == 0 ? 0 : -1;
}

int CheckSumVerify(unsigned short lengthField, unsigned char cmd, const unsigned char* payload,
                   unsigned char checksum) {
  unsigned char sum = static_cast<unsigned char>((lengthField >> 8) + (lengthField & 0xFF) + cmd);
  for (int i = 0; i + 1 < lengthField; ++i) sum = static_cast<unsigned char>(sum + payload[i]);
  return static_cast<unsigned char>(-sum) == checksum ? 0 : -1;
}

void INT32SToBuf(int value, int index, unsigned char* buf) {
  INT32UToBuf(static_cast<unsigned int>(value), index, buf);
}

void INT32UToBuf(unsigned int value, int index, unsigned char* buf) {
  buf[index] = static_cast<unsigned char>(value >> 24);
  buf[index + 1] = static_cast<unsigned char>(value >> 16);
  buf[index + 2] = static_cast<unsigned char>(value >> 8);
  buf[index + 3] = static_cast<unsigned char>(value);
}

int BufToINT32S(int index, const unsigned char* buf) {
  return static_cast<int>(BufToINT32U(index, buf));
}

unsigned int BufToINT32U(int index, const unsigned char* buf) {
  return (static_cast<unsigned int>(buf[index]) << 24) |
         (static_cast<unsigned int>(buf[index + 1]) << 16) |
         (static_cast<unsigned int>(buf[index + 2]) << 8) | static_cast<unsigned int>(buf[index + 3]);
}
