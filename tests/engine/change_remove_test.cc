// Removing arrays, and clearing a disk's configuration area, through the engine on the
// simulated controller.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine_fixture.h"

namespace {

constexpr uint64_t kL = 100000;
constexpr uint64_t kStart = 4096;
constexpr int kUnset = 0x7777;

_Index_Plus_t Ref(const KelRaidArray* ra) { return {ra->m_nIndex, ra->m_wdMagicNum, 0}; }

// How the removal request names the array built for the case.
enum class Req { kGood, kTwice, kStale, kPlainDisk, kSaveFails };

struct RemoveCase {
  const char* what;
  uint8_t raidType;
  int members;
  Req req;
  int wantRc;
  int wantResult;     // in every slot of the results
  int arraysLeft;     // RAID arrays after the call
};

class ChangeRemove : public EngineSimTest, public testing::WithParamInterface<RemoveCase> {
 protected:
  KelRaidArray* PlainEntryOf(const KelPhyDevice* pd) {
    for (int i = 0; i < MAX_ARRAY_SLOTS; ++i)
      if (KelRaidArray* ra = DM().RA(i); ra != nullptr && ra->IsPseudo() && ra->m_arPDs[0] == pd)
        return ra;
    return nullptr;
  }
};

TEST_P(ChangeRemove, ResultsAndWhatIsLeft) {
  const RemoveCase& c = GetParam();
  std::vector<std::string> disks;
  for (int i = 0; i < c.members; ++i) disks.push_back(AddDisk(i / 2, i % 2));
  std::string plain = AddDisk(1, 1);
  ImportArray(disks, {.raidType = c.raidType, .start = kStart, .length = kL, .stripeSectors = 128}, 0x10);
  Build();
  ASSERT_EQ(RaidArrays().size(), 1u);
  _Index_Plus_t ref = Ref(RaidArrays()[0]);
  std::vector<_Index_Plus_t> refs = {ref};
  if (c.req == Req::kTwice) refs.push_back(ref);
  if (c.req == Req::kStale) refs[0].wdMagicNum ^= 1;
  if (c.req == Req::kPlainDisk) refs[0] = Ref(PlainEntryOf(PDOf(plain)));
  std::string err;
  if (c.req == Req::kSaveFails) {
    ASSERT_TRUE(KelSimSetFault(Folder(), disks[0], 0x11, -1, &err)) << err;
  }

  std::vector<int> results(refs.size(), kUnset);
  EXPECT_EQ(DM().RemoveArraysL(static_cast<int>(refs.size()), refs.data(), results.data()), c.wantRc);
  EXPECT_EQ(results, std::vector<int>(refs.size(), c.wantResult));
  EXPECT_EQ(static_cast<int>(RaidArrays().size()), c.arraysLeft);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChangeRemove,
    testing::Values(RemoveCase{"raid5", KEL_RAID_5, 3, Req::kGood, ZR_OK, ZR_OK, 0},
                    RemoveCase{"twice", KEL_RAID_0, 2, Req::kTwice, ZR_NO_OBJECT, ZR_NO_OBJECT, 1},
                    RemoveCase{"stale", KEL_RAID_0, 2, Req::kStale, ZR_SOME_NOT_REMOVED,
                               ZR_MAGIC_MISMATCH, 1},
                    RemoveCase{"plain", KEL_RAID_0, 2, Req::kPlainDisk, ZR_SOME_NOT_REMOVED,
                               ZR_NO_OBJECT, 1},
                    RemoveCase{"savefails", KEL_RAID_0, 2, Req::kSaveFails, ZR_DRIVER_FAILED,
                               ZR_DRIVER_FAILED, 1}),
    [](const testing::TestParamInfo<RemoveCase>& i) { return std::string(i.param.what); });

using ChangeRemoveArray = EngineSimTest;

// The mirror's data stays where it was, as a single-disk span on the first member; the
// second member's disk is a plain disk.
TEST_F(ChangeRemoveArray, AHealthyMirrorLeavesASpanOverTheSameArea) {
  std::string a = AddDisk(0, 0), b = AddDisk(0, 1);
  ImportArray({a, b}, {.raidType = KEL_RAID_1, .start = kStart, .length = kL}, 0x10);
  Build();
  int result = kUnset;
  _Index_Plus_t ref = Ref(RaidArrays()[0]);
  ASSERT_EQ(DM().RemoveArraysL(1, &ref, &result), ZR_OK);

  ASSERT_EQ(RaidArrays().size(), 1u);
  const KelRaidArray* span = RaidArrays()[0];
  EXPECT_TRUE(span->m_byRaidType == KEL_RAID_SPAN && span->m_arPDs[0] == PDOf(a));
  const _VD_Config_sector_* blk = span->m_arVDs[0]->Block();
  EXPECT_TRUE(blk->StartSector() == kStart && blk->SectorLength() == kL && blk->ArrayMark() == 1);
  EXPECT_TRUE(blk->MemberId(0) == 0x10u && blk->MemberId(1) == 0u);
  EXPECT_EQ(PDOf(b)->m_nVDNum, 0);
}

// Neither mirror is known to hold the whole data: nothing is kept.
TEST_F(ChangeRemoveArray, AMirrorWhoseMembersBothNeedSynchronisationLeavesNoSpan) {
  std::string a = AddDisk(0, 0), b = AddDisk(0, 1);
  ImportArray({a, b}, {.raidType = KEL_RAID_1, .length = kL, .sideValue = 1}, 0x10);
  Build();
  int result = kUnset;
  _Index_Plus_t ref = Ref(RaidArrays()[0]);
  ASSERT_EQ(DM().RemoveArraysL(1, &ref, &result), ZR_OK);
  EXPECT_TRUE(RaidArrays().empty());
}

// The older layout keeps one VD per disk in the marker sector: the whole area goes.
TEST_F(ChangeRemoveArray, AnArrayInTheOlderLayoutLeavesItsDisksWithoutArea) {
  std::string disks[2] = {AddDisk(0, 0), AddDisk(0, 1)};
  for (uint8_t i = 0; i < 2; ++i) {
    kel_test::ConfAreaBuilder area;
    area.OldLayout({.positionField = i, .vdCount = 2, .stripeExponent = 4, .length = kL,
                    .serialChecksum = 0x10u + i, .memberIds = {0x10, 0x11}});
    Import(disks[i], area.Bytes());
  }
  Build();
  ASSERT_EQ(RaidArrays().size(), 1u);
  ASSERT_EQ(RaidArrays()[0]->m_byVersion, KEL_FORMAT_ZRAID);
  int result = kUnset;
  _Index_Plus_t ref = Ref(RaidArrays()[0]);
  ASSERT_EQ(DM().RemoveArraysL(1, &ref, &result), ZR_OK);
  for (const std::string& d : disks) EXPECT_EQ(Export(d), std::vector<uint8_t>(3072, 0)) << d;
}

using ChangeClear = EngineSimTest;

// A disk whose area contradicts itself takes no part in arrays; clearing is the way back.
TEST_F(ChangeClear, AConflictingAreaIsWipedAndTheDiskBecomesPlain) {
  std::string a = AddDisk(0, 0), b = AddDisk(0, 1);
  ImportArray({a, b}, {.raidType = KEL_RAID_0, .length = kL, .stripeSectors = 128}, 0x10);
  Build();
  KelPhyDevice* pd = PDOf(a);
  pd->m_wdFlag |= KEL_PD_FLAG_CONF_CONFLICT;  // as the scan marks such a disk
  _Index_Plus_t ref{pd->m_nIndex, pd->m_wdMagicNum, 0};
  ASSERT_EQ(DM().ClearPDConfSect(1, &ref), ZR_OK);

  std::vector<uint8_t> area = Export(a);
  EXPECT_TRUE(std::all_of(area.begin(), area.end(), [](uint8_t v) { return v == 0; }));
  EXPECT_FALSE(PDOf(a)->m_bHasConfig);
  EXPECT_TRUE(PDOf(b)->m_bHasConfig);
}

TEST_F(ChangeClear, ADiskNamedTwiceIsRefusedAndNothingIsWritten) {
  std::string a = AddDisk(0, 0);
  ImportArray({a}, {.raidType = KEL_RAID_SPAN, .length = kL}, 0x10);
  Build();
  const std::vector<uint8_t> before = Export(a);
  _Index_Plus_t ref{PDOf(a)->m_nIndex, PDOf(a)->m_wdMagicNum, 0};
  _Index_Plus_t refs[2] = {ref, ref};
  EXPECT_EQ(DM().ClearPDConfSect(2, refs), ZR_BAD_PARAM);
  EXPECT_EQ(Export(a), before);
}

}  // namespace
