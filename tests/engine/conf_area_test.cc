// Configuration area: checksums, classification of areas read from disks, conversion of the
// older ZRaid layout, fresh areas, slot bookkeeping and write preparation. Every input area
// is written byte by byte here, independently of the code under test.
#include "engine/conf_area.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

void Put16(uint8_t* p, uint16_t v) {
  p[0] = v & 0xFF;
  p[1] = v >> 8;
}
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = (v >> (8 * i)) & 0xFF;
}
uint64_t Get64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}
uint32_t Get32(const uint8_t* p) { return static_cast<uint32_t>(Get64(p) & 0xFFFFFFFFu); }
uint8_t Xor(const uint8_t* p, size_t n) {
  uint8_t x = 0;
  for (size_t i = 0; i < n; ++i) x ^= p[i];
  return x;
}

std::unique_ptr<_PD_Config_sector_> ZeroArea() {
  auto a = std::make_unique<_PD_Config_sector_>();
  std::memset(a->b, 0, sizeof a->b);
  return a;
}

// A current-layout area: marker, PD sector and `slots` VD blocks (bit s of validMask: the
// block of slot s is marked valid).
std::unique_ptr<_PD_Config_sector_> CurrentArea(uint32_t map, uint8_t count, uint8_t validMask) {
  auto a = ZeroArea();
  Put16(a->b + 2560, 0xAA55);
  a->b[2562] = 3;
  a->b[2570] = 0x5A;  // the "parsed" byte
  Put16(a->b + 2048, 0xE2E4);
  a->b[2050] = 3;
  a->b[2051] = count;
  Put32(a->b + 2052, map);
  for (int slot = 0; slot < 2; ++slot) {
    uint8_t* blk = a->b + (7 - slot) * 256;
    Put16(blk, 0xD4D6);
    blk[2] = static_cast<uint8_t>(slot);
    blk[32] = (validMask >> slot) & 1;
  }
  return a;
}

TEST(ConfChecksum, ZeroBlockGivesZeroAndOthersXorToZero) {
  _VD_Config_sector_ vd;
  std::memset(vd.b, 0, sizeof vd.b);
  vd.b[113] = 0x77;  // stale values must be replaced
  vd.b[255] = 0x66;
  MakeVDConfigSectorCheckSum(&vd);
  EXPECT_EQ(vd.b[113], 0);
  EXPECT_EQ(vd.b[255], 0);

  for (int i = 0; i < 255; ++i) vd.b[i] = static_cast<uint8_t>(i * 7 + 3);
  MakeVDConfigSectorCheckSum(&vd);
  EXPECT_EQ(vd.b[113], Xor(vd.b + 212, 32));
  EXPECT_EQ(Xor(vd.b, 256), 0);  // byte 255 covers 0..254 including the id checksum

  auto area = ZeroArea();
  for (int i = 0; i < 511; ++i) area->b[2048 + i] = static_cast<uint8_t>(i ^ 0x3C);
  MakePDConfigSectorCheckSum(area.get());
  EXPECT_EQ(Xor(area->b + 2048, 512), 0);
}

TEST(ConfParse, NoMarkerMeansPlainDiskAndAreaUntouched) {
  auto a = CurrentArea(1, 1, 1);
  Put16(a->b + 2560, 0xAA54);
  _PD_Config_sector_ before = *a;
  KelConfParse r = ParsePDConfigData(a.get());
  EXPECT_FALSE(r.hasConfig);
  EXPECT_EQ(std::memcmp(before.b, a->b, sizeof a->b), 0);
}

TEST(ConfParse, InvalidSlotIsDroppedFromMapAndCount) {
  auto a = CurrentArea(3, 2, /*valid*/ 1);
  KelConfParse r = ParsePDConfigData(a.get());
  EXPECT_TRUE(r.hasConfig);
  EXPECT_TRUE(r.currentLayout);
  EXPECT_EQ(a->b[2051], 1);
  EXPECT_EQ(Get32(a->b + 2052), 1u);
  EXPECT_EQ(a->b[2570], 0);  // parsed byte of the current marker cleared

  auto none = CurrentArea(3, 2, 0);
  EXPECT_FALSE(ParsePDConfigData(none.get()).hasConfig);
  EXPECT_EQ(none->b[2051], 0);
  EXPECT_EQ(Get32(none->b + 2052), 0u);

  // A count that says more than the map is not driven below zero.
  auto odd = CurrentArea(2, 0, 0);
  EXPECT_FALSE(ParsePDConfigData(odd.get()).hasConfig);
  EXPECT_EQ(odd->b[2051], 0);
}

TEST(ConfParse, WrongPdSignatureIsReportedButParsed) {
  auto a = CurrentArea(1, 1, 1);
  Put16(a->b + 2048, 0x1234);
  testing::internal::CaptureStdout();
  KelConfParse r = ParsePDConfigData(a.get());
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("m_PDConfigSector.PDConfigInfo.Signature == SIGNATURE_PD"), std::string::npos);
  EXPECT_TRUE(r.hasConfig);
}

// One disk of an array in the older layout.
struct ZRaidInput {
  uint8_t type;
  uint8_t posField;  // bits 2..7 of byte 2564
  uint8_t count;
  uint8_t stripeExp;
};

std::unique_ptr<_PD_Config_sector_> ZRaidArea(const ZRaidInput& in) {
  auto a = ZeroArea();
  std::memset(a->b + 1536, 0xEE, 1024);  // old junk where the new records go
  uint8_t* m = a->b + 2560;
  Put16(m, 0xAA55);
  m[2] = 2;
  m[3] = static_cast<uint8_t>((in.type << 3) | 1);  // flag A
  m[4] = static_cast<uint8_t>(in.posField << 2);
  m[5] = static_cast<uint8_t>(in.count | (1 << 3) | (in.stripeExp << 4));  // flag B
  Put32(m + 6, 0x00123456);  // length low
  Put32(m + 10, 0x2);        // length high
  Put32(m + 14, 0xCAFE0000);
  for (int i = 0; i < 8; ++i) Put32(m + 18 + 4 * i, i < 2 ? 0xCAFE0000 + i : 0);
  m[62] = 1;  // flag C
  m[72] = 7;  // RAID 5 level parameter
  Put32(m + 73, 4096);
  return a;
}

class ZRaidConversion : public testing::TestWithParam<ZRaidInput> {};

TEST_P(ZRaidConversion, BuildsSlotZeroWithValidChecksums) {
  ZRaidInput in = GetParam();
  auto a = ZRaidArea(in);
  KelConfParse r = ParsePDConfigData(a.get());
  ASSERT_TRUE(r.hasConfig);
  EXPECT_FALSE(r.currentLayout);

  const uint8_t* pd = a->b + 2048;
  EXPECT_EQ(pd[0] | (pd[1] << 8), 0xE2E4);
  EXPECT_EQ(pd[2], 3);
  EXPECT_EQ(pd[3], 1);
  EXPECT_EQ(Get32(pd + 4), 1u);
  EXPECT_EQ(Get32(pd + 8), 0xCAFE0000u);
  EXPECT_EQ(pd[14], 1);
  EXPECT_EQ(Xor(pd, 512), 0);

  const uint8_t* vd = a->b + 1792;
  EXPECT_EQ(vd[0] | (vd[1] << 8), 0xD4D6);
  EXPECT_EQ(vd[2], 0);
  EXPECT_EQ(Get32(vd + 4), 0xCAFE0000u);
  EXPECT_EQ(Get64(vd + 8), 0u);
  EXPECT_EQ(Get64(vd + 16), 0x200123456ull);
  EXPECT_EQ(Get64(vd + 24), 0x200123456ull);
  EXPECT_EQ(Get64(vd + 180), 0x00123456ull);  // low word only
  EXPECT_EQ(vd[32] & 0x09, 0x09);             // valid, flag A
  EXPECT_EQ(vd[104], 0x09);
  EXPECT_EQ(vd[105], 0x05);  // flag C bit 0, flag B bit 2
  EXPECT_EQ(vd[100], in.type);
  EXPECT_EQ(Get64(vd + 172), 4096u);
  EXPECT_EQ(Get32(vd + 216), 0xCAFE0001u);
  EXPECT_EQ(vd[113], Xor(vd + 212, 32));
  EXPECT_EQ(Xor(vd, 256), 0);
  // The marker sector still says which layout the disk carries.
  EXPECT_EQ(a->b[2562], 2);
  EXPECT_EQ(a->b[2570], 2);  // inside the old length field: not the "parsed" byte
}

INSTANTIATE_TEST_SUITE_P(EveryType, ZRaidConversion,
                         testing::Values(ZRaidInput{0, 1, 2, 3}, ZRaidInput{1, 1, 0, 0},
                                         ZRaidInput{5, 2, 3, 4}, ZRaidInput{8, 1, 2, 0},
                                         ZRaidInput{9, 1, 2, 2}));

TEST(ZRaidConversionFields, LevelSpecificFields) {
  // RAID 0: stripe 2^(e+3), count and position as stored.
  auto r0 = ZRaidArea({0, 0x05, 3, 4});
  ASSERT_EQ(KelConfigDataZRaid2Tarvo(r0.get()), 1);
  const uint8_t* vd = r0->b + 1792;
  EXPECT_EQ(vd[108], 128);
  EXPECT_EQ(vd[101], 3);
  EXPECT_EQ(vd[112], 5);

  // RAID 1: count + 2, position bits 0..1, side from bit 2 with the sync-target bit.
  auto r1 = ZRaidArea({1, 0x07, 1, 0});
  KelConfigDataZRaid2Tarvo(r1.get());
  vd = r1->b + 1792;
  EXPECT_EQ(vd[101], 3);
  EXPECT_EQ(vd[112], 3);
  EXPECT_EQ(Get64(vd + 44), 1u);
  EXPECT_TRUE(vd[32] & 0x10);
  EXPECT_EQ(vd[108], 0);

  // RAID 5: stripe, level parameter, side from bit 3.
  auto r5 = ZRaidArea({5, 0x0A, 3, 1});
  KelConfigDataZRaid2Tarvo(r5.get());
  vd = r5->b + 1792;
  EXPECT_EQ(vd[108], 16);
  EXPECT_EQ(vd[109], 7);
  EXPECT_EQ(Get64(vd + 44), 1u);
  EXPECT_EQ(vd[112], 2);

  // RAID 0+1: count x 2, second half sets bit 7, side from bit 4.
  auto r01 = ZRaidArea({9, 0x19, 2, 2});
  KelConfigDataZRaid2Tarvo(r01.get());
  vd = r01->b + 1792;
  EXPECT_EQ(vd[101], 4);
  EXPECT_EQ(vd[112], 0x81);
  EXPECT_EQ(Get64(vd + 44), 1u);
  EXPECT_EQ(vd[108], 32);

  // Span with a clear side: no side value, no sync bit.
  auto sp = ZRaidArea({8, 0x1F, 2, 0});
  KelConfigDataZRaid2Tarvo(sp.get());
  vd = sp->b + 1792;
  EXPECT_EQ(vd[112], 7);
  EXPECT_EQ(Get64(vd + 44), 0u);
  EXPECT_FALSE(vd[32] & 0x10);
}

TEST(ZRaidConversionFields, PendingMigrationAndRefusals) {
  auto a = ZRaidArea({0, 0, 2, 3});
  a->b[2623] = 1;
  Put32(a->b + 2624, 0x1111);
  Put32(a->b + 2628, 0x2222);
  ASSERT_EQ(KelConfigDataZRaid2Tarvo(a.get()), 1);
  const uint8_t* vd = a->b + 1792;
  EXPECT_EQ(vd[104], 0x09 | 32);
  EXPECT_EQ(vd[105], 0x05 | 2);
  EXPECT_EQ(vd[115], 13);
  EXPECT_EQ(Get32(vd + 116), 0x1111u);
  EXPECT_EQ(Get32(vd + 120), 0x2222u);
  EXPECT_EQ(Xor(vd, 256), 0);

  auto current = CurrentArea(1, 1, 1);
  _PD_Config_sector_ before = *current;
  EXPECT_EQ(KelConfigDataZRaid2Tarvo(current.get()), 0);
  EXPECT_EQ(std::memcmp(before.b, current->b, sizeof before.b), 0);

  testing::internal::CaptureStdout();
  EXPECT_EQ(KelConfigDataZRaid2Tarvo(nullptr), 0);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("pPDConfigSector"), std::string::npos);
}

TEST(ConfFresh, FreshAreaAndSlotBookkeeping) {
  auto a = ZeroArea();
  std::memset(a->b, 0xAB, sizeof a->b);
  InitPDConfSect(a.get(), 0x01020304);
  EXPECT_EQ(a->b[2560] | (a->b[2561] << 8), 0xAA55);
  EXPECT_EQ(a->b[2562], 3);
  EXPECT_EQ(a->b[2048] | (a->b[2049] << 8), 0xE2E4);
  EXPECT_EQ(a->b[2050], 3);
  EXPECT_EQ(a->b[2051], 0);
  EXPECT_EQ(Get32(a->b + 2052), 0u);
  EXPECT_EQ(a->b[2060], 0);
  EXPECT_EQ(a->b[2062], 32);
  EXPECT_EQ(Get32(a->b + 2056), 0x01020304u);
  EXPECT_EQ(a->b[0], 0);
  EXPECT_EQ(a->b[1792], 0);

  uint32_t ids[8] = {1, 2, 3, 0, 0, 0, 0, 0};
  testing::internal::CaptureStdout();
  EXPECT_FALSE(SetPDConfigVDGUIDs(a.get(), 2, ids));
  EXPECT_NE(testing::internal::GetCapturedStdout().find("byVDIndex < MAX_VD_PER_PD"),
            std::string::npos);
  ASSERT_TRUE(SetPDConfigVDGUIDs(a.get(), 1, ids));
  EXPECT_EQ(Get32(a->b + 1536 + 216), 2u);
  EXPECT_EQ(Xor(a->b + 1536, 256), 0);

  auto two = CurrentArea(3, 2, 3);
  int slots[2];
  EXPECT_EQ(KelListUsedSlots(two.get(), slots), 2);
  DeleteVDInPDConfSect(two.get(), 0);
  EXPECT_EQ(two->b[2051], 1);
  EXPECT_EQ(Get32(two->b + 2052), 2u);
  EXPECT_EQ(two->b[1792], 0);
  ASSERT_EQ(KelListUsedSlots(two.get(), slots), 1);
  EXPECT_EQ(slots[0], 1);
}

TEST(ConfWrite, OnlyChangedAreasAndBlocksAreWritten) {
  auto a = CurrentArea(3, 2, 3);
  bool changed[2];
  KelPrepareAreaForWrite(a.get(), *a, changed);  // settle the checksums
  _PD_Config_sector_ saved = *a;

  EXPECT_FALSE(KelPrepareAreaForWrite(a.get(), saved, changed));
  EXPECT_FALSE(changed[0] || changed[1]);

  a->b[1536 + 172] = 9;  // slot 1 synchronisation position
  EXPECT_TRUE(KelPrepareAreaForWrite(a.get(), saved, changed));
  EXPECT_FALSE(changed[0]);
  EXPECT_TRUE(changed[1]);
  EXPECT_EQ(Xor(a->b + 1536, 256), 0);  // checksums recomputed before comparing

  // A map that disagrees with the count is reported; the area is still prepared.
  auto bad = CurrentArea(1, 2, 1);
  _PD_Config_sector_ badSaved = *bad;
  testing::internal::CaptureStdout();
  KelPrepareAreaForWrite(bad.get(), badSaved, changed);
  EXPECT_NE(testing::internal::GetCapturedStdout().find(
                "byVDIndex == m_PDConfigSector.PDConfigInfo.CountOfVDs"),
            std::string::npos);
  EXPECT_EQ(Xor(bad->b + 2048, 512), 0);

  // An area that is not ours is never touched, so an unconfigured disk is never written.
  auto foreign = ZeroArea();
  std::memset(foreign->b, 0x42, sizeof foreign->b);
  _PD_Config_sector_ foreignSaved = *foreign;
  EXPECT_FALSE(KelPrepareAreaForWrite(foreign.get(), foreignSaved, changed));
}

TEST(ConfBlock, ArrayPositionByType) {
  _VD_Config_sector_ vd;
  std::memset(vd.b, 0, sizeof vd.b);
  vd.b[112] = 0x86;
  EXPECT_EQ(vd.ArrayPosition(KEL_RAID_0), 6);
  EXPECT_EQ(vd.ArrayPosition(KEL_RAID_1), 2);
  EXPECT_EQ(vd.ArrayPosition(KEL_RAID_5), 6);
  EXPECT_EQ(vd.ArrayPosition(KEL_RAID_SPAN), 6);
  EXPECT_EQ(vd.ArrayPosition(KEL_RAID_01), 14);
}

}  // namespace
