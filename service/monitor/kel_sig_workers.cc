#include "service/monitor/kel_sig_workers.h"

#include <cstring>

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

// Task-state signals become notices. Start requests need the task machinery, which is not
// part of this service yet: they are dropped.
void KelSMRSigWorker::RunOnce() {
  for (KelSignal* signal : TakeAll()) {
    uint32_t kind = 0;
    if (signal->DataLen() >= 4 + kKelTaskRecordSize) memcpy(&kind, signal->data, sizeof kind);
    if (kind == kKelSMRTaskState) Send(KEL_NOTICE_TASK_STATE, signal->data + 4, kKelTaskRecordSize);
    delete signal;
  }
}
