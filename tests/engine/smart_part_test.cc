// Disk health through SMART, and the host partitions of disks and arrays.
#include <gtest/gtest.h>

#include <string>

#include "engine/kel_smart.h"
#include "engine_fixture.h"

namespace {

class SmartAndPartitions : public EngineSimTest {
 protected:
  _Index_Plus_t Ref(KelPhyDevice* pd) { return {pd->m_nIndex, pd->m_wdMagicNum, 0}; }

  void SetSmart(const std::string& disk, int status, std::vector<KelSimSmartAttr> attrs) {
    std::string err;
    ASSERT_TRUE(KelSimSetSmart(Folder(), disk, status, attrs, &err)) << err;
  }

  uint16_t DevNo(const std::string& disk) {
    KelSimState s;
    std::string err;
    EXPECT_TRUE(KelSimSnapshot(Folder(), &s, &err));
    for (const KelSimDisk& d : s.disks)
      if (d.name == disk) return static_cast<uint16_t>(KelSimDeviceNumber(d));
    return 0xFFFF;
  }
};

TEST_F(SmartAndPartitions, AnAttributeBelowItsThresholdGivesStatus2AndTheHealthBit) {
  std::string a = AddDisk(0, 0), b = AddDisk(0, 1);
  Build();
  uint8_t status = 0xFF;
  ASSERT_EQ(DM().GetPDHeathStatusL(Ref(PDOf(a)), &status), ZR_OK);
  EXPECT_EQ(status, KEL_SMART_HEALTHY);
  EXPECT_EQ(DM().GetDMSMARTReturnStatusL(), ZR_OK);

  SetSmart(a, -1, {{5, 10, 36}});
  ASSERT_EQ(DM().GetPDHeathStatusL(Ref(PDOf(a)), &status), ZR_OK);
  EXPECT_EQ(status, KEL_SMART_BELOW_THRESHOLD);
  _zr_device_info info{};
  ASSERT_EQ(DM().GetPDInfoL(PDOf(a)->m_nIndex, &info), ZR_OK);
  EXPECT_NE(info.status & KEL_PD_FLAG_HEALTH_BAD, 0);
  EXPECT_EQ(DM().GetDMSMARTReturnStatusL(), ZR_SMART_BAD);

  // A failing disk outranks its attributes.
  SetSmart(b, 1, {});
  ASSERT_EQ(DM().GetPDHeathStatusL(Ref(PDOf(b)), &status), ZR_OK);
  EXPECT_EQ(status, KEL_SMART_DISK_FAILING);

  // The verdict survives rescans, and so does the magic of a disk that did not change.
  const uint16_t magic = PDOf(a)->m_wdMagicNum;
  Rescan();
  Rescan();
  EXPECT_NE(PDOf(a)->m_wdFlag & KEL_PD_FLAG_HEALTH_BAD, 0);
  EXPECT_EQ(PDOf(a)->m_wdMagicNum, magic);
}

TEST_F(SmartAndPartitions, UnusedAttributeEntriesAreIgnored) {
  std::string a = AddDisk(0, 0);
  SetSmart(a, -1, {{9, 0, 50}});  // current value 0: an empty entry
  Build();
  uint8_t status = 0xFF;
  ASSERT_EQ(DM().GetPDHeathStatusL(Ref(PDOf(a)), &status), ZR_OK);
  EXPECT_EQ(status, KEL_SMART_HEALTHY);
  EXPECT_EQ(PDOf(a)->m_wdFlag & KEL_PD_FLAG_HEALTH_BAD, 0);
}

TEST_F(SmartAndPartitions, SmartCommandsAreCheckedBeforeTheyReachTheDisk) {
  std::string a = AddDisk(0, 0);
  Build();
  KelPhyDevice* pd = PDOf(a);
  uint8_t page[512] = {};
  uint8_t cmd[2] = {0xD3, 0};
  EXPECT_EQ(DM().ExecPDSMARTCmdL(Ref(pd), cmd, page), ZR_SMART_FAILED);
  cmd[0] = 0xD0;
  EXPECT_EQ(DM().ExecPDSMARTCmdL(Ref(pd), cmd, nullptr), ZR_BAD_PARAM);
  cmd[0] = 0xD1;  // thresholds need a buffer as much as the values do
  EXPECT_EQ(DM().ExecPDSMARTCmdL(Ref(pd), cmd, nullptr), ZR_BAD_PARAM);
  cmd[0] = 0xD5;
  cmd[1] = 128;  // beyond what the driver's 16-bit length can carry
  EXPECT_EQ(DM().ExecPDSMARTCmdL(Ref(pd), cmd, page), ZR_BAD_PARAM);
  cmd[0] = 0xD8;
  EXPECT_EQ(DM().ExecPDSMARTCmdL(Ref(pd), cmd, nullptr), ZR_OK);
  ASSERT_EQ(DM().GetPDSMARTReadDataL(Ref(pd), page), ZR_OK);
  EXPECT_EQ(page[2], 1);  // first attribute id of the simulated disk

  _Index_Plus_t stale = Ref(pd);
  stale.wdMagicNum ^= 1;
  uint8_t status = 0;
  EXPECT_EQ(DM().GetPDHeathStatusL(stale, &status), ZR_MAGIC_MISMATCH);
  EXPECT_EQ(DM().GetPDHeathStatusL({32, 0, 0}, &status), ZR_NO_OBJECT);
  EXPECT_EQ(DM().GetPDHeathStatusL({5, 0, 0}, &status), ZR_NO_OBJECT);
  EXPECT_EQ(DM().GetPDHeathStatusL(Ref(pd), nullptr), ZR_BAD_PARAM);

  std::string err;
  ASSERT_TRUE(KelSimSetFault(Folder(), a, 0x53, -1, &err)) << err;
  EXPECT_EQ(DM().GetPDSMARTReadDataL(Ref(pd), page), ZR_SMART_FAILED);
}

TEST_F(SmartAndPartitions, APlainDiskListsItsPartitionNodes) {
  std::string a = AddDisk(0, 0), b = AddDisk(0, 1);
  Build();
  ASSERT_TRUE(WriteMbr(DevNo(b), 3));
  _zr_partition_info info{};
  KelPhyDevice* pb = PDOf(b);
  ASSERT_EQ(DM().GetPartInfoL(0, Ref(pb), &info), ZR_OK);
  ASSERT_EQ(info.count, 3);
  EXPECT_STREQ(info.names[0], (b + "1").c_str());
  EXPECT_STREQ(info.names[2], (b + "3").c_str());
  ASSERT_EQ(DM().GetPartInfoL(0, Ref(PDOf(a)), &info), ZR_OK);
  EXPECT_EQ(info.count, 0);
  // The plain-disk entry of the disk shows the same partitions.
  for (int i = 0; i < MAX_ARRAY_SLOTS; ++i)
    if (DM().RA(i) != nullptr && DM().RA(i)->m_arPDs[0] == pb) {
      ASSERT_EQ(DM().GetPartInfoL(1, {i, 0, 0}, &info), ZR_OK);
      EXPECT_EQ(info.count, 3);
    }
  EXPECT_EQ(DM().GetPartInfoL(2, Ref(pb), &info), ZR_BAD_PARAM);
  EXPECT_EQ(DM().GetPartInfoL(0, {32, 0, 0}, &info), ZR_NO_OBJECT);
  EXPECT_EQ(DM().GetPartInfoL(1, {64, 0, 0}, &info), ZR_NO_OBJECT);
}

TEST_F(SmartAndPartitions, AnArrayListsThePartitionsOfItsLogicalTarget) {
  std::string a = AddDisk(0, 0), b = AddDisk(0, 1), c = AddDisk(1, 0);
  VDSpec v;
  v.raidType = KEL_RAID_1;
  v.vdNum = 2;
  v.length = 100000;
  v.members = {0x10, 0x20};
  v.id = 0x10;
  Import(a, MakeArea({v}));
  v.id = 0x20;
  v.position = 1;
  Import(b, MakeArea({v}));
  Build();
  ASSERT_TRUE(WriteMbr(DevNo(c), 2));
  // The host shows the mirror through c's node.
  _Real_Targets_Pos_Info t{};
  t.byValid = 1;
  t.byIsLogicTarget = 1;
  for (int i = 0; i < 8; ++i) t.SetDeviceNo(i, 0xFFFF);
  t.SetDeviceNo(0, DevNo(a));
  t.SetDeviceNo(1, DevNo(b));
  m_transport->SetTargets(c, t);

  auto arrays = RaidArrays();
  ASSERT_EQ(arrays.size(), 1u);
  _zr_partition_info info{};
  ASSERT_EQ(DM().GetPartInfoL(1, {arrays[0]->m_nIndex, 0, 0}, &info), ZR_OK);
  ASSERT_EQ(info.count, 2);
  EXPECT_STREQ(info.names[1], (c + "2").c_str());

  // A target naming a disk outside the array is another array.
  t.SetDeviceNo(1, DevNo(c));
  m_transport->SetTargets(c, t);
  ASSERT_EQ(DM().GetPartInfoL(1, {arrays[0]->m_nIndex, 0, 0}, &info), ZR_OK);
  EXPECT_EQ(info.count, 0);
}

TEST(PartitionNames, OnlyShortNumberedNamesOfTheNodeAreListedInNumberOrder) {
  char tmpl[] = "/tmp/kel_parts.XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  std::string dir = tmpl;
  for (const char* n : {"sdb", "sdb10", "sdb2", "sdb1", "sdbx", "sdba", "sdba1", "sdc1"})
    std::fclose(std::fopen((dir + "/" + n).c_str(), "w"));
  for (int i = 11; i <= 40; ++i)
    std::fclose(std::fopen((dir + "/sdc" + std::to_string(i)).c_str(), "w"));
  std::fclose(std::fopen((dir + "/sdaa100").c_str(), "w"));
  _zr_partition_info info{};
  KelListPartitions(dir, "sdb", &info);
  ASSERT_EQ(info.count, 3);
  EXPECT_STREQ(info.names[0], "sdb1");
  EXPECT_STREQ(info.names[1], "sdb2");
  EXPECT_STREQ(info.names[2], "sdb10");
  KelListPartitions(dir, "sdc", &info);
  EXPECT_EQ(info.count, ZR_MAX_PARTITIONS);  // 31 nodes, 26 listed
  KelListPartitions(dir, "sdaa", &info);
  EXPECT_EQ(info.count, 0);  // "sdaa100" is longer than a name may be
  std::vector<std::string> disks = KelListDiskNodes(dir);
  EXPECT_EQ(disks, (std::vector<std::string>{"sdb", "sdba", "sdbx"}));
  std::filesystem::remove_all(dir);
}

}  // namespace
