// KelVirDevice: the changes removal, spares and repairs make to a VD's live block. They
// touch only the disk's working area; the save that follows writes it and the rebuild turns
// it back into arrays.
#include <cstring>

#include "driver/raid_basic_op.h"
#include "engine/dev_manage.h"
#include "engine/phy_device.h"
#include "engine/vir_device.h"
#include "sharedlib/diag.h"

namespace {

// The live block, or null after a diagnostic naming the change.
_VD_Config_sector_* LiveBlock(KelVirDevice* vd, const char* what) {
  if (vd->Block() == nullptr) {
    KEL_PRINT(ZEP_DBG_ERROR, "VD %d has no block to %s\n", vd->m_nIndex, what);
    return nullptr;
  }
  return vd->Block();
}

void SetIds(_VD_Config_sector_* blk, const uint32_t ids[MAX_VD_PER_ARRAY]) {
  for (int i = 0; i < MAX_VD_PER_ARRAY; ++i) blk->SetMemberId(i, ids[i]);
}

void SetStateBits(_VD_Config_sector_* blk, uint16_t set, uint16_t clear) {
  blk->SetU16(vdoff::kState, static_cast<uint16_t>((blk->State() & ~clear) | set));
}

void SetFlagBits(_VD_Config_sector_* blk, uint8_t set, uint8_t clear) {
  blk->SetU8(vdoff::kFlags, static_cast<uint8_t>((blk->Flags() & ~clear) | set));
}

void ApplySource(_VD_Config_sector_* blk, uint64_t pos) {
  blk->SetU64(vdoff::kSideValue, 1);
  SetFlagBits(blk, KEL_VD_FLAG_SYNC, 0);
  blk->SetU64(vdoff::kSyncPos, pos);
}

void ApplyTarget(_VD_Config_sector_* blk, uint64_t pos) {
  blk->SetU64(vdoff::kSideValue, 0);
  SetStateBits(blk, KEL_VD_STATE_SYNC_TARGET, 0);
  SetFlagBits(blk, KEL_VD_FLAG_SYNC, 0);
  blk->SetU64(vdoff::kSyncPos, pos);
}

void ApplyClearSync(_VD_Config_sector_* blk) {
  blk->SetU64(vdoff::kSideValue, 0);
  SetStateBits(blk, 0, KEL_VD_STATE_SYNC_TARGET);
  SetFlagBits(blk, 0, KEL_VD_FLAG_SYNC);
  blk->SetU64(vdoff::kSyncPos, 0);
}

}  // namespace

bool KelVirDevice::DeleteMyselfInPDConf() {
  if (m_pPD == nullptr) {
    KEL_ASSERT_TEXT("m_pPD");
    return false;
  }
  DeleteVDInPDConfSect(&m_pPD->m_PDConfigSector, vd_index_on_pd);
  return true;
}

bool KelVirDevice::ChangeVDTypeRaid1ToSpan() {
  _VD_Config_sector_* blk = LiveBlock(this, "turn into a span");
  if (blk == nullptr) return false;
  blk->SetU8(vdoff::kRaidType, KEL_RAID_SPAN);
  blk->SetU8(vdoff::kArrayVDNum, 1);
  blk->SetU8(vdoff::kPosition, 0);
  uint32_t ids[MAX_VD_PER_ARRAY] = {blk->VDId()};
  SetIds(blk, ids);
  std::memset(blk->b + vdoff::kVDName, 0, 24);
  std::memset(blk->b + vdoff::kArrayName, 0, 24);
  SetFlagBits(blk, 0, KEL_VD_FLAG_NAME_VALID);
  // The mark separates the span from a mirror that may still list the same id elsewhere.
  blk->SetU64(vdoff::kArrayMark, 1);
  ApplyClearSync(blk);
  MakeVDConfigSectorCheckSum(blk);
  return true;
}

bool KelVirDevice::SetMemberIds(const uint32_t ids[MAX_VD_PER_ARRAY]) {
  _VD_Config_sector_* blk = LiveBlock(this, "take a member list");
  if (blk == nullptr || ids == nullptr) return false;
  SetIds(blk, ids);
  MakeVDConfigSectorCheckSum(blk);
  return true;
}

bool KelVirDevice::AddMirrorSpareVD(const uint32_t ids[MAX_VD_PER_ARRAY]) {
  _VD_Config_sector_* blk = LiveBlock(this, "gain a spare");
  if (blk == nullptr || ids == nullptr) return false;
  blk->SetU8(vdoff::kArrayVDNum, 3);
  return SetMemberIds(ids);
}

bool KelVirDevice::DeleteMirrorSpr() {
  _VD_Config_sector_* blk = LiveBlock(this, "drop the spare");
  if (blk == nullptr) return false;
  if (blk->RaidType() != KEL_RAID_1) {
    KEL_ASSERT_TEXT("byRaidType == RAID_1");
    return false;
  }
  if (blk->ArrayVDNum() > 2) blk->SetU8(vdoff::kArrayVDNum, static_cast<uint8_t>(blk->ArrayVDNum() - 1));
  blk->SetMemberId(2, 0);
  MakeVDConfigSectorCheckSum(blk);
  return true;
}

bool KelVirDevice::ChangeMirrorVD2Src(const uint32_t ids[MAX_VD_PER_ARRAY]) {
  _VD_Config_sector_* blk = LiveBlock(this, "become the source");
  if (blk == nullptr || ids == nullptr) return false;
  blk->SetU8(vdoff::kArrayVDNum, 2);
  blk->SetU8(vdoff::kPosition, 0);
  ApplySource(blk, 0);
  return SetMemberIds(ids);
}

bool KelVirDevice::ChangeMirrorSprVD2Mir(const uint32_t ids[MAX_VD_PER_ARRAY]) {
  _VD_Config_sector_* blk = LiveBlock(this, "become a mirror");
  if (blk == nullptr || ids == nullptr) return false;
  blk->SetU8(vdoff::kArrayVDNum, 2);
  blk->SetU8(vdoff::kPosition, 1);
  ApplyTarget(blk, 0);
  return SetMemberIds(ids);
}

bool KelVirDevice::UpdateRaid5VDConfByRepair(const uint32_t ids[MAX_VD_PER_ARRAY], bool target) {
  _VD_Config_sector_* blk = LiveBlock(this, "take the repair");
  if (blk == nullptr || ids == nullptr) return false;
  if (target)
    ApplyTarget(blk, 0);
  else
    ApplySource(blk, 0);
  return SetMemberIds(ids);
}

bool KelVirDevice::UpdateRaid01VDCOnfByRepair(const uint32_t ids[MAX_VD_PER_ARRAY], int role) {
  _VD_Config_sector_* blk = LiveBlock(this, "take the repair");
  if (blk == nullptr || ids == nullptr) return false;
  if (role == KEL_REPAIR_ROLE_TARGET) ApplyTarget(blk, 0);
  if (role == KEL_REPAIR_ROLE_SOURCE) ApplySource(blk, 0);
  return SetMemberIds(ids);
}

bool KelVirDevice::MarkSyncSource() {
  _VD_Config_sector_* blk = LiveBlock(this, "become a source");
  if (blk == nullptr) return false;
  ApplySource(blk, 0);
  MakeVDConfigSectorCheckSum(blk);
  return true;
}

bool KelVirDevice::MarkSyncTarget() {
  _VD_Config_sector_* blk = LiveBlock(this, "become a target");
  if (blk == nullptr) return false;
  ApplyTarget(blk, 0);
  MakeVDConfigSectorCheckSum(blk);
  return true;
}

bool KelVirDevice::UpdateSrcSyncStatus(uint64_t pos) {
  _VD_Config_sector_* blk = LiveBlock(this, "record the source position");
  if (blk == nullptr) return false;
  SetFlagBits(blk, KEL_VD_FLAG_SYNC, 0);
  blk->SetU64(vdoff::kSyncPos, pos);
  MakeVDConfigSectorCheckSum(blk);
  return true;
}

bool KelVirDevice::UpdateTgtSyncStatus(uint64_t pos) {
  _VD_Config_sector_* blk = LiveBlock(this, "record the target position");
  if (blk == nullptr) return false;
  SetStateBits(blk, KEL_VD_STATE_SYNC_TARGET, 0);
  SetFlagBits(blk, KEL_VD_FLAG_SYNC, 0);
  blk->SetU64(vdoff::kSyncPos, pos);
  MakeVDConfigSectorCheckSum(blk);
  return true;
}

bool KelVirDevice::ClearSyncStatus() {
  _VD_Config_sector_* blk = LiveBlock(this, "clear its synchronisation");
  if (blk == nullptr) return false;
  ApplyClearSync(blk);
  MakeVDConfigSectorCheckSum(blk);
  return true;
}

bool KelVirDevice::UpdateMigStatus(uint64_t pos) {
  _VD_Config_sector_* blk = LiveBlock(this, "record the migration position");
  if (blk == nullptr) return false;
  SetFlagBits(blk, KEL_VD_FLAG_MIGRATE, 0);
  blk->SetU8(vdoff::kFlags2, static_cast<uint8_t>(blk->Flags2() | KEL_VD_FLAG2_MIGRATE));
  blk->SetU64(vdoff::kMigPos, pos);
  MakeVDConfigSectorCheckSum(blk);
  return true;
}

bool KelVirDevice::ClearMigStatus() {
  _VD_Config_sector_* blk = LiveBlock(this, "clear its migration");
  if (blk == nullptr) return false;
  SetFlagBits(blk, 0, KEL_VD_FLAG_MIGRATE);
  blk->SetU8(vdoff::kFlags2, static_cast<uint8_t>(blk->Flags2() & ~KEL_VD_FLAG2_MIGRATE));
  blk->SetU8(vdoff::kMigCtl, static_cast<uint8_t>(blk->U8(vdoff::kMigCtl) | 0x30));
  blk->SetU64(vdoff::kMigPos, 0);
  MakeVDConfigSectorCheckSum(blk);
  return true;
}

bool KelVirDevice::ClearDeviceDirtyFlag2Drv() const {
  KelDrvInterface* drv = m_pDM != nullptr ? m_pDM->Driver() : nullptr;
  if (drv == nullptr || m_pPD == nullptr) return false;
  KelRaidBasicOp op(*drv);
  if (op.ClearDeviceDirtyFlagRBOP(m_pPD->CtrlDrvIndex(), m_pPD->CtrlInternalIndex(),
                                  m_pPD->DeviceNo(), static_cast<uint8_t>(vd_index_on_pd), 0) == 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "clearing the dirty flag of VD %d failed\n", m_nIndex);
    return false;
  }
  return true;
}
