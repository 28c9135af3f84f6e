#include "service/login/connection_notices.h"

#include <unistd.h>

#include <cstring>

#include "sharedlib/packet.h"

namespace {
constexpr char kWelcomeText[] = "Welcome to ZEP remote config world\n\r";
}

int SendWelcomMessage(int sock) {
  unsigned char packet[sizeof(kWelcomeText) + kPacketOverhead];
  AssemblePacket(KEL_CMD_WELCOME, reinterpret_cast<const unsigned char*>(kWelcomeText),
                 sizeof(kWelcomeText), packet);
  return SendPacket(sock, packet, sizeof(packet));
}

int DisConnect(int sock, unsigned char reason) {
  unsigned char packet[1 + kPacketOverhead];
  AssemblePacket(KEL_CMD_DISCONNECT, &reason, 1, packet);
  SendPacket(sock, packet, sizeof(packet));
  if (sock != -1) close(sock);
  return 0;
}
