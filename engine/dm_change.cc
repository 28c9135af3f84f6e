// KelDeviceManage: the changes to existing arrays and disks - removal, spares, repairs of
// the configuration and clearing a disk's area - and the host's names for them. Every
// change validates completely first, edits the disks' working areas through the arrays and
// VDs, then saves and rebuilds the model; a change refused half-way is discarded.
#include <cstring>
#include <string>

#include "engine/dev_manage.h"
#include "engine/dm_lock.h"
#include "engine/partitions.h"
#include "engine/phy_device.h"
#include "engine/raid_array.h"
#include "engine/vir_device.h"
#include "sharedlib/diag.h"

namespace {

constexpr int kMaxClearDisks = 16;

bool ArrayIndexOk(int i) { return i >= 0 && i < MAX_ARRAY_SLOTS; }

// A disk or one of its VDs holds the operating system.
bool HoldsSystem(const KelPhyDevice* pd) {
  if (pd->m_bySystemDisk != 0) return true;
  for (int i = 0; i < pd->m_nVDNum; ++i)
    if (pd->m_pVDDev[i] != nullptr && pd->m_pVDDev[i]->systemVD != 0) return true;
  return false;
}

// A disk in a replacement, or one whose arrays run a background task or are being copied.
bool DiskBusy(const KelPhyDevice* pd) {
  if (pd->m_byRplRole != KEL_RPL_NONE || pd->m_bReplacing) return true;
  for (int i = 0; i < pd->m_nVDNum; ++i) {
    const KelVirDevice* vd = pd->m_pVDDev[i];
    if (vd != nullptr && vd->m_pArray != nullptr &&
        (vd->m_pArray->nSyncMigReplacing != KEL_TASK_NONE || vd->m_pArray->bInReplacement))
      return true;
  }
  return false;
}

// An array one of whose disks is being copied onto another: the copy carries the
// configuration as it was when the replacement began, so a change now would come back
// undone at the finish. Changes wait until the replacement ends.
int RefuseInReplacement(const KelRaidArray* ra) {
  if (!ra->bInReplacement) return ZR_OK;
  KEL_PRINT(ZEP_DBG_ERROR, "array %d is in a replacement\n", ra->m_nIndex);
  return ZR_PD_BUSY;
}

bool Unusable(const KelPhyDevice* pd) {
  return !pd->IsReadable() || (pd->m_wdFlag & KEL_PD_FLAG_CONF_CONFLICT) != 0;
}

void FillResults(int n, int* results, int code) {
  if (results == nullptr) return;
  for (int i = 0; i < n; ++i) results[i] = code;
}

}  // namespace

// ---------------------------------------------------------------- shared

int KelDeviceManage::LookupRA(_Index_Plus_t ref, KelRaidArray** ra) const {
  if (!ArrayIndexOk(ref.nIndex) || m_pRAs[ref.nIndex] == nullptr) {
    KEL_PRINT(ZEP_DBG_ERROR, "no array %d\n", ref.nIndex);
    return ZR_NO_OBJECT;
  }
  if (m_pRAs[ref.nIndex]->m_wdMagicNum != ref.wdMagicNum) {
    KEL_PRINT(ZEP_DBG_ERROR, "array %d: stale magic 0x%x\n", ref.nIndex, ref.wdMagicNum);
    return ZR_MAGIC_MISMATCH;
  }
  *ra = m_pRAs[ref.nIndex];
  return ZR_OK;
}

int KelDeviceManage::LookupNewMemberPD(_Index_Plus_t ref, KelPhyDevice** out) const {
  if (ref.nIndex < 0 || ref.nIndex >= MAX_ARRAY_SLOTS) {
    KEL_PRINT(ZEP_DBG_ERROR, "disk index %d out of range\n", ref.nIndex);
    return ZR_NO_OBJECT;
  }
  KelPhyDevice* pd = ref.nIndex < MAX_PDS ? m_pPDs[ref.nIndex] : nullptr;
  if (pd == nullptr) {
    KEL_PRINT(ZEP_DBG_ERROR, "no disk %d to repair with\n", ref.nIndex);
    return ZR_NO_REPAIR_DISK;
  }
  if (pd->m_wdMagicNum != ref.wdMagicNum) {
    KEL_PRINT(ZEP_DBG_ERROR, "disk %d: stale magic 0x%x\n", ref.nIndex, ref.wdMagicNum);
    return ZR_MAGIC_MISMATCH;
  }
  if (HoldsSystem(pd)) {
    KEL_PRINT(ZEP_DBG_ERROR, "disk %d holds the system\n", ref.nIndex);
    return ZR_SYSTEM_DISK;
  }
  if (pd->m_byRplRole != KEL_RPL_NONE) {
    KEL_PRINT(ZEP_DBG_ERROR, "disk %d takes part in a replacement\n", ref.nIndex);
    return ZR_PD_BUSY;
  }
  *out = pd;
  return ZR_OK;
}

void KelDeviceManage::DiscardAreaChanges() {
  for (KelPhyDevice* pd : m_pPDs)
    if (pd != nullptr) pd->m_PDConfigSector = pd->m_PDConfigSectorSaved;
}

int KelDeviceManage::FinishChange(int rc) {
  if (rc != ZR_OK) {
    KEL_PRINT(ZEP_DBG_WARN, "change refused with %d; nothing written\n", rc);
    DiscardAreaChanges();
    return rc;
  }
  return SaveConfAndSendNotifyBusChange();
}

// ---------------------------------------------------------------- removal

int KelDeviceManage::RemoveArraysL(int n, const _Index_Plus_t* arrays, int* results) {
  if (n <= 0) return ZR_OK;
  if (arrays == nullptr || results == nullptr || n > MAX_ARRAY_SLOTS) {
    KEL_PRINT(ZEP_DBG_ERROR, "bad removal request of %d arrays\n", n);
    // A count past every table is not a count the caller's list was sized for: only the
    // entries a valid request could have are written.
    FillResults(n > MAX_ARRAY_SLOTS ? MAX_ARRAY_SLOTS : n, results, ZR_BAD_PARAM);
    return ZR_BAD_PARAM;
  }
  KelDMWriteHold hold(*this);
  if (!hold.Ok()) {
    KEL_DM_ASSERT_TEXT("WLock()");
    FillResults(n, results, ZR_WLOCK_FAILED);
    return ZR_WLOCK_FAILED;
  }
  for (int i = 0; i < n; ++i)
    for (int j = i + 1; j < n; ++j)
      if (arrays[i].nIndex == arrays[j].nIndex) {
        KEL_PRINT(ZEP_DBG_ERROR, "array %d named twice\n", arrays[i].nIndex);
        FillResults(n, results, ZR_NO_OBJECT);
        return ZR_NO_OBJECT;
      }

  bool anyFailed = false;
  for (int i = 0; i < n; ++i) {
    KelRaidArray* ra = nullptr;
    int rc = LookupRA(arrays[i], &ra);
    if (rc == ZR_OK && ra->IsPseudo()) {
      KEL_PRINT(ZEP_DBG_ERROR, "entry %d is a plain disk\n", arrays[i].nIndex);
      rc = ZR_NO_OBJECT;
    }
    if (rc == ZR_OK && ra->systemDisk != 0) {
      KEL_PRINT(ZEP_DBG_ERROR, "array %d holds the system\n", arrays[i].nIndex);
      rc = ZR_SYSTEM_ARRAY;
    }
    if (rc == ZR_OK) rc = RefuseInReplacement(ra);
    if (rc == ZR_OK) rc = ra->RemoveMyself();
    results[i] = rc;
    anyFailed = anyFailed || rc != ZR_OK;
  }

  // Older-layout arrays leave partition tables marked for wiping; they go only once the
  // save went through.
  int rc = SaveConfAndClearPartition();
  if (rc != ZR_OK) {
    FillResults(n, results, rc);
    return rc;
  }
  return anyFailed ? ZR_SOME_NOT_REMOVED : ZR_OK;
}

// ---------------------------------------------------------------- spares

int KelDeviceManage::AddMirrorSpareL(_Index_Plus_t array, _Index_Plus_t disk) {
  KEL_DM_WRITE_LOCK_OR_RETURN();
  KelRaidArray* ra = nullptr;
  KelPhyDevice* pd = nullptr;
  int rc = LookupRA(array, &ra);
  if (rc == ZR_OK) rc = RefuseInReplacement(ra);
  if (rc == ZR_OK) rc = LookupPD(disk, true, &pd);
  if (rc == ZR_OK && ra->m_byRaidType != KEL_RAID_1) {
    KEL_PRINT(ZEP_DBG_ERROR, "array %d is not a mirror\n", array.nIndex);
    rc = ZR_BAD_PARAM;
  }
  // The engine sees a disk without configuration as free from end to end, whatever the
  // host keeps on it: a spare there would be overwritten by the first repair. Creation
  // refuses such a disk for the same reason.
  if (rc == ZR_OK && HoldsSystem(pd)) {
    KEL_PRINT(ZEP_DBG_ERROR, "disk %d holds the system\n", disk.nIndex);
    rc = ZR_SYSTEM_DISK;
  }
  if (rc == ZR_OK && pd->m_byRplRole != KEL_RPL_NONE) {
    KEL_PRINT(ZEP_DBG_ERROR, "disk %d takes part in a replacement\n", disk.nIndex);
    rc = ZR_PD_BUSY;
  }
  if (rc == ZR_OK) rc = static_cast<KelRaid1*>(ra)->AddSpare(pd);
  return FinishChange(rc);
}

int KelDeviceManage::RemoveMirrorSpareL(_Index_Plus_t array) {
  KEL_DM_WRITE_LOCK_OR_RETURN();
  KelRaidArray* ra = nullptr;
  int rc = LookupRA(array, &ra);
  if (rc == ZR_OK) rc = RefuseInReplacement(ra);
  if (rc == ZR_OK && ra->m_byRaidType != KEL_RAID_1) rc = ZR_WRONG_TYPE;
  if (rc == ZR_OK) rc = static_cast<KelRaid1*>(ra)->RemoveSpare();
  return FinishChange(rc);
}

// ---------------------------------------------------------------- repairs

int KelDeviceManage::RepairMirrorWithSpareL(_Index_Plus_t array) {
  KEL_DM_WRITE_LOCK_OR_RETURN();
  KelRaidArray* ra = nullptr;
  int rc = LookupRA(array, &ra);
  if (rc == ZR_OK) rc = RefuseInReplacement(ra);
  if (rc == ZR_OK && ra->m_byRaidType != KEL_RAID_1) rc = ZR_WRONG_TYPE;
  if (rc == ZR_OK) rc = static_cast<KelRaid1*>(ra)->RepairWithSpare();
  return FinishChange(rc);
}

int KelDeviceManage::RepairMirrorWithNewPDL(_Index_Plus_t array, _Index_Plus_t disk) {
  KEL_DM_WRITE_LOCK_OR_RETURN();
  KelRaidArray* ra = nullptr;
  KelPhyDevice* pd = nullptr;
  int rc = LookupRA(array, &ra);
  if (rc == ZR_OK) rc = RefuseInReplacement(ra);
  if (rc == ZR_OK) rc = LookupNewMemberPD(disk, &pd);
  if (rc == ZR_OK && ra->m_byRaidType != KEL_RAID_1) rc = ZR_WRONG_TYPE;
  if (rc == ZR_OK) rc = static_cast<KelRaid1*>(ra)->RepairWithNewPD(pd);
  return FinishChange(rc);
}

int KelDeviceManage::RepairRaid5ValidateParam(_Index_Plus_t array, _Index_Plus_t disk) const {
  if (!ArrayIndexOk(array.nIndex) || disk.nIndex < 0 || disk.nIndex >= MAX_ARRAY_SLOTS ||
      m_pRAs[array.nIndex] == nullptr)
    return ZR_NO_OBJECT;
  KelRaidArray* ra = m_pRAs[array.nIndex];
  KelPhyDevice* pd = disk.nIndex < MAX_PDS ? m_pPDs[disk.nIndex] : nullptr;
  if (pd == nullptr) return ZR_NO_REPAIR_DISK;
  if (ra->m_wdMagicNum != array.wdMagicNum || pd->m_wdMagicNum != disk.wdMagicNum)
    return ZR_MAGIC_MISMATCH;
  if (HoldsSystem(pd)) return ZR_SYSTEM_DISK;
  if (ra->m_byRaidType != KEL_RAID_5) return ZR_WRONG_TYPE;
  if (RefuseInReplacement(ra) != ZR_OK || pd->m_byRplRole != KEL_RPL_NONE) return ZR_PD_BUSY;
  if (int rc = ra->CanbeRepair(); rc != ZR_OK) return rc;
  if (Unusable(pd)) return ZR_PD_UNREADABLE;
  return ZR_OK;
}

int KelDeviceManage::RepairRaid5WithNewPDL(_Index_Plus_t array, _Index_Plus_t disk) {
  KEL_DM_WRITE_LOCK_OR_RETURN();
  int rc = RepairRaid5ValidateParam(array, disk);
  if (rc == ZR_OK)
    rc = static_cast<KelRaid5*>(m_pRAs[array.nIndex])->RepairWithNewPD(m_pPDs[disk.nIndex]);
  return FinishChange(rc);
}

int KelDeviceManage::RepairRaid01ValidatePram(_Index_Plus_t array, int n,
                                              const _Index_Plus_t* pds) const {
  if (!ArrayIndexOk(array.nIndex)) return ZR_NO_OBJECT;
  if (n < 0 || n > m_nPDNum || (n > 0 && pds == nullptr)) return ZR_BAD_PARAM;
  for (int i = 0; i < n; ++i)
    if (pds[i].nIndex < 0 || pds[i].nIndex >= MAX_PDS) return ZR_NO_OBJECT;
  KelRaidArray* ra = m_pRAs[array.nIndex];
  if (ra == nullptr) return ZR_NO_OBJECT;
  if (ra->m_wdMagicNum != array.wdMagicNum) return ZR_MAGIC_MISMATCH;
  if (ra->m_byRaidType != KEL_RAID_01) return ZR_WRONG_TYPE;
  if (RefuseInReplacement(ra) != ZR_OK) return ZR_PD_BUSY;
  if (int rc = ra->CanbeRepair(); rc != ZR_OK) return rc;
  for (int i = 0; i < n; ++i) {
    const KelPhyDevice* pd = m_pPDs[pds[i].nIndex];
    if (pd == nullptr) return ZR_NO_REPAIR_DISK;
    if (pd->m_wdMagicNum != pds[i].wdMagicNum) return ZR_MAGIC_MISMATCH;
    if (Unusable(pd)) return ZR_PD_UNREADABLE;
    if (HoldsSystem(pd)) return ZR_SYSTEM_DISK;
    if (pd->m_byRplRole != KEL_RPL_NONE) return ZR_PD_BUSY;
  }
  return ZR_OK;
}

int KelDeviceManage::RepairRaid01WithNewPDL(_Index_Plus_t array, int n, const _Index_Plus_t* pds) {
  KEL_DM_WRITE_LOCK_OR_RETURN();
  int rc = RepairRaid01ValidatePram(array, n, pds);
  KelPhyDevice* disks[MAX_VD_PER_ARRAY] = {};
  if (rc == ZR_OK && n > MAX_VD_PER_ARRAY / 2) rc = ZR_BAD_PARAM;  // a pair keeps one survivor
  for (int i = 0; rc == ZR_OK && i < n; ++i) {
    disks[i] = m_pPDs[pds[i].nIndex];
    for (int j = 0; j < i; ++j)
      if (disks[j] == disks[i]) rc = ZR_BAD_PARAM;
  }
  if (rc == ZR_OK) rc = static_cast<KelRaid01*>(m_pRAs[array.nIndex])->RepairWithNewPDs(n, disks);
  return FinishChange(rc);
}

// ---------------------------------------------------------------- clearing a disk

int KelDeviceManage::ClearPDConfSect(int n, const _Index_Plus_t* refs) {
  if (n == 0) return ZR_OK;
  if (n < 0 || n > kMaxClearDisks || refs == nullptr) {
    KEL_PRINT(ZEP_DBG_ERROR, "bad request to clear %d disks\n", n);
    return ZR_BAD_PARAM;
  }
  KEL_DM_WRITE_LOCK_OR_RETURN();
  KelPhyDevice* disks[kMaxClearDisks] = {};
  for (int i = 0; i < n; ++i) {
    int rc = LookupPD(refs[i], true, &disks[i]);
    for (int j = 0; rc == ZR_OK && j < i; ++j)
      if (disks[j] == disks[i]) rc = ZR_BAD_PARAM;
    if (rc == ZR_OK && HoldsSystem(disks[i])) rc = ZR_SYSTEM_DISK;
    if (rc == ZR_OK && DiskBusy(disks[i])) rc = ZR_PD_BUSY;
    if (rc != ZR_OK) {
      KEL_PRINT(ZEP_DBG_ERROR, "disk %d cannot be cleared: %d\n", refs[i].nIndex, rc);
      return rc;
    }
  }
  // Whatever the area says - even when it contradicts itself - it goes as a whole; the
  // disk is a plain disk afterwards.
  for (int i = 0; i < n; ++i)
    std::memset(disks[i]->m_PDConfigSector.b, 0, sizeof disks[i]->m_PDConfigSector.b);
  return SaveConfAndSendNotifyBusChange();
}

// ---------------------------------------------------------------- host names

int KelDeviceManage::GetRAInodeNameL(int array, char* name, int size) {
  if (name == nullptr || size <= 0) return ZR_BAD_PARAM;
  KEL_DM_READ_LOCK_OR_RETURN();
  if (!ArrayIndexOk(array) || m_pRAs[array] == nullptr) return ZR_NO_OBJECT;
  std::string node = KelFindArrayNode(m_pRAs[array]);
  if (node.empty() || static_cast<int>(node.size()) >= size) {
    KEL_PRINT(ZEP_DBG_INFO, "the host shows no node for array %d\n", array);
    return ZR_NO_OBJECT;
  }
  std::memcpy(name, node.c_str(), node.size() + 1);
  return ZR_OK;
}

int KelDeviceManage::GetPDInodeNameL(int pd, char* name, int size) {
  if (name == nullptr || size <= 0) return ZR_BAD_PARAM;
  KEL_DM_READ_LOCK_OR_RETURN();
  if (pd < 0 || pd >= MAX_PDS || m_pPDs[pd] == nullptr) return ZR_NO_OBJECT;
  if (!m_pPDs[pd]->GetHostNodeName(name, size)) {
    KEL_PRINT(ZEP_DBG_INFO, "the host shows no node for disk %d\n", pd);
    return ZR_NO_OBJECT;
  }
  return ZR_OK;
}
