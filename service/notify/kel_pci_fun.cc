#include "service/notify/kel_pci_fun.h"

#include <dirent.h>

#include <cstring>

#include "driver/host_glue.h"
#include "sharedlib/diag.h"

bool GetPciFun(const std::string& driverDir, char* out, size_t size) {
  if (out == nullptr || size == 0) return false;
  out[0] = '\0';
  DIR* dir = opendir(driverDir.c_str());
  if (dir == nullptr) {
    KEL_PRINT(ZEP_DBG_WARN, "Cannot open the PCI driver folder %s\n", driverDir.c_str());
    return false;
  }
  bool found = false;
  while (dirent* entry = readdir(dir)) {
    if (std::strstr(entry->d_name, "0000") == nullptr) continue;
    size_t n = std::strlen(entry->d_name);
    if (n >= size) {
      KEL_PRINT(ZEP_DBG_WARN, "PCI function name %s too long\n", entry->d_name);
      continue;
    }
    std::memcpy(out, entry->d_name, n + 1);
    found = true;
    break;
  }
  closedir(dir);
  if (found) KEL_PRINT(ZEP_DBG_INFO, "PCI fun: %s\n", out);
  else KEL_PRINT(ZEP_DBG_WARN, "No PCI function in %s\n", driverDir.c_str());
  return found;
}

bool GetPciFun(char* out, size_t size) { return GetPciFun(KelHostGluePaths().pciDriver, out, size); }
