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
#ifndef KEL_SHAREDLIB_KEL_MUTEX_H
#define KEL_SHAREDLIB_KEL_MUTEX_H

#include <pthread.h>
#include <semaphore.h>

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

class KelMutex : public KelBaseMutex {
 public:
  KelMutex();
  ~KelMutex() override;
  KelMutex(const KelMutex&) = delete;
  KelMutex& operator=(const KelMutex&) = delete;

  bool try_lock(long ms) override;
  bool lock() override;  // blocks; a failing lock call ends the process
  bool unlock() override;
  // The position arguments are accepted for call-site compatibility and not used.
  bool lock(const char* file, int line);
  bool unlock(const char* file, int line);

  pthread_mutex_t* native() { return &m_mutex; }

 private:
  pthread_mutex_t m_mutex;
};

// A lock that any thread may release: the reader/writer lock's resource lock is taken by
// the first reader and released by the last, which may be another thread.
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

class KelRWLock {
 public:
  KelRWLock() = default;
  virtual ~KelRWLock() = default;
  KelRWLock(const KelRWLock&) = delete;
  KelRWLock& operator=(const KelRWLock&) = delete;

  bool RLock();
  bool RUnlock();
  bool WLock() { return WLock_Timeout(5000); }
  bool WLock_Timeout(long ms);
  bool WUnlock();

  bool RLock(const char*, int) { return RLock(); }
  bool RUnlock(const char*, int) { return RUnlock(); }
  bool WLock(const char*, int) { return WLock(); }
  bool WUnlock(const char*, int) { return WUnlock(); }

 private:
  int readers = 0;       // current readers; guarded by countLock
  KelMutex entryLock;    // held by a writer for as long as it holds the lock
  KelMutex countLock;    // guards `readers`
  KelSemLock resourceLock;  // first reader takes it, last reader releases it
};

// Scoped holder of a KelMutex for code paths that may return early.
class KelMutexGuard {
 public:
  explicit KelMutexGuard(KelMutex& m) : m_mutex(m) { m_mutex.lock(); }
  ~KelMutexGuard() { m_mutex.unlock(); }
  KelMutexGuard(const KelMutexGuard&) = delete;
  KelMutexGuard& operator=(const KelMutexGuard&) = delete;

 private:
  KelMutex& m_mutex;
};

#endif
