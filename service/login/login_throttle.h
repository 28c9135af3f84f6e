// Keeps unauthenticated peers from flooding the event log: a peer address gets at most
// kLinesPerWindow failed-login lines per minute; the failures beyond are counted, and once
// the minute is over one summary line says how many were left out. The clock comes in from
// the caller, so the rule is tested without waiting.
#ifndef KEL_SERVICE_LOGIN_LOGIN_THROTTLE_H
#define KEL_SERVICE_LOGIN_LOGIN_THROTTLE_H

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "sharedlib/kel_mutex.h"

class KelLoginThrottle {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr int kLinesPerWindow = 10;
  static constexpr std::chrono::seconds kWindow{60};
  static constexpr size_t kMaxPeers = 1024;

  // A failed login from `peer` whose event-log line is `line`: returns the lines to write
  // now, in order (summaries of windows that have ended, then `line` unless it is over the
  // limit).
  std::vector<std::string> FailedLogin(const std::string& peer, const std::string& line,
                                       Clock::time_point now);
  // Summaries of every window that has ended by `now`; those peers are forgotten.
  std::vector<std::string> Expired(Clock::time_point now);

  // The service's one instance, shared by all connection threads.
  static KelLoginThrottle& Service();

 private:
  struct Window {
    Clock::time_point start;
    int logged = 0;
    int suppressed = 0;
  };
  void CloseEnded(Clock::time_point now, std::vector<std::string>* out) REQUIRES(m_mutex);

  KelMutex m_mutex;
  std::map<std::string, Window> m_peers GUARDED_BY(m_mutex);
};

#endif
