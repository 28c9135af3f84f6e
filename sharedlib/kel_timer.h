// Timer service: one daemon thread scans every registered timer each 100 ms and runs a due
// timer's callback on a thread of that timer's own, so a slow callback delays neither the
// scan nor the other timers. A callback never runs twice at once: an expiry that finds the
// previous run unfinished is remembered (pendingTrig) and carried out at the next expiry
// at which the thread is free.
//
// Lock order: the list mutex, then a timer's own state mutex, then whatever the callback's
// IsNeedToTrig() takes and the timer thread's state mutex. Callbacks run without any of
// these held.
#ifndef KEL_SHAREDLIB_KEL_TIMER_H
#define KEL_SHAREDLIB_KEL_TIMER_H

#include <cstdint>

#include "sharedlib/kel_clock.h"
#include "sharedlib/kel_list.h"
#include "sharedlib/kel_mutex.h"
#include "sharedlib/kel_thread.h"
#include "sharedlib/mem_pool.h"

// The work of a timer. TimerCallbackFn runs on the timer's thread; IsNeedToTrig runs on
// the daemon thread, with the list mutex and the timer's state mutex held, so it must be
// quick and must not touch the timer registry.
class KelTimerCallback {
 public:
  virtual ~KelTimerCallback() = default;
  virtual void TimerCallbackFn() = 0;
  // Whether the callback wants to run at this expiry.
  virtual bool IsNeedToTrig() { return true; }
};

// Runs its callback once per start, then ends. Its destructor waits, without limit, for a
// callback still running, because the callback's owner frees it right afterwards.
class KelTimerThread : public KelThread {
 public:
  explicit KelTimerThread(KelTimerCallback* cb) : pCallback(cb) {}
  ~KelTimerThread() override { terminate(); }

  void run() override;
  bool IsNeedToTrig();

 private:
  KelTimerCallback* pCallback;  // not owned; set once
};

// The scanning thread of the registry; see KelTimer::StartTimerDaemonThread.
class KelTimerDaemonThread : public KelThread {
 public:
  ~KelTimerDaemonThread() override { terminate(); }
  void run() override;
};

// A registered timer fires every intervalMs (rounded up to the 100 ms scan), repeatCount
// times or, with kForever, without end. Owners create it, AddTimer and Start it, and at
// the end DelTimer and delete it; the registry does not own timers.
//
// Thread-safe: the daemon and the owner may use a timer concurrently.
class KelTimer : public KelMemPool {
 public:
  static constexpr uint32_t kForever = 0xFFFFFFFFU;
  static constexpr unsigned kNameSize = 128;

  // Not started. `cb` is not owned and must outlive the timer. A name longer than 127
  // characters is cut (with an assertion line); null gives an empty name.
  KelTimer(unsigned long repeatCount, unsigned long intervalMs, KelTimerCallback* cb, const char* name);
  // Leaves the registry if still registered, then waits for a running callback to end.
  // Must not be called from the timer's own callback.
  ~KelTimer();
  KelTimer(const KelTimer&) = delete;
  KelTimer& operator=(const KelTimer&) = delete;

  bool Start();  // the first interval counts from now; always true
  // Stops firing and asks a running callback's thread to end (waiting 10 ms at most; the
  // callback is not interrupted). Always true.
  bool Stop();
  void Reset();  // started, and the next interval counts from now
  bool IsTimeout();
  // Runs the callback now on the timer's thread, or remembers the expiry when the
  // previous run is unfinished.
  void TrigCallBack();

  const char* GetName() const { return name; }

  // Registry. AddTimer fails (assertion line) before StartTimerDaemonThread. DelTimer
  // stops the timer, then unlinks it; false when it was not registered. ClearAllTimer
  // empties the registry and leaves the timers untouched. The lock analysis skips the
  // last two: without a daemon (no list mutex) they change the list unlocked.
  static bool AddTimer(KelTimer* timer);
  static bool DelTimer(KelTimer* timer) NO_THREAD_SAFETY_ANALYSIS;
  static void ClearAllTimer() NO_THREAD_SAFETY_ANALYSIS;
  // Replaces any previous daemon and list mutex (the registered timers stay) and starts
  // the daemon. Called first by the service main.
  static bool StartTimerDaemonThread();
  // Waits for the daemon to end, empties the registry, frees the daemon and the mutex.
  // Callbacks already running finish on their own threads.
  static void StopTimerDaemonThread();

 private:
  friend class KelTimerDaemonThread;

  // One pass of the daemon over the registry; takes the list mutex.
  static void ScanTimers();
  // The daemon's handling of one timer; takes the timer's state mutex.
  void Expire() EXCLUDES(m_stateMutex);

  // The caller holds m_stateMutex.
  bool IsTimeoutLocked() REQUIRES(m_stateMutex);
  void TrigCallBackLocked() REQUIRES(m_stateMutex);
  void ResetLocked() REQUIRES(m_stateMutex);
  // Asks a running callback's thread to end; called without m_stateMutex.
  bool CancelCallBack();

  KelTimerCallback* pCallback;      // not owned; set once
  KelTimerThread* m_pTimerThread;   // owned; set once
  KelMutex m_stateMutex;
  bool isStarted GUARDED_BY(m_stateMutex) = false;
  bool pendingTrig GUARDED_BY(m_stateMutex) = false;
  uint32_t repeatCount GUARDED_BY(m_stateMutex);  // kForever: without end
  KelClock clock GUARDED_BY(m_stateMutex);
  const uint32_t intervalMs;
  char name[kNameSize];             // zero-terminated; set once

  // Registry, built by StartTimerDaemonThread.
  static KelList<KelTimer*> kelTimerList GUARDED_BY(*pkelTimerListMutex);
  static KelMutex* pkelTimerListMutex;                   // held by the daemon for a whole scan
  static KelTimerDaemonThread* pkelTimerDaemonThread;
};

#endif
