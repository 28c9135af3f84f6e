// The discovery responder: every datagram that reaches the discovery port goes back to its
// sender unchanged, so clients can find the services on their network.
#ifndef KEL_SERVICE_NOTIFY_KEL_BROADCAST_LISTEN_H
#define KEL_SERVICE_NOTIFY_KEL_BROADCAST_LISTEN_H

#include <cstddef>
#include <string>

#include "sharedlib/kel_thread.h"

inline constexpr size_t kBroadcastMsgSize = 1024;

// The datagram as one log-safe line: up to its first zero byte, never past `len`, with
// bytes that are not printable ASCII shown as '.'.
std::string BroadcastMsgText(const char* buf, size_t len);

class KelBroadcastListen : public KelThread {
 public:
  explicit KelBroadcastListen(unsigned short port);  // binds; see Listening
  ~KelBroadcastListen() override;                    // stops the thread, closes the socket

  void run() override;
  bool Listening() const { return m_sock != -1; }

 private:
  // Waits up to a second for one datagram and echoes it.
  void AnswerOne();

  int m_sock = -1;  // used by the listener thread only once it runs
};

#endif
