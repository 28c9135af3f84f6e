// The registry of logged-in client sessions. A session (KelRemoteClient) outlives the TCP
// connections that serve it: it holds the user's account record, its notification
// connection, its command queues and the connection threads that speak for it.
//
// Locks, in the only order they may be taken: the registry's reader/writer lock (shared
// for look-ups, exclusive for insert and destroy), then a KelClient's `mutex` (around the
// online flag and the pin count only, never across I/O). m_cliThreadsMutex and
// notifyMutex are leaf locks. None of the look-up or change operations takes the registry
// lock itself: callers take it with r_lock/w_lock.
//
// Pinning a session: r_lock; GetClient(id); lock its mutex; Get(); unlock; r_unlock. Use
// it without the registry lock; afterwards Put() under its mutex. A session is released
// only when it is offline, unpinned and removed from the map under the exclusive lock.
#ifndef KEL_SERVICE_SESSION_KEL_CLIENT_HASH_H
#define KEL_SERVICE_SESSION_KEL_CLIENT_HASH_H

#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include "service/account/kel_account.h"
#include "service/session/kel_user_cmd.h"
#include "sharedlib/kel_hash.h"
#include "sharedlib/kel_list.h"
#include "sharedlib/kel_mutex.h"
#include "sharedlib/kel_wait.h"
#include "sharedlib/mem_pool.h"

class KelClientThread;
struct KelSrvPrivate;

inline constexpr int gDummyClientID = -1;
inline constexpr int kMaxClients = 10;  // fixed; KEL_CFG_MAX_CLIENT_COUNT does not change it
inline constexpr int kMaxRunningPerClient = 4;

// Number of sessions, for code that holds no registry pointer.
extern std::atomic<int> gTotalClients;

// A client's notification connection and the peer it was accepted from; the descriptor is
// -1 while there is none.
struct _KelHostNotifySocket {
  int sock = -1;
  sockaddr_in peer{};
};

class KelRemoteClient : public KelMemPool {
 public:
  KelRemoteClient(int id, void* cmdParser);
  ~KelRemoteClient();
  KelRemoteClient(const KelRemoteClient&) = delete;
  KelRemoteClient& operator=(const KelRemoteClient&) = delete;

  // The caller holds the owning KelClient's mutex for these four.
  bool IsOnline() const { return online; }
  void SetOffline() { online = false; }
  bool Get();  // pin: false once offline
  void Put();  // unpin; the last unpin of an offline session completes deadEvent

  bool WaitForDeadSig() { return deadEvent.WaitForComplete(100); }
  void AddCliThread(KelClientThread* thread);
  void RemoveCliThread(KelClientThread* thread);
  // True when the session has neither a connection thread nor a notification connection;
  // *since is when it lost the last of them (or was created without one).
  bool IsUnreachable(std::chrono::steady_clock::time_point* since);
  // Ends every waiting command (answered with return code 4); returns how many there were.
  int FlushPendingCmds();
  int GetRefCnt() const { return m_nRefCnt; }
  int GetClientID() const { return clientID; }

  uint32_t ackMissCount = 0;        // watchdog's acknowledgement check; under notifyMutex
  // IPv4 address (network order) of the connection that logged the session in; 0 when
  // unknown. Set before the session enters the registry and never changed afterwards, so
  // it is read without a lock. Only that address may take the session's notices.
  in_addr_t loginAddr = 0;
  _KelAccountInfo accountInfo;      // filled by the login command
  KelMutex notifyMutex;
  _KelHostNotifySocket notifySocket GUARDED_BY(notifyMutex);
  KelUserCmdQueue waitingQueue;     // received, not yet handed to the worker
  KelUserCmdQueue runningQueue;     // handed to the worker, not yet finished (at most 4)

 private:
  bool online = true;               // guarded by the KelClient's mutex
  const int clientID;
  int m_nRefCnt = 0;                // guarded by the KelClient's mutex
  KelMutex m_cliThreadsMutex;
  KelList<KelClientThread*> m_cliThreads GUARDED_BY(m_cliThreadsMutex);
  std::chrono::steady_clock::time_point m_idleSince GUARDED_BY(m_cliThreadsMutex);
  KelWait deadEvent;
  void* pCmdParser;
};

// The registry's value: the session and the mutex around its online flag and pin count.
struct KelClient : public KelMemPool {
  KelRemoteClient* pRemoteClient = nullptr;  // owned
  KelMutex mutex;
};

class KelClientHash {
 public:
  // Empty registry; installs the process's SIGTERM handler.
  explicit KelClientHash(void* srvPrivate);
  ~KelClientHash();
  KelClientHash(const KelClientHash&) = delete;
  KelClientHash& operator=(const KelClientHash&) = delete;

  bool r_lock(const char* file, int line) TRY_ACQUIRE_SHARED(true, m_lock);
  bool r_unlock(const char* file, int line) RELEASE_SHARED(m_lock);
  bool w_lock(const char* file, int line) TRY_ACQUIRE(true, m_lock);
  bool w_unlock(const char* file, int line) RELEASE(m_lock);
  // Names the registry lock in annotations (REQUIRES(hash->RegistryLock())); take it with
  // the four calls above.
  KelRWLock& RegistryLock() RETURN_CAPABILITY(m_lock) { return m_lock; }

  KelClient* GetClient(int id) REQUIRES_SHARED(m_lock);
  // First session in ascending ID order whose user name equals `name` exactly.
  KelClient* GetClient(const std::string& name) REQUIRES_SHARED(m_lock);
  int GetAllClientID(int* ids) REQUIRES_SHARED(m_lock);
  int GetAllCleints(int* ids, KelClient** clients) REQUIRES_SHARED(m_lock);
  int GetCurClientNum() const REQUIRES_SHARED(m_lock) { return m_nCurClients; }

  bool Insert(KelClient* client) REQUIRES(m_lock);
  bool Remove(int id) REQUIRES(m_lock);
  bool DestroyClient(int id, bool wait) REQUIRES(m_lock);
  bool Reclaim() REQUIRES(m_lock);
  int AllocateFreeClientID() REQUIRES(m_lock);
  // For an administrator's login into a full registry: destroys the session that has been
  // without any connection for the longest time. True when a place became free.
  bool EvictUnreachableSession() REQUIRES(m_lock);
  void Dump() REQUIRES_SHARED(m_lock);

  // Restarts client ID allocation at 1 (tests only).
  static void TEST_ResetIdCounter();

 private:
  void DestroyEntry(KelClient* client);

  KelRWLock m_lock;
  KelHash<KelClient*, int> m_IDToClientMap GUARDED_BY(m_lock);
  int m_nCurClients GUARDED_BY(m_lock) = 0;
  KelSrvPrivate* m_pSrvPrivate;
};

// Pins the session `id`: the KelClient, or null when it is missing, offline or the
// registry could not be locked (then *lockFailed is set, when given). Release with
// UnpinClient.
KelClient* PinClient(KelClientHash* hash, int id, bool* lockFailed = nullptr);
void UnpinClient(KelClient* client);

#endif
