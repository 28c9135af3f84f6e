#include "service/session/kel_client_hash.h"

#include <unistd.h>

#include <memory>
#include <new>

#include "service/core/srv_private.h"
#include "service/core/term_handler.h"
#include "service/monitor/kel_watchdog.h"
#include "service/session/kel_client_thread.h"
#include "service/task/task_manager.h"
#include "sharedlib/diag.h"

std::atomic<int> gTotalClients{0};

namespace {
// Next candidate client ID; survives between calls so IDs rise until the counter wraps.
// Only touched under the registry's exclusive lock.
int g_nLastClientID = 0;
}  // namespace

KelRemoteClient::KelRemoteClient(int id, void* cmdParser)
    : waitingQueue(id),
      runningQueue(id),
      clientID(id),
      m_idleSince(std::chrono::steady_clock::now()),
      pCmdParser(cmdParser) {}

KelRemoteClient::~KelRemoteClient() {
  if (m_nRefCnt != 0) KEL_ASSERT_TEXT("m_nRefCnt == 0");
  online = false;
  FlushPendingCmds();
  // Commands in the running queue belong to the worker, which answers them once it finds
  // this session gone; the queue is only bookkeeping and dies with the session.
  if (notifySocket.sock != -1) {
    close(notifySocket.sock);
    notifySocket.sock = -1;
  }
  // Ends every connection bound to the session: each thread notices on its next read.
  m_cliThreadsMutex.lock();
  m_cliThreads.ForEach([](KelClientThread* t) { t->ShutdownSocket(); });
  m_cliThreadsMutex.unlock();
}

bool KelRemoteClient::Get() {
  if (!online) return false;
  ++m_nRefCnt;
  return true;
}

void KelRemoteClient::Put() {
  if (m_nRefCnt > 0) --m_nRefCnt;
  if (!online && m_nRefCnt == 0) deadEvent.Complete();
}

void KelRemoteClient::AddCliThread(KelClientThread* thread) {
  if (!m_cliThreadsMutex.try_lock(1000)) {
    KEL_PRINT(ZEP_DBG_ERROR, "Lock the cliThreadMutex failed\n");
    return;
  }
  try {
    m_cliThreads.Insert(thread);
  } catch (const std::bad_alloc&) {
    KEL_PRINT(ZEP_DBG_ERROR, "Lock the cliThreadMutex failed\n");
  }
  m_cliThreadsMutex.unlock();
}

void KelRemoteClient::RemoveCliThread(KelClientThread* thread) {
  if (!m_cliThreadsMutex.lock()) KEL_ASSERT_TEXT("m_cliThreadsMutex.lock()");
  m_cliThreads.Remove(thread);
  if (m_cliThreads.Empty()) m_idleSince = std::chrono::steady_clock::now();
  if (!m_cliThreadsMutex.unlock()) KEL_ASSERT_TEXT("m_cliThreadsMutex.unlock()");
}

bool KelRemoteClient::IsUnreachable(std::chrono::steady_clock::time_point* since) {
  notifyMutex.lock();
  const bool notified = notifySocket.sock != -1;
  notifyMutex.unlock();
  m_cliThreadsMutex.lock();
  const bool connected = !m_cliThreads.Empty();
  *since = m_idleSince;
  m_cliThreadsMutex.unlock();
  return !notified && !connected;
}

int KelRemoteClient::FlushPendingCmds() {
  int flushed = 0;
  waitingQueue.lock();
  KelUserCmd* cmd = nullptr;
  while (waitingQueue.PopHead(cmd)) {
    // The issuer is waiting for this record and releases it; answer "not dispatched".
    cmd->status = KEL_CMD_DEAD;
    cmd->state = KEL_CMD_STATE_DONE;
    cmd->m_CmdDataLen = 5;
    cmd->SetRetCode(KEL_RET_NOT_DISPATCHED);
    cmd->Complete();
    ++flushed;
  }
  waitingQueue.unlock();
  return flushed;
}

KelClientHash::KelClientHash(void* srvPrivate)
    : m_pSrvPrivate(static_cast<KelSrvPrivate*>(srvPrivate)) {
  InstallTermHandler();
}

KelClientHash::~KelClientHash() {
  if (!m_lock.WLock()) return;
  int n = m_IDToClientMap.GetCurElemNum();
  std::unique_ptr<KelClient*[]> clients(new KelClient*[n > 0 ? n : 1]);
  n = m_IDToClientMap.GetAllElems(nullptr, clients.get());
  for (int i = 0; i < n; ++i) DestroyEntry(clients[i]);
  m_IDToClientMap.Clear();
  m_nCurClients = 0;
  gTotalClients = 0;
  m_lock.WUnlock();
}

bool KelClientHash::r_lock(const char* file, int line) {
  if (!m_lock.RLock(file, line)) {
    KEL_PRINT(ZEP_DBG_ERROR, "%s %d r_lock failed\n", file, line);
    return false;
  }
  return true;
}

bool KelClientHash::r_unlock(const char* file, int line) { return m_lock.RUnlock(file, line); }

bool KelClientHash::w_lock(const char* file, int line) {
  if (!m_lock.WLock(file, line)) {
    KEL_PRINT(ZEP_DBG_ERROR, "%s %d w_lock failed\n", file, line);
    return false;
  }
  return true;
}

bool KelClientHash::w_unlock(const char* file, int line) { return m_lock.WUnlock(file, line); }

KelClient* KelClientHash::GetClient(int id) {
  KelClient* client = nullptr;
  return m_IDToClientMap.Find(id, &client) ? client : nullptr;
}

KelClient* KelClientHash::GetClient(const std::string& name) {
  int n = m_IDToClientMap.GetCurElemNum();
  if (n == 0) return nullptr;
  std::unique_ptr<KelClient*[]> clients(new KelClient*[n]);
  n = m_IDToClientMap.GetAllElems(nullptr, clients.get());
  for (int i = 0; i < n; ++i) {
    if (clients[i]->pRemoteClient == nullptr) {
      KEL_ASSERT_TEXT("pRemoteClient != NULL");
      continue;
    }
    if (clients[i]->pRemoteClient->accountInfo.name == name) return clients[i];
  }
  return nullptr;
}

int KelClientHash::GetAllClientID(int* ids) {
  if (ids == nullptr) {
    KEL_ASSERT_TEXT("pArray != NULL");
    return 0;
  }
  return m_IDToClientMap.GetAllKeys(ids);
}

int KelClientHash::GetAllCleints(int* ids, KelClient** clients) {
  return m_IDToClientMap.GetAllElems(ids, clients);
}

bool KelClientHash::Insert(KelClient* client) {
  if (client == nullptr || client->pRemoteClient == nullptr) return false;
  client->mutex.lock(__FILE__, __LINE__);
  int inserted = m_IDToClientMap.Insert(client, client->pRemoteClient->GetClientID());
  client->mutex.unlock(__FILE__, __LINE__);
  if (inserted == 0) {
    KEL_PRINT(ZEP_DBG_ASSERT, "Insert client failed$$$\n");
    return false;
  }
  gTotalClients = ++m_nCurClients;
  if (m_nCurClients == 1) {
    // Service work waiting for a retry is the service's own: a client decides from now on.
    if (m_pSrvPrivate != nullptr && m_pSrvPrivate->pTaskManager != nullptr)
      m_pSrvPrivate->pTaskManager->DropStopped();
    KEL_PRINT(ZEP_DBG_ERROR, "Client login, disable AUTO SMR\n");
  }
  return true;
}

bool KelClientHash::Remove(int id) {
  if (m_IDToClientMap.Remove(id) == 0) {
    KEL_PRINT(ZEP_DBG_ASSERT, "Remove client failed$$$\n");
    return false;
  }
  gTotalClients = --m_nCurClients;
  if (m_nCurClients == 0) {
    if (m_pSrvPrivate != nullptr && m_pSrvPrivate->pWatchDog != nullptr)
      m_pSrvPrivate->pWatchDog->SetAutoSMR();
    KEL_PRINT(ZEP_DBG_ERROR, "All Clients logout, enable AUTO SMR\n");
  }
  return true;
}

void KelClientHash::DestroyEntry(KelClient* client) {
  delete client->pRemoteClient;
  client->pRemoteClient = nullptr;
  // Once more through the mutex, so no thread is still inside it when it goes.
  client->mutex.lock();
  client->mutex.unlock();
  delete client;
}

bool KelClientHash::DestroyClient(int id, bool wait) {
  KelClient* client = GetClient(id);
  if (client == nullptr || client->pRemoteClient == nullptr) {
    KEL_PRINT(ZEP_DBG_ERROR, "Non-exist client[%d]\n", id);
    return false;
  }
  if (!client->mutex.lock(__FILE__, __LINE__)) KEL_ASSERT_TEXT("pClient->mutex.lock(__FILE__, __LINE__)");
  client->pRemoteClient->SetOffline();
  if (!client->mutex.unlock(__FILE__, __LINE__))
    KEL_ASSERT_TEXT("pClient->mutex.unlock(__FILE__, __LINE__)");
  if (wait) client->pRemoteClient->WaitForDeadSig();

  client->mutex.lock();
  int refs = client->pRemoteClient->GetRefCnt();
  client->mutex.unlock();
  if (refs == 0 && Remove(id)) {
    DestroyEntry(client);
    return true;
  }
  KEL_PRINT(ZEP_DBG_ERROR, "Destroy client [ID: %d] failed[Ref = %d]. Leave it to WatchDog\n", id,
            refs);
  return false;
}

bool KelClientHash::Reclaim() {
  int n = m_IDToClientMap.GetCurElemNum();
  if (n == 0) return true;
  std::unique_ptr<int[]> ids(new (std::nothrow) int[n]);
  std::unique_ptr<KelClient*[]> clients(new (std::nothrow) KelClient*[n]);
  std::unique_ptr<int[]> dead(new (std::nothrow) int[n]);
  if (!ids || !clients || !dead) return false;
  int got = m_IDToClientMap.GetAllElems(ids.get(), clients.get());
  if (m_nCurClients != got) KEL_ASSERT_TEXT("m_nCurClients == m_IDToClientMap.GetAllElems(NULL, pClientArr)");
  int nDead = 0;
  for (int i = 0; i < got; ++i) {
    KelClient* c = clients[i];
    c->mutex.lock();
    if (c->pRemoteClient != nullptr && !c->pRemoteClient->IsOnline() &&
        c->pRemoteClient->GetRefCnt() == 0)
      dead[nDead++] = ids[i];
    c->mutex.unlock();
  }
  for (int i = nDead - 1; i >= 0; --i) {
    KEL_PRINT(ZEP_DBG_INFO, "Reclaim client[%d]\n", dead[i]);
    DestroyClient(dead[i], false);
  }
  return true;
}

int KelClientHash::AllocateFreeClientID() {
  if (m_nCurClients >= kMaxClients) {
    KEL_PRINT(ZEP_DBG_ERROR, "No free ID. Try to recliam\n");
    Reclaim();
    if (m_nCurClients >= kMaxClients) return gDummyClientID;
  }
  for (;;) {
    if (++g_nLastClientID >= 2147483647) g_nLastClientID = 1;
    if (!m_IDToClientMap.Find(g_nLastClientID, nullptr)) return g_nLastClientID;
  }
}

bool KelClientHash::EvictUnreachableSession() {
  int ids[kMaxClients * 2];
  KelClient* clients[kMaxClients * 2];
  if (m_IDToClientMap.GetCurElemNum() > kMaxClients * 2) return false;
  const int n = m_IDToClientMap.GetAllElems(ids, clients);
  int victim = gDummyClientID;
  std::chrono::steady_clock::time_point oldest{};
  for (int i = 0; i < n; ++i) {
    std::chrono::steady_clock::time_point since;
    if (clients[i]->pRemoteClient == nullptr || !clients[i]->pRemoteClient->IsUnreachable(&since))
      continue;
    if (victim == gDummyClientID || since < oldest) {
      victim = ids[i];
      oldest = since;
    }
  }
  if (victim == gDummyClientID) return false;
  KelClient* client = GetClient(victim);
  const std::string name = client->pRemoteClient->accountInfo.name;
  const auto idle = std::chrono::duration_cast<std::chrono::seconds>(
      std::chrono::steady_clock::now() - oldest);
  KEL_PRINT(ZEP_DBG_INFO, "Registry full: end client[%d] <%s>, without a connection for %lld s\n",
            victim, name.c_str(), static_cast<long long>(idle.count()));
  return DestroyClient(victim, false);
}

void KelClientHash::TEST_ResetIdCounter() { g_nLastClientID = 0; }

void KelClientHash::Dump() {
  int n = m_IDToClientMap.GetCurElemNum();
  std::unique_ptr<int[]> ids(new int[n > 0 ? n : 1]);
  std::unique_ptr<KelClient*[]> clients(new KelClient*[n > 0 ? n : 1]);
  if (m_nCurClients != GetAllClientID(ids.get())) KEL_ASSERT_TEXT("m_nCurClients == GetAllClientID(pClientIDs)");
  n = m_IDToClientMap.GetAllElems(ids.get(), clients.get());
  for (int i = 0; i < n; ++i)
    KEL_PRINT(ZEP_DBG_INFO, "Client[ID: %d] Client[%p]\n", ids[i], static_cast<void*>(clients[i]));
}

KelClient* PinClient(KelClientHash* hash, int id, bool* lockFailed) {
  bool locked = hash->r_lock(__FILE__, __LINE__);
  if (lockFailed != nullptr) *lockFailed = !locked;
  if (!locked) return nullptr;
  KelClient* client = hash->GetClient(id);
  bool pinned = false;
  if (client != nullptr && client->pRemoteClient != nullptr) {
    client->mutex.lock();
    pinned = client->pRemoteClient->Get();
    client->mutex.unlock();
  }
  hash->r_unlock(__FILE__, __LINE__);
  return pinned ? client : nullptr;
}

void UnpinClient(KelClient* client) {
  client->mutex.lock();
  client->pRemoteClient->Put();
  client->mutex.unlock();
}
