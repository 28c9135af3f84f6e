// Host device nodes of disks and arrays, and their partitions.
#include "engine/partitions.h"

#include <dirent.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "driver/drv_interface.h"
#include "engine/phy_device.h"
#include "engine/raid_array.h"
#include "engine/vir_device.h"

namespace {

std::vector<std::string> ListFolder(const std::string& dir) {
  std::vector<std::string> names;
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return names;
  while (dirent* e = readdir(d)) names.emplace_back(e->d_name);
  closedir(d);
  return names;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Asks every whole-disk node which target it shows; returns the first node `match` accepts.
template <typename Match>
std::string FindNode(Match match) {
  KelDrvInterface* drv = KelDrvGlobal();
  if (drv == nullptr) return "";
  for (const std::string& node : KelListDiskNodes(drv->DevDir())) {
    _Real_Targets_Pos_Info info{};
    if (!drv->QueryRealTargetsRBOP(node.c_str(), &info) || info.byValid == 0) continue;
    if (match(info)) return node;
  }
  return "";
}

bool ShowsDisk(const _Real_Targets_Pos_Info& info, const KelPhyDevice* pd) {
  if (info.byIsLogicTarget == 1 || info.byCtlerInternalIndex != pd->CtrlInternalIndex())
    return false;
  for (int i = 0; i < 8; ++i)
    if (info.EntryUsed(i) && info.DeviceNo(i) == pd->DeviceNo()) return true;
  return false;
}

// A logical target shows the array when every member it names is one of the array's VDs.
bool ShowsArray(const _Real_Targets_Pos_Info& info, const KelRaidArray* ra) {
  if (info.byIsLogicTarget != 1) return false;
  int named = 0;
  for (int i = 0; i < 8; ++i) {
    if (!info.EntryUsed(i)) continue;
    uint16_t dev = info.DeviceNo(i);
    ++named;
    bool found = false;
    for (const KelVirDevice* vd : ra->m_arVDs) {
      if (vd == nullptr || vd->m_pPD == nullptr) continue;
      if (vd->m_pPD->DeviceNo() == dev && vd->vd_index_on_pd == info.byVDId[i] &&
          vd->m_pPD->CtrlInternalIndex() == info.byCtlerInternalIndex) {
        found = true;
        break;
      }
    }
    if (!found) return false;
  }
  return named > 0;
}

}  // namespace

std::string KelHostDevDir() {
  KelDrvInterface* drv = KelDrvGlobal();
  return drv != nullptr ? drv->DevDir() : "/dev";
}

std::vector<std::string> KelListDiskNodes(const std::string& devDir) {
  std::vector<std::string> nodes;
  for (std::string& n : ListFolder(devDir))
    if (n.size() > 2 && n.compare(0, 2, "sd") == 0 && !IsDigit(n.back())) nodes.push_back(n);
  std::sort(nodes.begin(), nodes.end());
  return nodes;
}

std::string KelFindDiskNode(const KelPhyDevice* pd) {
  if (pd == nullptr) return "";
  return FindNode([pd](const _Real_Targets_Pos_Info& i) { return ShowsDisk(i, pd); });
}

std::string KelFindArrayNode(const KelRaidArray* ra) {
  if (ra == nullptr) return "";
  if (ra->IsPseudo()) return KelFindDiskNode(ra->m_arPDs[0]);
  return FindNode([ra](const _Real_Targets_Pos_Info& i) { return ShowsArray(i, ra); });
}

void KelListPartitions(const std::string& devDir, const std::string& node,
                       _zr_partition_info* info) {
  std::memset(info, 0, sizeof(*info));
  if (node.empty()) return;
  std::vector<std::pair<long, std::string>> parts;
  for (std::string& n : ListFolder(devDir)) {
    if (n.size() <= node.size() || n.compare(0, node.size(), node) != 0) continue;
    if (n.size() > ZR_MAX_PARTITION_NAME_LENGTH - 1) continue;
    bool digits = std::all_of(n.begin() + static_cast<long>(node.size()), n.end(), IsDigit);
    if (digits) parts.emplace_back(std::strtol(n.c_str() + node.size(), nullptr, 10), n);
  }
  std::sort(parts.begin(), parts.end());
  for (const auto& p : parts) {
    if (info->count >= ZR_MAX_PARTITIONS) break;
    std::memcpy(info->names[info->count], p.second.c_str(), p.second.size() + 1);
    ++info->count;
  }
}
