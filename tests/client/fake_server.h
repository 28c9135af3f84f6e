// An in-process stand-in for the service in client library tests: it listens on a loopback
// port that the kernel picks, accepts one connection and runs the test's script for it on
// a thread of its own. The script speaks packets through FakeConn.
#ifndef KEL_TESTS_CLIENT_FAKE_SERVER_H
#define KEL_TESTS_CLIENT_FAKE_SERVER_H

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kel_test {

using Bytes = std::vector<unsigned char>;

struct Packet {
  unsigned char code = 0;
  Bytes payload;
};

// A one-shot flag that one thread raises and another waits for.
class Event {
 public:
  void Notify();
  bool Wait(std::chrono::milliseconds limit = std::chrono::seconds(10));

 private:
  std::mutex m_mutex;
  std::condition_variable m_cond;
  bool m_set = false;  // guarded by m_mutex
};

// The server's end of the accepted connection.
class FakeConn {
 public:
  explicit FakeConn(int fd) : m_fd(fd) {}
  int fd() const { return m_fd; }
  bool Send(unsigned char code, const Bytes& payload);
  bool SendRaw(const Bytes& bytes);
  // One packet within `limit`; false on time-out or a closed connection.
  bool Receive(Packet* out, std::chrono::seconds limit = std::chrono::seconds(10));
  // True when the peer closes the connection within `limit` without sending more.
  bool WaitClosed(std::chrono::seconds limit = std::chrono::seconds(10));
  void SendWelcome();

 private:
  int m_fd;
};

class FakeServer {
 public:
  using Script = std::function<void(FakeConn&)>;
  // Starts listening at once; the script runs when a client connects (within 10 s).
  explicit FakeServer(Script script);
  ~FakeServer();  // waits for the script to finish, then closes everything
  unsigned short port() const { return m_port; }
  // Waits for the script to finish; false when it is still running after `limit`.
  bool Join(std::chrono::seconds limit = std::chrono::seconds(10));

 private:
  int m_listenFd = -1;
  unsigned short m_port = 0;
  Event m_done;
  std::thread m_thread;
};

// Reply payload of a service-local or login command: sub-code, return code, then `rest`.
Bytes Reply(unsigned char sub, int retCode, const Bytes& rest = {});
Bytes BigEndian32(unsigned int value);
std::string Hex(const Bytes& bytes);

}  // namespace kel_test

#endif
