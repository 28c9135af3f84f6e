// The first step of a synchronisation or migration: judging from the model whether the task
// can run and where it starts. Nothing here talks to the driver.
#include "engine/step_first.h"

#include <algorithm>

#include "engine/phy_device.h"
#include "engine/raid_array.h"
#include "engine/vir_device.h"
#include "sharedlib/diag.h"

namespace {

KelVDAddr AddrOf(const KelVirDevice* vd) {
  KelVDAddr a;
  a.ctrlInternal = vd->m_pPD->CtrlInternalIndex();
  a.device = vd->m_pPD->DeviceNo();
  a.vdId = static_cast<uint8_t>(vd->vd_index_on_pd);
  return a;
}

// 205 for a disk whose configuration cannot be read, 800 for one set aside; else 0.
int DiskState(const KelVirDevice* vd) {
  const KelPhyDevice* pd = vd->m_pPD;
  if (pd == nullptr || !pd->IsReadable()) return ZR_PD_UNREADABLE;
  if (pd->m_wdFlag & KEL_PD_FLAG_SET_ASIDE) return ZR_PD_FLAGGED;
  return ZR_OK;
}

void Begin(const KelRaidArray& ra, const KelVirDevice* any, int task, KelStepState* st) {
  *st = KelStepState{};
  st->key = KelArrayKey::Of(ra);
  st->task = task;
  st->ctrl = any->m_pPD->CtrlDrvIndex();
  st->ctrlIndex = any->m_pPD->m_nCtrlIndex;
}

// The position a saved value of `sectors` stands for, in units, never past the end.
uint64_t SavedUnits(uint64_t sectors, const KelStepState& st) {
  return std::min<uint64_t>(sectors / st.unit, st.total);
}

int Raid1First(const KelRaid1& ra, KelStepState* st) {
  const KelVirDevice* a = ra.m_arVDs[0];
  const KelVirDevice* b = ra.m_arVDs[1];
  if (ra.IsMemberMissing(0) || ra.IsMemberMissing(1)) return ZR_MISSING_MEMBER;
  if (int rc = DiskState(a); rc != ZR_OK) return rc;
  if (int rc = DiskState(b); rc != ZR_OK) return rc;
  if (ra.SideValue(0) == ra.SideValue(1)) {
    KEL_PRINT(ZEP_DBG_ERROR, "mirror %d: no copy can be trusted as the source\n", ra.m_nIndex);
    return ZR_NO_SYNC_NEEDED;
  }
  const int target = ra.SideValue(0) != 0 ? 1 : 0;
  Begin(ra, a, KEL_TASK_SYNC, st);
  st->total = ra.m_arVDs[target]->Block()->LengthCopy();
  st->pairNum = 1;
  st->pairs[0] = AddrOf(ra.m_arVDs[target]);
  st->targetSlots = static_cast<uint8_t>(1u << target);
  st->sourceSlots = static_cast<uint8_t>(1u << (1 - target));
  st->cur = std::min(SavedUnits(a->Block()->SyncPos(), *st), SavedUnits(b->Block()->SyncPos(), *st));
  return ZR_OK;
}

int Raid5First(const KelRaidArray& ra, KelStepState* st) {
  if (ra.status & KEL_RA_STATUS_MISSING) return ZR_MISSING_MEMBER;
  if (ra.status & KEL_RA_STATUS_INVALID) return ZR_PD_FLAGGED;
  if ((ra.status & KEL_RA_STATUS_NEED_SYNC) == 0 || ra.FirstVD() == nullptr) return ZR_NO_SYNC_NEEDED;
  int target = -1;
  for (int slot = 0; slot < MAX_VD_PER_ARRAY; ++slot) {
    const KelVirDevice* vd = ra.m_arVDs[slot];
    if (vd == nullptr || vd->Block() == nullptr || vd->Block()->SideValue() != 0) continue;
    if (target >= 0) {
      KEL_PRINT(ZEP_DBG_ERROR, "RAID 5 %d: more than one member to rebuild\n", ra.m_nIndex);
      return ZR_NO_SYNC_NEEDED;
    }
    target = slot;
  }
  if (target < 0) return ZR_NO_SYNC_NEEDED;
  const KelVirDevice* tgt = ra.m_arVDs[target];
  Begin(ra, tgt, KEL_TASK_SYNC, st);
  st->unit = tgt->Block()->StripeSectors();
  st->unitsPerChunk = tgt->Block()->StripesPerChunk();
  st->total = (tgt->Block()->LengthCopy() + st->unit - 1) / st->unit;
  st->pairNum = 1;
  st->pairs[0] = AddrOf(tgt);
  st->targetSlots = static_cast<uint8_t>(1u << target);
  st->cur = st->total;
  for (int slot = 0; slot < MAX_VD_PER_ARRAY; ++slot) {
    const KelVirDevice* vd = ra.m_arVDs[slot];
    if (vd == nullptr) continue;
    if (slot != target) st->sourceSlots |= static_cast<uint8_t>(1u << slot);
    st->cur = std::min(st->cur, SavedUnits(vd->Block()->SyncPos(), *st));
  }
  return ZR_OK;
}

// Every selected mirror pair with a member to rewrite takes part: the member that needs the
// synchronisation is written from its partner. One command carries all pairs.
int Raid01First(const KelRaidArray& ra, uint16_t mask, KelStepState* st) {
  const int half = ra.m_byDiskNum / 2;
  bool begun = false;
  for (int i = 0; i < half && i < MAX_VD_PER_ARRAY / 2; ++i) {
    if ((mask & (1u << i)) == 0) continue;
    const int slots[2] = {i, i + half};
    int target = -1;
    for (int s : slots)
      if (!ra.IsMemberMissing(s) && (ra.m_arVDs[s]->m_wdStatus & KEL_VD_STATUS_NEED_SYNC))
        target = target < 0 ? s : -2;
    if (target == -1) continue;  // nothing to do in this pair
    if (target == -2) return ZR_NO_SYNC_NEEDED;  // neither copy can be trusted
    const int source = target == i ? i + half : i;
    if (ra.IsMemberMissing(source)) return ZR_MISSING_MEMBER;
    const KelVirDevice* src = ra.m_arVDs[source];
    const KelVirDevice* tgt = ra.m_arVDs[target];
    if (src->m_wdStatus & (KEL_VD_STATUS_NEED_SYNC | KEL_VD_STATUS_NOT_SOURCE)) return ZR_NO_SYNC_NEEDED;
    if (int rc = DiskState(src); rc != ZR_OK) return rc;
    if (int rc = DiskState(tgt); rc != ZR_OK) return rc;
    if (!begun) {
      Begin(ra, tgt, KEL_TASK_SYNC, st);
      st->total = tgt->Block()->LengthCopy();
      st->cur = st->total;
      begun = true;
    }
    st->pairs[st->pairNum++] = AddrOf(tgt);
    st->targetSlots |= static_cast<uint8_t>(1u << target);
    st->sourceSlots |= static_cast<uint8_t>(1u << source);
    st->cur = std::min({st->cur, SavedUnits(src->Block()->SyncPos(), *st),
                        SavedUnits(tgt->Block()->SyncPos(), *st)});
  }
  return begun ? ZR_OK : ZR_NO_SYNC_NEEDED;
}

}  // namespace

int KelSyncFirstStep(const KelRaidArray& ra, uint16_t mask, KelStepState* st) {
  switch (ra.m_byRaidType) {
    case KEL_RAID_1: return Raid1First(static_cast<const KelRaid1&>(ra), st);
    case KEL_RAID_5: return Raid5First(ra, st);
    case KEL_RAID_01: return Raid01First(ra, mask, st);
    default: return ZR_WRONG_TYPE;
  }
}

int KelStepRefresh(const KelRaidArray& ra, KelStepState* st) {
  int pair = 0;
  for (int slot = 0; slot < MAX_VD_PER_ARRAY; ++slot) {
    const uint8_t bit = static_cast<uint8_t>(1u << slot);
    if (((st->sourceSlots | st->targetSlots) & bit) == 0) continue;
    if (ra.IsMemberMissing(slot)) return ZR_MISSING_MEMBER;
    const KelVirDevice* vd = ra.m_arVDs[slot];
    if (int rc = DiskState(vd); rc != ZR_OK) return rc;
    // Synchronisation writes its targets in slot order; a migration addresses its first VD.
    const bool addressed = st->task == KEL_TASK_MIGRATE ? pair == 0 : (st->targetSlots & bit) != 0;
    if (addressed && pair < st->pairNum) st->pairs[pair++] = AddrOf(vd);
  }
  return ZR_OK;
}

int KelMigFirstStep(const KelRaidArray& ra, KelStepState* st) {
  if (!ra.bNeedMigration) return ZR_NO_SYNC_NEEDED;
  if (ra.status & KEL_RA_STATUS_MISSING) return ZR_MISSING_MEMBER;
  if (ra.status & KEL_RA_STATUS_INVALID) return ZR_PD_FLAGGED;
  const KelVirDevice* first = ra.m_arVDs[0];
  if (first == nullptr || first->Block() == nullptr) return ZR_MISSING_MEMBER;
  Begin(ra, first, KEL_TASK_MIGRATE, st);
  st->total = first->Block()->LengthCopy();
  st->pairNum = 1;
  st->pairs[0] = AddrOf(first);
  st->cur = SavedUnits(first->Block()->MigPos(), *st);
  for (int slot = 0; slot < MAX_VD_PER_ARRAY; ++slot)
    if (ra.m_arVDs[slot] != nullptr) st->targetSlots |= static_cast<uint8_t>(1u << slot);
  return ZR_OK;
}
