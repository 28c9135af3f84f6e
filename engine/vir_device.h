// One area of one disk that belongs to one array. The VD keeps a copy of its configuration
// block as it was read and a pointer to the live block inside its disk's working area,
// through which every state change is written.
#ifndef KEL_ENGINE_VIR_DEVICE_H
#define KEL_ENGINE_VIR_DEVICE_H

#include <cstdint>

#include "engine/conf_area.h"

class KelDeviceManage;
class KelPhyDevice;
class KelRaidArray;

// VD status word bits (set by the array's validation).
constexpr uint16_t KEL_VD_STATUS_BIT0 = 1u << 0;
constexpr uint16_t KEL_VD_STATUS_NEED_SYNC = 1u << 1;
constexpr uint16_t KEL_VD_STATUS_BIT2 = 1u << 2;
constexpr uint16_t KEL_VD_STATUS_BIT3 = 1u << 3;
constexpr uint16_t KEL_VD_STATUS_NOT_SOURCE = 1u << 7;  // with bit 1: cannot be the survivor

class KelVirDevice {
 public:
  // `block` points into the disk's working area; its 256 bytes are copied as well.
  KelVirDevice(KelDeviceManage* dm, KelPhyDevice* pd, int slot, _VD_Config_sector_* block);

  KelDeviceManage* m_pDM;
  KelPhyDevice* m_pPD;        // the disk this VD lies on
  uint8_t m_byCtrlIndex = 0;  // the disk's controller and channel
  uint8_t m_byChanIndex = 0;
  int vd_index_on_pd;         // slot on the disk, 0 or 1
  int m_nIndex = -1;          // VD table slot
  uint16_t m_wdMagicNum = 0;
  int m_nPDIndex = -1;
  int m_nLogicNum = 0;        // 2 × the disk's device-number base + slot
  uint64_t m_dw64StartSector = 0;
  uint64_t m_dw64SectorLength = 0;
  uint32_t m_dwVDId = 0;
  uint8_t m_byRaidType = 0;
  int m_nPosition = 0;        // position in the array (see _VD_Config_sector_::ArrayPosition)
  uint8_t systemVD = 0;       // 2 when it holds the root file system
  uint16_t m_wdStatus = 0;    // KEL_VD_STATUS_* bits
  KelRaidArray* m_pArray = nullptr;
  _VD_Config_sector_ m_VDConfig;          // the block as read
  _VD_Config_sector_* m_pVDConfigInPD;    // the live block in the disk's working area
  bool m_bChanged = false;    // the last save rewrote this VD's block

  // The live block (what the engine changes and writes).
  _VD_Config_sector_* Block() { return m_pVDConfigInPD; }
  const _VD_Config_sector_* Block() const { return m_pVDConfigInPD; }
  bool IsVDValid() const;
  // Index of this VD in its array's VD table, or -1 when the block's position cannot be
  // placed there. RAID 0+1 blocks keep the position within a stripe half in bits 0..2 and
  // the half in bit 7; the second half follows the first in the table.
  int ArraySlot() const;
  // Same VD across scans: length, VD id, RAID type and position agree.
  bool CheckSameVD(const KelVirDevice* other) const;
  void GetVDConfSect(_VD_Config_sector_* out) const;
  void GetVDInfoLib(_zr_vd_info* info) const;
};

#endif
