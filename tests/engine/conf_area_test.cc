// Configuration area: checksums, classification of areas read from disks, conversion of the
// older ZRaid layout, fresh areas, slot bookkeeping and write preparation. Input areas come
// from the engine-independent builder; results are read back byte by byte here.
#include "engine/conf_area.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <tuple>

#include "tests/support/conf_area_builder.h"

namespace {

using kel_test::ConfAreaBuilder;

uint64_t Get(const uint8_t* p, int width) {
  uint64_t v = 0;
  for (int i = width - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}
uint8_t Xor(const uint8_t* p, size_t n) {
  uint8_t x = 0;
  for (size_t i = 0; i < n; ++i) x ^= p[i];
  return x;
}

std::unique_ptr<_PD_Config_sector_> Area(const std::vector<uint8_t>& bytes) {
  auto a = std::make_unique<_PD_Config_sector_>();
  std::memcpy(a->b, bytes.data(), sizeof a->b);
  return a;
}

// A current-layout area whose slots are valid as `valid` says; byte 10 of the marker set.
ConfAreaBuilder Current(std::vector<bool> valid) {
  ConfAreaBuilder b;
  b.Pd(0x1234).Poke(2570, 0x5A);
  for (size_t s = 0; s < valid.size(); ++s) b.Vd(static_cast<int>(s), {.valid = valid[s]});
  return b;
}

TEST(ConfParse, AreasAreClassifiedAndUnfinishedSlotsDropped) {
  const struct {
    const char* what;
    std::vector<uint8_t> area;
    bool hasConfig, current;
    uint8_t count;  // after parsing
    uint32_t map;
    const char* diagnostic;
  } kCases[] = {
      {"no marker: a plain disk", Current({true}).Poke(2560, 0x54).Bytes(), false, false, 1, 1, ""},
      {"slot 1 not valid", Current({true, false}).Bytes(), true, true, 1, 1, ""},
      {"no slot valid", Current({false, false}).Bytes(), false, true, 0, 0, ""},
      {"count below the map", Current({false, false}).Poke(2051, 0).Bytes(), false, true, 0, 0, ""},
      {"map bit past the slots", Current({true}).Poke(2053, 1).Poke(2051, 2).Bytes(), true, true, 1,
       1, "VD map names slot 8 beyond the disk's slots"},
      {"wrong PD signature", Current({true}).Poke(2048, 0x34).Bytes(), true, true, 1, 1,
       "m_PDConfigSector.PDConfigInfo.Signature == SIGNATURE_PD"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    auto a = Area(c.area);
    testing::internal::CaptureStdout();
    KelConfParse r = ParsePDConfigData(a.get());
    EXPECT_NE(testing::internal::GetCapturedStdout().find(c.diagnostic), std::string::npos);
    EXPECT_EQ(r.hasConfig, c.hasConfig);
    EXPECT_EQ(r.currentLayout, c.current);
    EXPECT_EQ(a->b[2051], c.count);
    EXPECT_EQ(Get(a->b + 2052, 4), c.map);
    // The parsed byte of a current marker is cleared; an area without a marker is untouched.
    EXPECT_TRUE(c.current ? a->b[2570] == 0 : std::memcmp(a->b, c.area.data(), 3072) == 0);
  }
}

TEST(ZRaidConversion, EveryLevelBecomesSlotZeroWithItsOwnFields) {
  const struct {
    uint8_t type, posField, count, stripeExp;
    bool pending;
    uint8_t wantCount, wantPos, wantStripe, wantLevelParam;
    bool side;  // the sync-target state bit (the side value stays 0)
  } kCases[] = {
      {KEL_RAID_0, 0x05, 3, 4, false, 3, 5, 128, 0, false},
      {KEL_RAID_0, 0x00, 2, 6, true, 2, 0, 0, 0, false},  // 512 sectors do not fit the byte
      {KEL_RAID_1, 0x07, 1, 0, false, 3, 3, 0, 0, true},  // count + 2, position bits 0..1
      {KEL_RAID_5, 0x0A, 3, 1, false, 3, 2, 16, 7, true},
      {KEL_RAID_01, 0x19, 2, 2, false, 4, 0x81, 32, 0, true},  // count x 2, second half
      {KEL_RAID_01, 0x01, 2, 2, false, 4, 0x01, 32, 0, false},
      {KEL_RAID_SPAN, 0x1F, 2, 0, false, 2, 7, 0, 0, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << "type " << int(c.type) << " pending " << c.pending);
    std::vector<uint8_t> bytes =
        ConfAreaBuilder()
            .OldLayout({.flagA = true, .raidType = c.type, .positionField = c.posField,
                        .vdCount = c.count, .flagB = true, .stripeExponent = c.stripeExp,
                        .length = 0x200123456ull, .serialChecksum = 0xCAFE0000,
                        .memberIds = {0xCAFE0000, 0xCAFE0001}, .flagC = true,
                        .pending = c.pending, .pendingValue1 = 0x1111, .pendingValue2 = 0x2222,
                        .levelParam = 7, .syncPosition = 4096})
            .Bytes();
    std::fill(bytes.begin() + 1536, bytes.begin() + 2560, 0xEE);  // old junk
    auto a = Area(bytes);
    KelConfParse r = ParsePDConfigData(a.get());
    ASSERT_TRUE(r.hasConfig);
    EXPECT_FALSE(r.currentLayout);

    // (offset in the area, width, value): the PD sector at 2048, the VD block of slot 0 at 1792.
    const uint64_t p = c.pending, sd = c.side;
    const std::tuple<size_t, int, uint64_t> kFields[] = {
        {2048, 2, 0xE2E4}, {2050, 1, 3}, {2051, 1, 1}, {2052, 4, 1}, {2056, 4, 0xCAFE0000},
        {2062, 1, 1}, {1792, 2, 0xD4D6}, {1794, 1, 0}, {1796, 4, 0xCAFE0000}, {1800, 8, 0},
        {1808, 8, 0x200123456}, {1816, 8, 0x200123456}, {1972, 8, 0x00123456},  // low word
        {1824, 1, 0x09 | sd << 4},  // valid, flag A, sync target
        {1836, 8, 0}, {1892, 1, c.type}, {1893, 1, c.wantCount}, {1896, 1, 0x09 | p << 5},
        {1897, 1, 0x05 | p << 1},  // flag C bit 0, flag B bit 2
        {1900, 1, c.wantStripe}, {1901, 1, c.wantLevelParam}, {1904, 1, c.wantPos},
        {1907, 1, p * 13}, {1908, 4, p * 0x1111}, {1912, 4, p * 0x2222}, {1964, 8, 4096},
        {2008, 4, 0xCAFE0001}, {1905, 1, Xor(a->b + 2004, 32)},
        {2562, 1, 2}, {2570, 1, 2}};  // the marker still tells the old layout (2570: its length)
    for (const auto& [at, width, value] : kFields) EXPECT_EQ(Get(a->b + at, width), value) << at;
    EXPECT_EQ(Xor(a->b + 2048, 512), 0);
    EXPECT_EQ(Xor(a->b + 1792, 256), 0);
  }

  auto current = Area(Current({true}).Bytes());
  _PD_Config_sector_ before = *current;
  EXPECT_EQ(KelConfigDataZRaid2Tarvo(current.get()), 0);
  EXPECT_EQ(std::memcmp(before.b, current->b, sizeof before.b), 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(KelConfigDataZRaid2Tarvo(nullptr), 0);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("pPDConfigSector"), std::string::npos);
}

TEST(ConfFresh, FreshAreaAndSlotBookkeeping) {
  auto a = Area(std::vector<uint8_t>(3072, 0xAB));
  InitPDConfSect(a.get(), 0x01020304);
  std::vector<uint8_t> want = ConfAreaBuilder().Pd(0x01020304).Bytes();
  EXPECT_EQ(std::memcmp(a->b, want.data(), 3072), 0);

  uint32_t ids[8] = {1, 2, 3, 0, 0, 0, 0, 0};
  testing::internal::CaptureStdout();
  EXPECT_FALSE(SetPDConfigVDGUIDs(a.get(), 2, ids));
  EXPECT_NE(testing::internal::GetCapturedStdout().find("byVDIndex < MAX_VD_PER_PD"),
            std::string::npos);
  ASSERT_TRUE(SetPDConfigVDGUIDs(a.get(), 1, ids));
  EXPECT_EQ(Get(a->b + 1536 + 216, 4), 2u);
  EXPECT_EQ(Xor(a->b + 1536, 256), 0);

  auto two = Area(Current({true, true}).Bytes());
  int slots[2];
  EXPECT_EQ(KelListUsedSlots(two.get(), slots), 2);
  testing::internal::CaptureStdout();
  EXPECT_EQ(KelAddVDToArea(two.get(), KelNewVDBlock{}), -1);  // both slots taken
  testing::internal::GetCapturedStdout();
  DeleteVDInPDConfSect(two.get(), 0);
  EXPECT_EQ(two->b[2051], 1);
  EXPECT_EQ(Get(two->b + 2052, 4), 2u);
  EXPECT_EQ(two->b[1792], 0);
  ASSERT_EQ(KelListUsedSlots(two.get(), slots), 1);
  EXPECT_EQ(slots[0], 1);

  // Stripe byte: 128 KiB (256 sectors) is stored as 0 and still advances a rebuild step.
  for (auto [stored, sectors, perChunk] : {std::tuple{0, 256u, 1u}, {255, 255u, 1u}, {8, 8u, 16u}}) {
    _VD_Config_sector_* vd = a->Vd(1);
    vd->SetU8(vdoff::kStripe, static_cast<uint8_t>(stored));
    EXPECT_EQ(vd->StripeSectors(), sectors);
    EXPECT_EQ(vd->StripesPerChunk(), perChunk);
  }
}

TEST(ConfWrite, OnlyChangedAreasAndBlocksAreWritten) {
  auto a = Area(Current({true, true}).Bytes());
  bool changed[2];
  _PD_Config_sector_ saved = *a;
  EXPECT_FALSE(KelPrepareAreaForWrite(a.get(), saved, changed));
  EXPECT_FALSE(changed[0] || changed[1]);

  a->b[1536 + 172] = 9;  // slot 1 synchronisation position
  EXPECT_TRUE(KelPrepareAreaForWrite(a.get(), saved, changed));
  EXPECT_FALSE(changed[0]);
  EXPECT_TRUE(changed[1]);
  EXPECT_EQ(Xor(a->b + 1536, 256), 0);  // checksums recomputed before comparing

  // A map that disagrees with the count is reported; the area is still prepared.
  auto bad = Area(Current({true}).Poke(2051, 2).Bytes());
  testing::internal::CaptureStdout();
  KelPrepareAreaForWrite(bad.get(), *bad, changed);
  EXPECT_NE(testing::internal::GetCapturedStdout().find(
                "byVDIndex == m_PDConfigSector.PDConfigInfo.CountOfVDs"),
            std::string::npos);
  EXPECT_EQ(Xor(bad->b + 2048, 512), 0);

  // An area that is not ours is never touched, so an unconfigured disk is never written.
  auto foreign = Area(std::vector<uint8_t>(3072, 0x42));
  EXPECT_FALSE(KelPrepareAreaForWrite(foreign.get(), *foreign, changed));
}

}  // namespace
