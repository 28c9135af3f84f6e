#include <cstring>

#include "driver/drv_info_records.h"
#include "service/engine/zr_facade.h"
#include "service/eventlog/kel_event_log.h"
#include "service/monitor/ctrl_tree_scan.h"
#include "service/monitor/kel_watchdog_cbs.h"
#include "sharedlib/diag.h"

bool KelPostSignal(KelSignalCode code, const uint8_t* payload, int len) {
  KelSignal* signal = new KelSignal(code, len);
  if (len > 0 && payload != nullptr) memcpy(signal->data, payload, static_cast<size_t>(len));
  if (KelSignal::Insert(signal)) return true;
  delete signal;
  return false;
}

void KelQueueLogLine(KelEventLog* log, std::string line) {
  if (log != nullptr) log->AddItemToQueue(line);
}

void KelHotplugTimerCb::SetHotplug() {
  KEL_PRINT(ZEP_DBG_INFO, "Receive UEvent, query driver about hotplug\n");
  _CHECK_CTLER_HOTPLUG_EVENT_IOBUFFER answer;
  memset(&answer, 0xFF, sizeof answer);
  bool changed = true;
  if (zr_check_hotplug_byctlIndex(0, &answer) != 0)
    KEL_PRINT(ZEP_DBG_ERROR, "Check hotplug failed\n");
  else
    changed = answer.byChanged == 1;
  KelMutexGuard hold(m_mutex);
  if (m_bInProgress) {
    ++m_nEventsDuringCheck;
    return;
  }
  m_nEventsDuringCheck = 0;
  m_nFailedRounds = 0;
  if (changed) m_bRequested = true;
  if (m_bRequested) KEL_PRINT(ZEP_DBG_INFO, "Set Hotplug\n");
}

bool KelHotplugTimerCb::IsNeedToTrig() {
  KelMutexGuard hold(m_mutex);
  const bool wanted = m_bRequested || m_bInProgress || m_nEventsDuringCheck > 0;
  if (m_bRequested || (!m_bInProgress && m_nEventsDuringCheck > 0)) {
    m_bRequested = false;
    m_nEventsDuringCheck = 0;
    m_bInProgress = true;
  }
  if (wanted) KEL_PRINT(ZEP_DBG_INFO, "Trig hotplug timer callback\n");
  return wanted;
}

bool KelHotplugTimerCb::RescanClterTree(KelCtlTree* oldTree, KelCtlTree* newTree) {
  const bool haveOld = CreateCtlerTree(oldTree);
  UpdateHardWareInfo();
  if (haveOld && CreateCtlerTree(newTree)) return true;
  // Let clients look again themselves even though the difference is unknown.
  KelPostSignal(Kel_Signal_Hotplug, nullptr, 4);
  UpdateHardWareInfo();
  return false;
}

void KelHotplugTimerCb::TimerCallbackFn() {
  KelCtlTree oldTree, newTree;
  if (!RescanClterTree(&oldTree, &newTree)) {
    UpdateHardWareInfo();
    if (!RescanClterTree(&oldTree, &newTree)) {
      KEL_PRINT(ZEP_DBG_ERROR, "Cannot find ctler on this PC\n");
      EndRound(true);
      return;
    }
  }
  const std::vector<_HpInfo> changes = ExtractHpInfo(oldTree, newTree);
  if (changes.empty())
    KEL_PRINT(ZEP_DBG_WARN, "!!!Detected hotplug event, nut no disk changes\n");
  else
    Report(changes);
  EndRound(false);
}

void KelHotplugTimerCb::Report(const std::vector<_HpInfo>& changes) {
  KelPostSignal(Kel_Signal_Hotplug, nullptr, 4);
  KEL_PRINT(ZEP_DBG_INFO, "Signal Hotplug, the hpInfo size: %d\n",
            static_cast<int>(changes.size()));
  for (const _HpInfo& change : changes) KelQueueLogLine(m_pEventLog, HpLogLine(change));
  if (m_pSMR != nullptr) m_pSMR->TrigSMRCheck(nullptr, -1);
}

// A failed round leaves the check in progress so the next tick tries again, but only a few
// times: a controller that is gone must not keep the timer busy until the next event.
void KelHotplugTimerCb::EndRound(bool failed) {
  KelMutexGuard hold(m_mutex);
  m_nFailedRounds = failed ? m_nFailedRounds + 1 : 0;
  if (!failed || m_nFailedRounds >= kMaxFailedRounds) {
    m_bInProgress = false;
    m_nFailedRounds = 0;
  }
}
