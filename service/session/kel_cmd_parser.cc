#include "service/session/kel_cmd_parser.h"

#include <memory>
#include <new>

#include "service/core/srv_private.h"
#include "service/eventlog/kel_event_log.h"
#include "service/login/local_cmds.h"
#include "service/raid/raid_dispatch.h"
#include "service/session/kel_client_hash.h"
#include "service/session/kel_client_thread.h"
#include "sharedlib/diag.h"

KelEHHandler::KelEHHandler(KelSrvPrivate* priv) : m_pSrvPrivate(priv) {}

bool KelEHHandler::EHReclaimDeadCmd(KelUserCmd* cmd) {
  if (cmd->status != KEL_CMD_DEAD) return false;
  KEL_PRINT(ZEP_DBG_WARN,
            "The thread [ID: %d] issued this cmd[%d-%d] is dead. Reclaim memory used by this cmd\n",
            cmd->clientID, cmd->code, cmd->data[0]);
  return true;
}

// ---- worker ------------------------------------------------------------------------------

KelCmdWorker::~KelCmdWorker() {
  wakeEvent.Complete();
  terminate();
  workQueue.lock();
  KelUserCmd* cmd = nullptr;
  while (workQueue.PopHead(cmd)) cmd->Complete();
  workQueue.unlock();
}

void KelCmdWorker::SetPara(KelSrvPrivate* priv, KelEHHandler* eh, void* parser) {
  m_pSrvPrivate = priv;
  pEHHandler = eh;
  pParser = static_cast<KelCmdParser*>(parser);
}

void KelCmdWorker::Enqueue(KelUserCmd* cmd) {
  workQueue.lock();
  workQueue.AddToQueue(cmd);
  bool wake = workQueue.GetCmdCnt() == 1;
  workQueue.unlock();
  if (wake) Resume();
}

void KelCmdWorker::GetClientInfo(KelUserCmd* cmd, std::string& text) {
  KelClient* client = PinClient(m_pSrvPrivate->pClientHash, cmd->clientID);
  if (client == nullptr) return;
  const char* peer = cmd->pIssuer != nullptr ? cmd->pIssuer->PeerText() : "";
  text = "Client <" + client->pRemoteClient->accountInfo.name + "> from <" + peer + ">";
  UnpinClient(client);
}

void KelCmdWorker::run() {
  for (;;) {
    if (GetTerminateEvent()) {
      KEL_PRINT(ZEP_DBG_WARN, "KelCmdWorker[%p] Receive terminate sig\n", static_cast<void*>(this));
      KEL_PRINT(ZEP_DBG_ASSERT, "Cmd worker exit!!!\n");
      return;
    }
    KelUserCmd* cmd = nullptr;
    workQueue.lock();
    bool got = workQueue.PopHead(cmd);
    workQueue.unlock();
    if (!got) {
      Suspend();
      continue;
    }
    ProcessOne(cmd);
  }
}

void KelCmdWorker::ProcessOne(KelUserCmd* cmd) {
  // A record put back after a failed registry lock has run already: only finish it.
  if (cmd->state == KEL_CMD_STATE_DONE) {
    Finish(cmd);
    return;
  }
  if (cmd->state != KEL_CMD_STATE_RUNNING)
    KEL_PRINT(ZEP_DBG_ERROR, "Invalid cmd state %d!!!\n", cmd->state);
  std::string logText;
  GetClientInfo(cmd, logText);
  if (cmd->status != KEL_CMD_DEAD) {
    if (!KelCmdPermissionCheck(cmd, logText)) {
      logText = "ERROR" + logText + " execute cmd failed due to permission denied";
      cmd->SetRetCode(KEL_RET_PERMISSION);
    } else if (IsSrvLocalCmd(cmd)) {
      if (!KelExecuteLocalCmd(m_pSrvPrivate, cmd, logText))
        KEL_PRINT(ZEP_DBG_ERROR, "Execute cmd [%d] failed. Ret [%d]\n", cmd->code, cmd->GetRetCode());
    } else if (!KelExecuteRaidCmd(m_pSrvPrivate, cmd, logText)) {
      KEL_PRINT(ZEP_DBG_ERROR, "Execute cmd[%d]-task[%d] failed. Ret [%d]\n", cmd->code,
                cmd->data[0], cmd->GetRetCode());
    }
    if (!logText.empty() && m_pSrvPrivate->pEventLog != nullptr)
      m_pSrvPrivate->pEventLog->AddItemToQueue(logText);
  }
  KelCmdComplete(m_pSrvPrivate, cmd);
  Finish(cmd);
}

void KelCmdWorker::Finish(KelUserCmd* cmd) {
  KelClientHash* hash = m_pSrvPrivate->pClientHash;
  if (!hash->r_lock(__FILE__, __LINE__)) {
    KEL_PRINT(ZEP_DBG_ERROR, "Lock the ClientHash failed. Re-add cmd to queue \n");
    workQueue.lock();
    workQueue.AddToQueue(cmd);
    workQueue.unlock();
    return;
  }
  KelClient* client = hash->GetClient(cmd->clientID);
  if (client == nullptr || client->pRemoteClient == nullptr) {
    hash->r_unlock(__FILE__, __LINE__);
    KEL_PRINT(ZEP_DBG_WARN, "Can not find client instance for [%d]\n", cmd->clientID);
    cmd->status = KEL_CMD_DEAD;
  } else {
    client->mutex.lock();
    bool pinned = client->pRemoteClient->Get();
    client->mutex.unlock();
    hash->r_unlock(__FILE__, __LINE__);
    if (!pinned) {
      KEL_PRINT(ZEP_DBG_ERROR, "Client [%d] is dead. Set the cmd to be dead\n", cmd->clientID);
      cmd->status = KEL_CMD_DEAD;
    } else {
      KelRemoteClient* session = client->pRemoteClient;
      session->runningQueue.lock();
      bool removed = session->runningQueue.RemoveFromQueue(cmd);
      session->runningQueue.unlock();
      if (!removed) {
        KEL_PRINT(ZEP_DBG_ERROR, "Remove cmd[0x%p] from running queue failed[ClientID: %d]\n",
                  static_cast<void*>(cmd), cmd->clientID);
        IssueSignal(101);
      }
      if (cmd->status == KEL_CMD_FAILED && cmd->retriesLeft > 0) {
        KEL_PRINT(ZEP_DBG_WARN, "Retry cmd [%d]\n", cmd->code);
        --cmd->retriesLeft;
        cmd->status = KEL_CMD_RETRY;
        KelCmdRetryPrep(cmd);
        if (!pParser->QueueWaiting(session, cmd)) {
          KEL_PRINT(ZEP_DBG_ERROR, "Add cmd to waiting queue failed\n");
          cmd->state = KEL_CMD_STATE_DONE;
          cmd->Complete();
        }
      } else {
        cmd->Complete();
      }
      UnpinClient(client);
      return;
    }
  }
  // The session is gone: its connection thread still waits for the record (it owns it)
  // and answers or ends; the record's last use here is this completion.
  pEHHandler->EHReclaimDeadCmd(cmd);
  cmd->Complete();
}

// ---- parser ------------------------------------------------------------------------------

KelCmdParser::KelCmdParser(KelSrvPrivate* priv, KelEHHandler* eh)
    : m_pSrvPrivate(priv), pEHHandler(eh), m_pWorkers(new (std::nothrow) KelCmdWorker()) {
  if (m_pWorkers == nullptr) KEL_ASSERT_TEXT("m_pWorkers[j] != NULL");
}

KelCmdParser::~KelCmdParser() {
  wakeEvent.Complete();
  terminate();
  delete m_pWorkers;
}

bool KelCmdParser::QueueWaiting(KelRemoteClient* client, KelUserCmd* cmd) {
  mutex.lock();
  // With no session waiting, a scheduling pass would hand this command straight to the
  // worker anyway: do it here and spare the parser's wake-up and hand-off.
  if (pendingCount == 0) {
    client->runningQueue.lock();
    bool direct = client->runningQueue.GetCmdCnt() < kMaxRunningPerClient;
    if (direct) {
      cmd->state = KEL_CMD_STATE_RUNNING;
      direct = client->runningQueue.AddToQueue(cmd);
    }
    client->runningQueue.unlock();
    if (direct) {
      m_pWorkers->Enqueue(cmd);
      mutex.unlock();
      return true;
    }
  }
  cmd->state = KEL_CMD_STATE_WAITING;
  client->waitingQueue.lock();
  bool queued = client->waitingQueue.AddToQueue(cmd);
  client->waitingQueue.unlock();
  bool wake = false;
  if (queued) wake = ++pendingCount == 1;
  mutex.unlock();
  if (wake) Resume();
  return queued;
}

void KelCmdParser::run() {
  m_pWorkers->SetPara(m_pSrvPrivate, pEHHandler, this);
  m_pWorkers->start();
  for (;;) {
    if (GetTerminateEvent()) break;
    mutex.lock();
    if (pendingCount == 0) {
      mutex.unlock();
      Suspend();
      if (GetTerminateEvent()) break;
      mutex.lock();
      if (pendingCount == 0) {
        mutex.unlock();
        continue;
      }
    }
    int seen = Pass();
    if (seen == 0 && pendingCount > 0) {
      KEL_PRINT(ZEP_DBG_ERROR, "Total dead cmd that has not been processed [%d]\n", pendingCount);
      pendingCount = 0;
    }
    mutex.unlock();
  }
  KEL_PRINT(ZEP_DBG_WARN, "KelCmdParser Receive terminate sig\n");
  KEL_PRINT(ZEP_DBG_ERROR, "Cmd parser exit!!!\n");
}

int KelCmdParser::Pass() {
  KelClientHash* hash = m_pSrvPrivate->pClientHash;
  if (!hash->r_lock(__FILE__, __LINE__)) {
    KEL_PRINT(ZEP_DBG_ERROR, "R Lock the ClientHash failed\n");
    KelThreadSleep(10);
    return -1;  // not "nothing seen": the pending count must survive
  }
  int n = hash->GetCurClientNum();
  if (n == 0) KEL_ASSERT_TEXT("m_pSrvPrivate->pClientHash->GetCurClientNum() != 0");
  int ids[kMaxClients * 2];
  n = n > 0 ? hash->GetAllClientID(ids) : 0;
  hash->r_unlock(__FILE__, __LINE__);

  int seen = 0;
  for (int i = 0; i < n; ++i) {
    KelClient* client = PinClient(hash, ids[i]);
    if (client == nullptr) continue;
    KelRemoteClient* session = client->pRemoteClient;
    session->waitingQueue.lock();
    int waiting = session->waitingQueue.GetCmdCnt();
    session->waitingQueue.unlock();
    session->runningQueue.lock();
    int running = session->runningQueue.GetCmdCnt();
    session->runningQueue.unlock();
    seen += waiting;
    if (waiting > 0 && running < kMaxRunningPerClient) {
      KelUserCmd* cmd = nullptr;
      session->waitingQueue.lock();
      bool got = session->waitingQueue.PopHead(cmd);
      session->waitingQueue.unlock();
      if (!got) {
        KEL_ASSERT_TEXT("pCmd != NULL");  // flushed since we counted
      } else {
        cmd->state = KEL_CMD_STATE_RUNNING;
        session->runningQueue.lock();
        bool added = session->runningQueue.AddToQueue(cmd);
        session->runningQueue.unlock();
        if (!added) {
          KEL_PRINT(ZEP_DBG_ERROR, "Add cmd[0x%p] to running queue failed [ClientID: %d]\n",
                    static_cast<void*>(cmd), ids[i]);
          IssueSignal(101);
        }
        m_pWorkers->Enqueue(cmd);
        if (pendingCount > 0) --pendingCount;
      }
    }
    UnpinClient(client);
  }
  return seen;
}
