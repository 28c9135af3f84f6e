// KelWait: a one-shot, auto-reset completion event. One thread completes it, one waiting
// thread consumes the completion. Threads use a pair of them to ask their body to stop and
// to report that it has stopped.
//
// Waits are measured on the monotonic clock, so setting the system time neither shortens
// nor stretches them.
#ifndef KEL_SHAREDLIB_KEL_WAIT_H
#define KEL_SHAREDLIB_KEL_WAIT_H

#include <pthread.h>

// Thread-safe. The event is meant for one waiting thread at a time.
class KelWait {
 public:
  KelWait();
  ~KelWait();
  KelWait(const KelWait&) = delete;
  KelWait& operator=(const KelWait&) = delete;

  // Marks the event completed and wakes one waiter. True when the wake-up call succeeded.
  // A completion that nobody waits for stays pending until the next WaitForComplete.
  bool Complete();

  // True when the event was completed before or during the wait; the completion is then
  // consumed. False on time-out or on a failing lock.
  //   ms == -1   wait without limit
  //   ms == 0    test only, never blocks
  //   ms > 0     wait at most ms milliseconds
  //   ms < -1    false without waiting (a pending completion is still consumed)
  // Spurious wake-ups are absorbed: false means the deadline really passed.
  bool WaitForComplete(long ms);

 private:
  pthread_mutex_t mutex;
  pthread_cond_t cond;     // bound to CLOCK_MONOTONIC; signalled under `mutex`
  bool completed = false;  // guarded by `mutex`
};

#endif
