// Restartable threads. Every long-running component (connection threads, command parser
// and worker, signal workers, listeners, timer callbacks) is a KelThread whose subclass
// overrides run(). A thread is started, asked to terminate through an event that run()
// polls, and may be started again once it has ended; nothing stops a thread by force.
#ifndef KEL_SHAREDLIB_KEL_THREAD_H
#define KEL_SHAREDLIB_KEL_THREAD_H

#include <pthread.h>

#include "sharedlib/kel_mutex.h"
#include "sharedlib/kel_wait.h"

class KelBaseThread {
 public:
  // Scheduling class of a new thread, 0 to 7: 0 the default policy's minimum priority,
  // 5 its maximum, 1-4 and 6 the minimum plus that many sixths of the range, 7 inherit
  // the creating thread's scheduling.
  using Priority = int;
  static constexpr Priority kPriorityMin = 0;
  static constexpr Priority kPriorityMax = 5;
  static constexpr Priority kPriorityInherit = 7;

  KelBaseThread() = default;
  virtual ~KelBaseThread() = default;
  KelBaseThread(const KelBaseThread&) = delete;
  KelBaseThread& operator=(const KelBaseThread&) = delete;

  virtual void run() = 0;
  virtual bool thread_start(Priority priority) = 0;
  virtual bool start() = 0;
  virtual bool terminate() = 0;
  virtual bool running();  // isRunning, read under stateMutex

  // Sleeps `ms` milliseconds (select without descriptors; a signal does not cut it short).
  static void KelThreadSleep(long ms);

  // The scheduler priority for `priority` (0-6) within [minPrio, maxPrio].
  static int SchedPriority(Priority priority, int minPrio, int maxPrio);

 protected:
  KelMutex stateMutex;
  bool isRunning GUARDED_BY(stateMutex) = false;
};

// Contract for subclasses: run() returns when GetTerminateEvent() reports a request (or
// when its work is done). The object must outlive its thread: a subclass whose run() may
// still be executing calls terminate() in its own destructor, because by the time
// ~KelThread runs the subclass part is gone. ~KelThread itself waits only 500 ms.
class KelThread : public KelBaseThread {
 public:
  KelThread() = default;
  ~KelThread() override;

  // Creates the thread (detached). False, with a message, when the thread is already
  // running or cannot be created; the object stays startable.
  bool thread_start(Priority priority) override;
  bool start() override { return thread_start(kPriorityInherit); }
  // Requests termination and waits without limit for the thread to end.
  bool terminate() override { return thread_terminate(-1); }
  // Requests termination and waits at most `ms` milliseconds (-1: no limit) for the thread
  // to end. True at once when no thread runs; false when it is still running at the end.
  bool thread_terminate(int ms);
  // Whether termination was requested; never blocks and consumes the request.
  bool GetTerminateEvent() { return terminateEvent.WaitForComplete(0); }
  // Marks the thread ended and ends the calling thread; called by the thread entry after
  // run() returns, and by a run() that wants to end early.
  virtual void exit();

 protected:
  pthread_t threadId GUARDED_BY(stateMutex) = kNoThread;  // kNoThread when none exists
  KelWait terminateEvent;          // completed by thread_terminate, polled by run()
  KelWait exitEvent;               // completed by exit(), awaited by thread_terminate

  static constexpr pthread_t kNoThread = static_cast<pthread_t>(-1);

 private:
  static void* ThreadCallBackFun(void* self);
  // Chooses inheritance or an explicit policy and priority on `attr`.
  static void ApplyPriority(pthread_attr_t* attr, Priority priority);
};

#endif
