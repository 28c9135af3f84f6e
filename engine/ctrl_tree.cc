// Controller, channels and device hubs: read from the driver at every scan, they create the
// disks they find and hand them to the device manager.
#include "engine/ctrl_tree.h"

#include <cstring>

#include "driver/drv_interface.h"
#include "driver/raid_basic_op.h"
#include "engine/dev_manage.h"
#include "engine/phy_device.h"
#include "sharedlib/diag.h"

namespace {

// Reads a disk's identity at a channel position and registers it; the disk is destroyed
// when either fails. Returns the registered disk or null.
KelPhyDevice* CreateDisk(KelDeviceManage* dm, KelCtrlChannel* chan, KelDeviceHub* hub, int side,
                         int port, int bLive) {
  auto* pd = new KelPhyDevice(dm, hub, chan, chan->m_nCtrlIndex, chan->m_nChanIndex, side,
                              hub != nullptr, port);
  pd->m_nDevNoBase = dm->DevNoCounter() + (port < 0 ? 0 : port);
  if (pd->ReadPDInfo() == 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "identity of the disk at channel %d side %d port %d unreadable\n",
              chan->m_nChanIndex, side, port);
    delete pd;
    return nullptr;
  }
  pd->DoCheckSystemDisk();
  if (dm->RegisterPDIn(pd, bLive) == 0) {
    delete pd;
    return nullptr;
  }
  return pd;
}

}  // namespace

// ---------------------------------------------------------------- KelSataController

KelSataController::KelSataController(KelDeviceManage* dm, int drvIndex)
    : m_pDM(dm), m_nDrvIndex(drvIndex) {}

KelSataController::~KelSataController() {
  for (auto*& c : m_pChan) {
    delete c;
    c = nullptr;
  }
}

uint8_t KelSataController::GetCtrlInterIndex() const {
  return m_CtrlInfo.byCtlerIndex > 0 ? static_cast<uint8_t>(m_CtrlInfo.byCtlerIndex - 1) : 0;
}

int KelSataController::ReadCtrlInfo() {
  KelDrvInterface* drv = m_pDM->Driver();
  if (drv == nullptr) return 0;
  KelRaidBasicOp op(*drv);
  if (op.GetIDEControllerInformation(static_cast<uint8_t>(m_nDrvIndex), &m_CtrlInfo) == 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "controller %d: identity unreadable\n", m_nDrvIndex);
    return 0;
  }
  uint32_t cap = m_CtrlInfo.Capability();
  m_bSupportRAID5 = (cap >> 1) & 1;
  m_bSupportRAID6 = (cap >> 2) & 1;
  m_bCapability0 = cap & 1;
  m_bCapability3 = (cap >> 3) & 1;
  m_nChanNum = m_CtrlInfo.byChannelNum > MAX_CHANNELS ? MAX_CHANNELS : m_CtrlInfo.byChannelNum;
  return 1;
}

int KelSataController::ScanCtrlHardware(int bLive) {
  m_nValidChanNum = 0;
  for (int i = 0; i < m_nChanNum; ++i) {
    auto* chan = new KelCtrlChannel(m_pDM, this, m_nCtrlIndex, i);
    if (chan->ReadChannelInfo() == 0) {
      // A channel we cannot describe still occupies its device numbers.
      m_pDM->AdvanceDevNoCounter(8);
      delete chan;
      continue;
    }
    if (chan->IsUsable()) chan->m_byValidIndex = static_cast<uint8_t>(m_nValidChanNum++);
    m_pChan[i] = chan;
    chan->ScanChanHardWare(bLive);
  }
  return 1;
}

KelCtrlChannel* KelSataController::GetChanbyVIndex(int usableIndex) const {
  for (auto* c : m_pChan)
    if (c != nullptr && c->m_byValidIndex != 255 && c->m_byValidIndex == usableIndex) return c;
  return nullptr;
}

KelCtrlChannel* KelSataController::GetChan(int chanIndex) const {
  return (chanIndex >= 0 && chanIndex < MAX_CHANNELS) ? m_pChan[chanIndex] : nullptr;
}

void KelSataController::GetCtrlInfoLib(_zr_controller_info* info) const {
  std::memset(info, 0, sizeof(*info));
  info->deviceID = m_CtrlInfo.DeviceID();
  std::memcpy(info->chipName, m_CtrlInfo.szChipName, sizeof(info->chipName));
  std::memcpy(info->manufactory, m_CtrlInfo.szManufacturer, sizeof(m_CtrlInfo.szManufacturer));
  std::memcpy(info->manufactory + sizeof(m_CtrlInfo.szManufacturer), m_CtrlInfo.szManufacturerRest,
              sizeof(m_CtrlInfo.szManufacturerRest));
  info->support_PIO = m_CtrlInfo.byPIO;
  info->support_MutiDMA = m_CtrlInfo.byMultiDMA;
  info->support_UltraDMA = m_CtrlInfo.byUltraDMA;
  info->channel_Num = static_cast<uint8_t>(m_nValidChanNum);
  // Every controller of this family can migrate a stripe set.
  info->bSupportRaid0Migration = 1;
  info->bSupportRAID5 = m_bSupportRAID5 ? 1 : 0;
  info->bSupportRAID6 = m_bSupportRAID6 ? 1 : 0;
  info->index = static_cast<uint32_t>(m_nCtrlIndex);
}

// ---------------------------------------------------------------- KelCtrlChannel

KelCtrlChannel::KelCtrlChannel(KelDeviceManage* dm, KelSataController* ctrl, int ctrlIndex,
                               int chanIndex)
    : m_pDM(dm), m_pCtrl(ctrl), m_nCtrlIndex(ctrlIndex), m_nChanIndex(chanIndex) {}

KelCtrlChannel::~KelCtrlChannel() {
  // Disks belong to the manager's tables; only the hubs are ours.
  for (auto*& h : m_pHub) {
    delete h;
    h = nullptr;
  }
  for (auto* pd : m_pPD)
    if (pd != nullptr) pd->m_pChan = nullptr;
}

int KelCtrlChannel::ReadChannelInfo() {
  KelDrvInterface* drv = m_pDM->Driver();
  if (drv == nullptr) return 0;
  KelRaidBasicOp op(*drv);
  if (op.GetChannelInformation(static_cast<uint8_t>(m_pCtrl->GetDrvIndex()),
                               static_cast<uint8_t>(m_nChanIndex), &m_ChanInfo) == 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "channel %d: information unreadable\n", m_nChanIndex);
    return 0;
  }
  const uint8_t pos[2] = {m_ChanInfo.byMaster, m_ChanInfo.bySlave};
  for (int side = 0; side < 2; ++side) {
    m_bExist[side] = (pos[side] & 0x0F) == 1;
    m_bIsHub[side] = m_bExist[side] && ((pos[side] >> 4) & 0x0F) == 1;
  }
  return 1;
}

int KelCtrlChannel::ScanChanHardWare(int bLive) {
  if (!IsUsable()) {
    m_pDM->AdvanceDevNoCounter(8);
    return 1;
  }
  ScanSide(0, bLive);
  ScanSide(1, bLive);
  return 1;
}

void KelCtrlChannel::ScanSide(int side, int bLive) {
  if (!m_bExist[side]) return;
  if (m_bIsHub[side]) {
    auto* hub = new KelDeviceHub(m_pDM, this, m_nCtrlIndex, m_nChanIndex, side);
    if (hub->ReadDHInfo() == 0) {
      // The position is occupied all the same: its numbers stay taken.
      m_pDM->AdvanceDevNoCounter(4);
      delete hub;
      return;
    }
    m_pHub[side] = hub;
    hub->ScanDHHardWare(bLive);
    return;
  }
  m_pPD[side] = CreateDisk(m_pDM, this, nullptr, side, -1, bLive);
  m_pDM->AdvanceDevNoCounter(4);
}

KelPhyDevice* KelCtrlChannel::GetPD(int side, int port) const {
  if (side < 0 || side > 1) return nullptr;
  if (m_pHub[side] != nullptr) return m_pHub[side]->GetPD(port);
  return port == 0 || port < 0 ? m_pPD[side] : nullptr;
}

void KelCtrlChannel::GetChanInfoLib(_zr_channel_info* info) const {
  std::memset(info, 0, sizeof(*info));
  info->index = m_byValidIndex;
  info->ctrlerIndex = static_cast<uint32_t>(m_nCtrlIndex);
  info->io_Base = m_ChanInfo.IoBase();
  info->control_Base = m_ChanInfo.ControlBase();
  info->BusMaster_Base = m_ChanInfo.BusMasterBase();
  info->cableType = m_ChanInfo.byCableType;
  auto kind = [this](int side) {
    if (!m_bExist[side]) return KEL_CHAN_POS_EMPTY;
    return m_bIsHub[side] ? KEL_CHAN_POS_HUB : KEL_CHAN_POS_DISK;
  };
  info->bMaster_Exist = kind(0);
  info->bSlave_Exist = kind(1);
  info->bSlaveValid = 1u - (m_ChanInfo.byFlags & 1u);
}

// ---------------------------------------------------------------- KelDeviceHub

KelDeviceHub::KelDeviceHub(KelDeviceManage* dm, KelCtrlChannel* chan, int ctrlIndex,
                           int chanIndex, int side)
    : m_pDM(dm), m_pChan(chan), m_nCtrlIndex(ctrlIndex), m_nChanIndex(chanIndex), m_nSide(side) {}

KelDeviceHub::~KelDeviceHub() {
  for (auto* pd : m_pPD)
    if (pd != nullptr) {
      pd->m_pHub = nullptr;
      pd->m_pChan = nullptr;
    }
}

int KelDeviceHub::ReadDHInfo() {
  KelDrvInterface* drv = m_pDM->Driver();
  if (drv == nullptr) return 0;
  KelRaidBasicOp op(*drv);
  if (op.GetDeviceHubInformation(static_cast<uint8_t>(m_pChan->m_pCtrl->GetDrvIndex()),
                                 static_cast<uint8_t>(m_nChanIndex), static_cast<uint8_t>(m_nSide),
                                 &m_DHInfo) == 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "device hub at channel %d side %d: information unreadable\n",
              m_nChanIndex, m_nSide);
    return 0;
  }
  return 1;
}

int KelDeviceHub::ScanDHHardWare(int bLive) {
  // A hub has four ports; a channel side's positions are its side × 4 + port, so a bit of 4
  // or above would name a position of the other side (or none). Only bits 0..3 count, also
  // where the reported device count is compared with the map.
  const uint32_t kPortBits = (1u << MAX_DEVICES_PER_DEVICEHUB) - 1;
  uint32_t map = m_DHInfo.PortMap() & kPortBits;
  if ((m_DHInfo.PortMap() & ~kPortBits) != 0)
    KEL_PRINT(ZEP_DBG_WARN, "device hub at channel %d side %d: port map 0x%08X beyond port 3"
              " ignored\n", m_nChanIndex, m_nSide, m_DHInfo.PortMap());
  uint32_t nTmp = static_cast<uint32_t>(__builtin_popcount(map));
  if (m_DHInfo.DeviceNum() != nTmp) KEL_ASSERT_TEXT("m_DHInfo.nDeviceNumber == nTmp");
  for (int port = 0; port < MAX_DEVICES_PER_DEVICEHUB; ++port) {
    if ((map & (1u << port)) == 0) continue;
    m_pPD[port] = CreateDisk(m_pDM, m_pChan, this, m_nSide, port, bLive);
  }
  m_pDM->AdvanceDevNoCounter(4);
  return 1;
}

KelPhyDevice* KelDeviceHub::GetPD(int port) const {
  return (port >= 0 && port < MAX_HUB_PORTS) ? m_pPD[port] : nullptr;
}

void KelDeviceHub::GetDHInfoLib(_zr_device_hub_info_t* info) const {
  std::memset(info, 0, sizeof(*info));
  std::memcpy(info->DeviceHubName, m_DHInfo.szName, sizeof(info->DeviceHubName));
  info->controllerindex = static_cast<uint8_t>(m_nCtrlIndex);
  info->channelindex = static_cast<uint8_t>(m_nChanIndex);
  info->ismaster = m_nSide == 0 ? 1 : 0;
  info->hubType = static_cast<uint8_t>(m_DHInfo.HubType());
  info->deviceVenderID = m_DHInfo.VendorID();
  info->revisionInfo = m_DHInfo.Revision();
  info->nValidDeviceNum = static_cast<uint16_t>(m_DHInfo.DeviceNum());
  info->nMaxDeviceNum = m_DHInfo.MaxDeviceNum();
}
