// The driver context over the simulated controller: which nodes the search probes and
// accepts, a node that goes away or stops answering being dropped while the command goes
// through another one, a send failing on every node, detection when no node answers at all,
// and the system-disk record.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "tests/integration/integ_fixture.h"

namespace {

class SimDetect : public SimDriverTest {
 protected:
  // Commands go to the last entry first: breaking that node (pulled, or failing twice) forces
  // the fail-over to the other one, and the broken node is dropped.
  void FailsOverFromTheLastNode(bool unplug) {
    AddDisk(0, 0);
    AddDisk(1, 0);
    ASSERT_EQ(m_drv->GetIoCtlFileNames(), 1);
    const std::string broken = m_drv->Entries().back().first;
    const std::string kept = m_drv->Entries().front().first;
    const std::string path = Folder().DevDir() + "/" + broken;
    std::string err;
    ASSERT_TRUE(unplug ? KelSimUnplug(Folder(), broken, &err)
                       : KelSimSetFault(Folder(), broken, 0x02, 2, &err))
        << err;

    size_t before = m_transport->Sent().size();
    testing::internal::CaptureStdout();
    _Channel_Info ch;
    int ok = m_op->GetChannelInformation(0, 0, &ch);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(ok, 0);
    EXPECT_EQ(ch.byMaster, 0x01);
    std::vector<std::string> sent = m_transport->Sent();
    using Names = std::vector<std::string>;
    EXPECT_EQ(Names(sent.begin() + before, sent.end()),
              (unplug ? Names{broken, kept} : Names{broken, broken, kept}));
    EXPECT_NE(out.find(unplug ? "Cannot open device " + path : "Ioctl on device " + path),
              std::string::npos) << out;
    EXPECT_NE(out.find("Current dev entry after delete " + path), std::string::npos) << out;
    auto entries = m_drv->Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].first, kept);
    EXPECT_EQ(m_drv->GetControllerNum(), 1);
  }
};

TEST_F(SimDetect, SearchProbesWholeDiskNodesOnlyAndKeepsThoseOfTheExactManufacturer) {
  std::string sda = AddDisk(0, 0);
  std::string sdb = AddDisk(0, 1);
  ASSERT_TRUE(WriteMbr(4, 2));  // sdb1 and sdb2
  for (const char* n : {"hda", "tty0", "sg0", "sd"}) std::ofstream(Folder().DevDir() + "/" + n);
  // A fresh driver context, so that its search runs over the partitioned folder.
  auto* rec = new RecordingSimTransport(SimDir());
  KelDrvInterface drv(std::unique_ptr<KelDrvTransport>(rec), Folder().DevDir());
  drv.SetSleep([](int) {});
  EXPECT_EQ(drv.GetIoCtlFileNames(), 1);
  std::vector<std::string> sent = rec->Sent(), entries;
  for (const auto& e : drv.Entries()) entries.push_back(e.first);
  std::sort(sent.begin(), sent.end());
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(sent, (std::vector<std::string>{sda, sdb}));
  EXPECT_EQ(entries, sent);
  // With the tables filled, another search returns at once without sending.
  EXPECT_EQ(drv.GetIoCtlFileNames(), 1);
  EXPECT_EQ(rec->Sent().size(), 2u);

  // One letter short of the manufacturer text is another controller.
  std::string err;
  ASSERT_TRUE(Folder().Transact(
      [](KelSimState& s, bool* dirty, std::string*) {
        s.manufacturer = "ZEP Technologie";
        *dirty = true;
        return true;
      },
      &err))
      << err;
  KelDrvInterface other(std::make_unique<KelSimTransport>(SimDir()));  // paths named /dev
  other.SetSleep([](int) {});
  testing::internal::CaptureStdout();
  EXPECT_EQ(other.GetIoCtlFileNames(), 0);
  testing::internal::GetCapturedStdout();
  EXPECT_TRUE(other.Entries().empty());
}

TEST_F(SimDetect, AnUnpluggedNodeIsDroppedAfterOneTryAndAnotherCarriesTheCommand) {
  FailsOverFromTheLastNode(true);
}

TEST_F(SimDetect, ANodeFailingTwiceIsDroppedAndAnotherCarriesTheCommand) {
  FailsOverFromTheLastNode(false);
}

TEST_F(SimDetect, SendFailsAfterTwoRoundsWhenEveryNodeFailsAndAnUnknownKindIsNotSent) {
  std::string sda = AddDisk(0, 0), err;
  ASSERT_EQ(m_drv->GetIoCtlFileNames(), 1);
  ASSERT_TRUE(KelSimSetFault(Folder(), sda, 0x0F, -1, &err)) << err;
  testing::internal::CaptureStdout();
  EXPECT_EQ(m_op->NotifyOsBusChanged(0, nullptr), 0);
  KelDrvRequest req{};
  EXPECT_FALSE(m_drv->SendScsiIoctlCmd(0, &req, 7, 3));
  testing::internal::GetCapturedStdout();
  EXPECT_TRUE(m_drv->Entries().empty());
  // The detection probe; two tries, a search finding the node again, two more tries.
  EXPECT_EQ(m_transport->SentCommands(),
            (std::vector<std::pair<uint8_t, uint8_t>>{
                {0x01, 0}, {0x0F, 0}, {0x0F, 0}, {0x01, 0}, {0x0F, 0}, {0x0F, 0}}));
}

TEST_F(SimDetect, IdentityFailingOnEveryDiskLeavesTheDriverPresentWithNoController) {
  std::string sda = AddDisk(0, 0), sdb = AddDisk(0, 1), err;
  ASSERT_TRUE(KelSimSetFault(Folder(), sda, 0x01, -1, &err)) << err;
  ASSERT_TRUE(KelSimSetFault(Folder(), sdb, 0x01, -1, &err)) << err;
  testing::internal::CaptureStdout();
  EXPECT_EQ(m_drv->Drv_Init(), 0);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(m_drv->GetControllerNum(), 0);
  EXPECT_TRUE(m_drv->Entries().empty());
  EXPECT_EQ(m_transport->Wakes(), 1);
  EXPECT_EQ(m_sleeps, 3 * 3 + 3);  // three passes per search, three searches, one wait each
  EXPECT_NE(out.find("GetBasicCtlerInfoEx: ioctl error on " + Folder().DevDir() + "/" + sda),
            std::string::npos) << out;
  EXPECT_NE(out.find("drv_detect: Can not find any device attached to the controller"),
            std::string::npos) << out;

  // A command with no node to go through fails instead of hanging.
  _Controller_Info info;
  testing::internal::CaptureStdout();
  EXPECT_EQ(m_op->GetIDEControllerInformation(0, &info), 0);
  testing::internal::GetCapturedStdout();
  // Once the fault is cleared the next command finds the controller again by itself.
  ASSERT_TRUE(KelSimSetFault(Folder(), sda, 0x01, 0, &err)) << err;
  ASSERT_TRUE(KelSimSetFault(Folder(), sdb, 0x01, 0, &err)) << err;
  EXPECT_NE(m_op->GetIDEControllerInformation(0, &info), 0);
  EXPECT_EQ(m_drv->GetControllerNum(), 1);
}

TEST_F(SimDetect, SystemDiskRecordFollowsTheRealTargetsOfTheRootDevice) {
  // At detection the root partition's node is asked, and answers for its plain disk.
  AddDisk(0, 0);
  std::string sdb = AddDisk(0, 1), err;  // device number 4
  ASSERT_TRUE(WriteMbr(4));
  ASSERT_TRUE(KelSimSetRoot(Folder(), sdb, &err)) << err;
  EXPECT_EQ(m_drv->IsSystemDisk(0, 4), 0);  // not before the next refresh
  EXPECT_EQ(m_drv->Drv_Init(), 0);
  EXPECT_EQ(m_drv->ControllerIndexes(), std::vector<uint8_t>{0});
  EXPECT_EQ(m_sleeps, 0);
  EXPECT_EQ(m_transport->Sent().back(), sdb + "1");
  _Real_Targets_Pos_Info rec = m_drv->SystemDiskRecord();
  EXPECT_EQ(rec.byValid, 1);
  EXPECT_EQ(rec.byIsLogicTarget, 0);
  EXPECT_EQ(rec.byCtlerInternalIndex, 0);
  EXPECT_EQ(rec.DeviceNo(0), 4);
  for (int i = 1; i < 8; ++i) EXPECT_EQ(rec.DeviceNo(i), 0xFFFF) << i;
  EXPECT_EQ(m_drv->IsSystemDisk(0, 4), 2);
  EXPECT_EQ(m_drv->IsSystemDisk(0, 0), 0);
  _Real_Targets_Pos_Info direct{};  // asked by path, the disk's node answers for itself
  ASSERT_NE(m_op->QueryRealTargetsRBOP((Folder().DevDir() + "/" + sdb).c_str(), &direct), 0);
  EXPECT_EQ(std::memcmp(&direct, &rec, sizeof(rec)), 0);

  // Any member of a plain disk's record, on its controller only; never a system VD.
  rec.SetDeviceNo(5, 9);
  rec.byVDId[5] = 1;
  rec.byCtlerInternalIndex = 4;
  m_transport->SetTargets(sdb + "1", rec);
  EXPECT_NE(m_op->CheckSystemDiskRBOP(), 0);
  EXPECT_EQ(m_drv->IsSystemDisk(4, 9), 2);
  EXPECT_EQ(m_drv->IsSystemDisk(3, 9), 0);
  EXPECT_EQ(m_drv->IsSystemDisk(4, 8), 0);
  EXPECT_EQ(m_drv->IsSystemVD(4, 9, 1), 0);

  // A logical target: its member is a system VD whatever the controller, never a disk.
  rec.byIsLogicTarget = 1;
  m_transport->SetTargets(sdb + "1", rec);
  m_drv->CheckSystemDisks();
  EXPECT_EQ(m_drv->IsSystemVD(0, 9, 1), 2);
  EXPECT_EQ(m_drv->IsSystemVD(0, 9, 0), 0);
  EXPECT_EQ(m_drv->IsSystemDisk(4, 9), 0);

  // No root device: the record is cleared and nothing is asked.
  m_drv->SetRootLookup([](char*, int) { return 0; });
  size_t sent = m_transport->Sent().size();
  m_drv->CheckSystemDisks();
  _Real_Targets_Pos_Info now = m_drv->SystemDiskRecord(), zero{};
  EXPECT_EQ(std::memcmp(&now, &zero, sizeof(now)), 0);
  EXPECT_EQ(m_transport->Sent().size(), sent);
}

}  // namespace
