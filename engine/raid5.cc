// RAID 5: one member's worth of parity; one missing member can be rebuilt.
#include "engine/raid_array.h"
#include "engine/vir_device.h"

// Need-synchronisation rule: the member being rebuilt carries side value 0 while the
// sources carry a non-zero one, so a member with side value 0 needs synchronisation when
// any other member carries a side value or when its own block says a synchronisation is in
// progress. A block marked as an unfinished synchronisation target needs it as well
// (ValidateCommon).
int KelRaid5::ValidateRaidArray() {
  int ok = ValidateCommon(3, "byArrayVDNum > 2");
  bool anySource = false;
  for (const KelVirDevice* vd : m_arVDs)
    if (vd != nullptr && vd->Block() != nullptr && vd->Block()->SideValue() != 0) anySource = true;
  for (KelVirDevice* vd : m_arVDs) {
    if (vd == nullptr || vd->Block() == nullptr || vd->Block()->SideValue() != 0) continue;
    if (anySource || (vd->Block()->Flags() & KEL_VD_FLAG_SYNC))
      vd->m_wdStatus |= KEL_VD_STATUS_NEED_SYNC;
  }
  AnalyzeVDArrayStatus();
  return ok;
}

int KelRaid5::CanbeRepair() {
  int missing = 0;
  for (int slot = 0; slot < ExpectedSlots(); ++slot)
    if (IsMemberMissing(slot)) ++missing;
  if (missing == 0) return ZR_NOTHING_TO_REPAIR;
  if (missing > 1) return ZR_NOT_REPAIRABLE;
  // The rebuild reads every survivor; one that is itself incomplete cannot serve.
  for (int slot = 0; slot < ExpectedSlots(); ++slot)
    if (!IsMemberMissing(slot) && (m_arVDs[slot]->m_wdStatus & KEL_VD_STATUS_NEED_SYNC))
      return ZR_NOT_REPAIRABLE;
  return ZR_OK;
}

int KelRaid5::GetRASyncStatus(unsigned short* s) {
  if (s == nullptr) return ZR_BAD_PARAM;
  if (nSyncMigReplacing == KEL_TASK_SYNC)
    *s = KEL_SYNC_RUNNING;
  else if ((status & KEL_RA_STATUS_NEED_SYNC) == 0)
    *s = KEL_SYNC_NOT_NEEDED;
  else if (status & (KEL_RA_STATUS_MISSING | KEL_RA_STATUS_INVALID))
    *s = KEL_SYNC_NOT_POSSIBLE;
  else
    *s = KEL_SYNC_POSSIBLE;
  return ZR_OK;
}

void KelRaid5::GetArrayInfoLib(_zr_array_info* info) {
  if (info == nullptr) return;
  FillCommonInfo(info);
  uint64_t data = m_byDiskNum > 0 ? m_byDiskNum - 1u : 0;
  info->SetCapacity(data * GetArrayVDSize());
  if (const _VD_Config_sector_* blk = FirstBlock()) {
    info->stripeSize = blk->StripeSectors() / 2;
    info->blockSize = (blk->LevelParam() + 1u) * 256u;
  }
}
