// Replacement arithmetic (contracts in replace_plan.h).
#include "engine/replace_plan.h"

#include <algorithm>
#include <utility>

#include "sharedlib/diag.h"

namespace {

int Refuse(int code, const char* why, int index) {
  KEL_PRINT(ZEP_DBG_ERROR, "replacement refused: disk %d %s\n", index, why);
  return code;
}

// Places `p->cur` in the first area that still has sectors at or after it.
void Place(KelRplProgress* p) {
  while (p->area < p->areaNum && p->cur >= p->areas[p->area].end) ++p->area;
  if (p->area >= p->areaNum) {
    p->cur = p->end;
    p->chunk = 0;
    return;
  }
  const KelRplArea& a = p->areas[p->area];
  p->cur = std::max(p->cur, a.start);
  p->chunk = std::min(KEL_RPL_CHUNK, a.end - p->cur);
}

}  // namespace

int KelRplCheckPair(const KelRplDiskView& src, const KelRplDiskView& tgt) {
  if (src.index == tgt.index) return Refuse(ZR_BAD_PARAM, "cannot replace itself", src.index);
  if (!src.readable || src.conflict) return Refuse(ZR_PD_UNREADABLE, "is unusable", src.index);
  if (!tgt.readable || tgt.conflict) return Refuse(ZR_PD_UNREADABLE, "is unusable", tgt.index);
  if (src.role != 0 || tgt.role != 0)
    return Refuse(ZR_PD_BUSY, "already takes part in a replacement", src.role ? src.index : tgt.index);
  if (src.vdNum == 0) return Refuse(ZR_BAD_PARAM, "has no VD to copy", src.index);
  if (src.busy) return Refuse(ZR_PD_BUSY, "has an array that is busy or degraded", src.index);
  // The copy brings the whole area over: whatever the target carried would be lost.
  if (tgt.hasConfig || tgt.vdNum != 0) return Refuse(ZR_PD_BUSY, "is in use", tgt.index);
  if (tgt.system) return Refuse(ZR_SYSTEM_DISK, "holds the system", tgt.index);
  if (tgt.usable < src.lastVDEnd) return Refuse(ZR_TOO_SMALL, "is too small", tgt.index);
  return ZR_OK;
}

KelRplProgress KelRplStart(const KelRplArea* areas, int n, uint64_t end, uint64_t saved) {
  KelRplProgress p;
  p.end = end;
  for (int i = 0; i < n && i < KEL_RPL_MAX_AREAS; ++i)
    if (areas[i].end > areas[i].start) p.areas[p.areaNum++] = areas[i];
  for (int i = 1; i < p.areaNum; ++i)  // a disk has at most two areas
    for (int j = i; j > 0 && p.areas[j].start < p.areas[j - 1].start; --j)
      std::swap(p.areas[j], p.areas[j - 1]);
  for (int i = 0; i < p.areaNum; ++i) {
    const KelRplArea& a = p.areas[i];
    p.total += a.end - a.start;
    if (saved >= a.end) p.done += a.end - a.start;
    else if (saved > a.start) p.done += saved - a.start;
  }
  p.cur = saved;
  Place(&p);
  if (p.chunk == 0) p.done = p.total;
  return p;
}

void KelRplAdvance(KelRplProgress* p) {
  p->cur += p->chunk;
  p->done += p->chunk;
  Place(p);
}

bool KelRplFinished(const KelRplProgress& p) { return p.chunk == 0; }

uint16_t KelRplPercent(const KelRplProgress& p) {
  if (p.total == 0 || p.done >= p.total) return 100;
  return static_cast<uint16_t>(p.done * 100 / p.total);
}

bool KelRplPercentGrows(const KelRplProgress& p) {
  if (p.total == 0) return false;
  return (p.done + p.chunk) * 100 / p.total > p.done * 100 / p.total;
}
