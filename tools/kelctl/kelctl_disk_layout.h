// The layout of one disk as `kelctl free` shows it. The service does not send free areas:
// they are what its VDs leave of the usable space (the capacity without the last 32
// sectors, which hold no VD and no free area), and the parts of that space the service
// lists as protected are kept for a running migration rather than free.
#ifndef KEL_TOOLS_KELCTL_KELCTL_DISK_LAYOUT_H
#define KEL_TOOLS_KELCTL_KELCTL_DISK_LAYOUT_H

#include <cstdint>
#include <vector>

#include "sharedlib/raid_records.h"

inline constexpr uint64_t kDiskReservedSectors = 32;

enum class KelctlAreaKind { kVd, kFree, kProtected };

struct KelctlArea {
  KelctlAreaKind kind = KelctlAreaKind::kFree;
  uint64_t start = 0;   // first sector
  uint64_t length = 0;  // sectors
  int vd = -1;          // kVd: index into the VDs passed in
};

// The usable space of a disk of `capacity` sectors.
uint64_t UsableSectors(uint64_t capacity);

// The disk's areas in sector order: each VD, and every gap between them split into free
// and protected parts. VDs that overlap an earlier one or reach past the usable space are
// shown as they are; gaps are only what no VD covers.
std::vector<KelctlArea> DiskLayout(uint64_t capacity, const std::vector<KelVDInfo>& vds,
                                   const std::vector<_zr_protect_free_info_t>& protectedAreas);

#endif
