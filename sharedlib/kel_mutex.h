// Locking primitives of the runtime library.
//
// KelMutex is a plain, non-recursive POSIX mutex. KelRWLock is a writer-preferring
// reader/writer lock whose every internal wait gives up after 5 seconds and reports it;
// callers treat that as an ordinary failure. A lock call that fails outright, or a deadline
// that cannot be computed, is an impossible state: IssueSignal ends the process and the
// supervising parent of kelsrv starts a fresh one.
//
// Deadlines are measured on the monotonic clock, so setting the system time neither
// shortens nor stretches a wait.
//
// KelMutex, KelRWLock and the scoped holders carry Clang thread-safety annotations
// (sharedlib/thread_annotations.h): a clang build checks every GUARDED_BY member.
#ifndef KEL_SHAREDLIB_KEL_MUTEX_H
#define KEL_SHAREDLIB_KEL_MUTEX_H

#include <pthread.h>
#include <semaphore.h>

#include <atomic>

#include "sharedlib/thread_annotations.h"

// Raises SIGSEGV in the calling process; `code` names the reason at the call site only:
// 100 lock failure, 101 corrupted command queue, 102 clock set back.
void IssueSignal(int code);

class KelBaseMutex {
 public:
  virtual ~KelBaseMutex() = default;
  // Waits at most `ms` milliseconds; a negative `ms` fails at once without trying.
  virtual bool try_lock(long ms) = 0;
  virtual bool lock() = 0;
  virtual bool unlock() = 0;
};

class CAPABILITY("mutex") KelMutex : public KelBaseMutex {
 public:
  KelMutex();
  ~KelMutex() override;
  KelMutex(const KelMutex&) = delete;
  KelMutex& operator=(const KelMutex&) = delete;

  bool try_lock(long ms) override TRY_ACQUIRE(true);
  bool lock() override ACQUIRE();  // blocks; a failing lock call ends the process
  bool unlock() override RELEASE();
  // The position arguments are accepted for call-site compatibility and not used.
  bool lock(const char* file, int line) ACQUIRE();
  bool unlock(const char* file, int line) RELEASE();

  pthread_mutex_t* native() { return &m_mutex; }

 private:
  pthread_mutex_t m_mutex;
};

// A lock that any thread may release: the reader/writer lock's resource lock is taken by
// the first reader and released by the last, which may be another thread. Not annotated:
// the analysis follows a lock within one thread's function, and this one is handed over.
class KelSemLock : public KelBaseMutex {
 public:
  KelSemLock();
  ~KelSemLock() override;
  KelSemLock(const KelSemLock&) = delete;
  KelSemLock& operator=(const KelSemLock&) = delete;

  bool try_lock(long ms) override;
  bool lock() override;
  bool unlock() override;

 private:
  sem_t m_sem;  // 1 = free, 0 = held
};

// Every wait of RLock, RUnlock and WLock gives up after the lock's wait limit: 5 seconds
// (kWaitMs), unless a test shortened it (TEST_ hooks below).
class CAPABILITY("rwlock") KelRWLock {
 public:
  static constexpr long kWaitMs = 5000;

  KelRWLock() = default;
  virtual ~KelRWLock() = default;
  KelRWLock(const KelRWLock&) = delete;
  KelRWLock& operator=(const KelRWLock&) = delete;

  bool RLock() TRY_ACQUIRE_SHARED(true);
  bool RUnlock() RELEASE_SHARED();
  bool WLock() TRY_ACQUIRE(true) { return WLock_Timeout(WaitMs()); }
  bool WLock_Timeout(long ms) TRY_ACQUIRE(true);
  bool WUnlock() RELEASE();

  bool RLock(const char*, int) TRY_ACQUIRE_SHARED(true) { return RLock(); }
  bool RUnlock(const char*, int) RELEASE_SHARED() { return RUnlock(); }
  bool WLock(const char*, int) TRY_ACQUIRE(true) { return WLock(); }
  bool WUnlock(const char*, int) RELEASE() { return WUnlock(); }

  // ---- Test only: shorten the give-up so its paths run without waiting 5 s. ----
  // The limit of this lock; a negative `ms` returns it to the process-wide limit.
  void TEST_SetWaitMs(long ms) { m_waitMs.store(ms, std::memory_order_relaxed); }
  // The limit of every lock without a limit of its own; returns the previous one. Tests
  // restore kWaitMs when done.
  static long TEST_SetDefaultWaitMs(long ms) {
    return s_defaultWaitMs.exchange(ms, std::memory_order_relaxed);
  }
  // The limit in force for this lock.
  long WaitMs() const {
    long own = m_waitMs.load(std::memory_order_relaxed);
    return own >= 0 ? own : s_defaultWaitMs.load(std::memory_order_relaxed);
  }

 private:
  int readers GUARDED_BY(countLock) = 0;  // current readers
  KelMutex entryLock;    // held by a writer for as long as it holds the lock
  KelMutex countLock;
  KelSemLock resourceLock;  // first reader takes it, last reader releases it
  std::atomic<long> m_waitMs{-1};  // -1: s_defaultWaitMs
  static inline std::atomic<long> s_defaultWaitMs{kWaitMs};
};

// Scoped holder of a KelMutex for code paths that may return early.
class SCOPED_CAPABILITY KelMutexGuard {
 public:
  explicit KelMutexGuard(KelMutex& m) ACQUIRE(m) : m_mutex(m) { m_mutex.lock(); }
  ~KelMutexGuard() RELEASE() { m_mutex.unlock(); }
  KelMutexGuard(const KelMutexGuard&) = delete;
  KelMutexGuard& operator=(const KelMutexGuard&) = delete;

 private:
  KelMutex& m_mutex;
};

#endif
