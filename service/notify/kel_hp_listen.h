// The hot-plug listener: a thread that reads device events and, for every disk of the
// controller that came or went, calls its callback (bound to the watchdog's SetUEvent, which
// runs the hot-plug check at once instead of at its next round).
#ifndef KEL_SERVICE_NOTIFY_KEL_HP_LISTEN_H
#define KEL_SERVICE_NOTIFY_KEL_HP_LISTEN_H

#include <functional>
#include <string>

#include "service/notify/kel_uevent_socket.h"
#include "sharedlib/kel_thread.h"

class KelHpListen : public KelThread {
 public:
  // `socketPath` as for KelUEventSocket: empty for the kernel's event socket.
  KelHpListen(std::function<void()> onEvent, std::string socketPath);
  // Stops the thread first: it calls into the callback's target until then.
  ~KelHpListen() override;

  bool StartListen() { return start(); }
  // Ends the thread within about 200 ms; after it returns the callback is not called again.
  void StopListen() { thread_terminate(-1); }

  void run() override;

 private:
  const std::function<void()> m_onEvent;  // set at construction, called on this thread only
  KelUEventSocket m_socket;               // read on this thread only
};

#endif
