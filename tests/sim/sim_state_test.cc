// The simulator's state file: what is written is what is read back, and foreign or newer
// files are refused rather than misread.
#include <gtest/gtest.h>

#include "sim/sim_state.h"

TEST(SimState, SerializedStateReadsBackFieldForField) {
  KelSimState s{  // sda is unplugged
      .capability = 0x5, .nextDisk = 3, .hotplug = true, .root = "sdb", .powerLossAfter = 2,
      .channels = std::vector<KelSimChannel>(3),
      .hubs = {{.side = 1, .name = "Hub with spaces %=", .reportedCount = 3}},
      .disks = {{.name = "sdb", .serial = "SER 1", .model = "Model X", .firmware = "F1",
                 .capacity = 123456789, .channel = 0, .side = 1, .port = 2, .smartStatus = 9,
                 .attrs = {{5, 10, 36}, {9, 99, 0}}, .faults = {{0x0C, -1}, {0x04, 3}},
                 .records = {{1, {.syncSaved = ~0ull, .syncing = true, .migMoved = 64, .dirty = true}}}},
                {.name = "sda", .serial = "", .capacity = 64, .attrs = {}, .faults = {}, .records = {}}},
      .volumes = {},
      .parks = {{"sda", 8128, 32, "sdb", 4064}}};
  s.channels[2].usable = false;
  s.channels[1].slaveValid = false;
  s.channels[1].cable = 7;

  KelSimState r;
  std::string err;
  ASSERT_TRUE(KelSimParse(KelSimSerialize(s), &r, &err)) << err;
  EXPECT_EQ(KelSimSerialize(r), KelSimSerialize(s));
  EXPECT_EQ(r.hubs[0].name, "Hub with spaces %=");
  EXPECT_EQ(r.root, "sdb");
  EXPECT_FALSE(r.channels[2].usable);
  ASSERT_EQ(r.disks.size(), 2u);
  EXPECT_EQ(r.disks[0].serial, "SER 1");
  EXPECT_EQ(r.disks[0].faults, s.disks[0].faults);
  EXPECT_EQ(r.disks[0].attrs[0].threshold, 36);
  EXPECT_FALSE(r.disks[1].Attached());
  EXPECT_EQ(r.disks[0].records[1].syncSaved, ~0ull);
  EXPECT_EQ(r.parks.size(), 1u);
}

TEST(SimState, AnotherVersionIsRefused) {
  KelSimState s;
  std::string err;
  EXPECT_FALSE(KelSimParse("kelsim-state 2\n", &s, &err));
  EXPECT_NE(err.find("version"), std::string::npos);
  EXPECT_FALSE(KelSimParse("", &s, &err));
  EXPECT_FALSE(KelSimParse("controller channels=2\n", &s, &err));
}

TEST(SimState, DiskNamesRunPastZ) {
  EXPECT_EQ(KelSimDiskName(25), "sdz");
  EXPECT_EQ(KelSimDiskName(26), "sdaa");
}
