// KelDeviceManage: construction, the tables, slot search and registration.
#include "engine/dev_manage.h"

#include "driver/drv_interface.h"
#include "engine/ctrl_tree.h"
#include "engine/engine_util.h"
#include "engine/kel_smart.h"
#include "engine/phy_device.h"
#include "engine/raid_array.h"
#include "engine/vir_device.h"
#include "sharedlib/diag.h"

namespace {

template <typename T, size_t N>
int FirstFree(T* const (&table)[N]) {
  for (size_t i = 0; i < N; ++i)
    if (table[i] == nullptr) return static_cast<int>(i);
  return -1;
}

template <typename T, size_t N>
void DestroyTable(T* (&table)[N]) {
  for (auto*& p : table) {
    delete p;
    p = nullptr;
  }
}

}  // namespace

KelDeviceManage::KelDeviceManage() = default;

KelDeviceManage::~KelDeviceManage() {
  DestroyTmp();
  DestroyAll();
  delete m_pKelRPL;
  delete m_pKelSMART;
}

KelDrvInterface* KelDeviceManage::Driver() const { return KelDrvGlobal(); }

void KelDeviceManage::DestroyAll() {
  // Arrays and VDs point at disks, and disks at channels: release from the top down.
  for (auto*& p : m_pSortedRAs) p = nullptr;
  DestroyTable(m_pRAs);
  DestroyTable(m_pVDs);
  DestroyTable(m_pPDs);
  DestroyTable(m_pCtrl);
  m_nPDNum = m_nVDNum = m_nRaidArrayNum = 0;
  RebuildMaps();
}

void KelDeviceManage::DestroyTmp() {
  DestroyTable(m_pRAsTmp);
  DestroyTable(m_pVDsTmp);
  DestroyTable(m_pPDsTmp);
  DestroyTable(m_pCtrlTmp);
}

int KelDeviceManage::GetValidCtrlIndex() const { return m_pCtrl[0] == nullptr ? 0 : -1; }
int KelDeviceManage::GetValidPDIndex() const { return FirstFree(m_pPDs); }
int KelDeviceManage::GetValidVDIndex() const { return FirstFree(m_pVDs); }

int KelDeviceManage::CalArrayNum() const {
  int n = 0;
  for (auto* p : m_pRAs) n += p != nullptr;
  return n;
}

int KelDeviceManage::CalPDNum() const {
  int n = 0;
  for (auto* p : m_pPDs) n += p != nullptr;
  return n;
}

int KelDeviceManage::RegisterCtrl(KelSataController* ctrl) {
  if (ctrl == nullptr) {
    KEL_ASSERT_TEXT("pKelCtrl");
    return 0;
  }
  if (GetValidCtrlIndex() != 0) return 0;
  m_pCtrl[0] = ctrl;
  ctrl->SetCtrlIndex(0);
  return 1;
}

int KelDeviceManage::RegisterCtrlTmp(KelSataController* ctrl) {
  if (ctrl == nullptr) {
    KEL_ASSERT_TEXT("pKelCtrl");
    return 0;
  }
  if (m_pCtrlTmp[0] != nullptr) return 0;
  m_pCtrlTmp[0] = ctrl;
  ctrl->SetCtrlIndex(0);
  return 1;
}

int KelDeviceManage::RegisterPD(KelPhyDevice* pd) {
  if (pd == nullptr) return 0;
  int i = GetValidPDIndex();
  if (i < 0) {
    KEL_ASSERT_TEXT("nIndex < ZR_MAX_DEVICES_INDEX");
    return 0;
  }
  m_pPDs[i] = pd;
  pd->m_nIndex = i;
  pd->m_wdMagicNum = GenRandNum();
  pd->m_bNewRegistered = true;
  ++m_nPDNum;
  return 1;
}

int KelDeviceManage::RegisterPDTmp(KelPhyDevice* pd) {
  if (pd == nullptr) return 0;
  int i = FirstFree(m_pPDsTmp);
  if (i < 0) {
    KEL_ASSERT_TEXT("nIndex < TMP_MAX_PDS");
    return 0;
  }
  m_pPDsTmp[i] = pd;
  pd->m_nIndex = i;
  pd->m_wdMagicNum = GenRandNum();
  pd->m_bNewRegistered = true;
  return 1;
}

int KelDeviceManage::RegisterVD(KelVirDevice* vd) {
  if (vd == nullptr) {
    KEL_ASSERT_TEXT("pKelVD");
    return 0;
  }
  int i = GetValidVDIndex();
  if (i < 0) {
    KEL_ASSERT_TEXT("nIndex < MAX_VDS");
    return 0;
  }
  m_pVDs[i] = vd;
  vd->m_nIndex = i;
  vd->m_wdMagicNum = GenRandNum();
  ++m_nVDNum;
  return 1;
}

int KelDeviceManage::RegisterVDTmp(KelVirDevice* vd) {
  if (vd == nullptr) {
    KEL_ASSERT_TEXT("pKelVD");
    return 0;
  }
  int i = FirstFree(m_pVDsTmp);
  if (i < 0) {
    KEL_ASSERT_TEXT("nIndex < TMP_MAX_VDS");
    return 0;
  }
  m_pVDsTmp[i] = vd;
  vd->m_nIndex = i;
  vd->m_wdMagicNum = GenRandNum();
  return 1;
}

int KelDeviceManage::RegisterRA(KelRaidArray* ra) {
  if (ra == nullptr) {
    KEL_ASSERT_TEXT("pKelRA");
    return 0;
  }
  int i = FirstFree(m_pRAs);
  if (i < 0) {
    KEL_ASSERT_TEXT("nIndex < MAX_ARRAYS*2");
    return 0;
  }
  m_pRAs[i] = ra;
  ra->m_nIndex = i;
  ra->m_wdMagicNum = GenRandNum();
  ++m_nRaidArrayNum;
  return 1;
}

int KelDeviceManage::RegisterRATmp(KelRaidArray* ra) {
  if (ra == nullptr) {
    KEL_ASSERT_TEXT("pKelRA");
    return 0;
  }
  int i = FirstFree(m_pRAsTmp);
  if (i < 0) {
    KEL_ASSERT_TEXT("nIndex < TMP_MAX_ARRAYS");
    return 0;
  }
  m_pRAsTmp[i] = ra;
  ra->m_nIndex = i;
  ra->m_wdMagicNum = GenRandNum();
  return 1;
}

KelRaidArray* KelDeviceManage::FindArrayForVD(const KelVirDevice* vd, int bLive) const {
  if (bLive) {
    for (auto* ra : m_pRAs)
      if (ra != nullptr && !ra->IsPseudo() && ra->CheckVDBelongArray(vd)) return ra;
  } else {
    for (auto* ra : m_pRAsTmp)
      if (ra != nullptr && !ra->IsPseudo() && ra->CheckVDBelongArray(vd)) return ra;
  }
  return nullptr;
}

void KelDeviceManage::RebuildMaps() {
  m_PDMap = m_VDMap = m_RAMap = 0;
  for (int i = 0; i < MAX_PDS; ++i)
    if (m_pPDs[i] != nullptr) m_PDMap |= uint64_t{1} << i;
  for (int i = 0; i < MAX_VDS; ++i)
    if (m_pVDs[i] != nullptr) m_VDMap |= uint64_t{1} << i;
  for (int i = 0; i < MAX_ARRAY_SLOTS; ++i)
    if (m_pRAs[i] != nullptr) m_RAMap |= uint64_t{1} << i;
}
