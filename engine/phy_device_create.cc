// KelPhyDevice: what a disk offers a new array, whether it may join one, and which of its
// sectors are to be zeroed so that stale partition tables do not show through.
#include <algorithm>

#include "engine/create_array.h"
#include "engine/phy_device.h"
#include "engine/vir_device.h"
#include "sharedlib/diag.h"

int KelPhyDevice::GetFreeInfoValidCreate(KelFreeArea out[KEL_MAX_CREATE_AREAS]) const {
  const int freeSlots = MAX_VD_PER_PD - m_nVDNum;
  if (freeSlots <= 0) return 0;
  const int n = std::min({m_nFreeNum, freeSlots, KEL_MAX_CREATE_AREAS});
  for (int i = 0; i < n; ++i) out[i] = {m_pFree[i]->dw64StartSector, m_pFree[i]->dw64SectorLength};
  return n;
}

int KelPhyDevice::CreateValidatePD(uint8_t raidType, unsigned stripeKiB, bool keepData,
                                   bool* clearPart) const {
  *clearPart = false;
  if (!IsReadable() || (m_wdFlag & KEL_PD_FLAG_CONF_CONFLICT) != 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "disk %d: configuration unreadable or contradictory\n", m_nIndex);
    return ZR_PD_UNREADABLE;
  }
  if (KelLevelHasStripe(raidType) && !KelValidStripeKiB(stripeKiB)) {
    KEL_PRINT(ZEP_DBG_ERROR, "stripe of %u KiB refused\n", stripeKiB);
    return ZR_BAD_STRIPE;
  }
  if (m_nVDNum >= MAX_VD_PER_PD) {
    KEL_PRINT(ZEP_DBG_ERROR, "disk %d carries %d VDs already\n", m_nIndex, m_nVDNum);
    return ZR_NO_OBJECT;
  }
  if (keepData) {
    // The data to keep is the whole disk's; a disk split into VDs has none to offer.
    if (m_nVDNum != 0) {
      KEL_PRINT(ZEP_DBG_ERROR, "disk %d carries a VD; its data cannot be kept\n", m_nIndex);
      return ZR_BAD_PARAM;
    }
    return ZR_OK;
  }
  *clearPart = m_nVDNum == 0;
  return ZR_OK;
}

void KelPhyDevice::ClearPDPartitionData(std::vector<KelPartitionWipe>* out) const {
  const KelPartitionWipe base{CtrlDrvIndex(), CtrlInternalIndex(), DeviceNo(), 0};
  if (m_wdFlag & KEL_PD_FLAG_CLEAR_PARTITION) out->push_back(base);
  for (int slot = 0; slot < MAX_VD_PER_PD; ++slot) {
    if ((m_wdVDFlag[slot] & KEL_PD_FLAG_CLEAR_PARTITION) == 0) continue;
    KelPartitionWipe w = base;
    w.sector = m_PDConfigSector.Vd(slot)->StartSector();
    out->push_back(w);
  }
}
