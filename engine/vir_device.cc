// KelVirDevice: the VD object built from one configuration block of a disk.
#include "engine/vir_device.h"

#include <cstring>

#include "engine/phy_device.h"
#include "engine/raid_array.h"

KelVirDevice::KelVirDevice(KelDeviceManage* dm, KelPhyDevice* pd, int slot,
                           _VD_Config_sector_* block)
    : m_pDM(dm), m_pPD(pd), vd_index_on_pd(slot), m_pVDConfigInPD(block) {
  std::memset(m_VDConfig.b, 0, sizeof m_VDConfig.b);
  if (pd != nullptr) {
    m_byCtrlIndex = static_cast<uint8_t>(pd->m_nCtrlIndex);
    m_byChanIndex = static_cast<uint8_t>(pd->m_nChanIndex);
    m_nPDIndex = pd->m_nIndex;
    m_nLogicNum = 2 * pd->m_nDevNoBase + slot;
  }
  if (block == nullptr) return;
  m_VDConfig = *block;
  m_dw64StartSector = block->StartSector();
  m_dw64SectorLength = block->SectorLength();
  m_dwVDId = block->VDId();
  m_byRaidType = block->RaidType();
  m_nPosition = block->ArrayPosition(m_byRaidType);
}

bool KelVirDevice::IsVDValid() const {
  return m_pVDConfigInPD != nullptr && m_pVDConfigInPD->IsValid();
}

int KelVirDevice::ArraySlot() const {
  if (m_pVDConfigInPD == nullptr) return -1;
  int slot = m_nPosition;
  if (m_byRaidType == KEL_RAID_01) {
    uint8_t pos = m_pVDConfigInPD->PositionByte();
    int half = m_pVDConfigInPD->ArrayVDNum() / 2;
    int inHalf = pos & 7;
    if (inHalf >= half) return -1;
    slot = inHalf + ((pos & 0x80) ? half : 0);
  }
  return slot < MAX_VD_PER_ARRAY ? slot : -1;
}

bool KelVirDevice::CheckSameVD(const KelVirDevice* other) const {
  return other != nullptr && m_dw64SectorLength == other->m_dw64SectorLength &&
         m_dwVDId == other->m_dwVDId && m_byRaidType == other->m_byRaidType &&
         m_nPosition == other->m_nPosition;
}

void KelVirDevice::GetVDConfSect(_VD_Config_sector_* out) const {
  if (out == nullptr) return;
  *out = m_pVDConfigInPD != nullptr ? *m_pVDConfigInPD : m_VDConfig;
}

void KelVirDevice::GetVDInfoLib(_zr_vd_info* info) const {
  if (info == nullptr) return;
  std::memset(info, 0, sizeof *info);
  const _VD_Config_sector_& blk = m_pVDConfigInPD != nullptr ? *m_pVDConfigInPD : m_VDConfig;
  std::memcpy(info->VDName, blk.VDName(), sizeof info->VDName);
  info->status = m_wdStatus;
  info->ctrler_index = m_byCtrlIndex;
  info->chan_index = m_byChanIndex;
  info->master = (m_pPD != nullptr && m_pPD->m_nSide == 0) ? 1 : 0;
  info->vd_index_on_pd = static_cast<uint32_t>(vd_index_on_pd);
  info->pd_index = static_cast<uint32_t>(m_nPDIndex);
  info->index = static_cast<uint32_t>(m_nIndex);
  info->bVDInRaid = 1;
  info->systemVD = systemVD;
  info->array_position = static_cast<uint16_t>(blk.ArrayPosition(blk.RaidType()));
  info->array_index = m_pArray != nullptr ? static_cast<uint16_t>(m_pArray->m_nIndex) : 255;
  info->Capacity = m_dw64SectorLength;
  info->StartSector = m_dw64StartSector;
}
