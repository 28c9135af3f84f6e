// The driver context over an in-memory transport: which nodes the search accepts, how a send
// fails over between nodes and drops dead ones, detection's results and messages, and the
// system-disk record.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "driver/drv_interface.h"
#include "driver/raid_basic_op.h"
#include "fake_transport.h"

namespace {

struct DrvFixture : testing::Test {
  FakeTransport* fake = nullptr;
  std::unique_ptr<KelDrvInterface> drv;
  int sleeps = 0;

  void SetUp() override {
    auto t = std::make_unique<FakeTransport>();
    fake = t.get();
    drv = std::make_unique<KelDrvInterface>(std::move(t));
    drv->SetSleep([this](int) { ++sleeps; });
    drv->SetRootLookup([](char*, int) { return 0; });
  }
};

TEST_F(DrvFixture, PartitionsAndNonDiskNodesAreNeverProbed) {
  fake->nodes = {"sda", "sda1", "sdb2", "hda", "tty0", "sg0", "sdb", "sd"};
  fake->controllerNodes = {"sda", "sda1", "sdb", "sdb2", "hda", "sg0"};
  EXPECT_EQ(drv->GetIoCtlFileNames(), 1);
  for (const std::string& n : fake->SentNodes()) EXPECT_TRUE(n == "sda" || n == "sdb") << n;
  auto entries = drv->Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].first, "sda");
  EXPECT_EQ(entries[1].first, "sdb");
}

TEST_F(DrvFixture, OnlyTheExactManufacturerTextIsAccepted) {
  fake->nodes = {"sda", "sdb"};
  fake->controllerNodes = {"sdb"};
  fake->foreignNodes = {"sda"};
  EXPECT_EQ(drv->GetIoCtlFileNames(), 1);
  auto entries = drv->Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].first, "sdb");
}

TEST_F(DrvFixture, ControllerIndexIsByte76MinusOne) {
  fake->nodes = {"sdc"};
  fake->controllerNodes = {"sdc"};
  fake->ctlerIndexByte = 3;
  EXPECT_EQ(drv->GetIoCtlFileNames(), 1);
  EXPECT_EQ(drv->ControllerIndexes(), std::vector<uint8_t>{2});
  EXPECT_EQ(drv->Entries()[0].second, 2);
}

TEST_F(DrvFixture, NodeThatFailsTwiceIsDroppedAndAnotherNodeCarriesTheCommand) {
  fake->nodes = {"sda", "sdb"};
  fake->controllerNodes = {"sda", "sdb"};
  ASSERT_EQ(drv->GetIoCtlFileNames(), 1);
  fake->failing = {"sdb"};
  int before = static_cast<int>(fake->Sent().size());
  KelRaidBasicOp op(*drv);
  testing::internal::CaptureStdout();
  EXPECT_EQ(op.NotifyOsBusChanged(0, nullptr), 1);
  std::string out = testing::internal::GetCapturedStdout();
  auto sent = fake->Sent();
  ASSERT_EQ(sent.size() - before, 3u);  // last node first, twice, then the next one
  EXPECT_EQ(sent[before].node, "sdb");
  EXPECT_EQ(sent[before + 1].node, "sdb");
  EXPECT_EQ(sent[before + 2].node, "sda");
  EXPECT_NE(out.find("SendScsiIoctlCmd: Ioctl on device /dev/sdb failed"), std::string::npos);
  EXPECT_NE(out.find("Current dev entry after delete /dev/sdb"), std::string::npos);
  auto entries = drv->Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].first, "sda");
}

TEST_F(DrvFixture, VanishedNodeIsDroppedAfterOneOpenFailure) {
  fake->nodes = {"sda", "sdb"};
  fake->controllerNodes = {"sda", "sdb"};
  ASSERT_EQ(drv->GetIoCtlFileNames(), 1);
  fake->vanished = {"sdb"};
  KelRaidBasicOp op(*drv);
  testing::internal::CaptureStdout();
  EXPECT_EQ(op.NotifyOsBusChanged(0, nullptr), 1);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Cannot open device /dev/sdb"), std::string::npos);
  EXPECT_EQ(drv->Entries().size(), 1u);
}

TEST_F(DrvFixture, EmptyTableIsRediscoveredOnTheNextSend) {
  fake->nodes = {"sda"};
  fake->controllerNodes = {"sda"};
  KelRaidBasicOp op(*drv);
  EXPECT_EQ(op.NotifyOsBusChanged(0, nullptr), 1);
  EXPECT_EQ(drv->Entries().size(), 1u);
}

TEST_F(DrvFixture, SendFailsAfterTwoRoundsWhenEveryNodeFails) {
  fake->nodes = {"sda"};
  fake->controllerNodes = {"sda"};
  ASSERT_EQ(drv->GetIoCtlFileNames(), 1);
  fake->answer = [](uint8_t, unsigned char*) { return false; };
  KelRaidBasicOp op(*drv);
  testing::internal::CaptureStdout();
  EXPECT_EQ(op.NotifyOsBusChanged(0, nullptr), 0);
  testing::internal::GetCapturedStdout();
  EXPECT_TRUE(drv->Entries().empty());
}

TEST_F(DrvFixture, UnknownRequestKindFailsWithoutSending) {
  KelDrvRequest req{};
  testing::internal::CaptureStdout();
  EXPECT_FALSE(drv->SendScsiIoctlCmd(0, &req, 7, 3));
  testing::internal::GetCapturedStdout();
  EXPECT_TRUE(fake->Sent().empty());
}

TEST_F(DrvFixture, NothingFoundGivesNoControllersButDriverPresent) {
  fake->nodes = {"sda", "sdb"};
  testing::internal::CaptureStdout();
  EXPECT_EQ(drv->Drv_Init(), 0);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(drv->GetControllerNum(), 0);
  EXPECT_EQ(fake->wakeCalls, 1);
  EXPECT_NE(out.find("drv_detect: Can not find any device attached to the controller in this "
                     "system\n"),
            std::string::npos);
  EXPECT_NE(out.find("GetIoCtlFileNames: can not find clter"), std::string::npos);
  EXPECT_NE(out.find("]: Can not find any device attached to the controller in this system\n"),
            std::string::npos);
  EXPECT_EQ(sleeps, 3 * 3 + 3);  // three passes per search, three searches, one wait each
}

TEST_F(DrvFixture, DetectionFindsControllerAndRefreshesSystemDisk) {
  fake->nodes = {"sda"};
  fake->controllerNodes = {"sda"};
  drv->SetRootLookup([](char* dev, int) {
    strcpy(dev, "/dev/sda1");
    return 1;
  });
  fake->answer = [](uint8_t sub, unsigned char* p) {
    if (sub == 0x13) {
      p[0] = 1;
      p[1] = 0;
      p[2 + 2 * 5] = 9;  // device 9 as member 5
      p[26] = 4;
    }
    return true;
  };
  EXPECT_EQ(drv->Drv_Init(), 0);
  EXPECT_EQ(drv->GetControllerNum(), 1);
  EXPECT_EQ(sleeps, 0);
  EXPECT_EQ(fake->SentNodes().back(), "sda1");
  EXPECT_EQ(drv->IsSystemDisk(4, 9), 2);
  EXPECT_EQ(drv->IsSystemDisk(3, 9), 0);
  EXPECT_EQ(drv->IsSystemDisk(4, 8), 0);
  EXPECT_EQ(drv->IsSystemVD(4, 9, 0), 0);  // a plain disk is never a system VD
}

TEST_F(DrvFixture, LogicalTargetMarksMatchingVdAsSystem) {
  fake->answer = [](uint8_t, unsigned char* p) {
    p[0] = 1;
    p[1] = 1;
    p[2] = 7;   // member 0: device 7
    p[18] = 1;  // VD id 1
    return true;
  };
  drv->SetRootLookup([](char* dev, int) {
    strcpy(dev, "/dev/sdb");
    return 1;
  });
  drv->CheckSystemDisks();
  EXPECT_EQ(drv->IsSystemVD(0, 7, 1), 2);
  EXPECT_EQ(drv->IsSystemVD(0, 7, 0), 0);
  EXPECT_EQ(drv->IsSystemDisk(0, 7), 0);
}

TEST_F(DrvFixture, NoRootDeviceLeavesSystemRecordZero) {
  drv->CheckSystemDisks();
  _Real_Targets_Pos_Info rec = drv->SystemDiskRecord();
  _Real_Targets_Pos_Info zero{};
  EXPECT_EQ(memcmp(&rec, &zero, sizeof(rec)), 0);
  EXPECT_TRUE(fake->Sent().empty());
}

TEST_F(DrvFixture, SecondSearchReturnsAtOnceWhileTablesAreFilled) {
  fake->nodes = {"sda"};
  fake->controllerNodes = {"sda"};
  ASSERT_EQ(drv->GetIoCtlFileNames(), 1);
  size_t sent = fake->Sent().size();
  EXPECT_EQ(drv->GetIoCtlFileNames(), 1);
  EXPECT_EQ(fake->Sent().size(), sent);
}

}  // namespace
