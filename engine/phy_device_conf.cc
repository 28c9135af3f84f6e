// KelPhyDevice: reading the configuration area and turning it into VDs and arrays.
#include <cstring>

#include "driver/drv_interface.h"
#include "driver/raid_basic_op.h"
#include "engine/dev_manage.h"
#include "engine/phy_device.h"
#include "engine/raid_array.h"
#include "engine/vir_device.h"
#include "sharedlib/diag.h"

int KelPhyDevice::ReadPDConfigData() {
  if (m_bReadFailed || !IsConfigurable() || Controller() == nullptr) return 0;
  KelDrvInterface* drv = KelDrvGlobal();
  if (drv == nullptr) return 0;
  KelRaidBasicOp op(*drv);
  if (op.ReadConfigData(CtrlDrvIndex(), CtrlInternalIndex(), DeviceNo(), m_PDConfigSector.b,
                        sizeof(m_PDConfigSector.b)) == 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "configuration area of device %u unreadable\n", DeviceNo());
    m_bReadFailed = true;
    m_wdFlag |= KEL_PD_FLAG_UNREADABLE;
    m_bHasConfig = false;
    std::memset(&m_PDConfigSector, 0, sizeof(m_PDConfigSector));
    m_PDConfigSectorSaved = m_PDConfigSector;
    return 0;
  }
  ParsePDConfigData();
  m_PDConfigSectorSaved = m_PDConfigSector;
  return 1;
}

int KelPhyDevice::ParsePDConfigData() {
  KelConfParse r = ::ParsePDConfigData(&m_PDConfigSector);
  m_bHasConfig = r.hasConfig;
  m_bCurrentLayout = r.currentLayout;
  if (r.conflict) {
    KEL_PRINT(ZEP_DBG_ERROR, "configuration area of device %u contradicts itself; disk set aside\n",
              DeviceNo());
    m_wdFlag |= KEL_PD_FLAG_CONF_CONFLICT;
  } else {
    m_wdFlag &= static_cast<uint16_t>(~KEL_PD_FLAG_CONF_CONFLICT);
  }
  m_byRplRole = r.hasConfig ? m_PDConfigSector.PdRplRole() : KEL_RPL_NONE;
  return 1;
}

int KelPhyDevice::BuildVDArray(int bLive) {
  m_nVDNum = 0;
  for (auto*& v : m_pVDDev) v = nullptr;

  if (!m_bHasConfig || HasConfConflict()) {
    // Listed among the arrays as a plain disk, so that every disk has an entry. A disk
    // whose area contradicts itself is listed the same way (its flag word says why) and
    // takes no part in any array.
    auto* ra = new KelRaidPD(m_pDM, this);
    if (m_pDM->RegisterRAIn(ra, bLive) == 0) {
      delete ra;
      return 0;
    }
    return 1;
  }
  if ((m_wdFlag & KEL_PD_FLAG_UNREADABLE) != 0 || m_byRplRole == KEL_RPL_TARGET) return 1;

  // The area agrees with itself here: the count and the map name the same slots, and no
  // single block is a replacement target (KelAreaConflicts).
  int slots[MAX_VD_PER_PD];
  int used = KelListUsedSlots(&m_PDConfigSector, slots);

  KelDrvInterface* drv = KelDrvGlobal();
  for (int i = 0; i < used; ++i) {
    int slot = slots[i];
    _VD_Config_sector_* block = m_PDConfigSector.Vd(slot);
    auto* vd = new KelVirDevice(m_pDM, this, slot, block);
    vd->vd_index_on_pd = slot;
    vd->m_nPDIndex = m_nIndex;
    vd->m_byCtrlIndex = static_cast<uint8_t>(m_nCtrlIndex);
    vd->m_byChanIndex = static_cast<uint8_t>(m_nChanIndex);
    vd->m_nLogicNum = 2 * m_nDevNoBase + slot;
    vd->systemVD = drv != nullptr ? static_cast<uint8_t>(drv->IsSystemVD(
                                        CtrlInternalIndex(), DeviceNo(), static_cast<uint8_t>(slot)))
                                  : 0;
    if (m_pDM->RegisterVDIn(vd, bLive) == 0) {
      delete vd;
      continue;
    }
    m_pVDDev[m_nVDNum++] = vd;

    KelRaidArray* ra = m_pDM->FindArrayForVD(vd, bLive);
    if (ra == nullptr) {
      ra = KelNewRaidArray(m_pDM, block->RaidType());
      if (ra == nullptr) continue;
      if ((block->Flags() & KEL_VD_FLAG_NAME_VALID) != 0) ra->SetArrayName(block->ArrayName());
      uint32_t ids[MAX_VD_PER_ARRAY];
      for (int k = 0; k < MAX_VD_PER_ARRAY; ++k) ids[k] = block->MemberId(k);
      ra->SetVDGUID(ids);
      ra->m_byDiskNum = block->ArrayVDNum();
      ra->m_byVersion = m_bCurrentLayout ? KEL_FORMAT_CURRENT : KEL_FORMAT_ZRAID;
      if (m_pDM->RegisterRAIn(ra, bLive) == 0) {
        delete ra;
        continue;
      }
    }
    if (!ra->AddVD2arVDs(vd)) continue;
    vd->m_pArray = ra;
    if (!ra->CheckPDInArray(this)) ra->AddPD2arPDs(this);
  }
  return 1;
}
