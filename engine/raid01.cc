// RAID 0+1: two stripe halves mirroring each other. Table slots 0..half-1 hold the first
// half and half..2*half-1 the second, so slot i mirrors slot i + half ((0,2) and (1,3) in
// the four-member arrays this engine builds).
#include "engine/raid_array.h"
#include "engine/vir_device.h"
#include "sharedlib/diag.h"

namespace {
constexpr int kRaid01Members = 4;

bool CannotServe(const KelVirDevice* vd) {
  return (vd->m_wdStatus & (KEL_VD_STATUS_NEED_SYNC | KEL_VD_STATUS_NOT_SOURCE)) != 0;
}
}  // namespace

// Need-synchronisation rule: per mirror pair, as for RAID 1 - the member with side value 0
// whose partner carries one, or whose own block says a synchronisation is in progress.
int KelRaid01::ValidateRaidArray() {
  int ok = ValidateCommon(2, "byArrayVDNum > 1");
  int half = m_byDiskNum / 2;
  for (int slot = 0; slot < MAX_VD_PER_ARRAY; ++slot) {
    const KelVirDevice* vd = m_arVDs[slot];
    if (vd == nullptr || vd->Block() == nullptr) continue;
    if ((vd->Block()->PositionByte() & 7) >= half) {
      KEL_ASSERT_TEXT("byPosInHalf < byArrayVDNum / 2");
      ok = 0;
    }
  }
  for (int i = 0; i < half && i + half < MAX_VD_PER_ARRAY; ++i) MarkMirrorPairSync(i, i + half);
  AnalyzeVDArrayStatus();
  return ok;
}

int KelRaid01::CanbeRepair() {
  if (m_byDiskNum != kRaid01Members) return ZR_NOT_REPAIRABLE;
  bool allValid = true;
  for (int slot = 0; slot < kRaid01Members; ++slot)
    if (IsMemberMissing(slot)) allValid = false;
  if (allValid) return ZR_NOTHING_TO_REPAIR;
  const int half = kRaid01Members / 2;
  for (int i = 0; i < half; ++i) {
    bool aOk = !IsMemberMissing(i);
    bool bOk = !IsMemberMissing(i + half);
    if (!aOk && !bOk) return ZR_NOT_REPAIRABLE;
    if (aOk != bOk && CannotServe(m_arVDs[aOk ? i : i + half])) return ZR_NOT_REPAIRABLE;
  }
  return ZR_OK;
}

// Possible when every member that needs synchronisation has a partner that can be its
// source and no member's disk is set aside.
int KelRaid01::GetRASyncStatus(unsigned short* s) {
  if (s == nullptr) return ZR_BAD_PARAM;
  if (nSyncMigReplacing == KEL_TASK_SYNC) {
    *s = KEL_SYNC_RUNNING;
    return ZR_OK;
  }
  if ((status & KEL_RA_STATUS_NEED_SYNC) == 0) {
    *s = KEL_SYNC_NOT_NEEDED;
    return ZR_OK;
  }
  *s = KEL_SYNC_POSSIBLE;
  if (status & KEL_RA_STATUS_INVALID) *s = KEL_SYNC_NOT_POSSIBLE;
  int half = m_byDiskNum / 2;
  for (int i = 0; i < half && i + half < MAX_VD_PER_ARRAY; ++i) {
    for (int side = 0; side < 2; ++side) {
      int me = side == 0 ? i : i + half;
      int partner = side == 0 ? i + half : i;
      if (IsMemberMissing(me) || !(m_arVDs[me]->m_wdStatus & KEL_VD_STATUS_NEED_SYNC)) continue;
      if (IsMemberMissing(partner) || CannotServe(m_arVDs[partner])) *s = KEL_SYNC_NOT_POSSIBLE;
    }
  }
  return ZR_OK;
}

void KelRaid01::GetArrayInfoLib(_zr_array_info* info) {
  if (info == nullptr) return;
  FillCommonInfo(info);
  info->SetCapacity(uint64_t{m_byDiskNum / 2u} * GetArrayVDSize());
  if (const _VD_Config_sector_* blk = FirstBlock()) info->stripeSize = blk->StripeSectors() / 2;
}
