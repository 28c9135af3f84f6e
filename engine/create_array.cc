// Area choice and block preparation of array creation, in memory.
#include "engine/create_array.h"

#include <cstring>

#include "sharedlib/diag.h"

namespace {

uint64_t DataVDs(uint8_t raidType, int n) {
  switch (raidType) {
    case KEL_RAID_0: return static_cast<uint64_t>(n);
    case KEL_RAID_5: return static_cast<uint64_t>(n - 1);
    case KEL_RAID_01: return 2;
    default: return 1;  // RAID 1 copies, a span's size is spread below
  }
}

void Add(KelCreatePlan* plan, int disk, uint64_t start, uint64_t length, uint8_t pos) {
  KelPlannedVD& v = plan->vds[plan->num];
  v.disk = disk;
  v.start = start;
  v.length = length;
  v.tableSlot = plan->num;
  v.positionByte = pos;
  ++plan->num;
}

int NoRoom(int disk) {
  KEL_PRINT(ZEP_DBG_ERROR, "listed disk %d has no free area for its VD\n", disk);
  return ZR_BAD_SIZE;
}

// The size in order over the disks' areas, each disk's largest first.
int PlanSpan(const KelCreateDiskView* disks, int n, uint64_t size, KelCreatePlan* plan) {
  uint64_t left = size;
  for (int i = 0; i < n && left > 0; ++i)
    for (int a = 0; a < disks[i].areaNum && left > 0 && plan->num < MAX_VD_PER_ARRAY; ++a) {
      uint64_t len = disks[i].areas[a].length < left ? disks[i].areas[a].length : left;
      if (len == 0) continue;
      Add(plan, i, disks[i].areas[a].start, len, static_cast<uint8_t>(plan->num));
      left -= len;
    }
  return left == 0 ? ZR_OK : NoRoom(n - 1);
}

// Two disks carry both halves. A mirror pair must never sit on one disk, or losing that
// disk loses both copies: first-half VD i and second-half VD i go to different disks.
// Disk 0 holds first-half 0 and second-half 1, disk 1 first-half 1 and second-half 0.
int PlanRaid01OnTwo(const KelCreateDiskView* disks, uint64_t len, KelCreatePlan* plan) {
  uint64_t s0[2], s1[2];
  if (!KelPlace2VDs(disks[0], len, s0)) return NoRoom(0);
  if (!KelPlace2VDs(disks[1], len, s1)) return NoRoom(1);
  Add(plan, 0, s0[0], len, 0x00);  // slot 0: first half, index 0
  Add(plan, 1, s1[0], len, 0x01);  // slot 1: first half, index 1
  Add(plan, 1, s1[1], len, 0x80);  // slot 2: second half, index 0
  Add(plan, 0, s0[1], len, 0x81);  // slot 3: second half, index 1
  return ZR_OK;
}

uint8_t PositionByte(uint8_t raidType, int i, int n) {
  if (raidType == KEL_RAID_01 && i >= n / 2) return static_cast<uint8_t>((i - n / 2) | 0x80);
  return static_cast<uint8_t>(i);
}

}  // namespace

bool KelPlaceVD(const KelCreateDiskView& d, uint64_t size, uint64_t* start) {
  for (int a = 0; a < d.areaNum; ++a)
    if (d.areas[a].length >= size) {
      *start = d.areas[a].start;
      return true;
    }
  return false;
}

bool KelPlace2VDs(const KelCreateDiskView& d, uint64_t size, uint64_t starts[2]) {
  if (d.areaNum >= 1 && d.areas[0].length / 2 >= size) {
    starts[0] = d.areas[0].start;
    starts[1] = d.areas[0].start + size;
    return true;
  }
  if (d.areaNum >= 2 && d.areas[1].length >= size) {
    starts[0] = d.areas[0].start;
    starts[1] = d.areas[1].start;
    return true;
  }
  return false;
}

int KelCreateCalVDs(const _CREATE_ARRAY_PDS_INFO& req, const KelCreateDiskView* disks,
                    KelCreatePlan* plan) {
  *plan = KelCreatePlan{};
  const int n = req.nPDNum;
  plan->raidType = req.raidType;
  plan->mode = req.paramB;
  plan->stripeSectors =
      KelLevelHasStripe(req.raidType) ? static_cast<uint16_t>(req.stripeKiB * 2) : 0;
  plan->levelParam = req.raidType == KEL_RAID_5 ? static_cast<uint8_t>(req.paramA) : 0;
  std::memcpy(plan->name, req.arrayName, sizeof plan->name - 1);

  const uint64_t total = req.dw64Size * KEL_SECTORS_PER_MIB;
  // A striped member ends on a whole stripe: the controller lays data out in whole stripe
  // rows, so a tail shorter than a stripe would be counted in the capacity yet never used.
  auto memberLength = [&](uint64_t len) {
    return plan->stripeSectors != 0 ? len - len % plan->stripeSectors : len;
  };
  int rc = ZR_OK;
  if (req.raidType == KEL_RAID_SPAN) {
    rc = PlanSpan(disks, n, total, plan);
  } else if (req.raidType == KEL_RAID_01 && n == 2) {
    rc = PlanRaid01OnTwo(disks, memberLength(total / 2), plan);
  } else if (req.raidType == KEL_RAID_0 || req.raidType == KEL_RAID_1 ||
             req.raidType == KEL_RAID_5 || req.raidType == KEL_RAID_01) {
    const uint64_t len = memberLength(total / DataVDs(req.raidType, n));
    for (int i = 0; i < n && rc == ZR_OK; ++i) {
      uint64_t start = 0;
      if (!KelPlaceVD(disks[i], len, &start)) rc = NoRoom(i);
      else Add(plan, i, start, len, PositionByte(req.raidType, i, n));
    }
  } else {
    KEL_PRINT(ZEP_DBG_ERROR, "no array of RAID type %u can be made\n", req.raidType);
    return ZR_WRONG_TYPE;
  }
  if (rc != ZR_OK) return rc;
  plan->vdCount = static_cast<uint8_t>(plan->num);
  // The first disk's data stays where it is: its VD must begin where the data begins.
  if (req.paramB == KEL_CREATE_KEEP_DATA && plan->vds[0].start != 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "the first disk's VD would not start at sector 0\n");
    return ZR_BAD_PARAM;
  }
  return ZR_OK;
}

int KelCreateWriteBlocks(const KelCreatePlan& plan, _PD_Config_sector_* const* areas,
                         uint64_t arrayMark, int slotOut[MAX_VD_PER_ARRAY]) {
  const bool keep = plan.mode == KEL_CREATE_KEEP_DATA;
  uint32_t ids[MAX_VD_PER_ARRAY] = {};
  for (int k = 0; k < plan.num; ++k) {
    const KelPlannedVD& v = plan.vds[k];
    KelNewVDBlock spec;
    spec.startSector = v.start;
    spec.sectorLength = v.length;
    spec.raidType = plan.raidType;
    spec.arrayVDNum = plan.vdCount;
    spec.positionByte = v.positionByte;
    spec.stripeSectors = plan.stripeSectors;
    spec.levelParam = plan.levelParam;
    spec.arrayMark = arrayMark;
    spec.arrayName = plan.name;
    _PD_Config_sector_* area = areas[v.disk];
    const int slot = KelAddVDToArea(area, spec);
    if (slot < 0) return ZR_BAD_PARAM;
    slotOut[k] = slot;
    _VD_Config_sector_* b = area->Vd(slot);
    ids[v.tableSlot] = b->VDId();
    if (!keep) continue;
    if (plan.raidType == KEL_RAID_1) {
      // The first disk's copy is the source of the synchronisation that fills the mirror;
      // the spare takes no part in it.
      if (v.tableSlot == 0) {
        b->SetU64(vdoff::kSideValue, 1);
        b->SetU8(vdoff::kFlags, b->Flags() | KEL_VD_FLAG_SYNC);
      } else if (v.tableSlot == 1) {
        b->SetU16(vdoff::kState, b->State() | KEL_VD_STATE_SYNC_TARGET);
        b->SetU8(vdoff::kFlags, b->Flags() | KEL_VD_FLAG_SYNC);
      }
    } else {
      // The data lies on the first disk only; a migration spreads it from position 0.
      b->SetU8(vdoff::kFlags, b->Flags() | KEL_VD_FLAG_MIGRATE);
      b->SetU8(vdoff::kFlags2, b->Flags2() | KEL_VD_FLAG2_MIGRATE);
      b->SetU64(vdoff::kMigPos, 0);
    }
  }
  for (int k = 0; k < plan.num; ++k)
    SetPDConfigVDGUIDs(areas[plan.vds[k].disk], slotOut[k], ids);
  return ZR_OK;
}
