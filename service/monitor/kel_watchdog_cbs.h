// The watchdog's periodic jobs, each a timer callback: the acknowledgement check that ends
// sessions whose client stopped answering, the hot-plug check that compares the controller
// before and after a device event, the disk-health round, and the background-work check
// that restarts unfinished work while no client is logged in.
#ifndef KEL_SERVICE_MONITOR_KEL_WATCHDOG_CBS_H
#define KEL_SERVICE_MONITOR_KEL_WATCHDOG_CBS_H

#include <cstdint>
#include <functional>
#include <vector>

#include "service/monitor/ctrl_tree.h"
#include "service/task/task_record.h"
#include "sharedlib/kel_mutex.h"
#include "sharedlib/kel_signal.h"
#include "sharedlib/kel_timer.h"
#include "sharedlib/mem_pool.h"
#include "sharedlib/raid_records.h"

class KelClientHash;
class KelEventLog;
class KelTaskManager;

// Posts a signal with a copy of `payload`; the signal is freed when the queue refuses it.
bool KelPostSignal(KelSignalCode code, const uint8_t* payload, int len);
// Queues one event-log line; a missing log drops it.
void KelQueueLogLine(KelEventLog* log, std::string line);

// Ends sessions that are offline (left by logout) or whose client let more than
// `missLimit` acknowledgement probes in a row go unanswered.
class KelCliAckTimerCb : public KelTimerCallback, public KelMemPool {
 public:
  // Probes client `id`; true when the client was reached (its session's ackMissCount then
  // tells how many probes in a row went unanswered).
  using Acker = std::function<bool(int id)>;
  KelCliAckTimerCb(KelClientHash* hash, uint32_t missLimit, Acker acker, long gapMs);
  void TimerCallbackFn() override;

 private:
  // One client of the round.
  void CheckClient(int id);
  void Destroy(int id);

  KelClientHash* const m_pHash;
  const uint32_t m_missLimit;
  const Acker m_acker;
  const long m_gapMs;  // pause between two clients of a round
};

// Every 3 s while no client is logged in and automatic work is allowed: after a request
// (start-up, the last logout, a hot-plug change) reads the unfinished work from the engine
// and makes it the stopped list of the task manager; then asks the task worker to start
// the first task that may run.
class KelSMRTimerCb : public KelTimerCallback, public KelMemPool {
 public:
  // Without a task manager the check records requests and never fires.
  KelSMRTimerCb(KelClientHash* hash, KelTaskManager* tasks);
  // Records a request for a check of unfinished work, with the disks that are new (none
  // when `count` is below 1). False when a check is already pending.
  bool TrigSMRCheck(const _Index_Plus_t* list, int count);
  bool IsNeedToTrig() override;
  void TimerCallbackFn() override;

 private:
  // The service's records of the engine's unfinished work; false when there is none.
  bool ReadUnfinished(const std::vector<_Index_Plus_t>& newDevs,
                      std::vector<KelAsyncTaskData>* records);
  void EndCheck(bool dropRequest);

  KelClientHash* const m_pHash;
  KelTaskManager* const m_pTasks;
  KelMutex m_mutex;
  bool m_bRequested GUARDED_BY(m_mutex) = false;
  bool m_bPending GUARDED_BY(m_mutex) = false;
  int m_nSkipped GUARDED_BY(m_mutex) = 0;
  std::vector<_Index_Plus_t> m_newDevs GUARDED_BY(m_mutex);
};

class KelHotplugTimerCb : public KelTimerCallback, public KelMemPool {
 public:
  KelHotplugTimerCb(KelEventLog* log, KelSMRTimerCb* smr) : m_pEventLog(log), m_pSMR(smr) {}
  // A device event arrived: asks the engine whether the controller saw a change.
  void SetHotplug();
  bool IsNeedToTrig() override;
  void TimerCallbackFn() override;

  // Consecutive rounds that could not read the controller before the check gives up and
  // waits for the next device event.
  static constexpr int kMaxFailedRounds = 3;

 private:
  bool RescanClterTree(KelCtlTree* oldTree, KelCtlTree* newTree);
  void Report(const std::vector<_HpInfo>& changes);
  void EndRound(bool failed);

  KelEventLog* const m_pEventLog;
  KelSMRTimerCb* const m_pSMR;
  KelMutex m_mutex;
  bool m_bRequested GUARDED_BY(m_mutex) = false;
  bool m_bInProgress GUARDED_BY(m_mutex) = false;
  int m_nEventsDuringCheck GUARDED_BY(m_mutex) = 0;
  int m_nFailedRounds GUARDED_BY(m_mutex) = 0;
};

class KelDiskStatusTimerCb : public KelTimerCallback, public KelMemPool {
 public:
  explicit KelDiskStatusTimerCb(KelEventLog* log) : m_pEventLog(log) {}
  void TimerCallbackFn() override;

 private:
  KelEventLog* const m_pEventLog;
};

#endif
