// KelSrvPrivate: the service context handed to every command handler. It is filled by the
// service main during start-up, before any thread that reads it starts, and is read-only
// afterwards. Every pointer is non-owning; the service main owns the components.
#ifndef KEL_SERVICE_CORE_SRV_PRIVATE_H
#define KEL_SERVICE_CORE_SRV_PRIVATE_H

class KelRemoteConfig;
class KelClientHash;
class KelClientThreadList;
class KelAccount;
class KelEventLog;
class KelCmdParser;
class KelWatchDog;
class KelTaskManager;

struct KelSrvPrivate {
  KelRemoteConfig* pConfig = nullptr;
  KelClientHash* pClientHash = nullptr;
  KelClientThreadList* pCliThreadList = nullptr;
  KelAccount* pAccount = nullptr;
  KelEventLog* pEventLog = nullptr;
  KelCmdParser* pCmdParser = nullptr;
  KelWatchDog* pWatchDog = nullptr;
  KelTaskManager* pTaskManager = nullptr;
};

#endif
