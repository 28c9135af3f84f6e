// The arithmetic of a disk replacement, apart from any I/O: which disks may take part, and
// where the copy stands between two steps.
//
// The copy walks the source's VD areas in first-sector order, at most 128 sectors per chunk
// and never across the end of an area, so that each chunk addresses one VD on both disks.
#ifndef KEL_ENGINE_REPLACE_PLAN_H
#define KEL_ENGINE_REPLACE_PLAN_H

#include <cstdint>

#include "engine/engine_defs.h"

constexpr int KEL_RPL_MAX_AREAS = MAX_VD_PER_PD;
constexpr uint64_t KEL_RPL_CHUNK = 128;

// What the checks need to know of a disk offered for a replacement.
struct KelRplDiskView {
  int index = -1;
  bool readable = true;
  bool conflict = false;    // its area contradicts itself
  bool hasConfig = false;   // carries a configuration area at all
  int vdNum = 0;
  bool system = false;      // holds the root file system
  int role = 0;             // KEL_RPL_*
  bool busy = false;        // one of its arrays runs a background task or is degraded
  uint64_t usable = 0;      // sectors a VD may use
  uint64_t lastVDEnd = 0;   // end of its last VD area
};

// Whether `src` may be copied onto `tgt`: 0; 201 the same disk; 205 a disk unreadable or
// contradictory; 201 a source without VDs; 215 a disk already in a replacement, a busy
// source or a target carrying any configuration; 218 a system target; 208 a target whose
// usable space ends before the source's last VD does.
int KelRplCheckPair(const KelRplDiskView& src, const KelRplDiskView& tgt);

// One VD area of the source: [start, end), and the slot addressing it on both disks.
struct KelRplArea {
  uint64_t start = 0;
  uint64_t end = 0;
  uint8_t slot = 0;
};

struct KelRplProgress {
  KelRplArea areas[KEL_RPL_MAX_AREAS];
  int areaNum = 0;
  int area = 0;          // the area `cur` lies in
  uint64_t end = 0;      // the position that means "done"
  uint64_t cur = 0;      // next sector to copy
  uint64_t chunk = 0;    // sectors of the next chunk, 0 at the end
  uint64_t total = 0;    // sectors of all areas
  uint64_t done = 0;     // sectors copied
};

// The progress of a copy that resumes at `saved` (the position recorded on the disks; 0 for
// a new copy): `areas` are sorted here, a position between or before areas moves to the
// next area's start, and one at or past the last area's end means done.
KelRplProgress KelRplStart(const KelRplArea* areas, int n, uint64_t end, uint64_t saved);
// After the chunk has been copied: counts it and chooses the next one.
void KelRplAdvance(KelRplProgress* p);
bool KelRplFinished(const KelRplProgress& p);
// Integer percentage done; a copy of nothing is complete.
uint16_t KelRplPercent(const KelRplProgress& p);
// Whether copying the next chunk makes the integer percentage grow.
bool KelRplPercentGrows(const KelRplProgress& p);

#endif
