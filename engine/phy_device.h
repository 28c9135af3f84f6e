// One disk as the engine sees it: identity and position from the driver, its configuration
// area (working and saved copy), the VDs that area describes, and its space split into VD
// areas, free areas and protected free areas.
#ifndef KEL_ENGINE_PHY_DEVICE_H
#define KEL_ENGINE_PHY_DEVICE_H

#include <cstdint>
#include <vector>

#include "driver/drv_info_records.h"
#include "engine/conf_area.h"
#include "engine/create_size.h"
#include "sharedlib/kel_mutex.h"

class KelDeviceManage;
class KelCtrlChannel;
class KelDeviceHub;
class KelVirDevice;
class KelMultiConfList;
class KelSataController;

// Fragment types of the space analysis.
constexpr uint8_t FRAG_TYPE_FREE = 0;
constexpr uint8_t FRAG_TYPE_VD = 1;
constexpr uint8_t FRAG_TYPE_PROTECT = 2;
constexpr uint8_t FRAG_TYPE_GAP = 3;  // only during the analysis

struct _FRAGMENT_INFO {
  uint8_t fragType;
  uint64_t dw64StartSector;
  uint64_t dw64SectorLength;
};

// Where a new VD goes.
struct _PD_Area_Addr_t {
  uint32_t nPDIndex;
  uint64_t dw64StartSector;
  uint64_t SectorLengh;
  uint16_t wdMagicNum;
};

// One sector to zero so that a stale partition table does not show through.
struct KelPartitionWipe {
  uint8_t ctrl;          // the controller's driver index
  uint8_t ctrlInternal;  // the controller's own index of the disk's port
  uint16_t device;
  uint64_t sector;
};

class KelPhyDevice {
 public:
  // `hubPort` is -1 for a disk attached directly to its channel position.
  KelPhyDevice(KelDeviceManage* dm, KelDeviceHub* hub, KelCtrlChannel* chan, int ctrlIndex,
               int chanIndex, int side, bool behindHub, int hubPort);
  virtual ~KelPhyDevice();
  KelPhyDevice(const KelPhyDevice&) = delete;
  KelPhyDevice& operator=(const KelPhyDevice&) = delete;

  // --- identity and position ---
  KelDeviceManage* m_pDM;
  KelCtrlChannel* m_pChan;
  KelDeviceHub* m_pHub;       // null when attached directly
  int m_nCtrlIndex;
  int m_nChanIndex;
  int m_nSide;                // 0 master, 1 slave
  bool m_bBehindHub;
  int m_nHubPort;             // -1 when direct
  _Device_Info m_DevInfo{};   // identity block from the driver
  int m_nDevNoBase = 0;       // from the scan's device-number counter
  int m_nIndex = -1;          // PD table slot
  uint16_t m_wdMagicNum = 0;
  uint8_t m_bySystemDisk = 0;  // 2 = holds the root file system
  uint16_t m_wdFlag = 0;       // KEL_PD_FLAG_* (sharedlib/raid_records.h)
  bool m_bNewRegistered = false;

  // --- replacement state ---
  uint8_t m_byRplRole = KEL_RPL_NONE;
  uint8_t m_byReplaceID = 0;
  bool m_bReplacing = false;

  // --- configuration area ---
  _PD_Config_sector_ m_PDConfigSector{};       // working copy
  _PD_Config_sector_ m_PDConfigSectorSaved{};  // as last read or written
  bool m_bHasConfig = false;
  bool m_bCurrentLayout = false;
  bool m_bReadFailed = false;

  // --- VDs on this disk ---
  int m_nVDNum = 0;
  // The first m_nVDNum entries, slot 0's VD first; the facade's "logic index" is the place
  // in this list.
  KelVirDevice* m_pVDDev[MAX_VD_PER_PD + 1] = {};
  uint16_t m_wdVDFlag[MAX_VD_PER_PD] = {};  // bit 4: clear the VD's partition data

  // --- space analysis ---
  std::vector<_FRAGMENT_INFO> m_frags;  // in first-sector order
  _FRAGMENT_INFO* m_pFree[MAX_FREE_SPACE_PER_PD] = {};  // into m_frags, largest first
  int m_nFreeNum = 0;
  int m_nProtectFreeNum = 0;

  // --- values remembered at the last merge for the magic-number rule ---
  bool m_bMatchedOld = false;
  int m_nOldVDNum = 0;
  uint16_t m_wdOldFlag = 0;
  uint8_t m_byOldRplRole = 0;
  bool m_bOldHealthBad = false;

  KelRWLock m_lock;  // kept for the record layout of the class; the engine does not use it

  // The device number the driver uses for this disk.
  uint16_t DeviceNo() const;
  // Controller-internal index of the disk's controller.
  uint8_t CtrlInternalIndex() const;
  // The disk's controller (null once the controller object is gone) and its number in the
  // driver's controller list.
  KelSataController* Controller() const;
  uint8_t CtrlDrvIndex() const;
  // The VD in a slot of the disk's configuration area, or null.
  KelVirDevice* VDInSlot(int slot) const;
  bool IsConfigurable() const;  // identity byte 210 is not 1
  bool IsReadable() const { return (m_wdFlag & KEL_PD_FLAG_UNREADABLE) == 0; }
  // The area contradicts itself: listed as a plain entry, its blocks' space kept as used.
  bool HasConfConflict() const { return (m_wdFlag & KEL_PD_FLAG_CONF_CONFLICT) != 0; }
  uint64_t Capacity() const { return m_DevInfo.Capacity(); }
  uint64_t UsableSectors() const;  // capacity minus the 32 reserved sectors

  int ReadPDInfo();
  void DoCheckSystemDisk();
  bool CheckSamePD(const KelPhyDevice* other) const;
  int ReadPDConfigData();
  int ParsePDConfigData();
  int BuildVDArray(int bLive);
  void AnalyzePDFragInfo();
  int GetFreeInfo(_FRAGMENT_INFO* out[MAX_FREE_SPACE_PER_PD]) const;
  int GetProtectFreeInfo(_zr_protect_free_info_t** out) const;
  int GetVDAreaBySize(_PD_Area_Addr_t* addr, uint64_t size) const;
  void GetPDInfoLib(_zr_device_info* info) const;
  void ResetPDMagicNum();
  int ExecSmartCmd(const uint8_t* cmd, uint8_t* data);
  // The block-device name under which the host shows this disk ("sdb"), empty if unknown.
  bool GetHostNodeName(char* out, int size) const;

  // --- array creation ---
  // The free areas a new VD may take, largest first: none when both slots are taken, and at
  // most as many as the disk has free slots. Returns their number.
  int GetFreeInfoValidCreate(KelFreeArea out[KEL_MAX_CREATE_AREAS]) const;
  // Whether the disk can take part in a new array of `raidType`: 205 unreadable or
  // contradictory configuration, 209 a stripe the level refuses, 200 both slots taken, 201
  // a disk that carries a VD while its data is to be kept. *clearPart tells whether its
  // partition table is to be wiped once the array is saved (an empty disk whose data is
  // not kept).
  int CreateValidatePD(uint8_t raidType, unsigned stripeKiB, bool keepData, bool* clearPart) const;
  // The sectors this disk's partition-wipe marks ask to zero: sector 0 of a marked disk,
  // the first sector of each marked VD slot.
  void ClearPDPartitionData(std::vector<KelPartitionWipe>* out) const;

  // --- replacement marks in the working area (phy_device_rpl.cc); the caller saves ---
  // The disk's role (KEL_RPL_*) and copy position in the PD sector and in every block in
  // use, with the blocks' replacement-in-progress flag.
  void UpdatePDConfRPLStatus(uint8_t role, uint64_t position);
  // The position up to which the copy has come, in the PD sector and every block in use.
  void SetPDRPLStartLBA(uint64_t position);
  // No role, no position, no flag: the disk is out of any replacement.
  void ClearPDRPLStatus();
  // End of the last VD area on the disk (0 without VDs).
  uint64_t LastVDEnd() const;
};

#endif
