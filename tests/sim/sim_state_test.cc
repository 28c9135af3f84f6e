// The simulator's state file: what is written is what is read back, and foreign or newer
// files are refused rather than misread.
#include <gtest/gtest.h>

#include "sim/sim_state.h"

TEST(SimState, SerializedStateReadsBackFieldForField) {
  KelSimState s;
  s.capability = 0x5;
  s.controllerIndex = 0;
  s.nextDisk = 3;
  s.hotplug = true;
  s.root = "sdb";
  s.powerLossAfter = 2;
  s.channels.resize(3);
  s.channels[2].usable = false;
  s.channels[1].slaveValid = false;
  s.channels[1].cable = 7;
  KelSimHub h;
  h.channel = 0;
  h.side = 1;
  h.name = "Hub with spaces %=";
  h.reportedCount = 3;
  s.hubs.push_back(h);
  KelSimDisk d;
  d.name = "sdb";
  d.serial = "SER 1";
  d.model = "Model X";
  d.firmware = "F1";
  d.capacity = 123456789;
  d.channel = 0;
  d.side = 1;
  d.port = 2;
  d.smartStatus = 9;
  d.attrs = {{5, 10, 36}, {9, 99, 0}};
  d.faults = {{0x0C, -1}, {0x04, 3}};
  s.disks.push_back(d);
  KelSimDisk unplugged;
  unplugged.name = "sda";
  unplugged.capacity = 64;
  s.disks.push_back(unplugged);

  KelSimState r;
  std::string err;
  ASSERT_TRUE(KelSimParse(KelSimSerialize(s), &r, &err)) << err;
  EXPECT_EQ(KelSimSerialize(r), KelSimSerialize(s));
  EXPECT_EQ(r.hubs[0].name, "Hub with spaces %=");
  EXPECT_EQ(r.root, "sdb");
  EXPECT_FALSE(r.channels[2].usable);
  ASSERT_EQ(r.disks.size(), 2u);
  EXPECT_EQ(r.disks[0].serial, "SER 1");
  EXPECT_EQ(r.disks[0].faults.at(0x0C), -1);
  EXPECT_EQ(r.disks[0].faults.at(0x04), 3);
  EXPECT_EQ(r.disks[0].attrs[0].threshold, 36);
  EXPECT_FALSE(r.disks[1].Attached());
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
  EXPECT_EQ(KelSimDiskName(0), "sda");
  EXPECT_EQ(KelSimDiskName(25), "sdz");
  EXPECT_EQ(KelSimDiskName(26), "sdaa");
}
