// Size rules of array creation, over the plain disk descriptions of create_size.h.
#include "engine/create_size.h"

#include <algorithm>
#include <cstring>

#include "sharedlib/diag.h"

namespace {

uint64_t Largest(const KelCreateDiskView& d) { return d.areaNum > 0 ? d.areas[0].length : 0; }

// The level's capacity in sectors on the listed disks.
uint64_t LevelCapacity(uint8_t raidType, const KelCreateDiskView* disks, int n) {
  uint64_t smallest = UINT64_MAX;
  for (int i = 0; i < n; ++i) smallest = std::min(smallest, Largest(disks[i]));
  switch (raidType) {
    case KEL_RAID_0: return n * smallest;
    case KEL_RAID_5: return (n - 1) * smallest;
    case KEL_RAID_1: return smallest;
    case KEL_RAID_01: {
      if (n == 4) return 2 * smallest;
      // Two disks carry both halves: two VDs each.
      return 2 * std::min(KelTwoVDFit(disks[0]), KelTwoVDFit(disks[1]));
    }
    case KEL_RAID_SPAN: {
      uint64_t all[KEL_MAX_CREATE_DISKS * KEL_MAX_CREATE_AREAS] = {};
      int k = 0;
      for (int i = 0; i < n; ++i)
        for (int a = 0; a < disks[i].areaNum; ++a) all[k++] = disks[i].areas[a].length;
      std::sort(all, all + k, [](uint64_t x, uint64_t y) { return x > y; });
      uint64_t sum = 0;
      for (int i = 0; i < k && i < MAX_VD_PER_ARRAY; ++i) sum += all[i];
      return sum;
    }
    default: return 0;
  }
}

int Fail(_Array_Create_Info_t* out, int rc, const char* why) {
  if (out != nullptr) std::memset(out, 0, sizeof *out);
  KEL_PRINT(ZEP_DBG_ERROR, "array creation refused (%d): %s\n", rc, why);
  return rc;
}

}  // namespace

int KelCheckCreateDiskCount(uint8_t raidType, int n) {
  int lo = 0, hi = 0;
  switch (raidType) {
    case KEL_RAID_0: lo = 2; hi = KEL_MAX_CREATE_DISKS; break;
    case KEL_RAID_1: lo = 2; hi = 3; break;
    case KEL_RAID_5: lo = 3; hi = KEL_MAX_CREATE_DISKS; break;
    case KEL_RAID_SPAN: lo = 1; hi = 4; break;
    case KEL_RAID_01: lo = 2; hi = 4; break;
    default: return ZR_WRONG_TYPE;
  }
  if (n < lo) return ZR_TOO_FEW_DISKS;
  if (n > hi) return ZR_TOO_MANY_DISKS;
  if (raidType == KEL_RAID_01 && n % 2 != 0) return ZR_ODD_DISK_COUNT;
  return ZR_OK;
}

bool KelValidStripeKiB(unsigned kib) {
  return kib == 4 || kib == 8 || kib == 16 || kib == 32 || kib == 64 || kib == 128;
}

bool KelLevelHasStripe(uint8_t raidType) {
  return raidType == KEL_RAID_0 || raidType == KEL_RAID_5 || raidType == KEL_RAID_01;
}

uint64_t KelTwoVDFit(const KelCreateDiskView& d) {
  if (d.areaNum <= 0) return 0;
  uint64_t halved = d.areas[0].length / 2;
  uint64_t apart = d.areaNum > 1 ? std::min(d.areas[0].length, d.areas[1].length) : 0;
  return std::max(halved, apart);
}

int KelCalCreateSize(const _CREATE_ARRAY_PDS_INFO& req, const KelCreateDiskView* disks,
                     _Array_Create_Info_t* out) {
  const int n = req.nPDNum;
  if (n > KEL_MAX_CREATE_DISKS) return Fail(out, ZR_NO_OBJECT, "more than 8 disks");
  if (n < 1 || disks == nullptr) return Fail(out, ZR_TOO_FEW_DISKS, "no disk");
  for (int i = 0; i < n; ++i)
    for (int j = i + 1; j < n; ++j)
      if (req.pds[i].nIndex == req.pds[j].nIndex)
        return Fail(out, ZR_BAD_PARAM, "a disk named twice");

  const bool keep = req.paramB == KEL_CREATE_KEEP_DATA;
  for (int i = 0; i < n; ++i) {
    const KelCreateDiskView& d = disks[i];
    if (req.pds[i].nIndex < 0 || req.pds[i].nIndex >= ZR_MAX_DEVICES_INDEX || !d.present)
      return Fail(out, ZR_NO_REPAIR_DISK, "no such disk");
    if (d.unusable) return Fail(out, ZR_PD_UNREADABLE, "configuration unreadable or contradictory");
    if (d.busy) return Fail(out, ZR_PD_BUSY, "disk busy");
    if (!d.magicOk) return Fail(out, ZR_MAGIC_MISMATCH, "stale disk magic");
    // The first disk of a keep-data creation is the one whose data the array takes over.
    if (d.systemDisk && !(keep && i == 0)) return Fail(out, ZR_SYSTEM_DISK, "system disk");
  }
  if (int rc = KelCheckCreateDiskCount(req.raidType, n); rc != ZR_OK)
    return Fail(out, rc, "disk count does not suit the level");
  for (int i = 0; i < n; ++i) {
    if (disks[i].areaNum <= 0) return Fail(out, ZR_NO_FREE_SPACE, "a disk without usable space");
    if (req.raidType == KEL_RAID_01 && n == 2 && disks[i].vdNum != 0)
      return Fail(out, ZR_NO_FREE_SPACE, "RAID 0+1 on two disks needs two free slots per disk");
  }

  const uint64_t cap = LevelCapacity(req.raidType, disks, n);
  const uint64_t first = Largest(disks[0]);
  _Array_Create_Info_t r{};
  if (!keep) {
    r.nMaxArraySize = cap / KEL_SECTORS_PER_MIB;
    r.nMinArraySize = r.nMaxArraySize >= 1 ? 1 : 0;
  } else if (req.raidType == KEL_RAID_1) {
    // The first disk's area is copied whole to the others; it must be the smallest.
    if (first > cap) return Fail(out, ZR_TOO_SMALL, "the first disk's data does not fit");
    r.nMaxArraySize = r.nMinArraySize = first / KEL_SECTORS_PER_MIB;
  } else {
    if (cap < first) return Fail(out, ZR_TOO_SMALL, "the first disk's data does not fit");
    r.nMaxArraySize = cap / KEL_SECTORS_PER_MIB;
    r.nMinArraySize = first / KEL_SECTORS_PER_MIB + 1;
  }
  if (out != nullptr) *out = r;
  return ZR_OK;
}

int KelCreateParamCheck(const _CREATE_ARRAY_PDS_INFO& req, const KelCreateDiskView* disks,
                        _Array_Create_Info_t* range) {
  _Array_Create_Info_t r{};
  if (req.dw64Size == 0) return Fail(range, ZR_BAD_SIZE, "size 0");
  if (int rc = KelCalCreateSize(req, disks, &r); rc != ZR_OK) return rc;
  if (range != nullptr) *range = r;
  if (req.dw64Size < r.nMinArraySize || req.dw64Size > r.nMaxArraySize) {
    KEL_PRINT(ZEP_DBG_ERROR, "size %llu MiB outside %llu..%llu\n",
              static_cast<unsigned long long>(req.dw64Size),
              static_cast<unsigned long long>(r.nMinArraySize),
              static_cast<unsigned long long>(r.nMaxArraySize));
    return ZR_BAD_SIZE;
  }
  if (KelLevelHasStripe(req.raidType) && !KelValidStripeKiB(req.stripeKiB)) {
    KEL_PRINT(ZEP_DBG_ERROR, "stripe of %u KiB refused\n", static_cast<unsigned>(req.stripeKiB));
    return ZR_BAD_STRIPE;
  }
  return ZR_OK;
}
