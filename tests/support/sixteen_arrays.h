// A simulated controller with 16 disks carrying 16 arrays, for benchmarks and load runs:
// both channels hold a port multiplier on master and slave with 4 disks of 1 GiB each, and
// every disk carries two VDs of 200 MiB. Slot 0 holds four RAID 1, two RAID 5 and two
// single-disk spans; slot 1 four RAID 0, two RAID 1, one RAID 5 and one span. The includer
// defines KELSIM_BIN, the kelsim program to run.
#ifndef KEL_TESTS_SUPPORT_SIXTEEN_ARRAYS_H
#define KEL_TESTS_SUPPORT_SIXTEEN_ARRAYS_H

#include <string>
#include <vector>

#include "tests/support/conf_area_builder.h"

namespace kel_test {

inline constexpr int kSixteenDisks = 16;
inline constexpr uint64_t kSixteenVdSectors = 409600;  // 200 MiB

// One array of the fixture: its RAID type, the disks (0..15) in array order, the slot.
struct SixteenArray {
  uint8_t raidType;
  std::vector<int> disks;
  int slot;
};

inline std::vector<SixteenArray> SixteenArrayLayout() {
  return {
      {1, {0, 1}, 0},   {1, {2, 3}, 0},     {1, {4, 5}, 0},      {1, {6, 7}, 0},
      {5, {8, 9, 10}, 0}, {5, {11, 12, 13}, 0}, {8, {14}, 0},   {8, {15}, 0},
      {0, {0, 1}, 1},   {0, {2, 3}, 1},     {0, {4, 5}, 1},      {0, {6, 7}, 1},
      {1, {8, 9}, 1},   {1, {10, 11}, 1},   {5, {12, 13, 14}, 1}, {8, {15}, 1},
  };
}

inline std::string SixteenDiskName(int i) { return std::string("sd") + static_cast<char>('a' + i); }

inline bool MakeSixteenArraySim(const std::string& simDir) {
  const std::string kelsim = KELSIM_BIN;
  auto run = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {kelsim, "--dir", simDir});
    return conf_detail::Run(args);
  };
  if (!run({"init"})) return false;
  for (int chan = 0; chan < 2; ++chan) {
    for (const char* side : {"master", "slave"}) {
      const std::string c = std::to_string(chan);
      if (!run({"add-hub", "--channel", c, "--position", side})) return false;
      for (int port = 0; port < 4; ++port)
        if (!run({"add-disk", "--channel", c, "--position", side, "--hub-port",
                  std::to_string(port), "--size", "1G"}))
          return false;
    }
  }
  std::vector<uint32_t> serial(kSixteenDisks);
  for (int d = 0; d < kSixteenDisks; ++d)
    if (!SimDiskSerialChecksum(kelsim, simDir, SixteenDiskName(d), &serial[d])) return false;

  std::vector<ConfAreaBuilder> areas(kSixteenDisks);
  for (int d = 0; d < kSixteenDisks; ++d) areas[d].Pd(serial[d]);
  const std::vector<SixteenArray> layout = SixteenArrayLayout();
  for (size_t a = 0; a < layout.size(); ++a) {
    const SixteenArray& arr = layout[a];
    std::vector<uint32_t> ids;
    for (int d : arr.disks) ids.push_back(ConfAreaBuilder::VdId(serial[d], arr.slot));
    for (size_t pos = 0; pos < arr.disks.size(); ++pos)
      areas[arr.disks[pos]].Vd(
          arr.slot, {.raidType = arr.raidType, .vdCount = static_cast<uint8_t>(arr.disks.size()),
                     .position = static_cast<uint8_t>(pos),
                     .start = arr.slot == 0 ? 0 : kSixteenVdSectors, .length = kSixteenVdSectors,
                     .stripeSectors = uint8_t(arr.raidType == 0 || arr.raidType == 5 ? 128 : 0),
                     .name = "vd" + std::to_string(a),
                     .arrayName = "array" + std::to_string(100 + a), .memberIds = ids});
  }
  for (int d = 0; d < kSixteenDisks; ++d)
    if (!ImportConfArea(kelsim, simDir, SixteenDiskName(d), areas[d].Bytes(),
                        simDir + "/area-" + SixteenDiskName(d)))
      return false;
  return true;
}

}  // namespace kel_test

#endif
