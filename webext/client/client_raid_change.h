// The RAID configuration changes (command codes 2-6 and 18) as seen from the client: one
// function per operation, each one exchange on a logged-in command connection. Every disk
// or array is named by a reference carrying the magic number the caller last read (disk
// and array queries, client_raid_query.h); the service refuses a reference that is no
// longer current with return code 2 and changes nothing.
//
// Results follow client_raid_query.h: 0 on success; 2000 for a null required pointer or a
// count the request cannot hold ("Invalid parameters"); the exchange's failure code (2001,
// 2002, 1002); 2003 when a reply with return code 0 is too short for what it must carry;
// or the service's return code (2 stale magic number, the engine's codes otherwise).
#ifndef KEL_WEBEXT_CLIENT_CLIENT_RAID_CHANGE_H
#define KEL_WEBEXT_CLIENT_CLIENT_RAID_CHANGE_H

#include <cstdint>

#include "sharedlib/raid_records.h"

// Creation rewrites the configuration area of every member and rescans the hardware;
// removal and clearing do the same for theirs.
inline constexpr unsigned int kRaidChangeReplyTimeoutSec = 120;

// What a creation request builds.
inline constexpr unsigned char KEL_CREATE_KIND_SPAN = 1;
inline constexpr unsigned char KEL_CREATE_KIND_RAID0 = 2;
inline constexpr unsigned char KEL_CREATE_KIND_RAID1 = 3;
inline constexpr unsigned char KEL_CREATE_KIND_RAID01 = 4;
inline constexpr unsigned char KEL_CREATE_KIND_RAID5 = 5;

// Creation modes: an empty array on free space, or one built around the data of the first
// listed disk.
inline constexpr unsigned char KEL_CREATE_MODE_EMPTY = 0;
inline constexpr unsigned char KEL_CREATE_MODE_KEEP_DATA = 1;

// Repairs.
inline constexpr unsigned char KEL_REPAIR_MIRROR_WITH_SPARE = 1;
inline constexpr unsigned char KEL_REPAIR_MIRROR_WITH_DISK = 2;
inline constexpr unsigned char KEL_REPAIR_RAID01 = 3;
inline constexpr unsigned char KEL_REPAIR_RAID5_WITH_DISK = 4;

// Limits of the requests.
inline constexpr unsigned int kRaidMaxCreateDisks = 8;
inline constexpr unsigned int kRaidArrayNameSize = 24;  // the terminating zero byte included
inline constexpr unsigned int kRaidMaxRemoveArrays = 32;
inline constexpr unsigned int kRaidMaxRepairDisks = 4;
inline constexpr unsigned int kRaidMaxClearDisks = 16;

struct KelCreateRequest {
  unsigned char kind = KEL_CREATE_KIND_SPAN;
  unsigned char mode = KEL_CREATE_MODE_EMPTY;
  unsigned int diskCount = 0;
  _Index_Plus_t disks[kRaidMaxCreateDisks] = {};
  uint64_t sizeMiB = 0;
  unsigned char stripeKiB = 0;    // RAID 0, 0+1 and 5; 0 lets the service choose
  uint32_t raid5Parameter = 0;    // RAID 5 only
  unsigned char secondOption = 0; // RAID 5 only
  const char* name = "";          // at most kRaidArrayNameSize - 1 bytes
};

// The size range (MiB) an array of RAID type `level` (KEL_RAID_*) can have on the `n`
// disks in creation mode `mode`.
int KelGetCreateSizeRange(int sock, unsigned char level, unsigned char mode,
                          const _Index_Plus_t* disks, unsigned int n, _Array_Create_Info_t* range);

// Creates an array; the result is the engine's code. A name too long gives 2015 before
// anything is sent, more than 8 disks 2000.
int KelCreateArray(int sock, const KelCreateRequest& request);

// Removes `n` arrays (1..32). `results` (n entries) receives each array's own code when
// the service ran the removal, whatever its overall result (217: some were not removed).
int KelRemoveArrays(int sock, const _Index_Plus_t* arrays, unsigned int n, int* results);

// Makes `disk` the spare of RAID 1 `array`, or takes the spare out again.
int KelAddSpare(int sock, const _Index_Plus_t* array, const _Index_Plus_t* disk);
int KelRemoveSpare(int sock, const _Index_Plus_t* array);

// Repairs `array` (KEL_REPAIR_*): with its spare (no disks), with one new disk, or for
// RAID 0+1 with up to four new disks.
int KelRepairArray(int sock, unsigned char kind, const _Index_Plus_t* array,
                   const _Index_Plus_t* disks, unsigned int n);

// Wipes the configuration area of `n` disks (1..16).
int KelClearDisks(int sock, const _Index_Plus_t* disks, unsigned int n);

#endif
