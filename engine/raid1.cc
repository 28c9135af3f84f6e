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
}  // namespace

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
    // The synchronisation needs exactly one source: one side value set, the other clear.
    bool sideA = m_arVDs[0]->Block()->SideValue() != 0;
    bool sideB = m_arVDs[1]->Block()->SideValue() != 0;
    *s = sideA == sideB ? KEL_SYNC_NOT_POSSIBLE : KEL_SYNC_POSSIBLE;
  }
  return ZR_OK;
}

void KelRaid1::GetArrayInfoLib(_zr_array_info* info) {
  if (info == nullptr) return;
  FillCommonInfo(info);
  info->SetCapacity(GetArrayVDSize());
}
