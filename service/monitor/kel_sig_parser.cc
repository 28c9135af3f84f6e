#include "service/monitor/kel_sig_parser.h"

#include "service/core/srv_private.h"
#include "sharedlib/diag.h"

KelSigParser::KelSigParser(KelSrvPrivate* priv, KelNoticeSink* sink) {
  if (sink == nullptr) {
    m_pOwnSink = std::make_unique<KelBroadcastSink>(priv != nullptr ? priv->pClientHash : nullptr);
    sink = m_pOwnSink.get();
  }
  m_pSigWorkers[Kel_Signal_Hotplug] = std::make_unique<KelHpSigWorker>();
  m_pSigWorkers[Kel_Signal_DiskStatus] = std::make_unique<KelDsSigWorker>();
  m_pSigWorkers[Kel_Signal_SMR] = std::make_unique<KelSMRSigWorker>();
  for (auto& worker : m_pSigWorkers) worker->SetPara(priv, sink);
}

KelSigParser::~KelSigParser() {
  terminate();
  for (auto& worker : m_pSigWorkers) worker.reset();
  for (KelSignal* signal : m_waiting) delete signal;
}

bool KelSigParser::start() {
  bool ok = true;
  for (auto& worker : m_pSigWorkers) ok = worker->start() && ok;
  return thread_start(kPriorityInherit) && ok;
}

void KelSigParser::run() {
  for (;;) {
    if (GetTerminateEvent()) {
      KEL_PRINT(ZEP_DBG_WARN, "KelSigParser receives terminate sig\n");
      return;
    }
    DispatchOnce();
    KelThreadSleep(10);
  }
}

// A signal leaves the shared queue before any worker sees it, so the queue never holds a
// signal that a worker may already have freed.
void KelSigParser::DispatchOnce() {
  KelRWLock& queueLock = KelSignal::QueueLock();
  if (queueLock.WLock()) {
    KelSignal* signal = nullptr;
    while (KelSignal::Queue().PopFront(&signal)) m_waiting.push_back(signal);
    queueLock.WUnlock();
  } else {
    KEL_PRINT(ZEP_DBG_ERROR, "WLock the global sig queue failed\n");
  }
  std::vector<KelSignal*> busy;
  bool busyWorker[gMaxSigWorkers] = {};
  for (KelSignal* signal : m_waiting) {
    const int code = static_cast<int>(signal->code);
    if (code < 0 || code >= gMaxSigWorkers) {
      // Nothing will ever take it: report it once and let it go.
      KEL_ASSERT_TEXT("nSigCode < gMaxSigWorkers");
      KEL_PRINT(ZEP_DBG_ERROR, "No worker for sig[%d]\n", code);
      delete signal;
      continue;
    }
    KelSigWorker* worker = m_pSigWorkers[static_cast<size_t>(code)].get();
    // Once a worker was busy its later signals wait too, so each worker sees its signals
    // in posting order.
    if (busyWorker[code] || !worker->lock()) {
      if (!busyWorker[code])
        KEL_PRINT(ZEP_DBG_ERROR, "Worker[%d] is busy, can not be locked\n", code);
      busyWorker[code] = true;
      busy.push_back(signal);
      continue;
    }
    worker->AddSignal(signal);
    worker->unlock();
  }
  m_waiting.swap(busy);
}
