// Which host block devices show a disk or an array, and their partitions. The host lists
// whole-disk nodes ("sdb") and partition nodes ("sdb1") in its device folder; each whole
// disk node is asked (sub-command 0x13) which RAID target stands behind it, and the
// partitions of the matching node are listed.
#ifndef KEL_ENGINE_PARTITIONS_H
#define KEL_ENGINE_PARTITIONS_H

#include <string>
#include <vector>

#include "sharedlib/raid_records.h"

class KelPhyDevice;
class KelRaidArray;

// The folder that holds the host's device nodes: the driver's own ("/dev", or the
// simulator's dev/ folder when it stands in for the driver).
std::string KelHostDevDir();

// Whole-disk node names of `devDir` ("sd…" not ending in a digit), sorted.
std::vector<std::string> KelListDiskNodes(const std::string& devDir);
// The node showing a disk without RAID configuration, or "" when none does.
std::string KelFindDiskNode(const KelPhyDevice* pd);
// The node showing an array (a plain-disk entry: its disk's node), or "".
std::string KelFindArrayNode(const KelRaidArray* ra);
// Fills `info` with the partition nodes of `node` in `devDir` ("sdb1", "sdb2", … in number
// order; names longer than 5 characters are skipped; at most ZR_MAX_PARTITIONS). An empty
// node gives 0.
void KelListPartitions(const std::string& devDir, const std::string& node,
                       _zr_partition_info* info);

#endif
