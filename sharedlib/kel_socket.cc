#include "sharedlib/kel_socket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "sharedlib/diag.h"

bool KelBaseSocket::m_bSigInstalled = false;
struct sigaction KelBaseSocket::m_Action;
struct sigaction KelBaseSocket::m_OldAction;

KelBaseSocket::~KelBaseSocket() { Close(); }

bool KelBaseSocket::Create() {
  m_SocketID = socket(AF_INET, SOCK_STREAM, 0);
  if (m_SocketID == -1) {
    KEL_PRINT(ZEP_DBG_ERROR, "\nsocket() function call failed\n");
    return false;
  }
  return true;
}

bool KelBaseSocket::Close() {
  CloseSocket(m_SocketID);
  return true;
}

bool KelBaseSocket::SetOptions() {
  KEL_PRINT(ZEP_DBG_VERBOSE, "Set TCP_NODELAY option don`t support!\n");
  int on = 1, off = 0;
  if (setsockopt(m_SocketID, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof(on)) != 0)
    KEL_PRINT(ZEP_DBG_WARN, "Set SO_KEEPALIVE ON error\n");
  if (setsockopt(m_SocketID, SOL_SOCKET, SO_OOBINLINE, &off, sizeof(off)) != 0)
    KEL_PRINT(ZEP_DBG_WARN, "Set SO_OOBINLINE OFF error\n");
  if (setsockopt(m_SocketID, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on)) != 0)
    KEL_PRINT(ZEP_DBG_WARN, "Set SO_REUSEADDR ON error\n");
  InstallSignal();
  return true;
}

bool KelBaseSocket::InstallSignal() {
  if (m_bSigInstalled) return true;
  m_bSigInstalled = true;
  m_Action.sa_handler = sig_handler;
  sigemptyset(&m_Action.sa_mask);
  m_Action.sa_flags = SA_RESTART;
  KEL_PRINT(ZEP_DBG_VERBOSE, "sigaction() 'SA_RESTART' flag support!\n\r");
  if (sigaction(SIGPIPE, &m_Action, &m_OldAction) != 0)
    KEL_PRINT(ZEP_DBG_ERROR, "sigaction() install 'SIGPIPE' signal failed\n");
  if (sigaction(SIGURG, &m_Action, &m_OldAction) != 0)
    KEL_PRINT(ZEP_DBG_ERROR, "sigaction() install 'SIGURG' signal failed\n");
  return true;
}

void KelBaseSocket::sig_handler(int sig) { KEL_PRINT(ZEP_DBG_ERROR, "Signal %d received\n", sig); }

int KelBaseSocket::Send(int sock, const char* buf, int len, int flags) {
  return static_cast<int>(send(sock, buf, len, flags));
}

int KelBaseSocket::Recv(int sock, char* buf, int len, int flags) {
  return static_cast<int>(recv(sock, buf, len, flags));
}

void KelBaseSocket::CloseSocket(int& sock) {
  if (sock != -1) close(sock);
  sock = -1;
}

KelReceiveSocket::KelReceiveSocket(unsigned short port, int backlog)
    : m_port(port), m_backlog(backlog) {
  m_localAddr.sin_family = AF_INET;
  m_localAddr.sin_port = htons(port);
  m_localAddr.sin_addr.s_addr = htonl(INADDR_ANY);
  if (!Start()) KEL_PRINT(ZEP_DBG_ERROR, "Start listening socket on port [%d] failed\n", port);
}

bool KelReceiveSocket::Start() {
  Close();
  if (!Create()) {
    KEL_PRINT(ZEP_DBG_ERROR, "Create receive socket failed\n");
    return false;
  }
  bool ok = true;
  if (!SetOptions()) {
    KEL_PRINT(ZEP_DBG_ERROR, "Set socket options failed\n");
    ok = false;
  }
  if (ok && !Bind()) {
    KEL_PRINT(ZEP_DBG_ERROR, "Bind socket failed\n");
    ok = false;
  }
  if (ok && !Listen()) {
    KEL_PRINT(ZEP_DBG_ERROR, "Socket listen failed\n");
    ok = false;
  }
  if (!ok) Close();
  return ok;
}

bool KelReceiveSocket::Bind() {
  if (bind(m_SocketID, reinterpret_cast<sockaddr*>(&m_localAddr), sizeof(m_localAddr)) != 0) {
    KEL_PRINT(ZEP_DBG_ERROR,
              "bind() function failed. Another server may be running on your system. \n");
    Close();
    return false;
  }
  return true;
}

bool KelReceiveSocket::Listen() {
  if (listen(m_SocketID, m_backlog + 1) != 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "listen() function failed\n");
    Close();
    return false;
  }
  return true;
}

int KelReceiveSocket::AcceptConnect() {
  if (m_SocketID == -1) {
    KEL_PRINT(ZEP_DBG_ERROR, "The socekt has not been started successfully\n");
    return 1;
  }
  socklen_t len = sizeof(m_peerAddr);
  m_acceptedSock = accept(m_SocketID, reinterpret_cast<sockaddr*>(&m_peerAddr), &len);
  if (m_acceptedSock == -1) {
    if (errno == EINTR || errno == ECONNABORTED) {
      KEL_PRINT(ZEP_DBG_WARN, "accept() function maybe interrupted or failed\n");
      return 3;
    }
    KEL_PRINT(ZEP_DBG_ERROR, "accept() function failed,The network subsystem has failed\n\r");
    return 2;
  }
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &m_peerAddr.sin_addr, text, sizeof(text));
  KEL_PRINT(ZEP_DBG_INFO, "client from %s request connected\n\r", text);
  return 0;
}

int KelReceiveSocket::Accept() {
  if (m_SocketID == -1) {
    // Nothing to wait on: keep the caller's one-second rhythm and try to rebuild.
    sleep(1);
    Start();
    return 0;
  }
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(m_SocketID, &readable);
  timeval wait{1, 0};
  if (select(m_SocketID + 1, &readable, nullptr, nullptr, &wait) <= 0) return 0;
  switch (AcceptConnect()) {
    case 0:
      return 1;
    case 1:
      Start();
      return 0;
    case 2:
      Close();
      Start();
      return 0;
    default:
      return 0;
  }
}

bool KelFirstIPv4(const addrinfo* list, in_addr* out) {
  for (const addrinfo* a = list; a != nullptr; a = a->ai_next) {
    if (a->ai_family != AF_INET || a->ai_addr == nullptr) continue;
    *out = reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr;
    return true;
  }
  return false;
}

KelSendSocket::KelSendSocket(const char* host, unsigned short port) {
  m_tgtAddr.sin_addr.s_addr = inet_addr(host);
  if (m_tgtAddr.sin_addr.s_addr == INADDR_NONE) {
    // Name resolution with the reentrant interface: several client threads may connect. The
    // protocol is IPv4 only, so only IPv4 answers are asked for (a host whose name maps to
    // ::1 first still connects to its IPv4 address).
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &found) != 0 || found == nullptr) {
      KEL_PRINT(ZEP_DBG_WARN,
                "Warning: Server Name resolve failed, please use server ip address directly\n");
    } else if (!KelFirstIPv4(found, &m_tgtAddr.sin_addr)) {
      KEL_PRINT(ZEP_DBG_WARN, "Warning:Please input server`s IPv4 address directly\n");
      freeaddrinfo(found);
      return;
    }
    if (found != nullptr) freeaddrinfo(found);
  }
  m_tgtAddr.sin_family = AF_INET;
  m_tgtAddr.sin_port = htons(port);
  char name[NI_MAXHOST];
  if (getnameinfo(reinterpret_cast<sockaddr*>(&m_tgtAddr), sizeof(m_tgtAddr), name, sizeof(name),
                  nullptr, 0, NI_NAMEREQD) == 0) {
    size_t n = strnlen(name, sizeof(m_tgtName) - 1);
    memcpy(m_tgtName, name, n);
    m_tgtName[n] = '\0';
  }
}

bool KelSendSocket::Start() {
  Close();
  if (!Create()) {
    KEL_PRINT(ZEP_DBG_ERROR, "Create receive socket failed\n");
    return false;
  }
  if (!SetOptions()) {
    KEL_PRINT(ZEP_DBG_ERROR, "Set socket options failed\n");
    return false;
  }
  if (!Connect()) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &m_tgtAddr.sin_addr, text, sizeof(text));
    KEL_PRINT(ZEP_DBG_ERROR, "Connect to client %s failed\n", text);
    return false;
  }
  return true;
}

bool KelSendSocket::Connect() {
  if (connect(m_SocketID, reinterpret_cast<sockaddr*>(&m_tgtAddr), sizeof(m_tgtAddr)) != 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "Connect to server error\n");
    Close();
    return false;
  }
  return true;
}
