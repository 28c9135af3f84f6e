// Detection and the node search of the driver layer over the simulated controller: which
// nodes are accepted, partition nodes never carrying a command, a node that goes away or
// stops answering being dropped while the command goes through another one, and detection
// when no node answers at all.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/integration/integ_fixture.h"

namespace {

using SimDetect = SimDriverTest;

bool HasEntry(const std::vector<std::pair<std::string, uint8_t>>& entries, const std::string& n) {
  return std::any_of(entries.begin(), entries.end(), [&](const auto& e) { return e.first == n; });
}

TEST_F(SimDetect, OneControllerIsFoundThroughEveryAttachedDisk) {
  std::string sda = AddDisk(0, 0, -1);
  std::string sdb = AddDisk(1, 1, -1);
  EXPECT_EQ(m_drv->Drv_Init(), 0);
  EXPECT_EQ(m_drv->GetControllerNum(), 1);
  EXPECT_EQ(m_drv->ControllerIndexes(), std::vector<uint8_t>{0});
  auto entries = m_drv->Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_TRUE(HasEntry(entries, sda));
  EXPECT_TRUE(HasEntry(entries, sdb));
  for (const auto& e : entries) EXPECT_EQ(e.second, 0);
  EXPECT_EQ(m_sleeps, 0);
}

TEST_F(SimDetect, PartitionNodesAreNeverUsedForSending) {
  std::string sda = AddDisk(0, 0, -1);
  std::string sdb = AddDisk(0, 1, -1);
  ASSERT_TRUE(WriteMbr(8 * 0 + 4));  // sdb: channel 0, slave
  ASSERT_TRUE(WriteMbr(0));
  std::vector<std::string> nodes = m_transport->ListNodes();
  ASSERT_NE(std::find(nodes.begin(), nodes.end(), sdb + "1"), nodes.end());
  ASSERT_NE(std::find(nodes.begin(), nodes.end(), sda + "1"), nodes.end());

  // A fresh driver context, so that its search runs over the partitioned folder.
  auto* rec = new RecordingSimTransport(SimDir());
  KelDrvInterface drv(std::unique_ptr<KelDrvTransport>(rec), Folder().DevDir());
  drv.SetSleep([](int) {});
  EXPECT_EQ(drv.GetIoCtlFileNames(), 1);
  KelRaidBasicOp op(drv);
  _Channel_Info ch;
  for (int i = 0; i < 6; ++i) ASSERT_NE(op.GetChannelInformation(0, 0, &ch), 0);
  auto entries = drv.Entries();
  EXPECT_EQ(entries.size(), 2u);
  for (const std::string& n : rec->Sent()) EXPECT_TRUE(n == sda || n == sdb) << n;
}

TEST_F(SimDetect, AnUnpluggedNodeIsDroppedAndTheCommandGoesThroughAnother) {
  AddDisk(0, 0, -1);
  AddDisk(1, 0, -1);
  ASSERT_EQ(m_drv->GetIoCtlFileNames(), 1);
  auto entries = m_drv->Entries();
  ASSERT_EQ(entries.size(), 2u);
  // Commands go to the last entry first: pulling that one forces the fail-over.
  const std::string gone = entries.back().first;
  const std::string kept = entries.front().first;
  std::string err;
  ASSERT_TRUE(KelSimUnplug(Folder(), gone, &err)) << err;

  testing::internal::CaptureStdout();
  _Channel_Info ch;
  int ok = m_op->GetChannelInformation(0, 0, &ch);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(ok, 0);
  EXPECT_NE(out.find("Cannot open device " + Folder().DevDir() + "/" + gone), std::string::npos)
      << out;
  EXPECT_NE(out.find("Current dev entry after delete " + Folder().DevDir() + "/" + gone),
            std::string::npos)
      << out;
  entries = m_drv->Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].first, kept);
  EXPECT_EQ(m_drv->GetControllerNum(), 1);
}

TEST_F(SimDetect, ANodeFailingTwiceIsDroppedAndAnotherAnswers) {
  AddDisk(0, 0, -1);
  AddDisk(1, 0, -1);
  ASSERT_EQ(m_drv->GetIoCtlFileNames(), 1);
  const std::string failing = m_drv->Entries().back().first;
  std::string err;
  ASSERT_TRUE(KelSimSetFault(Folder(), failing, 0x02, 2, &err)) << err;

  testing::internal::CaptureStdout();
  _Channel_Info ch;
  int ok = m_op->GetChannelInformation(0, 1, &ch);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(ok, 0);
  const std::string line = "SendScsiIoctlCmd: Ioctl on device " + Folder().DevDir() + "/" +
                           failing + " failed";
  size_t first = out.find(line);
  ASSERT_NE(first, std::string::npos) << out;
  EXPECT_NE(out.find(line, first + 1), std::string::npos) << out;
  EXPECT_FALSE(HasEntry(m_drv->Entries(), failing));
  EXPECT_EQ(ch.byMaster, 0x01);
}

TEST_F(SimDetect, EveryDiskUnpluggedLeavesTheDriverPresentWithNoController) {
  std::string sda = AddDisk(0, 0, -1);
  std::string err;
  ASSERT_TRUE(KelSimUnplug(Folder(), sda, &err)) << err;
  testing::internal::CaptureStdout();
  int rc = m_drv->Drv_Init();
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(m_drv->GetControllerNum(), 0);
  EXPECT_TRUE(m_drv->Entries().empty());
  EXPECT_NE(out.find("drv_detect: Can not find any device attached to the controller in this "
                     "system\n"),
            std::string::npos);
  EXPECT_NE(out.find("]: Can not find any device attached to the controller in this system\n"),
            std::string::npos)
      << out;
  EXPECT_TRUE(m_transport->Sent().empty());
}

TEST_F(SimDetect, IdentityFailingOnEveryDiskLeavesTheDriverPresentWithNoController) {
  std::string sda = AddDisk(0, 0, -1);
  std::string sdb = AddDisk(0, 1, -1);
  std::string err;
  ASSERT_TRUE(KelSimSetFault(Folder(), sda, 0x01, -1, &err)) << err;
  ASSERT_TRUE(KelSimSetFault(Folder(), sdb, 0x01, -1, &err)) << err;
  testing::internal::CaptureStdout();
  int rc = m_drv->Drv_Init();
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(m_drv->GetControllerNum(), 0);
  EXPECT_NE(out.find("GetBasicCtlerInfoEx: ioctl error on " + Folder().DevDir() + "/" + sda),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("]: Can not find any device attached to the controller in this system\n"),
            std::string::npos);

  // A command with no node to go through fails instead of hanging.
  _Controller_Info info;
  testing::internal::CaptureStdout();
  EXPECT_EQ(m_op->GetIDEControllerInformation(0, &info), 0);
  testing::internal::GetCapturedStdout();
  // Once the fault is cleared the next command finds the controller again by itself.
  ASSERT_TRUE(KelSimSetFault(Folder(), sda, 0x01, 0, &err)) << err;
  ASSERT_TRUE(KelSimSetFault(Folder(), sdb, 0x01, 0, &err)) << err;
  testing::internal::CaptureStdout();
  EXPECT_NE(m_op->GetIDEControllerInformation(0, &info), 0);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(m_drv->GetControllerNum(), 1);
}

TEST_F(SimDetect, AnotherManufacturerIsNotAccepted) {
  AddDisk(0, 0, -1);
  std::string err;
  ASSERT_TRUE(Folder().Transact(
      [](KelSimState& s, bool* dirty, std::string*) {
        s.manufacturer = "ZEP Technologie";
        *dirty = true;
        return true;
      },
      &err))
      << err;
  testing::internal::CaptureStdout();
  EXPECT_EQ(m_drv->GetIoCtlFileNames(), 0);
  testing::internal::GetCapturedStdout();
  EXPECT_TRUE(m_drv->Entries().empty());
}

}  // namespace
