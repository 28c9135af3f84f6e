// Disk health through the ATA SMART feature set, sent to each disk with the driver's SMART
// sub-command. The device manager owns one instance for its lifetime; every call runs
// under the manager's model lock (the write side when it may set a disk's health flag),
// so the object keeps no state of its own.
#ifndef KEL_ENGINE_KEL_SMART_H
#define KEL_ENGINE_KEL_SMART_H

#include <cstdint>

#include "sharedlib/raid_records.h"

class KelDeviceManage;
class KelPhyDevice;

// Health values of GetPDHealthStatus.
constexpr uint8_t KEL_SMART_HEALTHY = 0;
constexpr uint8_t KEL_SMART_BELOW_THRESHOLD = 2;  // an attribute fell below its threshold
constexpr uint8_t KEL_SMART_DISK_FAILING = 3;     // the disk itself reports a failure

class KelSMART {
 public:
  explicit KelSMART(KelDeviceManage* dm) : m_pDM(dm) {}

  // ENABLE OPERATIONS on every disk; failures are ignored.
  void EnableSYSSMART();
  // Evaluates every disk; 803 when any disk's status is not healthy, else 0.
  int GetSYSReturnStatus();
  // 201 without output; 200 for a bad index or empty slot; 216 on a stale magic; else the
  // evaluation's result (0, or the SMART command's failure code).
  int GetPDHealthStatus(_Index_Plus_t ref, uint8_t* status);
  int GetPDSmartTH(_Index_Plus_t ref, uint8_t* page512);
  int GetPDSmartData(_Index_Plus_t ref, uint8_t* page512);
  int ExecPDSmartCmd(_Index_Plus_t ref, uint8_t* cmd, uint8_t* data);

  // Evaluates one disk: status 0, 2 or 3 as above; sets the disk's health-bad flag for 2
  // and 3. Returns 0 when the evaluation ran.
  static int EvaluateDisk(KelPhyDevice* pd, uint8_t* status);

 private:
  int Lookup(_Index_Plus_t ref, KelPhyDevice** pd) const;

  KelDeviceManage* m_pDM;
};

#endif
