// Driver records and framing: record codecs at their offsets, the disk checksum, the UCMD
// block, the vendor CDB and the SG_IO request with its success rule.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>

#include "driver/drv_info_records.h"
#include "driver/drv_io_records.h"
#include "driver/drv_ucmd.h"
#include "driver/sgio_request.h"
#include "driver/ucmd_packet.h"

namespace {

const uint8_t* Bytes(const void* p) { return static_cast<const uint8_t*>(p); }

TEST(DrvRecords, DeviceNumberSitsLittleEndianAt214) {
  _Device_Info info{};
  info.SetDeviceNo(0x1234);
  EXPECT_EQ(Bytes(&info)[214], 0x34);
  EXPECT_EQ(Bytes(&info)[215], 0x12);
  EXPECT_EQ(info.DeviceNo(), 0x1234);
}

TEST(DrvRecords, SyncBufferFieldsLandAtTheirOffsets) {
  _SYNC_RAID_IOBUFFER io{};
  io.byPairNum = 2;
  io.pairs[1].byCtlerInternalIndex = 7;
  io.pairs[1].SetDeviceNo(0xBEEF);
  io.pairs[1].byVDId = 1;
  io.SetStartLBA(0x0102030405060708ull);
  io.SetSectorCount(128);
  const uint8_t* b = Bytes(&io);
  EXPECT_EQ(b[0], 2);
  EXPECT_EQ(b[8], 7);
  EXPECT_EQ(b[10], 0xEF);
  EXPECT_EQ(b[11], 0xBE);
  EXPECT_EQ(b[12], 1);
  EXPECT_EQ(b[26], 0x08);
  EXPECT_EQ(b[33], 0x01);
  EXPECT_EQ(b[34], 128);
  EXPECT_EQ(io.StartLBA(), 0x0102030405060708ull);
}

TEST(DrvRecords, SavePositionHasDeviceNumberAtOddOffset) {
  _SYNC_SAVESTARTADDR_IOBUFFER io{};
  io.byCtlerInternalIndex = 3;
  io.SetDeviceNo(0x0A0B);
  io.byVDId = 1;
  io.SetPosition(~0ull);
  const uint8_t* b = Bytes(&io);
  EXPECT_EQ(b[1], 0x0B);
  EXPECT_EQ(b[2], 0x0A);
  EXPECT_EQ(b[3], 1);
  for (int i = 4; i < 12; ++i) EXPECT_EQ(b[i], 0xFF);
}

TEST(DrvRecords, RealTargetsAndControllerFieldsDecode) {
  uint8_t raw[60] = {};
  raw[0] = 1;
  raw[1] = 1;
  raw[2 + 2 * 3] = 0x22;
  raw[2 + 2 * 3 + 1] = 0x11;
  raw[18 + 3] = 1;
  raw[26] = 5;
  _Real_Targets_Pos_Info rec;
  memcpy(&rec, raw, sizeof(rec));
  EXPECT_EQ(rec.DeviceNo(3), 0x1122);
  EXPECT_EQ(rec.byVDId[3], 1);
  EXPECT_EQ(rec.byCtlerInternalIndex, 5);

  uint8_t c[84] = {};
  c[72] = 0x0F;
  c[76] = 1;
  _Controller_Info ci;
  memcpy(&ci, c, sizeof(ci));
  EXPECT_EQ(ci.Capability(), 0x0Fu);
  EXPECT_EQ(ci.byCtlerIndex, 1);
}

TEST(DrvRecords, SerialChecksumSwapsAtaWordsBeforeSumming) {
  _Device_Info info{};
  // serial "BA" in ATA order is "AB" on the host: word bytes 'A','B' -> LE32 0x00004241.
  info.szSerialNumber[0] = 'B';
  info.szSerialNumber[1] = 'A';
  info.szFirmwareRev[2] = 0x01;  // swaps to byte 3 of the word: 0x00000000 + (0x01 << 24)
  info.szModelName[36] = 0x02;   // model word 9, swapped to byte 1: 0x0200
  EXPECT_EQ(MakeDeviceSerialChksum(&info), 0x4241u + 0x01000000u + 0x0200u);
  EXPECT_EQ(info.szSerialNumber[0], 'B');  // the record itself is not changed
}

TEST(DrvRecords, SerialChecksumWrapsAround) {
  _Device_Info info{};
  memset(info.szSerialNumber, 0xFF, 8);  // two words of 0xFFFFFFFF
  EXPECT_EQ(MakeDeviceSerialChksum(&info), 0xFFFFFFFEu);
}

TEST(DrvRecords, MultiConfItemLayout) {
  EXPECT_EQ(sizeof(_Multi_PD_Conf_Item), 3084u);
  EXPECT_EQ(offsetof(_Multi_PD_Conf_Item, data), 10u);
}

TEST(DrvUcmd, BlockIsPageAlignedZeroFilledWithHeader) {
  KelUcmdBuffer buf;
  ASSERT_TRUE(buf.Build(0x11, 3084 * 2 + 3));
  long page = sysconf(_SC_PAGESIZE);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(buf.data()) % page, 0u);
  EXPECT_EQ(buf.size() % page, 0u);
  EXPECT_GE(buf.size(), 36u + 3084 * 2 + 3 + 1);
  const uint8_t* b = buf.data();
  for (int i = 0; i < 28; ++i) EXPECT_EQ(b[i], 0) << i;
  EXPECT_EQ(b[28], 0x17);
  EXPECT_EQ(b[29], 0x5A);
  EXPECT_EQ(b[30], 0x11);
  EXPECT_EQ(b[31], 0);
  EXPECT_EQ(b[32], (3084 * 2 + 3) & 0xFF);
  EXPECT_EQ(b[33], (3084 * 2 + 3) >> 8);
  EXPECT_EQ(b[34], 0);
  for (size_t i = 36; i < buf.size(); ++i) ASSERT_EQ(b[i], 0) << i;
}

TEST(DrvUcmd, SizeRoundsUpToWholePages) {
  EXPECT_EQ(KelUcmdRoundToPages(1, 4096), 4096u);
  EXPECT_EQ(KelUcmdRoundToPages(4096, 4096), 4096u);
  EXPECT_EQ(KelUcmdRoundToPages(4097, 4096), 8192u);
  KelUcmdBuffer small;
  ASSERT_TRUE(small.Build(0x01, 84));
  EXPECT_EQ(small.size(), static_cast<size_t>(sysconf(_SC_PAGESIZE)));
}

TEST(DrvUcmd, CdbCarriesOpcodeAndSignature) {
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
  sg_io_hdr_t hdr{};
  EXPECT_TRUE(KelSgIoSucceeded(0, hdr));
  EXPECT_FALSE(KelSgIoSucceeded(-1, hdr));
  hdr.status = 2;
  EXPECT_FALSE(KelSgIoSucceeded(0, hdr));
  hdr.status = 0;
  hdr.host_status = 1;
  EXPECT_FALSE(KelSgIoSucceeded(0, hdr));
  hdr.host_status = 0;
  hdr.driver_status = 8;
  EXPECT_FALSE(KelSgIoSucceeded(0, hdr));
}

}  // namespace
