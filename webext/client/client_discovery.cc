// Discovery: the datagram out, the echoes in, the list of who answered.
#include "webext/client/client_discovery.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "sharedlib/diag.h"
#include "webext/client/client_codes.h"

namespace {

constexpr unsigned char kDiscoveryProbe[4] = {'Z', 'E', 'P', 0};

// The sender's name by reverse look-up, or "Unknown".
std::string SenderName(const sockaddr_in& from) {
  char host[NI_MAXHOST] = {};
  if (getnameinfo(reinterpret_cast<const sockaddr*>(&from), sizeof(from), host, sizeof(host),
                  nullptr, 0, NI_NAMEREQD) != 0)
    return "Unknown";
  return host;
}

// Closes the descriptor however the search ends.
class UdpSocket {
 public:
  UdpSocket() : m_fd(socket(AF_INET, SOCK_DGRAM, 0)) {}
  ~UdpSocket() {
    if (m_fd >= 0) close(m_fd);
  }
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;
  int fd() const { return m_fd; }

 private:
  int m_fd;
};

// Every answer starts a new wait, so a peer that keeps sending could hold the search (and
// the page that runs it) for ever; no search lasts longer than this many waits.
constexpr unsigned int kMaxSearchWaits = 4;

// Waits up to `wait` for a datagram: 1 readable, 0 time-out, -1 failure.
int WaitDatagram(int fd, std::chrono::microseconds wait) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(fd, &readable);
  timeval tv{static_cast<time_t>(wait.count() / 1000000),
             static_cast<suseconds_t>(wait.count() % 1000000)};
  int n = select(fd + 1, &readable, nullptr, nullptr, &tv);
  return n > 0 ? 1 : n;
}

}  // namespace

bool DiscoveryDestination(const char* envValue, in_addr* out) {
  if (envValue == nullptr || *envValue == '\0') {
    out->s_addr = htonl(INADDR_BROADCAST);
    return true;
  }
  return inet_pton(AF_INET, envValue, out) == 1;
}

std::string DiscoveryReplyText(const unsigned char* reply, size_t n) {
  if (n > kDiscoveryReplySize) n = kDiscoveryReplySize;
  std::string text;
  for (size_t i = 0; i < n && reply[i] != 0; ++i)
    text += (reply[i] >= 0x20 && reply[i] < 0x7F) ? static_cast<char>(reply[i]) : '?';
  return text;
}

int FormatDiscoveryList(const KelDiscoveredServices& found, char* list, unsigned int listSize) {
  memset(list, 0, listSize);
  size_t used = 0;
  for (const auto& [address, name] : found) {
    const std::string entry = address + "\n" + name + "\n";
    if (used + entry.size() >= listSize) {
      KEL_PRINT(ZEP_DBG_ERROR, "The list of services does not fit %u bytes\n", listSize);
      return KEL_CLIENT_TOO_LONG;
    }
    memcpy(list + used, entry.data(), entry.size());
    used += entry.size();
  }
  return KEL_CLIENT_OK;
}

int DiscoverServices(unsigned short port, unsigned int waitSec, KelDiscoveredServices* found) {
  sockaddr_in dest{};
  dest.sin_family = AF_INET;
  dest.sin_port = htons(port);
  const char* envValue = getenv(kDiscoveryAddrEnv);
  if (!DiscoveryDestination(envValue, &dest.sin_addr)) {
    KEL_PRINT(ZEP_DBG_ERROR, "%s is not an IPv4 address: %s\n", kDiscoveryAddrEnv, envValue);
    return KEL_CLIENT_INVALID_PARAM;
  }
  UdpSocket sock;
  if (sock.fd() < 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "Creat socket error\n");
    return KEL_CLIENT_INVALID_PARAM;
  }
  int on = 1;
  if (setsockopt(sock.fd(), SOL_SOCKET, SO_BROADCAST, &on, sizeof(on)) != 0)
    KEL_PRINT(ZEP_DBG_ERROR, "Set socketopt error\n");
  char destText[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &dest.sin_addr, destText, sizeof(destText));
  // A failed send still listens: a service may answer an earlier search's datagram.
  if (sendto(sock.fd(), kDiscoveryProbe, sizeof(kDiscoveryProbe), 0,
             reinterpret_cast<const sockaddr*>(&dest), sizeof(dest)) < 0)
    KEL_PRINT(ZEP_DBG_ERROR, "Send broadcast failed\n");
  else
    KEL_PRINT(ZEP_DBG_INFO, "Send broadcast [%s] succeed\n", destText);

  using Clock = std::chrono::steady_clock;
  const std::chrono::microseconds perWait = std::chrono::seconds(waitSec);
  const Clock::time_point deadline = Clock::now() + perWait * kMaxSearchWaits;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
    if (found->size() > 0 && left.count() <= 0) {
      KEL_PRINT(ZEP_DBG_ERROR, "Answers kept arriving; the search ends after %u s\n",
                waitSec * kMaxSearchWaits);
      break;
    }
    int ready = WaitDatagram(sock.fd(), std::clamp(left, std::chrono::microseconds(0), perWait));
    if (ready == 0) {
      KEL_PRINT(ZEP_DBG_ERROR, "Select timeout\n");
      break;
    }
    if (ready < 0) {
      KEL_PRINT(ZEP_DBG_ERROR, "Select failed\n");
      break;
    }
    unsigned char reply[kDiscoveryReplySize];
    sockaddr_in from{};
    socklen_t fromLen = sizeof(from);
    ssize_t n = recvfrom(sock.fd(), reply, sizeof(reply), 0, reinterpret_cast<sockaddr*>(&from),
                         &fromLen);
    if (n < 0) {
      KEL_PRINT(ZEP_DBG_ERROR, "Recive Error\n");
      break;
    }
    char address[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &from.sin_addr, address, sizeof(address));
    if (found->count(address) != 0) continue;
    const std::string name = SenderName(from);
    KEL_PRINT(ZEP_DBG_INFO, "recv %s from %s -- %s\n",
              DiscoveryReplyText(reply, static_cast<size_t>(n)).c_str(), address, name.c_str());
    (*found)[address] = name;
  }
  return KEL_CLIENT_OK;
}

int ExecuteBroadCast(unsigned short port, char* list, unsigned int listSize,
                     unsigned int waitSec) {
  if (list == nullptr) {
    KEL_PRINT(ZEP_DBG_ERROR, "Invalid parameter\n");
    return KEL_CLIENT_INVALID_PARAM;
  }
  KelDiscoveredServices found;
  int code = DiscoverServices(port, waitSec, &found);
  if (code != KEL_CLIENT_OK) return code;
  return FormatDiscoveryList(found, list, listSize);
}
