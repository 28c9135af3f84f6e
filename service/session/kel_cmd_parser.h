// The command pipeline behind the connection threads: one parser thread moves commands from
// the sessions' waiting queues to their running queues and to the single worker,
// round-robin over the sessions in login order, one command per session per pass and at
// most four running per session. The worker executes one command at a time, retries failed
// ones from their saved request, and completes them so the connection threads can reply.
//
// Locks: the parser's `mutex` is held for a whole pass, and by connection threads and the
// worker only around appending to a waiting queue and counting it (parser mutex before the
// queue's lock). During a pass the registry lock and a client's mutex are released before
// any queue lock is taken.
#ifndef KEL_SERVICE_SESSION_KEL_CMD_PARSER_H
#define KEL_SERVICE_SESSION_KEL_CMD_PARSER_H

#include <string>

#include "service/session/kel_user_cmd.h"
#include "sharedlib/kel_mutex.h"
#include "sharedlib/kel_thread.h"
#include "sharedlib/kel_wait.h"

class KelRemoteClient;
class KelCmdParser;
struct KelSrvPrivate;

// Finishes commands whose session is gone.
class KelEHHandler {
 public:
  explicit KelEHHandler(KelSrvPrivate* priv);
  // For a dead command (status 3): reports it and returns true. The record itself is
  // released by its issuing connection thread, which the worker has already woken.
  bool EHReclaimDeadCmd(KelUserCmd* cmd);
  bool EHCheckDevice(uint16_t, uint16_t) { return true; }
  bool EHCheckArray(uint16_t, uint16_t) { return true; }

 private:
  KelSrvPrivate* m_pSrvPrivate;
};

class KelCmdWorker : public KelThread {
 public:
  KelCmdWorker() = default;
  // Completes every record still in its queue, so no issuer waits for ever.
  ~KelCmdWorker() override;

  void SetPara(KelSrvPrivate* priv, KelEHHandler* eh, void* parser);
  void Resume() { wakeEvent.Complete(); }
  void Suspend() { wakeEvent.WaitForComplete(500); }
  void run() override;
  // "Client <user> from <address>" when the issuing session can be pinned.
  void GetClientInfo(KelUserCmd* cmd, std::string& text);
  // Appends a record handed over by the parser; wakes the worker when it was idle.
  void Enqueue(KelUserCmd* cmd);

  // Executes one command and finishes it (exposed for tests of the dispatch rules).
  void ProcessOne(KelUserCmd* cmd);

 private:
  // Steps after execution: take the command off its session's running queue and complete
  // it, put it back for a retry, or declare it dead.
  void Finish(KelUserCmd* cmd);

  KelUserCmdQueue workQueue;  // owner -1; its own lock
  KelSrvPrivate* m_pSrvPrivate = nullptr;
  KelEHHandler* pEHHandler = nullptr;
  KelCmdParser* pParser = nullptr;
  KelWait wakeEvent;
};

class KelCmdParser : public KelThread {
 public:
  KelCmdParser(KelSrvPrivate* priv, KelEHHandler* eh);
  // Stops the parser, then the worker.
  ~KelCmdParser() override;

  void Resume() { wakeEvent.Complete(); }
  void Suspend() { wakeEvent.WaitForComplete(500); }
  void run() override;

  // Appends `cmd` to the session's waiting queue as the next command to schedule (state
  // waiting) and counts it; false when it could not be queued. When no session has a
  // command waiting and this one has room, the command goes straight to its running queue
  // and the worker, as the next pass would do. The caller has the session pinned.
  bool QueueWaiting(KelRemoteClient* client, KelUserCmd* cmd);

 private:
  // One scheduling pass over every session; returns how many waiting commands it saw.
  int Pass() REQUIRES(mutex);

  KelSrvPrivate* m_pSrvPrivate;
  KelEHHandler* pEHHandler;
  KelCmdWorker* m_pWorkers;  // owned
  KelWait wakeEvent;
  KelMutex mutex;
  int pendingCount GUARDED_BY(mutex) = 0;
};

#endif
