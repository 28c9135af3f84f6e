// Finding the RAID controller's PCI function: the kernel lists every device its PCI driver
// is bound to as an entry ("0000:03:00.0") of the driver's folder.
#ifndef KEL_SERVICE_NOTIFY_KEL_PCI_FUN_H
#define KEL_SERVICE_NOTIFY_KEL_PCI_FUN_H

#include <cstddef>
#include <string>

// The first entry of `driverDir` whose name holds "0000", copied into `out` (at most
// size - 1 characters, always terminated). False when the folder is missing, holds no
// such entry, or the name does not fit.
bool GetPciFun(const std::string& driverDir, char* out, size_t size);
// The same on the host glue's PCI driver folder (redirected on a simulator folder).
bool GetPciFun(char* out, size_t size);

#endif
