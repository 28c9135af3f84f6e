// The simulated controller's answers to the host's background-work sub-commands: it moves
// the data itself, as a real controller does, and keeps what the host asks it to remember
// in its own per-VD records (KelSimVdRecord, kept in the folder's state and listed by
// `kelsim list --json`).
//
//   0x09 synchronise a chunk: each pair names a VD to bring up to date; its member sectors
//        [start, start + count) are rebuilt from the array's redundancy (sim_rebuild.h).
//        Count 0 ends the synchronisation: start all ones finishes it, anything else
//        cancels it. A chunk marks the target dirty; 0x0E clears that.
//   0x28 / 0x16 record a synchronisation / migration position for the addressed VD.
//   0x15 migrate member sectors [start, start + count) of the array whose first VD it
//        addresses: every stripe row touched and not yet moved goes into the level's
//        layout, in order. The record keeps how far rows really moved, so a range sent
//        again after a restart is not moved twice; a journal written before each batch
//        covers a process killed before its state save (sim_migration.h). A row of new space only that holds
//        parked sectors waits for 0x52. Count 0: start all ones finishes (the record is
//        forgotten), anything else cancels.
//   0x17 copy raw sectors [start, start + count) from a VD's disk to the same place on
//        the target disk; count 0 with start all ones records how far the copy came.
//   0x52 write parked sectors (the position record names where they lie) back into the
//        array at a logical position, and release the park; refused while the array is
//        flagged as migrating and the rows there are not moved yet.
// Faults set for the code apply to every disk the command writes (for the recording
// calls, the disk addressed); an unplugged member the command needs fails it. Each handler
// prints one line when it fails.
#ifndef KEL_SIM_SIM_BACKGROUND_H
#define KEL_SIM_SIM_BACKGROUND_H

#include "sim/sim_call.h"

bool KelSimAnswerSync(SimCall& c);            // 0x09
bool KelSimAnswerSavePosition(SimCall& c);    // 0x28 and 0x16
bool KelSimAnswerClearDirty(SimCall& c);      // 0x0E
bool KelSimAnswerMigrate(SimCall& c);         // 0x15
bool KelSimAnswerReplace(SimCall& c);         // 0x17
bool KelSimAnswerRecoverParked(SimCall& c);   // 0x52

// Remembers that 0x51 parked `p` (replacing an older park of the same sectors).
void KelSimNotePark(KelSimState& s, const KelSimPark& p);

#endif
