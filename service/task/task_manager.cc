#include "service/task/task_manager.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "sharedlib/diag.h"
#include "sharedlib/kel_signal.h"

namespace {

constexpr uint32_t kStateNotice = 1;  // payload kind of a task-state signal

void PostStateSignal(const KelAsyncTaskData& record) {
  auto* signal = new KelSignal(Kel_Signal_SMR, 4 + static_cast<int>(sizeof record));
  memcpy(signal->data, &kStateNotice, 4);
  memcpy(signal->data + 4, &record, sizeof record);
  if (!KelSignal::Insert(signal)) delete signal;
}

// Replacements first, then synchronisations, then migrations, then anything else.
int SchedClass(uint8_t code) {
  if (code == KEL_TASK_REPLACE_PD) return 0;
  if (code >= KEL_TASK_SYNC_RAID1 && code <= KEL_TASK_SYNC_RAID5) return 1;
  if (code == KEL_TASK_MIGRATE_ARRAY) return 2;
  return 3;
}

}  // namespace

KelTaskManager::KelTaskManager(KelTaskEngine* engine, Hooks hooks, KelTaskTimings timings)
    : m_pEngine(engine), m_hooks(std::move(hooks)), m_timings(timings) {}

void KelTaskManager::TaskNotice(const KelAsyncTaskData& record) {
  if (m_hooks.notice)
    m_hooks.notice(record);
  else
    PostStateSignal(record);
}

void KelTaskManager::TaskLogLine(const std::string& line) {
  if (m_hooks.logLine) m_hooks.logLine(line);
}

void KelTaskManager::TaskBroke(const KelAsyncTaskData& record) {
  std::vector<std::string> keys;
  m_pEngine->DiskKeys(record, &keys);
  KelMutexGuard hold(m_mutex);
  for (const std::string& key : keys) m_busyDisks.erase(key);
  if (!m_stopped.empty()) m_bHasValidTask = true;
}

KelTaskManager::TaskPtr KelTaskManager::Find(TaskList& list, const KelAsyncTaskData& record) {
  for (const TaskPtr& task : list)
    if (KelTaskMatches(task->Record(), record)) return task;
  return nullptr;
}

bool KelTaskManager::DispatchAsyncTask(KelAsyncTaskData* record) {
  switch (record->uOp) {
    case KEL_TASK_OP_START:
      return StartAsyncTask(record);
    case KEL_TASK_OP_STOP:
      return StopAsyncTask(record);
    case KEL_TASK_OP_QUERY:
      return QueryAsyncTaskStatus(record);
    default:
      return false;
  }
}

// The disks come first: a task that shares a disk with the running one is told so (1115)
// rather than only that something runs (1116).
bool KelTaskManager::TaskVerify(KelAsyncTaskData* record) {
  std::vector<std::string> keys;
  m_pEngine->DiskKeys(*record, &keys);
  for (const std::string& key : keys) {
    if (m_busyDisks.count(key) != 0) {
      record->nResult = KEL_TASK_DISK_BUSY;
      return false;
    }
  }
  if (!m_running.empty()) {
    KEL_PRINT(ZEP_DBG_ERROR, "Too many async tasks[%d]\n", static_cast<int>(m_running.size()));
    record->nResult = KEL_TASK_TOO_MANY;
    return false;
  }
  return true;
}

bool KelTaskManager::StartAsyncTask(KelAsyncTaskData* record) {
  KEL_PRINT(ZEP_DBG_INFO, "Enter\n");
  record->uState = KEL_TASK_NEW;
  if (!Lock()) {
    KEL_PRINT(ZEP_DBG_ERROR, "lock failed\n");
    record->nResult = KEL_TASK_LOCK_FAILED;
    return false;
  }
  Reclaim();
  if (m_bInKill) {
    m_mutex.unlock();
    KEL_PRINT(ZEP_DBG_ERROR, "lock failed\n");
    record->nResult = KEL_TASK_START_FAILED;
    return false;
  }
  if (TaskPtr live = Find(m_running, *record)) {
    const KelAsyncTaskData now = live->Record();
    m_mutex.unlock();
    // A broken task lingers in the list for a moment before its thread leaves; a start
    // (the pipeline's retry of a failed one, say) must not take it for running work.
    if (now.uState == KEL_TASK_BROKEN) {
      record->uState = KEL_TASK_BROKEN;
      record->nResult = KEL_TASK_BROKE;
      return false;
    }
    record->uState = KEL_TASK_RUNNING;
    record->nResult = KEL_TASK_OK;
    return true;
  }
  // An array in step (or in its final layout) gets no task that could only break: the
  // start hears at once that there is nothing to do, whoever asked.
  if (!m_pEngine->NeedsWork(*record)) {
    m_mutex.unlock();
    KEL_PRINT(ZEP_DBG_WARN, "Array %d needs no %s\n", record->uIndex1,
              KelTaskWorkName(record->uTaskCode));
    record->nResult = kKelNoWorkNeeded;
    return false;
  }
  TaskPtr task = Find(m_stopped, *record);
  TaskList* home = &m_stopped;
  if (task != nullptr) {
    record->uState = KEL_TASK_STOPPED;
  } else if ((task = Find(m_finished, *record)) != nullptr) {
    record->uState = KEL_TASK_COMPLETED;
    home = &m_finished;
  }
  if (!TaskVerify(record)) {
    // Service work refused now stays in the stopped list for the timer's next try.
    if (record->uOrigin == KEL_TASK_BY_SERVICE && home != &m_stopped) {
      if (task != nullptr) m_finished.remove(task);
      if (task == nullptr && KelIsWorkCode(record->uTaskCode))
        task.reset(new KelAsyncTask(*record, m_pEngine, this, m_timings));
      if (task != nullptr) m_stopped.push_back(task);
      CountStopped();
    }
    m_mutex.unlock();
    return false;
  }
  if (task == nullptr) {
    KelAsyncTaskData fresh = *record;
    fresh.nResult = 0;
    task.reset(new KelAsyncTask(fresh, m_pEngine, this, m_timings));
  } else {
    home->remove(task);
    CountStopped();
  }
  return Launch(std::move(task), record);
}

bool KelTaskManager::Launch(TaskPtr task, KelAsyncTaskData* record) {
  task->PrepareStart();
  if (!task->start() || !task->running()) {
    m_mutex.unlock();
    KEL_PRINT(ZEP_DBG_ERROR, "Start async task failed\n");
    record->uState = KEL_TASK_NEW;
    record->nResult = KEL_TASK_START_FAILED;
    return false;
  }
  m_running.push_back(task);
  const bool byService = record->uOrigin == KEL_TASK_BY_SERVICE;
  m_mutex.unlock();
  // `task` keeps the object alive while we wait, whatever Reclaim does to the lists.
  const bool confirmed =
      task->WaitConfirmed(byService ? m_timings.serviceConfirmMs : m_timings.clientConfirmMs);
  const KelAsyncTaskData now = task->Record();
  record->uState = now.uState;
  record->uPercent = now.uPercent;
  if (confirmed && now.uState != KEL_TASK_BROKEN) {
    KEL_PRINT(ZEP_DBG_INFO, "Start SMR OK, the task is running now\n");
    record->nResult = KEL_TASK_OK;
  } else {
    KEL_PRINT(ZEP_DBG_ERROR, "Start SMR failed\n");
    record->nResult = now.uState == KEL_TASK_BROKEN ? KEL_TASK_BROKE : KEL_TASK_START_FAILED;
  }
  return confirmed;
}

bool KelTaskManager::StopAsyncTask(KelAsyncTaskData* record) {
  if (!Lock()) {
    record->uState = KEL_TASK_UNKNOWN;
    record->nResult = KEL_TASK_LOCK_FAILED;
    return false;
  }
  if (m_bInKill) {
    m_mutex.unlock();
    KEL_PRINT(ZEP_DBG_ERROR, "lock failed\n");
    record->nResult = KEL_TASK_STOP_FAILED;
    return false;
  }
  TaskPtr task = Find(m_running, *record);
  if (task == nullptr) {
    const bool stopped = Find(m_stopped, *record) != nullptr;
    m_mutex.unlock();
    record->uState = stopped ? KEL_TASK_STOPPED : KEL_TASK_NEW;
    record->nResult = stopped ? KEL_TASK_OK : KEL_TASK_STOP_FAILED;
    return stopped;
  }
  m_mutex.unlock();
  task->terminate();  // the thread makes its one cancelling call and ends
  task->MarkStopped();
  const KelAsyncTaskData now = task->Record();
  TaskNotice(now);
  record->nResult = now.nResult;
  record->uState = KEL_TASK_STOPPED;
  record->uPercent = now.uPercent;
  // Reclaim may have moved the ended thread's task meanwhile; it belongs with the stopped.
  m_mutex.lock();
  m_running.remove(task);
  m_finished.remove(task);
  if (!m_bInKill) m_stopped.push_back(task);
  CountStopped();
  m_mutex.unlock();
  return record->nResult == KEL_TASK_OK;
}

bool KelTaskManager::QueryAsyncTaskStatus(KelAsyncTaskData* record) {
  record->nResult = KEL_TASK_QUERY_INIT;
  if (!Lock()) {
    record->uState = KEL_TASK_UNKNOWN;
    record->nResult = KEL_TASK_LOCK_FAILED;
    return false;
  }
  TaskPtr task;
  if (!m_bInKill) {
    task = Find(m_running, *record);
    if (task == nullptr) task = Find(m_stopped, *record);
    if (task == nullptr) task = Find(m_finished, *record);
  }
  const bool inKill = m_bInKill;
  m_mutex.unlock();
  if (task == nullptr) {
    if (inKill) KEL_PRINT(ZEP_DBG_ERROR, "lock failed\n");
    if (!inKill) KEL_PRINT(ZEP_DBG_ERROR, "QueryAsyncTaskStatus failed: No such task!!!\n");
    record->uState = KEL_TASK_NEW;
    record->nResult = KEL_TASK_NO_SUCH;
    return false;
  }
  const KelAsyncTaskData now = task->Record();
  record->uPercent = now.uPercent;
  record->uState = now.uState;
  if (now.uState == KEL_TASK_COMPLETED && now.uPercent == 100)
    record->nResult = KEL_TASK_FINISHED;
  else if (now.uState == KEL_TASK_BROKEN)
    record->nResult = KEL_TASK_BROKE;
  else if (now.uState == KEL_TASK_STOPPED)
    record->nResult = KEL_TASK_IS_STOPPED;
  else
    record->nResult = KEL_TASK_OK;
  return true;
}

int KelTaskManager::QueryAllAsyncTaskStatus(KelAsyncTaskData* request, KelAsyncTaskData* out,
                                            int room) {
  if (request == nullptr || request->uTaskCode != KEL_ASYNC_TASK_QUERY_ALL) {
    KEL_ASSERT_TEXT(
        "(pData != NULL) && (pData->KelAsyncTaskPara.KelQueryPara.uTaskCode == "
        "KEL_ASYNC_TASK_QUERY_ALL)");
    return 0;
  }
  if (!Lock()) {
    request->uState = KEL_TASK_UNKNOWN;
    request->nResult = KEL_TASK_LOCK_FAILED;
    return 0;
  }
  if (m_bInKill) {
    m_mutex.unlock();
    KEL_PRINT(ZEP_DBG_ERROR, "lock failed\n");
    request->nResult = KEL_TASK_NO_SUCH;
    return 0;
  }
  int n = 0;
  for (TaskList* list : {&m_running, &m_stopped})
    for (const TaskPtr& task : *list)
      if (n < room) out[n++] = task->Record();
  m_mutex.unlock();
  request->nResult = KEL_TASK_OK;
  return n;
}

void KelTaskManager::KillAllSMR() {
  m_mutex.lock();
  m_bInKill = true;
  TaskList running;
  running.swap(m_running);
  m_stopped.clear();
  m_finished.clear();
  m_busyDisks.clear();
  CountStopped();
  m_mutex.unlock();
  // Each task is freed when its last holder (perhaps a starter still waiting) lets go.
  for (const TaskPtr& task : running) task->terminate();
}

// An ended task is kept while clients may still ask about it: a completed one for
// keepEndedMs, a stopped or broken one while its objects are unchanged.
bool KelTaskManager::Dropable(KelAsyncTask& task, bool keepForClients) {
  if (!keepForClients) return true;
  const unsigned long since = task.SinceCompleted();
  if (since != KelClock::kStopped) return since >= m_timings.keepEndedMs;
  const KelAsyncTaskData record = task.Record();
  return record.uTaskCode == 0 || task.UpdateMagic();
}

void KelTaskManager::Reclaim() {
  if (m_bInKill) {
    m_running.clear();
    m_stopped.clear();
    m_finished.clear();
    CountStopped();
    return;
  }
  if (m_running.size() > 1)
    KEL_PRINT(ZEP_DBG_ERROR, "SMR task queue is full[%d]\n", static_cast<int>(m_running.size()));
  const bool clients = m_hooks.clientCount && m_hooks.clientCount() >= 1;
  // Plain loops: the lock analysis does not follow a lambda into Dropable.
  for (auto it = m_finished.begin(); it != m_finished.end();)
    it = Dropable(**it, clients) ? m_finished.erase(it) : std::next(it);
  if (clients)
    for (auto it = m_stopped.begin(); it != m_stopped.end();)
      it = Dropable(**it, true) ? m_stopped.erase(it) : std::next(it);
  for (auto it = m_running.begin(); it != m_running.end();) {
    if ((*it)->running()) {
      ++it;
      continue;
    }
    if (clients) m_finished.push_back(*it);
    it = m_running.erase(it);
  }
  m_busyDisks.clear();
  for (const TaskPtr& task : m_running) {
    const KelAsyncTaskData record = task->Record();
    if (record.uState == KEL_TASK_COMPLETED || record.uState == KEL_TASK_BROKEN) continue;
    std::vector<std::string> keys;
    m_pEngine->DiskKeys(record, &keys);
    if (keys.empty()) KEL_PRINT(ZEP_DBG_ERROR, "Invalid state!!!\n");
    m_busyDisks.insert(keys.begin(), keys.end());
  }
  CountStopped();
}

void KelTaskManager::Refresh(bool replaceStopped, const std::vector<KelAsyncTaskData>& records) {
  std::vector<std::pair<KelAsyncTaskData, uint64_t>> order;
  for (const KelAsyncTaskData& r : records) order.emplace_back(r, m_pEngine->Capacity(r));
  std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) {
    const int ca = SchedClass(a.first.uTaskCode), cb = SchedClass(b.first.uTaskCode);
    return ca != cb ? ca < cb : a.second < b.second;
  });
  KelMutexGuard hold(m_mutex);
  Reclaim();
  if (!replaceStopped || m_bInKill) return;
  m_stopped.clear();
  for (const auto& [record, capacity] : order) {
    (void)capacity;
    m_stopped.emplace_back(new KelAsyncTask(record, m_pEngine, this, m_timings));
  }
  m_bHasValidTask = true;
  CountStopped();
}

bool KelTaskManager::FindUnConflictTask(KelAsyncTaskData* out) {
  KelMutexGuard hold(m_mutex);
  if (m_bInKill || !m_running.empty()) return false;
  for (const TaskPtr& task : m_stopped) {
    KelAsyncTaskData record = task->Record();
    if (TaskVerify(&record)) {
      *out = record;
      return true;
    }
  }
  if (!m_stopped.empty()) m_bHasValidTask = false;
  return false;
}

void KelTaskManager::DropStopped() {
  KelMutexGuard hold(m_mutex);
  m_stopped.clear();
  CountStopped();
}

void KelTaskManager::TEST_Reclaim() {
  KelMutexGuard hold(m_mutex);
  Reclaim();
}

std::weak_ptr<KelAsyncTask> KelTaskManager::TEST_Find(const KelAsyncTaskData& record) {
  KelMutexGuard hold(m_mutex);
  for (TaskList* list : {&m_running, &m_stopped, &m_finished})
    if (TaskPtr task = Find(*list, record)) return task;
  return {};
}
