// Timer registry, daemon scan and per-timer triggering.
#include "sharedlib/kel_timer.h"

#include <cstddef>
#include <cstring>
#include <new>

#include "sharedlib/diag.h"

KelList<KelTimer*> KelTimer::kelTimerList;
KelMutex* KelTimer::pkelTimerListMutex = nullptr;
KelTimerDaemonThread* KelTimer::pkelTimerDaemonThread = nullptr;

namespace {

constexpr long kScanPeriodMs = 100;

}  // namespace

void KelTimerThread::run() {
  if (pCallback != nullptr) pCallback->TimerCallbackFn();
}

bool KelTimerThread::IsNeedToTrig() { return pCallback != nullptr && pCallback->IsNeedToTrig(); }

void KelTimerDaemonThread::run() {
  // Waiting on the terminate event instead of sleeping lets a stop request end the loop
  // at once rather than after the rest of the period.
  do {
    KelTimer::ScanTimers();
  } while (!terminateEvent.WaitForComplete(kScanPeriodMs));
}

KelTimer::KelTimer(unsigned long repeatCount, unsigned long intervalMs, KelTimerCallback* cb,
                   const char* timerName)
    : pCallback(cb),
      m_pTimerThread(new (std::nothrow) KelTimerThread(cb)),
      repeatCount(static_cast<uint32_t>(repeatCount)),
      intervalMs(static_cast<uint32_t>(intervalMs)) {
  KEL_ASSERT(m_pTimerThread != NULL);
  name[0] = '\0';
  if (timerName != nullptr) {
    KEL_ASSERT(strlen(timerName) < kNameSize);
    strncpy(name, timerName, kNameSize - 1);
    name[kNameSize - 1] = '\0';
  }
}

KelTimer::~KelTimer() {
  // A timer left in the registry would be scanned after it is gone.
  if (pkelTimerListMutex != nullptr) {
    pkelTimerListMutex->lock();
    kelTimerList.Remove(this);
    pkelTimerListMutex->unlock();
  }
  delete m_pTimerThread;
}

bool KelTimer::Start() {
  m_stateMutex.lock();
  isStarted = true;
  clock.start();
  m_stateMutex.unlock();
  return true;
}

bool KelTimer::Stop() {
  m_stateMutex.lock();
  const bool wasStarted = isStarted;
  isStarted = false;
  m_stateMutex.unlock();
  if (wasStarted) CancelCallBack();
  return true;
}

bool KelTimer::CancelCallBack() { return m_pTimerThread == nullptr || m_pTimerThread->thread_terminate(10); }

void KelTimer::Reset() {
  m_stateMutex.lock();
  ResetLocked();
  m_stateMutex.unlock();
}

void KelTimer::ResetLocked() {
  isStarted = true;
  clock.ResetClock();
}

bool KelTimer::IsTimeout() {
  m_stateMutex.lock();
  const bool result = IsTimeoutLocked();
  m_stateMutex.unlock();
  return result;
}

bool KelTimer::IsTimeoutLocked() { return isStarted && clock.GetElapsedTime() >= intervalMs; }

void KelTimer::TrigCallBack() {
  m_stateMutex.lock();
  TrigCallBackLocked();
  m_stateMutex.unlock();
}

void KelTimer::TrigCallBackLocked() {
  if (m_pTimerThread == nullptr) return;
  if (!pendingTrig && !m_pTimerThread->IsNeedToTrig()) return;
  // Only the daemon starts timer threads, so the thread cannot be started by someone else
  // between this test and start().
  if (m_pTimerThread->running()) {
    KEL_PRINT(ZEP_DBG_INFO, "This timer[%s] is still running, trigger it later\n", name);
    pendingTrig = true;
    return;
  }
  m_pTimerThread->start();
  pendingTrig = false;
}

void KelTimer::Expire() {
  m_stateMutex.lock();
  if (repeatCount != 0 && IsTimeoutLocked()) {
    TrigCallBackLocked();
    if (repeatCount != kForever) --repeatCount;
    ResetLocked();
  }
  m_stateMutex.unlock();
}

void KelTimer::ScanTimers() {
  pkelTimerListMutex->lock();
  kelTimerList.ForEach([](KelTimer* timer) { timer->Expire(); });
  pkelTimerListMutex->unlock();
}

bool KelTimer::AddTimer(KelTimer* timer) {
  if (pkelTimerListMutex == nullptr) {
    KEL_ASSERT(pkelTimerListMutex != NULL);
    return false;
  }
  pkelTimerListMutex->lock();
  kelTimerList.Insert(timer);
  pkelTimerListMutex->unlock();
  return true;
}

bool KelTimer::DelTimer(KelTimer* timer) {
  timer->Stop();
  // Without a daemon nothing scans the list, so it may be changed without the mutex.
  if (pkelTimerListMutex == nullptr) return kelTimerList.Remove(timer) == 1;
  pkelTimerListMutex->lock();
  const bool removed = kelTimerList.Remove(timer) == 1;
  pkelTimerListMutex->unlock();
  return removed;
}

void KelTimer::ClearAllTimer() {
  if (pkelTimerListMutex == nullptr) {
    kelTimerList.Clear();
    return;
  }
  pkelTimerListMutex->lock();
  kelTimerList.Clear();
  pkelTimerListMutex->unlock();
}

bool KelTimer::StartTimerDaemonThread() {
  if (pkelTimerDaemonThread != nullptr) pkelTimerDaemonThread->terminate();
  delete pkelTimerDaemonThread;
  delete pkelTimerListMutex;
  pkelTimerListMutex = new KelMutex;
  pkelTimerDaemonThread = new KelTimerDaemonThread;
  pkelTimerListMutex->lock();
  const bool started = pkelTimerDaemonThread->start();
  pkelTimerListMutex->unlock();
  return started;
}

void KelTimer::StopTimerDaemonThread() {
  if (pkelTimerDaemonThread != nullptr) pkelTimerDaemonThread->terminate();
  ClearAllTimer();
  delete pkelTimerListMutex;
  delete pkelTimerDaemonThread;
  pkelTimerListMutex = nullptr;
  pkelTimerDaemonThread = nullptr;
}
