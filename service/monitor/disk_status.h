// The decisions of the disk-health round, kept apart from the engine queries: which disk
// indexes a presence map names, and the notice that reports the abnormal ones.
#ifndef KEL_SERVICE_MONITOR_DISK_STATUS_H
#define KEL_SERVICE_MONITOR_DISK_STATUS_H

#include <cstdint>
#include <vector>

#include "sharedlib/raid_records.h"

// One unhealthy disk: its index and the SMART status byte (non-zero).
struct KelAbnormalDisk {
  uint8_t index;
  uint8_t status;
};

// Bytes of the disk-status signal's payload: u32 length, count byte, 255 index/status pairs.
inline constexpr int kKelDsPayloadSize = 516;

// The disk indexes present in `map`, ascending. map_Low64 holds disks 0-63 (bit n is disk
// n), map_High64 disks 64-127 (bit n is disk n + 64), the way the engine fills it.
std::vector<int> DiskIndexesFromMap(const _Kel_Index_Map& map);

// The signal payload for `disks` (at most 255 are reported): the u32 data length
// 2·count + 1 in host order, then the count and the index/status pairs.
std::vector<uint8_t> BuildDiskStatusPayload(const std::vector<KelAbnormalDisk>& disks);

#endif
