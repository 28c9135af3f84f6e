// Completion event on a mutex and a monotonic-clock condition variable.
#include "sharedlib/kel_wait.h"

#include <cerrno>
#include <ctime>
#include <limits>

#include "sharedlib/diag.h"

namespace {

constexpr long kNsPerSec = 1000000000L;

// Deadline `ms` from now on the monotonic clock; false when it cannot be represented, in
// which case the caller waits without limit (such a wait outlasts any process anyway).
bool MonotonicDeadline(long ms, timespec* deadline) {
  clock_gettime(CLOCK_MONOTONIC, deadline);
  const time_t sec = static_cast<time_t>(ms / 1000);
  if (sec > std::numeric_limits<time_t>::max() - deadline->tv_sec - 1) return false;
  deadline->tv_sec += sec;
  deadline->tv_nsec += (ms % 1000) * 1000000L;
  if (deadline->tv_nsec >= kNsPerSec) {
    deadline->tv_sec += 1;
    deadline->tv_nsec -= kNsPerSec;
  }
  return true;
}

}  // namespace

KelWait::KelWait() {
  pthread_mutex_init(&mutex, nullptr);
  pthread_condattr_t attr;
  pthread_condattr_init(&attr);
  pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
  pthread_cond_init(&cond, &attr);
  pthread_condattr_destroy(&attr);
}

KelWait::~KelWait() {
  pthread_cond_destroy(&cond);
  pthread_mutex_destroy(&mutex);
}

bool KelWait::Complete() {
  int ret = pthread_mutex_lock(&mutex);
  if (ret != 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "pthread_mutex_lock failed. Ret=%d\n", ret);
    return false;
  }
  completed = true;
  ret = pthread_cond_signal(&cond);
  pthread_mutex_unlock(&mutex);
  return ret == 0;
}

bool KelWait::WaitForComplete(long ms) {
  int ret = pthread_mutex_lock(&mutex);
  if (ret != 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "pthread_mutex_lock failed. Ret=%d\n", ret);
    return false;
  }
  if (!completed && ms != 0 && ms >= -1) {
    timespec deadline;
    const bool bounded = ms != -1 && MonotonicDeadline(ms, &deadline);
    // A wake-up proves nothing by itself: only `completed` or the deadline ends the wait.
    while (!completed) {
      ret = bounded ? pthread_cond_timedwait(&cond, &mutex, &deadline)
                    : pthread_cond_wait(&cond, &mutex);
      if (ret != 0) break;  // ETIMEDOUT, or a failing wait that would fail again
    }
  }
  const bool result = completed;
  completed = false;
  pthread_mutex_unlock(&mutex);
  return result;
}
