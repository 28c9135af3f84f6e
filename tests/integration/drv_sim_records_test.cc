// Every typed driver wrapper against the simulated controller, each answer decoded field by
// field through the driver's own records: the two sides were written apart from the same
// byte layouts, and these tests are where a field at the wrong offset shows.
#include <gtest/gtest.h>

#include <numeric>

#include "driver/ucmd_packet.h"
#include "sim/sim_records.h"
#include "tests/integration/integ_fixture.h"

namespace {

class SimRecords : public SimDriverTest {
 protected:
  int Channels() override { return 3; }  // above the two the engine uses

  // Channel 0: disk on the master; channel 1: hub on the slave with disks on ports 0 and 2;
  // channel 2: empty.
  void SetUp() override {
    SimDriverTest::SetUp();
    if (HasFatalFailure()) return;
    m_sda = AddDisk(0, 0, -1, 20480, "SN0123456789ABCDEFGH", "ZEP Model 7", "FW1.2");
    AddHub(1, 1);
    m_sdb = AddDisk(1, 1, 0, 16384, "HUBDISK0");
    m_sdc = AddDisk(1, 1, 2, 12288, "HUBDISK2");
    ASSERT_EQ(m_drv->Drv_Init(), 0);
  }

  static constexpr uint16_t kSdaNo = 0;            // channel 0, master, direct
  static constexpr uint16_t kSdbNo = 8 + 4 + 0;    // channel 1, slave, port 0
  static constexpr uint16_t kSdcNo = 8 + 4 + 2;    // channel 1, slave, port 2

  std::vector<uint8_t> Pattern(uint8_t seed) {
    std::vector<uint8_t> v(KEL_CONF_BYTES);
    for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<uint8_t>(seed + i * 7);
    return v;
  }

  std::vector<uint8_t> Export(const std::string& disk) {
    std::vector<unsigned char> area;
    std::string err;
    EXPECT_TRUE(KelSimAreaExport(Folder(), disk, &area, &err)) << err;
    return area;
  }

  std::string m_sda, m_sdb, m_sdc;
};

TEST_F(SimRecords, ControllerIdentityCarriesMakerChannelsCapabilityAndIndex) {
  std::string err;
  ASSERT_TRUE(KelSimSetCapability(Folder(), 0x0000000A, &err)) << err;
  _Controller_Info info;
  std::memset(&info, 0xEE, sizeof(info));
  ASSERT_NE(m_op->GetIDEControllerInformation(0, &info), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(info.szManufacturer), 16), "ZEP Technologies");
  EXPECT_EQ(info.byChannelNum, 3);  // the driver passes the count on; capping is the engine's
  EXPECT_EQ(info.Capability(), 0x0Au);
  EXPECT_EQ(info.byCtlerIndex, 1);
}

TEST_F(SimRecords, ControllerIndexFromByte76NamesTheControllerOfEveryCommand) {
  std::string err;
  ASSERT_TRUE(Folder().Transact(
      [](KelSimState& s, bool* dirty, std::string*) {
        s.controllerIndex = 2;
        *dirty = true;
        return true;
      },
      &err))
      << err;
  KelDrvInterface drv(std::make_unique<KelSimTransport>(SimDir()), Folder().DevDir());
  drv.SetSleep([](int) {});
  drv.SetRootLookup([](char*, int) { return 0; });
  ASSERT_EQ(drv.Drv_Init(), 0);
  EXPECT_EQ(drv.ControllerIndexes(), std::vector<uint8_t>{2});
  KelRaidBasicOp op(drv);
  _Controller_Info info;
  ASSERT_NE(op.GetIDEControllerInformation(2, &info), 0);
  EXPECT_EQ(info.byCtlerIndex, 3);
  // The controller-internal index in addressed commands is the same number.
  std::vector<uint8_t> area(KEL_CONF_BYTES);
  EXPECT_NE(op.ReadConfigData(2, 2, kSdaNo, area.data(), KEL_CONF_BYTES), 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(op.ReadConfigData(2, 0, kSdaNo, area.data(), KEL_CONF_BYTES), 0);
  EXPECT_EQ(op.GetIDEControllerInformation(0, &info), 0);  // no node of controller 0
  testing::internal::GetCapturedStdout();
}

TEST_F(SimRecords, ChannelInfoShowsDisksHubsAndUnusableChannels) {
  _Channel_Info c0, c1, c2;
  ASSERT_NE(m_op->GetChannelInformation(0, 0, &c0), 0);
  ASSERT_NE(m_op->GetChannelInformation(0, 1, &c1), 0);
  EXPECT_EQ(c0.byMaster, 0x01);  // a disk, not a hub
  EXPECT_EQ(c0.bySlave, 0x00);
  EXPECT_EQ(c0.byFlags & 0x04, 0);
  EXPECT_EQ(c1.byMaster, 0x00);
  EXPECT_EQ(c1.bySlave, 0x11);  // a device on the slave, and it is a hub
  EXPECT_EQ(c1.byFlags & 0x04, 0);

  std::string err;
  ASSERT_TRUE(KelSimSetChannel(Folder(), 2, false, 1, true, &err)) << err;
  ASSERT_NE(m_op->GetChannelInformation(0, 2, &c2), 0);
  EXPECT_EQ(c2.byMaster & 0x0F, 0);
  EXPECT_EQ(c2.bySlave & 0x0F, 0);
  EXPECT_NE(c2.byFlags & 0x04, 0);

  testing::internal::CaptureStdout();
  EXPECT_EQ(m_op->GetChannelInformation(0, 3, &c2), 0);  // no such channel
  testing::internal::GetCapturedStdout();
}

TEST_F(SimRecords, HubInfoCarriesPortMapAndDeviceCount) {
  _DeviceHub_Info hub;
  ASSERT_NE(m_op->GetDeviceHubInformation(0, 1, 1, &hub), 0);
  EXPECT_EQ(hub.PortMap(), 0x5u);  // ports 0 and 2
  EXPECT_EQ(hub.DeviceNum(), 2u);

  // A hub whose count disagrees with its map is passed on as it stands.
  AddHub(0, 1, 3);
  ASSERT_NE(m_op->GetDeviceHubInformation(0, 0, 1, &hub), 0);
  EXPECT_EQ(hub.PortMap(), 0u);
  EXPECT_EQ(hub.DeviceNum(), 3u);

  testing::internal::CaptureStdout();
  EXPECT_EQ(m_op->GetDeviceHubInformation(0, 0, 0, &hub), 0);  // a disk, not a hub
  EXPECT_EQ(m_op->GetDeviceHubInformation(0, 1, 2, &hub), 0);  // refused before sending
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Assersion [byHubIndex < 2] failed"), std::string::npos) << out;
}

TEST_F(SimRecords, DiskInfoCarriesIdentityInAtaOrderAndItsDeviceNumber) {
  _Device_Info d;
  ASSERT_NE(m_op->GetDeviceInformation(0, 0, 0, &d), 0);
  EXPECT_EQ(AtaText(d.szSerialNumber, 20), "SN0123456789ABCDEFGH");
  EXPECT_EQ(AtaText(d.szFirmwareRev, 8), "FW1.2");
  EXPECT_EQ(AtaText(d.szModelName, 40), "ZEP Model 7");
  EXPECT_EQ(d.szSerialNumber[0], 'N');  // ATA order on the wire: "SN" travels as "NS"
  EXPECT_EQ(d.DeviceNo(), kSdaNo);
  EXPECT_EQ(d.Capacity(), 20480u);  // sectors

  ASSERT_NE(m_op->GetDeviceInformation(0, 1, 4 + 2, &d), 0);  // slave side, hub port 2
  EXPECT_EQ(AtaText(d.szSerialNumber, 20), "HUBDISK2");
  EXPECT_EQ(d.DeviceNo(), kSdcNo);
  ASSERT_NE(m_op->GetDeviceInformation(0, 1, 4, &d), 0);
  EXPECT_EQ(d.DeviceNo(), kSdbNo);

  testing::internal::CaptureStdout();
  EXPECT_EQ(m_op->GetDeviceInformation(0, 1, 4 + 1, &d), 0);  // empty hub port
  EXPECT_EQ(m_op->GetDeviceInformation(0, 0, 4, &d), 0);      // empty slave
  testing::internal::GetCapturedStdout();
}

TEST_F(SimRecords, SerialChecksumMatchesTheTextsTheSimulatorWasGiven) {
  _Device_Info d;
  ASSERT_NE(m_op->GetDeviceInformation(0, 0, 0, &d), 0);
  auto padded = [](std::string s, size_t w) {
    s.resize(w, ' ');
    return s;
  };
  std::string all = padded("SN0123456789ABCDEFGH", 20) + padded("FW1.2", 8) +
                    padded("ZEP Model 7", 40);
  uint32_t sum = 0;
  for (size_t i = 0; i < all.size(); i += 4) {
    uint32_t w = 0;
    for (int b = 3; b >= 0; --b) w = (w << 8) | static_cast<uint8_t>(all[i + b]);
    sum += w;
  }
  EXPECT_EQ(MakeDeviceSerialChksum(&d), sum);
}

TEST_F(SimRecords, ReadConfigDataReturnsAnImportedArea) {
  std::vector<uint8_t> area = Pattern(3);
  std::string err;
  ASSERT_TRUE(KelSimAreaImport(Folder(), m_sdc, area, &err)) << err;
  std::vector<uint8_t> got(KEL_CONF_BYTES, 0xEE);
  ASSERT_NE(m_op->ReadConfigData(0, 0, kSdcNo, got.data(), KEL_CONF_BYTES), 0);
  EXPECT_EQ(got, area);
  // A disk never written reads as zeros.
  ASSERT_NE(m_op->ReadConfigData(0, 0, kSdbNo, got.data(), KEL_CONF_BYTES), 0);
  EXPECT_EQ(got, std::vector<uint8_t>(KEL_CONF_BYTES, 0));

  testing::internal::CaptureStdout();
  EXPECT_EQ(m_op->ReadConfigData(0, 0, 7, got.data(), KEL_CONF_BYTES), 0);  // no disk 7
  testing::internal::GetCapturedStdout();
}

TEST_F(SimRecords, WriteMultiConfDataWritesTwoDisksInOneCommand) {
  std::vector<uint8_t> a = Pattern(11), b = Pattern(99);
  KelMultiConfNode* list = PrePareMultiConfData(0, kSdaNo, a.data(), KEL_CONF_BYTES, nullptr);
  list = PrePareMultiConfData(0, kSdcNo, b.data(), KEL_CONF_BYTES, list);
  ASSERT_EQ(KelMultiConfCount(list), 2);
  KelUCmdPacket packet(nullptr, m_op.get());
  EXPECT_NE(m_op->WriteMultiConfData(0, list, 2, &packet), 0);
  KelMultiConfFree(list);

  EXPECT_EQ(Export(m_sda), a);
  EXPECT_EQ(Export(m_sdc), b);
  EXPECT_EQ(Export(m_sdb), std::vector<uint8_t>(KEL_CONF_BYTES, 0));
  std::vector<uint8_t> got(KEL_CONF_BYTES);
  ASSERT_NE(m_op->ReadConfigData(0, 0, kSdcNo, got.data(), KEL_CONF_BYTES), 0);
  EXPECT_EQ(got, b);
}

TEST_F(SimRecords, MultiAreaWriteStoppedAfterOneAreaLeavesTheRestUntouched) {
  std::vector<uint8_t> a = Pattern(1), b = Pattern(2), c = Pattern(5);
  KelMultiConfNode* list = PrePareMultiConfData(0, kSdaNo, a.data(), KEL_CONF_BYTES, nullptr);
  list = PrePareMultiConfData(0, kSdbNo, b.data(), KEL_CONF_BYTES, list);
  list = PrePareMultiConfData(0, kSdcNo, c.data(), KEL_CONF_BYTES, list);
  std::string err;
  ASSERT_TRUE(KelSimSetPowerLoss(Folder(), 1, &err)) << err;

  // One delivery, as the driver frames it, through one node: the areas after the first
  // are never written.
  KelUcmdBuffer buf;
  ASSERT_TRUE(buf.Build(KEL_UCMD_WRITE_MULTI_CONF, 3 * sizeof(_Multi_PD_Conf_Item) + 3));
  buf.param()[0] = 3;
  uint8_t* dst = buf.param() + 2;
  for (KelMultiConfNode* n = list; n != nullptr; n = n->next, dst += sizeof(_Multi_PD_Conf_Item))
    std::memcpy(dst, &n->item, sizeof(_Multi_PD_Conf_Item));
  testing::internal::CaptureStdout();
  EXPECT_EQ(m_drv->SendToNode(m_sda, buf), KelDrvSendResult::kFailed);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("simulated power loss after 1 of 3 areas"), std::string::npos) << out;
  EXPECT_EQ(Export(m_sda), a);
  EXPECT_EQ(Export(m_sdb), std::vector<uint8_t>(KEL_CONF_BYTES, 0));
  EXPECT_EQ(Export(m_sdc), std::vector<uint8_t>(KEL_CONF_BYTES, 0));

  // Through the wrapper the same one-shot loss is retried away: the second try writes all.
  ASSERT_TRUE(KelSimSetPowerLoss(Folder(), 2, &err)) << err;
  testing::internal::CaptureStdout();
  EXPECT_NE(m_op->WriteMultiConfData(0, list, 3, nullptr), 0);
  out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("simulated power loss after 2 of 3 areas"), std::string::npos) << out;
  EXPECT_EQ(Export(m_sdb), b);
  EXPECT_EQ(Export(m_sdc), c);
  KelMultiConfFree(list);
}

TEST_F(SimRecords, SmartPagesAndStatusComeBackThroughTheDriver) {
  std::string err;
  ASSERT_TRUE(KelSimSetSmart(Folder(), m_sdb, 1, {{5, 90, 36}, {200, 42, 10}}, &err)) << err;
  uint8_t values[512], thresholds[512], status[1] = {0xEE};
  const uint8_t readValues[1] = {0xD0}, readThresholds[1] = {0xD1}, returnStatus[1] = {0xDA};
  ASSERT_NE(m_op->ExecSmartCmdRBOP(0, 0, kSdbNo, readValues, values, sizeof(values)), 0);
  ASSERT_NE(m_op->ExecSmartCmdRBOP(0, 0, kSdbNo, readThresholds, thresholds, 512), 0);
  ASSERT_NE(m_op->ExecSmartCmdRBOP(0, 0, kSdbNo, returnStatus, status, 1), 0);
  EXPECT_EQ(status[0], 1);
  EXPECT_EQ(std::accumulate(values, values + 512, 0u) & 0xFF, 0u);
  EXPECT_EQ(std::accumulate(thresholds, thresholds + 512, 0u) & 0xFF, 0u);
  bool seen5 = false, seen200 = false;
  for (int i = 0; i < 30; ++i) {
    const uint8_t* v = values + 2 + 12 * i;
    const uint8_t* t = thresholds + 2 + 12 * i;
    EXPECT_EQ(v[0], t[0]) << "slot " << i;
    if (v[0] == 5) {
      seen5 = true;
      EXPECT_EQ(v[3], 90);
      EXPECT_EQ(t[1], 36);
    }
    if (v[0] == 200) {
      seen200 = true;
      EXPECT_EQ(v[3], 42);
      EXPECT_EQ(t[1], 10);
    }
  }
  EXPECT_TRUE(seen5);
  EXPECT_TRUE(seen200);
}

TEST_F(SimRecords, HotplugIsReportedOnceAfterEachChange) {
  _CHECK_CTLER_HOTPLUG_EVENT_IOBUFFER ev;
  ASSERT_NE(m_op->CheckControllerHotplugInfo(0, &ev), 0);
  EXPECT_EQ(ev.byChanged, 1);  // the disks added in SetUp
  ASSERT_NE(m_op->CheckControllerHotplugInfo(0, &ev), 0);
  EXPECT_EQ(ev.byChanged, 0);
  std::string err;
  ASSERT_TRUE(KelSimUnplug(Folder(), m_sdb, &err)) << err;
  testing::internal::CaptureStdout();  // the pulled node may be tried and dropped first
  ASSERT_NE(m_op->CheckControllerHotplugInfo(0, &ev), 0);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(ev.byChanged, 1);
  ASSERT_NE(m_op->CheckControllerHotplugInfo(0, &ev), 0);
  EXPECT_EQ(ev.byChanged, 0);
}

TEST_F(SimRecords, RealTargetsOfANodeNameItsPlainDisk) {
  _Real_Targets_Pos_Info info;
  std::memset(&info, 0xEE, sizeof(info));
  ASSERT_NE(m_op->QueryRealTargetsRBOP((Folder().DevDir() + "/" + m_sdc).c_str(), &info), 0);
  EXPECT_NE(info.byValid, 0);
  EXPECT_EQ(info.byIsLogicTarget, 0);
  EXPECT_EQ(info.DeviceNo(0), kSdcNo);
  for (int i = 1; i < 8; ++i) EXPECT_EQ(info.DeviceNo(i), 0xFFFF) << i;
  EXPECT_EQ(info.byCtlerInternalIndex, 0);
  // A partition node answers for its disk.
  ASSERT_TRUE(WriteMbr(kSdbNo));
  ASSERT_NE(m_op->QueryRealTargetsRBOP((m_sdb + "1").c_str(), &info), 0);
  EXPECT_EQ(info.DeviceNo(0), kSdbNo);
}

TEST_F(SimRecords, TheRootDiskIsTheOnlySystemDisk) {
  EXPECT_EQ(m_drv->IsSystemDisk(0, kSdaNo), 0);  // no root marked at detection
  ASSERT_TRUE(WriteMbr(kSdcNo));
  std::string err;
  ASSERT_TRUE(KelSimSetRoot(Folder(), m_sdc, &err)) << err;
  EXPECT_NE(m_op->CheckSystemDiskRBOP(), 0);
  EXPECT_EQ(m_drv->IsSystemDisk(0, kSdcNo), 2);
  EXPECT_EQ(m_drv->IsSystemDisk(0, kSdaNo), 0);
  EXPECT_EQ(m_drv->IsSystemDisk(0, kSdbNo), 0);
  EXPECT_EQ(m_drv->IsSystemDisk(1, kSdcNo), 0);  // another controller's disk 14
  EXPECT_EQ(m_drv->IsSystemVD(0, kSdcNo, 0), 0);  // a plain disk is no logical target

  // The rule follows the mark to another disk at the next refresh.
  ASSERT_TRUE(WriteMbr(kSdaNo));
  ASSERT_TRUE(KelSimSetRoot(Folder(), m_sda, &err)) << err;
  m_drv->CheckSystemDisks();
  EXPECT_EQ(m_drv->IsSystemDisk(0, kSdaNo), 2);
  EXPECT_EQ(m_drv->IsSystemDisk(0, kSdcNo), 0);
}

TEST_F(SimRecords, AcknowledgedCommandsSucceedAndRawWritesStayOutOfTheReservedSectors) {
  KelUCmdPacket packet(nullptr, m_op.get());
  EXPECT_NE(m_op->ClearDeviceDirtyFlagRBOP(0, 0, kSdbNo, 0, 1), 0);
  EXPECT_NE(m_op->NotifyOsBusChanged(0, &packet), 0);
  EXPECT_NE(m_op->KeepLogicTargetForVD(0, 0, kSdbNo, 1, &packet), 0);

  std::vector<uint8_t> data(HD_SECTOR_SIZE, 0x5A);
  _DISK_IO_POS_EX pos{};
  pos.wdDeviceNo = kSdcNo;
  pos.dw64StartLBA = 12288 - 32;  // first reserved sector
  pos.dw64SectorCount = 1;
  _DISK_IO_RESULT res{};
  testing::internal::CaptureStdout();
  EXPECT_EQ(m_op->WriteDeviceDataRBOP(&pos, data.data(), &res), 0);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(res.dw64SectorsDone, 0u);
  EXPECT_EQ(Export(m_sdc), std::vector<uint8_t>(KEL_CONF_BYTES, 0));
  pos.dw64StartLBA = 12288 - 33;  // last user sector
  EXPECT_NE(m_op->WriteDeviceDataRBOP(&pos, data.data(), &res), 0);
  EXPECT_EQ(res.dw64SectorsDone, 1u);
}

TEST_F(SimRecords, DataMovingWrappersFailUntilTheSimulatorMovesData) {
  _SYNC_RAID_IOBUFFER sync{};
  sync.byPairNum = 1;
  sync.pairs[0].SetDeviceNo(kSdbNo);
  sync.SetSectorCount(128);
  _SYNC_SAVESTARTADDR_IOBUFFER syncSave{};
  _MIGRATE_RAID_IOBUFFER mig{};
  mig.SetSectorCount(128);
  _MIGRATE_SAVESTARTADDR_IOBUFFER migSave{};
  _LASTUSERDATA_POS_INFO src{}, dst{};
  testing::internal::CaptureStdout();
  EXPECT_EQ(m_op->SyncMirrorRBOP(0, &sync), 0);
  EXPECT_EQ(m_op->SyncRaid5RBOP(0, &sync), 0);
  EXPECT_EQ(m_op->SyncSaveAddrRBOP(0, &syncSave), 0);
  EXPECT_EQ(m_op->MigrateArrayRBOP(0, &mig), 0);
  EXPECT_EQ(m_op->MigrateSaveAddrRBOP(0, &migSave), 0);
  EXPECT_EQ(m_op->RecoverLastUserDataRBOP(0, kSdbNo, &src, 100), 0);
  EXPECT_EQ(m_op->MoveLastUserData(0, kSdbNo, &src, &dst), 0);
  EXPECT_EQ(m_op->ReplaceVDRBOP(0, 0, kSdbNo, 0, 0, kSdcNo, 0, 0, 128), 0);
  std::string out = testing::internal::GetCapturedStdout();
  for (const char* code : {"0x09", "0x28", "0x15", "0x16", "0x52", "0x51", "0x17"})
    EXPECT_NE(out.find(std::string("sub-command ") + code + " is not simulated yet"),
              std::string::npos)
        << code;
  // The failures cost the driver its nodes; the next command finds them again.
  _Controller_Info info;
  EXPECT_NE(m_op->GetIDEControllerInformation(0, &info), 0);
  EXPECT_EQ(m_drv->GetControllerNum(), 1);
}

}  // namespace
