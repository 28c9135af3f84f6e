#include "service/core/kel_service.h"

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <new>

#include "driver/drv_interface.h"
#include "service/account/kel_account.h"
#include "service/config/kel_remote_config.h"
#include "service/core/driver_setup.h"
#include "service/core/supervisor.h"
#include "service/engine/zr_facade.h"
#include "service/eventlog/kel_event_log.h"
#include "service/login/connection_notices.h"
#include "service/notify/kel_broadcast_listen.h"
#include "service/notify/kel_event_listen.h"
#include "service/monitor/kel_sig_parser.h"
#include "service/monitor/kel_watchdog.h"
#include "service/notify/kel_hp_listen.h"
#include "service/session/kel_client_hash.h"
#include "service/session/kel_client_thread.h"
#include "service/session/kel_cmd_parser.h"
#include "service/session/kel_user_cmd.h"
#include "service/task/task_manager.h"
#include "sharedlib/aes.h"
#include "sharedlib/diag.h"
#include "sharedlib/kel_signal.h"
#include "sharedlib/kel_socket.h"
#include "sharedlib/kel_timer.h"

KelWait gExitWait;
KelWait gClearWait;

namespace {

// Truncates the init log and writes one line; a start-up that stops half-way leaves "start".
void WriteInitLog(const char* line) {
  const char* path = KelRemoteConfig::strKelInitLogFile.c_str();
  FILE* file = fopen(path, "w");
  if (file == nullptr) {
    KEL_PRINT(ZEP_DBG_ERROR, "Main thread:open init log file %s failed\n\r", path);
    return;
  }
  fprintf(file, "%s\n", line);
  fclose(file);
}

// The components the service main owns, in the order they are built. Components of later
// layers (sessions, listeners, watchdog, parsers) take their places here as they land.
struct Components {
  // Background tasks go last: the registry and the command worker use them to the end.
  std::unique_ptr<ZrTaskEngine> taskEngine;
  std::unique_ptr<KelTaskManager> tasks;
  std::unique_ptr<KelRemoteConfig> kelConfig;
  std::unique_ptr<KelClientHash> kelCliHashTable;
  std::unique_ptr<KelClientThreadList> kelCliThreadList;
  std::unique_ptr<KelEventLog> kelLog;
  std::unique_ptr<KelReceiveSocket> kelMainListenSocket;
  std::unique_ptr<KelAccount> kelAccount;
  std::unique_ptr<KelEHHandler> kelEH;
  std::unique_ptr<KelCmdParser> kelCmdParser;
  std::unique_ptr<KelEventSocketListen> kelEventListen;
  std::unique_ptr<KelBroadcastListen> kelBroadcast;
  std::unique_ptr<KelWatchDog> kelWatchDog;
  std::unique_ptr<KelSigParser> kelSigParser;
  std::unique_ptr<KelHpListen> kelHpListen;
};

// Hands an accepted connection to a new connection thread, or refuses it with the
// disconnect notice when there is no room or no thread can be started.
void AdmitConnection(Components& c, KelSrvPrivate& priv, int sock, const sockaddr_in& peer) {
  KelClientThreadList& list = *c.kelCliThreadList;
  list.Reclaim();
  int threads = 0;
  if (list.lock()) {
    threads = list.Count();
    list.unlock();
  }
  if (threads > KelRemoteConfig::nKelRemoteMaxClientSockets) {
    KEL_PRINT(ZEP_DBG_WARN, "Too many users[%d] attached to the Host.\n", threads);
    DisConnect(sock, KEL_DISCONNECT_NO_ROOM);
    return;
  }
  KelClientThread* thread = new (std::nothrow) KelClientThread(&priv, c.kelCmdParser.get(), sock, peer);
  if (thread == nullptr) {
    KEL_PRINT(ZEP_DBG_ERROR, "Allocate a new client thread failed\n");
    DisConnect(sock, KEL_DISCONNECT_NO_ROOM);
    return;
  }
  bool started = false;
  for (int attempt = 0; attempt < 3 && !started; ++attempt) started = thread->start();
  if (!started) {
    KEL_PRINT(ZEP_DBG_ERROR, "Start client thread failed\n");
    _KelClientSocketSession none{-1, peer};
    thread->SetSocketSession(none);  // the refusal below closes the descriptor
    delete thread;
    DisConnect(sock, KEL_DISCONNECT_NO_ROOM);
    return;
  }
  if (!list.lock()) {
    // The list must not change without its lock: end this connection rather than lose
    // track of a running thread.
    KEL_PRINT(ZEP_DBG_ERROR, "Lock thread list failed\n");
    thread->ShutdownSocket();
    thread->terminate();
    delete thread;
    return;
  }
  list.AddToThreadList(thread);
  list.unlock();
}

// Accepts connections until an orderly stop is requested. A stop signal only sets a flag
// (nothing else is safe in a handler); the loop turns it into the exit event within a
// second.
void AcceptLoop(Components& c, KelSrvPrivate& priv) {
  KelReceiveSocket& listen = *c.kelMainListenSocket;
  for (;;) {
    if (g_bSrvShutdown) gExitWait.Complete();
    if (gExitWait.WaitForComplete(0)) return;
    if (listen.Accept() != 1) continue;
    KEL_PRINT(ZEP_DBG_INFO, "New connect receieved in main thread\n");
    AdmitConnection(c, priv, listen.AcceptedSocket(), listen.PeerAddress());
  }
}

// Runs the components down. Every producer of event-log lines and every user of the
// registry (connection threads, the command worker, the listeners) is stopped before the
// sinks it writes to are destroyed; then the event log, whose flush timer needs the timer
// daemon, and the remaining stores.
void Shutdown(Components& c, KelSrvPrivate& priv) {
  fputs("Get exit sigm break\n", stdout);
  fflush(stdout);
  // The hot-plug listener calls into the watchdog: it stops before anything is destroyed.
  if (c.kelHpListen) c.kelHpListen->StopListen();
  KEL_PRINT(ZEP_DBG_INFO, "Kill all SMR\n");
  c.tasks->KillAllSMR();
  KEL_PRINT(ZEP_DBG_INFO, "delete kelSigParser\n");
  c.kelSigParser.reset();
  KEL_PRINT(ZEP_DBG_INFO, "delete kelWatchDog\n");
  // Its checks stop now; the object stays until the last thread that may call it (the
  // device-event listener, logouts, the interval command on the command worker) is gone.
  c.kelWatchDog->stop();
  KEL_PRINT(ZEP_DBG_INFO, "delete kelBroadcast\n");
  c.kelBroadcast.reset();
  KEL_PRINT(ZEP_DBG_INFO, "delete kelEventListen\n");
  c.kelEventListen.reset();
  KEL_PRINT(ZEP_DBG_INFO, "delete kelHpListen\n");
  c.kelHpListen.reset();
  KEL_PRINT(ZEP_DBG_INFO, "delete kelCliThreadList\n");
  c.kelCliThreadList.reset();
  priv.pCliThreadList = nullptr;
  KEL_PRINT(ZEP_DBG_INFO, "delete kelCmdParser\n");
  c.kelCmdParser.reset();
  priv.pCmdParser = nullptr;
  priv.pWatchDog = nullptr;
  c.kelWatchDog.reset();
  KEL_PRINT(ZEP_DBG_INFO, "delete kelEH\n");
  c.kelEH.reset();
  KEL_PRINT(ZEP_DBG_INFO, "delete kelLog\n");
  priv.pEventLog = nullptr;
  c.kelLog.reset();
  KEL_PRINT(ZEP_DBG_INFO, "delete StopTimerDaemonThread()\n");
  KelTimer::StopTimerDaemonThread();
  KEL_PRINT(ZEP_DBG_INFO, "delete kelCliHashTable\n");
  priv.pClientHash = nullptr;
  c.kelCliHashTable.reset();
  KEL_PRINT(ZEP_DBG_INFO, "delete kelAccount\n");
  priv.pAccount = nullptr;
  c.kelAccount.reset();
  KEL_PRINT(ZEP_DBG_INFO, "delete kelMainListenSocket\n");
  c.kelMainListenSocket.reset();
  KEL_PRINT(ZEP_DBG_INFO, "delete kelConfig\n");
  priv.pConfig = nullptr;
  c.kelConfig.reset();
  gClearWait.Complete();
  KelSrvExit(&priv);
}

bool KelService(const char* cfgPath) {
  KelSrvPrivate priv;
  Components c;

  KelTimer::StartTimerDaemonThread();
  c.kelConfig = std::make_unique<KelRemoteConfig>(cfgPath);
  c.kelCliHashTable = std::make_unique<KelClientHash>(&priv);
  c.kelCliThreadList = std::make_unique<KelClientThreadList>();
  c.kelLog = std::make_unique<KelEventLog>(
      KelRemoteConfig::strEventLogFile.c_str(),
      static_cast<unsigned long long>(KelRemoteConfig::nKelRemoteEventLogMaxSize),
      KelRemoteConfig::nKelRemoteEventLogBytesPerItem);
  c.kelMainListenSocket = std::make_unique<KelReceiveSocket>(
      static_cast<unsigned short>(KelRemoteConfig::nKelRemoteClientListenPort),
      KelRemoteConfig::nKelRemoteMaxClientSockets);
  c.kelAccount = std::make_unique<KelAccount>(KelRemoteConfig::strAccountFile.c_str());
  c.taskEngine = std::make_unique<ZrTaskEngine>();
  KelTaskManager::Hooks taskHooks;
  taskHooks.clientCount = [] { return gTotalClients.load(); };
  taskHooks.logLine = [log = c.kelLog.get()](const std::string& line) {
    std::string copy = line;
    log->AddItemToQueue(copy);
  };
  c.tasks = std::make_unique<KelTaskManager>(c.taskEngine.get(), std::move(taskHooks));
  KelWatchDogSettings watchSettings = KelWatchDogSettings::FromConfig();
  watchSettings.tasks = c.tasks.get();
  c.kelWatchDog = std::make_unique<KelWatchDog>(c.kelCliHashTable.get(), c.kelLog.get(),
                                                watchSettings);

  if (c.kelMainListenSocket->GetSocketID() == -1) {
    KEL_PRINT(ZEP_DBG_ERROR,
              "Listen socket cannot be started, please check whether there is another server\n");
    // The process ends soon after without a restart. Release the event log before the timer
    // daemon so its flush timer never outlives it.
    c.kelWatchDog.reset();
    c.kelLog.reset();
    KelTimer::StopTimerDaemonThread();
    return false;
  }

  WriteInitLog("start");
  // Built once the port check has shown no other service runs here, whose event socket it
  // would otherwise take over. The watchdog outlives it: the listener stops first at shutdown.
  c.kelHpListen = std::make_unique<KelHpListen>(
      [wd = c.kelWatchDog.get()] { wd->SetUEvent(); }, KelUEventEndpoint());
  priv.pConfig = c.kelConfig.get();
  priv.pClientHash = c.kelCliHashTable.get();
  priv.pCliThreadList = c.kelCliThreadList.get();
  priv.pAccount = c.kelAccount.get();
  priv.pEventLog = c.kelLog.get();
  c.kelEH = std::make_unique<KelEHHandler>(&priv);
  c.kelCmdParser = std::make_unique<KelCmdParser>(&priv, c.kelEH.get());
  priv.pCmdParser = c.kelCmdParser.get();
  priv.pWatchDog = c.kelWatchDog.get();
  priv.pTaskManager = c.tasks.get();
  c.kelSigParser = std::make_unique<KelSigParser>(&priv);
  KelSrvInit(&priv);
  c.kelCmdParser->start();
  c.kelEventListen = std::make_unique<KelEventSocketListen>(
      c.kelCliHashTable.get(),
      static_cast<unsigned short>(KelRemoteConfig::nKelRemoteEventListenPort),
      static_cast<unsigned int>(KelRemoteConfig::nKelRemoteMaxClientSockets));
  if (!c.kelEventListen->start()) KEL_PRINT(ZEP_DBG_ERROR, "Start kelEventListen failed\n");
  c.kelBroadcast = std::make_unique<KelBroadcastListen>(
      static_cast<unsigned short>(KelRemoteConfig::nKelRemoteBroadcastListenPort));
  if (!c.kelBroadcast->start()) KEL_PRINT(ZEP_DBG_ERROR, "Start kelBroadcast failed\n");
  c.kelSigParser->start();
  c.kelWatchDog->start();
  if (!c.kelHpListen->StartListen()) KEL_PRINT(ZEP_DBG_ERROR, "Start hot-plug listener failed\n");
  WriteInitLog("success");

  AcceptLoop(c, priv);
  Shutdown(c, priv);
  return true;
}

}  // namespace

bool KelSrvMain(void*, const char* cfgPath) { return KelService(cfgPath); }

bool KelSrvInit(KelSrvPrivate*) {
  if (AesModuleInit() == -1) {
    KEL_PRINT(ZEP_DBG_ERROR, "Error:AesModuleInit failed\n");
    return false;
  }
  // The RAID engine is built on top of this driver probe.
  KelStartDriver();
  KelDrvInterface* drv = KelDrvGlobal();
  if (drv->Drv_Init() != 0)
    KEL_PRINT(ZEP_DBG_ERROR, "RAID driver not found\n");
  else
    KEL_PRINT(ZEP_DBG_INFO, "RAID driver ready, %d controller(s)%s%s\n", drv->GetControllerNum(),
              KelSimDir().empty() ? "" : " simulated in ", KelSimDir().c_str());
  // Without the engine the service still runs: RAID queries then answer "not initialised".
  int rc = zr_init();
  if (rc == ZR_OK)
    KEL_PRINT(ZEP_DBG_INFO, "RAID engine started\n");
  else
    KEL_PRINT(ZEP_DBG_ERROR, "RAID engine start failed (%d)\n", rc);
  return true;
}

void KelSrvExit(KelSrvPrivate*) {
  KelSignal::ClearSigQueue();
  KelUserCmd::ClearAllCmds();
  zr_exit();
  KelStopDriver();
}
