// The simulated controller's answers, byte for byte at the offsets the driver layer reads,
// and its faults: counted and permanent failures, a multi-area write cut short, hot-plug
// reported once, and the data-moving sub-commands refused.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "sim/sim_codec.h"
#include "sim/sim_ops.h"
#include "sim/sim_transport.h"
#include "tests/sim/sim_test_dir.h"

namespace {

const unsigned char kCdb[10] = {0xFF, 0x17, 0x5A, 0, 0, 0, 0, 0, 0, 0};

// A page-rounded UCMD buffer for `code` with a parameter area of `plen` bytes.
std::vector<unsigned char> Ucmd(uint8_t code, size_t plen) {
  size_t need = 36 + plen + 1;
  std::vector<unsigned char> b((need + 4095) / 4096 * 4096, 0);
  SimPutU16(b.data(), 28, 0x5A17);
  b[30] = code;
  SimPutU32(b.data(), 32, static_cast<uint32_t>(plen));
  return b;
}

class SimTransportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string err;
    ASSERT_TRUE(KelSimInit(m_dir.Sim(), 3, &err)) << err;
    KelSimDiskSpec spec;
    spec.sectors = 8192;
    spec.serial = "SN0123456789";
    spec.model = "ZEP Model 7";
    spec.firmware = "FW12";
    ASSERT_TRUE(KelSimAddDisk(m_folder, spec, &m_sda, &err)) << err;  // channel 0 master
    ASSERT_TRUE(KelSimAddHub(m_folder, 1, 1, &err)) << err;
    spec = {};
    spec.channel = 1;
    spec.side = 1;
    spec.port = 2;
    spec.sectors = 16384;
    ASSERT_TRUE(KelSimAddDisk(m_folder, spec, &m_sdb, &err)) << err;  // device number 14
  }

  KelDrvSendResult Send(std::vector<unsigned char>& b, const std::string& node = "sda") {
    return m_tr.Send(node, kCdb, b.data(), b.size());
  }

  // Reads the configuration area of the disk with device number `dev` through 0x0C.
  KelDrvSendResult ReadArea(uint16_t dev, std::vector<unsigned char>* area) {
    auto b = Ucmd(0x0C, 3072 + 7);
    SimPutU16(b.data(), 36 + 2, dev);
    b[36 + 5] = 6;
    KelDrvSendResult r = Send(b);
    area->assign(b.begin() + 36 + 6, b.begin() + 36 + 6 + 3072);
    return r;
  }

  SimTestDir m_dir;
  KelSimFolder m_folder{m_dir.Sim()};
  KelSimTransport m_tr{m_dir.Sim()};
  std::string m_sda, m_sdb;
};

}  // namespace

TEST_F(SimTransportTest, ControllerIdentityCarriesManufacturerCountCapabilityAndIndex) {
  auto b = Ucmd(0x01, 84);
  ASSERT_EQ(Send(b), KelDrvSendResult::kOk);
  const unsigned char* p = b.data() + 36;
  EXPECT_EQ(std::memcmp(p + 36, "ZEP Technologies", 16), 0);
  EXPECT_EQ(p[71], 3);  // the real count, not capped
  EXPECT_EQ(SimGetU32(p, 72), 0x0Fu);
  EXPECT_EQ(p[76], 1);
}

TEST_F(SimTransportTest, ChannelRecordsShowDisksHubsAndUnusableChannels) {
  std::string err;
  ASSERT_TRUE(m_folder.Transact(
      [](KelSimState& s, bool* dirty, std::string*) {
        s.channels[2].usable = false;
        *dirty = true;
        return true;
      },
      &err));
  uint8_t expect13[3] = {0x01, 0x00, 0x00}, expect14[3] = {0x00, 0x11, 0x00};
  for (uint8_t ch = 0; ch < 3; ++ch) {
    auto b = Ucmd(0x02, 30);
    b[36] = ch;
    ASSERT_EQ(Send(b), KelDrvSendResult::kOk);
    const unsigned char* r = b.data() + 36 + 2;
    EXPECT_EQ(r[13], expect13[ch]) << "channel " << int(ch);
    EXPECT_EQ(r[14], expect14[ch]) << "channel " << int(ch);
    EXPECT_EQ((r[16] & 4) != 0, ch == 2);
  }
  auto b = Ucmd(0x02, 30);
  b[36] = 3;
  EXPECT_EQ(Send(b), KelDrvSendResult::kFailed);
}

TEST_F(SimTransportTest, HubRecordHoldsPortMapAndDeviceCount) {
  auto b = Ucmd(0x03, 60);
  b[36] = 1;
  b[37] = 1;
  ASSERT_EQ(Send(b), KelDrvSendResult::kOk);
  EXPECT_EQ(SimGetU32(b.data() + 38, 36), 0x4u);
  EXPECT_EQ(SimGetU16(b.data() + 38, 40), 1);
  b = Ucmd(0x03, 60);
  b[36] = 0;
  b[37] = 0;  // a disk, not a hub
  EXPECT_EQ(Send(b), KelDrvSendResult::kFailed);
}

TEST_F(SimTransportTest, DiskIdentityIsInAtaOrderWithDeviceNumber) {
  auto b = Ucmd(0x04, 230);
  b[36] = 1;
  b[37] = 1;
  SimPutU16(b.data(), 38, 2);
  ASSERT_EQ(Send(b), KelDrvSendResult::kOk);
  EXPECT_EQ(SimGetU16(b.data() + 40, 214), 14);

  b = Ucmd(0x04, 230);  // channel 0 master, direct
  ASSERT_EQ(Send(b), KelDrvSendResult::kOk);
  const unsigned char* d = b.data() + 40;
  EXPECT_EQ(std::memcmp(d + 8, "NS1032547698    ", 16), 0);
  EXPECT_EQ(SimGetAtaText(d, 8, 20), "SN0123456789");
  EXPECT_EQ(SimGetAtaText(d, 40, 8), "FW12");
  EXPECT_EQ(SimGetAtaText(d, 56, 40), "ZEP Model 7");
  EXPECT_EQ(std::memcmp(d + 56, "EZ PoMed l 7", 12), 0);
  EXPECT_EQ(SimGetU16(d, 214), 0);
  EXPECT_EQ(SimGetU64(d, 28), 8192u);

  b = Ucmd(0x04, 230);
  b[37] = 1;  // channel 0 slave is empty
  EXPECT_EQ(Send(b), KelDrvSendResult::kFailed);
}

TEST_F(SimTransportTest, ExportedAreaMatchesWhatTheDriverReadsAndImportIsReadBack) {
  std::vector<unsigned char> area(3072);
  for (size_t i = 0; i < area.size(); ++i) area[i] = static_cast<unsigned char>(i * 7 + 1);
  std::string err;
  ASSERT_TRUE(KelSimAreaImport(m_folder, m_sdb, area, &err)) << err;
  std::vector<unsigned char> read;
  ASSERT_EQ(ReadArea(14, &read), KelDrvSendResult::kOk);
  EXPECT_EQ(read, area);
  std::vector<unsigned char> exported;
  ASSERT_TRUE(KelSimAreaExport(m_folder, m_sdb, &exported, &err));
  EXPECT_EQ(exported, area);
  ASSERT_EQ(ReadArea(0, &read), KelDrvSendResult::kOk);  // sda untouched
  EXPECT_EQ(read, std::vector<unsigned char>(3072, 0));
  EXPECT_FALSE(KelSimAreaImport(m_folder, m_sdb, std::vector<unsigned char>(3071), &err));
}

TEST_F(SimTransportTest, MultiAreaWriteStopsAfterKAreasOnPowerLoss) {
  auto build = [](uint8_t fill0, uint8_t fill1) {
    auto b = Ucmd(0x11, 2 * 3084 + 3);
    unsigned char* p = b.data() + 36;
    p[0] = 2;
    uint16_t devs[2] = {0, 14};
    uint8_t fills[2] = {fill0, fill1};
    for (int i = 0; i < 2; ++i) {
      unsigned char* it = p + 2 + i * 3084;
      SimPutU32(it, 0, 3084);
      SimPutU16(it, 6, devs[i]);
      it[9] = 6;
      std::memset(it + 10, fills[i], 3072);
    }
    return b;
  };
  std::string err;
  ASSERT_TRUE(KelSimSetPowerLoss(m_folder, 1, &err));
  auto b = build(0xA1, 0xB1);
  EXPECT_EQ(Send(b), KelDrvSendResult::kFailed);
  std::vector<unsigned char> a0, a1;
  ASSERT_EQ(ReadArea(0, &a0), KelDrvSendResult::kOk);
  ASSERT_EQ(ReadArea(14, &a1), KelDrvSendResult::kOk);
  EXPECT_EQ(a0, std::vector<unsigned char>(3072, 0xA1));
  EXPECT_EQ(a1, std::vector<unsigned char>(3072, 0));

  b = build(0xA2, 0xB2);  // the power loss happened once
  EXPECT_EQ(Send(b), KelDrvSendResult::kOk);
  ASSERT_EQ(ReadArea(14, &a1), KelDrvSendResult::kOk);
  EXPECT_EQ(a1, std::vector<unsigned char>(3072, 0xB2));
}

TEST_F(SimTransportTest, CountedFaultFailsExactlyThatOftenAndAlwaysStaysUntilCleared) {
  std::string err;
  ASSERT_TRUE(KelSimSetFault(m_folder, m_sdb, 0x0C, 2, &err));
  std::vector<unsigned char> area;
  EXPECT_EQ(ReadArea(14, &area), KelDrvSendResult::kFailed);
  EXPECT_EQ(ReadArea(0, &area), KelDrvSendResult::kOk);  // another disk is not affected
  EXPECT_EQ(ReadArea(14, &area), KelDrvSendResult::kFailed);
  EXPECT_EQ(ReadArea(14, &area), KelDrvSendResult::kOk);

  ASSERT_TRUE(KelSimSetFault(m_folder, m_sda, 0x04, -1, &err));
  for (int i = 0; i < 3; ++i) {
    auto b = Ucmd(0x04, 230);
    EXPECT_EQ(Send(b, "sdb"), KelDrvSendResult::kFailed);
  }
  ASSERT_TRUE(KelSimSetFault(m_folder, m_sda, 0x04, 0, &err));
  auto b = Ucmd(0x04, 230);
  EXPECT_EQ(Send(b, "sdb"), KelDrvSendResult::kOk);
}

TEST_F(SimTransportTest, HotplugIsReportedOnceAfterUnplug) {
  auto query = [&] {
    auto b = Ucmd(0x70, 120);
    std::memset(b.data() + 36, 0xFF, 120);
    EXPECT_EQ(Send(b), KelDrvSendResult::kOk);
    return b[36 + 109];
  };
  EXPECT_EQ(query(), 1);  // the disks added in SetUp
  EXPECT_EQ(query(), 0);
  std::string err;
  ASSERT_TRUE(KelSimUnplug(m_folder, m_sdb, &err));
  EXPECT_EQ(query(), 1);
  EXPECT_EQ(query(), 0);
  auto b = Ucmd(0x01, 84);
  EXPECT_EQ(Send(b, "sdb"), KelDrvSendResult::kNoNode);
}

TEST_F(SimTransportTest, RealTargetsNameThePlainDiskBehindANode) {
  auto b = Ucmd(0x13, 60);
  ASSERT_EQ(Send(b, "sdb"), KelDrvSendResult::kOk);
  const unsigned char* p = b.data() + 36;
  EXPECT_EQ(p[0], 1);
  EXPECT_EQ(p[1], 0);
  EXPECT_EQ(SimGetU16(p, 2), 14);
  EXPECT_EQ(SimGetU16(p, 4), 0xFFFF);
  EXPECT_EQ(p[26], 0);
}

TEST_F(SimTransportTest, SmartPagesAndStatusFollowTheSettings) {
  std::string err;
  ASSERT_TRUE(KelSimSetSmart(m_folder, m_sda, 7, {{5, 10, 36}}, &err));
  auto smart = [&](uint8_t feature, uint16_t len) {
    auto b = Ucmd(0x53, 8u + len + 1);
    b[36 + 4] = feature;
    SimPutU16(b.data(), 36 + 6, len);
    EXPECT_EQ(Send(b), KelDrvSendResult::kOk);
    return std::vector<unsigned char>(b.begin() + 44, b.begin() + 44 + len);
  };
  EXPECT_EQ(smart(0xDA, 1)[0], 7);
  auto values = smart(0xD0, 512), thresholds = smart(0xD1, 512);
  bool found = false;
  for (int i = 0; i < 30; ++i) {
    const unsigned char* v = values.data() + 2 + 12 * i;
    const unsigned char* t = thresholds.data() + 2 + 12 * i;
    if (v[0] != 5) continue;
    found = true;
    EXPECT_EQ(v[3], 10);
    EXPECT_EQ(t[0], 5);
    EXPECT_EQ(t[1], 36);
  }
  EXPECT_TRUE(found);
  unsigned sum = 0;
  for (unsigned char c : values) sum += c;
  EXPECT_EQ(sum % 256, 0u);
  auto b = Ucmd(0x53, 9);
  b[36 + 4] = 0xD3;
  EXPECT_EQ(Send(b), KelDrvSendResult::kFailed);
}

TEST_F(SimTransportTest, WriteDataLandsOnTheImageAndStaysOutOfTheReservedSectors) {
  auto b = Ucmd(0x07, 512 + 25);
  unsigned char* p = b.data() + 36;
  SimPutU64(p, 8, 0);
  SimPutU64(p, 16, 1);
  p[24 + 446 + 4] = 0x83;
  p[24 + 510] = 0x55;
  p[24 + 511] = 0xAA;
  ASSERT_EQ(Send(b), KelDrvSendResult::kOk);
  auto nodes = m_tr.ListNodes();
  EXPECT_NE(std::find(nodes.begin(), nodes.end(), "sda1"), nodes.end());

  SimPutU64(p, 8, 8192 - 32);
  EXPECT_EQ(Send(b), KelDrvSendResult::kFailed);
}

TEST_F(SimTransportTest, AcknowledgingSubCommandsSucceed) {
  for (uint8_t code : {0x0E, 0x0F, 0x12}) {
    auto b = Ucmd(code, 12);
    EXPECT_EQ(Send(b), KelDrvSendResult::kOk) << std::hex << int(code);
  }
}

TEST_F(SimTransportTest, DataMovingSubCommandsReportFailure) {
  for (uint8_t code : {0x09, 0x15, 0x16, 0x17, 0x28, 0x51, 0x52}) {
    auto b = Ucmd(code, 42);
    testing::internal::CaptureStdout();
    EXPECT_EQ(Send(b), KelDrvSendResult::kFailed) << std::hex << int(code);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("not simulated"), std::string::npos);
  }
}

TEST_F(SimTransportTest, WrongSignatureOrCdbIsRefused) {
  auto b = Ucmd(0x01, 84);
  b[28] = 0;
  EXPECT_EQ(Send(b), KelDrvSendResult::kFailed);
  b = Ucmd(0x01, 84);
  unsigned char cdb[10] = {0xFF, 0x5A, 0x17};
  EXPECT_EQ(m_tr.Send("sda", cdb, b.data(), b.size()), KelDrvSendResult::kFailed);
  b = Ucmd(0x01, 84);
  SimPutU32(b.data(), 32, 5000);  // larger than the buffer
  EXPECT_EQ(Send(b), KelDrvSendResult::kFailed);
}

TEST_F(SimTransportTest, HubMayReportACountThatDisagreesWithItsPortMap) {
  std::string err;
  ASSERT_TRUE(KelSimAddHub(m_folder, 2, 0, &err, 3)) << err;
  KelSimDiskSpec spec;
  spec.channel = 2;
  spec.sectors = 4096;
  std::string name;
  for (int port : {0, 3}) {
    spec.port = port;
    ASSERT_TRUE(KelSimAddDisk(m_folder, spec, &name, &err)) << err;
  }
  auto b = Ucmd(0x03, 60);
  b[36] = 2;
  ASSERT_EQ(Send(b), KelDrvSendResult::kOk);
  EXPECT_EQ(SimGetU32(b.data() + 38, 36), 0x9u);
  EXPECT_EQ(SimGetU16(b.data() + 38, 40), 3);
}

TEST_F(SimTransportTest, FaultOnOneDiskFailsTheMultiAreaWriteAtItsItem) {
  std::string err;
  ASSERT_TRUE(KelSimSetFault(m_folder, m_sdb, 0x11, 1, &err));
  auto b = Ucmd(0x11, 2 * 3084 + 3);
  unsigned char* p = b.data() + 36;
  p[0] = 2;
  for (int i = 0; i < 2; ++i) {
    unsigned char* it = p + 2 + i * 3084;
    SimPutU32(it, 0, 3084);
    SimPutU16(it, 6, i == 0 ? 14 : 0);
    it[9] = 6;
    std::memset(it + 10, 0xC3, 3072);
  }
  EXPECT_EQ(Send(b), KelDrvSendResult::kFailed);
  std::vector<unsigned char> area;
  ASSERT_EQ(ReadArea(0, &area), KelDrvSendResult::kOk);
  EXPECT_EQ(area, std::vector<unsigned char>(3072, 0));  // the write stopped at sdb's item
  EXPECT_EQ(Send(b), KelDrvSendResult::kOk);
  ASSERT_EQ(ReadArea(0, &area), KelDrvSendResult::kOk);
  EXPECT_EQ(area, std::vector<unsigned char>(3072, 0xC3));
}
