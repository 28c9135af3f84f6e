// KelDeviceManage: the locked queries that fill the facade's info records.
#include <cstring>

#include "engine/ctrl_tree.h"
#include "engine/dev_manage.h"
#include "engine/dm_lock.h"
#include "engine/kel_smart.h"
#include "engine/partitions.h"
#include "engine/phy_device.h"
#include "engine/raid_array.h"
#include "engine/vir_device.h"

namespace {

constexpr int kMaxArrayPosition = 15;  // RAID 0+1 positions reach 8 + 7
constexpr int kPlainDiskPosition = 255;

KelVirDevice* VDAtPosition(const KelRaidArray* ra, int pos) {
  for (KelVirDevice* vd : ra->m_arVDs)
    if (vd != nullptr && vd->m_nPosition == pos) return vd;
  return nullptr;
}

}  // namespace

int KelDeviceManage::LookupPD(_Index_Plus_t ref, bool checkMagic, KelPhyDevice** pd) const {
  if (ref.nIndex < 0 || ref.nIndex >= MAX_PDS || m_pPDs[ref.nIndex] == nullptr)
    return ZR_NO_OBJECT;
  if (checkMagic && m_pPDs[ref.nIndex]->m_wdMagicNum != ref.wdMagicNum) return ZR_MAGIC_MISMATCH;
  *pd = m_pPDs[ref.nIndex];
  return ZR_OK;
}

int KelDeviceManage::GetCtrlNumL(int* count) {
  if (count == nullptr) return ZR_BAD_PARAM;
  KEL_DM_READ_LOCK_OR_RETURN();
  *count = m_nCtrlNum;
  return ZR_OK;
}

int KelDeviceManage::GetPDNumL(_Kel_Index_Map* map) {
  if (map == nullptr) return ZR_BAD_PARAM;
  KEL_DM_READ_LOCK_OR_RETURN();
  // Built on the stack: readers run together, a shared scratch map would be torn.
  _Kel_Index_Map pdMap{};
  int nPDNum = 0;
  for (int i = 0; i < MAX_PDS; ++i)
    if (m_pPDs[i] != nullptr) {
      SetIndexMapBit(&pdMap, static_cast<unsigned char>(i));
      ++nPDNum;
    }
  if (nPDNum != m_nPDNum) KEL_ASSERT_TEXT("nPDNum == m_nPDNum");
  *map = pdMap;
  return ZR_OK;
}

int KelDeviceManage::GetArrayMapL(_Kel_Index_Map* map) {
  if (map == nullptr) return ZR_BAD_PARAM;
  KEL_DM_READ_LOCK_OR_RETURN();
  *map = {};
  int n = 0;
  for (int i = 0; i < MAX_ARRAY_SLOTS; ++i)
    if (m_pRAs[i] != nullptr) {
      SetIndexMapBit(map, static_cast<unsigned char>(i));
      ++n;
    }
  if (n != m_nRaidArrayNum) KEL_ASSERT_TEXT("nArrayNum == m_nRaidArrayNum");
  return ZR_OK;
}

int KelDeviceManage::GetPDMagicNumL(int pd, unsigned short* magic) {
  if (magic == nullptr) return ZR_BAD_PARAM;
  if (pd < 0 || pd >= MAX_PDS) return ZR_NO_OBJECT;
  KEL_DM_READ_LOCK_OR_RETURN();
  if (m_pPDs[pd] == nullptr) return ZR_NO_OBJECT;
  *magic = m_pPDs[pd]->m_wdMagicNum;
  return ZR_OK;
}

int KelDeviceManage::GetRAMagicNumL(int array, unsigned short* magic) {
  if (magic == nullptr) return ZR_BAD_PARAM;
  if (array < 0 || array >= MAX_ARRAY_SLOTS) return ZR_NO_OBJECT;
  KEL_DM_READ_LOCK_OR_RETURN();
  if (m_pRAs[array] == nullptr) return ZR_NO_OBJECT;
  *magic = m_pRAs[array]->m_wdMagicNum;
  return ZR_OK;
}

int KelDeviceManage::GetCtrlInfoL(int ctrl, _zr_controller_info* info) {
  if (info == nullptr) return ZR_BAD_PARAM;
  if (ctrl < 0 || ctrl >= MAX_CONTROLLERS) return ZR_NO_OBJECT;
  KEL_DM_READ_LOCK_OR_RETURN();
  if (m_pCtrl[ctrl] == nullptr) return ZR_NO_OBJECT;
  m_pCtrl[ctrl]->GetCtrlInfoLib(info);
  return ZR_OK;
}

int KelDeviceManage::GetChanInfoL(int ctrl, int chan, _zr_channel_info* info) {
  if (info == nullptr) return ZR_BAD_PARAM;
  if (ctrl < 0 || ctrl >= MAX_CONTROLLERS || chan < 0 || chan >= MAX_CHANNELS) return ZR_NO_OBJECT;
  KEL_DM_READ_LOCK_OR_RETURN();
  KelCtrlChannel* c = m_pCtrl[ctrl] != nullptr ? m_pCtrl[ctrl]->GetChanbyVIndex(chan) : nullptr;
  if (c == nullptr) return ZR_NO_OBJECT;
  c->GetChanInfoLib(info);
  return ZR_OK;
}

int KelDeviceManage::GetDHInfoL(int ctrl, int chan, int side, _zr_device_hub_info_t* info) {
  if (info == nullptr) return ZR_BAD_PARAM;
  if (ctrl < 0 || ctrl >= MAX_CONTROLLERS || chan < 0 || chan >= MAX_CHANNELS || side < 0 ||
      side > 1)
    return ZR_NO_OBJECT;
  KEL_DM_READ_LOCK_OR_RETURN();
  KelCtrlChannel* c = m_pCtrl[ctrl] != nullptr ? m_pCtrl[ctrl]->GetChanbyVIndex(chan) : nullptr;
  if (c == nullptr || c->GetHub(side) == nullptr) return ZR_NO_OBJECT;
  c->GetHub(side)->GetDHInfoLib(info);
  return ZR_OK;
}

int KelDeviceManage::GetPDInfoL(int pd, _zr_device_info* info) {
  if (info == nullptr) return ZR_BAD_PARAM;
  if (pd < 0 || pd >= MAX_PDS) return ZR_NO_OBJECT;
  KEL_DM_READ_LOCK_OR_RETURN();
  if (m_pPDs[pd] == nullptr) return ZR_NO_OBJECT;
  m_pPDs[pd]->GetPDInfoLib(info);
  return ZR_OK;
}

int KelDeviceManage::GetPDInfoByPhyAddrL(int ctrl, int chan, int position, _zr_device_info* info) {
  if (info == nullptr) return ZR_BAD_PARAM;
  if (ctrl < 0 || ctrl >= MAX_CONTROLLERS || chan < 0 || chan >= MAX_CHANNELS || position < 0 ||
      position > 7)
    return ZR_NO_OBJECT;
  KEL_DM_READ_LOCK_OR_RETURN();
  KelCtrlChannel* c = m_pCtrl[ctrl] != nullptr ? m_pCtrl[ctrl]->GetChanbyVIndex(chan) : nullptr;
  KelPhyDevice* pd = c != nullptr ? c->GetPD(position / 4, position % 4) : nullptr;
  if (pd == nullptr) return ZR_NO_OBJECT;
  pd->GetPDInfoLib(info);
  return ZR_OK;
}

int KelDeviceManage::GetPDInfoByArrayPosL(int array, int pos, _zr_device_info* info) {
  if (info == nullptr) return ZR_BAD_PARAM;
  if (array < 0 || array >= MAX_ARRAY_SLOTS ||
      ((pos < 0 || pos > kMaxArrayPosition) && pos != kPlainDiskPosition))
    return ZR_NO_OBJECT;
  KEL_DM_READ_LOCK_OR_RETURN();
  KelRaidArray* ra = m_pRAs[array];
  if (ra == nullptr) return ZR_NO_OBJECT;
  KelPhyDevice* pd = nullptr;
  if (ra->IsPseudo()) {
    if (pos == kPlainDiskPosition || pos == 0) pd = ra->m_arPDs[0];
  } else if (pos != kPlainDiskPosition) {
    KelVirDevice* vd = VDAtPosition(ra, pos);
    pd = vd != nullptr ? vd->m_pPD : nullptr;
  }
  if (pd == nullptr) return ZR_NO_OBJECT;
  pd->GetPDInfoLib(info);
  info->array_index = static_cast<uint16_t>(array);
  info->array_position = static_cast<uint16_t>(pos);
  return ZR_OK;
}

int KelDeviceManage::GetArrayInfoL(int array, _zr_array_info* info) {
  if (info == nullptr) return ZR_BAD_PARAM;
  if (array < 0 || array >= MAX_ARRAY_SLOTS) return ZR_NO_OBJECT;
  KEL_DM_READ_LOCK_OR_RETURN();
  KelRaidArray* ra = m_pRAs[array];
  if (ra == nullptr) return ZR_NO_OBJECT;
  ra->GetArrayInfoLib(info);
  return ZR_OK;
}

int KelDeviceManage::GetVDInfoByPDLogicIndexL(int pd, int slot, _zr_vd_info* info) {
  if (info == nullptr) return ZR_BAD_PARAM;
  if (pd < 0 || pd >= MAX_PDS || slot < 0 || slot >= MAX_VD_PER_PD) return ZR_NO_OBJECT;
  KEL_DM_READ_LOCK_OR_RETURN();
  KelPhyDevice* p = m_pPDs[pd];
  if (p == nullptr || slot >= p->m_nVDNum || p->m_pVDDev[slot] == nullptr) return ZR_NO_OBJECT;
  p->m_pVDDev[slot]->GetVDInfoLib(info);
  return ZR_OK;
}

int KelDeviceManage::GetVDInfoByArrayPosL(int array, int pos, _zr_vd_info* info) {
  if (info == nullptr) return ZR_BAD_PARAM;
  if (array < 0 || array >= MAX_ARRAY_SLOTS || pos < 0 || pos > kMaxArrayPosition)
    return ZR_NO_OBJECT;
  KEL_DM_READ_LOCK_OR_RETURN();
  KelRaidArray* ra = m_pRAs[array];
  KelVirDevice* vd = ra != nullptr ? VDAtPosition(ra, pos) : nullptr;
  if (vd == nullptr) return ZR_NO_OBJECT;
  vd->GetVDInfoLib(info);
  return ZR_OK;
}

int KelDeviceManage::GetPDProtectFreeInfoL(int pd, _zr_protect_free_info_t** table) {
  if (table == nullptr) return ZR_BAD_PARAM;
  if (pd < 0 || pd >= MAX_PDS) return ZR_NO_OBJECT;
  KEL_DM_READ_LOCK_OR_RETURN();
  if (m_pPDs[pd] == nullptr) return ZR_NO_OBJECT;
  m_pPDs[pd]->GetProtectFreeInfo(table);
  return ZR_OK;
}

int KelDeviceManage::GetPartInfoL(int kind, _Index_Plus_t ref, _zr_partition_info* info) {
  if (info == nullptr || (kind != 0 && kind != 1)) return ZR_BAD_PARAM;
  int limit = kind == 0 ? MAX_PDS : MAX_ARRAY_SLOTS;
  if (ref.nIndex < 0 || ref.nIndex >= limit) return ZR_NO_OBJECT;
  KEL_DM_READ_LOCK_OR_RETURN();
  std::string node;
  if (kind == 0) {
    KelPhyDevice* pd = m_pPDs[ref.nIndex];
    if (pd == nullptr) return ZR_NO_OBJECT;
    node = KelFindDiskNode(pd);
  } else {
    KelRaidArray* ra = m_pRAs[ref.nIndex];
    if (ra == nullptr) return ZR_NO_OBJECT;
    node = KelFindArrayNode(ra);
  }
  KelListPartitions(KelHostDevDir(), node, info);
  return ZR_OK;
}

int KelDeviceManage::GetLIBNeedSMRInfoL(_LIB_Need_SMR_Info_t* info) {
  if (info == nullptr) return ZR_BAD_PARAM;
  KEL_DM_READ_LOCK_OR_RETURN();
  std::memset(info, 0, sizeof(*info));

  // At most one replacement: the first source and its target of the same ID. The target
  // may sit at any index, below the source's as well: a replacement onto a lower-numbered
  // disk must be resumed like any other.
  for (int s = 0; s < MAX_PDS; ++s) {
    KelPhyDevice* src = m_pPDs[s];
    if (src == nullptr || src->m_byRplRole != KEL_RPL_SOURCE) continue;
    KelPhyDevice* tgt = nullptr;
    for (int t = 0; t < MAX_PDS && tgt == nullptr; ++t)
      if (t != s && m_pPDs[t] != nullptr && m_pPDs[t]->m_byRplRole == KEL_RPL_TARGET &&
          m_pPDs[t]->m_byReplaceID == src->m_byReplaceID)
        tgt = m_pPDs[t];
    if (tgt == nullptr) continue;
    _LIB_Need_SMR_Entry e{};
    e.taskType = 5;
    e.index = static_cast<uint32_t>(s);
    e.magic = src->m_wdMagicNum;
    e.third = static_cast<uint32_t>(tgt->m_nIndex);
    e.targetMagic = tgt->m_wdMagicNum;
    info->Append(e);
    break;
  }

  // The record holds 32 entries; anything beyond is resumed after the next restart.
  for (int i = 0; i < MAX_ARRAY_SLOTS; ++i) {
    KelRaidArray* ra = m_pRAs[i];
    if (ra == nullptr || ra->m_byVersion == 0) continue;
    if (ra->GetRAMigStatus() == KEL_SYNC_POSSIBLE) {
      _LIB_Need_SMR_Entry e{};
      e.taskType = 4;
      e.index = static_cast<uint32_t>(i);
      e.magic = ra->m_wdMagicNum;
      if (!info->Append(e)) return ZR_OK;
    }
    unsigned short sync = 0;
    ra->GetRASyncStatus(&sync);
    if (sync == KEL_SYNC_POSSIBLE) {
      _LIB_Need_SMR_Entry e{};
      switch (ra->m_byRaidType) {
        case KEL_RAID_1: e.taskType = 1; break;
        case KEL_RAID_01: e.taskType = 2; break;
        case KEL_RAID_5: e.taskType = 3; break;
        default: e.taskType = 9; break;
      }
      e.index = static_cast<uint32_t>(i);
      e.magic = ra->m_wdMagicNum;
      e.third = sync;
      if (!info->Append(e)) return ZR_OK;
    }
  }
  return ZR_OK;
}

int KelDeviceManage::GetPDConfSect(_Index_Plus_t ref, _PD_Config_sector_* out) {
  if (out == nullptr) return ZR_BAD_PARAM;
  KEL_DM_READ_LOCK_OR_RETURN();
  KelPhyDevice* pd = nullptr;
  int rc = LookupPD(ref, false, &pd);
  if (rc != ZR_OK) return rc;
  *out = pd->m_PDConfigSector;
  return ZR_OK;
}

// ---------------------------------------------------------------- SMART

// The health evaluation sets the disk's health-bad flag, a change of the model: it takes
// the write side, so that no reader sees the flag word half-way.
int KelDeviceManage::GetPDHeathStatusL(_Index_Plus_t pd, uint8_t* status) {
  KEL_DM_WRITE_LOCK_OR_RETURN();
  return m_pKelSMART != nullptr ? m_pKelSMART->GetPDHealthStatus(pd, status) : ZR_NOT_INIT;
}

int KelDeviceManage::GetPDSMARTReadTHL(_Index_Plus_t pd, uint8_t* page512) {
  KEL_DM_READ_LOCK_OR_RETURN();
  return m_pKelSMART != nullptr ? m_pKelSMART->GetPDSmartTH(pd, page512) : ZR_NOT_INIT;
}

int KelDeviceManage::GetPDSMARTReadDataL(_Index_Plus_t pd, uint8_t* page512) {
  KEL_DM_READ_LOCK_OR_RETURN();
  return m_pKelSMART != nullptr ? m_pKelSMART->GetPDSmartData(pd, page512) : ZR_NOT_INIT;
}

int KelDeviceManage::ExecPDSMARTCmdL(_Index_Plus_t pd, uint8_t* cmd, uint8_t* data) {
  KEL_DM_READ_LOCK_OR_RETURN();
  return m_pKelSMART != nullptr ? m_pKelSMART->ExecPDSmartCmd(pd, cmd, data) : ZR_NOT_INIT;
}

int KelDeviceManage::GetDMSMARTReturnStatusL() {
  KEL_DM_WRITE_LOCK_OR_RETURN();
  if (m_pKelSMART == nullptr) return ZR_NOT_INIT;
  m_pKelSMART->EnableSYSSMART();
  return m_pKelSMART->GetSYSReturnStatus();
}
