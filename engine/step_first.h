// Whether a background task can start on an array, and the state it starts from: the
// positions saved on the blocks, the VDs it writes and their driver addressing.
#ifndef KEL_ENGINE_STEP_FIRST_H
#define KEL_ENGINE_STEP_FIRST_H

#include <cstdint>

#include "engine/step_state.h"

class KelRaidArray;

// Synchronisation of a RAID 1, RAID 5 or RAID 0+1 (`mask`: bit i selects mirror pair i of a
// RAID 0+1). 0 with `st` filled; 203 a member missing, 205 a disk unreadable, 800 a disk set
// aside, 300 nothing to synchronise or no copy to trust, 202 another level.
int KelSyncFirstStep(const KelRaidArray& ra, uint16_t mask, KelStepState* st);
// Migration: 0 with `st` filled; 300 when none is needed, 203 a member missing, 800 invalid.
int KelMigFirstStep(const KelRaidArray& ra, KelStepState* st);

// Before each step: the VDs the task reads and writes are all still there and usable (0;
// else 203, 205 or 800), and their driver addressing is taken afresh from the model, since a
// disk moved to another port keeps its VDs but not its device number.
int KelStepRefresh(const KelRaidArray& ra, KelStepState* st);

#endif
