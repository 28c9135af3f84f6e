// Rebuilding the model from fresh scans: which indexes and magic numbers survive, name
// order, index bounds, and the numbering of disks on channels and behind hubs.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>

#include "engine/ctrl_tree.h"
#include "engine_fixture.h"

namespace {

constexpr uint64_t kL = 100000;

class DMRescan : public EngineSimTest {
 protected:
  // (table, index) → magic of every live disk, VD and array.
  std::map<std::pair<char, int>, uint16_t> Snapshot() {
    std::map<std::pair<char, int>, uint16_t> m;
    for (int i = 0; i < MAX_PDS; ++i)
      if (auto* p = DM().PD(i)) m[{'p', i}] = p->m_wdMagicNum;
    for (int i = 0; i < MAX_VDS; ++i)
      if (auto* v = DM().VD(i)) m[{'v', i}] = v->m_wdMagicNum;
    for (int i = 0; i < MAX_ARRAY_SLOTS; ++i)
      if (auto* r = DM().RA(i)) m[{'a', i}] = r->m_wdMagicNum;
    return m;
  }

  void Mirror(const std::string& a, const std::string& b, const std::string& name, uint32_t base) {
    VDSpec v;
    v.raidType = KEL_RAID_1;
    v.vdNum = 2;
    v.length = kL;
    v.members = {base, base + 1};
    v.arrayName = name;
    v.id = base;
    Import(a, MakeArea({v}));
    v.id = base + 1;
    v.position = 1;
    Import(b, MakeArea({v}));
  }

  void Span(const std::string& disk, const std::string& name, uint32_t id) {
    VDSpec v;
    v.raidType = KEL_RAID_SPAN;
    v.id = id;
    v.length = kL;
    v.members = {id};
    v.arrayName = name;
    Import(disk, MakeArea({v}));
  }
};

TEST_F(DMRescan, ARescanWithoutChangeKeepsEveryIndexAndMagic) {
  std::string a = AddDisk(0, 0), b = AddDisk(0, 1), c = AddDisk(1, 0);
  AddDisk(1, 1);
  Mirror(a, b, "m", 0x10);
  Span(c, "s", 0x20);
  Build();
  auto before = Snapshot();
  ASSERT_EQ(before.size(), 4u + 3u + 3u);  // 4 disks, 3 VDs, mirror + span + plain disk
  Rescan();
  EXPECT_EQ(Snapshot(), before);
  Rescan();
  EXPECT_EQ(Snapshot(), before);
  EXPECT_EQ(DM().PDNum(), 4);
  EXPECT_EQ(DM().VDNum(), 3);
  EXPECT_EQ(DM().RaidArrayNum(), 3);
}

TEST_F(DMRescan, ADegradedArrayKeepsItsIndexAndGetsANewMagic) {
  std::string a = AddDisk(0, 0), b = AddDisk(0, 1);
  Mirror(a, b, "m", 0x10);
  Build();
  ASSERT_EQ(RaidArrays().size(), 1u);
  KelRaidArray* ra = RaidArrays()[0];
  const int index = ra->m_nIndex;
  const uint16_t magic = ra->m_wdMagicNum;
  EXPECT_EQ(ArrayInfo(ra).status & KEL_RA_STATUS_MISSING, 0);

  Unplug(b);
  Rescan();
  ASSERT_EQ(RaidArrays().size(), 1u);
  ra = RaidArrays()[0];
  EXPECT_EQ(ra->m_nIndex, index);
  EXPECT_NE(ArrayInfo(ra).status & KEL_RA_STATUS_MISSING, 0);
  uint16_t now = 0;
  ASSERT_EQ(DM().GetRAMagicNumL(index, &now), ZR_OK);
  EXPECT_NE(now, magic);  // a client holding the old magic is now refused
  EXPECT_EQ(DM().PDNum(), 1);
}

TEST_F(DMRescan, AFreedDiskIndexGoesToTheNextNewDisk) {
  std::string a = AddDisk(0, 0), b = AddDisk(0, 1), c = AddDisk(1, 0);
  Build();
  KelPhyDevice* pb = PDOf(b);
  ASSERT_NE(pb, nullptr);
  const int freed = pb->m_nIndex;
  Unplug(b);
  Rescan();
  EXPECT_EQ(DM().PD(freed), nullptr);
  EXPECT_EQ(DM().PDNum(), 2);
  EXPECT_EQ(DM().RaidArrayNum(), 2);  // its plain-disk entry went with it
  std::string d = AddDisk(1, 1);
  Rescan();
  ASSERT_NE(PDOf(d), nullptr);
  EXPECT_EQ(PDOf(d)->m_nIndex, freed);
  EXPECT_NE(PDOf(a)->m_nIndex, freed);
  EXPECT_NE(PDOf(c)->m_nIndex, freed);
}

TEST_F(DMRescan, ADiskMovedToAnotherPortKeepsItsIndexAndMagic) {
  AddDisk(0, 0);
  std::string b = AddDisk(0, 1);
  std::string c = AddDisk(1, 0);
  Span(b, "moved", 0x40);
  Build();
  const int index = PDOf(b)->m_nIndex;
  const uint16_t magic = PDOf(b)->m_wdMagicNum;
  const int arrayIndex = RaidArrays()[0]->m_nIndex;
  const uint16_t arrayMagic = RaidArrays()[0]->m_wdMagicNum;
  // Pulled and put back elsewhere before the next scan.
  Unplug(b);
  Plug(b, 1, 1);
  Rescan();
  KelPhyDevice* pd = PDOf(b);
  ASSERT_NE(pd, nullptr);
  EXPECT_EQ(pd->m_nIndex, index);
  EXPECT_EQ(pd->m_wdMagicNum, magic);
  EXPECT_EQ(pd->m_nChanIndex, 1);
  EXPECT_EQ(RaidArrays()[0]->m_nIndex, arrayIndex);
  EXPECT_EQ(RaidArrays()[0]->m_wdMagicNum, arrayMagic);
  EXPECT_EQ(RaidArrays()[0]->m_arVDs[0]->m_nPDIndex, index);
  (void)c;
}

TEST_F(DMRescan, ArraysSortByCaseInsensitiveNameThenPlainDisks) {
  std::string a = AddDisk(0, 0), b = AddDisk(0, 1);
  AddDisk(1, 0);
  Span(a, "beta", 0x51);
  Span(b, "Alpha", 0x52);
  Build();
  int count = 0;
  unsigned char out[32];
  ASSERT_EQ(DM().GetSortedArrayIndex(&count, out), ZR_OK);
  ASSERT_EQ(count, 3);
  EXPECT_STREQ(std::string(DM().RA(out[0])->m_szName, 24).c_str(), "Alpha");
  EXPECT_STREQ(std::string(DM().RA(out[1])->m_szName, 24).c_str(), "beta");
  EXPECT_TRUE(DM().RA(out[2])->IsPseudo());
  for (int i = 3; i < 32; ++i) EXPECT_EQ(out[i], 255) << i;
  EXPECT_EQ(DM().GetSortedArrayIndex(nullptr, out), ZR_BAD_PARAM);
  EXPECT_EQ(DM().GetSortedArrayIndex(&count, nullptr), ZR_BAD_PARAM);
}

TEST_F(DMRescan, IndexesPastTheTablesAreRefused) {
  AddDisk(0, 0);
  Build();
  _zr_array_info ai{};
  _zr_device_info di{};
  _zr_vd_info vi{};
  uint16_t magic = 0;
  EXPECT_EQ(DM().GetArrayInfoL(64, &ai), ZR_NO_OBJECT);
  EXPECT_EQ(DM().GetArrayInfoL(-1, &ai), ZR_NO_OBJECT);
  EXPECT_EQ(DM().GetArrayInfoL(63, &ai), ZR_NO_OBJECT);  // in range, empty
  EXPECT_EQ(DM().GetRAMagicNumL(64, &magic), ZR_NO_OBJECT);
  EXPECT_EQ(DM().GetPDInfoL(32, &di), ZR_NO_OBJECT);
  EXPECT_EQ(DM().GetPDMagicNumL(32, &magic), ZR_NO_OBJECT);
  EXPECT_EQ(DM().GetVDInfoByPDLogicIndexL(0, 2, &vi), ZR_NO_OBJECT);
  EXPECT_EQ(DM().GetPDInfoByArrayPosL(0, 16, &di), ZR_NO_OBJECT);
  EXPECT_EQ(DM().GetPDInfoByArrayPosL(0, 255, &di), ZR_OK);  // the plain disk's entry
  EXPECT_EQ(DM().GetPDInfoByPhyAddrL(0, 0, 8, &di), ZR_NO_OBJECT);
  EXPECT_EQ(DM().GetPDInfoByPhyAddrL(0, 0, 0, &di), ZR_OK);
  EXPECT_EQ(DM().GetPDInfoByPhyAddrL(1, 0, 0, &di), ZR_NO_OBJECT);
}

TEST_F(DMRescan, DisksBehindHubsAreNumberedByPositionAndPort) {
  // Channel 0: master empty, slave a direct disk. Channel 1: a hub on the master with
  // ports 0 and 2 taken (reporting a count of 3), a direct disk on the slave.
  std::string direct0 = AddDisk(0, 1);
  AddHub(1, 0, 3);
  std::string h0 = AddDisk(1, 0, 0), h2 = AddDisk(1, 0, 2);
  std::string direct1 = AddDisk(1, 1);
  Span(h2, "behind", 0x77);
  ASSERT_EQ(m_drv->Drv_Init(), 0);
  testing::internal::CaptureStdout();
  m_dm = std::make_unique<KelDeviceManage>();
  ASSERT_EQ(m_dm->InitDML(), 1);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("m_DHInfo.nDeviceNumber == nTmp"), std::string::npos);
  EXPECT_EQ(DM().PDNum(), 4);

  // The empty master takes no numbers; every occupied position takes four.
  EXPECT_EQ(PDOf(direct0)->m_nDevNoBase, 0);
  EXPECT_EQ(PDOf(h0)->m_nDevNoBase, 4);
  EXPECT_EQ(PDOf(h2)->m_nDevNoBase, 6);
  EXPECT_EQ(PDOf(direct1)->m_nDevNoBase, 8);
  ASSERT_EQ(PDOf(h2)->m_nVDNum, 1);
  EXPECT_EQ(PDOf(h2)->m_pVDDev[0]->m_nLogicNum, 12);

  _zr_device_info di{};
  ASSERT_EQ(DM().GetPDInfoByPhyAddrL(0, 1, 2, &di), ZR_OK);  // usable channel 1, port 2
  EXPECT_EQ(di.index, static_cast<uint32_t>(PDOf(h2)->m_nIndex));
  EXPECT_EQ(di.PortNum, 2);
  EXPECT_EQ(di.deviceRoot, 2);  // hub type 1, plus one
  EXPECT_EQ(di.chan_index, 1);
  _zr_device_hub_info_t hi{};
  ASSERT_EQ(DM().GetDHInfoL(0, 1, 0, &hi), ZR_OK);
  EXPECT_EQ(hi.nValidDeviceNum, 3);  // as reported
  EXPECT_EQ(hi.ismaster, 1);
  EXPECT_STREQ(std::string(hi.DeviceHubName, 32).c_str(), "ZEP Port Multiplier");
  EXPECT_EQ(DM().GetDHInfoL(0, 1, 1, &hi), ZR_NO_OBJECT);
  _zr_channel_info ci{};
  ASSERT_EQ(DM().GetChanInfoL(0, 1, &ci), ZR_OK);
  EXPECT_EQ(ci.bMaster_Exist, KEL_CHAN_POS_HUB);
  EXPECT_EQ(ci.bSlave_Exist, KEL_CHAN_POS_DISK);
  ASSERT_EQ(DM().GetChanInfoL(0, 0, &ci), ZR_OK);
  EXPECT_EQ(ci.bMaster_Exist, KEL_CHAN_POS_EMPTY);
  _zr_controller_info ctl{};
  ASSERT_EQ(DM().GetCtrlInfoL(0, &ctl), ZR_OK);
  EXPECT_EQ(ctl.channel_Num, 2);
  EXPECT_EQ(std::string(ctl.manufactory, 16), "ZEP Technologies");
}

TEST_F(DMRescan, AnUnusableChannelTakesEightNumbers) {
  std::string err;
  ASSERT_TRUE(KelSimSetChannel(Folder(), 0, false, 1, true, &err)) << err;
  std::string d = AddDisk(1, 0);
  Build();
  EXPECT_EQ(PDOf(d)->m_nDevNoBase, 8);
  _zr_channel_info ci{};
  // The one usable channel is usable channel 0.
  ASSERT_EQ(DM().GetChanInfoL(0, 0, &ci), ZR_OK);
  EXPECT_EQ(ci.bMaster_Exist, KEL_CHAN_POS_DISK);
  EXPECT_EQ(DM().GetChanInfoL(0, 1, &ci), ZR_NO_OBJECT);
}

}  // namespace
