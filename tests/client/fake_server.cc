// Fake service for the client library tests; see fake_server.h.
#include "tests/client/fake_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "sharedlib/packet.h"

namespace kel_test {

void Event::Notify() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_set = true;
  m_cond.notify_all();
}

bool Event::Wait(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_cond.wait_for(lock, limit, [this] { return m_set; });
}

bool FakeConn::Send(unsigned char code, const Bytes& payload) {
  Bytes packet(payload.size() + kPacketOverhead);
  AssemblePacket(code, payload.data(), static_cast<unsigned short>(payload.size()), packet.data());
  return SendRaw(packet);
}

bool FakeConn::SendRaw(const Bytes& bytes) {
  return SendPacket(m_fd, bytes.data(), static_cast<unsigned short>(bytes.size())) == 0;
}

bool FakeConn::Receive(Packet* out, std::chrono::seconds limit) {
  unsigned char buf[kMaxPayload];
  unsigned short len = 0;
  int ret = WaitCommand(m_fd, &out->code, buf, &len, static_cast<unsigned int>(limit.count()), 0, 1);
  if (ret != 0) return false;
  out->payload.assign(buf, buf + len);
  return true;
}

bool FakeConn::WaitClosed(std::chrono::seconds limit) {
  pollfd p{m_fd, POLLIN, 0};
  if (poll(&p, 1, static_cast<int>(limit.count() * 1000)) <= 0) return false;
  char c;
  return recv(m_fd, &c, 1, 0) == 0;
}

void FakeConn::SendWelcome() {
  const char text[] = "Welcome to ZEP remote config world\n\r";
  Send(253, Bytes(text, text + sizeof(text)));
}

FakeServer::FakeServer(Script script) {
  m_listenFd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;  // the kernel picks a free port
  if (bind(m_listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
      listen(m_listenFd, 4) != 0) {
    perror("fake server");
  }
  socklen_t len = sizeof(addr);
  getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &len);
  m_port = ntohs(addr.sin_port);
  m_thread = std::thread([this, script = std::move(script)] {
    pollfd p{m_listenFd, POLLIN, 0};
    if (poll(&p, 1, 10000) == 1) {
      int fd = accept(m_listenFd, nullptr, nullptr);
      if (fd >= 0) {
        FakeConn conn(fd);
        script(conn);
        close(fd);
      }
    }
    m_done.Notify();
  });
}

FakeServer::~FakeServer() {
  if (m_thread.joinable()) m_thread.join();
  if (m_listenFd >= 0) close(m_listenFd);
}

bool FakeServer::Join(std::chrono::seconds limit) {
  if (!m_done.Wait(limit)) return false;
  if (m_thread.joinable()) m_thread.join();
  return true;
}

Bytes BigEndian32(unsigned int value) {
  return {static_cast<unsigned char>(value >> 24), static_cast<unsigned char>(value >> 16),
          static_cast<unsigned char>(value >> 8), static_cast<unsigned char>(value)};
}

Bytes Reply(unsigned char sub, int retCode, const Bytes& rest) {
  Bytes out{sub};
  Bytes code = BigEndian32(static_cast<unsigned int>(retCode));
  out.insert(out.end(), code.begin(), code.end());
  out.insert(out.end(), rest.begin(), rest.end());
  return out;
}

std::string Hex(const Bytes& bytes) {
  std::string out;
  char byte[4];
  for (unsigned char b : bytes) {
    snprintf(byte, sizeof(byte), "%s%02x", out.empty() ? "" : " ", b);
    out += byte;
  }
  return out;
}

}  // namespace kel_test
