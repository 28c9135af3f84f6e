// The simulator's arrays in memory: areas built byte by byte grouped into arrays, logical
// sectors placed on members per level, and volume I/O through the redundancy on members
// held in memory.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "sim/sim_data.h"
#include "sim/sim_layout.h"
#include "sim/sim_volume.h"
#include "tests/support/conf_area_builder.h"

namespace {

using kel_test::ConfAreaBuilder;
using kel_test::ConfVd;

struct Shape {
  uint8_t type;
  std::vector<uint64_t> lengths;  // one per member, in layout order
  uint8_t stripe;
};

// The blocks of an array whose member i sits on disk "d<i>" slot 0 (serial checksum
// 1000 * (i + 1)), read back from the areas.
std::vector<SimVdBlock> Blocks(const Shape& sh, std::vector<ConfVd> edits = {}) {
  const int n = static_cast<int>(sh.lengths.size());
  std::vector<uint32_t> ids;
  for (int i = 0; i < n; ++i) ids.push_back(1000u * (i + 1));
  std::vector<SimVdBlock> out;
  for (int i = 0; i < n; ++i) {
    ConfVd vd{.raidType = sh.type, .vdCount = static_cast<uint8_t>(n),
              .position = static_cast<uint8_t>(sh.type == kSimRaid01 ? i % (n / 2) : i),
              .secondHalf = sh.type == kSimRaid01 && i >= n / 2, .start = 100,
              .length = sh.lengths[i], .stripeSectors = sh.stripe, .memberIds = ids};
    if (i < static_cast<int>(edits.size())) {
      vd.extraState = edits[i].extraState;
      vd.valid = edits[i].valid;
      vd.arrayMark = edits[i].arrayMark;
    }
    auto area = ConfAreaBuilder().Pd(ids[i]).Vd(0, vd).Bytes();
    for (auto& b : SimReadArea("d" + std::to_string(i), area.data())) out.push_back(b);
  }
  return out;
}

SimArray Array(const Shape& sh) {
  auto arrays = SimGroupArrays(Blocks(sh));
  return arrays.size() == 1 ? arrays[0] : SimArray{};
}

const Shape kRaid0{kSimRaid0, {10, 10, 10}, 4};
const Shape kRaid1{kSimRaid1, {10, 12}, 0};
const Shape kRaid5{kSimRaid5, {10, 10, 10}, 4};
const Shape kSpan{kSimSpan, {10, 20}, 0};
const Shape kRaid01{kSimRaid01, {10, 10, 10, 10}, 4};

class MemoryMembers : public SimMemberIo {
 public:
  explicit MemoryMembers(const SimArray& a) {
    for (const auto& m : a.members) disks.emplace_back(m.length * 512, 0);
  }
  bool Read(int m, uint64_t phys, uint64_t n, unsigned char* out, std::string*) override {
    std::memcpy(out, disks[m].data() + phys * 512, n * 512);
    return true;
  }
  bool Write(int m, uint64_t phys, uint64_t n, const unsigned char* in, std::string*) override {
    std::memcpy(disks[m].data() + phys * 512, in, n * 512);
    return true;
  }
  std::vector<std::vector<unsigned char>> disks;
};

}  // namespace

TEST(SimLayout, CapacityPerLevel) {
  const struct { const Shape* shape; uint64_t capacity; } cases[] = {
      {&kRaid0, 24},   // 3 x two whole stripes of 4
      {&kRaid1, 10},   // the shorter copy
      {&kRaid5, 16},   // 2 data x 8
      {&kSpan, 30},
      {&kRaid01, 16},  // 2 x 8
  };
  for (const auto& c : cases)
    EXPECT_EQ(Array(*c.shape).capacity, c.capacity) << SimRaidName(c.shape->type);
}

TEST(SimLayout, LogicalSectorsLandOnTheirMemberAndParityRotatesLeftSymmetric) {
  const struct { const Shape* shape; uint64_t lba; int column; uint64_t phys; int parity; } cases[] = {
      {&kRaid0, 0, 0, 0, -1},  {&kRaid0, 5, 1, 1, -1},   {&kRaid0, 13, 0, 5, -1},
      {&kRaid1, 7, 0, 7, -1},  {&kSpan, 9, 0, 9, -1},    {&kSpan, 10, 1, 0, -1},
      {&kSpan, 29, 1, 19, -1}, {&kRaid01, 4, 1, 0, -1},  {&kRaid01, 9, 0, 5, -1},
      {&kRaid5, 0, 0, 0, 2},   {&kRaid5, 4, 1, 0, 2},    // row 0: parity on the last member
      {&kRaid5, 8, 2, 4, 1},   {&kRaid5, 12, 0, 4, 1},   // row 1: data starts after parity
      {&kRaid5, 17, 1, 9, 0},  {&kRaid5, 21, 2, 9, 0},
  };
  for (const auto& c : cases) {
    SimPlace p = SimLocate(Array(*c.shape), c.lba);
    EXPECT_EQ(std::make_tuple(p.column, p.phys, p.parity), std::make_tuple(c.column, c.phys, c.parity))
        << SimRaidName(c.shape->type) << " sector " << c.lba;
  }
  EXPECT_EQ(SimCopies(Array(kRaid01), 1), (std::vector<int>{1, 3}));
}

TEST(SimArrays, GroupingFollowsIdentityAndMemberState) {
  // Other non-zero marks make another array; a mark of 0 joins either.
  auto blocks = Blocks(kRaid1, {{.arrayMark = 7}, {.arrayMark = 8}});
  EXPECT_EQ(SimGroupArrays(blocks).size(), 2u);
  blocks = Blocks(kRaid1, {{.arrayMark = 7}, {.arrayMark = 0}});
  EXPECT_EQ(SimGroupArrays(blocks).size(), 1u);

  // An invalid block leaves its position missing; a synchronisation target holds no data.
  SimArray a = SimGroupArrays(Blocks(kRaid5, {{.valid = false}}))[0];
  EXPECT_FALSE(a.members[0].present);
  EXPECT_TRUE(a.Readable());
  a = SimGroupArrays(Blocks(kRaid01, {{.extraState = 1u << 4}, {}, {}, {}}))[0];
  EXPECT_TRUE(a.members[0].present && !a.members[0].holdsData);
  EXPECT_TRUE(a.Readable());
  a.members[2].holdsData = false;  // both copies of the first stripe column gone
  EXPECT_FALSE(a.Readable());

  // A replacement target's copy of a block, even found first, leaves the source the member.
  blocks = Blocks(kRaid1, {{.extraState = 2u << 7}});
  blocks.resize(1);
  blocks[0].disk = "t";
  for (auto& b : Blocks(kRaid1, {{.extraState = 1u << 7}})) blocks.push_back(b);
  int dropped = 0;
  auto grouped = SimGroupArrays(blocks, &dropped);
  ASSERT_EQ(grouped.size(), 1u);
  EXPECT_EQ(grouped[0].members[0].disk, "d0");
  EXPECT_EQ(dropped, 0);

  // An area in the older layout, or a block not in its own member list, is not read.
  auto old = ConfAreaBuilder().OldLayout({.raidType = 1, .length = 10}).Bytes();
  EXPECT_TRUE(SimReadArea("x", old.data()).empty());
  auto stranger = ConfAreaBuilder().Pd(5).Vd(0, {.raidType = 1, .vdCount = 2, .length = 10,
                                                 .memberIds = {1, 2}}).Bytes();
  EXPECT_TRUE(SimGroupArrays(SimReadArea("x", stranger.data()), &dropped).empty());
  EXPECT_EQ(dropped, 1);
}

TEST(SimVolumeIo, DegradedReadsMatchAndCheckNamesTheCorruptSector) {
  // level, member dropped for the degraded read, member and physical sector corrupted,
  // logical sector the check names.
  const struct { const Shape* shape; int drop; int bad; uint64_t phys; uint64_t named; } cases[] = {
      {&kRaid1, 0, 1, 6, 6},
      {&kRaid5, 1, 2, 5, 9},    // row 1 (phys 4..7): its first data sector is logical 8
      {&kRaid01, 3, 1, 6, 14},  // column 1, row 1, offset 2: stripe 3 of the volume
  };
  for (const auto& c : cases) {
    SimArray a = Array(*c.shape);
    MemoryMembers mem(a);
    SimVolumeIo io(a, mem);
    std::string err;
    std::vector<unsigned char> want(a.capacity * 512), got(want.size());
    SimFillPattern(3, 0, a.capacity, want.data());
    ASSERT_TRUE(io.Write(0, a.capacity, want.data(), &err)) << err;
    ASSERT_TRUE(io.Write(5, 2, want.data() + 5 * 512, &err)) << err;  // a part row rewritten
    uint64_t bad;
    ASSERT_TRUE(io.Check(&bad, &err)) << err;
    EXPECT_EQ(bad, UINT64_MAX) << SimRaidName(a.raidType);

    SimArray degraded = a;
    degraded.members[c.drop].holdsData = false;
    SimVolumeIo dio(degraded, mem);
    ASSERT_TRUE(dio.Read(0, a.capacity, got.data(), &err)) << err;
    EXPECT_EQ(got, want) << SimRaidName(a.raidType);

    mem.disks[c.bad][c.phys * 512 + 17] ^= 1;
    ASSERT_TRUE(io.Check(&bad, &err)) << err;
    EXPECT_EQ(bad, c.named) << SimRaidName(a.raidType);
    EXPECT_FALSE(dio.Check(&bad, &err)) << "a degraded array has nothing to compare";
  }
}
