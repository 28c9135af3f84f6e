// A snapshot of what hangs off the first controller (channels, their one or two device
// positions, a hub's four ports) and the comparison of two snapshots into the list of disks
// and hubs that were plugged in or pulled out. Pure data: the engine scan that fills a tree
// lives in ctrl_tree_scan.h, so the comparison is tested on hand-made trees.
#ifndef KEL_SERVICE_MONITOR_CTRL_TREE_H
#define KEL_SERVICE_MONITOR_CTRL_TREE_H

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "sharedlib/raid_records.h"

inline constexpr int kKelTreeMaxChannels = 2;
inline constexpr int kKelTreeMaxSlots = 2;
inline constexpr int kKelHubPorts = 4;

enum KelSlotType { KEL_SLOT_EMPTY = 0, KEL_SLOT_DISK = 1, KEL_SLOT_HUB = 2 };

struct KelCtlSlot {
  KelSlotType type = KEL_SLOT_EMPTY;
  _zr_device_hub_info_t hub{};  // hubs only
  // A hub uses all four; a directly attached disk only ports[0].
  std::array<std::optional<_zr_device_info>, kKelHubPorts> ports;
};

struct KelCtlChannel {
  int slot_num = 0;
  std::array<KelCtlSlot, kKelTreeMaxSlots> slots;
};

struct KelCtlTree {
  int chnl_num = 0;
  std::array<KelCtlChannel, kKelTreeMaxChannels> chnl;
};

enum KelHpKind { KEL_HP_DISK_IN = 1, KEL_HP_DISK_OUT = 2, KEL_HP_HUB_IN = 3, KEL_HP_HUB_OUT = 4 };

// One detected change. Removals sort before insertions, so a disk moved between ports is
// reported as gone before it is reported as back.
struct _HpInfo {
  KelHpKind kind;
  int prio;          // 100 removal, 101 insertion
  std::string name;  // disk: "model serial"; hub: its name
};

// The changes from `oldTree` to `newTree`, removals first, each group in slot order. Trees
// whose channel or slot counts differ cannot be compared: an assertion line, and the
// positions both trees have are compared.
std::vector<_HpInfo> ExtractHpInfo(const KelCtlTree& oldTree, const KelCtlTree& newTree);

// "model serial", both with surrounding spaces removed; the texts are bounded by their fields.
std::string DiskDisplayName(const _zr_device_info& dev);
// The event-log line of one change: "WARNING~<name>: pluged in" / "...: pluged out".
std::string HpLogLine(const _HpInfo& info);

#endif
