// KelTaskManager: the background tasks of the service, in three lists (running; stopped,
// which also holds service work waiting for a retry; finished), with the table of disks
// that running work occupies. At most one task runs at a time (1116); a task whose disk is
// busy in another is refused (1115). Command paths try the list lock for lockWaitMs and
// report 1103 when it cannot be had.
//
// Lock order: the list lock, then a task's own mutex; the engine is called with the list
// lock held only for queries (disk keys, magic numbers). The manager must outlive every
// task: KillAllSMR (or the destructor) ends them.
#ifndef KEL_SERVICE_TASK_TASK_MANAGER_H
#define KEL_SERVICE_TASK_TASK_MANAGER_H

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "service/task/async_task.h"

class KelTaskManager : public KelTaskOwner {
 public:
  struct Hooks {
    // How many clients are logged in (ended tasks are kept for them to query).
    std::function<int()> clientCount;
    // A task's state changed; empty: a task-state signal for the notice worker.
    std::function<void(const KelAsyncTaskData&)> notice;
    // An event-log line of service-started work; empty: dropped.
    std::function<void(const std::string&)> logLine;
  };
  using TaskPtr = std::shared_ptr<KelAsyncTask>;

  KelTaskManager(KelTaskEngine* engine, Hooks hooks, KelTaskTimings timings = {});
  ~KelTaskManager() override { KillAllSMR(); }
  KelTaskManager(const KelTaskManager&) = delete;
  KelTaskManager& operator=(const KelTaskManager&) = delete;

  // Operation 1 start, 2 stop, 3 query; fills the record's result and state. False for
  // any other operation (record untouched) and whenever the operation failed.
  bool DispatchAsyncTask(KelAsyncTaskData* record);
  bool StartAsyncTask(KelAsyncTaskData* record);
  bool StopAsyncTask(KelAsyncTaskData* record);
  bool QueryAsyncTaskStatus(KelAsyncTaskData* record);
  // Copies the records of the running, then the stopped tasks into `out` (room for
  // `room` records); returns the count. The request's code must be 6.
  int QueryAllAsyncTaskStatus(KelAsyncTaskData* request, KelAsyncTaskData* out, int room);
  // Shutdown: ends every task and empties the lists; every later call fails.
  void KillAllSMR();

  // ---- For the task timer and the registry. ----
  // Reclaims ended tasks; with `replaceStopped` the stopped list becomes `records` (as
  // service tasks), ordered so that replacements come first, then synchronisations, then
  // migrations, each smallest first. Waits for the list lock without limit.
  void Refresh(bool replaceStopped, const std::vector<KelAsyncTaskData>& records);
  // When nothing runs: the first stopped task that could run now. False when none (and,
  // when tasks wait, they stay unoffered until the next Refresh or a task breaks).
  bool FindUnConflictTask(KelAsyncTaskData* out);
  // The first client logged in: service work waiting for a retry is forgotten.
  void DropStopped();
  // Hints for the timer, read without the list lock.
  bool HasWaitingWork() const { return m_nStopped.load() > 0 && m_bHasValidTask.load(); }
  KelTaskEngine* Engine() const { return m_pEngine; }

  void TaskNotice(const KelAsyncTaskData& record) override;
  void TaskLogLine(const std::string& line) override;
  void TaskBroke(const KelAsyncTaskData& record) override;

  // ---- Test only. ----
  void TEST_Reclaim();
  std::weak_ptr<KelAsyncTask> TEST_Find(const KelAsyncTaskData& record);

 private:
  using TaskList = std::list<TaskPtr>;
  TaskPtr Find(TaskList& list, const KelAsyncTaskData& record) REQUIRES(m_mutex);
  bool Lock() TRY_ACQUIRE(true, m_mutex) { return m_mutex.try_lock(m_timings.lockWaitMs); }
  void Reclaim() REQUIRES(m_mutex);
  bool Dropable(KelAsyncTask& task, bool keepForClients) REQUIRES(m_mutex);
  bool TaskVerify(KelAsyncTaskData* record) REQUIRES(m_mutex);
  void CountStopped() REQUIRES(m_mutex) { m_nStopped = static_cast<int>(m_stopped.size()); }
  // Starts `task` (taken out of every list) and waits for its confirmation.
  bool Launch(TaskPtr task, KelAsyncTaskData* record) RELEASE(m_mutex);

  KelTaskEngine* const m_pEngine;
  const Hooks m_hooks;
  const KelTaskTimings m_timings;
  KelMutex m_mutex;  // the list lock
  TaskList m_running GUARDED_BY(m_mutex);
  TaskList m_stopped GUARDED_BY(m_mutex);
  TaskList m_finished GUARDED_BY(m_mutex);
  std::set<std::string> m_busyDisks GUARDED_BY(m_mutex);
  bool m_bInKill GUARDED_BY(m_mutex) = false;
  std::atomic<int> m_nStopped{0};             // mirrors m_stopped.size()
  std::atomic<bool> m_bHasValidTask{true};    // a stopped task may be startable
};

#endif
