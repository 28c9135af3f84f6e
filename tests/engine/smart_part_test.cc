// Disk health through SMART, and the host partitions of disks and arrays.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "engine/kel_smart.h"
#include "engine_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

class SmartAndPartitions : public EngineSimTest {
 protected:
  _Index_Plus_t Ref(KelPhyDevice* pd) { return {pd->m_nIndex, pd->m_wdMagicNum, 0}; }

  void SetSmart(const std::string& disk, int status, std::vector<KelSimSmartAttr> attrs) {
    std::string err;
    ASSERT_TRUE(KelSimSetSmart(Folder(), disk, status, attrs, &err)) << err;
  }
};

TEST_F(SmartAndPartitions, ABadVerdictSurvivesRescansAndEmptyAttributesAreIgnored) {
  std::string a = AddDisk(0, 0), b = AddDisk(0, 1);
  SetSmart(b, -1, {{9, 0, 50}});  // current value 0: an empty entry, not a low value
  Build();
  EXPECT_EQ(DM().GetDMSMARTReturnStatusL(), ZR_OK);  // every disk healthy, b included

  SetSmart(a, -1, {{5, 10, 36}});
  uint8_t status = 0xFF;
  ASSERT_EQ(DM().GetPDHeathStatusL(Ref(PDOf(a)), &status), ZR_OK);
  EXPECT_EQ(status, KEL_SMART_BELOW_THRESHOLD);
  EXPECT_EQ(DM().GetDMSMARTReturnStatusL(), ZR_SMART_BAD);
  // The verdict survives rescans, and so does the magic of a disk that did not change.
  const uint16_t magic = PDOf(a)->m_wdMagicNum;
  Rescan();
  Rescan();
  EXPECT_NE(PDOf(a)->m_wdFlag & KEL_PD_FLAG_HEALTH_BAD, 0);
  EXPECT_EQ(PDOf(a)->m_wdMagicNum, magic);
  EXPECT_EQ(PDOf(b)->m_wdFlag & KEL_PD_FLAG_HEALTH_BAD, 0);
}

TEST_F(SmartAndPartitions, SmartCommandsAreCheckedBeforeTheyReachTheDisk) {
  std::string a = AddDisk(0, 0), err;
  Build();
  KelPhyDevice* pd = PDOf(a);
  uint8_t page[512] = {};
  // {feature, sector count, with a buffer, result}: thresholds (D1) need a buffer as much as
  // the values (D0) do; 128 sectors are beyond what the driver's 16-bit length can carry.
  const struct { uint8_t cmd[2]; bool buffer; int rc; } kCmds[] = {
      {{0xD3, 0}, true, ZR_SMART_FAILED}, {{0xD0, 0}, false, ZR_BAD_PARAM},
      {{0xD1, 0}, false, ZR_BAD_PARAM}, {{0xD5, 128}, true, ZR_BAD_PARAM},
      {{0xD8, 128}, false, ZR_OK}};
  for (auto c : kCmds)
    EXPECT_EQ(DM().ExecPDSMARTCmdL(Ref(pd), c.cmd, c.buffer ? page : nullptr), c.rc) << +c.cmd[0];
  ASSERT_EQ(DM().GetPDSMARTReadDataL(Ref(pd), page), ZR_OK);
  EXPECT_EQ(page[2], 1);  // first attribute id of the simulated disk

  _Index_Plus_t stale = Ref(pd);
  stale.wdMagicNum ^= 1;
  uint8_t status = 0;
  EXPECT_EQ(DM().GetPDHeathStatusL(stale, &status), ZR_MAGIC_MISMATCH);
  EXPECT_EQ(DM().GetPDHeathStatusL({32, 0, 0}, &status), ZR_NO_OBJECT);
  EXPECT_EQ(DM().GetPDHeathStatusL({5, 0, 0}, &status), ZR_NO_OBJECT);
  EXPECT_EQ(DM().GetPDHeathStatusL(Ref(pd), nullptr), ZR_BAD_PARAM);

  ASSERT_TRUE(KelSimSetFault(Folder(), a, 0x53, -1, &err)) << err;
  EXPECT_EQ(DM().GetPDSMARTReadDataL(Ref(pd), page), ZR_SMART_FAILED);
}

TEST_F(SmartAndPartitions, DisksAndArraysListThePartitionsOfTheirHostNode) {
  std::string a = AddDisk(0, 0), b = AddDisk(0, 1), c = AddDisk(1, 0), d = AddDisk(1, 1);
  ImportArray({a, b}, {.raidType = KEL_RAID_1, .length = 100000}, 0x10);
  Build();
  ASSERT_TRUE(WriteMbr(DevNo(c), 2));
  ASSERT_TRUE(WriteMbr(DevNo(d), 3));
  _zr_partition_info info{};
  ASSERT_EQ(DM().GetPartInfoL(0, Ref(PDOf(d)), &info), ZR_OK);
  ASSERT_EQ(info.count, 3);
  EXPECT_STREQ(info.names[2], (d + "3").c_str());
  // The plain-disk entry of the disk shows the same partitions.
  for (int i = 0; i < MAX_ARRAY_SLOTS; ++i)
    if (DM().RA(i) != nullptr && DM().RA(i)->m_arPDs[0] == PDOf(d)) {
      ASSERT_EQ(DM().GetPartInfoL(1, {i, 0, 0}, &info), ZR_OK);
      EXPECT_EQ(info.count, 3);
    }
  EXPECT_EQ(DM().GetPartInfoL(2, Ref(PDOf(d)), &info), ZR_BAD_PARAM);
  EXPECT_EQ(DM().GetPartInfoL(0, {32, 0, 0}, &info), ZR_NO_OBJECT);
  EXPECT_EQ(DM().GetPartInfoL(1, {64, 0, 0}, &info), ZR_NO_OBJECT);

  // The host shows the mirror through c's node.
  _Real_Targets_Pos_Info t{};
  t.byValid = 1;
  t.byIsLogicTarget = 1;
  for (int i = 0; i < 8; ++i) t.SetDeviceNo(i, 0xFFFF);
  t.SetDeviceNo(0, DevNo(a));
  t.SetDeviceNo(1, DevNo(b));
  m_transport->SetTargets(c, t);
  const int mirror = RaidArrays()[0]->m_nIndex;
  ASSERT_EQ(DM().GetPartInfoL(1, {mirror, 0, 0}, &info), ZR_OK);
  ASSERT_EQ(info.count, 2);
  EXPECT_STREQ(info.names[1], (c + "2").c_str());
  // A target naming a disk outside the array is another array.
  t.SetDeviceNo(1, DevNo(c));
  m_transport->SetTargets(c, t);
  ASSERT_EQ(DM().GetPartInfoL(1, {mirror, 0, 0}, &info), ZR_OK);
  EXPECT_EQ(info.count, 0);
}

TEST(PartitionNames, OnlyShortNumberedNamesOfTheNodeAreListedInNumberOrder) {
  kel_test::TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  auto touch = [&](const std::string& n) { std::fclose(std::fopen(dir.File(n).c_str(), "w")); };
  for (const char* n : {"sdb", "sdb10", "sdb2", "sdb1", "sdbx", "sdba", "sdba1", "sdc1", "sdaa100"})
    touch(n);
  for (int i = 11; i <= 40; ++i) touch("sdc" + std::to_string(i));
  _zr_partition_info info{};
  KelListPartitions(dir.path(), "sdb", &info);
  ASSERT_EQ(info.count, 3);
  EXPECT_STREQ(info.names[0], "sdb1");
  EXPECT_STREQ(info.names[1], "sdb2");
  EXPECT_STREQ(info.names[2], "sdb10");
  KelListPartitions(dir.path(), "sdc", &info);
  EXPECT_EQ(info.count, ZR_MAX_PARTITIONS);  // 31 nodes, 26 listed
  KelListPartitions(dir.path(), "sdaa", &info);
  EXPECT_EQ(info.count, 0);  // "sdaa100" is longer than a name may be
  EXPECT_EQ(KelListDiskNodes(dir.path()), (std::vector<std::string>{"sdb", "sdba", "sdbx"}));
}

}  // namespace
