// One vendor command being answered by the simulated controller, and the checks every
// sub-command handler shares: parameter length, the disk a record addresses, and the
// faults the operator set on a disk. Used inside a folder transaction only.
#ifndef KEL_SIM_SIM_CALL_H
#define KEL_SIM_SIM_CALL_H

#include <cstddef>
#include <cstdint>

#include "sim/sim_folder.h"
#include "sim/sim_state.h"

struct SimCall {
  const KelSimFolder& folder;
  KelSimState& s;
  bool* dirty;                 // set when the state changed
  KelSimDisk* nodeDisk;        // the disk behind the node used (a volume's first member present)
  const KelSimVolume* volume;  // the logical volume behind the node, nullptr for a disk
  uint8_t code;
  unsigned char* p;            // parameter area
  size_t plen;
};

// Consumes one failure of a fault set on `d` for the call's sub-command; true when the
// command must fail. Prints the failure.
bool SimFaulted(SimCall& c, KelSimDisk* d);

// Whether the parameter area holds `need` bytes; prints when not.
bool SimNeedLen(const SimCall& c, size_t need);

// The attached disk addressed by the controller-internal index at +ctrlOff and the u16
// device number at +devOff; nullptr (printed) when there is none.
KelSimDisk* SimAddressed(SimCall& c, size_t ctrlOff, size_t devOff);

#endif
