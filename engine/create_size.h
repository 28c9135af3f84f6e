// The rules that decide whether an array of a level can be made on some disks and how large
// it may be. They work on a plain description of each listed disk (what the model says
// about it and the free areas it offers a new VD), so that they are checked in memory and
// the device manager only has to fill the description.
#ifndef KEL_ENGINE_CREATE_SIZE_H
#define KEL_ENGINE_CREATE_SIZE_H

#include <cstdint>

#include "engine/engine_defs.h"

// One area where a new VD may start.
struct KelFreeArea {
  uint64_t start = 0;
  uint64_t length = 0;
};

// A new VD needs a free slot on its disk, so a disk offers at most as many areas as it has
// free slots.
constexpr int KEL_MAX_CREATE_AREAS = MAX_VD_PER_PD;

// What creation needs to know of one listed disk.
struct KelCreateDiskView {
  bool present = false;     // the slot holds a disk
  bool unusable = false;    // its configuration is unreadable or contradicts itself
  bool busy = false;        // set aside for other work
  bool magicOk = false;     // the caller saw the current magic number
  bool systemDisk = false;  // holds the root file system
  int vdNum = 0;            // VDs it carries already
  int areaNum = 0;          // usable areas, largest first
  KelFreeArea areas[KEL_MAX_CREATE_AREAS];
};

// Sectors in one MiB, the unit of requested and offered sizes.
constexpr uint64_t KEL_SECTORS_PER_MIB = 2048;

// Disk-count rule of a level: 202 for an unknown level, 214 too few, 213 too many, 212 for
// an odd RAID 0+1 count; 0 when acceptable.
int KelCheckCreateDiskCount(uint8_t raidType, int n);

// Whether a stripe size in KiB is one the levels with a stripe accept (4..128, powers of 2).
bool KelValidStripeKiB(unsigned kib);
// Whether the level stripes its data (RAID 0, RAID 5, RAID 0+1).
bool KelLevelHasStripe(uint8_t raidType);

// The largest VD that fits twice on one disk: in one area halved or in its two areas.
uint64_t KelTwoVDFit(const KelCreateDiskView& d);

// Validation and size range of a request whose disk i is described by disks[i]:
// 200 more than 8 disks, 201 a disk named twice, then per disk in order 204 absent,
// 205 unusable, 215 busy, 216 stale magic, 218 system disk (but the first disk when
// keeping its data), then the disk count (KelCheckCreateDiskCount), 207 a disk without a
// usable area (RAID 0+1 on two disks: a disk that carries a VD), and in keep-data mode
// 208 when the array could not hold the first disk's data. `out` is zeroed on failure.
int KelCalCreateSize(const _CREATE_ARRAY_PDS_INFO& req, const KelCreateDiskView* disks,
                     _Array_Create_Info_t* out);

// The checks that precede the creation itself: 211 for a size of 0, the errors of
// KelCalCreateSize, 211 when the size lies outside its range, 209 for a stripe the level
// refuses. `range` receives the range when not null.
int KelCreateParamCheck(const _CREATE_ARRAY_PDS_INFO& req, const KelCreateDiskView* disks,
                        _Array_Create_Info_t* range);

#endif
