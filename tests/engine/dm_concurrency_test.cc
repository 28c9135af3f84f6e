// Readers and rebuilds of the model at the same time: queries share the model lock, a
// rebuild holds it exclusively while it replaces objects, so a reader never sees a half
// merged model or an object that has been destroyed. Run under ThreadSanitizer as well.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "engine_fixture.h"

namespace {

constexpr uint64_t kL = 100000;

class DMConcurrency : public EngineSimTest {};

TEST_F(DMConcurrency, QueriesDuringRescansSeeWholeModels) {
  std::string a = AddDisk(0, 0), b = AddDisk(0, 1), c = AddDisk(1, 0);
  ImportArray({a, b}, {.raidType = KEL_RAID_1, .length = kL, .arrayName = "mirror"}, 0x10);
  Build();

  std::atomic<bool> stop{false};
  std::atomic<int> bad{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 3; ++t) {
    readers.emplace_back([&] {
      while (!stop) {
        int count = 0;
        unsigned char order[32];
        if (DM().GetSortedArrayIndex(&count, order) != ZR_OK) ++bad;
        // The mirror is always there; plain disks come and go with the third disk.
        if (count < 1 || count > 2) ++bad;
        for (int i = 0; i < count; ++i) {
          _zr_array_info info{};
          int rc = DM().GetArrayInfoL(order[i], &info);
          // A rescan may have run between the two queries: the slot is then gone (200).
          if (rc != ZR_OK && rc != ZR_NO_OBJECT) ++bad;
          if (rc == ZR_OK && info.raidType != KEL_RAID_1 && info.raidType != KEL_RAID_PD) ++bad;
        }
        for (int i = 0; i < MAX_PDS; ++i) {
          _zr_device_info d{};
          int rc = DM().GetPDInfoL(i, &d);
          if (rc != ZR_OK && rc != ZR_NO_OBJECT) ++bad;
        }
      }
    });
  }
  for (int round = 0; round < 20; ++round) {
    if (round % 2 == 0)
      Unplug(c);
    else
      Plug(c, 1, 0);
    Rescan();
  }
  stop = true;
  for (std::thread& r : readers) r.join();
  EXPECT_EQ(bad.load(), 0);
  // The model ends as it began: the third disk is back as a plain disk.
  EXPECT_EQ(DM().PDNum(), 3);
  EXPECT_EQ(RaidArrays().size(), 1u);
}

}  // namespace
