// The configuration-area builder that engine and process tests use as their reference:
// field positions, both block checksums, the older layout's bit packing, and its serial
// checksum against the driver's own over the identity record the simulator sends.
#include "tests/support/conf_area_builder.h"

#include <gtest/gtest.h>

#include "driver/drv_info_records.h"
#include "sim/sim_records.h"

namespace {

using kel_test::ConfAreaBuilder;
using kel_test::ConfVd;

uint64_t Le(const std::vector<uint8_t>& a, size_t at, int bytes) {
  uint64_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= static_cast<uint64_t>(a[at + i]) << (8 * i);
  return v;
}

TEST(ConfAreaBuilder, PdSectorAndVdBlocksSitAtTheirOffsetsWithValidChecksums) {
  ConfAreaBuilder b;
  b.Pd(0x11223344)
      .Vd(0, {.raidType = 1, .vdCount = 2, .position = 1, .start = 64, .length = 1000,
              .name = "m1", .arrayName = "Mirror", .memberIds = {0x11223344, 0x55667788}})
      .Vd(1, {.raidType = 9, .vdCount = 4, .position = 1, .secondHalf = true, .length = 5,
              .stripeSectors = 128});
  std::vector<uint8_t> a = b.Bytes();
  ASSERT_EQ(a.size(), 3072u);
  EXPECT_EQ(Le(a, 2560, 2), 0xAA55u);
  EXPECT_EQ(a[2562], 3);
  EXPECT_EQ(Le(a, 2048, 2), 0xE2E4u);
  EXPECT_EQ(a[2048 + 3], 2);                  // VDs in use
  EXPECT_EQ(Le(a, 2048 + 4, 4), 3u);          // VD map
  EXPECT_EQ(Le(a, 2048 + 8, 4), 0x11223344u);
  EXPECT_EQ(a[2048 + 14], 32);
  EXPECT_EQ(ConfAreaBuilder::Xor(a, 2048, 512), 0);  // byte 511 completes the XOR

  const size_t s0 = 1792, s1 = 1536;
  EXPECT_EQ(Le(a, s0, 2), 0xD4D6u);
  EXPECT_EQ(Le(a, s0 + 4, 4), 0x11223344u);
  EXPECT_EQ(Le(a, s1 + 4, 4), 0x11223345u);  // serial checksum + slot
  EXPECT_EQ(Le(a, s0 + 8, 8), 64u);
  EXPECT_EQ(Le(a, s0 + 16, 8), 1064u);
  EXPECT_EQ(Le(a, s0 + 24, 8), 1000u);
  EXPECT_EQ(Le(a, s0 + 180, 8), 1000u);
  EXPECT_EQ(Le(a, s0 + 32, 2), 1u);
  EXPECT_EQ(a[s0 + 104], 3);  // created, array name valid
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&a[s0 + 188])), "Mirror");
  EXPECT_EQ(a[s0 + 112], 1);
  EXPECT_EQ(a[s1 + 112], 0x81);
  EXPECT_EQ(a[s1 + 108], 128);
  EXPECT_EQ(Le(a, s0 + 216, 4), 0x55667788u);
  for (size_t blk : {s0, s1}) {
    EXPECT_EQ(a[blk + 113], ConfAreaBuilder::Xor(a, blk + 212, 32));
    EXPECT_EQ(ConfAreaBuilder::Xor(a, blk, 256), 0);
  }
  EXPECT_EQ(ConfAreaBuilder::Xor(a, 0, 1536), 0);  // the unused head stays zero
}

TEST(ConfAreaBuilder, OlderLayoutPacksTheMarkerSector) {
  std::vector<uint8_t> a = ConfAreaBuilder()
                               .OldLayout({.version = 2, .flagA = true, .raidType = 9,
                                           .positionField = 0x19, .vdCount = 2, .flagB = true,
                                           .stripeExponent = 4, .length = 0x100000002ull,
                                           .serialChecksum = 0xCAFE, .memberIds = {1, 2},
                                           .flagC = true, .pending = 1, .pendingValue1 = 5,
                                           .levelParam = 3, .syncPosition = 9})
                               .Bytes();
  EXPECT_EQ(a[2562], 2);
  EXPECT_EQ(a[2563], 1 | 9 << 3);
  EXPECT_EQ(a[2564], 0x19 << 2 & 0xFF);
  EXPECT_EQ(a[2565], 2 | 8 | 4 << 4);
  EXPECT_EQ(Le(a, 2566, 8), 0x100000002ull);
  EXPECT_EQ(Le(a, 2574, 4), 0xCAFEu);
  EXPECT_EQ(Le(a, 2582, 4), 2u);
  EXPECT_EQ(a[2622], 1);
  EXPECT_EQ(a[2623], 1);
  EXPECT_EQ(Le(a, 2624, 4), 5u);
  EXPECT_EQ(a[2632], 3);
  EXPECT_EQ(Le(a, 2633, 8), 9u);
  EXPECT_EQ(Le(a, 2048, 2), 0u);  // no PD sector in this layout
}

TEST(ConfAreaBuilder, SerialChecksumMatchesTheDriversOverTheSimulatedIdentity) {
  for (const char* serial : {"S1", "SIMDISK-0001-ABCDEFGH", ""}) {
    KelSimDisk d;
    d.serial = serial;
    d.model = "ZEP SimDisk with a rather long model name";
    d.firmware = "1.00";
    d.capacity = 2097152;
    _Device_Info info;
    KelSimEncodeDevice(d, reinterpret_cast<unsigned char*>(&info));
    EXPECT_EQ(kel_test::ConfSerialChecksum(d.serial, d.firmware, d.model),
              MakeDeviceSerialChksum(&info))
        << serial;
  }
}

}  // namespace
