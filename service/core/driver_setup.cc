#include "service/core/driver_setup.h"

#include <sys/stat.h>

#include <cstdio>
#include <memory>

#include "driver/drv_interface.h"
#include "driver/host_glue.h"
#include "driver/sgio_transport.h"
#include "sharedlib/diag.h"
#include "sim/sim_transport.h"
#include "sim/sim_uevent.h"

namespace {
std::string g_simDir;                            // written before the fork only
std::unique_ptr<KelDrvInterface> g_driver;       // owned by the service main's thread

// The stand-ins for the host's module tools and reboot program. They live next to the
// modules list they edit, so the folder can be moved as a whole.
constexpr const char* kRmmodScript =
    "#!/bin/sh\n"
    "# Simulated rmmod: drops the module's line from the modules list beside this script.\n"
    "list=\"$(dirname \"$0\")/modules\"\n"
    "grep -v \"^$1 \" \"$list\" > \"$list.new\"\n"
    "mv \"$list.new\" \"$list\"\n";
constexpr const char* kModprobeScript =
    "#!/bin/sh\n"
    "# Simulated modprobe: lists the module as loaded unless it is already.\n"
    "list=\"$(dirname \"$0\")/modules\"\n"
    "grep -q \"^$1 \" \"$list\" 2>/dev/null || echo \"$1 65536 0 - Live 0x0\" >> \"$list\"\n";
constexpr const char* kRebootScript =
    "#!/bin/sh\n"
    "# Simulated reboot: records the request instead of restarting anything.\n"
    "echo \"reboot $*\" >> \"$(dirname \"$0\")/reboot.log\"\n";

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

// Writes `text` to `path` unless something is there already; `mode` for scripts.
void CreateIfMissing(const std::string& path, const std::string& text, mode_t mode) {
  if (Exists(path)) return;
  FILE* f = std::fopen(path.c_str(), "w");
  if (f == nullptr || std::fputs(text.c_str(), f) < 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "Cannot create %s\n", path.c_str());
    if (f != nullptr) std::fclose(f);
    return;
  }
  std::fclose(f);
  chmod(path.c_str(), mode);
}

// A simulated controller has a simulated host around it: the driver reload and the reboot
// of the reload command act on files in DIR/host, never on this host's modules or power.
void PointHostGlueIntoSim(const std::string& dir) {
  const std::string host = dir + "/host";
  if (mkdir(host.c_str(), 0755) != 0 && !Exists(host))
    KEL_PRINT(ZEP_DBG_ERROR, "Cannot create %s\n", host.c_str());
  KelHostPaths& paths = KelHostGluePaths();
  paths.conf = host + "/zepraid.conf";
  paths.modules = host + "/modules";
  paths.rmmod = host + "/rmmod";
  paths.modprobe = host + "/modprobe";
  paths.reboot = host + "/reboot";
  // The simulator keeps its own device folder and mount table; the root-disk rule then
  // reads the simulated host's mount table, not this host's.
  paths.mtab = dir + "/mtab";
  paths.cmdline = host + "/cmdline";
  paths.sysDevBlock = host + "/sys-dev-block";
  paths.rootDir = host;
  paths.pciDriver = KelSimPciDriverDir(dir);
  // Nothing has to settle after a simulated module load.
  KelHostGlueSetSleep([](unsigned int) {});

  cli_init_module_names();
  std::string loaded;
  for (const std::string& name : cli_module_names()) loaded += name + " 65536 0 - Live 0x0\n";
  CreateIfMissing(paths.modules, loaded, 0644);
  CreateIfMissing(paths.rmmod, kRmmodScript, 0755);
  CreateIfMissing(paths.modprobe, kModprobeScript, 0755);
  CreateIfMissing(paths.reboot, kRebootScript, 0755);
  std::string err;  // folders made before device events existed lack the PCI function
  if (!KelSimCreatePciFunction(dir, &err)) KEL_PRINT(ZEP_DBG_ERROR, "%s\n", err.c_str());
}

}  // namespace

void KelSetSimDir(const std::string& dir) { g_simDir = dir; }

const std::string& KelSimDir() { return g_simDir; }

void KelStartDriver() {
  if (g_simDir.empty()) {
    g_driver = std::make_unique<KelDrvInterface>(std::make_unique<KelSgIoTransport>("/dev"));
  } else {
    PointHostGlueIntoSim(g_simDir);
    g_driver = std::make_unique<KelDrvInterface>(std::make_unique<KelSimTransport>(g_simDir),
                                                 g_simDir + "/dev");
  }
  KelDrvSetGlobal(g_driver.get());
}

std::string KelUEventEndpoint() { return g_simDir.empty() ? "" : KelSimUEventPath(g_simDir); }

void KelStopDriver() {
  KelDrvSetGlobal(nullptr);
  g_driver.reset();
}
