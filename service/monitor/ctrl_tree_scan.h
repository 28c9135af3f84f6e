// Filling a controller tree from the engine's current view, and refreshing that view.
#ifndef KEL_SERVICE_MONITOR_CTRL_TREE_SCAN_H
#define KEL_SERVICE_MONITOR_CTRL_TREE_SCAN_H

#include "service/monitor/ctrl_tree.h"
#include "sharedlib/raid_records.h"

// Builds the tree of the first controller. False, with a diagnostic, when the engine
// cannot name a controller or one of its records.
bool CreateCtlerTree(KelCtlTree* tree);

// Asks the engine to rescan the hardware. A busy model lock is waited out briefly; the
// attempts are bounded so a driver that stopped answering cannot hold the hot-plug thread
// for ever. True when a rescan succeeded.
bool UpdateHardWareInfo();

// Number of disks in the map: its set bits, or 16 when the map could not be read.
int CalcDevNum(const _Kel_Index_Map* map);

#endif
