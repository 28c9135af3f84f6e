// Stopwatch on CLOCK_MONOTONIC and the asctime-form local time.
#include "sharedlib/kel_clock.h"

#include <ctime>

#include "sharedlib/diag.h"

namespace {

timeval MonotonicNow() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  timeval tv;
  tv.tv_sec = ts.tv_sec;
  tv.tv_usec = ts.tv_nsec / 1000;
  return tv;
}

}  // namespace

void KelClock::start() {
  isStopped = false;
  startTime = MonotonicNow();
}

void KelClock::ResetClock() { start(); }

void KelClock::stop() { isStopped = true; }

unsigned long KelClock::GetElapsedTime() {
  if (isStopped) return kStopped;
  nowTime = MonotonicNow();
  double elapsed = ((static_cast<double>(nowTime.tv_sec) * 1e6 + static_cast<double>(nowTime.tv_usec)) -
                    (static_cast<double>(startTime.tv_sec) * 1e6 + static_cast<double>(startTime.tv_usec))) /
                   1000.0;
  if (elapsed < 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "Start: tv_sec: %ld, tv_usec:%ld\n", static_cast<long>(startTime.tv_sec),
              static_cast<long>(startTime.tv_usec));
    KEL_PRINT(ZEP_DBG_ERROR, "End:   tv_sec: %ld, tv_usec:%ld\n", static_cast<long>(nowTime.tv_sec),
              static_cast<long>(nowTime.tv_usec));
    KEL_PRINT(ZEP_DBG_ERROR, "Invalid delta time\n");
    // Ending the process would cost every session; measuring from now keeps timers alive.
    startTime = nowTime;
    elapsed = 0;
  }
  // Truncation toward zero; a measurement beyond 49 days wraps like the 32-bit field.
  elapsedMs = static_cast<uint32_t>(static_cast<uint64_t>(elapsed));
  return elapsedMs;
}

std::string KelClock::GetLocalTime() {
  const time_t now = time(nullptr);
  tm local;
  char buf[64];
  if (localtime_r(&now, &local) == nullptr || asctime_r(&local, buf) == nullptr) return "\n";
  return buf;
}
