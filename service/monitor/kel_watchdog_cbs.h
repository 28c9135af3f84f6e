// The watchdog's periodic jobs, each a timer callback: the acknowledgement check that ends
// sessions whose client stopped answering, the hot-plug check that compares the controller
// before and after a device event, the disk-health round, and the background-work check
// (a shell for now: it records requests and never fires).
#ifndef KEL_SERVICE_MONITOR_KEL_WATCHDOG_CBS_H
#define KEL_SERVICE_MONITOR_KEL_WATCHDOG_CBS_H

#include <cstdint>
#include <functional>
#include <vector>

#include "service/monitor/ctrl_tree.h"
#include "sharedlib/kel_mutex.h"
#include "sharedlib/kel_signal.h"
#include "sharedlib/kel_timer.h"
#include "sharedlib/mem_pool.h"
#include "sharedlib/raid_records.h"

class KelClientHash;
class KelEventLog;

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

class KelSMRTimerCb : public KelTimerCallback, public KelMemPool {
 public:
  KelSMRTimerCb() { TrigSMRCheck(nullptr, -1); }
  // Records a request for a check of unfinished work, with the disks that are new (none
  // when `count` is below 1). False when a check is already pending.
  bool TrigSMRCheck(const _Index_Plus_t* list, int count);
  // Restarting background work comes with the task machinery; until then it never runs.
  bool IsNeedToTrig() override { return false; }
  void TimerCallbackFn() override {}

 private:
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
