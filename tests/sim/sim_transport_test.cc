// The simulated controller at the byte level, for what the driver layer never sends or
// cannot count: malformed blocks refused, and faults that fail
// exactly as often as set. What
// the simulator answers to well-formed commands is checked through the driver in
// tests/integration/drv_sim_records_test.cc.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <vector>

#include "sim/sim_codec.h"
#include "sim/sim_ops.h"
#include "sim/sim_transport.h"
#include "sim/sim_volume_ops.h"
#include "tests/support/conf_area_builder.h"
#include "tests/support/temp_dir.h"

namespace {

const unsigned char kCdb[10] = {0xFF, 0x17, 0x5A, 0, 0, 0, 0, 0, 0, 0};

// A page-rounded UCMD buffer for `code` with a parameter area of `plen` bytes.
std::vector<unsigned char> Ucmd(uint8_t code, size_t plen) {
  std::vector<unsigned char> b((36 + plen + 1 + 4095) / 4096 * 4096, 0);  // and a spare byte
  SimPutU16(b.data(), 28, 0x5A17);
  b[30] = code;
  SimPutU32(b.data(), 32, static_cast<uint32_t>(plen));
  return b;
}

// An area read (0x0C) of the disk with device number `dev`.
std::vector<unsigned char> ReadArea(uint16_t dev) {
  auto b = Ucmd(0x0C, 3072 + 7);
  SimPutU16(b.data(), 36 + 2, dev);
  b[36 + 5] = 6;
  return b;
}

class SimTransportTest : public ::testing::Test {
 protected:
  // sda on channel 0 master (device number 0), sdb on channel 0 slave (device number 4).
  void SetUp() override {
    std::string err, name;
    ASSERT_TRUE(KelSimInit(m_sim, 2, &err)) << err;
    KelSimDiskSpec spec;
    spec.sectors = 8192;
    for (spec.side = 0; spec.side < 2; ++spec.side)
      ASSERT_TRUE(KelSimAddDisk(m_folder, spec, &name, &err)) << err;
  }

  KelDrvSendResult Send(std::vector<unsigned char> b, const std::string& node = "sda") {
    return m_tr.Send(node, kCdb, b.data(), b.size());
  }

  kel_test::TempDir m_dir;
  const std::string m_sim = m_dir.File("sim");
  KelSimFolder m_folder{m_sim};
  KelSimTransport m_tr{m_sim};
};

}  // namespace

TEST_F(SimTransportTest, MalformedCommandsAreRefused) {
  using Edit = std::function<void(std::vector<unsigned char>&)>;
  const Edit none = [](auto&) {};
  const struct { uint8_t code; size_t plen; Edit edit; const char* message; } cases[] = {
      {0x01, 84, [](auto& b) { b[28] = 0; }, "holds no UCMD block"},
      {0x01, 84, [](auto& b) { SimPutU32(b.data(), 32, 5000); }, "exceeds the buffer"},
      {0x01, 10, none, "sub-command 0x01: parameter length 10, needs 84"},
      {0x99, 8, none, "unknown sub-command 0x99"},
      {0x53, 9, [](auto& b) { b[36 + 4] = 0xD3; }, "SMART feature 0xD3 not supported"},
      {0x53, 9 + 100,
       [](auto& b) {
         b[36 + 4] = 0xD0;
         SimPutU16(b.data(), 36 + 6, 100);
       },
       "SMART feature 0xD0: data length 100 too short"},
      {0x0C, 3072 + 7, [](auto& b) { b[36 + 4] = 1; b[36 + 5] = 6; },
       "area sectors 1+6 out of range"},
      {0x11, 3084 + 3,
       [](auto& b) {
         b[36] = 1;
         SimPutU32(b.data(), 38, 3000);
       },
       "area item 0 malformed"},
  };
  for (const auto& c : cases) {
    auto b = Ucmd(c.code, c.plen);
    c.edit(b);
    testing::internal::CaptureStdout();
    EXPECT_EQ(Send(b), KelDrvSendResult::kFailed) << c.message;
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find(c.message), std::string::npos) << out;
  }
  auto b = Ucmd(0x01, 84);
  const unsigned char otherCdb[10] = {0xFF, 0x5A, 0x17};
  testing::internal::CaptureStdout();
  EXPECT_EQ(m_tr.Send("sda", otherCdb, b.data(), b.size()), KelDrvSendResult::kFailed);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("not a vendor command block"),
            std::string::npos);
  EXPECT_EQ(Send(b), KelDrvSendResult::kOk);  // the same block under the right CDB
}

TEST_F(SimTransportTest, CountedFaultFailsExactlyThatOftenAndAlwaysStaysUntilCleared) {
  std::string err;
  testing::internal::CaptureStdout();
  // Set on the addressed disk (sdb), whichever node carries the command.
  ASSERT_TRUE(KelSimSetFault(m_folder, "sdb", 0x0C, 2, &err));
  EXPECT_EQ(Send(ReadArea(4)), KelDrvSendResult::kFailed);
  EXPECT_EQ(Send(ReadArea(0)), KelDrvSendResult::kOk);  // another disk is not affected
  EXPECT_EQ(Send(ReadArea(4), "sdb"), KelDrvSendResult::kFailed);
  EXPECT_EQ(Send(ReadArea(4)), KelDrvSendResult::kOk);

  // A permanent one on the disk identity (0x04 for channel 0 master: sda) until cleared.
  ASSERT_TRUE(KelSimSetFault(m_folder, "sda", 0x04, -1, &err));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Send(Ucmd(0x04, 230), "sdb"), KelDrvSendResult::kFailed);
  ASSERT_TRUE(KelSimSetFault(m_folder, "sda", 0x04, 0, &err));
  EXPECT_EQ(Send(Ucmd(0x04, 230), "sdb"), KelDrvSendResult::kOk);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("simulated fault: sub-command 0x0C fails on sdb"), std::string::npos) << out;
}

TEST_F(SimTransportTest, BusChangeShowsAnArrayAsALogicalTargetUntilItsBlocksGo) {
  // A mirror of sda slot 0 and sdb slot 1, an MBR with one partition on the volume.
  std::string err;
  std::vector<uint32_t> ids = {0x100, 0x201};
  for (int i = 0; i < 2; ++i) {
    auto area = kel_test::ConfAreaBuilder().Pd(0x100u * (i + 1)).Vd(i, {.raidType = 1,
        .vdCount = 2, .position = static_cast<uint8_t>(i), .start = 64, .length = 4000,
        .memberIds = ids}).Bytes();
    ASSERT_TRUE(KelSimAreaImport(m_folder, i ? "sdb" : "sda", area, &err)) << err;
  }
  std::string mbr(512, '\0');
  mbr[446 + 4] = 0x83;
  mbr[510] = 0x55;
  mbr[511] = static_cast<char>(0xAA);
  std::ofstream(m_dir.File("mbr"), std::ios::binary) << mbr;
  ASSERT_TRUE(KelSimVolumeImport(m_folder, "sdb", 1, {}, m_dir.File("mbr"), &err)) << err;
  auto node = [&](const char* n) { return access((m_sim + "/dev/" + n).c_str(), F_OK) == 0; };
  EXPECT_FALSE(node("sdc"));
  ASSERT_EQ(Send(Ucmd(0x0F, 2)), KelDrvSendResult::kOk);
  EXPECT_TRUE(node("sdc") && node("sdc1"));  // the next letter, as the host names disks
  KelSimDiskSpec later;
  later.channel = 1;
  later.sectors = 8192;
  std::string name;
  ASSERT_TRUE(KelSimAddDisk(m_folder, later, &name, &err)) << err;
  EXPECT_EQ(name, "sdd");

  auto b = Ucmd(0x13, 60);
  ASSERT_EQ(m_tr.Send("sdc", kCdb, b.data(), b.size()), KelDrvSendResult::kOk);
  const unsigned char* p = b.data() + 36;
  EXPECT_EQ(std::make_tuple(p[0], p[1], SimGetU16(p, 2), SimGetU16(p, 4), SimGetU16(p, 6)),
            std::make_tuple(1, 1, 0, 4, 0xFFFF));
  EXPECT_EQ(std::make_tuple(p[18], p[19], p[20]), std::make_tuple(0, 1, 0xFF));

  ASSERT_TRUE(KelSimAreaImport(m_folder, "sda", std::vector<unsigned char>(3072), &err));
  ASSERT_TRUE(KelSimAreaImport(m_folder, "sdb", std::vector<unsigned char>(3072), &err));
  EXPECT_TRUE(node("sdc"));  // until the host hears of the change
  ASSERT_EQ(Send(Ucmd(0x0F, 2)), KelDrvSendResult::kOk);
  EXPECT_FALSE(node("sdc") || node("sdc1"));
}

TEST_F(SimTransportTest, MoveLastDataCopiesRawSectorsAndRefusesBadPlaces) {
  std::string err, from, to;
  ASSERT_TRUE(KelSimDiskWrite(m_folder, "sda", 9, {true, 100, true, 10}, &err)) << err;
  // source (controller 0, VD 0, device dev, count, start), then the target.
  auto move = [&](uint16_t dev, uint32_t count, uint64_t start, uint16_t tdev, uint64_t tstart) {
    auto b = Ucmd(0x51, 34);
    unsigned char* p = b.data() + 36;
    SimPutU16(p, 4, dev);
    SimPutU32(p, 6, count);
    SimPutU64(p, 10, start);
    SimPutU16(p, 20, tdev);
    SimPutU32(p, 22, count);
    SimPutU64(p, 26, tstart);
    return Send(b);
  };
  ASSERT_EQ(move(0, 10, 100, 4, 500), KelDrvSendResult::kOk);
  ASSERT_TRUE(KelSimDiskSum(m_folder, "sda", {true, 100, true, 10}, &from, &err));
  ASSERT_TRUE(KelSimDiskSum(m_folder, "sdb", {true, 500, true, 10}, &to, &err));
  EXPECT_EQ(from, to);
  testing::internal::CaptureStdout();
  EXPECT_EQ(move(0, 10, 100, 9, 500), KelDrvSendResult::kFailed);   // no device 9
  EXPECT_EQ(move(0, 10, 8190, 4, 500), KelDrvSendResult::kFailed);  // past sda's end
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("no disk 9"), std::string::npos) << out;
  EXPECT_NE(out.find("runs past an image"), std::string::npos) << out;
}
