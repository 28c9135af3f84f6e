#include "service/notify/kel_broadcast_listen.h"

#include <arpa/inet.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "sharedlib/diag.h"

std::string BroadcastMsgText(const char* buf, size_t len) {
  std::string text(buf, strnlen(buf, len));
  for (char& ch : text)
    if (ch < 0x20 || ch > 0x7e) ch = '.';
  return text;
}

KelBroadcastListen::KelBroadcastListen(unsigned short port) {
  m_sock = socket(AF_INET, SOCK_DGRAM, 0);
  if (m_sock == -1) {
    KEL_PRINT(ZEP_DBG_ERROR, "Create broadcast socket failed: %s\n", strerror(errno));
    return;
  }
  const int on = 1;
  setsockopt(m_sock, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
  setsockopt(m_sock, SOL_SOCKET, SO_BROADCAST, &on, sizeof(on));
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  addr.sin_port = htons(port);
  if (bind(m_sock, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "Bind broadcast socket to port %u failed: %s\n", port,
              strerror(errno));
    close(m_sock);
    m_sock = -1;
  }
}

KelBroadcastListen::~KelBroadcastListen() {
  terminate();
  if (m_sock != -1) close(m_sock);
}

void KelBroadcastListen::run() {
  while (!GetTerminateEvent()) {
    if (m_sock == -1) {
      KelThreadSleep(1000);  // nothing to answer on; wait for the stop request
      continue;
    }
    AnswerOne();
  }
}

void KelBroadcastListen::AnswerOne() {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(m_sock, &readable);
  timeval wait{1, 0};
  if (select(m_sock + 1, &readable, nullptr, nullptr, &wait) <= 0) return;
  char buf[kBroadcastMsgSize];
  sockaddr_in from{};
  socklen_t fromLen = sizeof(from);
  const ssize_t got =
      recvfrom(m_sock, buf, sizeof(buf), 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
  if (got < 0) return;
  const size_t len = static_cast<size_t>(got);
  KEL_PRINT(ZEP_DBG_WARN, "Received broadcast msg %s\n", BroadcastMsgText(buf, len).c_str());
  if (sendto(m_sock, buf, len, 0, reinterpret_cast<sockaddr*>(&from), fromLen) !=
      static_cast<ssize_t>(len))
    KEL_PRINT(ZEP_DBG_ERROR, "Respond to broadcast msg failed\n");
}
