// The socket that kernel device events arrive on: the kernel's netlink event socket on a
// real host, or a Unix datagram socket file on a simulator folder, where kelsim sends the
// same messages. One object, one reading thread.
#ifndef KEL_SERVICE_NOTIFY_KEL_UEVENT_SOCKET_H
#define KEL_SERVICE_NOTIFY_KEL_UEVENT_SOCKET_H

#include <memory>
#include <string>

#include "service/notify/kel_uevent_parse.h"
#include "sharedlib/kel_socket.h"

class KelUEventSocket : public KelBaseSocket {
 public:
  // Largest message read; the buffer keeps room for a terminator and some slack.
  static constexpr size_t kMaxMessage = 4096;
  static constexpr size_t kBufferSize = 4172;

  // `socketPath` empty: the netlink socket; otherwise the datagram socket file to bind
  // (a stale file of an earlier run is replaced). Construction starts the socket; one that
  // could not be started has descriptor -1 and Accept() then reports nothing.
  explicit KelUEventSocket(std::string socketPath);
  ~KelUEventSocket() override;

  bool Create() override;
  bool Bind();
  // Closes an open socket and opens, sets up and binds a new one.
  bool Start();
  // Waits up to 200 ms for a message; true when one arrived and names a disk of the
  // controller coming or going.
  bool Accept();
  // Reads one message and decides on it (see Accept).
  bool AcceptMsg();

  // The last event AcceptMsg accepted.
  const KelUEvent& LastEvent() const { return m_event; }

 private:
  const std::string m_path;
  std::unique_ptr<char[]> m_pUEvent;  // kBufferSize bytes
  char m_pciFun[64] = {};             // empty until found
  KelUEvent m_event;
};

#endif
