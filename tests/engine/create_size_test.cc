// Size rules and block preparation of array creation, on disk descriptions in memory.
#include <gtest/gtest.h>

#include <vector>

#include "engine/create_array.h"

namespace {

constexpr uint64_t kGiB = 2048 * 1024;  // sectors

// A blank disk whose one free area has `gib` GiB; 0: a disk with both slots taken.
KelCreateDiskView Disk(uint64_t gib, bool system = false) {
  KelCreateDiskView d;
  d.present = d.magicOk = true;
  d.systemDisk = system;
  d.vdNum = gib == 0 ? 2 : 0;
  d.areaNum = gib == 0 ? 0 : 1;
  d.areas[0] = {0, gib * kGiB};
  return d;
}

_CREATE_ARRAY_PDS_INFO Request(uint8_t type, int n, uint32_t mode, uint64_t mib, uint16_t stripe) {
  _CREATE_ARRAY_PDS_INFO r{n, {}, "", mib, 0, mode, 0, type, stripe};
  for (int i = 0; i < n; ++i) r.pds[i].nIndex = i;
  return r;
}

TEST(CreateSize, RangesAndRefusalsFollowTheLevelRules) {
  const uint64_t k = 1024;  // MiB in a GiB
  const struct {  // size in MiB, -1: the range only
    uint8_t type; uint32_t mode; std::vector<KelCreateDiskView> disks; int64_t size;
    uint16_t stripe; int rc; uint64_t min, max;
  } kCases[] = {
      {KEL_RAID_5, 0, {Disk(100), Disk(120), Disk(150)}, -1, 0, 0, 1, 200 * k},
      {KEL_RAID_1, 0, {Disk(100), Disk(120), Disk(90)}, -1, 0, 0, 1, 90 * k},  // spare counts
      {KEL_RAID_01, 0, {Disk(100), Disk(120)}, -1, 0, 0, 1, 100 * k},  // two VDs per disk
      {KEL_RAID_01, 0, {Disk(1), Disk(1), Disk(1)}, -1, 0, ZR_ODD_DISK_COUNT, 0, 0},
      {KEL_RAID_1, 0, {Disk(1), Disk(1), Disk(1), Disk(1)}, -1, 0, ZR_TOO_MANY_DISKS, 0, 0},
      {KEL_RAID_SPAN, 0, std::vector<KelCreateDiskView>(5, Disk(1)), -1, 0, ZR_TOO_MANY_DISKS, 0, 0},
      {KEL_RAID_0, 0, {Disk(1), Disk(0)}, -1, 0, ZR_NO_FREE_SPACE, 0, 0},
      {KEL_RAID_5, 1, {Disk(150), Disk(100), Disk(120)}, -1, 0, 0, 150 * k + 1, 200 * k},
      {KEL_RAID_5, 1, {Disk(250), Disk(100), Disk(120)}, -1, 0, ZR_TOO_SMALL, 0, 0},
      {KEL_RAID_1, 1, {Disk(100), Disk(90)}, -1, 0, ZR_TOO_SMALL, 0, 0},
      {KEL_RAID_1, 1, {Disk(90, true), Disk(100)}, -1, 0, 0, 90 * k, 90 * k},
      {KEL_RAID_1, 1, {Disk(90), Disk(100, true)}, -1, 0, ZR_SYSTEM_DISK, 0, 0},
      {KEL_RAID_0, 0, {Disk(1), Disk(1)}, 0, 64, ZR_BAD_SIZE, 0, 0},
      {KEL_RAID_0, 0, {Disk(1), Disk(1)}, 2 * k + 1, 64, ZR_BAD_SIZE, 1, 2 * k},
      {KEL_RAID_0, 0, {Disk(1), Disk(1)}, 2 * k, 256, ZR_BAD_STRIPE, 1, 2 * k},
      {KEL_RAID_1, 0, {Disk(1), Disk(1)}, k, 256, 0, 1, k},
      {KEL_RAID_SPAN, 0, {Disk(1)}, k, 256, 0, 1, k},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << int{c.type} << "/" << c.mode << "/" << c.disks.size());
    _CREATE_ARRAY_PDS_INFO req = Request(c.type, static_cast<int>(c.disks.size()), c.mode,
                                         c.size < 0 ? 0 : c.size, c.stripe);
    _Array_Create_Info_t r{};
    int rc = c.size < 0 ? KelCalCreateSize(req, c.disks.data(), &r)
                        : KelCreateParamCheck(req, c.disks.data(), &r);
    EXPECT_EQ(rc, c.rc);
    EXPECT_EQ(r.nMinArraySize, c.min);
    EXPECT_EQ(r.nMaxArraySize, c.max);
  }
}

TEST(CreateSize, ADiskNamedTwiceIsRefusedBeforeAnyDiskIsJudged) {
  std::vector<KelCreateDiskView> d(3, Disk(1));
  _CREATE_ARRAY_PDS_INFO req = Request(KEL_RAID_5, 3, 0, 0, 0);
  req.pds[2].nIndex = 0;
  d[2].present = false;
  EXPECT_EQ(KelCalCreateSize(req, d.data(), nullptr), ZR_BAD_PARAM);
}

TEST(CreateBlocks, KeepingDataOnRaid5MarksEveryMemberForMigration) {
  std::vector<KelCreateDiskView> d(3, Disk(1));
  KelCreatePlan plan;
  ASSERT_EQ(KelCreateCalVDs(Request(KEL_RAID_5, 3, 1, 1500, 64), d.data(), &plan), ZR_OK);
  _PD_Config_sector_ a[3];
  _PD_Config_sector_* p[3] = {&a[0], &a[1], &a[2]};
  int slots[MAX_VD_PER_ARRAY];
  for (_PD_Config_sector_* x : p) InitPDConfSect(x, 7);
  ASSERT_EQ(KelCreateWriteBlocks(plan, p, 5, slots), ZR_OK);
  for (const _PD_Config_sector_& x : a)
    EXPECT_TRUE((x.Vd(0)->Flags() & KEL_VD_FLAG_MIGRATE) &&
                (x.Vd(0)->Flags2() & KEL_VD_FLAG2_MIGRATE));
}

}  // namespace
