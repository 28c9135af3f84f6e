#include "service/session/kel_client_thread.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <new>
#include <string>
#include <vector>

#include "service/core/srv_private.h"
#include "service/eventlog/kel_event_log.h"
#include "service/login/connection_notices.h"
#include "service/login/login_throttle.h"
#include "service/login/user_login.h"
#include "service/session/kel_client_hash.h"
#include "service/session/kel_cmd_parser.h"
#include "service/session/kel_user_cmd.h"
#include "sharedlib/diag.h"

KelClientThread::KelClientThread(KelSrvPrivate* priv, void* cmdParser, int sock, sockaddr_in peer)
    : sockFd(sock),
      peerAddr(peer),
      pSrvPrivate(priv),
      pCmdParser(static_cast<KelCmdParser*>(cmdParser)) {
  inet_ntop(AF_INET, &peerAddr.sin_addr, peerText, sizeof(peerText));
}

KelClientThread::~KelClientThread() {
  // Unbind from the session while the registry lock keeps it from being destroyed. A
  // session that went offline still lists this thread and must forget it too.
  KelClientHash* hash = pSrvPrivate != nullptr ? pSrvPrivate->pClientHash : nullptr;
  if (hash != nullptr && clientID != -1) {
    if (!hash->r_lock(__FILE__, __LINE__)) {
      KEL_PRINT(ZEP_DBG_ERROR, "Lock the ClientHash failed\n");
    } else {
      KelClient* client = hash->GetClient(clientID);
      if (client != nullptr && client->pRemoteClient != nullptr)
        client->pRemoteClient->RemoveCliThread(this);
      hash->r_unlock(__FILE__, __LINE__);
    }
  }
  CloseSocket();
  terminate();  // the body is gone with this object; its thread must be too
}

void KelClientThread::SetSocketSession(_KelClientSocketSession& s) {
  KelMutexGuard hold(m_sockMutex);
  sockFd = s.sockFd;
  peerAddr = s.peerAddr;
  inet_ntop(AF_INET, &peerAddr.sin_addr, peerText, sizeof(peerText));
}

void KelClientThread::ShutdownSocket() {
  KelMutexGuard hold(m_sockMutex);
  if (sockFd != -1) shutdown(sockFd, SHUT_RDWR);
}

void KelClientThread::CloseSocket() {
  KelMutexGuard hold(m_sockMutex);
  if (sockFd != -1) close(sockFd);
  sockFd = -1;
}

void KelClientThread::QueueLogText(const std::string& text) {
  if (text.empty() || pSrvPrivate == nullptr || pSrvPrivate->pEventLog == nullptr) return;
  std::string line = text;
  pSrvPrivate->pEventLog->AddItemToQueue(line);
}

// Peers that have not logged in must not be able to wipe the event log's history: a
// connection leaves at most one line naming its peer, and failed logins are limited per
// peer address.
void KelClientThread::QueuePreLoginText(const KelUserCmd* cmd, bool loggedIn,
                                        const std::string& text) {
  // Every pre-login packet brings the summaries of ended windows; a failed login also its own
  // line, unless its address is over the limit.
  KelLoginThrottle& throttle = KelLoginThrottle::Service();
  const auto now = KelLoginThrottle::Clock::now();
  const bool failedLogin = !loggedIn && cmd->code == KEL_CMD_LOGIN;
  std::vector<std::string> lines =
      failedLogin ? throttle.FailedLogin(peerText, text, now) : throttle.Expired(now);
  if (loggedIn) {
    lines.push_back(text);
  } else if (!failedLogin && !peerLogged && !text.empty()) {
    peerLogged = true;
    lines.push_back(text);
  }
  for (const std::string& line : lines) QueueLogText(line);
}

void KelClientThread::run() {
  // The descriptor is only closed by this thread (or after it ended), so reading it
  // without the lock is safe here.
  const int sock = sockFd;
  if (SendWelcomMessage(sock) != 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "Send welcome msg to socket[%d] failed\n", sock);
    return;
  }
  loginState = KEL_LOGIN_WAITING;
  for (;;) {
    try {
      pCurCmd = new KelUserCmd();
    } catch (const std::bad_alloc&) {
      KEL_PRINT(ZEP_DBG_ERROR, "Allocate a new client thread failed\n");
      break;
    }
    pCurCmd->pIssuer = this;
    if (WaitCommand(sock, &pCurCmd->code, pCurCmd->data, &pCurCmd->m_CmdDataLen, 2, 0, 0,
                    kCmdDataSize) != 0) {
      KEL_PRINT(ZEP_DBG_ERROR, "Wait cmd failed\n");
      delete pCurCmd;
      pCurCmd = nullptr;
      break;
    }
    if (GetTerminateEvent()) {
      KEL_PRINT(ZEP_DBG_WARN, "Client Thread receives terminate sig\n");
      delete pCurCmd;
      pCurCmd = nullptr;
      break;
    }
    KelCmdInit(pCurCmd);
    int disposition = KEL_DISPATCH_HANDLED;
    if (!DispatchCmd(pCurCmd, disposition)) {
      KEL_PRINT(ZEP_DBG_ERROR, "Dispatch cmd failed. Ret[%d]\n", pCurCmd->GetRetCode());
      pCurCmd->m_CmdDataLen = pCurCmd->m_CmdDataLen < 5 ? 5 : pCurCmd->m_CmdDataLen;
      pCurCmd->SetRetCode(KEL_RET_NOT_DISPATCHED);
    } else if (disposition == KEL_DISPATCH_QUEUED && !pCurCmd->WaitForComplete()) {
      KEL_PRINT(ZEP_DBG_ERROR, "Wait for cmd timeout\n");
    }
    int sent = pCurCmd->SendReply(sock);
    delete pCurCmd;
    pCurCmd = nullptr;
    if (sent != 0) break;
  }
  CloseSocket();
}

bool KelClientThread::DispatchCmd(KelUserCmd* cmd, int& disposition) {
  disposition = KEL_DISPATCH_HANDLED;
  std::string text = std::string("IP:") + peerText;
  if (loginState != KEL_LOGIN_DONE) {
    // Before login every packet goes to the login handlers; others come back unchanged.
    const bool loggedIn = UserRegister(pSrvPrivate, cmd, &clientID, text);
    cmd->Complete();
    QueuePreLoginText(cmd, loggedIn, text);
    if (loggedIn) loginState = KEL_LOGIN_DONE;
    return true;
  }
  cmd->clientID = clientID;
  if (IsSrvLocalCmd(cmd) && cmd->data[0] == 0) {
    UserLogout(pSrvPrivate, cmd, text);
    cmd->Complete();
    QueueLogText(text);
    return true;
  }

  bool lockFailed = false;
  KelClient* client = PinClient(pSrvPrivate->pClientHash, clientID, &lockFailed);
  if (client == nullptr) {
    if (lockFailed)
      KEL_PRINT(ZEP_DBG_ERROR, "Lock the ClientHash failed\n");
    else
      KEL_PRINT(ZEP_DBG_ERROR, "The client[%d] is offline. Cmd dispatch failed\n", clientID);
    disposition = KEL_DISPATCH_NOT_QUEUED;
    return false;
  }
  bool queued = pCmdParser->QueueWaiting(client->pRemoteClient, cmd);
  if (!queued) KEL_PRINT(ZEP_DBG_ERROR, "Add cmd to queue failed\n");
  disposition = queued ? KEL_DISPATCH_QUEUED : KEL_DISPATCH_NOT_QUEUED;
  UnpinClient(client);
  return queued;
}

KelClientThreadList::~KelClientThreadList() {
  mutex.lock();
  KelClientThread* thread = nullptr;
  while (threads.PopFront(&thread)) {
    --count;
    thread->ShutdownSocket();
    thread->terminate();
    delete thread;
  }
  mutex.unlock();
}

bool KelClientThreadList::AddToThreadList(KelClientThread* thread) {
  try {
    threads.Insert(thread);
  } catch (const std::bad_alloc&) {
    return false;
  }
  ++count;
  return true;
}

bool KelClientThreadList::RemoveFromThreadList(KelClientThread* thread) {
  if (threads.Remove(thread) == 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "Remove thread from list failed!!!\n");
    return false;
  }
  --count;
  return true;
}

bool KelClientThreadList::IsExist(KelClientThread* thread) {
  bool found = false;
  threads.ForEach([&](KelClientThread* t) { found = found || t == thread; });
  return found;
}

bool KelClientThreadList::IsDead(KelClientThread* thread) {
  if (!IsExist(thread) || !thread->running()) return true;
  KelThread::KelThreadSleep(10);
  return !thread->running();
}

void KelClientThreadList::Reclaim() {
  if (!lock()) {
    KEL_PRINT(ZEP_DBG_ERROR, "Lock thread list failed\n");
    return;
  }
  KelList<KelClientThread*> dead;
  // The lambdas run under the list's mutex, which the lock analysis does not follow into them.
  threads.ForEach([&](KelClientThread* t) NO_THREAD_SAFETY_ANALYSIS {
    if (t == nullptr) {
      KEL_PRINT(ZEP_DBG_ERROR, "Uncommon list node, check it!!!!!!!!!!\n");
      return;
    }
    if (IsDead(t)) dead.Insert(t);
  });
  dead.ForEach([&](KelClientThread* t) NO_THREAD_SAFETY_ANALYSIS {
    if (!RemoveFromThreadList(t)) {
      KEL_PRINT(ZEP_DBG_ERROR, "Reclaim a dead client thread failed. Current threads[%d]\n", count);
      return;
    }
    delete t;
  });
  unlock();
}
