#include <cstring>

#include "service/config/kel_remote_config.h"
#include "service/monitor/kel_watchdog_cbs.h"
#include "service/session/kel_client_hash.h"
#include "service/task/smr_handles.h"
#include "service/task/task_manager.h"
#include "sharedlib/diag.h"

namespace {

constexpr uint32_t kStartRequest = 2;  // payload kind of a start signal

}  // namespace

KelSMRTimerCb::KelSMRTimerCb(KelClientHash* hash, KelTaskManager* tasks)
    : m_pHash(hash), m_pTasks(tasks) {
  TrigSMRCheck(nullptr, -1);
}

bool KelSMRTimerCb::TrigSMRCheck(const _Index_Plus_t* list, int count) {
  KEL_PRINT(ZEP_DBG_INFO, "Enter\n");
  KelMutexGuard hold(m_mutex);
  if (m_bPending) {
    ++m_nSkipped;
    return false;
  }
  m_newDevs.clear();
  if (list != nullptr && count > 0) m_newDevs.assign(list, list + count);
  if (count != 0) {
    KEL_PRINT(ZEP_DBG_INFO, "TrigSMRCheck: find new dev[%d]\n", count);
    m_bRequested = true;
    m_bPending = true;
  }
  KEL_PRINT(ZEP_DBG_INFO, "Exit\n");
  return true;
}

// The registry lock covers only the count; the task lists are not touched here.
bool KelSMRTimerCb::IsNeedToTrig() {
  if (m_pTasks == nullptr) return false;
  int clients = 0;
  if (m_pHash != nullptr) {
    if (!m_pHash->r_lock(__FILE__, __LINE__)) return false;
    clients = m_pHash->GetCurClientNum();
    m_pHash->r_unlock(__FILE__, __LINE__);
  } else {
    clients = gTotalClients.load();
  }
  bool trigger = false;
  {
    KelMutexGuard hold(m_mutex);
    if (clients > 0 || !KelRemoteConfig::bAutoSMR) {
      m_bRequested = false;
      m_bPending = false;
    } else if (m_bRequested) {
      trigger = true;
    } else if (m_nSkipped > 0) {
      m_nSkipped = 0;
      trigger = true;
    } else {
      trigger = m_pTasks->HasWaitingWork();
    }
  }
  return trigger;
}

bool KelSMRTimerCb::ReadUnfinished(const std::vector<_Index_Plus_t>& newDevs,
                                   std::vector<KelAsyncTaskData>* records) {
  KelTaskEngine* engine = m_pTasks->Engine();
  _LIB_Need_SMR_Info_t info;
  memset(&info, 0, sizeof info);
  if (engine->GetSMRHandles(&info) != 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "Get SMR handle failed\n");
    return false;
  }
  KEL_PRINT(ZEP_DBG_INFO, "Total unfinished SMR: %d\n", info.Count());
  if (info.Count() == 0) return false;
  KelNewDiskFilter filter;
  filter.active = !newDevs.empty();
  filter.arrayIsNew = [&](int array) { return engine->ArrayHasDisk(array, newDevs); };
  filter.diskIsNew = [&](int disk, uint16_t magic) {
    for (const _Index_Plus_t& d : newDevs)
      if (d.nIndex == disk && d.wdMagicNum == magic) return true;
    return false;
  };
  *records = KelTasksFromHandles(info, filter);
  return true;
}

void KelSMRTimerCb::EndCheck(bool dropRequest) {
  KelMutexGuard hold(m_mutex);
  if (dropRequest) m_bRequested = false;
  m_bPending = false;
}

void KelSMRTimerCb::TimerCallbackFn() {
  KEL_PRINT(ZEP_DBG_INFO, "Enter\n");
  if (m_pTasks == nullptr) return EndCheck(true);
  bool requested = false;
  std::vector<_Index_Plus_t> newDevs;
  {
    KelMutexGuard hold(m_mutex);
    requested = m_bRequested;
    newDevs = m_newDevs;
  }
  std::vector<KelAsyncTaskData> records;
  if (requested && !ReadUnfinished(newDevs, &records)) return EndCheck(true);
  m_pTasks->Refresh(requested, records);
  KelAsyncTaskData next;
  if (m_pTasks->FindUnConflictTask(&next)) {
    uint8_t payload[4 + sizeof next];
    memcpy(payload, &kStartRequest, 4);
    memcpy(payload + 4, &next, sizeof next);
    KelPostSignal(Kel_Signal_SMR, payload, static_cast<int>(sizeof payload));
    KEL_PRINT(ZEP_DBG_INFO, "Find a unconflict task to run\n");
  } else if (m_pTasks->HasWaitingWork()) {
    KEL_PRINT(ZEP_DBG_INFO, "Can not find unconflict task to run\n");
  }
  EndCheck(requested);
}
