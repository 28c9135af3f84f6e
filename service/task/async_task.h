// KelAsyncTask: one background job (synchronise, migrate, replace) driven on a thread of
// its own, one engine step per call, until the engine reports it complete, a client stops
// it, or the step keeps failing. The task manager owns tasks through shared pointers: a
// task is freed when the last holder (a list, a starter waiting for its confirmation, a
// stopper) lets go. Thread-safe: the record is guarded by the task's mutex.
#ifndef KEL_SERVICE_TASK_ASYNC_TASK_H
#define KEL_SERVICE_TASK_ASYNC_TASK_H

#include <cstdint>
#include <string>

#include "service/task/task_engine.h"
#include "service/task/task_record.h"
#include "sharedlib/kel_clock.h"
#include "sharedlib/kel_mutex.h"
#include "sharedlib/kel_thread.h"
#include "sharedlib/kel_wait.h"
#include "sharedlib/mem_pool.h"

// Timings and limits of the task machinery; the defaults are the production values, tests
// shorten them.
struct KelTaskTimings {
  long lockWaitMs = 5000;         // command paths give up on the task lists after this
  long clientConfirmMs = 1000;    // a start waits this long for the first good step
  long serviceConfirmMs = 5000;
  long retryPauseMs = 1000;       // between two failed steps
  int failuresToBreak = 4;        // this many failed steps in a row break the task
  long endPauseMs = 500;          // before the thread of a completed or broken task ends
  unsigned long keepEndedMs = 5000;  // an ended task stays queryable this long
};

// What a task reports to the manager that owns it; called on the task's thread without
// any lock of the task's held.
class KelTaskOwner {
 public:
  virtual ~KelTaskOwner() = default;
  virtual void TaskNotice(const KelAsyncTaskData& record) = 0;  // the state changed
  virtual void TaskLogLine(const std::string& line) = 0;        // an event-log line
  virtual void TaskBroke(const KelAsyncTaskData& record) = 0;   // frees its disks
};

class KelAsyncTask : public KelThread, public KelMemPool {
 public:
  KelAsyncTask(const KelAsyncTaskData& record, KelTaskEngine* engine, KelTaskOwner* owner,
               const KelTaskTimings& timings);
  ~KelAsyncTask() override { terminate(); }

  void run() override;

  KelAsyncTaskData Record();
  void SetState(uint8_t state);
  // A client stopped the task: state 3, and from now on it counts as the client's.
  void MarkStopped();
  // Prepares a (re)start: state 2, no stale confirmation or stop request.
  void PrepareStart();
  // Waits for the first good step; false on time-out.
  bool WaitConfirmed(long ms) { return m_confirmed.WaitForComplete(ms); }
  // Milliseconds since the task completed; KelClock::kStopped when it never did.
  unsigned long SinceCompleted();
  // Re-reads the magic numbers of the task's objects; true when one changed and none is
  // gone.
  bool UpdateMagic();
  uint64_t GetCapacity();

 private:
  // One step; fills `progress` unless cancelling. RAID 0+1 reports its smallest half.
  int StepOnce(const KelAsyncTaskData& record, uint16_t* progress);
  // The single cancelling call after a stop request.
  void Cancel();
  void Finish(bool completed, bool terminated, const std::string& text);

  KelTaskEngine* const m_pEngine;
  KelTaskOwner* const m_pOwner;
  const KelTaskTimings m_timings;
  KelWait m_confirmed;  // completed by the first good step
  KelMutex m_mutex;
  KelAsyncTaskData m_taskdata GUARDED_BY(m_mutex);
  KelClock m_doneClock GUARDED_BY(m_mutex);  // runs from completion on
  uint64_t m_capacity GUARDED_BY(m_mutex) = 0;
};

#endif
