#include "sharedlib/packet.h"

#include <sys/socket.h>

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
