// The first build of the model: plain disks, every RAID level assembled from the areas on
// the disks, damaged and older areas, and the disk info record.
#include <gtest/gtest.h>

#include <string>

#include "engine_fixture.h"

namespace {

constexpr uint64_t kCap = 1 << 20;
constexpr uint64_t kL = 100000;

class DMBuild : public EngineSimTest {};

// One VD of an array on `disk` in slot `slot`.
VDSpec Member(uint8_t type, uint32_t id, uint8_t vdNum, uint8_t pos, std::vector<uint32_t> ids,
              const std::string& name = "", uint64_t start = 0, uint64_t length = kL,
              int slot = 0, uint8_t stripe = 0) {
  VDSpec v;
  v.slot = slot;
  v.id = id;
  v.start = start;
  v.length = length;
  v.raidType = type;
  v.vdNum = vdNum;
  v.position = pos;
  v.members = std::move(ids);
  v.arrayName = name;
  v.stripe = stripe;
  return v;
}

TEST_F(DMBuild, BlankDisksAreListedAsPlainDisksWithTheirWholeSpaceFree) {
  AddDisk(0, 0, -1, kCap, "SER-A");
  AddDisk(0, 1, -1, kCap, "SER-B");
  AddDisk(1, 0, -1, kCap, "SER-C");
  Build();
  EXPECT_EQ(DM().PDNum(), 3);
  EXPECT_EQ(DM().RaidArrayNum(), 3);
  for (int i = 0; i < 3; ++i) {
    KelRaidArray* ra = DM().RA(i);
    ASSERT_NE(ra, nullptr);
    EXPECT_TRUE(ra->IsPseudo());
    ASSERT_EQ(ra->m_nPDNum, 1);
    KelPhyDevice* pd = ra->m_arPDs[0];
    EXPECT_EQ(pd->m_nVDNum, 0);
    _FRAGMENT_INFO f{};
    _FRAGMENT_INFO* out[MAX_FREE_SPACE_PER_PD] = {&f};
    ASSERT_EQ(pd->GetFreeInfo(out), 1);
    EXPECT_EQ(f.dw64StartSector, 0u);
    EXPECT_EQ(f.dw64SectorLength, kCap - 32);
  }
  // Each disk has exactly one entry.
  EXPECT_NE(DM().RA(0)->m_arPDs[0], DM().RA(1)->m_arPDs[0]);
  EXPECT_NE(DM().RA(1)->m_arPDs[0], DM().RA(2)->m_arPDs[0]);

  _zr_device_info info{};
  ASSERT_EQ(DM().GetPDInfoL(0, &info), ZR_OK);
  // Texts read as the disk's label shows them, not in the identity block's byte order.
  EXPECT_STREQ(info.serialNumber, "SER-A");
  EXPECT_STREQ(info.modelName, "ZEP SimDisk");
  EXPECT_STREQ(info.firmwareRevison, "1.00");
  EXPECT_EQ(info.Capacity(), kCap);
  EXPECT_EQ(info.index, 0u);
  EXPECT_EQ(info.magicNum, DM().PD(0)->m_wdMagicNum);
  EXPECT_EQ(info.bDevInRaid, 0u);
  EXPECT_EQ(info.master, 1u);
  EXPECT_EQ(info.PortNum, 255);
  EXPECT_EQ(info.deviceRoot, 0);
  EXPECT_EQ(info.array_index, 255);
}

TEST_F(DMBuild, Raid0AssemblesInPositionOrderWithStripeAndCapacity) {
  std::string a = AddDisk(0, 0), b = AddDisk(0, 1);
  // Written in reverse: the array order follows the positions, not the scan order.
  Import(a, MakeArea({Member(KEL_RAID_0, 0x200, 2, 1, {0x100, 0x200}, "fast", 0, kL, 0, 128)}));
  Import(b, MakeArea({Member(KEL_RAID_0, 0x100, 2, 0, {0x100, 0x200}, "fast", 0, kL, 0, 128)}));
  Build();
  auto arrays = RaidArrays();
  ASSERT_EQ(arrays.size(), 1u);
  EXPECT_EQ(DM().RaidArrayNum(), 1);  // no plain-disk entries for member disks
  KelRaidArray* ra = arrays[0];
  EXPECT_EQ(ra->m_arVDs[0]->m_pPD, PDOf(b));
  EXPECT_EQ(ra->m_arVDs[1]->m_pPD, PDOf(a));
  _zr_array_info info = ArrayInfo(ra);
  EXPECT_EQ(info.raidType, KEL_RAID_0);
  EXPECT_EQ(info.diskNum, 2);
  EXPECT_EQ(info.status, 0);
  EXPECT_EQ(info.Capacity(), 2 * kL);
  EXPECT_EQ(info.stripeSize, 64u);
  EXPECT_EQ(info.version, KEL_FORMAT_CURRENT);
  EXPECT_STREQ(std::string(info.arrayName, 24).c_str(), "fast");
  EXPECT_EQ(info.GUID[0], 0x100u);
  EXPECT_EQ(info.GUID[1], 0x200u);

  // The VD seen from its disk and from its array position is the same VD.
  _zr_vd_info byPD{}, byPos{};
  ASSERT_EQ(DM().GetVDInfoByPDLogicIndexL(PDOf(a)->m_nIndex, 0, &byPD), ZR_OK);
  ASSERT_EQ(DM().GetVDInfoByArrayPosL(ra->m_nIndex, 1, &byPos), ZR_OK);
  EXPECT_EQ(byPD.index, byPos.index);
  EXPECT_EQ(byPD.Capacity, kL);
  _zr_device_info pdInfo{};
  ASSERT_EQ(DM().GetPDInfoByArrayPosL(ra->m_nIndex, 0, &pdInfo), ZR_OK);
  EXPECT_EQ(pdInfo.index, static_cast<uint32_t>(PDOf(b)->m_nIndex));
  EXPECT_EQ(pdInfo.array_position, 0);
  EXPECT_EQ(pdInfo.bDevInRaid, 1u);
  EXPECT_EQ(pdInfo.vdNum, 1);
}

TEST_F(DMBuild, Raid1WithAndWithoutSpare) {
  std::string a = AddDisk(0, 0), b = AddDisk(0, 1), c = AddDisk(1, 0), d = AddDisk(1, 1);
  Import(a, MakeArea({Member(KEL_RAID_1, 0xA0, 2, 0, {0xA0, 0xB0}, "plain")}));
  Import(b, MakeArea({Member(KEL_RAID_1, 0xB0, 2, 1, {0xA0, 0xB0}, "plain")}));
  Import(c, MakeArea({Member(KEL_RAID_1, 0xC0, 3, 0, {0xC0, 0xD0, 0xE0}, "spared", 0, kL, 0)}));
  Import(d, MakeArea({Member(KEL_RAID_1, 0xD0, 3, 1, {0xC0, 0xD0, 0xE0}, "spared", 0, kL, 0),
                      Member(KEL_RAID_1, 0xE0, 3, 2, {0xC0, 0xD0, 0xE0}, "spared", kL, kL, 1)}));
  Build();
  auto arrays = RaidArrays();
  ASSERT_EQ(arrays.size(), 2u);
  for (KelRaidArray* ra : arrays) {
    auto* r1 = static_cast<KelRaid1*>(ra);
    _zr_array_info info = ArrayInfo(ra);
    EXPECT_EQ(info.raidType, KEL_RAID_1);
    EXPECT_EQ(info.Capacity(), kL);
    if (std::string(ra->m_szName, 24).c_str() == std::string("spared")) {
      EXPECT_TRUE(r1->HasSpare());
      EXPECT_EQ(ra->m_byVDNum, 3);
      EXPECT_EQ(ra->m_nPDNum, 2);  // the spare lies on a mirror's disk
      EXPECT_EQ(ra->m_arVDs[2]->m_pPD, PDOf(d));
    } else {
      EXPECT_FALSE(r1->HasSpare());
      EXPECT_EQ(ra->m_byVDNum, 2);
      EXPECT_EQ(info.status & KEL_RA_STATUS_MISSING, 0);
    }
  }
  EXPECT_EQ(PDOf(d)->m_nVDNum, 2);
}

TEST_F(DMBuild, Raid5AndRaid01AndSpan) {
  std::vector<std::string> disks;
  for (int ch = 0; ch < 2; ++ch)
    for (int side = 0; side < 2; ++side) disks.push_back(AddDisk(ch, side));
  // RAID 5 over the first three disks and a one-disk span on the fourth, all in slot 0;
  // RAID 0+1 over all four in slot 1.
  std::vector<uint32_t> r5 = {0x51, 0x52, 0x53};
  std::vector<uint32_t> r01 = {0x61, 0x62, 0x63, 0x64};
  const uint8_t r01pos[4] = {0x00, 0x01, 0x80, 0x81};
  for (int i = 0; i < 4; ++i) {
    std::vector<VDSpec> vds;
    if (i < 3) {
      VDSpec v = Member(KEL_RAID_5, r5[i], 3, static_cast<uint8_t>(i), r5, "parity", 0, kL, 0, 64);
      vds.push_back(v);
    } else {
      vds.push_back(Member(KEL_RAID_SPAN, 0x71, 1, 0, {0x71}, "lone", 0, 3000, 0));
    }
    vds.push_back(Member(KEL_RAID_01, r01[i], 4, r01pos[i], r01, "mirrored", 200000, kL, 1, 16));
    Import(disks[i], MakeArea(vds));
  }
  Build();
  auto arrays = RaidArrays();
  ASSERT_EQ(arrays.size(), 3u);
  for (KelRaidArray* ra : arrays) {
    _zr_array_info info = ArrayInfo(ra);
    EXPECT_EQ(info.status, 0) << ra->m_szName;
    switch (ra->m_byRaidType) {
      case KEL_RAID_5:
        EXPECT_EQ(info.Capacity(), 2 * kL);
        EXPECT_EQ(info.stripeSize, 32u);
        EXPECT_EQ(info.blockSize, 256u);
        for (int p = 0; p < 3; ++p) EXPECT_EQ(ra->m_arVDs[p]->m_pPD, PDOf(disks[p]));
        break;
      case KEL_RAID_01: {
        EXPECT_EQ(info.Capacity(), 2 * kL);
        EXPECT_EQ(info.stripeSize, 8u);
        // Positions of the second half read 8 and 9.
        _zr_device_info pd{};
        ASSERT_EQ(DM().GetPDInfoByArrayPosL(ra->m_nIndex, 9, &pd), ZR_OK);
        EXPECT_EQ(pd.index, static_cast<uint32_t>(PDOf(disks[3])->m_nIndex));
        _zr_vd_info vd{};
        ASSERT_EQ(DM().GetVDInfoByArrayPosL(ra->m_nIndex, 8, &vd), ZR_OK);
        EXPECT_EQ(vd.pd_index, static_cast<uint32_t>(PDOf(disks[2])->m_nIndex));
        EXPECT_EQ(vd.StartSector, 200000u);
        break;
      }
      case KEL_RAID_SPAN:
        EXPECT_EQ(info.Capacity(), 3000u);
        break;
      default:
        ADD_FAILURE() << "unexpected type " << int(ra->m_byRaidType);
    }
  }
}

TEST_F(DMBuild, SpanOfTwoDisksAddsItsPartsInPositionOrder) {
  std::string a = AddDisk(0, 0), b = AddDisk(0, 1);
  Import(a, MakeArea({Member(KEL_RAID_SPAN, 0x11, 2, 1, {0x22, 0x11}, "long", 0, 5000)}));
  Import(b, MakeArea({Member(KEL_RAID_SPAN, 0x22, 2, 0, {0x22, 0x11}, "long", 0, 7000)}));
  Build();
  auto arrays = RaidArrays();
  ASSERT_EQ(arrays.size(), 1u);
  EXPECT_EQ(ArrayInfo(arrays[0]).Capacity(), 12000u);
  EXPECT_EQ(arrays[0]->m_arVDs[0]->m_pPD, PDOf(b));
  EXPECT_EQ(arrays[0]->m_arVDs[1]->m_pPD, PDOf(a));
}

TEST_F(DMBuild, OlderLayoutIsConvertedAndListedAsSuch) {
  std::string a = AddDisk(0, 0);
  kel_test::ConfOldVd old;
  old.raidType = KEL_RAID_SPAN;
  old.vdCount = 1;
  old.length = 40000;
  old.serialChecksum = 0xCAFE;
  old.memberIds = {0xCAFE};
  Import(a, kel_test::ConfAreaBuilder().OldLayout(old).Bytes());
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

TEST_F(DMBuild, AMapBitWhoseBlockIsNotValidIsDropped) {
  std::string a = AddDisk(0, 0);
  VDSpec good = Member(KEL_RAID_SPAN, 0x31, 1, 0, {0x31}, "kept", 0, 5000, 0);
  VDSpec bad = Member(KEL_RAID_SPAN, 0x32, 1, 0, {0x32}, "dropped", 5000, 5000, 1);
  bad.valid = false;
  Import(a, MakeArea({good, bad}));
  Build();
  KelPhyDevice* pd = PDOf(a);
  EXPECT_EQ(pd->m_nVDNum, 1);
  EXPECT_EQ(pd->m_PDConfigSector.CountOfVDs(), 1);
  EXPECT_EQ(pd->m_PDConfigSector.VDMap(), 1u);
  auto arrays = RaidArrays();
  ASSERT_EQ(arrays.size(), 1u);
  EXPECT_STREQ(std::string(arrays[0]->m_szName, 24).c_str(), "kept");
  // The dropped slot's space is free again.
  EXPECT_EQ(pd->m_nFreeNum, 1);
}

TEST_F(DMBuild, AnUnreadableAreaLeavesAFlaggedPlainDisk) {
  std::string a = AddDisk(0, 0);
  std::string err;
  ASSERT_TRUE(KelSimSetFault(Folder(), a, 0x0C, -1, &err)) << err;
  Build();
  KelPhyDevice* pd = PDOf(a);
  ASSERT_NE(pd, nullptr);
  EXPECT_FALSE(pd->IsReadable());
  _zr_device_info info{};
  ASSERT_EQ(DM().GetPDInfoL(pd->m_nIndex, &info), ZR_OK);
  EXPECT_NE(info.status & KEL_PD_FLAG_UNREADABLE, 0);
}

TEST_F(DMBuild, TheDiskHoldingTheRootFileSystemIsASystemDisk) {
  std::string a = AddDisk(0, 0), b = AddDisk(0, 1);
  ASSERT_EQ(m_drv->Drv_Init(), 0);
  KelSimState s;
  std::string err;
  ASSERT_TRUE(KelSimSnapshot(Folder(), &s, &err));
  uint16_t devB = 0;
  for (const KelSimDisk& d : s.disks)
    if (d.name == b) devB = static_cast<uint16_t>(KelSimDeviceNumber(d));
  ASSERT_TRUE(WriteMbr(devB, 1));
  ASSERT_TRUE(KelSimSetRoot(Folder(), b, &err)) << err;
  Build();
  _zr_device_info info{};
  ASSERT_EQ(DM().GetPDInfoL(PDOf(b)->m_nIndex, &info), ZR_OK);
  EXPECT_EQ(info.systemDisk, 2);
  ASSERT_EQ(DM().GetPDInfoL(PDOf(a)->m_nIndex, &info), ZR_OK);
  EXPECT_EQ(info.systemDisk, 0);
}

}  // namespace
