// KelPhyDevice: identity and position from the driver, the disk info record, SMART commands.
#include "engine/phy_device.h"

#include <cstring>

#include "driver/drv_interface.h"
#include "driver/raid_basic_op.h"
#include "engine/ctrl_tree.h"
#include "engine/dev_manage.h"
#include "engine/engine_util.h"
#include "engine/partitions.h"
#include "engine/vir_device.h"
#include "sharedlib/diag.h"

namespace {

// Identity texts arrive in ATA order: the two bytes of every 16-bit word are swapped.
// Copies them back in reading order, without the trailing blanks, NUL-padded.
void CopyAtaText(char* dst, size_t dstSize, const uint8_t* src, size_t srcLen) {
  std::memset(dst, 0, dstSize);
  size_t n = srcLen < dstSize ? srcLen : dstSize;
  for (size_t i = 0; i + 1 < n; i += 2) {
    dst[i] = static_cast<char>(src[i + 1]);
    dst[i + 1] = static_cast<char>(src[i]);
  }
  while (n > 0 && (dst[n - 1] == ' ' || dst[n - 1] == '\0')) dst[--n] = '\0';
}

}  // namespace

KelPhyDevice::KelPhyDevice(KelDeviceManage* dm, KelDeviceHub* hub, KelCtrlChannel* chan,
                           int ctrlIndex, int chanIndex, int side, bool behindHub, int hubPort)
    : m_pDM(dm),
      m_pChan(chan),
      m_pHub(hub),
      m_nCtrlIndex(ctrlIndex),
      m_nChanIndex(chanIndex),
      m_nSide(side),
      m_bBehindHub(behindHub),
      m_nHubPort(hubPort) {}

KelPhyDevice::~KelPhyDevice() {
  // The channel or hub that found this disk must not keep pointing at it.
  if (m_pHub != nullptr) {
    if (m_nHubPort >= 0 && m_nHubPort < MAX_HUB_PORTS && m_pHub->m_pPD[m_nHubPort] == this)
      m_pHub->m_pPD[m_nHubPort] = nullptr;
  } else if (m_pChan != nullptr && m_nSide >= 0 && m_nSide < 2 && m_pChan->m_pPD[m_nSide] == this) {
    m_pChan->m_pPD[m_nSide] = nullptr;
  }
}

uint16_t KelPhyDevice::DeviceNo() const { return m_DevInfo.DeviceNo(); }

uint8_t KelPhyDevice::CtrlInternalIndex() const {
  KelSataController* c = Controller();
  return c != nullptr ? c->GetCtrlInterIndex() : 0;
}

KelSataController* KelPhyDevice::Controller() const {
  return m_pChan != nullptr ? m_pChan->m_pCtrl : nullptr;
}

uint8_t KelPhyDevice::CtrlDrvIndex() const {
  KelSataController* c = Controller();
  return c != nullptr ? static_cast<uint8_t>(c->GetDrvIndex()) : 0;
}

bool KelPhyDevice::IsConfigurable() const { return m_DevInfo.byDeviceType != 1; }

uint64_t KelPhyDevice::UsableSectors() const {
  uint64_t cap = Capacity();
  return cap > KEL_PD_RESERVED_SECTORS ? cap - KEL_PD_RESERVED_SECTORS : 0;
}

int KelPhyDevice::ReadPDInfo() {
  KelDrvInterface* drv = KelDrvGlobal();
  if (drv == nullptr || Controller() == nullptr) return 0;
  KelRaidBasicOp op(*drv);
  int position = m_nSide * 4 + (m_nHubPort < 0 ? 0 : m_nHubPort);
  return op.GetDeviceInformation(CtrlDrvIndex(), static_cast<uint8_t>(m_nChanIndex),
                                 static_cast<uint8_t>(position), &m_DevInfo) != 0
             ? 1
             : 0;
}

void KelPhyDevice::DoCheckSystemDisk() {
  KelDrvInterface* drv = KelDrvGlobal();
  m_bySystemDisk =
      drv != nullptr ? static_cast<uint8_t>(drv->IsSystemDisk(CtrlInternalIndex(), DeviceNo())) : 0;
}

bool KelPhyDevice::CheckSamePD(const KelPhyDevice* other) const {
  // Serial number, capacity and the word after it: what makes a disk the same disk
  // wherever it is plugged in.
  return other != nullptr &&
         std::memcmp(m_DevInfo.szSerialNumber, other->m_DevInfo.szSerialNumber, 32) == 0;
}

void KelPhyDevice::ResetPDMagicNum() {
  // A new disk got its magic at registration. A known one keeps its magic only while
  // nothing a client could have seen has changed.
  if (!m_bMatchedOld) return;
  if (m_nVDNum != m_nOldVDNum || m_wdFlag != m_wdOldFlag || m_byRplRole != m_byOldRplRole)
    m_wdMagicNum = GenRandNum();
}

KelVirDevice* KelPhyDevice::VDInSlot(int slot) const {
  for (int i = 0; i < m_nVDNum && i <= MAX_VD_PER_PD; ++i)
    if (m_pVDDev[i] != nullptr && m_pVDDev[i]->vd_index_on_pd == slot) return m_pVDDev[i];
  return nullptr;
}

void KelPhyDevice::GetPDInfoLib(_zr_device_info* info) const {
  std::memset(info, 0, sizeof(*info));
  CopyAtaText(info->serialNumber, sizeof(info->serialNumber), m_DevInfo.szSerialNumber,
              sizeof(m_DevInfo.szSerialNumber));
  CopyAtaText(info->firmwareRevison, sizeof(info->firmwareRevison), m_DevInfo.szFirmwareRev,
              sizeof(m_DevInfo.szFirmwareRev));
  CopyAtaText(info->modelName, sizeof(info->modelName), m_DevInfo.szModelName,
              sizeof(m_DevInfo.szModelName));
  info->cylinderNumber = m_DevInfo.Cylinders();
  info->headNumber = m_DevInfo.Heads();
  info->sectorNumberPerTrack = m_DevInfo.SectorsPerTrack();
  info->SetCapacity(Capacity());
  info->SetRealCapacity(Capacity());
  info->bytesPerSector = m_DevInfo.BytesPerSector();
  info->supportPIOTransferMode = m_DevInfo.byPIO;
  info->supportMultiDMAMode = m_DevInfo.byDMA;
  info->supportUltraDMAMode = m_DevInfo.byUDMA;
  info->currentTransferMode = m_DevInfo.byUDMA;
  info->ctrler_index = static_cast<uint8_t>(m_nCtrlIndex);
  info->chan_index = m_pChan != nullptr ? m_pChan->m_byValidIndex : 255;
  info->deviceRoot = m_pHub != nullptr ? static_cast<uint8_t>(m_pHub->GetDHType() + 1) : 0;
  info->PortNum = m_bBehindHub && m_nHubPort >= 0 ? static_cast<uint8_t>(m_nHubPort) : 255;
  info->master = m_nSide == 0 ? 1 : 0;
  info->index = static_cast<uint32_t>(m_nIndex);
  info->magicNum = m_wdMagicNum;
  info->vdNum = static_cast<uint8_t>(m_nVDNum);
  info->deviceType = m_DevInfo.byDeviceType;
  info->systemDisk = m_bySystemDisk;
  info->status = m_wdFlag;
  info->bConfigTarvo = m_bCurrentLayout ? 1 : 0;
  info->bDevInRaid = m_bHasConfig ? 1 : 0;
  info->array_index = 255;
  info->array_position = 255;
  info->VendorAcoustic = 255;
  info->CurrentAcoustic = 255;
  info->bInReplacement = m_byRplRole != KEL_RPL_NONE ? 1 : 0;
  info->bReplacedSrcPD = m_byRplRole == KEL_RPL_SOURCE ? 1 : 0;
  info->bInReplacing = m_bReplacing ? 1 : 0;
  info->replaceID = m_byReplaceID;
  info->byNCQMode = m_DevInfo.byNCQMode;
  info->bSupportNCQ = m_DevInfo.byNCQSupported;
  info->freeProtectNum = static_cast<uint8_t>(m_nProtectFreeNum);
}

int KelPhyDevice::ExecSmartCmd(const uint8_t* cmd, uint8_t* data) {
  if (cmd == nullptr) return ZR_BAD_PARAM;
  uint32_t len = 0;
  bool transfers = true;
  switch (cmd[0]) {
    case 0xD0:
    case 0xD1:
      len = 512;
      break;
    case 0xD5:
    case 0xD6:
      len = uint32_t{cmd[1]} * 512u;
      break;
    case 0xDA:
      len = 1;
      break;
    case 0xD2:
    case 0xD4:
    case 0xD8:
    case 0xD9:
      transfers = false;
      break;
    default:
      KEL_PRINT(ZEP_DBG_WARN, "SMART feature 0x%02X not supported\n", cmd[0]);
      return ZR_SMART_FAILED;
  }
  // Thresholds transfer a page like the values do, so they need a buffer as well.
  if (transfers && data == nullptr) {
    KEL_PRINT(ZEP_DBG_WARN, "SMART feature 0x%02X needs a data buffer\n", cmd[0]);
    return ZR_BAD_PARAM;
  }
  // The driver's length field is 16 bits: a log of 128 sectors or more cannot be described.
  if (len > 0xFFFFu) {
    KEL_PRINT(ZEP_DBG_WARN, "SMART log of %u sectors too long\n", cmd[1]);
    return ZR_BAD_PARAM;
  }
  if (!IsConfigurable()) {
    KEL_PRINT(ZEP_DBG_WARN, "SMART refused: disk %d is not a configurable disk\n", m_nIndex);
    return ZR_SMART_NOT_DISK;
  }
  KelDrvInterface* drv = KelDrvGlobal();
  if (drv == nullptr || Controller() == nullptr) {
    KEL_PRINT(ZEP_DBG_ERROR, "SMART refused: disk %d has no controller\n", m_nIndex);
    return ZR_DRIVER_FAILED;
  }
  KelRaidBasicOp op(*drv);
  uint8_t none[1] = {};
  if (op.ExecSmartCmdRBOP(CtrlDrvIndex(), CtrlInternalIndex(), DeviceNo(), cmd,
                          transfers ? data : none, static_cast<uint16_t>(len)) == 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "SMART feature 0x%02X failed on disk %d\n", cmd[0], m_nIndex);
    return ZR_SMART_FAILED;
  }
  return ZR_OK;
}

bool KelPhyDevice::GetHostNodeName(char* out, int size) const {
  if (out == nullptr || size <= 0) return false;
  out[0] = '\0';
  std::string node = KelFindDiskNode(this);
  if (node.empty() || static_cast<int>(node.size()) >= size) return false;
  std::memcpy(out, node.c_str(), node.size() + 1);
  return true;
}
