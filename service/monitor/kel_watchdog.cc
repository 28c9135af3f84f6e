#include "service/monitor/kel_watchdog.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "service/config/kel_remote_config.h"
#include "service/notify/kel_client_notify.h"
#include "sharedlib/diag.h"

namespace {

constexpr unsigned long kSMRIntervalMs = 3000;

// A positive whole number from the environment, or `fallback` when unset or malformed.
unsigned long FromEnv(const char* name, unsigned long fallback) {
  const char* text = getenv(name);
  if (text == nullptr) return fallback;
  char* end = nullptr;
  errno = 0;
  const unsigned long value = strtoul(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || value == 0 || text[0] == '-') {
    KEL_PRINT(ZEP_DBG_ERROR, "Ignoring %s=%s: not a positive number\n", name, text);
    return fallback;
  }
  return value;
}

bool StartTimer(KelTimer* timer, const char* what) {
  if (timer != nullptr && KelTimer::AddTimer(timer) && timer->Start()) return true;
  KEL_ASSERT_TEXT(what);
  return false;
}

}  // namespace

KelWatchDogSettings KelWatchDogSettings::FromConfig() {
  KelWatchDogSettings s;
  s.hotplugIntervalMs = static_cast<unsigned long>(KelRemoteConfig::nHotplugInterval);
  KelRemoteConfig::kelCfgLock.lock();
  s.diskStatusIntervalMs = static_cast<uint32_t>(KelRemoteConfig::nCheckDiskStatusInterval);
  KelRemoteConfig::kelCfgLock.unlock();
  // A silent client is otherwise ended only after about 33 minutes; these let a test or an
  // administrator chasing a stuck console see it happen in seconds.
  s.ackIntervalMs = FromEnv("KEL_ACK_INTERVAL_MS", s.ackIntervalMs);
  s.ackMissLimit = static_cast<uint32_t>(
      std::min<unsigned long>(FromEnv("KEL_ACK_MISS_LIMIT", s.ackMissLimit), UINT32_MAX));
  return s;
}

KelWatchDog::KelWatchDog(KelClientHash* hash, KelEventLog* log, KelWatchDogSettings settings)
    : m_dsMs(settings.diskStatusIntervalMs) {
  KelCliAckTimerCb::Acker acker = settings.acker;
  if (!acker) acker = [hash](int id) { return KelClientAck(hash).AckClient(id); };
  m_pSMRTimerCb = std::make_unique<KelSMRTimerCb>(hash, settings.tasks);
  m_pHpTimerCb = std::make_unique<KelHotplugTimerCb>(log, m_pSMRTimerCb.get());
  m_pCliAckTimerCb = std::make_unique<KelCliAckTimerCb>(hash, settings.ackMissLimit,
                                                        std::move(acker), settings.ackGapMs);
  m_pDsTimerCb = std::make_unique<KelDiskStatusTimerCb>(log);
  KelMutexGuard hold(m_timerMutex);
  m_pCliAckTimer = std::make_unique<KelTimer>(KelTimer::kForever, settings.ackIntervalMs,
                                              m_pCliAckTimerCb.get(), "CliAckTimer");
  m_pHpTimer = std::make_unique<KelTimer>(KelTimer::kForever, settings.hotplugIntervalMs,
                                          m_pHpTimerCb.get(), "HotPlugTimer");
  m_pSMRTimer = std::make_unique<KelTimer>(KelTimer::kForever, kSMRIntervalMs, m_pSMRTimerCb.get(),
                                           "SMRTimer");
  m_pDsTimer = MakeDsTimer(m_dsMs);
}

// The timers go first: each waits for its running check, and the checks use the callbacks.
KelWatchDog::~KelWatchDog() { stop(); }

void KelWatchDog::stop() {
  KelMutexGuard hold(m_timerMutex);
  m_bStopped = true;
  m_pCliAckTimer.reset();
  m_pHpTimer.reset();
  m_pDsTimer.reset();
  m_pSMRTimer.reset();
}

std::unique_ptr<KelTimer> KelWatchDog::MakeDsTimer(unsigned long ms) {
  return std::make_unique<KelTimer>(KelTimer::kForever, ms, m_pDsTimerCb.get(),
                                    "CheckDiskStatusTimer");
}

bool KelWatchDog::start() {
  KelMutexGuard hold(m_timerMutex);
  if (m_bStopped) return false;
  bool ok = StartTimer(m_pCliAckTimer.get(), "m_pCliAckTimer->Start()");
  ok = StartTimer(m_pHpTimer.get(), "m_pHpTimer->Start()") && ok;
  ok = StartTimer(m_pDsTimer.get(), "m_pDsTimer->Start()") && ok;
  m_bStarted = true;
  return StartTimer(m_pSMRTimer.get(), "m_pSMRTimer->Start()") && ok;
}

// The timer's period is fixed at construction, so a new period means a new timer. The old
// one leaves the registry and finishes a round in progress before it goes. Once stopped,
// the period is only recorded.
void KelWatchDog::SetDsTimeoutMs(unsigned long ms) {
  KelMutexGuard hold(m_timerMutex);
  m_dsMs = ms;
  if (m_bStopped) return;
  m_pDsTimer.reset();
  m_pDsTimer = MakeDsTimer(ms);
  if (m_bStarted) StartTimer(m_pDsTimer.get(), "m_pDsTimer->Start()");
}

unsigned long KelWatchDog::DsTimeoutMs() {
  KelMutexGuard hold(m_timerMutex);
  return m_dsMs;
}

void KelWatchDog::SetAutoSMR() { m_pSMRTimerCb->TrigSMRCheck(nullptr, -1); }

void KelWatchDog::SetUEvent() { m_pHpTimerCb->SetHotplug(); }
