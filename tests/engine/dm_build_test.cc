// The first build of the model: every RAID level assembled from the areas on the disks
// (whole and degraded), damaged and older areas, and the system disk. Plain disks: see
// pd_space_test and the process tests.
#include <gtest/gtest.h>

#include <string>

#include "engine_fixture.h"

namespace {

constexpr uint64_t kL = 100000;

class DMBuild : public EngineSimTest {};

// One RAID level as the build must assemble it, whole or with member 1 missing.
struct Level {
  const char* name;
  uint8_t type;
  int members;
  uint8_t stripe;
  uint64_t capacity;  // whole array
  uint32_t stripeKiB;
  uint32_t blockSize;
};
constexpr Level kLevels[] = {
    {"Raid0", KEL_RAID_0, 2, 128, 2 * kL, 64, 0},  {"Raid1", KEL_RAID_1, 2, 0, kL, 0, 0},
    {"Raid5", KEL_RAID_5, 3, 64, 2 * kL, 32, 256}, {"Raid01", KEL_RAID_01, 4, 16, 2 * kL, 8, 0},
    {"Span", KEL_RAID_SPAN, 2, 0, kL + kL / 2, 0, 0}};  // members of kL and kL / 2

class DMBuildLevel : public EngineSimTest,
                     public testing::WithParamInterface<std::tuple<Level, bool>> {};

TEST_P(DMBuildLevel, MembersTakeTheirPositionsAndTheStatusTellsAMissingOne) {
  const auto [level, degraded] = GetParam();
  std::vector<std::string> disks;
  for (int i = 0; i < level.members; ++i) disks.push_back(AddDisk(i / 2, i % 2));
  std::vector<ConfVd> members = ArrayMembers(
      {.raidType = level.type, .length = kL, .stripeSectors = level.stripe, .arrayName = "lvl"},
      level.members, 0x100);
  if (level.type == KEL_RAID_SPAN) members[1].length = kL / 2;
  // Written last member first: the array order follows the positions, not the scan order.
  for (int i = level.members - 1; i >= 0; --i)
    if (!(degraded && i == 1)) Import(disks[i], MakeArea({members[i]}));
  Build();
  auto arrays = RaidArrays();
  ASSERT_EQ(arrays.size(), 1u);
  KelRaidArray* ra = arrays[0];
  EXPECT_EQ(DM().RaidArrayNum(), degraded ? 2 : 1);  // the bare disk is a plain disk
  _zr_array_info info = ArrayInfo(ra);
  EXPECT_EQ(info.raidType, level.type);
  EXPECT_EQ(info.diskNum, level.members);
  EXPECT_EQ(info.status, degraded ? KEL_RA_STATUS_MISSING : 0);
  // A span stops counting at its first missing member; the other levels keep their size.
  EXPECT_EQ(info.Capacity(), degraded && level.type == KEL_RAID_SPAN ? kL : level.capacity);
  EXPECT_EQ(info.stripeSize, level.stripeKiB);
  EXPECT_EQ(info.blockSize, level.blockSize);
  EXPECT_EQ(info.version, KEL_FORMAT_CURRENT);
  EXPECT_STREQ(std::string(info.arrayName, 24).c_str(), "lvl");
  for (int i = 0; i < level.members; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(info.GUID[i], 0x100u + i);
    // Queries name a RAID 0+1 second-half member by position 8 + its place in the half.
    const int half = level.members / 2;
    const int pos = level.type == KEL_RAID_01 && i >= half ? 8 + i - half : i;
    _zr_device_info pd{};
    _zr_vd_info vd{}, byDisk{};  // byDisk: the same VD seen from its disk
    if (degraded && i == 1) {
      EXPECT_EQ(ra->m_arVDs[i], nullptr);
      EXPECT_EQ(DM().GetVDInfoByArrayPosL(ra->m_nIndex, pos, &vd), ZR_NO_OBJECT);
      continue;
    }
    ASSERT_EQ(DM().GetPDInfoByArrayPosL(ra->m_nIndex, pos, &pd), ZR_OK);
    EXPECT_EQ(pd.index, static_cast<uint32_t>(PDOf(disks[i])->m_nIndex));
    ASSERT_EQ(DM().GetVDInfoByArrayPosL(ra->m_nIndex, pos, &vd), ZR_OK);
    EXPECT_EQ(vd.pd_index, pd.index);
    ASSERT_EQ(DM().GetVDInfoByPDLogicIndexL(pd.index, 0, &byDisk), ZR_OK);
    EXPECT_EQ(byDisk.index, vd.index);
  }
}

INSTANTIATE_TEST_SUITE_P(EveryLevel, DMBuildLevel,
                         testing::Combine(testing::ValuesIn(kLevels), testing::Bool()),
                         [](const auto& p) {
                           return std::string(std::get<0>(p.param).name) +
                                  (std::get<1>(p.param) ? "Degraded" : "Whole");
                         });

TEST_F(DMBuild, ASpareOnAMirrorsDiskJoinsTheMirror) {
  std::string c = AddDisk(1, 0), d = AddDisk(1, 1);
  std::vector<ConfVd> m = ArrayMembers({.raidType = KEL_RAID_1, .length = kL}, 3, 0xC0);
  m[2].start = kL;  // in slot 1 of d
  Import(c, MakeArea({m[0]}));
  Import(d, MakeArea({m[1], m[2]}));
  Build();
  auto arrays = RaidArrays();
  ASSERT_EQ(arrays.size(), 1u);
  EXPECT_TRUE(static_cast<KelRaid1*>(arrays[0])->HasSpare());
  EXPECT_EQ(arrays[0]->m_byVDNum, 3);
  EXPECT_EQ(arrays[0]->m_nPDNum, 2);  // the spare's disk is listed once
  EXPECT_EQ(arrays[0]->m_arVDs[2]->m_pPD, PDOf(d));
  EXPECT_EQ(ArrayInfo(arrays[0]).status, 0);
  EXPECT_EQ(PDOf(d)->m_nVDNum, 2);
}

TEST_F(DMBuild, OlderLayoutIsConvertedAndListedAsSuch) {
  std::string a = AddDisk(0, 0);
  Import(a, kel_test::ConfAreaBuilder()
                .OldLayout({.raidType = KEL_RAID_SPAN, .length = 40000, .serialChecksum = 0xCAFE,
                            .memberIds = {0xCAFE}})
                .Bytes());
  Build();
  auto arrays = RaidArrays();
  ASSERT_EQ(arrays.size(), 1u);
  _zr_array_info info = ArrayInfo(arrays[0]);
  EXPECT_EQ(info.raidType, KEL_RAID_SPAN);
  EXPECT_EQ(info.version, KEL_FORMAT_ZRAID);
  EXPECT_EQ(info.Capacity(), 40000u);
  _zr_device_info pd{};
  ASSERT_EQ(DM().GetPDInfoL(PDOf(a)->m_nIndex, &pd), ZR_OK);
  EXPECT_EQ(pd.bConfigTarvo, 0u);
  EXPECT_EQ(pd.bDevInRaid, 1u);
  // A converted disk's space is left as it is: nothing is offered for new arrays.
  EXPECT_EQ(PDOf(a)->m_nFreeNum, 0);
  EXPECT_EQ(PDOf(a)->m_PDConfigSector.CountOfVDs(), 1);
}

TEST_F(DMBuild, AnUnreadableAreaLeavesAFlaggedPlainDisk) {
  std::string a = AddDisk(0, 0), err;
  ASSERT_TRUE(KelSimSetFault(Folder(), a, 0x0C, -1, &err)) << err;
  Build();
  KelPhyDevice* pd = PDOf(a);
  ASSERT_NE(pd, nullptr);
  EXPECT_FALSE(pd->IsReadable());
  _zr_device_info info{};
  ASSERT_EQ(DM().GetPDInfoL(pd->m_nIndex, &info), ZR_OK);
  EXPECT_NE(info.status & KEL_PD_FLAG_UNREADABLE, 0);
}

TEST_F(DMBuild, AContradictoryAreaListsItsDiskAndKeepsItsBlocksSpace) {
  // One span VD at [1000, 1000 + kL) per disk, each area contradicting itself another way.
  ConfVd vd{.raidType = KEL_RAID_SPAN, .start = 1000, .length = kL, .memberIds = {0x1234}};
  const std::string disks[] = {AddDisk(0, 0), AddDisk(0, 1), AddDisk(1, 0)};
  Import(disks[0], kel_test::ConfAreaBuilder().Pd(0x1234).Vd(0, vd).Poke(2051, 2).Bytes());
  Import(disks[1], kel_test::ConfAreaBuilder().Pd(0x1234, 1).Vd(0, vd).Bytes());  // status bit 0
  vd.extraState = 2 << 7;  // a replacement target on a disk that is not one
  Import(disks[2], MakeArea({vd}));
  Build();
  Rescan();
  EXPECT_TRUE(RaidArrays().empty());
  EXPECT_EQ(DM().RaidArrayNum(), 3);  // each disk listed as a plain entry
  for (const std::string& d : disks) {
    const KelPhyDevice* pd = PDOf(d);
    EXPECT_NE(pd->m_wdFlag & KEL_PD_FLAG_CONF_CONFLICT, 0) << d;
    EXPECT_EQ(pd->m_nFreeNum, 0) << d;
    EXPECT_TRUE(pd->m_frags.size() == 3 && pd->m_frags[1].fragType == FRAG_TYPE_VD &&
                pd->m_frags[1].dw64StartSector == 1000) << d;
  }
}

TEST_F(DMBuild, TheDiskHoldingTheRootFileSystemIsASystemDisk) {
  std::string a = AddDisk(0, 0), b = AddDisk(0, 1), err;
  ASSERT_TRUE(WriteMbr(DevNo(b)));
  ASSERT_TRUE(KelSimSetRoot(Folder(), b, &err)) << err;
  Build();
  _zr_device_info info{};
  ASSERT_EQ(DM().GetPDInfoL(PDOf(b)->m_nIndex, &info), ZR_OK);
  EXPECT_EQ(info.systemDisk, 2);
  ASSERT_EQ(DM().GetPDInfoL(PDOf(a)->m_nIndex, &info), ZR_OK);
  EXPECT_EQ(info.systemDisk, 0);
}

}  // namespace
