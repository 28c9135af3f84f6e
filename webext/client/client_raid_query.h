// The RAID queries (command codes 7-17) as seen from the client: one function per query,
// each one exchange on a logged-in command connection. A request is the command's
// fixed-length record with the sub-code in data[0]; the reply carries the same sub-code, the
// return code (data[1..4], signed, big-endian) and, for queries with a payload, the request
// record moved five bytes up, as the service filled it. Records are the ones of
// sharedlib/raid_records.h, copied byte for byte.
//
// Every function returns 0 on success; 2000 for a null required pointer ("Invalid
// parameters"); the exchange's failure code (2001, 2002, 1002); 2003 when a reply with
// return code 0 is too short for what it must carry, or carries a count out of range; or
// the service's return code: 2 when a reference carries a stale magic number, 200 when the
// addressed device or array does not exist, the engine's other codes otherwise. Outputs
// are written only on success.
#ifndef KEL_WEBEXT_CLIENT_CLIENT_RAID_QUERY_H
#define KEL_WEBEXT_CLIENT_CLIENT_RAID_QUERY_H

#include "sharedlib/raid_records.h"

// The time the service gets for a reply to a query that reads the model.
inline constexpr unsigned int kRaidReplyTimeoutSec = 15;
// Queries that may rescan the hardware first, run SMART on every disk or reload the driver.
inline constexpr unsigned int kRaidLongReplyTimeoutSec = 60;

inline constexpr unsigned int kRaidMaxSortedArrays = 32;
inline constexpr unsigned int kRaidSmartPageSize = 512;
// Each of the two texts of a driver reload, its terminating zero byte included.
inline constexpr unsigned int kRaidReloadTextSize = 20;
// Protected areas one reply can carry at most.
inline constexpr unsigned int kRaidMaxProtectedAreas = 127;

// Owner kinds of the partition query.
inline constexpr unsigned char KEL_PART_OWNER_DISK = 0;
inline constexpr unsigned char KEL_PART_OWNER_ARRAY = 1;
// The array position that addresses the disk of a plain-disk entry.
inline constexpr unsigned char KEL_PLAIN_DISK_POSITION = 255;

// Values of the SMART status byte of one disk.
inline constexpr unsigned char KEL_SMART_HEALTHY = 0;
inline constexpr unsigned char KEL_SMART_BELOW_THRESHOLD = 2;  // an attribute below its threshold
inline constexpr unsigned char KEL_SMART_FAILING = 3;          // the disk itself reports failure
// Return code of the all-disks SMART check when at least one disk is not healthy.
inline constexpr int KEL_SMART_SOME_UNHEALTHY = 803;

// Controllers (code 7): their number, and one controller's record.
int KelGetControllerCount(int sock, unsigned char* count);
int KelGetControllerInfo(int sock, unsigned char ctrl, _zr_controller_info* info);

// One channel of a controller (code 8).
int KelGetChannelInfo(int sock, unsigned char ctrl, unsigned char chan, _zr_channel_info* info);

// The device hub at position `hub` (0 master, 1 slave) of a channel (code 9).
int KelGetHubInfo(int sock, unsigned char ctrl, unsigned char chan, unsigned char hub,
                  _zr_device_hub_info_t* info);

// Disks (code 10): the map of present disk indexes; one disk by index, by physical address
// (controller, channel, position on the channel), or by its position in an array
// (KEL_PLAIN_DISK_POSITION for the disk of a plain-disk entry).
int KelGetDiskMap(int sock, _Kel_Index_Map* map);
int KelGetDiskInfo(int sock, unsigned char disk, _zr_device_info* info);
int KelGetDiskInfoByPhyAddress(int sock, unsigned char ctrl, unsigned char chan,
                               unsigned char pos, _zr_device_info* info);
int KelGetDiskInfoByArrayPos(int sock, unsigned char array, unsigned char pos,
                             _zr_device_info* info);

// Arrays (code 11): the map of present array indexes; the indexes in listing order (RAID
// arrays by name, then plain disks), *count of them written to `indexes`, which must hold
// kRaidMaxSortedArrays bytes; one array's record.
int KelGetArrayMap(int sock, _Kel_Index_Map* map);
int KelGetSortedArrayIndexes(int sock, unsigned int* count, unsigned char* indexes);
int KelGetArrayInfo(int sock, unsigned char array, _zr_array_info* info);

// Virtual devices (code 12): by disk and VD slot on it, or by array and position.
int KelGetVdInfoByDiskSlot(int sock, unsigned char disk, unsigned char slot, KelVDInfo* info);
int KelGetVdInfoByArrayPos(int sock, unsigned char array, unsigned char pos, KelVDInfo* info);

// The host's partitions on a disk or array (code 13); `owner` must carry the current magic.
int KelGetPartitionInfo(int sock, unsigned char ownerKind, const _Index_Plus_t* owner,
                        _zr_partition_info* info);

// Rebuilds the service's model from a fresh hardware scan (code 14).
int KelRescanHardware(int sock);

// Reloads the RAID driver (code 15), or with `reboot` asks the service to restart its host,
// which needs the host account `user` and its `password`. The texts travel in the clear;
// each must be shorter than kRaidReloadTextSize bytes, else 2015 before anything is sent.
int KelReloadDriver(int sock, bool reboot, const char* user, const char* password);

// SMART of one disk (code 16; `disk` must carry the current magic): the 512-byte attribute
// values or thresholds page, and the status byte (KEL_SMART_*).
int KelSmartReadValues(int sock, const _Index_Plus_t* disk, unsigned char* page);
int KelSmartReadThresholds(int sock, const _Index_Plus_t* disk, unsigned char* page);
int KelSmartStatus(int sock, const _Index_Plus_t* disk, unsigned char* status);
// Evaluates every disk's health: 0 all healthy, KEL_SMART_SOME_UNHEALTHY otherwise.
int KelSmartCheckAll(int sock);

// The protected free areas of a disk (code 17): *count records copied to `areas`, which
// holds `maxAreas`; 2015 when they do not fit. A disk with more areas than one reply can
// carry is answered with none.
int KelGetProtectedAreas(int sock, unsigned char disk, _zr_protect_free_info_t* areas,
                         unsigned int maxAreas, unsigned int* count);

// Whether `index` (0..127) is present in a disk or array map.
bool KelIndexMapHas(const _Kel_Index_Map& map, unsigned int index);

// A reference to disk or array `index` as last seen with magic number `magic`.
_Index_Plus_t KelMakeRef(unsigned int index, uint16_t magic);

#endif
