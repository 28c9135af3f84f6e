// The workers that turn internal signals into client notices: the hot-plug worker (many
// signals between two rounds give one notice), the disk-status worker (one notice per
// signal, carrying its payload) and the background-work worker (task-state notices, and
// starts of service work while no client is logged in).
#ifndef KEL_SERVICE_MONITOR_KEL_SIG_WORKERS_H
#define KEL_SERVICE_MONITOR_KEL_SIG_WORKERS_H

#include <functional>
#include <vector>

#include "service/notify/kel_client_notify.h"
#include "service/task/task_record.h"
#include "sharedlib/kel_list.h"
#include "sharedlib/kel_mutex.h"
#include "sharedlib/kel_signal.h"
#include "sharedlib/kel_thread.h"
#include "sharedlib/mem_pool.h"

struct KelSrvPrivate;

// Where the workers' notices go: every client's notification connection in the service,
// a recorder in tests.
class KelNoticeSink {
 public:
  virtual ~KelNoticeSink() = default;
  virtual bool Broadcast(const _KelHostEventData& notice) = 0;
};

class KelBroadcastSink : public KelNoticeSink {
 public:
  explicit KelBroadcastSink(KelClientHash* hash) : m_notify(hash) {}
  bool Broadcast(const _KelHostEventData& notice) override {
    return m_notify.BroadcastNotice(notice);
  }

 private:
  KelClientNotify m_notify;
};

// Payload kinds of a background-work signal.
inline constexpr uint32_t kKelSMRTaskState = 1;
inline constexpr uint32_t kKelSMRStartRequest = 2;
inline constexpr int kKelTaskRecordSize = 16;

// A worker owns the signals in its inbox and frees each once handled (or at destruction).
// Final subclasses call terminate() in their destructors (see KelThread).
class KelSigWorker : public KelThread, public KelMemPool {
 public:
  KelSigWorker(const char* name, long periodMs) : m_name(name), m_periodMs(periodMs) {}
  ~KelSigWorker() override;

  void SetPara(KelSrvPrivate* priv, KelNoticeSink* sink) {
    m_pSrvPrivate = priv;
    m_pSink = sink;
  }
  // Tries the inbox for 1000 ms.
  bool lock() TRY_ACQUIRE(true, m_inboxMutex) { return m_inboxMutex.try_lock(1000); }
  void unlock() RELEASE(m_inboxMutex) { m_inboxMutex.unlock(); }
  void AddSignal(KelSignal* signal) REQUIRES(m_inboxMutex) { m_inbox.Insert(signal); }
  void RemoveSignal(KelSignal* signal) REQUIRES(m_inboxMutex) { m_inbox.Remove(signal); }

  void run() override;
  // One round: handles what the inbox holds. Runs on the worker's thread.
  virtual void RunOnce() = 0;

 protected:
  // Empties the inbox into the result, in arrival order; nothing when the inbox is busy.
  std::vector<KelSignal*> TakeAll();
  bool Send(uint16_t type, const uint8_t* data, int len);

  KelSrvPrivate* m_pSrvPrivate = nullptr;

 private:
  const char* const m_name;
  const long m_periodMs;
  KelNoticeSink* m_pSink = nullptr;
  KelMutex m_inboxMutex;
  KelList<KelSignal*> m_inbox GUARDED_BY(m_inboxMutex);
};

class KelHpSigWorker : public KelSigWorker {
 public:
  KelHpSigWorker() : KelSigWorker("KelHpSigWorker", 10) {}
  ~KelHpSigWorker() override { terminate(); }
  void RunOnce() override;
};

class KelDsSigWorker : public KelSigWorker {
 public:
  KelDsSigWorker() : KelSigWorker("KelDsSigWorker", 100) {}
  ~KelDsSigWorker() override { terminate(); }
  void RunOnce() override;
};

class KelSMRSigWorker : public KelSigWorker {
 public:
  // Starts one task record; false when the start failed (the record tells why).
  using Dispatch = std::function<bool(KelAsyncTaskData*)>;

  KelSMRSigWorker() : KelSigWorker("KelSMRSigWorker", 10) {}
  ~KelSMRSigWorker() override { terminate(); }
  // Replaces the task manager of the service context as the starter; set before start().
  void SetDispatch(Dispatch dispatch) { m_dispatch = std::move(dispatch); }
  void RunOnce() override;

 private:
  // No client logged in and automatic work allowed. Reads the registry under its reader
  // lock and releases it before returning: a start waits up to seconds for its
  // confirmation, and a login needs the writer lock meanwhile.
  bool ServiceWorkAllowed();
  bool Start(KelAsyncTaskData* record);

  Dispatch m_dispatch;
};

#endif
