#include <vector>

#include "service/monitor/kel_watchdog_cbs.h"
#include "service/session/kel_client_hash.h"
#include "sharedlib/diag.h"
#include "sharedlib/kel_thread.h"

KelCliAckTimerCb::KelCliAckTimerCb(KelClientHash* hash, uint32_t missLimit, Acker acker, long gapMs)
    : m_pHash(hash), m_missLimit(missLimit), m_acker(std::move(acker)), m_gapMs(gapMs) {}

void KelCliAckTimerCb::TimerCallbackFn() {
  if (!m_pHash->r_lock(__FILE__, __LINE__)) {
    KEL_PRINT(ZEP_DBG_ERROR, "Lock the ClientHash failed\n");
    return;
  }
  std::vector<int> ids(static_cast<size_t>(m_pHash->GetCurClientNum()) + 1);
  ids.resize(static_cast<size_t>(m_pHash->GetAllClientID(ids.data())));
  m_pHash->r_unlock(__FILE__, __LINE__);
  for (size_t i = 0; i < ids.size(); ++i) {
    if (i > 0) KelBaseThread::KelThreadSleep(m_gapMs);
    CheckClient(ids[i]);
  }
}

void KelCliAckTimerCb::CheckClient(int id) {
  bool lockFailed = false;
  KelClient* client = PinClient(m_pHash, id, &lockFailed);
  if (lockFailed) return;
  if (client == nullptr) {
    Destroy(id);
    return;
  }
  const bool reached = m_acker(id);
  const uint32_t misses = client->pRemoteClient->ackMissCount;
  // The pin goes before the destroy: the destroy frees the session it points into.
  UnpinClient(client);
  if (!reached || misses <= m_missLimit) return;
  KEL_PRINT(ZEP_DBG_WARN, "Client[%d] is dead, failcnt[%d]. Remove it\n", id,
            static_cast<int>(misses));
  if (!m_pHash->w_lock(__FILE__, __LINE__)) return;
  m_pHash->DestroyClient(id, false);
  m_pHash->w_unlock(__FILE__, __LINE__);
}

// A session that cannot be pinned is offline: its owner logged out (or the destroy above
// found it still pinned), and it waits here to be released.
void KelCliAckTimerCb::Destroy(int id) {
  if (!m_pHash->w_lock(__FILE__, __LINE__)) return;
  if (m_pHash->GetClient(id) != nullptr) {
    KEL_PRINT(ZEP_DBG_INFO, "Destroy dead client which is left by logout\n");
    m_pHash->DestroyClient(id, false);
  }
  m_pHash->w_unlock(__FILE__, __LINE__);
}
