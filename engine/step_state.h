// Where a background synchronisation or migration stands between two of its steps.
//
// A step that records progress saves the configuration, and every save rebuilds the model:
// the array, VD and disk objects the step started from are destroyed by the merge. The state
// therefore lives in a table the device manager owns, keyed by the array's identity on the
// disks (type, mark and member ids), and a step reads nothing from the model once it has
// saved - what it still needs (the driver addressing of the VDs it writes) is in the state.
//
// The arithmetic of a step is kept here, apart from any I/O, so that it can be checked on
// its own.
#ifndef KEL_ENGINE_STEP_STATE_H
#define KEL_ENGINE_STEP_STATE_H

#include <cstdint>
#include <vector>

#include "engine/engine_defs.h"

class KelRaidArray;

// Identity of an array as its blocks state it. For a mirror only the two mirrors count, in
// either order, so that adding or dropping a spare does not lose a running task.
struct KelArrayKey {
  uint8_t raidType = 0;
  uint64_t mark = 0;
  uint32_t ids[MAX_VD_PER_ARRAY] = {};

  static KelArrayKey Of(const KelRaidArray& ra);
  bool operator==(const KelArrayKey& o) const;
};

// Driver addressing of one VD.
struct KelVDAddr {
  uint8_t ctrlInternal = 0;
  uint16_t device = 0;
  uint8_t vdId = 0;  // the VD's slot on its disk
};

struct KelStepState {
  KelArrayKey key;
  int task = KEL_TASK_NONE;  // KEL_TASK_SYNC or KEL_TASK_MIGRATE
  uint8_t ctrl = 0;          // the controller's number in the driver's list
  int ctrlIndex = 0;         // the controller's slot in the model
  // Synchronisation: the VDs written (one per mirror pair, or the rebuilt RAID 5 member).
  // Migration: entry 0 is the first VD, which addresses the whole array.
  int pairNum = 0;
  KelVDAddr pairs[MAX_VD_PER_ARRAY / 2];
  // Table slots of the VDs the task reads and writes, for the marks on their blocks.
  uint8_t sourceSlots = 0;  // bit per table slot
  uint8_t targetSlots = 0;
  uint32_t unit = 1;          // sectors per unit of position (a RAID 5 stripe, else 1)
  uint32_t unitsPerChunk = 128;
  uint64_t cur = 0;           // units done
  uint64_t total = 0;         // units to do
};

// The next chunk of a step: `count` units from `cur`, never past `total`.
uint64_t KelStepChunk(uint64_t cur, uint64_t total, uint32_t unitsPerChunk);
// Integer percentage done.
uint16_t KelStepPercent(uint64_t cur, uint64_t total);
// Whether the integer percentage grows when `count` units after `cur` are done: progress is
// recorded on the disks at most once per percent.
bool KelStepPercentGrows(uint64_t cur, uint64_t count, uint64_t total);

// The running tasks' states. At most a handful: tasks run one at a time, but a stopped one
// keeps nothing here, and an array that went away loses its entry at the next rebuild.
class KelStepTable {
 public:
  KelStepState* Find(const KelArrayKey& key);
  KelStepState* Put(const KelStepState& st);  // replaces an entry of the same key
  void Erase(const KelArrayKey& key);
  // Drops the entries whose array is not in `live`.
  void KeepOnly(const std::vector<KelArrayKey>& live);
  const std::vector<KelStepState>& Entries() const { return m_entries; }

 private:
  std::vector<KelStepState> m_entries;
};

#endif
