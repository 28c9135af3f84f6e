// Rebuilding the model from fresh scans: which indexes and magic numbers survive, index
// bounds, and the numbering of disks on channels and behind hubs.
#include <gtest/gtest.h>

#include <map>
#include <string>

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
};

// One story: rescans without change, a disk moved, a mirror degraded, a disk replaced.
TEST_F(DMRescan, IndexesAndMagicsLastUntilWhatTheyNameChanges) {
  std::string a = AddDisk(0, 0), b = AddDisk(1, 0), c = AddDisk(0, 1);
  AddHub(1, 1);
  AddDisk(1, 1, 0);
  ImportArray({a, b}, {.raidType = KEL_RAID_1, .length = kL}, 0x10);
  ImportArray({c}, {.raidType = KEL_RAID_SPAN, .length = kL}, 0x20);
  Build();
  auto before = Snapshot();
  ASSERT_EQ(before.size(), 4u + 3u + 3u);  // 4 disks, 3 VDs, mirror + span + plain disk
  Rescan();
  EXPECT_EQ(Snapshot(), before);

  // Pulled and put back elsewhere before the next scan: the disk and its span stay as
  // they were.
  Unplug(c);
  Plug(c, 1, 1, 1);
  Rescan();
  EXPECT_EQ(Snapshot(), before);
  EXPECT_EQ(PDOf(c)->m_nChanIndex, 1);
  EXPECT_EQ(PDOf(c)->m_pVDDev[0]->m_nPDIndex, PDOf(c)->m_nIndex);

  // A mirror that loses a disk keeps its index but not its magic, so that a client holding
  // the old magic is refused; the freed disk index goes to the next new disk.
  const int index = PDOf(a)->m_pVDDev[0]->m_pArray->m_nIndex;
  const int freed = PDOf(b)->m_nIndex;
  Unplug(b);
  Rescan();
  EXPECT_EQ(DM().PD(freed), nullptr);
  EXPECT_EQ(DM().PDNum(), 3);
  ASSERT_NE(DM().RA(index), nullptr);
  EXPECT_NE(ArrayInfo(DM().RA(index)).status & KEL_RA_STATUS_MISSING, 0);
  EXPECT_NE(DM().RA(index)->m_wdMagicNum, (before[{'a', index}]));
  std::string e = AddDisk(1, 0);
  Rescan();
  ASSERT_NE(PDOf(e), nullptr);
  EXPECT_EQ(PDOf(e)->m_nIndex, freed);
  EXPECT_EQ(DM().RaidArrayNum(), 4);  // mirror, span and two plain disks
}

// The model's own checks, behind the facade's (which stops most of these first).
TEST_F(DMRescan, IndexesPastTheTablesAndMissingBuffersAreRefused) {
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
  EXPECT_EQ(DM().GetPDInfoByPhyAddrL(0, 0, 8, &di), ZR_NO_OBJECT);
  EXPECT_EQ(DM().GetPDInfoByPhyAddrL(1, 0, 0, &di), ZR_NO_OBJECT);
  int count = 0;
  unsigned char out[32];
  EXPECT_EQ(DM().GetSortedArrayIndex(nullptr, out), ZR_BAD_PARAM);
  EXPECT_EQ(DM().GetSortedArrayIndex(&count, nullptr), ZR_BAD_PARAM);
}

TEST_F(DMRescan, DisksBehindHubsAreNumberedByPositionAndPort) {
  // Channel 0: master empty, slave a direct disk. Channel 1: a hub on the master with
  // ports 0 and 2 taken (reporting a count of 3), a direct disk on the slave.
  std::string direct0 = AddDisk(0, 1);
  AddHub(1, 0, 3);
  std::string h0 = AddDisk(1, 0, 0), h2 = AddDisk(1, 0, 2);
  std::string direct1 = AddDisk(1, 1);
  ImportArray({h2}, {.raidType = KEL_RAID_SPAN, .length = kL}, 0x77);
  testing::internal::CaptureStdout();
  Build();
  EXPECT_NE(testing::internal::GetCapturedStdout().find("m_DHInfo.nDeviceNumber == nTmp"),
            std::string::npos);

  // The empty master takes no numbers; every occupied position takes four.
  EXPECT_EQ(PDOf(direct0)->m_nDevNoBase, 0);
  EXPECT_EQ(PDOf(h0)->m_nDevNoBase, 4);
  EXPECT_EQ(PDOf(h2)->m_nDevNoBase, 6);
  EXPECT_EQ(PDOf(direct1)->m_nDevNoBase, 8);
  ASSERT_EQ(PDOf(h2)->m_nVDNum, 1);
  EXPECT_EQ(PDOf(h2)->m_pVDDev[0]->m_nLogicNum, 12);

  _zr_device_hub_info_t hi{};
  ASSERT_EQ(DM().GetDHInfoL(0, 1, 0, &hi), ZR_OK);
  EXPECT_EQ(hi.nValidDeviceNum, 3);  // as reported
  _zr_channel_info ci{};
  ASSERT_EQ(DM().GetChanInfoL(0, 0, &ci), ZR_OK);
  EXPECT_EQ(ci.bMaster_Exist, KEL_CHAN_POS_EMPTY);

  // A port bit of 4 would name position 4, the direct disk on the slave side: a hub has
  // four ports, and higher bits make no disk.
  KelDeviceHub hub(&DM(), PDOf(h0)->m_pChan, 0, 1, 0);
  hub.m_DHInfo.SetPortMap(0x11);
  hub.ScanDHHardWare(0);
  EXPECT_TRUE(hub.GetPD(0) != nullptr && hub.GetPD(4) == nullptr);
}

TEST_F(DMRescan, AnUnusableChannelTakesEightNumbers) {
  std::string d = AddDisk(1, 0), err;
  ASSERT_TRUE(KelSimSetChannel(Folder(), 0, false, 1, true, &err)) << err;
  Build();
  EXPECT_EQ(PDOf(d)->m_nDevNoBase, 8);
  _zr_channel_info ci{};
  // The one usable channel is usable channel 0.
  ASSERT_EQ(DM().GetChanInfoL(0, 0, &ci), ZR_OK);
  EXPECT_EQ(ci.bMaster_Exist, KEL_CHAN_POS_DISK);
  EXPECT_EQ(DM().GetChanInfoL(0, 1, &ci), ZR_NO_OBJECT);
}

}  // namespace
