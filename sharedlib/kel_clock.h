// KelClock: a millisecond stopwatch for timers and task bookkeeping, and the local time
// stamp of event-log lines.
//
// Elapsed time is measured on the monotonic clock, so setting the system time does not
// make timers fire early, late or never. Not thread-safe: one owner, or a lock of the
// owner's (KelTimer guards its clock with its state mutex).
#ifndef KEL_SHAREDLIB_KEL_CLOCK_H
#define KEL_SHAREDLIB_KEL_CLOCK_H

#include <sys/time.h>

#include <cstdint>
#include <string>

class KelClock {
 public:
  static constexpr unsigned long kStopped = 0xFFFFFFFFUL;

  // Both (re)start the measurement from now.
  void start();
  void ResetClock();
  void stop();

  // Milliseconds since start(), truncated; kStopped while stopped. Should the measured
  // time ever run backwards, the three-line report is printed and the measurement restarts
  // from now (0 is returned), so that every timer keeps firing.
  unsigned long GetElapsedTime();

  // The local wall-clock time as asctime() prints it, trailing newline included
  // ("Thu Jan  1 00:00:00 1970\n").
  static std::string GetLocalTime();

 private:
  timeval startTime{};     // monotonic, seconds and microseconds
  timeval nowTime{};       // monotonic, last reading
  bool isStopped = true;
  uint32_t elapsedMs = 0;  // last result
};

#endif
