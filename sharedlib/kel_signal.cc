// The process-wide signal queue: construction of signals and the locked queue operations.
#include "sharedlib/kel_signal.h"

#include <new>

#include "sharedlib/diag.h"

KelSignal::KelSignal(KelSignalCode code, int nDataLen) : code(code), data(nullptr), m_nDataLen(0) {
  KEL_ASSERT(nDataLen >= 0);
  if (nDataLen > 0) {
    data = new unsigned char[nDataLen]();
    m_nDataLen = nDataLen;
  }
}

KelSignal::~KelSignal() { delete[] data; }

KelList<KelSignal*>& KelSignal::Queue() {
  // Static storage, never destroyed: producers may still post while the process exits.
  alignas(KelList<KelSignal*>) static unsigned char storage[sizeof(KelList<KelSignal*>)];
  static KelList<KelSignal*>* queue = new (storage) KelList<KelSignal*>();
  return *queue;
}

KelRWLock& KelSignal::QueueLock() {
  alignas(KelRWLock) static unsigned char storage[sizeof(KelRWLock)];
  static KelRWLock* lock = new (storage) KelRWLock();
  return *lock;
}

namespace {

// Builds the queue and its lock during static initialisation, before main runs.
[[maybe_unused]] const bool kSignalQueueBuilt = (KelSignal::Queue(), KelSignal::QueueLock(), true);

}  // namespace

bool KelSignal::Insert(KelSignal* pSignal) {
  KEL_ASSERT(pSignal != nullptr);
  if (pSignal == nullptr) return false;
  // Never touch the queue without the lock: a producer that cannot post keeps its signal.
  if (!QueueLock().WLock()) {
    KEL_PRINT(ZEP_DBG_ERROR, "WLock the global sig queue failed\n");
    return false;
  }
  bool queued = true;
  try {
    Queue().Insert(pSignal);
  } catch (const std::bad_alloc&) {
    queued = false;
  }
  QueueLock().WUnlock();
  if (!queued) KEL_PRINT(ZEP_DBG_ERROR, "Allocate memory failed\n");
  return queued;
}

void KelSignal::Remove(KelSignal* pSignal) {
  if (!QueueLock().WLock()) {
    KEL_PRINT(ZEP_DBG_ERROR, "WLock the global sig queue failed\n");
    return;
  }
  int removed = 0;
  try {
    removed = Queue().Remove(pSignal);
  } catch (int) {  // a corrupt list: release the lock on the way out
    QueueLock().WUnlock();
    throw;
  }
  QueueLock().WUnlock();
  if (!removed) KEL_ASSERT_TEXT("kelSignalQueue.Remove(pSignal)");
}

void KelSignal::ClearSigQueue() {
  if (!QueueLock().WLock()) {
    KEL_PRINT(ZEP_DBG_ERROR, "WLock the global sig queue failed\n");
    return;
  }
  KelSignal* pSignal = nullptr;
  while (Queue().PopFront(&pSignal)) delete pSignal;
  QueueLock().WUnlock();
}
