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

  // --- state changes, all on the live block (vir_device_state.cc) ---
  // Each returns false, after a diagnostic, when the VD has no live block. The caller saves.
  // Drops this VD from its disk's area: map bit, count and block.
  bool DeleteMyselfInPDConf();
  // A mirror member that outlives its array: a single-disk span of its own (type 8, count 1,
  // member list = its own id, no name, array mark 1, no synchronisation state).
  bool ChangeVDTypeRaid1ToSpan();
  // Writes the 8 member ids and the checksums.
  bool SetMemberIds(const uint32_t ids[MAX_VD_PER_ARRAY]);
  // A mirror member gains a spare: count 3 and the extended member list.
  bool AddMirrorSpareVD(const uint32_t ids[MAX_VD_PER_ARRAY]);
  // A mirror drops its spare: count 2, third id 0 (RAID 1 only).
  bool DeleteMirrorSpr();
  // The survivor of a mirror repaired with its spare: position 0 of a two-member mirror and
  // the synchronisation source.
  bool ChangeMirrorVD2Src(const uint32_t ids[MAX_VD_PER_ARRAY]);
  // The spare that replaces the lost mirror: position 1 and the synchronisation target.
  bool ChangeMirrorSprVD2Mir(const uint32_t ids[MAX_VD_PER_ARRAY]);
  // A member of a RAID 5 repaired with a new disk: the new member list, and the member's
  // part in the rebuild (target: the new member; otherwise a source).
  bool UpdateRaid5VDConfByRepair(const uint32_t ids[MAX_VD_PER_ARRAY], bool target);
  // A member of a RAID 0+1 repaired with new disks: the new member list and its part in the
  // rebuild (KEL_REPAIR_ROLE_*).
  bool UpdateRaid01VDCOnfByRepair(const uint32_t ids[MAX_VD_PER_ARRAY], int role);
  // Synchronisation marks. A source carries side value 1 and flag bit 4; a target side value
  // 0, state bit 4 and flag bit 4. The Update forms record the position reached.
  bool MarkSyncSource();
  bool MarkSyncTarget();
  bool UpdateSrcSyncStatus(uint64_t pos);
  bool UpdateTgtSyncStatus(uint64_t pos);
  bool ClearSyncStatus();
  // Migration marks: the position reached (flag bit 5, byte 105 bit 1, position at 116), and
  // the end of a migration (both bits cleared, byte 115 |= 0x30, position 0).
  bool UpdateMigStatus(uint64_t pos);
  bool ClearMigStatus();
  // Clears the VD's dirty flag in the driver (sub-command 0x0E); false when it failed.
  bool ClearDeviceDirtyFlag2Drv() const;
};

// The part a member plays in the synchronisation that follows a repair.
constexpr int KEL_REPAIR_ROLE_KEEP = 0;    // not touched by the repair
constexpr int KEL_REPAIR_ROLE_SOURCE = 1;  // the copy the rebuild reads
constexpr int KEL_REPAIR_ROLE_TARGET = 2;  // the new member the rebuild writes

#endif
