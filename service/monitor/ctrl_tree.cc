#include "service/monitor/ctrl_tree.h"

#include <algorithm>
#include <cstring>

#include "sharedlib/diag.h"

namespace {

std::string Field(const char* text, size_t size) { return std::string(text, strnlen(text, size)); }

std::string Trimmed(const std::string& s) {
  const size_t first = s.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

bool SameDisk(const _zr_device_info& a, const _zr_device_info& b) {
  return Field(a.modelName, sizeof a.modelName) == Field(b.modelName, sizeof b.modelName) &&
         Field(a.serialNumber, sizeof a.serialNumber) ==
             Field(b.serialNumber, sizeof b.serialNumber);
}

std::string HubName(const _zr_device_hub_info_t& hub) {
  return Field(hub.DeviceHubName, sizeof hub.DeviceHubName);
}

void AddDisk(std::vector<_HpInfo>* out, const _zr_device_info& dev, bool in) {
  out->push_back({in ? KEL_HP_DISK_IN : KEL_HP_DISK_OUT, in ? 101 : 100, DiskDisplayName(dev)});
}

void AddHub(std::vector<_HpInfo>* out, const _zr_device_hub_info_t& hub, bool in) {
  out->push_back({in ? KEL_HP_HUB_IN : KEL_HP_HUB_OUT, in ? 101 : 100, HubName(hub)});
}

// The whole content of a slot appears or disappears. A hub's disks go with it silently:
// the hub line stands for them.
void AddSlotContent(std::vector<_HpInfo>* out, const KelCtlSlot& slot, bool in) {
  if (slot.type == KEL_SLOT_DISK && slot.ports[0]) AddDisk(out, *slot.ports[0], in);
  if (slot.type == KEL_SLOT_HUB) AddHub(out, slot.hub, in);
}

void ComparePort(std::vector<_HpInfo>* out, const std::optional<_zr_device_info>& was,
                 const std::optional<_zr_device_info>& now) {
  if (was && now && SameDisk(*was, *now)) return;
  if (was) AddDisk(out, *was, false);
  if (now) AddDisk(out, *now, true);
}

void CompareSlot(std::vector<_HpInfo>* out, const KelCtlSlot& was, const KelCtlSlot& now) {
  if (was.type != now.type) {
    AddSlotContent(out, was, false);
    AddSlotContent(out, now, true);
    return;
  }
  if (was.type == KEL_SLOT_DISK) {
    ComparePort(out, was.ports[0], now.ports[0]);
  } else if (was.type == KEL_SLOT_HUB) {
    if (HubName(was.hub) != HubName(now.hub)) {
      AddHub(out, was.hub, false);
      AddHub(out, now.hub, true);
      return;
    }
    for (int p = 0; p < kKelHubPorts; ++p) ComparePort(out, was.ports[p], now.ports[p]);
  }
}

}  // namespace

std::string DiskDisplayName(const _zr_device_info& dev) {
  return Trimmed(Field(dev.modelName, sizeof dev.modelName)) + " " +
         Trimmed(Field(dev.serialNumber, sizeof dev.serialNumber));
}

std::string HpLogLine(const _HpInfo& info) {
  const bool in = info.kind == KEL_HP_DISK_IN || info.kind == KEL_HP_HUB_IN;
  return "WARNING~" + info.name + ": " + (in ? "pluged in" : "pluged out");
}

std::vector<_HpInfo> ExtractHpInfo(const KelCtlTree& oldTree, const KelCtlTree& newTree) {
  std::vector<_HpInfo> out;
  KEL_ASSERT(oldTree.chnl_num == newTree.chnl_num);
  const int channels =
      std::clamp(std::min(oldTree.chnl_num, newTree.chnl_num), 0, kKelTreeMaxChannels);
  for (int c = 0; c < channels; ++c) {
    const KelCtlChannel& was = oldTree.chnl[c];
    const KelCtlChannel& now = newTree.chnl[c];
    KEL_ASSERT(now.slot_num == was.slot_num);
    const int slots = std::clamp(std::min(was.slot_num, now.slot_num), 0, kKelTreeMaxSlots);
    for (int s = 0; s < slots; ++s) CompareSlot(&out, was.slots[s], now.slots[s]);
  }
  std::stable_sort(out.begin(), out.end(),
                   [](const _HpInfo& a, const _HpInfo& b) { return a.prio < b.prio; });
  return out;
}
