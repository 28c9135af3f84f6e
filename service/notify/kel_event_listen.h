// The notification listener: accepts each logged-in client's second connection, checks its
// registration and hands it to the session, which then receives its notices on it.
#ifndef KEL_SERVICE_NOTIFY_KEL_EVENT_LISTEN_H
#define KEL_SERVICE_NOTIFY_KEL_EVENT_LISTEN_H

#include <netinet/in.h>

#include <memory>

#include "sharedlib/kel_socket.h"
#include "sharedlib/kel_thread.h"

class KelClientHash;

class KelEventSocketListen : public KelThread {
 public:
  KelEventSocketListen(KelClientHash* hash, unsigned short port, unsigned int backlog);
  ~KelEventSocketListen() override;  // stops the thread before its members go

  void run() override;
  bool Listening() const { return m_listen->GetSocketID() != -1; }

 private:
  // Reads the registration from a freshly accepted connection and registers it, or closes it.
  void HandleConnection(int sock, const sockaddr_in& peer);

  KelClientHash* m_pHash;
  std::unique_ptr<KelReceiveSocket> m_listen;  // used by the listener thread only
};

#endif
