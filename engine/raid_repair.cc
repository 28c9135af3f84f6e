// Spares and repairs of the configuration: a new or spare VD takes a lost member's place as
// the target of a synchronisation that a background task runs later. No data moves here;
// only the disks' working areas change, and the device manager saves them.
#include <cstring>

#include "driver/drv_info_records.h"
#include "engine/dev_manage.h"
#include "engine/phy_device.h"
#include "engine/raid_array.h"
#include "engine/vir_device.h"
#include "sharedlib/diag.h"

namespace {

constexpr uint16_t kCannotServe = KEL_VD_STATUS_BIT0 | KEL_VD_STATUS_BIT3 |
                                  KEL_VD_STATUS_NEED_SYNC | KEL_VD_STATUS_NOT_SOURCE;

// Adds a block for a new member to `pd`'s working area, shaped after `model` (a block of a
// present member): type, count, stripe, level parameter, mark and name. A disk without
// configuration gets a fresh area first. Returns the slot, or -1.
int PlaceMemberBlock(KelPhyDevice* pd, const _PD_Area_Addr_t& area, const _VD_Config_sector_& model,
                     uint8_t positionByte, uint8_t vdCount) {
  if (!pd->m_bHasConfig) InitPDConfSect(&pd->m_PDConfigSector, MakeDeviceSerialChksum(&pd->m_DevInfo));
  char name[25] = {};
  const bool named = (model.Flags() & KEL_VD_FLAG_NAME_VALID) != 0;
  if (named) std::memcpy(name, model.ArrayName(), 24);
  KelNewVDBlock spec;
  spec.startSector = area.dw64StartSector;
  spec.sectorLength = area.SectorLengh;
  spec.raidType = model.RaidType();
  spec.arrayVDNum = vdCount;
  spec.positionByte = positionByte;
  spec.stripeSectors = model.U8(vdoff::kStripe);  // the stored byte, 256 already as 0
  spec.levelParam = model.LevelParam();
  spec.arrayMark = model.ArrayMark();
  spec.arrayName = named ? name : nullptr;
  int slot = KelAddVDToArea(&pd->m_PDConfigSector, spec);
  if (slot < 0) KEL_PRINT(ZEP_DBG_ERROR, "disk %d has no VD slot left\n", pd->m_nIndex);
  return slot;
}

}  // namespace

// ---------------------------------------------------------------- shared

bool KelRaidArray::CanServeAsSource(int slot) const {
  if (slot < 0 || slot >= MAX_VD_PER_ARRAY || IsMemberMissing(slot)) return false;
  return (m_arVDs[slot]->m_wdStatus & kCannotServe) == 0;
}

int KelRaidArray::FindNewMemberArea(KelPhyDevice* pd, _PD_Area_Addr_t* area) const {
  if (pd == nullptr || area == nullptr) return ZR_NO_OBJECT;
  if (!pd->IsReadable() || (pd->m_wdFlag & KEL_PD_FLAG_CONF_CONFLICT) != 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "disk %d is unusable (flags 0x%x)\n", pd->m_nIndex, pd->m_wdFlag);
    return ZR_PD_UNREADABLE;
  }
  // Two members of one array on one disk: losing the disk loses both.
  if (CheckPDInArray(pd)) {
    KEL_PRINT(ZEP_DBG_ERROR, "disk %d already holds a member of array %d\n", pd->m_nIndex, m_nIndex);
    return ZR_BAD_PARAM;
  }
  const uint64_t size = GetArrayVDSize();
  if (size == 0 || pd->GetVDAreaBySize(area, size) == 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "disk %d has no free area of %llu sectors\n", pd->m_nIndex,
              static_cast<unsigned long long>(size));
    return ZR_TOO_SMALL;
  }
  return ZR_OK;
}

int KelRaidArray::RepairWithNewVDs(int n, const int* slots, const _PD_Area_Addr_t* areas,
                                   const int roles[MAX_VD_PER_ARRAY]) {
  const _VD_Config_sector_* model = nullptr;
  for (int slot = 0; slot < MAX_VD_PER_ARRAY && model == nullptr; ++slot)
    if (!IsMemberMissing(slot)) model = m_arVDs[slot]->Block();
  if (model == nullptr || n <= 0 || n > MAX_VD_PER_ARRAY) {
    KEL_ASSERT_TEXT("pVDModel");
    return ZR_DRIVER_FAILED;
  }
  uint32_t ids[MAX_VD_PER_ARRAY];
  for (int i = 0; i < MAX_VD_PER_ARRAY; ++i) ids[i] = model->MemberId(i);

  // Every new block is placed first: the member list is complete only once all are.
  KelPhyDevice* newPDs[MAX_VD_PER_ARRAY] = {};
  int newSlots[MAX_VD_PER_ARRAY] = {};
  for (int k = 0; k < n; ++k) {
    KelPhyDevice* pd = m_pDM->PD(static_cast<int>(areas[k].nPDIndex));
    if (pd == nullptr || slots[k] < 0 || slots[k] >= MAX_VD_PER_ARRAY) return ZR_DRIVER_FAILED;
    newSlots[k] = PlaceMemberBlock(pd, areas[k], *model, PositionByteOf(slots[k]), model->ArrayVDNum());
    if (newSlots[k] < 0) return ZR_DRIVER_FAILED;
    newPDs[k] = pd;
    const uint32_t id = pd->m_PDConfigSector.Vd(newSlots[k])->VDId();
    for (int i = 0; i < MAX_VD_PER_ARRAY; ++i)
      if (ids[i] == id && i != slots[k]) {
        KEL_PRINT(ZEP_DBG_ERROR, "new VD id 0x%x repeats member %d of array %d\n", id, i, m_nIndex);
        return ZR_BAD_PARAM;
      }
    ids[slots[k]] = id;
  }

  bool ok = true;
  for (int k = 0; k < n; ++k) {
    // A lost member whose block is still on a disk would come back as an array of its own.
    if (KelVirDevice* old = m_arVDs[slots[k]]) ok = old->DeleteMyselfInPDConf() && ok;
    KelVirDevice fresh(m_pDM, newPDs[k], newSlots[k], newPDs[k]->m_PDConfigSector.Vd(newSlots[k]));
    ok = fresh.MarkSyncTarget() && fresh.SetMemberIds(ids) && ok;
  }
  for (int slot = 0; slot < MAX_VD_PER_ARRAY; ++slot) {
    KelVirDevice* vd = m_arVDs[slot];
    bool replaced = false;
    for (int k = 0; k < n; ++k) replaced = replaced || slots[k] == slot;
    if (vd == nullptr || replaced) continue;
    if (m_byRaidType == KEL_RAID_5)
      ok = vd->UpdateRaid5VDConfByRepair(ids, roles[slot] == KEL_REPAIR_ROLE_TARGET) && ok;
    else if (m_byRaidType == KEL_RAID_01)
      ok = vd->UpdateRaid01VDCOnfByRepair(ids, roles[slot]) && ok;
    else
      ok = vd->SetMemberIds(ids) && (roles[slot] != KEL_REPAIR_ROLE_SOURCE || vd->MarkSyncSource()) && ok;
  }
  return ok ? ZR_OK : ZR_DRIVER_FAILED;
}

// ---------------------------------------------------------------- RAID 1

int KelRaid1::SurvivorSlot() const {
  const bool lost0 = IsMemberMissing(0), lost1 = IsMemberMissing(1);
  if (lost0 == lost1) return -1;
  return lost0 ? 1 : 0;
}

int KelRaid1::CanRepairMirror() const {
  const bool lost0 = IsMemberMissing(0), lost1 = IsMemberMissing(1);
  if (!lost0 && !lost1) return ZR_NOTHING_TO_REPAIR;
  if (lost0 && lost1) return ZR_NOT_REPAIRABLE;
  // The survivor is the only copy the new member can be built from.
  if (!CanServeAsSource(SurvivorSlot())) return ZR_NOT_REPAIRABLE;
  return ZR_OK;
}

int KelRaid1::AddSpare(KelPhyDevice* pd) {
  if (m_byDiskNum != 2) {
    KEL_PRINT(ZEP_DBG_ERROR, "array %d has %d members, a spare needs 2\n", m_nIndex, m_byDiskNum);
    return ZR_BAD_PARAM;
  }
  if ((status & KEL_RA_STATUS_MISSING) != 0 || FirstVD() == nullptr) {
    KEL_PRINT(ZEP_DBG_ERROR, "array %d misses a member\n", m_nIndex);
    return ZR_MISSING_MEMBER;
  }
  _PD_Area_Addr_t area{};
  int rc = FindNewMemberArea(pd, &area);
  return rc != ZR_OK ? rc : AddSpareByVDs(area);
}

int KelRaid1::AddSpareByVDs(const _PD_Area_Addr_t& area) {
  KelPhyDevice* pd = m_pDM->PD(static_cast<int>(area.nPDIndex));
  const KelVirDevice* first = FirstVD();
  if (pd == nullptr || first == nullptr || first->Block() == nullptr) return ZR_NO_OBJECT;
  const _VD_Config_sector_& model = *first->Block();
  uint32_t ids[MAX_VD_PER_ARRAY];
  for (int i = 0; i < MAX_VD_PER_ARRAY; ++i) ids[i] = model.MemberId(i);

  const int slot = PlaceMemberBlock(pd, area, model, 2, 3);
  if (slot < 0) return ZR_DRIVER_FAILED;
  ids[2] = pd->m_PDConfigSector.Vd(slot)->VDId();
  if (ids[2] == ids[0] || ids[2] == ids[1]) {
    KEL_PRINT(ZEP_DBG_ERROR, "spare id 0x%x repeats a mirror's\n", ids[2]);
    return ZR_BAD_PARAM;
  }
  bool ok = true;
  for (int s = 0; s < 2; ++s) ok = m_arVDs[s] != nullptr && m_arVDs[s]->AddMirrorSpareVD(ids) && ok;
  KelVirDevice spare(m_pDM, pd, slot, pd->m_PDConfigSector.Vd(slot));
  ok = spare.AddMirrorSpareVD(ids) && ok;
  return ok ? ZR_OK : ZR_DRIVER_FAILED;
}

int KelRaid1::RemoveSpare() {
  if ((status & KEL_RA_STATUS_MISSING) != 0) return ZR_MISSING_MEMBER;
  if (m_byDiskNum < 3 || m_arVDs[2] == nullptr) {
    KEL_PRINT(ZEP_DBG_ERROR, "array %d has no spare\n", m_nIndex);
    return ZR_BAD_PARAM;
  }
  bool ok = true;
  for (int slot = 0; slot < 3; ++slot) {
    KelVirDevice* vd = m_arVDs[slot];
    // An unreadable disk's area is never written; its blocks stay as they are.
    if (vd->m_pPD != nullptr && !vd->m_pPD->IsReadable()) continue;
    ok = (slot == 2 ? vd->DeleteMyselfInPDConf() : vd->DeleteMirrorSpr()) && ok;
  }
  return ok ? ZR_OK : ZR_DRIVER_FAILED;
}

int KelRaid1::RepairWithSpare() {
  if (m_byDiskNum != 3 || m_arVDs[2] == nullptr) return ZR_NO_SPARE;
  if (IsMemberMissing(2) || (m_arVDs[2]->m_wdStatus & (KEL_VD_STATUS_BIT0 | KEL_VD_STATUS_BIT3)))
    return ZR_NOT_REPAIRABLE;
  int rc = CanRepairMirror();
  if (rc != ZR_OK) return rc;
  const int survivor = SurvivorSlot();
  KelVirDevice* src = m_arVDs[survivor];
  KelVirDevice* spare = m_arVDs[2];
  uint32_t ids[MAX_VD_PER_ARRAY] = {src->m_dwVDId, spare->m_dwVDId};
  bool ok = spare->ChangeMirrorSprVD2Mir(ids) && src->ChangeMirrorVD2Src(ids);
  if (KelVirDevice* lost = m_arVDs[1 - survivor]) ok = lost->DeleteMyselfInPDConf() && ok;
  return ok ? ZR_OK : ZR_DRIVER_FAILED;
}

int KelRaid1::RepairWithNewPD(KelPhyDevice* pd) {
  int rc = CanRepairMirror();
  if (rc != ZR_OK) return rc;
  _PD_Area_Addr_t area{};
  rc = FindNewMemberArea(pd, &area);
  return rc != ZR_OK ? rc : RepairWithNewVD(area);
}

int KelRaid1::RepairWithNewVD(const _PD_Area_Addr_t& area) {
  const int survivor = SurvivorSlot();
  if (survivor < 0) return ZR_NOT_REPAIRABLE;
  const int slot = 1 - survivor;
  int roles[MAX_VD_PER_ARRAY] = {};
  roles[survivor] = KEL_REPAIR_ROLE_SOURCE;  // a spare, if any, only takes the new list
  return RepairWithNewVDs(1, &slot, &area, roles);
}

// ---------------------------------------------------------------- RAID 5

int KelRaid5::RepairWithNewPD(KelPhyDevice* pd) {
  int rc = CanbeRepair();
  if (rc != ZR_OK) return rc;
  _PD_Area_Addr_t area{};
  rc = FindNewMemberArea(pd, &area);
  return rc != ZR_OK ? rc : RepairWithNewVD(area);
}

int KelRaid5::RepairWithNewVD(const _PD_Area_Addr_t& area) {
  int slot = -1;
  for (int s = 0; s < ExpectedSlots() && slot < 0; ++s)
    if (IsMemberMissing(s)) slot = s;
  if (slot < 0) return ZR_NOTHING_TO_REPAIR;
  int roles[MAX_VD_PER_ARRAY];
  for (int& r : roles) r = KEL_REPAIR_ROLE_SOURCE;
  return RepairWithNewVDs(1, &slot, &area, roles);
}

// ---------------------------------------------------------------- RAID 0+1

uint8_t KelRaid01::PositionByteOf(int slot) const {
  const int half = m_byDiskNum / 2;
  return slot < half ? static_cast<uint8_t>(slot) : static_cast<uint8_t>((slot - half) | 0x80);
}

int KelRaid01::MissingSlots(int slots[MAX_VD_PER_ARRAY]) const {
  int n = 0;
  for (int s = 0; s < ExpectedSlots(); ++s)
    if (IsMemberMissing(s)) slots[n++] = s;
  return n;
}

int KelRaid01::RepairWithNewPDs(int n, KelPhyDevice* const* pds) {
  int rc = CanbeRepair();
  if (rc != ZR_OK) return rc;
  int missing[MAX_VD_PER_ARRAY];
  if (n != MissingSlots(missing)) {
    KEL_PRINT(ZEP_DBG_ERROR, "array %d misses %d members, %d disks given\n", m_nIndex,
              MissingSlots(missing), n);
    return ZR_BAD_PARAM;
  }
  _PD_Area_Addr_t areas[MAX_VD_PER_ARRAY] = {};
  for (int k = 0; k < n; ++k) {
    rc = FindNewMemberArea(pds[k], &areas[k]);
    if (rc != ZR_OK) return rc;
  }
  return RepairWithNewVDs(n, areas);
}

int KelRaid01::RepairWithNewVDs(int n, const _PD_Area_Addr_t* areas) {
  int missing[MAX_VD_PER_ARRAY];
  if (n != MissingSlots(missing)) return ZR_BAD_PARAM;
  const int half = m_byDiskNum / 2;
  int roles[MAX_VD_PER_ARRAY] = {};
  for (int k = 0; k < n; ++k) {
    const int partner = missing[k] < half ? missing[k] + half : missing[k] - half;
    roles[partner] = KEL_REPAIR_ROLE_SOURCE;
  }
  return KelRaidArray::RepairWithNewVDs(n, missing, areas, roles);
}
