#include "service/notify/kel_event_listen.h"

#include <unistd.h>

#include <vector>

#include "service/notify/kel_notify_register.h"
#include "sharedlib/diag.h"
#include "sharedlib/packet.h"

namespace {
constexpr unsigned int kRegistrationWaitSec = 2;
}  // namespace

KelEventSocketListen::KelEventSocketListen(KelClientHash* hash, unsigned short port,
                                           unsigned int backlog)
    : m_pHash(hash), m_listen(std::make_unique<KelReceiveSocket>(port, static_cast<int>(backlog))) {}

KelEventSocketListen::~KelEventSocketListen() { terminate(); }

void KelEventSocketListen::run() {
  for (;;) {
    if (GetTerminateEvent()) {
      KEL_PRINT(ZEP_DBG_WARN, "KelEventSocketListen get terminate sig\n");
      return;
    }
    // Waits at most a second, so a stop request is seen promptly.
    if (m_listen->Accept() != 1) continue;
    HandleConnection(m_listen->AcceptedSocket(), m_listen->PeerAddress());
  }
}

void KelEventSocketListen::HandleConnection(int sock, const sockaddr_in& peer) {
  unsigned char code = 0;
  unsigned short len = 0;
  std::vector<unsigned char> data(kMaxPayload);
  const int got = WaitCommand(sock, &code, data.data(), &len, kRegistrationWaitSec, 0, 1);
  const int id = got == 0 ? ParseNotifyRegistration(code, data.data(), len) : -1;
  if (id < 0) {
    KEL_PRINT(ZEP_DBG_WARN, "Invalid notify socket registration, connection closed\n");
    close(sock);
    return;
  }
  KEL_PRINT(ZEP_DBG_WARN, "Client[%d] try to setup notify socket\n", id);
  if (RegisterNotifySocket(m_pHash, id, sock, peer) != KelNotifyRegResult::kRegistered)
    close(sock);
}
