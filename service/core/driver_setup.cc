#include "service/core/driver_setup.h"

#include <memory>

#include "driver/drv_interface.h"
#include "driver/host_glue.h"
#include "driver/sgio_transport.h"
#include "sim/sim_transport.h"

namespace {
std::string g_simDir;                            // written before the fork only
std::unique_ptr<KelDrvInterface> g_driver;       // owned by the service main's thread
}  // namespace

void KelSetSimDir(const std::string& dir) { g_simDir = dir; }

const std::string& KelSimDir() { return g_simDir; }

void KelStartDriver() {
  if (g_simDir.empty()) {
    g_driver = std::make_unique<KelDrvInterface>(std::make_unique<KelSgIoTransport>("/dev"));
  } else {
    // The simulator keeps its own device folder and mount table; the root-disk rule then
    // reads the simulated host's mount table, not this host's.
    KelHostGluePaths().mtab = g_simDir + "/mtab";
    g_driver = std::make_unique<KelDrvInterface>(std::make_unique<KelSimTransport>(g_simDir),
                                                 g_simDir + "/dev");
  }
  KelDrvSetGlobal(g_driver.get());
}

void KelStopDriver() {
  KelDrvSetGlobal(nullptr);
  g_driver.reset();
}
