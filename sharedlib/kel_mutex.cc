#include "sharedlib/kel_mutex.h"

#include <cerrno>
#include <csignal>
#include <ctime>

#include "sharedlib/diag.h"

void IssueSignal(int /*code*/) { raise(SIGSEGV); }

namespace {

constexpr long kNsPerSec = 1000000000L;

// ThreadSanitizer's runtime does not see pthread_mutex_clocklock or sem_clockwait, so a TSan
// build waits on the realtime clock instead, which it does intercept.
#if defined(__SANITIZE_THREAD__)
constexpr clockid_t kWaitClock = CLOCK_REALTIME;
int TimedLock(pthread_mutex_t* m, const timespec* deadline) {
  return pthread_mutex_timedlock(m, deadline);
}
int TimedWait(sem_t* s, const timespec* deadline) { return sem_timedwait(s, deadline); }
#else
constexpr clockid_t kWaitClock = CLOCK_MONOTONIC;
int TimedLock(pthread_mutex_t* m, const timespec* deadline) {
  return pthread_mutex_clocklock(m, CLOCK_MONOTONIC, deadline);
}
int TimedWait(sem_t* s, const timespec* deadline) {
  return sem_clockwait(s, CLOCK_MONOTONIC, deadline);
}
#endif

// Deadline `ms` from now on the monotonic clock. Returns false, after printing both times,
// when the addition overflowed and the deadline lies before the start.
bool MakeDeadline(long ms, timespec* start, timespec* deadline) {
  clock_gettime(kWaitClock, start);
  *deadline = *start;
  deadline->tv_sec += ms / 1000;
  deadline->tv_nsec += (ms % 1000) * 1000000L;
  if (deadline->tv_nsec >= kNsPerSec) {
    deadline->tv_sec += 1;
    deadline->tv_nsec %= kNsPerSec;
  }
  return !(deadline->tv_sec < start->tv_sec ||
           (deadline->tv_sec == start->tv_sec && deadline->tv_nsec < start->tv_nsec));
}

void ReportOverflow(const timespec& deadline, const timespec& start) {
  KEL_PRINT(ZEP_DBG_ERROR, "tm.tv_sec = %d, tm.tv_nsec=%d, \ntm_bak.tv_sec = %d, tm_bak.tv_nsec=%d\n",
            static_cast<int>(deadline.tv_sec), static_cast<int>(deadline.tv_nsec),
            static_cast<int>(start.tv_sec), static_cast<int>(start.tv_nsec));
  IssueSignal(100);
}

}  // namespace

KelMutex::KelMutex() { pthread_mutex_init(&m_mutex, nullptr); }

KelMutex::~KelMutex() { pthread_mutex_destroy(&m_mutex); }

bool KelMutex::try_lock(long ms) {
  if (ms < 0) return false;
  timespec start, deadline;
  bool sane = MakeDeadline(ms, &start, &deadline);
  int ret = TimedLock(&m_mutex, &deadline);
  if (ret == 0) return true;
  KEL_PRINT(ZEP_DBG_ERROR, "pthread_mutex_timedlock failed. Ret=%d\n", ret);
  if (!sane) ReportOverflow(deadline, start);
  return false;
}

bool KelMutex::lock() {
  int ret = pthread_mutex_lock(&m_mutex);
  if (ret != 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "pthread_mutex_lock failed. Ret=%d\n", ret);
    IssueSignal(100);
    return false;
  }
  return true;
}

bool KelMutex::unlock() { return pthread_mutex_unlock(&m_mutex) == 0; }

bool KelMutex::lock(const char*, int) { return lock(); }

bool KelMutex::unlock(const char*, int) { return unlock(); }

KelSemLock::KelSemLock() { sem_init(&m_sem, 0, 1); }

KelSemLock::~KelSemLock() { sem_destroy(&m_sem); }

bool KelSemLock::try_lock(long ms) {
  if (ms < 0) return false;
  timespec start, deadline;
  bool sane = MakeDeadline(ms, &start, &deadline);
  int ret;
  do {
    ret = TimedWait(&m_sem, &deadline) == 0 ? 0 : errno;
  } while (ret == EINTR);
  if (ret == 0) return true;
  KEL_PRINT(ZEP_DBG_ERROR, "pthread_mutex_timedlock failed. Ret=%d\n", ret);
  if (!sane) ReportOverflow(deadline, start);
  return false;
}

bool KelSemLock::lock() {
  while (sem_wait(&m_sem) != 0) {
    if (errno != EINTR) {
      KEL_PRINT(ZEP_DBG_ERROR, "pthread_mutex_lock failed. Ret=%d\n", errno);
      IssueSignal(100);
      return false;
    }
  }
  return true;
}

bool KelSemLock::unlock() { return sem_post(&m_sem) == 0; }

bool KelRWLock::RLock() {
  const long ms = WaitMs();
  if (!entryLock.try_lock(ms)) {
    KEL_PRINT(ZEP_DBG_ERROR, "Can not get lock after 5 seconds!!!\n");
    return false;
  }
  if (!countLock.try_lock(ms)) {
    KEL_PRINT(ZEP_DBG_ERROR, "Can not get lock after 5 seconds!!!\n");
    entryLock.unlock();
    return false;
  }
  if (++readers == 1 && !resourceLock.try_lock(ms)) {
    --readers;
    countLock.unlock();
    entryLock.unlock();
    return false;
  }
  countLock.unlock();
  entryLock.unlock();
  return true;
}

bool KelRWLock::RUnlock() {
  if (!countLock.try_lock(WaitMs())) {
    KEL_PRINT(ZEP_DBG_ERROR, "Can not get lock after 5 seconds!!!\n");
    return false;
  }
  if (--readers == 0) resourceLock.unlock();
  countLock.unlock();
  return true;
}

bool KelRWLock::WLock_Timeout(long ms) {
  if (!entryLock.try_lock(ms)) return false;
  if (!resourceLock.try_lock(ms)) {
    entryLock.unlock();
    return false;
  }
  return true;
}

bool KelRWLock::WUnlock() {
  resourceLock.unlock();
  entryLock.unlock();
  return true;
}
