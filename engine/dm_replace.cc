// KelDeviceManage: disk replacement - setting it up, one chunk of the copy per call, the
// finish that makes the target the member, and the cancel.
//
// Between two steps nothing of the model is kept: a save rebuilds it, so the disks are
// looked up by index at every call and after every save. The copy's own state is in
// m_pKelRPL; what a restart needs (roles, recorded position) is on the disks.
#include <cstring>

#include "driver/drv_info_records.h"
#include "driver/raid_basic_op.h"
#include "engine/dev_manage.h"
#include "engine/dm_lock.h"
#include "engine/phy_device.h"
#include "engine/raid_array.h"
#include "engine/vir_device.h"
#include "sharedlib/diag.h"

namespace {

constexpr uint64_t kAllOnes = ~uint64_t{0};
constexpr int kAbsent = 255;

KelRplDiskView ViewOf(const KelPhyDevice* pd) {
  KelRplDiskView v;
  v.index = pd->m_nIndex;
  v.readable = pd->IsReadable();
  v.conflict = pd->HasConfConflict();
  v.hasConfig = pd->m_bHasConfig;
  v.vdNum = pd->m_nVDNum;
  v.role = pd->m_byRplRole;
  v.usable = pd->UsableSectors();
  v.lastVDEnd = pd->LastVDEnd();
  v.system = pd->m_bySystemDisk != 0;
  for (int i = 0; i < pd->m_nVDNum; ++i) {
    const KelVirDevice* vd = pd->m_pVDDev[i];
    if (vd == nullptr) continue;
    v.system = v.system || vd->systemVD != 0;
    if (vd->m_pArray != nullptr && vd->m_pArray->nSyncMigReplacing != KEL_TASK_NONE) v.busy = true;
  }
  return v;
}

bool SendCopy(KelRaidBasicOp& op, const KelPhyDevice* src, const KelPhyDevice* tgt, uint8_t slot,
              uint64_t start, uint64_t count) {
  if (op.ReplaceVDRBOP(src->CtrlDrvIndex(), src->CtrlInternalIndex(), src->DeviceNo(), slot,
                       tgt->CtrlInternalIndex(), tgt->DeviceNo(), slot, start,
                       static_cast<uint32_t>(count)) != 0)
    return true;
  KEL_PRINT(ZEP_DBG_ERROR, "copying %llu sectors at %llu from disk %d to disk %d failed\n",
            static_cast<unsigned long long>(count), static_cast<unsigned long long>(start),
            src->m_nIndex, tgt->m_nIndex);
  return false;
}

}  // namespace

int KelDeviceManage::RplLookup(_Index_Plus_t ref, KelPhyDevice** out) const {
  if (ref.nIndex < 0 || ref.nIndex >= MAX_PDS) {
    KEL_PRINT(ZEP_DBG_ERROR, "disk index %d out of range\n", ref.nIndex);
    return ZR_BAD_PARAM;
  }
  return LookupPD(ref, true, out);
}

void KelDeviceManage::RPLCheckStatus() {
  const KelReplacePD* r = m_pKelRPL;
  for (KelRaidArray* ra : m_pRAs) {
    if (ra == nullptr) continue;
    ra->bInReplacement = false;
    if (ra->nSyncMigReplacing == KEL_TASK_REPLACE) ra->nSyncMigReplacing = KEL_TASK_NONE;
  }
  for (KelPhyDevice* pd : m_pPDs) {
    if (pd == nullptr) continue;
    pd->m_bReplacing = r != nullptr && r->m_bRunning &&
                       (pd->m_nIndex == r->m_nSrc || pd->m_nIndex == r->m_nTgt);
    if (pd->m_byRplRole != KEL_RPL_SOURCE) continue;
    for (int i = 0; i < pd->m_nVDNum; ++i) {
      KelRaidArray* ra = pd->m_pVDDev[i] != nullptr ? pd->m_pVDDev[i]->m_pArray : nullptr;
      if (ra == nullptr) continue;
      ra->bInReplacement = true;
      if (pd->m_bReplacing) ra->nSyncMigReplacing = KEL_TASK_REPLACE;
    }
  }
}

int KelDeviceManage::ReplacePDCreateReltL(_Index_Plus_t srcRef, _Index_Plus_t tgtRef) {
  KEL_DM_WRITE_LOCK_OR_RETURN();
  for (KelPhyDevice* pd : m_pPDs)
    if (pd != nullptr && pd->m_byRplRole != KEL_RPL_NONE) {
      KEL_PRINT(ZEP_DBG_ERROR, "disk %d already takes part in a replacement\n", pd->m_nIndex);
      return ZR_RPL_EXISTS;
    }
  if (Driver() == nullptr) return ZR_DRIVER_FAILED;
  KelPhyDevice* src = nullptr;
  KelPhyDevice* tgt = nullptr;
  if (int rc = RplLookup(srcRef, &src); rc != ZR_OK) return rc;
  if (int rc = RplLookup(tgtRef, &tgt); rc != ZR_OK) return rc;
  if (int rc = KelRplCheckPair(ViewOf(src), ViewOf(tgt)); rc != ZR_OK) return rc;

  // The target takes the source's whole area, with its own identity in the PD sector.
  tgt->m_PDConfigSector = src->m_PDConfigSector;
  KelStoreLe32(tgt->m_PDConfigSector.Pd() + pdoff::kSerialChksum,
               MakeDeviceSerialChksum(&tgt->m_DevInfo));
  src->UpdatePDConfRPLStatus(KEL_RPL_SOURCE, 0);
  tgt->UpdatePDConfRPLStatus(KEL_RPL_TARGET, 0);
  m_pKelRPL->Reset();
  KEL_PRINT(ZEP_DBG_INFO, "replacement of disk %d by disk %d set up\n", src->m_nIndex,
            tgt->m_nIndex);
  // The save rebuilds the model; RPLCheckStatus marks the source's arrays.
  return SaveConfAndSendNotifyBusChange() == ZR_OK ? ZR_OK : ZR_DRIVER_FAILED;
}

void KelDeviceManage::RplFirstStep(const KelPhyDevice* src, int tgt) {
  KelRplArea areas[KEL_RPL_MAX_AREAS];
  int n = 0;
  for (int i = 0; i < src->m_nVDNum && n < KEL_RPL_MAX_AREAS; ++i)
    if (const KelVirDevice* vd = src->m_pVDDev[i]; vd != nullptr)
      areas[n++] = {vd->m_dw64StartSector, vd->m_dw64StartSector + vd->m_dw64SectorLength,
                    static_cast<uint8_t>(vd->vd_index_on_pd)};
  const uint64_t end = src->Capacity() - KEL_PD_RESERVED_SECTORS;
  KelReplacePD& r = *m_pKelRPL;
  r.m_progress = KelRplStart(areas, n, end, src->m_PDConfigSector.PdRplPos());
  r.m_nSrc = src->m_nIndex;
  r.m_nTgt = tgt;
  r.m_bFirstStep = false;
  r.m_bRunning = true;
  RPLCheckStatus();
}

int KelDeviceManage::RplFail(int code) {
  m_pKelRPL->Reset();
  RPLCheckStatus();
  return code;
}

int KelDeviceManage::ReplacePDDoOnceL(_Index_Plus_t srcRef, _Index_Plus_t tgtRef,
                                      uint16_t* percent) {
  KEL_DM_WRITE_LOCK_OR_RETURN();
  KelReplacePD& r = *m_pKelRPL;
  if (percent == nullptr) {  // stop: the disks keep the position last recorded
    if (r.Runs(srcRef.nIndex, tgtRef.nIndex)) RplFail(ZR_OK);
    return ZR_OK;
  }
  KelDrvInterface* drv = Driver();
  if (drv == nullptr) return ZR_DRIVER_FAILED;
  KelPhyDevice* src = nullptr;
  KelPhyDevice* tgt = nullptr;
  if (int rc = RplLookup(srcRef, &src); rc != ZR_OK) return rc;
  if (int rc = RplLookup(tgtRef, &tgt); rc != ZR_OK) return rc;
  if (src->m_byRplRole != KEL_RPL_SOURCE) return RplFail(ZR_RPL_NOT_SOURCE);
  if (tgt->m_byRplRole != KEL_RPL_TARGET) return RplFail(ZR_RPL_NOT_TARGET);
  if (r.m_bFirstStep || !r.Runs(src->m_nIndex, tgt->m_nIndex)) RplFirstStep(src, tgt->m_nIndex);

  KelRplProgress& p = r.m_progress;
  if (KelRplFinished(p)) return RplFinish(percent);
  KelRaidBasicOp op(*drv);
  const uint8_t slot = p.areas[p.area].slot;
  if (!SendCopy(op, src, tgt, slot, p.cur, p.chunk)) return RplFail(ZR_RPL_CMD_FAILED);
  const bool record = KelRplPercentGrows(p);
  KelRplAdvance(&p);
  if (record && !KelRplFinished(p)) {
    // Recorded as the position after the chunk just copied: a resume never copies it again.
    if (!SendCopy(op, src, tgt, slot, kAllOnes, 0)) return RplFail(ZR_RPL_CMD_FAILED);
    src->SetPDRPLStartLBA(p.cur);
    tgt->SetPDRPLStartLBA(p.cur);
    src = tgt = nullptr;  // the save destroys them
    if (SaveConfAndSendNotifyBusChange() != ZR_OK) return RplFail(ZR_DRIVER_FAILED);
  }
  *percent = KelRplPercent(p);
  return KelRplFinished(p) ? RplFinish(percent) : ZR_OK;
}

int KelDeviceManage::RplFinish(uint16_t* percent) {
  KelReplacePD& r = *m_pKelRPL;
  KelPhyDevice* src = PD(r.m_nSrc);
  KelPhyDevice* tgt = PD(r.m_nTgt);
  if (src == nullptr || src->m_byRplRole != KEL_RPL_SOURCE) return RplFail(ZR_RPL_NOT_SOURCE);
  if (tgt == nullptr || tgt->m_byRplRole != KEL_RPL_TARGET) return RplFail(ZR_RPL_NOT_TARGET);
  KelRaidBasicOp op(*Driver());
  const uint8_t slot = r.m_progress.areaNum > 0 ? r.m_progress.areas[0].slot : 0;
  if (!SendCopy(op, src, tgt, slot, kAllOnes, 0)) return RplFail(ZR_RPL_CMD_FAILED);
  // The source leaves every array: its area goes, and so does the partition table its
  // first VD showed, which would now describe nothing.
  std::memset(src->m_PDConfigSector.b, 0, sizeof src->m_PDConfigSector.b);
  src->m_wdFlag |= KEL_PD_FLAG_CLEAR_PARTITION;
  tgt->ClearPDRPLStatus();
  KEL_PRINT(ZEP_DBG_INFO, "disk %d replaced disk %d\n", tgt->m_nIndex, src->m_nIndex);
  r.Reset();
  src = tgt = nullptr;  // the save destroys them
  if (SaveConfAndClearPartition() != ZR_OK) return ZR_DRIVER_FAILED;
  *percent = 100;
  return ZR_RPL_FINISHED;
}

int KelDeviceManage::ReplacePDRemoveReltL(_Index_Plus_t srcRef, _Index_Plus_t tgtRef) {
  if (srcRef.nIndex == kAbsent && tgtRef.nIndex == kAbsent) {
    KEL_PRINT(ZEP_DBG_ERROR, "no disk named to cancel a replacement\n");
    return ZR_NO_OBJECT;
  }
  KEL_DM_WRITE_LOCK_OR_RETURN();
  KelPhyDevice* src = nullptr;
  KelPhyDevice* tgt = nullptr;
  if (srcRef.nIndex != kAbsent) {
    if (int rc = RplLookup(srcRef, &src); rc != ZR_OK) return rc;
    if (src->m_byRplRole != KEL_RPL_SOURCE) return ZR_MAGIC_MISMATCH;
  }
  if (tgtRef.nIndex != kAbsent) {
    if (int rc = RplLookup(tgtRef, &tgt); rc != ZR_OK) return rc;
    if (tgt->m_byRplRole != KEL_RPL_TARGET) return ZR_MAGIC_MISMATCH;
  }
  // The target held nothing but the copy; the source goes on as it was.
  if (tgt != nullptr) std::memset(tgt->m_PDConfigSector.b, 0, sizeof tgt->m_PDConfigSector.b);
  if (src != nullptr) src->ClearPDRPLStatus();
  m_pKelRPL->Reset();
  return SaveConfAndSendNotifyBusChange() == ZR_OK ? ZR_OK : ZR_DRIVER_FAILED;
}
