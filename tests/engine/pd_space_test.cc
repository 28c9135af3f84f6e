// A disk's space: VD areas, free areas (largest first) and the areas kept for a migration.
#include <gtest/gtest.h>

#include <string>

#include "engine_fixture.h"

namespace {

constexpr uint64_t kCap = 1 << 20;  // the fixture's disks
constexpr uint64_t kUsable = kCap - 32;

using Extents = std::vector<std::pair<uint64_t, uint64_t>>;  // (first sector, length)

class PDSpace : public EngineSimTest {
 protected:
  Extents Free(KelPhyDevice* pd) {
    _FRAGMENT_INFO f[MAX_FREE_SPACE_PER_PD] = {};
    _FRAGMENT_INFO* out[MAX_FREE_SPACE_PER_PD];
    for (int i = 0; i < MAX_FREE_SPACE_PER_PD; ++i) out[i] = &f[i];
    Extents e;
    for (int i = 0, n = pd->GetFreeInfo(out); i < n; ++i) {
      EXPECT_EQ(f[i].fragType, FRAG_TYPE_FREE);
      e.push_back({f[i].dw64StartSector, f[i].dw64SectorLength});
    }
    return e;
  }
};

TEST_F(PDSpace, FreeAreasAreTheGapsBetweenVDsLargestFirst) {
  const struct {
    Extents vds;
    Extents free;
  } kCases[] = {
      {{}, {{0, kUsable}}},  // a disk without VDs: all of it
      {{{0, 5000}}, {{5000, kUsable - 5000}}},
      {{{1000, 2000}}, {{3000, kUsable - 3000}, {0, 1000}}},
      {{{0, 1000}, {4000, 1000}}, {{5000, kUsable - 5000}, {1000, 3000}}},
  };
  std::vector<std::string> disks;
  for (size_t i = 0; i < std::size(kCases); ++i) {
    disks.push_back(AddDisk(static_cast<int>(i / 2), static_cast<int>(i % 2)));
    std::vector<ConfVd> vds;
    for (size_t s = 0; s < kCases[i].vds.size(); ++s) {
      const uint32_t id = static_cast<uint32_t>(0x10 * (i + 1) + s);
      vds.push_back({.raidType = KEL_RAID_SPAN, .start = kCases[i].vds[s].first,
                     .length = kCases[i].vds[s].second, .memberIds = {id}, .vdId = id});
    }
    Import(disks[i], MakeArea(vds));
  }
  Build();
  for (size_t i = 0; i < std::size(kCases); ++i) {
    SCOPED_TRACE(i);
    KelPhyDevice* pd = PDOf(disks[i]);
    EXPECT_EQ(Free(pd), kCases[i].free);
    // The fragments cover the usable space in order, VDs included.
    uint64_t at = 0;
    for (const _FRAGMENT_INFO& f : pd->m_frags) {
      EXPECT_EQ(f.dw64StartSector, at);
      at += f.dw64SectorLength;
    }
    EXPECT_EQ(at, kUsable);
  }

  // A new VD goes to the largest area that holds it, and only beside a single VD.
  KelPhyDevice* pd = PDOf(disks[2]);
  _PD_Area_Addr_t addr{};
  EXPECT_EQ(pd->GetVDAreaBySize(&addr, 500), 1);
  EXPECT_EQ(addr.dw64StartSector, 3000u);
  EXPECT_EQ(addr.SectorLengh, 500u);
  EXPECT_EQ(addr.nPDIndex, static_cast<uint32_t>(pd->m_nIndex));
  EXPECT_EQ(addr.wdMagicNum, pd->m_wdMagicNum);
  EXPECT_EQ(pd->GetVDAreaBySize(&addr, kUsable - 3000), 1);
  EXPECT_EQ(pd->GetVDAreaBySize(&addr, kUsable - 3000 + 1), 0);  // enough in total only
  EXPECT_EQ(PDOf(disks[3])->GetVDAreaBySize(&addr, 10), 0);
}

TEST_F(PDSpace, AVDBlockPastTheDiskEndMakesNoFreeAreaBeyondIt) {
  std::string a = AddDisk(0, 0);
  Import(a, MakeArea({{.raidType = KEL_RAID_SPAN, .length = 5000, .memberIds = {1}, .vdId = 1},
                      {.raidType = KEL_RAID_SPAN, .start = 4 * kCap, .length = 7000,
                       .memberIds = {2}, .vdId = 2}}));
  Build();
  // Its area cannot be trusted, so nothing of the disk is offered.
  EXPECT_TRUE(Free(PDOf(a)).empty());
}

TEST_F(PDSpace, SpaceBesideTheFirstMemberOfAMigratingArrayIsProtected) {
  std::string a = AddDisk(0, 0), b = AddDisk(0, 1), c = AddDisk(1, 0);
  const ConfVd migrating = {.raidType = KEL_RAID_0, .start = 100, .length = 5000,
                            .stripeSectors = 128, .flags105 = 2};
  ImportArray({a, b}, migrating, 0x10);
  // The same mark on a disk with two VDs protects nothing.
  std::vector<ConfVd> other = ArrayMembers(migrating, 2, 0x30);
  Import(c, MakeArea({other[0], {.raidType = KEL_RAID_SPAN, .start = 6000, .length = 100,
                                 .memberIds = {0x41}, .vdId = 0x41}}));
  Build();

  KelPhyDevice* pa = PDOf(a);
  EXPECT_EQ(pa->m_nFreeNum, 0);
  EXPECT_EQ(pa->m_nProtectFreeNum, 2);
  _zr_protect_free_info_t p[2] = {};
  _zr_protect_free_info_t* table[2] = {&p[0], &p[1]};
  ASSERT_EQ(DM().GetPDProtectFreeInfoL(pa->m_nIndex, table), ZR_OK);
  EXPECT_EQ(p[0].startSector, 0u);
  EXPECT_EQ(p[0].length, 100u);
  EXPECT_EQ(p[1].startSector, 5100u);
  EXPECT_EQ(p[1].length, kUsable - 5100);
  // Position 1 of the same array: free as usual.
  EXPECT_EQ(PDOf(b)->m_nProtectFreeNum, 0);
  EXPECT_EQ(PDOf(b)->m_nFreeNum, 2);
  EXPECT_EQ(PDOf(c)->m_nProtectFreeNum, 0);
  EXPECT_EQ(PDOf(c)->m_nFreeNum, 3);
}

}  // namespace
