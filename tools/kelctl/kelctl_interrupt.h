// Ctrl-C for the commands that follow the service until told to stop: while a catcher
// lives, SIGINT only sets a flag the command's loop reads; the previous handler comes back
// afterwards.
#ifndef KEL_TOOLS_KELCTL_KELCTL_INTERRUPT_H
#define KEL_TOOLS_KELCTL_KELCTL_INTERRUPT_H

#include <csignal>

class KelctlInterruptCatcher {
 public:
  KelctlInterruptCatcher() {
    Flag() = 0;
    struct sigaction action {};
    action.sa_handler = [](int) { Flag() = 1; };
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &m_previous);
  }
  ~KelctlInterruptCatcher() { sigaction(SIGINT, &m_previous, nullptr); }
  KelctlInterruptCatcher(const KelctlInterruptCatcher&) = delete;
  KelctlInterruptCatcher& operator=(const KelctlInterruptCatcher&) = delete;

  static bool Interrupted() { return Flag() != 0; }

 private:
  static volatile sig_atomic_t& Flag() {
    static volatile sig_atomic_t flag = 0;
    return flag;
  }
  struct sigaction m_previous {};
};

#endif
