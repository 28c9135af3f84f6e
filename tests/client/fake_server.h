// An in-process stand-in for the service in client library and kelctl tests: it listens on
// a loopback port that the kernel picks, accepts one connection and runs the test's script
// for it on a thread of its own. The script speaks packets through FakeConn; every wait in
// it ends within 10 s, so joining the thread always ends.
#ifndef KEL_TESTS_CLIENT_FAKE_SERVER_H
#define KEL_TESTS_CLIENT_FAKE_SERVER_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

#include "sharedlib/packet.h"

namespace kel_test {

using Bytes = std::vector<unsigned char>;

struct Packet {
  unsigned char code = 0;
  Bytes payload;
};

// The server's end of the accepted connection.
class FakeConn {
 public:
  explicit FakeConn(int fd) : m_fd(fd) {}
  bool Send(unsigned char code, const Bytes& payload) {
    Bytes packet(payload.size() + kPacketOverhead);
    const auto len = static_cast<unsigned short>(payload.size());
    AssemblePacket(code, payload.data(), len, packet.data());
    return SendPacket(m_fd, packet.data(), static_cast<unsigned short>(packet.size())) == 0;
  }
  // One packet within `limit`; false on time-out or a closed connection.
  bool Receive(Packet* out, std::chrono::seconds limit = std::chrono::seconds(10)) {
    unsigned char buf[kMaxPayload];
    unsigned short len = 0;
    if (WaitCommand(m_fd, &out->code, buf, &len, static_cast<unsigned>(limit.count()), 0, 1) != 0)
      return false;
    out->payload.assign(buf, buf + len);
    return true;
  }
  // True when the peer closes the connection within 10 s without sending more.
  bool WaitClosed() {
    pollfd p{m_fd, POLLIN, 0};
    char c;
    return poll(&p, 1, 10000) > 0 && recv(m_fd, &c, 1, 0) == 0;
  }
  void SendWelcome() {
    const char text[] = "Welcome to ZEP remote config world\n\r";
    Send(253, Bytes(text, text + sizeof(text)));
  }

 private:
  int m_fd;
};

class FakeServer {
 public:
  using Script = std::function<void(FakeConn&)>;
  // Starts listening at once; the script runs when a client connects (within 10 s).
  explicit FakeServer(Script script) {
    m_listenFd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};  // port 0: the kernel picks
    socklen_t len = sizeof(addr);
    if (bind(m_listenFd, reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
        listen(m_listenFd, 4) != 0 ||
        getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
      perror("fake server");
    port = ntohs(addr.sin_port);
    m_thread = std::thread([this, script = std::move(script)] {
      pollfd p{m_listenFd, POLLIN, 0};
      int fd = poll(&p, 1, 10000) == 1 ? accept(m_listenFd, nullptr, nullptr) : -1;
      if (fd < 0) return;
      FakeConn conn(fd);
      script(conn);
      close(fd);
    });
  }
  ~FakeServer() {
    Join();
    close(m_listenFd);
  }
  // Waits for the script to finish.
  void Join() {
    if (m_thread.joinable()) m_thread.join();
  }
  unsigned short port = 0;

 private:
  int m_listenFd = -1;
  std::thread m_thread;
};

inline Bytes BigEndian32(unsigned int value) {
  return {static_cast<unsigned char>(value >> 24), static_cast<unsigned char>(value >> 16),
          static_cast<unsigned char>(value >> 8), static_cast<unsigned char>(value)};
}

inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// Reply payload of a request with sub-code `sub`: the sub-code, the return code, `rest`.
inline Bytes Reply(unsigned char sub, int retCode, const Bytes& rest = {}) {
  return Cat({Bytes{sub}, BigEndian32(static_cast<unsigned int>(retCode)), rest});
}

}  // namespace kel_test

#endif
