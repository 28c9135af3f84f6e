// Free space of a disk from its capacity, its VDs and its protected areas.
#include "tools/kelctl/kelctl_disk_layout.h"

#include <algorithm>

namespace {

// Adds the gap [start, end) to `out`, its parts inside protected areas marked as such.
void AddGap(uint64_t start, uint64_t end,
            const std::vector<_zr_protect_free_info_t>& sortedProtected,
            std::vector<KelctlArea>* out) {
  uint64_t at = start;
  for (const _zr_protect_free_info_t& p : sortedProtected) {
    const uint64_t pStart = std::max(p.startSector, at);
    // An area reaching past the end of the sector range is cut at the gap's end.
    const uint64_t pEnd = p.length > end - std::min(end, p.startSector)
                              ? end
                              : std::min(end, p.startSector + p.length);
    if (pStart >= pEnd) continue;
    if (pStart > at) out->push_back({KelctlAreaKind::kFree, at, pStart - at, -1});
    out->push_back({KelctlAreaKind::kProtected, pStart, pEnd - pStart, -1});
    at = pEnd;
  }
  if (at < end) out->push_back({KelctlAreaKind::kFree, at, end - at, -1});
}

}  // namespace

uint64_t UsableSectors(uint64_t capacity) {
  return capacity > kDiskReservedSectors ? capacity - kDiskReservedSectors : 0;
}

std::vector<KelctlArea> DiskLayout(uint64_t capacity, const std::vector<KelVDInfo>& vds,
                                   const std::vector<_zr_protect_free_info_t>& protectedAreas) {
  const uint64_t usable = UsableSectors(capacity);
  std::vector<int> order(vds.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
  std::stable_sort(order.begin(), order.end(), [&vds](int a, int b) {
    return vds[a].StartSectorValue() < vds[b].StartSectorValue();
  });
  std::vector<_zr_protect_free_info_t> sortedProtected = protectedAreas;
  std::stable_sort(sortedProtected.begin(), sortedProtected.end(),
                   [](const _zr_protect_free_info_t& a, const _zr_protect_free_info_t& b) {
                     return a.startSector < b.startSector;
                   });

  std::vector<KelctlArea> out;
  uint64_t covered = 0;  // everything before this sector is a VD or already listed
  for (int i : order) {
    const uint64_t start = vds[i].StartSectorValue();
    const uint64_t length = vds[i].CapacityValue();
    if (start > covered) AddGap(covered, std::min(start, usable), sortedProtected, &out);
    out.push_back({KelctlAreaKind::kVd, start, length, i});
    // A VD whose end does not fit 64 bits covers the rest of the disk.
    const uint64_t end = length > UINT64_MAX - start ? UINT64_MAX : start + length;
    covered = std::max(covered, end);
  }
  if (covered < usable) AddGap(covered, usable, sortedProtected, &out);
  return out;
}
