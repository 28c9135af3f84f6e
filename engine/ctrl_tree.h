// The upper levels of the device tree, rebuilt from the driver at every scan: the one
// controller, its channels, and the port multipliers (device hubs) on channel positions.
// They create the disks they find and register them with the device manager; each level
// fills its own info record for the facade.
#ifndef KEL_ENGINE_CTRL_TREE_H
#define KEL_ENGINE_CTRL_TREE_H

#include <cstdint>

#include "driver/drv_info_records.h"
#include "engine/engine_defs.h"

class KelDeviceManage;
class KelCtrlChannel;
class KelDeviceHub;
class KelPhyDevice;

class KelSataController {
 public:
  // `drvIndex` is the controller's number in the driver's controller list.
  KelSataController(KelDeviceManage* dm, int drvIndex);
  ~KelSataController();
  KelSataController(const KelSataController&) = delete;
  KelSataController& operator=(const KelSataController&) = delete;

  // Sub-command 0x01: capability flags and channel count (at most MAX_CHANNELS).
  int ReadCtrlInfo();
  // Creates and scans every channel. 1 on success.
  int ScanCtrlHardware(int bLive);
  void GetCtrlInfoLib(_zr_controller_info* info) const;

  KelCtrlChannel* GetChanbyVIndex(int usableIndex) const;
  KelCtrlChannel* GetChan(int chanIndex) const;
  int GetValidChanNum() const { return m_nValidChanNum; }
  int GetCtrlIndex() const { return m_nCtrlIndex; }
  void SetCtrlIndex(int index) { m_nCtrlIndex = index; }
  int GetDrvIndex() const { return m_nDrvIndex; }
  // The controller's own index, which disk-addressing sub-commands carry.
  uint8_t GetCtrlInterIndex() const;
  int ChanNum() const { return m_nChanNum; }

  KelDeviceManage* m_pDM;
  int m_nCtrlIndex = 0;  // slot in the manager (always 0)
  int m_nDrvIndex;
  _Controller_Info m_CtrlInfo{};
  int m_nChanNum = 0;       // channels reported, capped
  int m_nValidChanNum = 0;  // usable channels numbered so far
  // Capability word bits; 0 and 3 are kept but reported nowhere.
  bool m_bSupportRAID5 = false;  // bit 1
  bool m_bSupportRAID6 = false;  // bit 2
  bool m_bCapability0 = false;   // bit 0
  bool m_bCapability3 = false;   // bit 3
  KelCtrlChannel* m_pChan[MAX_CHANNELS] = {};
};

class KelCtrlChannel {
 public:
  KelCtrlChannel(KelDeviceManage* dm, KelSataController* ctrl, int ctrlIndex, int chanIndex);
  ~KelCtrlChannel();
  KelCtrlChannel(const KelCtrlChannel&) = delete;
  KelCtrlChannel& operator=(const KelCtrlChannel&) = delete;

  int ReadChannelInfo();  // sub-command 0x02
  bool IsUsable() const { return (m_ChanInfo.byFlags & 0x04) == 0; }
  // Creates the hubs and disks on both positions. 1 on success.
  int ScanChanHardWare(int bLive);
  void GetChanInfoLib(_zr_channel_info* info) const;

  // The disk directly on a side, or the disk behind the side's hub at `port`.
  KelPhyDevice* GetPD(int side, int port) const;
  KelDeviceHub* GetHub(int side) const { return m_pHub[side]; }

  KelDeviceManage* m_pDM;
  KelSataController* m_pCtrl;
  int m_nCtrlIndex;
  int m_nChanIndex;
  _Channel_Info m_ChanInfo{};
  uint8_t m_byValidIndex = 255;  // position among usable channels
  bool m_bExist[2] = {};         // master, slave
  bool m_bIsHub[2] = {};
  KelPhyDevice* m_pPD[2] = {};
  KelDeviceHub* m_pHub[2] = {};

 private:
  void ScanSide(int side, int bLive);
};

class KelDeviceHub {
 public:
  KelDeviceHub(KelDeviceManage* dm, KelCtrlChannel* chan, int ctrlIndex, int chanIndex, int side);
  ~KelDeviceHub();
  KelDeviceHub(const KelDeviceHub&) = delete;
  KelDeviceHub& operator=(const KelDeviceHub&) = delete;

  int ReadDHInfo();  // sub-command 0x03
  // Creates a disk per occupied port. 1 on success.
  int ScanDHHardWare(int bLive);
  void GetDHInfoLib(_zr_device_hub_info_t* info) const;
  KelPhyDevice* GetPD(int port) const;
  uint32_t GetDHType() const { return m_DHInfo.HubType(); }

  KelDeviceManage* m_pDM;
  KelCtrlChannel* m_pChan;
  int m_nCtrlIndex;
  int m_nChanIndex;
  int m_nSide;
  _DeviceHub_Info m_DHInfo{};
  KelPhyDevice* m_pPD[MAX_HUB_PORTS] = {};
};

#endif
