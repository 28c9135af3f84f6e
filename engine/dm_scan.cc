// KelDeviceManage: the first build of the model and every rebuild from a fresh scan.
#include <algorithm>

#include "driver/drv_interface.h"
#include "engine/ctrl_tree.h"
#include "engine/dev_manage.h"
#include "engine/kel_smart.h"
#include "engine/phy_device.h"
#include "engine/raid_array.h"
#include "engine/vir_device.h"
#include "sharedlib/diag.h"

namespace {
constexpr int kDriverProbes = 3;
}  // namespace

void KelDeviceManage::InitDataBeforeUpdateDM(bool first) {
  m_nDevNoCounter = 0;
  if (first) {
    m_nPDNum = m_nVDNum = m_nRaidArrayNum = 0;
    m_PDMap = m_VDMap = m_RAMap = 0;
  }
  if (m_pKelRPL == nullptr) {
    m_pKelRPL = new (std::nothrow) KelReplacePD(this);
    if (m_pKelRPL == nullptr) KEL_ASSERT_TEXT("m_pKelRPL");
  }
  if (m_pKelSMART == nullptr) {
    m_pKelSMART = new (std::nothrow) KelSMART(this);
    if (m_pKelSMART == nullptr) KEL_ASSERT_TEXT("m_pKelSMART");
  }
}

int KelDeviceManage::ScanHardware(int bLive) {
  KelDrvInterface* drv = Driver();
  if (drv == nullptr) {
    KEL_PRINT(ZEP_DBG_ERROR, "no driver context to scan\n");
    return 0;
  }
  std::vector<uint8_t> drvIndexes = drv->ControllerIndexes();
  int count = std::min<int>(static_cast<int>(drvIndexes.size()), MAX_CONTROLLERS);
  if (static_cast<int>(drvIndexes.size()) > MAX_CONTROLLERS)
    KEL_PRINT(ZEP_DBG_WARN, "%zu controllers reported, %d served\n", drvIndexes.size(),
              MAX_CONTROLLERS);
  if (bLive) m_nCtrlNum = count;
  for (int i = 0; i < count; ++i) {
    auto* ctrl = new KelSataController(this, drvIndexes[static_cast<size_t>(i)]);
    if (ctrl->ReadCtrlInfo() == 0) {
      delete ctrl;
      continue;
    }
    if ((bLive ? RegisterCtrl(ctrl) : RegisterCtrlTmp(ctrl)) == 0) {
      delete ctrl;
      continue;
    }
    ctrl->ScanCtrlHardware(bLive);
  }
  return 1;
}

int KelDeviceManage::ReadPDConfigData(int bLive) {
  if (bLive) {
    for (auto* pd : m_pPDs)
      if (pd != nullptr) pd->ReadPDConfigData();
  } else {
    for (auto* pd : m_pPDsTmp)
      if (pd != nullptr) pd->ReadPDConfigData();
  }
  return 1;
}

int KelDeviceManage::BuildVDArray(int bLive) {
  // A disk whose area contradicts itself is listed as a plain entry; the others still build.
  if (bLive) {
    for (auto* pd : m_pPDs)
      if (pd != nullptr) pd->BuildVDArray(bLive);
  } else {
    for (auto* pd : m_pPDsTmp)
      if (pd != nullptr) pd->BuildVDArray(bLive);
  }
  return 1;
}

void KelDeviceManage::ValidateArrays() {
  for (auto* ra : m_pRAs)
    if (ra != nullptr) ra->ValidateRaidArray();
}

void KelDeviceManage::ValidateArrayTmps() {
  for (auto* ra : m_pRAsTmp)
    if (ra != nullptr) ra->ValidateRaidArray();
}

void KelDeviceManage::AnalyzePDFragInfo() {
  for (auto* pd : m_pPDs)
    if (pd != nullptr) pd->AnalyzePDFragInfo();
}

int KelDeviceManage::InitDML() {
  if (!WLock()) {
    KEL_DM_ASSERT_TEXT("WLock()");
    return 0;
  }
  InitDataBeforeUpdateDM(true);
  int ok = ScanHardware(1) && ReadPDConfigData(1) && BuildVDArray(1);
  if (ok) {
    RPLCheckStatus();
    ValidateArrays();
    AnalyzePDFragInfo();
    SortArraysByName();
    RebuildMaps();
    ApplyStepStates();
    if (m_pKelSMART != nullptr) {
      m_pKelSMART->EnableSYSSMART();
      m_pKelSMART->GetSYSReturnStatus();
    }
  }
  WUnlock();
  return ok ? 1 : 0;
}

int KelDeviceManage::UpdateDML() {
  if (!WLock()) {
    KEL_DM_ASSERT_TEXT("WLock()");
    return ZR_LOCK_FAILED;
  }
  // Callers retry a rescan until it succeeds: a driver that does not answer (the model
  // kept as it was) must not look like a fresh model.
  const int rebuilt = UpdateDMWithoutLock();
  WUnlock();
  if (rebuilt == 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "rescan failed; the model is the one from before\n");
    return ZR_DRIVER_FAILED;
  }
  return ZR_OK;
}

int KelDeviceManage::UpdateDMWithoutLock() {
  InitDataBeforeUpdateDM(false);
  KelDrvInterface* drv = Driver();
  bool present = false;
  for (int i = 0; drv != nullptr && i < kDriverProbes && !present; ++i)
    present = drv->Drv_Init() == 0;
  if (!present) {
    KEL_PRINT(ZEP_DBG_ERROR, "RAID driver does not answer; model kept as it was\n");
    return 0;
  }
  drv->CheckSystemDiskRBOP();

  if (!(ScanHardware(0) && ReadPDConfigData(0) && BuildVDArray(0))) {
    DestroyTmp();
    return 0;
  }
  MergeCtrlArray();
  ValidateArrayTmps();
  MergePDArray();
  MergeRAArray();
  MergeVDArray();
  BuryAll();

  RPLCheckStatus();
  ValidateArrays();
  AnalyzePDFragInfo();
  SortArraysByName();
  ResetPDandRAMagicNum();
  ResetPDHealthFlag();
  ApplyStepStates();
  return 1;
}
