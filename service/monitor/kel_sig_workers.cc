#include "service/monitor/kel_sig_workers.h"

#include <cstring>

#include "service/config/kel_remote_config.h"
#include "service/core/srv_private.h"
#include "service/session/kel_client_hash.h"
#include "service/task/task_manager.h"
#include "sharedlib/diag.h"

KelSigWorker::~KelSigWorker() {
  KelSignal* signal = nullptr;
  m_inboxMutex.lock();
  while (m_inbox.PopFront(&signal)) delete signal;
  m_inboxMutex.unlock();
}

void KelSigWorker::run() {
  for (;;) {
    if (GetTerminateEvent()) {
      KEL_PRINT(ZEP_DBG_WARN, "%s receives terminate sig\n", m_name);
      return;
    }
    RunOnce();
    KelThreadSleep(m_periodMs);
  }
}

std::vector<KelSignal*> KelSigWorker::TakeAll() {
  std::vector<KelSignal*> out;
  if (!lock()) return out;
  KelSignal* signal = nullptr;
  while (m_inbox.PopFront(&signal)) out.push_back(signal);
  unlock();
  return out;
}

bool KelSigWorker::Send(uint16_t type, const uint8_t* data, int len) {
  if (m_pSink == nullptr) return false;
  _KelHostEventData notice;
  notice.type = type;
  notice.len = static_cast<uint16_t>(len);
  notice.data = len > 0 ? data : nullptr;
  return m_pSink->Broadcast(notice);
}

// Clients re-read the whole controller on a hot-plug notice, so one notice covers every
// signal that arrived since the last round.
void KelHpSigWorker::RunOnce() {
  std::vector<KelSignal*> signals = TakeAll();
  if (signals.empty()) return;
  for (KelSignal* signal : signals) delete signal;
  Send(KEL_NOTICE_HOTPLUG, nullptr, 0);
}

void KelDsSigWorker::RunOnce() {
  for (KelSignal* signal : TakeAll()) {
    uint32_t len = 0;
    if (signal->DataLen() >= 4) memcpy(&len, signal->data, sizeof len);
    // The length comes from the producer; never read past the payload.
    const uint32_t room = signal->DataLen() >= 4 ? static_cast<uint32_t>(signal->DataLen() - 4) : 0;
    if (len > room) len = room;
    Send(KEL_NOTICE_DISK_STATUS, len > 0 ? signal->data + 4 : nullptr, static_cast<int>(len));
    delete signal;
  }
}

// Task-state signals become notices. Start requests come from the task timer and are
// served only while no client is logged in; otherwise they are dropped (the timer asks
// again after the last logout).
void KelSMRSigWorker::RunOnce() {
  std::vector<KelAsyncTaskData> starts;
  for (KelSignal* signal : TakeAll()) {
    uint32_t kind = 0;
    if (signal->DataLen() >= 4 + kKelTaskRecordSize) memcpy(&kind, signal->data, sizeof kind);
    if (kind == kKelSMRTaskState) Send(KEL_NOTICE_TASK_STATE, signal->data + 4, kKelTaskRecordSize);
    if (kind == kKelSMRStartRequest) {
      KelAsyncTaskData record;
      memcpy(&record, signal->data + 4, sizeof record);
      starts.push_back(record);
    }
    delete signal;
  }
  if (starts.empty() || !ServiceWorkAllowed()) return;
  for (KelAsyncTaskData& record : starts)
    if (!Start(&record))
      KEL_PRINT(ZEP_DBG_ERROR, "Dispatch SMR task failed. Retcode [%d]\n", record.nResult);
}

bool KelSMRSigWorker::ServiceWorkAllowed() {
  if (!KelRemoteConfig::bAutoSMR) return false;
  KelClientHash* hash = m_pSrvPrivate != nullptr ? m_pSrvPrivate->pClientHash : nullptr;
  if (hash == nullptr) return gTotalClients.load() < 1;
  if (!hash->r_lock(__FILE__, __LINE__)) return false;
  const int clients = hash->GetCurClientNum();
  hash->r_unlock(__FILE__, __LINE__);
  return clients < 1;
}

bool KelSMRSigWorker::Start(KelAsyncTaskData* record) {
  if (m_dispatch) return m_dispatch(record);
  KelTaskManager* tasks = m_pSrvPrivate != nullptr ? m_pSrvPrivate->pTaskManager : nullptr;
  return tasks != nullptr && tasks->DispatchAsyncTask(record);
}
