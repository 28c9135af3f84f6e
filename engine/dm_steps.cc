// KelDeviceManage: one step of a background synchronisation or migration per call.
//
// The state of a running task is in m_steps, never in the array objects: recording progress
// saves the configuration, the save rebuilds the model, and the array, its VDs and disks
// are destroyed by that rebuild. After a save a step therefore touches nothing of the model
// again; what it still has to send comes from its copy of the state. Progress is recorded
// as the position reached after the chunk just copied, so a step that resumes from the
// disks never repeats the chunk that crossed a percent boundary.
#include "driver/raid_basic_op.h"
#include "engine/dev_manage.h"
#include "engine/dm_lock.h"
#include "engine/phy_device.h"
#include "engine/raid_array.h"
#include "engine/step_first.h"
#include "engine/vir_device.h"
#include "sharedlib/diag.h"

namespace {

constexpr uint64_t kAllOnes = ~uint64_t{0};
constexpr uint32_t kLastDataSectors = 32;

bool SendSync(KelRaidBasicOp& op, const KelStepState& st, uint64_t start, uint64_t count) {
  _SYNC_RAID_IOBUFFER io{};
  io.byPairNum = static_cast<uint8_t>(st.pairNum);
  for (int i = 0; i < st.pairNum; ++i) {
    io.pairs[i].byCtlerInternalIndex = st.pairs[i].ctrlInternal;
    io.pairs[i].SetDeviceNo(st.pairs[i].device);
    io.pairs[i].byVDId = st.pairs[i].vdId;
  }
  io.SetStartLBA(start);
  io.SetSectorCount(count);
  if (op.SyncMirrorRBOP(st.ctrl, &io) != 0) return true;
  KEL_PRINT(ZEP_DBG_ERROR, "synchronisation command at %llu (+%llu) failed\n",
            static_cast<unsigned long long>(start), static_cast<unsigned long long>(count));
  return false;
}

template <typename Io>
Io PosIo(const KelVDAddr& a, uint64_t pos) {
  Io io{};
  io.byCtlerInternalIndex = a.ctrlInternal;
  io.SetDeviceNo(a.device);
  io.byVDId = a.vdId;
  io.SetPosition(pos);
  return io;
}

// One save-position command per VD written.
bool SendSavePos(KelRaidBasicOp& op, const KelStepState& st, uint64_t pos) {
  for (int i = 0; i < st.pairNum; ++i) {
    bool ok = false;
    if (st.task == KEL_TASK_MIGRATE) {
      const auto io = PosIo<_MIGRATE_SAVESTARTADDR_IOBUFFER>(st.pairs[i], pos);
      ok = op.MigrateSaveAddrRBOP(st.ctrl, &io) != 0;
    } else {
      const auto io = PosIo<_SYNC_SAVESTARTADDR_IOBUFFER>(st.pairs[i], pos);
      ok = op.SyncSaveAddrRBOP(st.ctrl, &io) != 0;
    }
    if (!ok) {
      KEL_PRINT(ZEP_DBG_ERROR, "saving position %llu in the driver failed\n",
                static_cast<unsigned long long>(pos));
      return false;
    }
  }
  return true;
}

bool SendMigrate(KelRaidBasicOp& op, const KelStepState& st, uint64_t start, uint64_t count) {
  _MIGRATE_RAID_IOBUFFER io{};
  io.byCtlerInternalIndex = st.pairs[0].ctrlInternal;
  io.SetDeviceNo(st.pairs[0].device);
  io.byVDId = st.pairs[0].vdId;
  io.SetStartLBA(start);
  io.SetSectorCount(count);
  if (op.MigrateArrayRBOP(st.ctrl, &io) != 0) return true;
  KEL_PRINT(ZEP_DBG_ERROR, "migration command at %llu (+%llu) failed\n",
            static_cast<unsigned long long>(start), static_cast<unsigned long long>(count));
  return false;
}

void Report(uint64_t cur, const KelStepState& st, uint64_t* pos, uint16_t* percent, int slots) {
  if (pos != nullptr) *pos = cur * st.unit;
  for (int i = 0; percent != nullptr && i < slots; ++i) percent[i] = KelStepPercent(cur, st.total);
}

bool InSlots(uint8_t bits, int slot) { return (bits & (1u << slot)) != 0; }

}  // namespace

void KelDeviceManage::EndStep(const KelArrayKey& key) {
  m_steps.Erase(key);
  for (KelRaidArray* ra : m_pRAs)
    if (ra != nullptr && !ra->IsPseudo() && KelArrayKey::Of(*ra) == key)
      ra->nSyncMigReplacing = KEL_TASK_NONE;
}

void KelDeviceManage::ApplyStepStates() {
  std::vector<KelArrayKey> live;
  for (KelRaidArray* ra : m_pRAs) {
    if (ra == nullptr || ra->IsPseudo()) continue;
    live.push_back(KelArrayKey::Of(*ra));
    if (const KelStepState* st = m_steps.Find(live.back())) ra->nSyncMigReplacing = st->task;
  }
  m_steps.KeepOnly(live);
}

int KelDeviceManage::StepLookup(_Index_Plus_t ref, int task, KelRaidArray** out) {
  if (Driver() == nullptr) return ZR_DRIVER_FAILED;
  KelRaidArray* ra = nullptr;
  if (int rc = LookupRA(ref, &ra); rc != ZR_OK) return rc;
  if (ra->IsPseudo()) return ZR_WRONG_TYPE;
  const KelStepState* st = m_steps.Find(KelArrayKey::Of(*ra));
  if ((st != nullptr && st->task != task) || ra->bInReplacement) {
    KEL_PRINT(ZEP_DBG_ERROR, "array %d is busy with another task\n", ra->m_nIndex);
    return ZR_PD_BUSY;
  }
  *out = ra;
  return ZR_OK;
}

int KelDeviceManage::SyncStepL(_Index_Plus_t ref, uint8_t raidType, uint16_t mask, uint64_t* pos,
                               uint16_t* percent, int slots) {
  KEL_DM_WRITE_LOCK_OR_RETURN();
  KelRaidArray* ra = nullptr;
  if (int rc = StepLookup(ref, KEL_TASK_SYNC, &ra); rc != ZR_OK) return rc;
  if (ra->m_byRaidType != raidType) return ZR_WRONG_TYPE;
  const KelArrayKey key = KelArrayKey::Of(*ra);
  KelRaidBasicOp op(*Driver());

  KelStepState* run = m_steps.Find(key);
  if (pos == nullptr && percent == nullptr) {  // cancel
    if (run == nullptr) return ZR_OK;
    const KelStepState st = *run;
    EndStep(key);
    return SendSync(op, st, st.cur * st.unit, 0) ? ZR_OK : ZR_NO_SYNC_NEEDED;
  }
  if (run == nullptr) {
    if ((ra->status & KEL_RA_STATUS_NEED_SYNC) == 0) return ZR_NO_SYNC_NEEDED;
    KelStepState first;
    if (int rc = KelSyncFirstStep(*ra, mask, &first); rc != ZR_OK) return rc;
    run = m_steps.Put(first);
    ra->nSyncMigReplacing = KEL_TASK_SYNC;
  }
  if (int rc = KelStepRefresh(*ra, run); rc != ZR_OK) {
    EndStep(key);
    return rc;
  }
  const KelStepState st = *run;

  if (st.cur >= st.total) {
    if (!SendSync(op, st, kAllOnes, 0)) {
      EndStep(key);
      return ZR_NO_SYNC_NEEDED;
    }
    for (int slot = 0; slot < MAX_VD_PER_ARRAY; ++slot) {
      if (!InSlots(st.sourceSlots | st.targetSlots, slot)) continue;
      KelVirDevice* vd = ra->m_arVDs[slot];
      vd->ClearSyncStatus();
      vd->ClearDeviceDirtyFlag2Drv();
    }
    EndStep(key);
    // The save rebuilds the model: `ra` and its VDs are gone from here on.
    ra = nullptr;
    if (SaveConfAndSendNotifyBusChange() != ZR_OK) return ZR_SYNC_SAVE_FAILED;
    const uint64_t end = raidType == KEL_RAID_5 ? kAllOnes : st.total * st.unit;
    if (!SendSavePos(op, st, end)) return ZR_SYNC_SAVE_FAILED;
    Report(st.total, st, pos, percent, slots);
    if (SendNotifyBusChange(st.ctrlIndex) != ZR_OK) return ZR_DRIVER_FAILED;
    return ZR_SYNC_FINISHED;
  }

  const uint64_t units = KelStepChunk(st.cur, st.total, st.unitsPerChunk);
  if (!SendSync(op, st, st.cur * st.unit, units * st.unit)) {
    EndStep(key);
    return ZR_NO_SYNC_NEEDED;
  }
  const uint64_t done = st.cur + units;
  run->cur = done;
  if (KelStepPercentGrows(st.cur, units, st.total)) {
    const uint64_t at = done * st.unit;
    for (int slot = 0; slot < MAX_VD_PER_ARRAY; ++slot) {
      KelVirDevice* vd = ra->m_arVDs[slot];
      if (InSlots(st.targetSlots, slot)) vd->UpdateTgtSyncStatus(at);
      else if (InSlots(st.sourceSlots, slot)) vd->UpdateSrcSyncStatus(at);
    }
    ra = nullptr;  // the save below destroys it
    if (SaveConfAndSendNotifyBusChange() != ZR_OK || !SendSavePos(op, st, at)) {
      EndStep(key);
      return ZR_SYNC_SAVE_FAILED;
    }
  }
  Report(done, st, pos, percent, slots);
  return ZR_OK;
}

int KelDeviceManage::SyncMirrorL(_Index_Plus_t array, uint64_t* pos, uint16_t* percent) {
  return SyncStepL(array, KEL_RAID_1, 1, pos, percent, 1);
}

int KelDeviceManage::SyncRaid5L(_Index_Plus_t array, uint64_t* pos, uint16_t* percent) {
  return SyncStepL(array, KEL_RAID_5, 1, pos, percent, 1);
}

int KelDeviceManage::SyncRaid01L(_Index_Plus_t array, uint64_t* pos, uint16_t* percent,
                                 uint16_t flag) {
  if (flag < 1 || flag > 3) {
    KEL_ASSERT_TEXT("wdFlag == 1 || wdFlag == 2 || wdFlag == 3");
    return ZR_BAD_PARAM;
  }
  return SyncStepL(array, KEL_RAID_01, flag, pos, percent, MAX_VD_PER_ARRAY / 2);
}

int KelDeviceManage::MigRateArrayL(_Index_Plus_t ref, uint64_t* pos, uint16_t* percent) {
  KEL_DM_WRITE_LOCK_OR_RETURN();
  KelRaidArray* ra = nullptr;
  if (int rc = StepLookup(ref, KEL_TASK_MIGRATE, &ra); rc != ZR_OK) return rc;
  const KelArrayKey key = KelArrayKey::Of(*ra);
  KelRaidBasicOp op(*Driver());

  KelStepState* run = m_steps.Find(key);
  if (pos == nullptr && percent == nullptr) {  // stop: the disks keep the last position
    EndStep(key);
    return ZR_OK;
  }
  if (run == nullptr) {
    KelStepState first;
    if (int rc = KelMigFirstStep(*ra, &first); rc != ZR_OK) return rc;
    run = m_steps.Put(first);
    ra->nSyncMigReplacing = KEL_TASK_MIGRATE;
  }
  if (int rc = KelStepRefresh(*ra, run); rc != ZR_OK) {
    EndStep(key);
    return rc;
  }
  const KelStepState st = *run;

  if (st.cur >= st.total) {
    // The creation parked the first disk's last user sectors at the end of the VD in table
    // slot 1; they go back to where they belong in the array: the place they had on that
    // disk, counted from the first VD's start. The first VD may be shorter than the disk's
    // old data, so its end is not that place.
    const uint8_t type = ra->m_byRaidType;
    const KelVirDevice* park = ra->m_arVDs[1];
    const KelVirDevice* first = ra->m_arVDs[0];
    const uint64_t usable = first != nullptr ? first->m_pPD->UsableSectors() : 0;
    if ((type == KEL_RAID_0 || type == KEL_RAID_5 || type == KEL_RAID_01) && park != nullptr &&
        first != nullptr && (ra->status & KEL_RA_STATUS_MISSING) == 0 &&
        usable >= first->m_dw64StartSector + kLastDataSectors) {
      _LASTUSERDATA_POS_INFO at{};
      at.byCtlerInternalIndex = park->m_pPD->CtrlInternalIndex();
      at.byVDId = static_cast<uint8_t>(park->vd_index_on_pd);
      at.SetDeviceNo(park->m_pPD->DeviceNo());
      at.SetSectorCount(kLastDataSectors);
      at.SetStartLBA(park->m_dw64StartSector + park->m_dw64SectorLength - kLastDataSectors);
      const uint64_t home = usable - kLastDataSectors - first->m_dw64StartSector;
      if (op.RecoverLastUserDataRBOP(st.ctrl, park->m_pPD->DeviceNo(), &at, home) == 0) {
        KEL_PRINT(ZEP_DBG_ERROR, "bringing back the last user data of array %d failed\n",
                  ra->m_nIndex);
        EndStep(key);
        return ZR_MIG_CMD_FAILED;
      }
    }
    for (KelVirDevice* vd : ra->m_arVDs)
      if (vd != nullptr) vd->ClearMigStatus();
    EndStep(key);
    ra = nullptr;  // the save destroys it
    if (SaveConfAndSendNotifyBusChange() != ZR_OK) return ZR_MIG_SAVE_FAILED;
    Report(st.total, st, pos, percent, 1);
    return ZR_MIG_FINISHED;
  }

  const uint64_t units = KelStepChunk(st.cur, st.total, st.unitsPerChunk);
  if (!SendMigrate(op, st, st.cur, units)) {
    EndStep(key);
    return ZR_MIG_CMD_FAILED;
  }
  const uint64_t done = st.cur + units;
  run->cur = done;
  if (KelStepPercentGrows(st.cur, units, st.total)) {
    for (KelVirDevice* vd : ra->m_arVDs)
      if (vd != nullptr) vd->UpdateMigStatus(done);
    ra = nullptr;  // the save destroys it
    if (SaveConfAndSendNotifyBusChange() != ZR_OK || !SendSavePos(op, st, done)) {
      EndStep(key);
      return ZR_MIG_SAVE_FAILED;
    }
  }
  Report(done, st, pos, percent, 1);
  return ZR_OK;
}
