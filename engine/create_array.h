// Where the VDs of a new array go and what their configuration blocks say. Both are decided
// from the request and the plain disk descriptions of create_size.h, and the blocks are
// written into configuration areas in memory; the device manager supplies the disks' working
// areas and does the writing to the disks.
#ifndef KEL_ENGINE_CREATE_ARRAY_H
#define KEL_ENGINE_CREATE_ARRAY_H

#include <cstdint>

#include "engine/conf_area.h"
#include "engine/create_size.h"

// One VD of a new array.
struct KelPlannedVD {
  int disk = 0;              // index into the request's disk list
  uint64_t start = 0;
  uint64_t length = 0;
  int tableSlot = 0;         // entry in the member-id list
  uint8_t positionByte = 0;  // as stored at byte 112
};

// The chosen areas and what every block of the array shares.
struct KelCreatePlan {
  uint8_t raidType = 0;
  uint32_t mode = KEL_CREATE_EMPTY;
  uint16_t stripeSectors = 0;  // 0 for levels without a stripe
  uint8_t levelParam = 0;
  uint8_t vdCount = 0;         // VDs of the array, spare included
  char name[24] = {};          // terminated within the 24 bytes
  int num = 0;                 // entries of vds, in table-slot order
  KelPlannedVD vds[MAX_VD_PER_ARRAY];
};

// Place for a VD of `size` sectors on a disk: the start of its largest area that holds it.
bool KelPlaceVD(const KelCreateDiskView& d, uint64_t size, uint64_t* start);
// Places for two VDs of `size` sectors on one disk: back to back in its largest area when
// that holds both, else one at the start of each of its two areas.
bool KelPlace2VDs(const KelCreateDiskView& d, uint64_t size, uint64_t starts[2]);

// Chooses the areas of a request that passed KelCreateParamCheck. The VD length is the
// requested size divided by the level's data VDs (RAID 0: n, RAID 5: n - 1, RAID 0+1: 2,
// RAID 1 and span: 1). 211 when a disk has no area for its VD, 201 when the first disk of a
// keep-data creation would not start its VD at sector 0, 202 for an unknown level.
int KelCreateCalVDs(const _CREATE_ARRAY_PDS_INFO& req, const KelCreateDiskView* disks,
                    KelCreatePlan* plan);

// Adds the planned VD blocks to the areas (areas[i]: the working area of the request's disk
// i, carrying a PD sector already), all with the same array mark, then writes the member
// ids, in table-slot order, into every one of them. In keep-data mode the blocks carry the
// synchronisation state (RAID 1: the first disk's VD is the source) or the migration state
// (every other level). slotOut[k] receives the slot of plan.vds[k] on its disk. 0, or 201
// when a disk has no free slot.
int KelCreateWriteBlocks(const KelCreatePlan& plan, _PD_Config_sector_* const* areas,
                         uint64_t arrayMark, int slotOut[MAX_VD_PER_ARRAY]);

#endif
