// KelDeviceManage: array creation. Everything that can refuse a request is checked before
// the first byte goes to a disk; the writing ends with the save, which rebuilds the model.
#include <cstring>

#include "driver/drv_info_records.h"
#include "driver/drv_interface.h"
#include "driver/raid_basic_op.h"
#include "engine/create_array.h"
#include "engine/ctrl_tree.h"
#include "engine/dev_manage.h"
#include "engine/dm_lock.h"
#include "engine/phy_device.h"
#include "sharedlib/diag.h"

namespace {

// Flag bits of a disk that another operation is using.
constexpr uint16_t kPDBusyFlags = (1u << 1) | (1u << 8) | (1u << 9);
constexpr uint32_t kLastDataSectors = 32;

_LASTUSERDATA_POS_INFO LastDataPos(const KelPhyDevice* pd, int slot, uint64_t start) {
  _LASTUSERDATA_POS_INFO p{};
  p.byCtlerInternalIndex = pd->CtrlInternalIndex();
  p.byVDId = static_cast<uint8_t>(slot);
  KelStoreLe16(p.wdDeviceNo, pd->DeviceNo());
  KelStoreLe32(p.dwSectorCount, kLastDataSectors);
  KelStoreLe64(p.dw64StartLBA, start);
  return p;
}

}  // namespace

void KelDeviceManage::GetCreateDiskView(_Index_Plus_t ref, KelCreateDiskView* v) const {
  *v = KelCreateDiskView{};
  const KelPhyDevice* pd = (ref.nIndex >= 0 && ref.nIndex < MAX_PDS) ? m_pPDs[ref.nIndex] : nullptr;
  if (pd == nullptr) return;
  v->present = true;
  v->unusable = !pd->IsReadable() || (pd->m_wdFlag & KEL_PD_FLAG_CONF_CONFLICT) != 0;
  v->busy = (pd->m_wdFlag & kPDBusyFlags) != 0 || pd->m_byRplRole != KEL_RPL_NONE;
  v->magicOk = pd->m_wdMagicNum == ref.wdMagicNum;
  v->systemDisk = pd->m_bySystemDisk == 2;
  v->vdNum = pd->m_nVDNum;
  v->areaNum = pd->GetFreeInfoValidCreate(v->areas);
}

int KelDeviceManage::CalCreateArraySize(const _CREATE_ARRAY_PDS_INFO* req,
                                        _Array_Create_Info_t* info) {
  if (req == nullptr || info == nullptr) return ZR_BAD_PARAM;
  // Duplicates and the count are refused before any disk is looked at.
  if (req->nPDNum > KEL_MAX_CREATE_DISKS || req->nPDNum < 1)
    return KelCalCreateSize(*req, nullptr, info);
  KelCreateDiskView views[KEL_MAX_CREATE_DISKS];
  for (int i = 0; i < req->nPDNum; ++i) GetCreateDiskView(req->pds[i], &views[i]);
  return KelCalCreateSize(*req, views, info);
}

int KelDeviceManage::CalCreateArraySizeL(const _CREATE_ARRAY_PDS_INFO* req,
                                         _Array_Create_Info_t* info) {
  if (req == nullptr || info == nullptr) return ZR_BAD_PARAM;
  KEL_DM_READ_LOCK_OR_RETURN();
  return CalCreateArraySize(req, info);
}

int KelDeviceManage::CreateRaidArrayL(const _CREATE_ARRAY_PDS_INFO* req) {
  if (req == nullptr) return ZR_BAD_PARAM;
  KEL_DM_WRITE_LOCK_OR_RETURN();
  return CreateArrayByPDs(req);
}

int KelDeviceManage::CreateArrayByPDs(const _CREATE_ARRAY_PDS_INFO* req) {
  const int n = req->nPDNum;
  if (n < 1 || n > KEL_MAX_CREATE_DISKS) return KelCreateParamCheck(*req, nullptr, nullptr);
  KelCreateDiskView views[KEL_MAX_CREATE_DISKS];
  for (int i = 0; i < n; ++i) GetCreateDiskView(req->pds[i], &views[i]);
  if (int rc = KelCreateParamCheck(*req, views, nullptr); rc != ZR_OK) return rc;

  const bool keep = req->paramB == KEL_CREATE_KEEP_DATA;
  for (int i = 0; i < n; ++i) {
    bool clear = false;
    int rc = m_pPDs[req->pds[i].nIndex]->CreateValidatePD(req->raidType, req->stripeKiB,
                                                            keep && i == 0, &clear);
    if (rc != ZR_OK) return rc;
  }
  KelCreatePlan plan;
  if (int rc = KelCreateCalVDs(*req, views, &plan); rc != ZR_OK) return rc;
  return CreateArrayByVDs(req, plan);
}

int KelDeviceManage::CreateArrayByVDs(const _CREATE_ARRAY_PDS_INFO* req,
                                      const KelCreatePlan& plan) {
  const int n = req->nPDNum;
  const bool keep = plan.mode == KEL_CREATE_KEEP_DATA;
  KelPhyDevice* pds[KEL_MAX_CREATE_DISKS] = {};
  _PD_Config_sector_* areas[KEL_MAX_CREATE_DISKS] = {};
  bool used[KEL_MAX_CREATE_DISKS] = {};
  for (int i = 0; i < n; ++i) {
    pds[i] = m_pPDs[req->pds[i].nIndex];
    areas[i] = &pds[i]->m_PDConfigSector;
  }
  for (int k = 0; k < plan.num; ++k) used[plan.vds[k].disk] = true;

  // Undoes the in-memory preparation when the disks have not been touched.
  auto revert = [&]() {
    for (int i = 0; i < n; ++i) {
      pds[i]->m_PDConfigSector = pds[i]->m_PDConfigSectorSaved;
      pds[i]->m_wdFlag &= static_cast<uint16_t>(~KEL_PD_FLAG_CLEAR_PARTITION);
    }
  };
  for (int i = 0; i < n; ++i) {
    if (!used[i]) continue;
    bool clear = false;
    pds[i]->CreateValidatePD(plan.raidType, req->stripeKiB, keep && i == 0, &clear);
    if (clear) pds[i]->m_wdFlag |= KEL_PD_FLAG_CLEAR_PARTITION;
    if (!pds[i]->m_bHasConfig) InitPDConfSect(areas[i], MakeDeviceSerialChksum(&pds[i]->m_DevInfo));
  }
  int slots[MAX_VD_PER_ARRAY] = {};
  if (KelCreateWriteBlocks(plan, areas, KelNewArrayMark(), slots) != ZR_OK) {
    revert();
    return ZR_BAD_PARAM;
  }

  if (keep && plan.raidType != KEL_RAID_1) {
    // The configuration area will cover the end of the first disk, so its last user
    // sectors go somewhere safe first: the last 32 sectors of the new array's area on the
    // target disk - the span's last VD, for the other levels the VD in table slot 1. Both
    // lie on another disk, in space the new array owns and nothing else writes before the
    // migration brings the sectors back. A refused move leaves every area unwritten.
    const KelPlannedVD& src = plan.vds[0];
    const int t = plan.raidType == KEL_RAID_SPAN ? plan.num - 1 : 1;
    const KelPlannedVD& tgt = plan.vds[t];
    KelPhyDevice* first = pds[src.disk];
    _LASTUSERDATA_POS_INFO from =
        LastDataPos(first, slots[0], first->UsableSectors() - kLastDataSectors);
    _LASTUSERDATA_POS_INFO to =
        LastDataPos(pds[tgt.disk], slots[t], tgt.start + tgt.length - kLastDataSectors);
    bool moved = false;
    if (KelDrvInterface* drv = Driver()) {
      KelRaidBasicOp op(*drv);
      moved = op.MoveLastUserData(first->CtrlDrvIndex(), first->DeviceNo(), &from, &to) != 0;
    }
    if (!moved) {
      KEL_PRINT(ZEP_DBG_ERROR, "moving the last user data of disk %d failed; nothing written\n",
                first->m_nIndex);
      revert();
      return ZR_DRIVER_FAILED;
    }
  }
  return SaveConfAndClearPartition();
}

std::vector<KelPartitionWipe> KelDeviceManage::CollectPartitionWipes() const {
  std::vector<KelPartitionWipe> out;
  for (const KelPhyDevice* pd : m_pPDs)
    if (pd != nullptr) pd->ClearPDPartitionData(&out);
  return out;
}

int KelDeviceManage::CheckAndClearPartition(const std::vector<KelPartitionWipe>& wipes) {
  if (wipes.empty()) return ZR_OK;
  KelDrvInterface* drv = Driver();
  if (drv == nullptr) return ZR_DRIVER_FAILED;
  KelRaidBasicOp op(*drv);
  static const uint8_t kZero[HD_SECTOR_SIZE] = {};
  for (const KelPartitionWipe& w : wipes) {
    _DISK_IO_POS_EX pos{w.ctrl, w.ctrlInternal, w.device, w.sector, 1};
    _DISK_IO_RESULT res{};
    if (op.WriteDeviceDataRBOP(&pos, kZero, &res) == 0) {
      KEL_PRINT(ZEP_DBG_ERROR, "zeroing sector %llu of device %u failed\n",
                static_cast<unsigned long long>(w.sector), w.device);
      return ZR_DRIVER_FAILED;
    }
  }
  return ZR_OK;
}

int KelDeviceManage::SaveConfAndClearPartition() {
  const std::vector<KelPartitionWipe> wipes = CollectPartitionWipes();
  int rc = SaveConfAndSendNotifyBusChange();
  if (rc != ZR_OK || wipes.empty()) return rc;
  rc = CheckAndClearPartition(wipes);
  if (SendNotifyBusChange(0) != ZR_OK && rc == ZR_OK) rc = ZR_DRIVER_FAILED;
  return rc;
}
