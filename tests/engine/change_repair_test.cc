// Spares and repairs of the configuration through the engine on the simulated controller.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_fixture.h"

namespace {

constexpr uint64_t kL = 100000;

_Index_Plus_t Ref(const KelRaidArray* ra) { return {ra->m_nIndex, ra->m_wdMagicNum, 0}; }
_Index_Plus_t Ref(const KelPhyDevice* pd) { return {pd->m_nIndex, pd->m_wdMagicNum, 0}; }

class ChangeRepair : public EngineSimTest {
 protected:
  // Disks holding the members of a `count`-member array but `missing` (-1: none), in
  // array order, then one blank disk.
  std::vector<std::string> BuildWithout(uint8_t raidType, int count, int missing) {
    std::vector<ConfVd> members =
        ArrayMembers({.raidType = raidType, .length = kL, .stripeSectors = 128}, count, 0x10);
    std::vector<std::string> disks;
    for (int i = 0; i < count; ++i) {
      if (i == missing) continue;
      disks.push_back(AddDisk(static_cast<int>(disks.size()) / 2, static_cast<int>(disks.size()) % 2));
      Import(disks.back(), MakeArea({members[i]}));
    }
    disks.push_back(AddDisk(static_cast<int>(disks.size()) / 2, static_cast<int>(disks.size()) % 2));
    Build();
    return disks;
  }
};

TEST_F(ChangeRepair, AddingASpareKeepsTheArrayAndMakesItThreeMembers) {
  std::vector<std::string> d = BuildWithout(KEL_RAID_1, 2, -1);
  const int index = RaidArrays()[0]->m_nIndex;
  ASSERT_EQ(DM().AddMirrorSpareL(Ref(RaidArrays()[0]), Ref(PDOf(d[2]))), ZR_OK);

  ASSERT_EQ(RaidArrays().size(), 1u);
  const KelRaidArray* ra = RaidArrays()[0];
  EXPECT_EQ(ra->m_nIndex, index);
  EXPECT_EQ(ArrayInfo(ra).diskNum, 3);
  EXPECT_EQ(ArrayInfo(ra).status, 0);
  ASSERT_NE(ra->m_arVDs[2], nullptr);
  EXPECT_EQ(ra->m_arVDs[2]->m_pPD, PDOf(d[2]));
  for (int slot = 0; slot < 3; ++slot)
    EXPECT_EQ(ra->m_arVDs[slot]->Block()->MemberId(2), ra->m_arVDs[2]->m_dwVDId);
}

// A disk that already holds a member would carry two copies of the same data.
TEST_F(ChangeRepair, ADiskHoldingAMemberIsRefusedAsSpareAndAsNewMember) {
  std::vector<std::string> d = BuildWithout(KEL_RAID_1, 2, -1);
  EXPECT_EQ(DM().AddMirrorSpareL(Ref(RaidArrays()[0]), Ref(PDOf(d[0]))), ZR_BAD_PARAM);
  // Nor does the disk holding the root file system take a spare: all of it looks free.
  std::string err;
  ASSERT_TRUE(WriteMbr(DevNo(d[2])));
  ASSERT_TRUE(KelSimSetRoot(Folder(), d[2], &err)) << err;
  Rescan();
  EXPECT_EQ(DM().AddMirrorSpareL(Ref(RaidArrays()[0]), Ref(PDOf(d[2]))), ZR_SYSTEM_DISK);
  EXPECT_EQ(PDOf(d[2])->m_nVDNum, 0);
  const std::string small = AddDisk(1, 1, -1, kL / 2);  // no room for a member
  Rescan();
  EXPECT_EQ(DM().AddMirrorSpareL(Ref(RaidArrays()[0]), Ref(PDOf(small))), ZR_TOO_SMALL);

  Unplug(d[1]);
  Rescan();
  EXPECT_EQ(DM().RepairMirrorWithNewPDL(Ref(RaidArrays()[0]), Ref(PDOf(d[0]))), ZR_BAD_PARAM);
  EXPECT_EQ(PDOf(d[0])->m_nVDNum, 1);
}

struct RepairCase {
  const char* what;
  uint8_t raidType;
  int count;
  int missing;
};

class ChangeRepairNewDisk : public ChangeRepair, public testing::WithParamInterface<RepairCase> {};

// The new member takes the missing one's place as the target of a synchronisation that has
// not run yet: the array needs synchronisation and is otherwise whole.
TEST_P(ChangeRepairNewDisk, TheNewMemberTakesTheMissingPlaceAndAwaitsSynchronisation) {
  const RepairCase& c = GetParam();
  std::vector<std::string> d = BuildWithout(c.raidType, c.count, c.missing);
  ASSERT_EQ(ArrayInfo(RaidArrays()[0]).status & KEL_RA_STATUS_MISSING, KEL_RA_STATUS_MISSING);
  _Index_Plus_t ra = Ref(RaidArrays()[0]), pd = Ref(PDOf(d.back()));
  int rc = c.raidType == KEL_RAID_1   ? DM().RepairMirrorWithNewPDL(ra, pd)
           : c.raidType == KEL_RAID_5 ? DM().RepairRaid5WithNewPDL(ra, pd)
                                      : DM().RepairRaid01WithNewPDL(ra, 1, &pd);
  ASSERT_EQ(rc, ZR_OK);

  ASSERT_EQ(RaidArrays().size(), 1u);
  KelRaidArray* arr = RaidArrays()[0];
  EXPECT_EQ(ArrayInfo(arr).status, KEL_RA_STATUS_NEED_SYNC);
  const KelVirDevice* fresh = arr->m_arVDs[c.missing];
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(fresh->m_pPD, PDOf(d.back()));
  EXPECT_EQ(fresh->m_dw64SectorLength, kL);
  EXPECT_EQ(fresh->Block()->State() & KEL_VD_STATE_SYNC_TARGET, KEL_VD_STATE_SYNC_TARGET);
  for (int slot = 0; slot < c.count; ++slot)
    EXPECT_EQ(arr->m_arVDs[slot]->Block()->MemberId(c.missing), fresh->m_dwVDId) << slot;
  unsigned short sync = 0;
  EXPECT_EQ(arr->GetRASyncStatus(&sync), ZR_OK);
  EXPECT_EQ(sync, KEL_SYNC_POSSIBLE);
}

INSTANTIATE_TEST_SUITE_P(Levels, ChangeRepairNewDisk,
                         testing::Values(RepairCase{"raid1", KEL_RAID_1, 2, 0},
                                         RepairCase{"raid5", KEL_RAID_5, 3, 1},
                                         RepairCase{"raid01", KEL_RAID_01, 4, 2}),
                         [](const testing::TestParamInfo<RepairCase>& i) { return std::string(i.param.what); });

TEST_F(ChangeRepair, TheSpareReplacesALostMirrorAsTarget) {
  std::vector<ConfVd> m = ArrayMembers({.raidType = KEL_RAID_1, .length = kL}, 3, 0x10);
  std::string a = AddDisk(0, 0), s = AddDisk(1, 0);
  Import(a, MakeArea({m[0]}));
  Import(s, MakeArea({m[2]}));
  Build();
  ASSERT_EQ(DM().RepairMirrorWithSpareL(Ref(RaidArrays()[0])), ZR_OK);

  ASSERT_EQ(RaidArrays().size(), 1u);
  KelRaidArray* arr = RaidArrays()[0];
  EXPECT_EQ(ArrayInfo(arr).diskNum, 2);
  EXPECT_EQ(ArrayInfo(arr).status, KEL_RA_STATUS_NEED_SYNC);
  EXPECT_EQ(arr->m_arVDs[0]->m_pPD, PDOf(a));
  EXPECT_EQ(arr->m_arVDs[0]->Block()->SideValue(), 1u);
  EXPECT_EQ(arr->m_arVDs[1]->m_pPD, PDOf(s));
  EXPECT_EQ(arr->m_arVDs[1]->Block()->MemberId(1), 0x12u);
}

}  // namespace
