// SMART evaluation of the disks.
#include "engine/kel_smart.h"

#include "engine/dev_manage.h"
#include "engine/engine_defs.h"
#include "engine/phy_device.h"
#include "sharedlib/diag.h"

namespace {

constexpr uint8_t kSmartReadValues = 0xD0;
constexpr uint8_t kSmartReadThresholds = 0xD1;
constexpr uint8_t kSmartEnable = 0xD8;
constexpr uint8_t kSmartReturnStatus = 0xDA;
constexpr int kAttrEntries = 30;
constexpr int kAttrFirst = 2;
constexpr int kAttrSize = 12;

}  // namespace

int KelSMART::Lookup(_Index_Plus_t ref, KelPhyDevice** pd) const {
  if (ref.nIndex < 0 || ref.nIndex >= MAX_PDS || m_pDM->PD(ref.nIndex) == nullptr) {
    KEL_PRINT(ZEP_DBG_WARN, "no disk at index %d\n", ref.nIndex);
    return ZR_NO_OBJECT;
  }
  *pd = m_pDM->PD(ref.nIndex);
  if ((*pd)->m_wdMagicNum != ref.wdMagicNum) {
    KEL_PRINT(ZEP_DBG_WARN, "disk %d: magic %u is stale\n", ref.nIndex, ref.wdMagicNum);
    return ZR_MAGIC_MISMATCH;
  }
  return ZR_OK;
}

int KelSMART::EvaluateDisk(KelPhyDevice* pd, uint8_t* status) {
  uint8_t cmd[2] = {kSmartReturnStatus, 0};
  uint8_t result = 0;
  int rc = pd->ExecSmartCmd(cmd, &result);
  if (rc != ZR_OK) return rc;
  if (result != 0) {
    *status = KEL_SMART_DISK_FAILING;
  } else {
    uint8_t values[512], thresholds[512];
    cmd[0] = kSmartReadValues;
    if ((rc = pd->ExecSmartCmd(cmd, values)) != ZR_OK) return rc;
    cmd[0] = kSmartReadThresholds;
    if ((rc = pd->ExecSmartCmd(cmd, thresholds)) != ZR_OK) return rc;
    *status = KEL_SMART_HEALTHY;
    for (int i = 0; i < kAttrEntries; ++i) {
      const uint8_t current = values[kAttrFirst + i * kAttrSize + 3];
      const uint8_t threshold = thresholds[kAttrFirst + i * kAttrSize + 1];
      // A current value of 0 marks an unused entry.
      if (current != 0 && current < threshold) {
        *status = KEL_SMART_BELOW_THRESHOLD;
        break;
      }
    }
  }
  if (*status != KEL_SMART_HEALTHY) pd->m_wdFlag |= KEL_PD_FLAG_HEALTH_BAD;
  return ZR_OK;
}

void KelSMART::EnableSYSSMART() {
  uint8_t cmd[2] = {kSmartEnable, 0};
  for (int i = 0; i < MAX_PDS; ++i)
    if (KelPhyDevice* pd = m_pDM->PD(i)) pd->ExecSmartCmd(cmd, nullptr);
}

int KelSMART::GetSYSReturnStatus() {
  bool bad = false;
  for (int i = 0; i < MAX_PDS; ++i) {
    KelPhyDevice* pd = m_pDM->PD(i);
    uint8_t status = KEL_SMART_HEALTHY;
    if (pd != nullptr && EvaluateDisk(pd, &status) == ZR_OK && status != KEL_SMART_HEALTHY)
      bad = true;
  }
  return bad ? ZR_SMART_BAD : ZR_OK;
}

int KelSMART::GetPDHealthStatus(_Index_Plus_t ref, uint8_t* status) {
  if (status == nullptr) return ZR_BAD_PARAM;
  KelPhyDevice* pd = nullptr;
  int rc = Lookup(ref, &pd);
  return rc != ZR_OK ? rc : EvaluateDisk(pd, status);
}

int KelSMART::GetPDSmartTH(_Index_Plus_t ref, uint8_t* page512) {
  if (page512 == nullptr) return ZR_BAD_PARAM;
  KelPhyDevice* pd = nullptr;
  int rc = Lookup(ref, &pd);
  uint8_t cmd[2] = {kSmartReadThresholds, 0};
  return rc != ZR_OK ? rc : pd->ExecSmartCmd(cmd, page512);
}

int KelSMART::GetPDSmartData(_Index_Plus_t ref, uint8_t* page512) {
  if (page512 == nullptr) return ZR_BAD_PARAM;
  KelPhyDevice* pd = nullptr;
  int rc = Lookup(ref, &pd);
  uint8_t cmd[2] = {kSmartReadValues, 0};
  return rc != ZR_OK ? rc : pd->ExecSmartCmd(cmd, page512);
}

int KelSMART::ExecPDSmartCmd(_Index_Plus_t ref, uint8_t* cmd, uint8_t* data) {
  if (cmd == nullptr) return ZR_BAD_PARAM;
  KelPhyDevice* pd = nullptr;
  int rc = Lookup(ref, &pd);
  return rc != ZR_OK ? rc : pd->ExecSmartCmd(cmd, data);
}
