// Checks shared by the sub-command handlers (contracts in sim_call.h).
#include "sim/sim_call.h"

#include "sharedlib/diag.h"
#include "sim/sim_codec.h"

bool SimFaulted(SimCall& c, KelSimDisk* d) {
  if (!d) return false;
  auto it = d->faults.find(c.code);
  if (it == d->faults.end()) return false;
  if (it->second > 0) {
    if (--it->second == 0) d->faults.erase(it);
    *c.dirty = true;
  }
  KEL_PRINT(ZEP_DBG_ERROR, "simulated fault: sub-command 0x%02X fails on %s\n", c.code,
            d->name.c_str());
  return true;
}

bool SimNeedLen(const SimCall& c, size_t need) {
  if (c.plen >= need) return true;
  KEL_PRINT(ZEP_DBG_ERROR, "sub-command 0x%02X: parameter length %zu, needs %zu\n", c.code,
            c.plen, need);
  return false;
}

KelSimDisk* SimAddressed(SimCall& c, size_t ctrlOff, size_t devOff) {
  int ctrl = c.p[ctrlOff];
  int number = SimGetU16(c.p, devOff);
  const KelSimDisk* d = ctrl == c.s.controllerIndex ? c.s.DiskByNumber(number) : nullptr;
  if (!d) {
    KEL_PRINT(ZEP_DBG_ERROR, "sub-command 0x%02X: no disk %d on controller %d\n", c.code, number,
              ctrl);
    return nullptr;
  }
  return c.s.FindDisk(d->name);
}
