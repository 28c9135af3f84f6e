// The engine facade's lifecycle: starting and stopping the device manager, reloading the
// RAID driver, and the rescan. The queries are in zr_queries.cc, SMART in zr_smart.cc.
#include "service/engine/zr_facade.h"

#include <cstring>
#include <new>

#include "driver/drv_interface.h"
#include "driver/host_glue.h"
#include "engine/dev_manage.h"
#include "engine/engine_util.h"
#include "service/account/sys_account.h"
#include "service/engine/zr_private.h"
#include "sharedlib/diag.h"

// Published after a complete build and withdrawn before teardown; the command layer's own
// lock keeps queries and the lifecycle apart.
std::atomic<KelDeviceManage*> g_pKelDM{nullptr};
std::atomic<int> g_bLibInit{0};
KelMutex g_LibInitLock;  // held for the whole of zr_init and zr_exit

namespace {

constexpr int kVersionMajor = 1;
constexpr int kVersionMinor = 0;
constexpr int kVersionBuild = 0;

class InitLockHold {
 public:
  InitLockHold() : m_ok(g_LibInitLock.lock()) {}
  ~InitLockHold() {
    if (m_ok) g_LibInitLock.unlock();
  }
  InitLockHold(const InitLockHold&) = delete;
  InitLockHold& operator=(const InitLockHold&) = delete;
  bool Ok() const { return m_ok; }

 private:
  bool m_ok;
};

}  // namespace

int zr_init() {
  InitLockHold hold;
  if (!hold.Ok()) return ZR_START_FAILED;
  if (g_bLibInit == 1) {
    KEL_PRINT(ZEP_DBG_WARN, "RAID engine already initialised\n");
    return ZR_ALREADY_INIT;
  }
  KelDrvInterface* drv = KelDrvGlobal();
  if (drv == nullptr || drv->Drv_Init() != 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "RAID engine: driver not available\n");
    return ZR_NO_DRIVER;
  }
  InitGenRandNum();
  auto* dm = new (std::nothrow) KelDeviceManage();
  if (dm == nullptr || dm->InitDML() == 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "RAID engine: the device model could not be built\n");
    delete dm;
    g_pKelDM = nullptr;
    return ZR_START_FAILED;
  }
  g_pKelDM = dm;
  g_bLibInit = 1;
  return ZR_OK;
}

int zr_exit() {
  InitLockHold hold;
  if (!hold.Ok()) return ZR_LOCK_FAILED;
  if (g_bLibInit != 1) return ZR_NOT_INIT;
  g_bLibInit = 0;
  delete g_pKelDM.exchange(nullptr);
  return ZR_OK;
}

bool zr_is_initialised() { return g_bLibInit == 1; }

int zr_reload_driver(int reboot, const char* user, const char* passwd) {
  ZR_CHECK_INIT();
  if (reboot) {
    if (user == nullptr || passwd == nullptr || std::strcmp(user, "root") != 0 ||
        !TarvoVerifySysAccount(user, passwd)) {
      KEL_PRINT(ZEP_DBG_WARN, "reboot refused: not the host's root account\n");
      return ZR_BAD_PARAM;
    }
    TarvoRebootOS();
    return ZR_OK;
  }
  if (cli_uninstall_module() != 1) {
    KEL_PRINT(ZEP_DBG_ERROR, "RAID driver could not be unloaded\n");
    return ZR_RELOAD_FAILED;
  }
  if (cli_install_module() != 1) {
    KEL_PRINT(ZEP_DBG_ERROR, "RAID driver could not be loaded again\n");
    return ZR_RELOAD_FAILED;
  }
  zr_exit();
  return zr_init();
}

int zr_get_version(int* major, int* minor, int* build) {
  ZR_CHECK_INIT();
  if (major == nullptr || minor == nullptr || build == nullptr) return ZR_BAD_PARAM;
  *major = kVersionMajor;
  *minor = kVersionMinor;
  *build = kVersionBuild;
  return ZR_OK;
}

int zr_update_hardware_info() {
  ZR_CHECK_INIT();
  return g_pKelDM.load()->UpdateDML();
}
