// RAID 1: two mirrors in positions 0 and 1 and an optional spare in position 2.
#include "engine/phy_device.h"
#include "engine/raid_array.h"
#include "engine/vir_device.h"
#include "sharedlib/diag.h"

namespace {

bool DiskUsable(const KelVirDevice* vd) {
  const KelPhyDevice* pd = vd->m_pPD;
  return pd == nullptr || (pd->IsReadable() && (pd->m_wdFlag & KEL_PD_FLAG_SET_ASIDE) == 0);
}

// Which mirror is the synchronisation source: 0 or 1, or -1 when that cannot be trusted.
// A copy in the wrong direction overwrites the good data, so a VD becomes the target only
// when the model can show it is stale:
//   - state bit 4 (the target of an unfinished synchronisation) marks the stale copy. When
//     exactly one mirror carries it, that one is the target and the other the source -
//     unless its own side value claims it is a source as well (a contradiction). Areas
//     converted from the older layout say which mirror is stale only this way.
//   - When both carry it, or when neither does in an area from the older layout, nothing
//     shows which copy is good: no direction.
//   - When neither carries it, the side values this system wrote decide (a repair makes
//     the survivor the source before any progress is recorded): the mirror with a non-zero
//     side value is the source, provided exactly one has one. Converted areas carry side
//     value 0 on both mirrors, so they never get a direction from here.
int SyncSource(const KelVirDevice* a, const KelVirDevice* b) {
  if (a == nullptr || b == nullptr || a->Block() == nullptr || b->Block() == nullptr) return -1;
  const bool targetA = (a->Block()->State() & KEL_VD_STATE_SYNC_TARGET) != 0;
  const bool targetB = (b->Block()->State() & KEL_VD_STATE_SYNC_TARGET) != 0;
  const bool sideA = a->Block()->SideValue() != 0;
  const bool sideB = b->Block()->SideValue() != 0;
  if (targetA && targetB) return -1;
  if (targetA) return sideA ? -1 : 1;
  if (targetB) return sideB ? -1 : 0;
  if (sideA == sideB) return -1;
  return sideA ? 0 : 1;
}
}  // namespace

uint64_t KelRaid1::SideValue(int slot) const {
  if (slot < 0 || slot > 1) return 0;
  const int source = SyncSource(m_arVDs[0], m_arVDs[1]);
  if (source >= 0) return source == slot ? 1 : 0;
  // No trusted direction: both read alike.
  const KelVirDevice* a = m_arVDs[0];
  const KelVirDevice* b = m_arVDs[1];
  const bool anySide = (a != nullptr && a->Block() != nullptr && a->Block()->SideValue() != 0) ||
                       (b != nullptr && b->Block() != nullptr && b->Block()->SideValue() != 0);
  return anySide ? 1 : 0;
}

// Need-synchronisation rule: the mirror whose side value is 0 while its partner's is not
// (or whose block carries a running-synchronisation mark) is the copy to be rewritten.
// When both mirrors carry a side value, neither can be trusted as the only source: both are
// marked, and the synchronisation status reports that it cannot run.
int KelRaid1::ValidateRaidArray() {
  int ok = ValidateCommon(2, "byArrayVDNum > 1");
  if (m_byDiskNum > 3) {
    KEL_ASSERT_TEXT("byArrayVDNum <= 3");
    ok = 0;
  }
  MarkMirrorPairSync(0, 1);
  KelVirDevice* a = m_arVDs[0];
  KelVirDevice* b = m_arVDs[1];
  if (a != nullptr && b != nullptr && a->Block() != nullptr && b->Block() != nullptr &&
      a->Block()->SideValue() != 0 && b->Block()->SideValue() != 0) {
    a->m_wdStatus |= KEL_VD_STATUS_NEED_SYNC;
    b->m_wdStatus |= KEL_VD_STATUS_NEED_SYNC;
  }
  AnalyzeVDArrayStatus();
  return ok;
}

int KelRaid1::GetRASyncStatus(unsigned short* s) {
  if (s == nullptr) return ZR_BAD_PARAM;
  if (nSyncMigReplacing == KEL_TASK_SYNC) {
    *s = KEL_SYNC_RUNNING;
  } else if ((status & KEL_RA_STATUS_NEED_SYNC) == 0) {
    *s = KEL_SYNC_NOT_NEEDED;
  } else if (IsMemberMissing(0) || IsMemberMissing(1) || !DiskUsable(m_arVDs[0]) ||
             !DiskUsable(m_arVDs[1])) {
    *s = KEL_SYNC_NOT_POSSIBLE;
  } else {
    // The synchronisation needs exactly one trusted source (SyncSource).
    *s = SideValue(0) == SideValue(1) ? KEL_SYNC_NOT_POSSIBLE : KEL_SYNC_POSSIBLE;
  }
  return ZR_OK;
}

void KelRaid1::GetArrayInfoLib(_zr_array_info* info) {
  if (info == nullptr) return;
  FillCommonInfo(info);
  info->SetCapacity(GetArrayVDSize());
}
