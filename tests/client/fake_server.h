// An in-process stand-in for the service in client library and kelctl tests: it listens on
// a loopback port that the kernel picks, accepts one connection and runs the test's script
// for it on a thread of its own. The script speaks packets through FakeConn.
#ifndef KEL_TESTS_CLIENT_FAKE_SERVER_H
#define KEL_TESTS_CLIENT_FAKE_SERVER_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <mutex>
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

// A one-shot flag that one thread raises and another waits for.
class Event {
 public:
  void Notify() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_set = true;
    m_cond.notify_all();
  }
  bool Wait(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_cond.wait_for(lock, limit, [this] { return m_set; });
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_cond;
  bool m_set = false;  // guarded by m_mutex
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
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // port 0: the kernel picks a free one
    socklen_t len = sizeof(addr);
    if (bind(m_listenFd, reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
        listen(m_listenFd, 4) != 0)
      perror("fake server");
    getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &len);
    m_port = ntohs(addr.sin_port);
    m_thread = std::thread([this, script = std::move(script)] {
      pollfd p{m_listenFd, POLLIN, 0};
      int fd = poll(&p, 1, 10000) == 1 ? accept(m_listenFd, nullptr, nullptr) : -1;
      if (fd >= 0) {
        FakeConn conn(fd);
        script(conn);
        close(fd);
      }
      m_done.Notify();
    });
  }
  // Waits for the script to finish, then closes everything.
  ~FakeServer() {
    if (m_thread.joinable()) m_thread.join();
    close(m_listenFd);
  }
  unsigned short port() const { return m_port; }
  // Waits for the script to finish; false when it is still running after 10 s.
  bool Join() {
    if (!m_done.Wait()) return false;
    if (m_thread.joinable()) m_thread.join();
    return true;
  }

 private:
  int m_listenFd = -1;
  unsigned short m_port = 0;
  Event m_done;
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

// The reply to a RAID query as the service builds it: return code 0 and the request moved
// five bytes up, with `size` bytes of `record` written where the request had its byte `at`.
inline Bytes MovedReply(const Bytes& request, size_t at, const void* record, size_t size) {
  Bytes out = Reply(request.at(0), 0, request);
  memcpy(out.data() + 5 + at, record, size);
  return out;
}
template <typename T>
Bytes MovedReply(const Bytes& request, size_t at, const T& record) {
  return MovedReply(request, at, &record, sizeof(record));
}

template <typename T>
void Put(Bytes* bytes, size_t at, T value) {
  memcpy(bytes->data() + at, &value, sizeof(value));
}

inline std::string Hex(const Bytes& bytes) {
  std::string out;
  char byte[4];
  for (unsigned char b : bytes) {
    snprintf(byte, sizeof(byte), "%s%02x", out.empty() ? "" : " ", b);
    out += byte;
  }
  return out;
}

}  // namespace kel_test

#endif
