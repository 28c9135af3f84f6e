// The typed driver wrappers the simulated controller answers, each answer decoded field by
// field through the driver's own records: the two sides were written apart from the same
// byte layouts, and these tests are where a field at the wrong offset shows. The bytes of
// the wrappers it only refuses or acknowledges are checked in raid_basic_op_test.cc, the
// real-targets answer in drv_sim_detect_test.cc, channel and hub records through the engine
// in tests/engine/dm_rescan_test.cc.
#include <gtest/gtest.h>

#include <functional>
#include <numeric>

#include "driver/drv_ucmd.h"
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
  const std::vector<uint8_t> kZeros = std::vector<uint8_t>(KEL_CONF_BYTES, 0);

  std::string m_sda, m_sdb, m_sdc;
};

TEST_F(SimRecords, ControllerIdentityCarriesMakerChannelsCapabilityAndTheIndexOfEveryCommand) {
  std::string err;
  ASSERT_TRUE(KelSimSetCapability(Folder(), 0x0000000A, &err)) << err;
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
  EXPECT_EQ(drv.Entries().back().second, 2);
  KelRaidBasicOp op(drv);
  _Controller_Info info;
  std::memset(&info, 0xEE, sizeof(info));
  ASSERT_NE(op.GetIDEControllerInformation(2, &info), 0);
  EXPECT_EQ(info.byChannelNum, 3);  // the driver passes the count on; capping is the engine's
  EXPECT_EQ(info.Capability(), 0x0Au);
  EXPECT_EQ(info.byCtlerIndex, 3);  // byte 76: the controller index plus one
  // The controller-internal index in addressed commands is the same number.
  std::vector<uint8_t> area(KEL_CONF_BYTES);
  EXPECT_NE(op.ReadConfigData(2, 2, kSdaNo, area.data(), KEL_CONF_BYTES), 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(op.ReadConfigData(2, 0, kSdaNo, area.data(), KEL_CONF_BYTES), 0);
  EXPECT_EQ(op.GetIDEControllerInformation(0, &info), 0);  // no node of controller 0
  testing::internal::GetCapturedStdout();
}

TEST_F(SimRecords, DiskInfoCarriesIdentityInAtaOrderAndItsDeviceNumber) {
  _Device_Info d;
  ASSERT_NE(m_op->GetDeviceInformation(0, 0, 0, &d), 0);
  EXPECT_EQ(AtaText(d.szSerialNumber, 20), "SN0123456789ABCDEFGH");  // the whole field
  EXPECT_EQ(d.szSerialNumber[0], 'N');  // ATA order on the wire: "SN" travels as "NS"
  EXPECT_EQ(AtaText(d.szFirmwareRev, 8), "FW1.2");
  EXPECT_EQ(AtaText(d.szModelName, 40), "ZEP Model 7");
  EXPECT_EQ(d.Capacity(), 20480u);  // sectors
  ASSERT_NE(m_op->GetDeviceInformation(0, 1, 4 + 2, &d), 0);  // slave side, hub port 2
  EXPECT_EQ(AtaText(d.szSerialNumber, 20), "HUBDISK2");
  EXPECT_EQ(d.DeviceNo(), kSdcNo);
}

TEST_F(SimRecords, QueriesForWhatIsNotThereFail) {
  _Channel_Info ch;
  _DeviceHub_Info hub;
  _Device_Info dev;
  _Controller_Info ctl;
  std::vector<uint8_t> area(KEL_CONF_BYTES);
  const std::pair<const char*, std::function<int()>> cases[] = {
      {"channel 3", [&] { return m_op->GetChannelInformation(0, 3, &ch); }},
      {"hub on a disk", [&] { return m_op->GetDeviceHubInformation(0, 0, 0, &hub); }},
      {"empty hub port", [&] { return m_op->GetDeviceInformation(0, 1, 4 + 1, &dev); }},
      {"empty slave", [&] { return m_op->GetDeviceInformation(0, 0, 4, &dev); }},
      {"disk 7", [&] { return m_op->ReadConfigData(0, 0, 7, area.data(), KEL_CONF_BYTES); }},
      {"controller 1", [&] { return m_op->GetIDEControllerInformation(1, &ctl); }},
  };
  testing::internal::CaptureStdout();
  for (const auto& [what, call] : cases) EXPECT_EQ(call(), 0) << what;
  // A hub index above 1 is refused before anything is sent.
  size_t sent = m_transport->Sent().size();
  EXPECT_EQ(m_op->GetDeviceHubInformation(0, 1, 2, &hub), 0);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(m_transport->Sent().size(), sent);
  EXPECT_NE(out.find("Assersion [byHubIndex < 2] failed"), std::string::npos) << out;
}

TEST_F(SimRecords, ReadConfigDataReturnsAnImportedArea) {
  std::vector<uint8_t> area = Pattern(3);
  std::string err;
  ASSERT_TRUE(KelSimAreaImport(Folder(), m_sdc, area, &err)) << err;
  std::vector<uint8_t> got(KEL_CONF_BYTES + 1, 0xEE);
  ASSERT_NE(m_op->ReadConfigData(0, 0, kSdcNo, got.data(), KEL_CONF_BYTES), 0);
  EXPECT_EQ(got.back(), 0xEE);  // nothing beyond the area is copied
  got.pop_back();
  EXPECT_EQ(got, area);
  // A disk never written reads as zeros.
  ASSERT_NE(m_op->ReadConfigData(0, 0, kSdbNo, got.data(), KEL_CONF_BYTES), 0);
  EXPECT_EQ(got, kZeros);
}

TEST_F(SimRecords, AMultiAreaWriteCutShortLeavesLaterAreasUntouchedAndTheWrapperRetriesIt) {
  std::vector<uint8_t> b = Pattern(2), c = Pattern(5);
  std::string err;
  // One delivery, as the driver frames it, through one node: under either fault the first
  // area is written and the ones after it never are.
  const std::pair<std::function<bool()>, const char*> faults[] = {
      {[&] { return KelSimSetPowerLoss(Folder(), 1, &err); },
       "simulated power loss after 1 of 3 areas"},
      {[&] { return KelSimSetFault(Folder(), m_sdb, 0x11, 1, &err); },
       "simulated fault: sub-command 0x11 fails on sdb"},
  };
  uint8_t seed = 1;
  for (const auto& [inject, message] : faults) {
    SCOPED_TRACE(message);
    std::vector<uint8_t> a = Pattern(seed++);
    KelMultiConfNode* list = PrePareMultiConfData(0, kSdaNo, a.data(), KEL_CONF_BYTES, nullptr);
    list = PrePareMultiConfData(0, kSdbNo, b.data(), KEL_CONF_BYTES, list);
    list = PrePareMultiConfData(0, kSdcNo, c.data(), KEL_CONF_BYTES, list);
    KelUcmdBuffer buf;
    ASSERT_TRUE(buf.Build(KEL_UCMD_WRITE_MULTI_CONF, 3 * sizeof(_Multi_PD_Conf_Item) + 3));
    buf.param()[0] = 3;
    uint8_t* dst = buf.param() + 2;
    for (KelMultiConfNode* n = list; n != nullptr; n = n->next, dst += sizeof(n->item))
      std::memcpy(dst, &n->item, sizeof(n->item));
    KelMultiConfFree(list);
    ASSERT_TRUE(inject()) << err;
    testing::internal::CaptureStdout();
    EXPECT_EQ(m_drv->SendToNode(m_sda, buf), KelDrvSendResult::kFailed);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find(message), std::string::npos) << out;
    EXPECT_EQ(Export(m_sda), a);
    EXPECT_EQ(Export(m_sdb), kZeros);
    EXPECT_EQ(Export(m_sdc), kZeros);
    // After a power loss the controller stays dark until the power is back.
    EXPECT_EQ(m_drv->SendToNode(m_sda, buf) == KelDrvSendResult::kOk, seed > 2);
    ASSERT_TRUE(KelSimSetPowerLoss(Folder(), -1, &err)) << err;
  }

  // Through the wrapper a one-shot fault is retried away: one command carries both areas
  // and its second try writes them all.
  KelMultiConfNode* list = PrePareMultiConfData(0, kSdbNo, b.data(), KEL_CONF_BYTES, nullptr);
  list = PrePareMultiConfData(0, kSdcNo, c.data(), KEL_CONF_BYTES, list);
  ASSERT_EQ(KelMultiConfCount(list), 2);
  const std::vector<uint8_t> a = Export(m_sda);
  const size_t sent = m_transport->Sent().size();
  ASSERT_TRUE(KelSimSetFault(Folder(), m_sdc, 0x11, 1, &err)) << err;
  testing::internal::CaptureStdout();
  EXPECT_EQ(m_op->WriteMultiConfData(0, list, 3, nullptr), 0);  // more than the list holds
  EXPECT_NE(m_op->WriteMultiConfData(0, list, 2, nullptr), 0);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("simulated fault: sub-command 0x11 fails on sdc"), std::string::npos) << out;
  EXPECT_EQ(m_transport->Sent().size(), sent + 2);  // the write and its retry
  EXPECT_EQ(Export(m_sdb), b);
  EXPECT_EQ(Export(m_sdc), c);
  EXPECT_EQ(Export(m_sda), a);
  KelMultiConfFree(list);
}

TEST_F(SimRecords, SmartPagesAndStatusComeBackThroughTheDriver) {
  std::string err;
  ASSERT_TRUE(KelSimSetSmart(Folder(), m_sdb, 1, {{5, 90, 36}, {200, 42, 10}}, &err)) << err;
  uint8_t pages[2][512], status = 0xEE;
  const uint8_t features[3] = {0xD0, 0xD1, 0xDA};  // values, thresholds, return status
  for (int i = 0; i < 2; ++i) {
    ASSERT_NE(m_op->ExecSmartCmdRBOP(0, 0, kSdbNo, &features[i], pages[i], 512), 0);
    EXPECT_EQ(std::accumulate(pages[i], pages[i] + 512, 0u) & 0xFF, 0u);  // checksummed
  }
  ASSERT_NE(m_op->ExecSmartCmdRBOP(0, 0, kSdbNo, &features[2], &status, 1), 0);
  EXPECT_EQ(status, 1);
  int seen = 0;
  for (int i = 0; i < 30; ++i) {
    const uint8_t *v = pages[0] + 2 + 12 * i, *t = pages[1] + 2 + 12 * i;
    EXPECT_EQ(v[0], t[0]) << "slot " << i;
    if (v[0] == 5 || v[0] == 200) {
      ++seen;
      EXPECT_EQ(v[3], v[0] == 5 ? 90 : 42);
      EXPECT_EQ(t[1], v[0] == 5 ? 36 : 10);
    }
  }
  EXPECT_EQ(seen, 2);
}

TEST_F(SimRecords, HotplugIsReportedOnceAfterEachChange) {
  _CHECK_CTLER_HOTPLUG_EVENT_IOBUFFER ev;
  ASSERT_NE(m_op->CheckControllerHotplugInfo(0, &ev), 0);
  EXPECT_EQ(ev.byChanged, 1);  // the disks added in SetUp
  ASSERT_NE(m_op->CheckControllerHotplugInfo(0, &ev), 0);
  EXPECT_EQ(ev.byChanged, 0);
  std::string err;
  ASSERT_TRUE(KelSimUnplug(Folder(), m_sdb, &err)) << err;
  EXPECT_FALSE(KelSimUnplug(Folder(), m_sdb, &err));  // not twice
  testing::internal::CaptureStdout();  // the pulled node may be tried and dropped first
  ASSERT_NE(m_op->CheckControllerHotplugInfo(0, &ev), 0);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(ev.byChanged, 1);
  ASSERT_NE(m_op->CheckControllerHotplugInfo(0, &ev), 0);
  EXPECT_EQ(ev.byChanged, 0);
}

TEST_F(SimRecords, RawWritesStayOutOfTheReservedSectors) {
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
  EXPECT_EQ(Export(m_sdc), kZeros);
  pos.dw64StartLBA = 12288 - 33;  // last user sector
  EXPECT_NE(m_op->WriteDeviceDataRBOP(&pos, data.data(), &res), 0);
  EXPECT_EQ(res.dw64SectorsDone, 1u);
}

}  // namespace
