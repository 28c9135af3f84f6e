// The arrays a controller finds on its disks, worked out from the configuration areas they
// carry: the simulator's own small reader of those areas, independent of the engine's, so
// that each checks the other. Pure: areas in, arrays out, no I/O.
//
// What is read of an area (3072 bytes, little-endian):
//   2560 u16 marker 0xAA55, 2562 u8 layout version (below 3: an older layout, not read here)
//   2048+4 u32 VD map: bit s set when the block of slot s is in use (slots 0 and 1)
//   (7 - s) * 256: the VD block of slot s:
//     +0 u16 0xD4D6, +4 u32 VD id, +8 u64 first sector, +24 u64 length, +32 u16 state
//     (bit 0 valid, bit 4 target of a running synchronisation, bits 7..8 replacement role:
//     1 source, 2 target), +36 u64 array mark,
//     +105 u8 flags (bit 1: a migration is in progress), +100 u8 RAID type, +101 u8 number of VDs, +108 u8 stripe in sectors (0: 256),
//     +112 u8 position, +212 u32[8] member VD ids in array order.
#ifndef KEL_SIM_SIM_ARRAY_H
#define KEL_SIM_SIM_ARRAY_H

#include <cstdint>
#include <string>
#include <vector>

enum SimRaidType : uint8_t {
  kSimRaid0 = 0,
  kSimRaid1 = 1,
  kSimRaid5 = 5,
  kSimSpan = 8,
  kSimRaid01 = 9,
};

constexpr int kSimMaxMembers = 8;
constexpr uint8_t kSimFlags2Migrating = 1u << 1;  // byte 105: data still being spread
constexpr uint8_t kSimRplTarget = 2;              // replacement role of a copy in progress

// One valid VD block of one disk.
struct SimVdBlock {
  std::string disk;        // disk name ("sda")
  int slot = 0;            // 0 or 1
  uint32_t vdId = 0;
  uint64_t start = 0;      // first sector on the disk
  uint64_t length = 0;     // sectors
  uint16_t state = 0;
  uint8_t flags2 = 0;      // byte 105
  uint64_t mark = 0;       // array mark, 0 when not set
  uint8_t raidType = 0;
  uint8_t vdCount = 0;
  uint32_t stripe = 0;     // sectors, 0 in the block read as 256
  uint8_t position = 0;    // raw position byte
  std::vector<uint32_t> memberIds;  // the first vdCount entries

  uint8_t ReplaceRole() const { return (state >> 7) & 3; }
  bool Migrating() const { return flags2 & kSimFlags2Migrating; }
};

// One position of an array.
struct SimMember {
  bool present = false;    // a valid block was found for this position on an attached disk
  bool holdsData = false;  // present and readable: not a synchronisation target, not a spare
  std::string disk;
  int slot = 0;
  uint32_t vdId = 0;
  uint64_t start = 0;
  uint64_t length = 0;
};

struct SimArray {
  uint8_t raidType = 0;
  int count = 0;           // positions (VDs of the array)
  uint32_t stripe = 0;     // sectors
  uint64_t mark = 0;
  std::vector<uint32_t> memberIds;
  std::vector<SimMember> members;  // by layout index (RAID 0+1: first half, then second)
  uint64_t memberLength = 0;       // L: the shortest member that takes part in the layout
  uint64_t capacity = 0;           // logical sectors
  // A block says its data is still being spread from the first member (sim_migration.h).
  bool migrating = false;

  // Whether every logical sector can be read, through the redundancy where needed.
  bool Readable() const;
  // The layout index of the member on `disk` slot `slot`, -1 when it is not one.
  int IndexOf(const std::string& disk, int slot) const;
  // Whether the array is the one described by these identity fields (marks compared when
  // both are set).
  bool SameIdentity(uint8_t type, int n, const std::vector<uint32_t>& ids, uint64_t mark) const;
};

// The valid VD blocks of one disk's area; none for an area without the marker or in the
// older layout.
std::vector<SimVdBlock> SimReadArea(const std::string& disk, const unsigned char* area);

// Groups blocks into arrays (same type, VD count, member-id list, compatible marks), places
// each block by its position and works out the member length and capacity. A replacement
// target's blocks are copies of its source's, made before its data is: the source stays the
// member until the replacement ends, so they take no part. Blocks that do not fit (id not in their own list, position out of range or taken, unknown type) are
// left out and counted in *dropped when given.
std::vector<SimArray> SimGroupArrays(const std::vector<SimVdBlock>& blocks, int* dropped = nullptr);

// Layout index of a block's position byte in an array of `count` VDs of `type`, -1 when it
// does not fit.
int SimLayoutIndex(uint8_t type, int count, uint8_t position);

const char* SimRaidName(uint8_t type);

#endif
