// KelWatchDog owns the service's periodic checks and their timers: client
// acknowledgements, hot-plug, disk health and the background-work check.
#ifndef KEL_SERVICE_MONITOR_KEL_WATCHDOG_H
#define KEL_SERVICE_MONITOR_KEL_WATCHDOG_H

#include <cstdint>
#include <memory>

#include "service/monitor/kel_watchdog_cbs.h"
#include "sharedlib/kel_mutex.h"
#include "sharedlib/kel_timer.h"

// Periods and limits of the checks. The defaults are the production values; tests shorten
// them (a silent client is otherwise dropped only after about 33 minutes).
struct KelWatchDogSettings {
  unsigned long ackIntervalMs = 2000;
  uint32_t ackMissLimit = 999;  // more unanswered probes in a row than this ends the session
  long ackGapMs = 10;           // pause between two clients of one round
  unsigned long hotplugIntervalMs = 100;
  unsigned long diskStatusIntervalMs = 3600000;
  KelCliAckTimerCb::Acker acker;  // empty: the notification connection's probe
  KelTaskManager* tasks = nullptr;  // restarts unfinished work; none: the check never fires
  // The configured hot-plug and disk-check periods.
  static KelWatchDogSettings FromConfig();
};

class KelWatchDog {
 public:
  KelWatchDog(KelClientHash* hash, KelEventLog* log, KelWatchDogSettings settings);
  KelWatchDog(KelClientHash* hash, KelEventLog* log)
      : KelWatchDog(hash, log, KelWatchDogSettings::FromConfig()) {}
  // Stops the timers (waiting for running checks), then frees them and the callbacks.
  ~KelWatchDog();
  KelWatchDog(const KelWatchDog&) = delete;
  KelWatchDog& operator=(const KelWatchDog&) = delete;

  // Registers and starts the timers; needs the timer daemon. False when one failed.
  bool start();
  // Stops and frees the timers, waiting for checks in progress. The object stays usable for
  // callers still running (device events, the interval command) until it is destroyed:
  // their requests are recorded and nothing runs any more.
  void stop();
  // Changes the disk-health period; takes effect from now.
  void SetDsTimeoutMs(unsigned long ms);
  // The last client left: background work may be restarted.
  void SetAutoSMR();
  // A device event arrived (both names are the same operation).
  void SetUEvent();
  void SetWMIEvent() { SetUEvent(); }

  unsigned long DsTimeoutMs();

 private:
  std::unique_ptr<KelTimer> MakeDsTimer(unsigned long ms);

  std::unique_ptr<KelSMRTimerCb> m_pSMRTimerCb;
  std::unique_ptr<KelHotplugTimerCb> m_pHpTimerCb;
  std::unique_ptr<KelCliAckTimerCb> m_pCliAckTimerCb;
  std::unique_ptr<KelDiskStatusTimerCb> m_pDsTimerCb;
  KelMutex m_timerMutex;  // a period change replaces the disk-health timer; stop() frees all
  std::unique_ptr<KelTimer> m_pCliAckTimer GUARDED_BY(m_timerMutex);
  std::unique_ptr<KelTimer> m_pHpTimer GUARDED_BY(m_timerMutex);
  std::unique_ptr<KelTimer> m_pSMRTimer GUARDED_BY(m_timerMutex);
  std::unique_ptr<KelTimer> m_pDsTimer GUARDED_BY(m_timerMutex);
  unsigned long m_dsMs GUARDED_BY(m_timerMutex);
  bool m_bStarted GUARDED_BY(m_timerMutex) = false;
  bool m_bStopped GUARDED_BY(m_timerMutex) = false;
};

#endif
