// A disk's space: VD areas, free areas (largest first) and the areas kept for a migration.
#include <gtest/gtest.h>

#include <string>

#include "engine_fixture.h"

namespace {

constexpr uint64_t kCap = 1 << 20;
constexpr uint64_t kUsable = kCap - 32;

class PDSpace : public EngineSimTest {
 protected:
  VDSpec SpanAt(int slot, uint32_t id, uint64_t start, uint64_t length) {
    VDSpec v;
    v.slot = slot;
    v.raidType = KEL_RAID_SPAN;
    v.id = id;
    v.start = start;
    v.length = length;
    v.members = {id};
    return v;
  }

  std::vector<_FRAGMENT_INFO> Free(KelPhyDevice* pd) {
    _FRAGMENT_INFO f[MAX_FREE_SPACE_PER_PD] = {};
    _FRAGMENT_INFO* out[MAX_FREE_SPACE_PER_PD];
    for (int i = 0; i < MAX_FREE_SPACE_PER_PD; ++i) out[i] = &f[i];
    int n = pd->GetFreeInfo(out);
    return std::vector<_FRAGMENT_INFO>(f, f + n);
  }
};

TEST_F(PDSpace, AVDAtTheStartLeavesOneFreeAreaBehindIt) {
  std::string a = AddDisk(0, 0, -1, kCap);
  Import(a, MakeArea({SpanAt(0, 1, 0, 5000)}));
  Build();
  auto f = Free(PDOf(a));
  ASSERT_EQ(f.size(), 1u);
  EXPECT_EQ(f[0].dw64StartSector, 5000u);
  EXPECT_EQ(f[0].dw64SectorLength, kUsable - 5000);
  EXPECT_EQ(f[0].fragType, FRAG_TYPE_FREE);
}

TEST_F(PDSpace, AVDInsideTheDiskLeavesTwoFreeAreasLargestFirst) {
  std::string a = AddDisk(0, 0, -1, kCap);
  Import(a, MakeArea({SpanAt(0, 1, 1000, 2000)}));
  Build();
  KelPhyDevice* pd = PDOf(a);
  auto f = Free(pd);
  ASSERT_EQ(f.size(), 2u);
  EXPECT_EQ(f[0].dw64StartSector, 3000u);
  EXPECT_EQ(f[0].dw64SectorLength, kUsable - 3000);
  EXPECT_EQ(f[1].dw64StartSector, 0u);
  EXPECT_EQ(f[1].dw64SectorLength, 1000u);
  // Fragments cover the usable space in order.
  ASSERT_EQ(pd->m_frags.size(), 3u);
  EXPECT_EQ(pd->m_frags[1].fragType, FRAG_TYPE_VD);

  _PD_Area_Addr_t addr{};
  EXPECT_EQ(pd->GetVDAreaBySize(&addr, 500), 1);
  EXPECT_EQ(addr.dw64StartSector, 3000u);  // the largest area is tried first
  EXPECT_EQ(addr.SectorLengh, 500u);
  EXPECT_EQ(addr.nPDIndex, static_cast<uint32_t>(pd->m_nIndex));
  EXPECT_EQ(addr.wdMagicNum, pd->m_wdMagicNum);
  // Enough space in total, but no single area holds it.
  EXPECT_EQ(pd->GetVDAreaBySize(&addr, kUsable - 2000 + 1), 0);
}

TEST_F(PDSpace, ADiskWithTwoVDsOffersNoPlaceForAThird) {
  std::string a = AddDisk(0, 0, -1, kCap);
  Import(a, MakeArea({SpanAt(0, 1, 0, 1000), SpanAt(1, 2, 4000, 1000)}));
  Build();
  KelPhyDevice* pd = PDOf(a);
  auto f = Free(pd);
  ASSERT_EQ(f.size(), 2u);
  EXPECT_EQ(f[0].dw64StartSector, 5000u);
  EXPECT_EQ(f[1].dw64StartSector, 1000u);
  EXPECT_EQ(f[1].dw64SectorLength, 3000u);
  _PD_Area_Addr_t addr{};
  EXPECT_EQ(pd->GetVDAreaBySize(&addr, 10), 0);
}

TEST_F(PDSpace, SpaceBesideTheFirstMemberOfAMigratingArrayIsProtected) {
  std::string a = AddDisk(0, 0, -1, kCap), b = AddDisk(0, 1, -1, kCap);
  std::string c = AddDisk(1, 0, -1, kCap);
  VDSpec first;
  first.raidType = KEL_RAID_0;
  first.vdNum = 2;
  first.stripe = 128;
  first.id = 0x10;
  first.start = 100;
  first.length = 5000;
  first.members = {0x10, 0x20};
  first.flags2 = 2;  // migration in progress
  VDSpec second = first;
  second.id = 0x20;
  second.position = 1;
  Import(a, MakeArea({first}));
  Import(b, MakeArea({second}));
  // The same mark on a disk with two VDs protects nothing.
  VDSpec other = SpanAt(1, 0x31, 6000, 100);
  first.members = {0x30, 0x40};
  first.id = 0x30;
  first.vdNum = 2;
  Import(c, MakeArea({first, other}));
  Build();

  KelPhyDevice* pa = PDOf(a);
  EXPECT_EQ(pa->m_nFreeNum, 0);
  EXPECT_EQ(pa->m_nProtectFreeNum, 2);
  _zr_device_info info{};
  ASSERT_EQ(DM().GetPDInfoL(pa->m_nIndex, &info), ZR_OK);
  EXPECT_EQ(info.freeProtectNum, 2);
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
