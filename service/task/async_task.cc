#include "service/task/async_task.h"

#include <sched.h>

#include "sharedlib/diag.h"

KelAsyncTask::KelAsyncTask(const KelAsyncTaskData& record, KelTaskEngine* engine,
                           KelTaskOwner* owner, const KelTaskTimings& timings)
    : m_pEngine(engine), m_pOwner(owner), m_timings(timings), m_taskdata(record) {}

KelAsyncTaskData KelAsyncTask::Record() {
  KelMutexGuard hold(m_mutex);
  return m_taskdata;
}

void KelAsyncTask::SetState(uint8_t state) {
  KelMutexGuard hold(m_mutex);
  m_taskdata.uState = state;
}

void KelAsyncTask::MarkStopped() {
  KelMutexGuard hold(m_mutex);
  m_taskdata.uState = KEL_TASK_STOPPED;
  if (m_taskdata.uOrigin == KEL_TASK_BY_SERVICE) m_taskdata.uOrigin = KEL_TASK_BY_CLIENT;
}

void KelAsyncTask::PrepareStart() {
  m_confirmed.WaitForComplete(0);
  terminateEvent.WaitForComplete(0);  // a stop that found the thread already ending
  KelMutexGuard hold(m_mutex);
  m_taskdata.uState = KEL_TASK_STARTING;
  m_doneClock.stop();
}

unsigned long KelAsyncTask::SinceCompleted() {
  KelMutexGuard hold(m_mutex);
  return m_doneClock.GetElapsedTime();
}

bool KelAsyncTask::UpdateMagic() {
  KelMutexGuard hold(m_mutex);
  const bool replace = m_taskdata.uTaskCode == KEL_TASK_REPLACE_PD;
  bool changed = false;
  bool lost = false;
  auto refresh = [&](bool disk, int index, uint16_t* magic) {
    uint16_t now = 0;
    if (!m_pEngine->Magic(disk, index, &now)) {
      lost = true;
    } else if (now != *magic) {
      *magic = now;
      changed = true;
    }
  };
  refresh(replace, m_taskdata.uIndex1, &m_taskdata.wdMagic1);
  if (replace) refresh(true, m_taskdata.uIndex2, &m_taskdata.wdMagic2);
  return changed && !lost;
}

uint64_t KelAsyncTask::GetCapacity() {
  KelMutexGuard hold(m_mutex);
  if (m_capacity == 0) m_capacity = m_pEngine->Capacity(m_taskdata);
  return m_capacity;
}

int KelAsyncTask::StepOnce(const KelAsyncTaskData& record, uint16_t* progress) {
  const int ret = m_pEngine->Step(record, progress);
  if (record.uTaskCode == KEL_TASK_SYNC_RAID01 && ret != 0 && ret != kKelSyncFinished &&
      ret != kKelStepDone)
    KEL_PRINT(ZEP_DBG_ERROR, "zr_sync_RAID01_TARVOII failed: ret = %d, flag = %d\n", ret,
              record.wdMagic2);
  return ret;
}

// The engine undoes or parks the work in this one call; its answer is what the stopper
// reports. Calling it again would only repeat the cancel.
void KelAsyncTask::Cancel() {
  KEL_PRINT(ZEP_DBG_WARN, "Received terminate request\n");
  const int ret = m_pEngine->Step(Record(), nullptr);
  KelMutexGuard hold(m_mutex);
  m_taskdata.nResult = ret;
}

void KelAsyncTask::run() {
  KelAsyncTaskData record = Record();
  const int done = KelTaskCompletionCode(record.uTaskCode);
  if (done == 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "Unknown async taske code\n");
    KelMutexGuard hold(m_mutex);
    m_taskdata.nResult = KEL_TASK_BAD_CODE;
    return;
  }
  const bool byService = record.uOrigin == KEL_TASK_BY_SERVICE;
  const std::string text = std::string(byService ? "Server start a new " : "") +
                            KelTaskWorkName(record.uTaskCode);
  if (byService) m_pOwner->TaskLogLine("INFO~" + text);
  // A RAID 0+1 synchronisation without a valid half mask covers both halves; the engine
  // skips a pair that is already in step.
  if (record.uTaskCode == KEL_TASK_SYNC_RAID01 && (record.wdMagic2 < 1 || record.wdMagic2 > 3)) {
    KelMutexGuard hold(m_mutex);
    m_taskdata.wdMagic2 = 3;
  }

  uint16_t progress = record.uPercent;
  int failures = 0;
  bool completed = false;
  bool terminated = false;
  for (;;) {
    if (GetTerminateEvent()) {
      terminated = true;
      Cancel();
      break;
    }
    const int ret = StepOnce(Record(), &progress);
    uint8_t state = 0;
    {
      KelMutexGuard hold(m_mutex);
      m_taskdata.nResult = ret;
      if (progress != m_taskdata.uPercent) {
        KEL_PRINT(ZEP_DBG_INFO, "Task: %d %p, percent: %d %d\n", m_taskdata.uTaskCode,
                  static_cast<void*>(this), m_taskdata.uPercent, progress);
        m_taskdata.uPercent = progress;
      }
      if (ret == kKelStepDone) m_taskdata.nResult = done;
      state = m_taskdata.uState;
    }
    if (ret == kKelStepDone) {
      completed = true;
      break;
    }
    if (ret == kKelStepBusy) {
      KEL_PRINT(ZEP_DBG_ERROR, "Async task failed due to volmod busy.\n");
      sched_yield();
      continue;
    }
    // Repeated at once only with new magic numbers: a device that is gone, or an engine that
    // keeps refusing the current numbers, counts as a failed step, so the task ends.
    if (ret == kKelStepMagicChanged && UpdateMagic()) {
      KEL_PRINT(ZEP_DBG_WARN, "Magic number of array changed\n");
      continue;
    }
    if (ret == 0 || ret == done) {
      failures = 0;
      if (state == KEL_TASK_STARTING) {
        KEL_PRINT(ZEP_DBG_WARN, "Task status changes: start->running\n");
        SetState(KEL_TASK_RUNNING);
        m_pOwner->TaskNotice(Record());
        m_confirmed.Complete();
      }
      if (ret == done) {
        completed = true;
        break;
      }
      sched_yield();
      continue;
    }
    KEL_PRINT(ZEP_DBG_ERROR, "Async task break. ret = %d, percent=%d\n", ret, progress);
    if (++failures >= m_timings.failuresToBreak) break;
    // The pause ends early for a stop request, which the next round then serves.
    if (terminateEvent.WaitForComplete(m_timings.retryPauseMs)) terminateEvent.Complete();
  }
  Finish(completed, terminated, text);
}

void KelAsyncTask::Finish(bool completed, bool terminated, const std::string& text) {
  const bool byService = Record().uOrigin == KEL_TASK_BY_SERVICE;
  if (completed) {
    {
      KelMutexGuard hold(m_mutex);
      m_taskdata.uPercent = 100;
      m_taskdata.uState = KEL_TASK_COMPLETED;
      m_doneClock.start();
    }
    m_confirmed.Complete();  // work done in its first step is a confirmed start too
    m_pOwner->TaskNotice(Record());
    if (byService) m_pOwner->TaskLogLine("INFO~" + text + ", and now it's completed");
  } else if (!terminated) {
    SetState(KEL_TASK_BROKEN);
    m_pOwner->TaskNotice(Record());
    m_pOwner->TaskBroke(Record());
    if (byService) m_pOwner->TaskLogLine("WARNING~" + text + ", but it breaks");
  }
  // A stopper waits for this thread; only ended work lingers before leaving.
  if (!terminated) terminateEvent.WaitForComplete(m_timings.endPauseMs);
}
