// The pure parts of kelctl's RAID output: a disk's layout from its VDs and protected areas,
// SMART page decoding, the words for status fields, and the free-space view.
#include <gtest/gtest.h>

#include <cstring>

#include "tools/kelctl/kelctl_disk_layout.h"
#include "tools/kelctl/kelctl_output.h"
#include "tools/kelctl/kelctl_raid_text.h"
#include "tools/kelctl/kelctl_smart.h"

namespace {

KelVDInfo Vd(uint64_t start, uint64_t length, uint32_t index = 0) {
  KelVDInfo v{};
  v.SetStartSector(start);
  v.SetCapacity(length);
  v.SetIndex(index);
  v.array_index = 255;
  return v;
}

std::string Describe(const std::vector<KelctlArea>& areas) {
  std::string out;
  for (const KelctlArea& a : areas) {
    const char* kind = a.kind == KelctlAreaKind::kVd     ? "vd"
                       : a.kind == KelctlAreaKind::kFree ? "free"
                                                         : "prot";
    out += std::string(out.empty() ? "" : " ") + kind + "[" + std::to_string(a.start) + "+" +
           std::to_string(a.length) + "]";
  }
  return out;
}

TEST(DiskLayout, BlankDiskIsFreeUpToTheReservedSectors) {
  EXPECT_EQ(Describe(DiskLayout(1000, {}, {})), "free[0+968]");
  EXPECT_EQ(Describe(DiskLayout(32, {}, {})), "");
  EXPECT_EQ(Describe(DiskLayout(10, {}, {})), "");
}

TEST(DiskLayout, GapsAroundVdsInSectorOrder) {
  // Given out of order, as slot 1 may lie before slot 0.
  EXPECT_EQ(Describe(DiskLayout(1000, {Vd(600, 100), Vd(100, 200)}, {})),
            "free[0+100] vd[100+200] free[300+300] vd[600+100] free[700+268]");
  EXPECT_EQ(Describe(DiskLayout(1000, {Vd(0, 968)}, {})), "vd[0+968]");
}

TEST(DiskLayout, ProtectedPartsOfAGapAreMarked) {
  _zr_protect_free_info_t p{500, 100};
  EXPECT_EQ(Describe(DiskLayout(1000, {Vd(0, 400)}, {p})),
            "vd[0+400] free[400+100] prot[500+100] free[600+368]");
  // An area that spills over a VD or past the usable end is cut to the gap.
  _zr_protect_free_info_t wide{300, 5000};
  EXPECT_EQ(Describe(DiskLayout(1000, {Vd(0, 400)}, {wide})), "vd[0+400] prot[400+568]");
}

TEST(DiskLayout, OverlappingOrOversizedVdsLeaveNoNegativeGaps) {
  EXPECT_EQ(Describe(DiskLayout(1000, {Vd(0, 500), Vd(400, 200)}, {})),
            "vd[0+500] vd[400+200] free[600+368]");
  EXPECT_EQ(Describe(DiskLayout(1000, {Vd(900, 100)}, {})), "free[0+900] vd[900+100]");
  EXPECT_EQ(Describe(DiskLayout(1000, {Vd(10, UINT64_MAX)}, {})),
            "free[0+10] vd[10+18446744073709551615]");
}

TEST(Smart, ValuesEntriesAreDecodedFieldByField) {
  std::vector<unsigned char> page(512, 0);
  page[0] = 0x10;
  // Entry 0: id 5, flags 0x0033, current 100, worst 99, raw 0x0000_0102_0304 (48 bits).
  const unsigned char e0[12] = {5, 0x33, 0x00, 100, 99, 0x04, 0x03, 0x02, 0x01, 0x00, 0x00, 0};
  memcpy(&page[2], e0, 12);
  // Entry 1 unused (id 0); entry 29, the last, with the largest raw value.
  const unsigned char e29[12] = {194, 0x22, 0x01, 1, 2, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x77};
  memcpy(&page[2 + 29 * 12], e29, 12);
  std::vector<KelctlSmartValue> v = DecodeSmartValues(page);
  ASSERT_EQ(v.size(), 2u);
  EXPECT_EQ(SmartRevision(page), 0x10u);
  EXPECT_EQ(v[0].id, 5u);
  EXPECT_EQ(v[0].flags, 0x33u);
  EXPECT_EQ(v[0].current, 100u);
  EXPECT_EQ(v[0].worst, 99u);
  EXPECT_EQ(v[0].raw, 0x01020304u);
  EXPECT_EQ(v[1].id, 194u);
  EXPECT_EQ(v[1].flags, 0x0122u);
  EXPECT_EQ(v[1].raw, 0xffffffffffffull);  // the byte after the raw value is not part of it
}

TEST(Smart, ThresholdsAndShortPages) {
  std::vector<unsigned char> page(512, 0);
  page[2] = 5;
  page[3] = 36;
  page[2 + 12] = 9;
  page[3 + 12] = 0;
  std::vector<KelctlSmartThreshold> t = DecodeSmartThresholds(page);
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[0].id, 5u);
  EXPECT_EQ(t[0].threshold, 36u);
  EXPECT_EQ(t[1].id, 9u);
  page.resize(2 + 12 + 5);  // the second entry is cut off
  EXPECT_EQ(DecodeSmartThresholds(page).size(), 1u);
  EXPECT_TRUE(DecodeSmartValues({}).empty());
}

TEST(RaidText, StatusWordsAndNames) {
  EXPECT_EQ(ArrayStatusText(0), "normal");
  EXPECT_EQ(ArrayStatusText(0xF), "degraded, invalid member, needs synchronisation, bit3");
  EXPECT_EQ(ArrayStatusText(0x21), "degraded, bit5");
  EXPECT_EQ(DiskFlagsText(0), "ok");
  EXPECT_EQ(DiskFlagsText(0x1C), "health bad, unreadable, partition clear pending");
  EXPECT_EQ(DiskFlagsText(0x3), "set aside, bit1");
  EXPECT_EQ(ArrayTaskText(1), "synchronising");
  EXPECT_EQ(ArrayTaskText(2), "migrating");
  EXPECT_EQ(ArrayTaskText(3), "replacing");
  EXPECT_EQ(ArrayTaskText(7), "task 7");
  EXPECT_EQ(RaidTypeName(9), "RAID 0+1");
  EXPECT_EQ(RaidTypeName(8), "span");
  EXPECT_EQ(RaidTypeName(255), "plain disk");
  EXPECT_EQ(RaidTypeName(6), "type 6");
}

TEST(RaidText, SizesAndStrings) {
  EXPECT_EQ(HumanSize(512), "512 B");
  EXPECT_EQ(HumanSize(1536), "1.5 KiB");
  EXPECT_EQ(HumanSize(1ull << 30), "1.0 GiB");
  EXPECT_EQ(SectorsText(2097152), "2097152 sectors (1.0 GiB)");
  EXPECT_EQ(SectorsText(8, 4096), "8 sectors (32.0 KiB)");
  const char field[4] = {'a', 'b', 'c', 'd'};  // full width, no zero byte
  EXPECT_EQ(FieldText(field), "abcd");
  EXPECT_EQ(Printable(std::string("x\x01y  ")), "x?y");
  EXPECT_EQ(Printable(""), "-");
}

TEST(RaidText, StaleMagicCodesAreExplained) {
  EXPECT_EQ(KelctlCodeText(2).rfind("stale magic number", 0), 0u);
  EXPECT_EQ(KelctlCodeText(200), "no such disk or array, or index out of range");
  EXPECT_EQ(KelctlCodeText(2013), "wrong user name or password");
}

TEST(KelctlFree, ShowsVdsFreeAndProtectedAreas) {
  KelctlOptions o;
  o.command = KelctlCommand::kFree;
  KelctlOutcome r;
  _zr_device_info d{};
  d.index = 1;
  d.SetCapacity(2097152);
  d.bytesPerSector = 512;
  d.freeProtectNum = 1;
  r.raid.disks.push_back(d);
  KelVDInfo vd = Vd(0, 1048576, 3);
  vd.array_index = 2;
  vd.array_position = 0;
  r.raid.vds.push_back(vd);
  r.raid.protectedAreas.push_back({1048576, 524288});
  EXPECT_EQ(FormatReadable(o, r),
            "disk 1: 2097152 sectors (1.0 GiB), 2097120 usable\n"
            "START    END      SECTORS  SIZE       USE\n"
            "0        1048575  1048576  512.0 MiB  VD 3 (slot 0, array 2 position 0)\n"
            "1048576  1572863  524288   256.0 MiB  protected (kept for a migration)\n"
            "1572864  2097119  524256   256.0 MiB  free\n"
            "free: 524256 sectors (256.0 MiB)\n"
            "PROTECTED START  SECTORS  SIZE\n"
            "1048576          524288   256.0 MiB\n");
}

}  // namespace
