// The typed sub-commands: the exact UCMD header and parameter bytes each wrapper hands to the
// transport, and what it copies back from the driver's answer.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "driver/raid_basic_op.h"
#include "driver/ucmd_packet.h"
#include "fake_transport.h"

namespace {

struct OpFixture : testing::Test {
  FakeTransport* fake = nullptr;
  std::unique_ptr<KelDrvInterface> drv;
  std::unique_ptr<KelRaidBasicOp> op;

  void SetUp() override {
    auto t = std::make_unique<FakeTransport>();
    fake = t.get();
    fake->nodes = {"sda"};
    fake->controllerNodes = {"sda"};
    drv = std::make_unique<KelDrvInterface>(std::move(t));
    drv->SetSleep([](int) {});
    ASSERT_EQ(drv->GetIoCtlFileNames(), 1);
    op = std::make_unique<KelRaidBasicOp>(*drv);
  }

  // The last command sent: checks sub-command and parameter length, returns the parameters.
  std::vector<unsigned char> Last(uint8_t sub, uint32_t paramLen) {
    FakeSent s = fake->Sent().back();
    EXPECT_EQ(s.block[28], 0x17);
    EXPECT_EQ(s.block[29], 0x5A);
    EXPECT_EQ(s.block[30], sub);
    uint32_t len = s.block[32] | (s.block[33] << 8) | (s.block[34] << 16) | (s.block[35] << 24);
    EXPECT_EQ(len, paramLen);
    EXPECT_EQ(s.cdb[0], 0xFF);
    return std::vector<unsigned char>(s.block.begin() + 36, s.block.end());
  }
  static std::vector<unsigned char> V(std::initializer_list<int> b) {
    std::vector<unsigned char> v;
    for (int x : b) v.push_back(static_cast<unsigned char>(x));
    return v;
  }
  static std::vector<unsigned char> Head(const std::vector<unsigned char>& p, size_t n) {
    return std::vector<unsigned char>(p.begin(), p.begin() + n);
  }
};

TEST_F(OpFixture, ChannelQuerySendsChannelAndReturnsRecordFromOffset2) {
  fake->answer = [](uint8_t, unsigned char* p) {
    p[2 + 13] = 0x11;
    p[2 + 16] = 4;
    return true;
  };
  _Channel_Info info{};
  ASSERT_EQ(op->GetChannelInformation(0, 1, &info), 1);
  EXPECT_EQ(Last(0x02, 30)[0], 1);
  EXPECT_EQ(info.byMaster, 0x11);
  EXPECT_EQ(info.byFlags, 4);
}

TEST_F(OpFixture, HubQueryRefusesSideTwo) {
  _DeviceHub_Info info{};
  size_t sent = fake->Sent().size();
  testing::internal::CaptureStdout();
  EXPECT_EQ(op->GetDeviceHubInformation(0, 0, 2, &info), 0);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(fake->Sent().size(), sent);
  ASSERT_EQ(op->GetDeviceHubInformation(0, 1, 1, &info), 1);
  EXPECT_EQ(Head(Last(0x03, 60), 2), V({1, 1}));
}

TEST_F(OpFixture, DiskQuerySplitsPositionIntoSideAndPort) {
  fake->answer = [](uint8_t, unsigned char* p) {
    p[4 + 214] = 0x21;
    p[4 + 215] = 0x43;
    return true;
  };
  _Device_Info info{};
  ASSERT_EQ(op->GetDeviceInformation(0, 1, 6, &info), 1);
  EXPECT_EQ(Head(Last(0x04, 230), 4), V({1, 1, 2, 0}));
  EXPECT_EQ(info.DeviceNo(), 0x4321);
}

TEST_F(OpFixture, ReadConfigDataCopies3072BytesFromOffset6) {
  fake->answer = [](uint8_t, unsigned char* p) {
    for (int i = 0; i < 3072; ++i) p[6 + i] = static_cast<unsigned char>(i * 7);
    p[6 + 3072] = 0xEE;  // beyond the area: never copied
    return true;
  };
  std::vector<uint8_t> buf(3073, 0x55);
  ASSERT_EQ(op->ReadConfigData(0, 2, 0x0105, buf.data(), 3072), 1);
  EXPECT_EQ(Head(Last(0x0C, 3079), 6), V({2, 0, 5, 1, 0, 6}));
  for (int i = 0; i < 3072; ++i) ASSERT_EQ(buf[i], static_cast<uint8_t>(i * 7)) << i;
  EXPECT_EQ(buf[3072], 0x55);
}

TEST_F(OpFixture, ReadConfigDataOfWrongLengthPrintsAssertion) {
  std::vector<uint8_t> buf(512);
  testing::internal::CaptureStdout();
  op->ReadConfigData(0, 0, 1, buf.data(), 512);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("(DWORD)numSector*HD_SECTOR_SIZE == dwToRead"), std::string::npos);
}

TEST_F(OpFixture, MultiConfWriteSendsAllItemsInOneCommand) {
  std::vector<uint8_t> a(3072, 0xA1), b(3072, 0xB2);
  KelMultiConfNode* list = PrePareMultiConfData(1, 0x0203, a.data(), 3072, nullptr);
  list = PrePareMultiConfData(1, 0x0004, b.data(), 3072, list);
  ASSERT_EQ(KelMultiConfCount(list), 2);
  KelUCmdPacket packet(nullptr, op.get());
  packet.StartUcmdPackPro();
  ASSERT_EQ(op->WriteMultiConfData(0, list, 2, &packet), 1);
  std::vector<unsigned char> p = Last(0x11, 2 * 3084 + 3);
  EXPECT_EQ(p[0], 2);
  EXPECT_EQ(p[1], 0);
  const unsigned char* item0 = p.data() + 2;
  const unsigned char* item1 = item0 + 3084;
  EXPECT_EQ(std::vector<unsigned char>(item0, item0 + 12), V({0x0C, 0x0C, 0, 0, 1, 0, 3, 2, 0, 6, 0xA1, 0xA1}));
  EXPECT_EQ(item0[3081], 0xA1);
  EXPECT_EQ(item0[3082], 0);
  EXPECT_EQ(item0[3083], 0);
  EXPECT_EQ(std::vector<unsigned char>(item1, item1 + 11), V({0x0C, 0x0C, 0, 0, 1, 0, 4, 0, 0, 6, 0xB2}));
  EXPECT_EQ(packet.Controllers(), std::vector<uint8_t>{0});
  EXPECT_TRUE(packet.DeliverUcmdPacket());
  KelMultiConfFree(list);
}

TEST_F(OpFixture, PrepareWithWrongLengthPrintsAssertion) {
  std::vector<uint8_t> a(3072);
  testing::internal::CaptureStdout();
  KelMultiConfNode* list = PrePareMultiConfData(0, 1, a.data(), 1024, nullptr);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("(DWORD)pRecMultiPDConfItem->numSector*HD_SECTOR_SIZE == wdBufSize"),
            std::string::npos);
  KelMultiConfFree(list);
}

TEST_F(OpFixture, SyncAndMigrateRecordsGoOutVerbatim) {
  _SYNC_RAID_IOBUFFER sync{};
  sync.byPairNum = 1;
  sync.pairs[0].SetDeviceNo(0x0102);
  sync.SetStartLBA(~0ull);
  ASSERT_EQ(op->SyncMirrorRBOP(0, &sync), 1);
  EXPECT_EQ(Head(Last(0x09, 42), 42), std::vector<unsigned char>(reinterpret_cast<uint8_t*>(&sync), reinterpret_cast<uint8_t*>(&sync) + 42));
  ASSERT_EQ(op->SyncRaid5RBOP(0, &sync), 1);
  Last(0x09, 42);
  _SYNC_SAVESTARTADDR_IOBUFFER save{};
  save.SetPosition(5);
  ASSERT_EQ(op->SyncSaveAddrRBOP(0, &save), 1);
  EXPECT_EQ(Last(0x28, 12)[4], 5);
  _MIGRATE_RAID_IOBUFFER mig{};
  mig.SetSectorCount(128);
  ASSERT_EQ(op->MigrateArrayRBOP(0, &mig), 1);
  EXPECT_EQ(Last(0x15, 20)[12], 128);
  _MIGRATE_SAVESTARTADDR_IOBUFFER msave{};
  msave.byVDId = 1;
  ASSERT_EQ(op->MigrateSaveAddrRBOP(0, &msave), 1);
  EXPECT_EQ(Last(0x16, 12)[3], 1);
}

TEST_F(OpFixture, LastUserDataCommandsPlaceDeviceAndRecords) {
  _LASTUSERDATA_POS_INFO src{}, tgt{};
  src.SetStartLBA(0x10);
  tgt.SetStartLBA(0x20);
  ASSERT_EQ(op->MoveLastUserData(0, 0x0304, &src, &tgt), 1);
  std::vector<unsigned char> p = Last(0x51, 34);
  EXPECT_EQ(Head(p, 2), V({4, 3}));
  EXPECT_EQ(p[2 + 8], 0x10);
  EXPECT_EQ(p[18 + 8], 0x20);
  ASSERT_EQ(op->RecoverLastUserDataRBOP(0, 0x0506, &src, 0x0102030405060708ull), 1);
  p = Last(0x52, 26);
  EXPECT_EQ(Head(p, 2), V({6, 5}));
  EXPECT_EQ(p[10], 0x10);
  EXPECT_EQ(std::vector<unsigned char>(p.begin() + 18, p.begin() + 26), V({8, 7, 6, 5, 4, 3, 2, 1}));
}

TEST_F(OpFixture, ReplaceDirtyFlagAndKeepTargetParameters) {
  ASSERT_EQ(op->ReplaceVDRBOP(0, 1, 0x0203, 1, 4, 0x0506, 0, 0x100, 0x80), 1);
  EXPECT_EQ(Head(Last(0x17, 26), 26),
            V({1, 0, 3, 2, 1, 4, 0, 6, 5, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0}));
  ASSERT_EQ(op->ClearDeviceDirtyFlagRBOP(0, 2, 0x0708, 1, 0), 1);
  EXPECT_EQ(Head(Last(0x0E, 6), 6), V({2, 0, 8, 7, 1, 0}));
  ASSERT_EQ(op->KeepLogicTargetForVD(0, 3, 0x0009, 1, nullptr), 1);
  EXPECT_EQ(Head(Last(0x12, 12), 12), V({3, 1, 0, 0, 9, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(OpFixture, WriteDeviceDataCarriesPositionAndData) {
  std::vector<uint8_t> data(512, 0x7E);
  _DISK_IO_POS_EX pos{0, 1, 0x0203, 0x40, 1};
  _DISK_IO_RESULT res{};
  ASSERT_EQ(op->WriteDeviceDataRBOP(&pos, data.data(), &res), 1);
  std::vector<unsigned char> p = Last(0x07, 512 + 25);
  EXPECT_EQ(Head(p, 24), V({1, 0, 3, 2, 0, 0, 0, 0, 0x40, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(p[24], 0x7E);
  EXPECT_EQ(p[24 + 511], 0x7E);
  EXPECT_EQ(p[24 + 512], 0);
  EXPECT_EQ(res.dw64SectorsDone, 1u);
}

TEST_F(OpFixture, SmartCommandSendsFeatureAndLengthAndCopiesOutputFrom8) {
  fake->answer = [](uint8_t, unsigned char* p) {
    p[8] = 0xAB;
    p[8 + 511] = 0xCD;
    return true;
  };
  uint8_t cmd[8] = {0xD0, 9, 9};
  std::vector<uint8_t> out(512);
  ASSERT_EQ(op->ExecSmartCmdRBOP(0, 1, 0x0203, cmd, out.data(), 512), 1);
  EXPECT_EQ(Head(Last(0x53, 512 + 9), 8), V({1, 0, 3, 2, 0xD0, 0, 0, 2}));
  EXPECT_EQ(out[0], 0xAB);
  EXPECT_EQ(out[511], 0xCD);
}

TEST_F(OpFixture, HotplugQuerySendsAllOnesAndReturnsChangedFlag) {
  fake->answer = [](uint8_t, unsigned char* p) {
    p[109] = 1;
    return true;
  };
  _CHECK_CTLER_HOTPLUG_EVENT_IOBUFFER info{};
  ASSERT_EQ(op->CheckControllerHotplugInfo(0, &info), 1);
  std::vector<unsigned char> p = Last(0x70, 120);
  for (int i = 0; i < 120; ++i) ASSERT_EQ(p[i], 0xFF) << i;
  EXPECT_EQ(info.byChanged, 1);
}

TEST_F(OpFixture, BusChangedNoticeThroughPacketAndIndexChecks) {
  KelUCmdPacket packet(nullptr, op.get());
  packet.StartUcmdPackPro();
  ASSERT_TRUE(packet.UCmdNotifyOsBusChangedEx(0));
  EXPECT_EQ(Head(Last(0x0F, 2), 2), V({0, 0}));
  size_t sent = fake->Sent().size();
  testing::internal::CaptureStdout();
  EXPECT_FALSE(packet.UCmdNotifyOsBusChangedEx(255));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("byCtrlIndex < MAX_CONTROLLERS"), std::string::npos);
  EXPECT_EQ(fake->Sent().size(), sent);
  EXPECT_TRUE(packet.DeliverUcmdPacket());  // nothing queued
  packet.EndUcmdPackPro();
  EXPECT_TRUE(packet.Controllers().empty());
}

TEST_F(OpFixture, ControllerIdentityCopiesWholeRecord) {
  _Controller_Info info{};
  ASSERT_EQ(op->GetIDEControllerInformation(0, &info), 1);
  Last(0x01, 84);
  EXPECT_EQ(memcmp(info.szManufacturer, "ZEP Technologies", 16), 0);
  EXPECT_EQ(info.byChannelNum, 2);
}

}  // namespace
