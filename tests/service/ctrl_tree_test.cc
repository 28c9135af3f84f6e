// Comparing two controller snapshots: what was plugged in or pulled out, removals first.
#include "service/monitor/ctrl_tree.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

_zr_device_info Disk(const char* model, const char* serial) {
  _zr_device_info d{};
  memcpy(d.modelName, model, strlen(model));
  memcpy(d.serialNumber, serial, strlen(serial));
  return d;
}

// One channel with one position: empty, a disk, or a hub with disks on the given ports.
KelCtlTree Tree(KelSlotType type, std::vector<std::pair<int, _zr_device_info>> disks = {},
                const char* hub = "HUB-A") {
  KelCtlTree t;
  t.chnl_num = 1;
  t.chnl[0].slot_num = 1;
  KelCtlSlot& slot = t.chnl[0].slots[0];
  slot.type = type;
  memcpy(slot.hub.DeviceHubName, hub, strlen(hub));
  for (auto& [port, dev] : disks) slot.ports[static_cast<size_t>(port)] = dev;
  return t;
}

std::vector<std::string> Lines(const KelCtlTree& was, const KelCtlTree& now) {
  std::vector<std::string> out;
  for (const _HpInfo& info : ExtractHpInfo(was, now)) out.push_back(HpLogLine(info));
  return out;
}

const _zr_device_info kA = Disk("  W1  ", " S1 ");
const _zr_device_info kB = Disk("S5", "S2");

struct Case {
  const char* what;
  KelCtlTree was, now;
  std::vector<std::string> lines;
};

TEST(CtrlTree, ChangesBetweenSnapshotsGiveOneTrimmedLineEachRemovalsFirst) {
  const Case cases[] = {
      {"nothing changed", Tree(KEL_SLOT_DISK, {{0, kA}}), Tree(KEL_SLOT_DISK, {{0, kA}}), {}},
      {"plug", Tree(KEL_SLOT_EMPTY), Tree(KEL_SLOT_DISK, {{0, kA}}), {"WARNING~W1 S1: pluged in"}},
      {"pull", Tree(KEL_SLOT_DISK, {{0, kB}}), Tree(KEL_SLOT_EMPTY), {"WARNING~S5 S2: pluged out"}},
      {"swap in place", Tree(KEL_SLOT_DISK, {{0, kA}}), Tree(KEL_SLOT_DISK, {{0, kB}}),
       {"WARNING~W1 S1: pluged out", "WARNING~S5 S2: pluged in"}},
      {"hub for disk", Tree(KEL_SLOT_DISK, {{0, kB}}), Tree(KEL_SLOT_HUB, {{2, kA}}),
       {"WARNING~S5 S2: pluged out", "WARNING~HUB-A: pluged in"}},
      {"other hub", Tree(KEL_SLOT_HUB, {}, "HUB-A"), Tree(KEL_SLOT_HUB, {}, "HUB-B"),
       {"WARNING~HUB-A: pluged out", "WARNING~HUB-B: pluged in"}},
      {"moved on the hub, pull listed first although its port is later",
       Tree(KEL_SLOT_HUB, {{3, kA}}), Tree(KEL_SLOT_HUB, {{1, kA}}),
       {"WARNING~W1 S1: pluged out", "WARNING~W1 S1: pluged in"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Lines(c.was, c.now), c.lines) << c.what;
}

}  // namespace
