#include "service/notify/kel_uevent_socket.h"

#include <linux/netlink.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "service/notify/kel_pci_fun.h"
#include "sharedlib/diag.h"

namespace {

const char* Describe(KelUEventVerdict v) {
  switch (v) {
    case KelUEventVerdict::kOk: return "accepted";
    case KelUEventVerdict::kEmpty: return "invalid message length";
    case KelUEventVerdict::kNoHeader: return "unrecognized message header";
    case KelUEventVerdict::kOtherAction: return "neither add nor remove";
    case KelUEventVerdict::kNoDisk: return "no disk named";
    case KelUEventVerdict::kNameTooLong: return "device name too long";
    case KelUEventVerdict::kOtherDevice: return "not behind the controller";
  }
  return "unknown";
}

}  // namespace

KelUEventSocket::KelUEventSocket(std::string socketPath)
    : m_path(std::move(socketPath)), m_pUEvent(new (std::nothrow) char[kBufferSize]) {
  KEL_ASSERT(m_pUEvent != nullptr);
  if (m_pUEvent == nullptr || !Start()) KEL_PRINT(ZEP_DBG_ERROR, "Start UEvent socket failed\n");
}

KelUEventSocket::~KelUEventSocket() {
  if (m_SocketID >= 0 && !m_path.empty()) unlink(m_path.c_str());  // only the file it bound
  Close();
}

bool KelUEventSocket::Create() {
  if (m_path.empty())
    m_SocketID = socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_KOBJECT_UEVENT);
  else
    m_SocketID = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (m_SocketID < 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "Create socket failed\n");
    m_SocketID = -1;
    return false;
  }
  return true;
}

bool KelUEventSocket::Bind() {
  int rc;
  if (m_path.empty()) {
    sockaddr_nl addr{};
    addr.nl_family = AF_NETLINK;
    addr.nl_pid = static_cast<__u32>(getpid());
    addr.nl_groups = 1;  // the kernel's own events, not udev's re-broadcast
    rc = bind(m_SocketID, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  } else {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (m_path.size() >= sizeof addr.sun_path) {
      KEL_PRINT(ZEP_DBG_ERROR, "Bind failed: path too long %s\n", m_path.c_str());
      return false;
    }
    std::memcpy(addr.sun_path, m_path.c_str(), m_path.size() + 1);
    // A file left by a service that ended without cleaning up refuses connections and is
    // replaced; a live listener's socket is not taken over.
    int probe = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    bool live = probe >= 0 && connect(probe, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    if (probe >= 0) close(probe);
    if (live) {
      KEL_PRINT(ZEP_DBG_ERROR, "Bind failed: %s is in use\n", m_path.c_str());
      return false;
    }
    unlink(m_path.c_str());
    rc = bind(m_SocketID, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  }
  if (rc != 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "Bind failed\n");
    return false;
  }
  return true;
}

bool KelUEventSocket::Start() {
  Close();
  if (!Create()) {
    KEL_PRINT(ZEP_DBG_ERROR, "Create receive socket failed\n");
    return false;
  }
  if (!SetOptions()) {
    KEL_PRINT(ZEP_DBG_ERROR, "Set socket options failed\n");
    Close();
    return false;
  }
  if (!Bind()) {
    KEL_PRINT(ZEP_DBG_ERROR, "Bind socket failed\n");
    Close();
    return false;
  }
  return true;
}

bool KelUEventSocket::Accept() {
  if (m_SocketID < 0) {
    usleep(200 * 1000);  // keeps the listening thread from spinning
    return false;
  }
  fd_set set;
  FD_ZERO(&set);
  FD_SET(m_SocketID, &set);
  timeval tv{0, 200 * 1000};
  if (select(m_SocketID + 1, &set, nullptr, nullptr, &tv) <= 0) return false;
  return AcceptMsg();
}

bool KelUEventSocket::AcceptMsg() {
  // Looked up at the first message, and again at later ones while it is not known: with no
  // name every event would look like the controller's.
  if (m_pciFun[0] == '\0') GetPciFun(m_pciFun, sizeof m_pciFun);

  sockaddr_storage from{};
  socklen_t fromLen = sizeof from;
  ssize_t n = recvfrom(m_SocketID, m_pUEvent.get(), kMaxMessage, MSG_DONTWAIT,
                       reinterpret_cast<sockaddr*>(&from), &fromLen);
  if (n < 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "unable to receive message\n");
    return false;
  }
  m_pUEvent[n] = '\0';  // terminated for any reader; the parser itself stays within n
  // Only the kernel (port 0) speaks for the hardware on the netlink socket.
  if (m_path.empty() && (fromLen < sizeof(sockaddr_nl) ||
                         reinterpret_cast<const sockaddr_nl*>(&from)->nl_pid != 0)) {
    KEL_PRINT(ZEP_DBG_WARN, "Device event not from the kernel ignored\n");
    return false;
  }
  KelUEventVerdict v =
      KelParseUEvent(m_pUEvent.get(), static_cast<size_t>(n), m_pciFun, &m_event);
  if (v != KelUEventVerdict::kOk) {
    if (v == KelUEventVerdict::kEmpty || v == KelUEventVerdict::kNoHeader ||
        v == KelUEventVerdict::kNameTooLong)
      KEL_PRINT(ZEP_DBG_WARN, "Device event ignored: %s\n", Describe(v));
    return false;
  }
  KEL_PRINT(ZEP_DBG_WARN, "Device entry [%s] change (%s) happened\n", m_event.device,
            m_event.action == KelUEventAction::kAdd ? "add" : "remove");
  return true;
}
