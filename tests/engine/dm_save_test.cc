// Saving changed configuration areas, and the list of background work to resume.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "engine_fixture.h"

namespace {

constexpr uint64_t kL = 100000;

class DMSave : public EngineSimTest {
 protected:
  VDSpec Vd(uint8_t type, uint32_t id, uint8_t vdNum, uint8_t pos, std::vector<uint32_t> ids) {
    VDSpec v;
    v.raidType = type;
    v.id = id;
    v.vdNum = vdNum;
    v.position = pos;
    v.members = std::move(ids);
    v.length = kL;
    v.stripe = type == KEL_RAID_0 ? 128 : 0;
    return v;
  }
  int WritesSent() {
    auto sent = m_transport->SentCommands();
    return static_cast<int>(std::count_if(sent.begin(), sent.end(),
                                          [](auto& s) { return s.first == 0x11; }));
  }
  uint8_t AreasInLastWrite() {
    auto sent = m_transport->SentCommands();
    for (auto it = sent.rbegin(); it != sent.rend(); ++it)
      if (it->first == 0x11) return it->second;
    return 0;
  }
};

TEST_F(DMSave, OnlyChangedAreasAreWrittenAndTheirVDsGetNewMagics) {
  std::string a = AddDisk(0, 0), b = AddDisk(0, 1);
  AddDisk(1, 0);
  Import(a, MakeArea({Vd(KEL_RAID_0, 0x10, 2, 0, {0x10, 0x20})}));
  Import(b, MakeArea({Vd(KEL_RAID_0, 0x20, 2, 1, {0x10, 0x20})}));
  Build();
  KelVirDevice* va = PDOf(a)->m_pVDDev[0];
  KelVirDevice* vb = PDOf(b)->m_pVDDev[0];
  const int ia = va->m_nIndex, ib = vb->m_nIndex;
  const uint16_t ma = va->m_wdMagicNum, mb = vb->m_wdMagicNum;

  // Nothing changed: nothing is written, and the model is rebuilt all the same.
  ASSERT_TRUE(DM().WLock());
  EXPECT_EQ(DM().SaveConfAndSendNotifyBusChange(), ZR_OK);
  DM().WUnlock();
  EXPECT_EQ(WritesSent(), 0);
  EXPECT_EQ(DM().VD(ia)->m_wdMagicNum, ma);

  // One VD block changes in the working copy: one area goes out.
  ASSERT_TRUE(DM().WLock());
  _VD_Config_sector_* blk = PDOf(a)->m_pVDDev[0]->Block();
  std::memcpy(blk->b + vdoff::kVDName, "renamed", 7);
  EXPECT_EQ(DM().SaveConfAndSendNotifyBusChange(), ZR_OK);
  DM().WUnlock();
  EXPECT_EQ(WritesSent(), 1);
  EXPECT_EQ(AreasInLastWrite(), 1);
  std::vector<uint8_t> area = Export(a);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(area.data()) + 1792 + 52, 7), "renamed");
  EXPECT_EQ(kel_test::ConfAreaBuilder::Xor(area, 1792, 255), area[1792 + 255]);  // checksum made before writing
  EXPECT_EQ(DM().VD(ia)->m_wdMagicNum == ma, false);
  EXPECT_EQ(DM().VD(ib)->m_wdMagicNum, mb);
  EXPECT_EQ(DM().VD(ia)->m_nIndex, ia);
}

TEST_F(DMSave, AFailedWriteIsReportedAndTheModelIsRebuiltFromTheDisks) {
  std::string a = AddDisk(0, 0);
  Import(a, MakeArea({Vd(KEL_RAID_SPAN, 0x10, 1, 0, {0x10})}));
  Build();
  std::string err;
  ASSERT_TRUE(KelSimSetFault(Folder(), a, 0x11, -1, &err)) << err;
  ASSERT_TRUE(DM().WLock());
  std::memcpy(PDOf(a)->m_pVDDev[0]->Block()->b + vdoff::kVDName, "lost", 4);
  EXPECT_EQ(DM().SaveConfAndSendNotifyBusChange(), ZR_DRIVER_FAILED);
  DM().WUnlock();
  // The rebuild read back what the disk holds.
  EXPECT_NE(std::string(reinterpret_cast<const char*>(PDOf(a)->m_pVDDev[0]->Block()->VDName()), 4),
            "lost");
}

TEST_F(DMSave, SynchronisationsAndMigrationsToResumeAreListed) {
  std::string a = AddDisk(0, 0), b = AddDisk(0, 1), c = AddDisk(1, 0), d = AddDisk(1, 1);
  VDSpec src = Vd(KEL_RAID_1, 0x10, 2, 0, {0x10, 0x20});
  src.sideValue = 1;  // the copy to synchronise from
  VDSpec tgt = Vd(KEL_RAID_1, 0x20, 2, 1, {0x10, 0x20});
  Import(a, MakeArea({src}));
  Import(b, MakeArea({tgt}));
  VDSpec m0 = Vd(KEL_RAID_0, 0x30, 2, 0, {0x30, 0x40});
  m0.flags2 = 2;  // migration under way
  VDSpec m1 = Vd(KEL_RAID_0, 0x40, 2, 1, {0x30, 0x40});
  m1.flags2 = 2;
  Import(c, MakeArea({m0}));
  Import(d, MakeArea({m1}));
  Build();

  _LIB_Need_SMR_Info_t info;
  std::memset(&info, 0xEE, sizeof(info));
  ASSERT_EQ(DM().GetLIBNeedSMRInfoL(&info), ZR_OK);
  ASSERT_EQ(info.Count(), 2);
  KelRaidArray* mirror = PDOf(a)->m_pVDDev[0]->m_pArray;
  KelRaidArray* stripe = PDOf(c)->m_pVDDev[0]->m_pArray;
  bool sawSync = false, sawMig = false;
  for (int i = 0; i < info.Count(); ++i) {
    _LIB_Need_SMR_Entry e = info.Entry(i);
    if (e.taskType == 1) {
      sawSync = true;
      EXPECT_EQ(e.index, static_cast<uint32_t>(mirror->m_nIndex));
      EXPECT_EQ(e.magic, mirror->m_wdMagicNum);
      EXPECT_EQ(e.third, KEL_SYNC_POSSIBLE);
    } else if (e.taskType == 4) {
      sawMig = true;
      EXPECT_EQ(e.index, static_cast<uint32_t>(stripe->m_nIndex));
    }
  }
  EXPECT_TRUE(sawSync);
  EXPECT_TRUE(sawMig);
  EXPECT_EQ(DM().GetLIBNeedSMRInfoL(nullptr), ZR_BAD_PARAM);
}

}  // namespace
