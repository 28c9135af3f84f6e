// Driver framing: the UCMD block and its vendor CDB, and the SG_IO request with its success
// rule. Record fields are checked where they travel: the wrappers' bytes in
// raid_basic_op_test.cc, the answers through the simulator in drv_sim_records_test.cc; the disk
// serial checksum against the builder's in tests/service/conf_area_builder_test.cc.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>

#include "driver/drv_info_records.h"
#include "driver/drv_ucmd.h"
#include "driver/sgio_request.h"
#include "driver/ucmd_packet.h"

namespace {

TEST(DrvUcmd, BlockIsPageAlignedZeroFilledWithHeaderAndRoundedToWholePages) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const struct { uint8_t sub; uint32_t paramLen; size_t size; } cases[] = {
      {0x01, 84, page},
      {0x0C, static_cast<uint32_t>(page - 37), page},  // header, parameters and one spare byte
      {0x0C, static_cast<uint32_t>(page - 36), 2 * page},
      {0x11, 3084 * 2 + 3, 2 * page},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.paramLen);
    KelUcmdBuffer buf;
    ASSERT_TRUE(buf.Build(c.sub, c.paramLen));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(buf.data()) % page, 0u);
    EXPECT_EQ(buf.size(), c.size);
    const uint8_t* b = buf.data();
    const uint8_t header[8] = {0x17, 0x5A, c.sub, 0, static_cast<uint8_t>(c.paramLen),
                               static_cast<uint8_t>(c.paramLen >> 8), 0, 0};
    EXPECT_EQ(std::memcmp(b + 28, header, 8), 0);
    for (size_t i = 0; i < buf.size(); i += i == 27 ? 9 : 1) ASSERT_EQ(b[i], 0) << i;
  }

  uint8_t cdb[10];
  memset(cdb, 0xAA, sizeof(cdb));
  KelBuildUcmdCdb(cdb);
  const uint8_t want[10] = {0xFF, 0x17, 0x5A, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(memcmp(cdb, want, 10), 0);
}

TEST(DrvUcmd, QueueingABlockWithoutSignatureIsRefusedWithAssertion) {
  KelUcmdBuffer buf;
  ASSERT_TRUE(buf.Build(0x0F, 2));
  buf.data()[28] = 0;
  KelUCmdPacket packet(nullptr, nullptr);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(packet.QueueUcmd(0, std::move(buf)));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("pUCMDIoCtrlBlock->Signature == 0x5A17"), std::string::npos);
  EXPECT_EQ(packet.QueuedCount(), 0u);
}

TEST(DrvSgIo, RequestUsesOneScatterElementDirectIoAndTwentySeconds) {
  uint8_t cdb[10];
  KelBuildUcmdCdb(cdb);
  alignas(4096) static uint8_t data[8192];
  sg_io_hdr_t hdr;
  memset(&hdr, 0x5C, sizeof(hdr));
  sg_iovec_t iov;
  KelBuildSgIoRequest(&hdr, &iov, cdb, data, sizeof(data));
  EXPECT_EQ(hdr.interface_id, 'S');
  EXPECT_EQ(hdr.dxfer_direction, SG_DXFER_TO_FROM_DEV);
  EXPECT_EQ(hdr.cmd_len, 10);
  EXPECT_EQ(hdr.iovec_count, 1);
  EXPECT_EQ(hdr.dxfer_len, sizeof(data));
  EXPECT_EQ(hdr.dxferp, &iov);
  EXPECT_EQ(iov.iov_base, data);
  EXPECT_EQ(iov.iov_len, sizeof(data));
  EXPECT_EQ(hdr.cmdp, cdb);
  EXPECT_EQ(hdr.timeout, 20000u);
  EXPECT_EQ(hdr.flags, 1u);
  EXPECT_EQ(hdr.mx_sb_len, 0);
}

TEST(DrvSgIo, AnyNonZeroStatusFailsEvenWhenIoctlSucceeded) {
  const struct { int rc; unsigned char status; unsigned short host, driver; bool ok; } cases[] = {
      {0, 0, 0, 0, true}, {-1, 0, 0, 0, false}, {0, 2, 0, 0, false}, {0, 0, 1, 0, false},
      {0, 0, 0, 8, false}};
  for (const auto& c : cases) {
    sg_io_hdr_t hdr{};
    hdr.status = c.status;
    hdr.host_status = c.host;
    hdr.driver_status = c.driver;
    EXPECT_EQ(KelSgIoSucceeded(c.rc, hdr), c.ok)
        << c.rc << " " << int(c.status) << " " << c.host << " " << c.driver;
  }
}

TEST(DrvRecords, UnusedRealTargetEntriesAreKnownByEitherFiller) {
  // Entry 0 names device 4; entry 1 as given; the rest hold the filler.
  const struct { uint16_t filler, device1; uint8_t vd1; bool used1; } kCases[] = {
      {0xFFFF, 0xFFFF, 0xFF, false}, {0, 0, 0, false}, {0xFFFF, 0, 0, true}, {0, 5, 0, true}};
  for (const auto& c : kCases) {
    _Real_Targets_Pos_Info rec{};
    rec.byValid = 1;
    for (int i = 0; i < 8; ++i) rec.SetDeviceNo(i, i == 0 ? 4 : i == 1 ? c.device1 : c.filler);
    rec.byVDId[1] = c.vd1;
    EXPECT_TRUE(rec.EntryUsed(0) && !rec.EntryUsed(7) && rec.EntryUsed(1) == c.used1) << c.filler;
  }
}

}  // namespace
