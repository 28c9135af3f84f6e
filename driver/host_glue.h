// Operations on the host itself: the RAID kernel module's names, unloading and loading it,
// rebooting, and finding the device that holds the root file system. Every file and program
// the host glue touches is named in one paths record, so tests can point it all into a
// temporary folder; its defaults are the real host paths.
#ifndef KEL_DRIVER_HOST_GLUE_H
#define KEL_DRIVER_HOST_GLUE_H

#include <string>
#include <vector>

struct KelHostPaths {
  std::string conf = "/etc/zepraid.conf";  // driver configuration file
  std::string modules = "/proc/modules";
  std::string rmmod = "/sbin/rmmod";
  std::string modprobe = "/sbin/modprobe";
  std::string reboot = "/sbin/reboot";
  std::string mtab = "/etc/mtab";
  std::string devnull = "/dev/null";
  // Where a root device mounted as "/dev/root" is looked up: the kernel command line's
  // root=, else the device numbers of the root folder named in the block-device folder.
  std::string cmdline = "/proc/cmdline";
  std::string sysDevBlock = "/sys/dev/block";
  std::string rootDir = "/";
  // The RAID controller's PCI driver folder: one entry per PCI function it drives.
  std::string pciDriver = "/sys/bus/pci/drivers/ZKELLDC";
};

// The process-wide paths record. Changed only by tests, before any host operation runs.
KelHostPaths& KelHostGluePaths();

// Replaces the one-second pauses of cli_install_module (tests do not sleep).
void KelHostGlueSetSleep(void (*sleepFn)(unsigned int seconds));

constexpr int KEL_MAX_MODULE_NAMES = 31;

// Reads the driver configuration file and selects the module name list: the names given by
// its "raid_driver" lines (at most 31), or the single default "ZKELLDC" when it names none.
// Returns the number of names read from the file (0 when the default is used).
int cli_init_module_names();
// The current module name list (the default until cli_init_module_names found names).
std::vector<std::string> cli_module_names();

// The use count of module `name` in the modules list; -1 when it is not listed, 0 when the
// list cannot be read.
int cli_check_raid_mod(const char* name);
// Removes every listed module with rmmod. 1 when none of them is loaded afterwards.
int cli_uninstall_module();
// Loads every listed module that is not loaded with modprobe. 1 when at least one is loaded.
int cli_install_module();
// Runs the reboot program and waits for it. 1, or 0 when the fork fails.
int TarvoRebootOS();
// The device mounted on "/" from the mount table, copied into `device` (at most size - 1
// characters; the caller zeroes the buffer). Only a line whose mount point is "/" counts;
// when several do, the last one with a device under /dev/ (the mount on top). The kernel's
// alias /dev/root is resolved to the real node (see host_glue.cc). Non-zero on success, 0
// when none is found.
int GetLinuxDirectory(char* device, int size);

#endif
