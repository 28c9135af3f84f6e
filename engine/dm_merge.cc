// KelDeviceManage: merging a fresh scan into the live model. An object recognised as the
// same as a live one takes over its index and magic number, so that a client's view stays
// valid across rescans that change nothing it could see.
#include <cstring>

#include "engine/ctrl_tree.h"
#include "engine/dev_manage.h"
#include "engine/engine_util.h"
#include "engine/kel_smart.h"
#include "engine/phy_device.h"
#include "engine/raid_array.h"
#include "engine/vir_device.h"
#include "sharedlib/diag.h"

void KelDeviceManage::MergeCtrlArray() {
  int byCnt = 0;
  for (int i = 0; i < MAX_CONTROLLERS; ++i) {
    delete m_pCtrl[i];
    m_pCtrl[i] = m_pCtrlTmp[i];
    m_pCtrlTmp[i] = nullptr;
    if (m_pCtrl[i] != nullptr) ++byCnt;
  }
  if (byCnt != m_nCtrlNum) {
    KEL_ASSERT_TEXT("byCnt == m_nCtrlNum");
    m_nCtrlNum = byCnt;
  }
}

void KelDeviceManage::DropFreshPD(KelPhyDevice* pd) {
  for (int i = 0; i < pd->m_nVDNum; ++i) {
    KelVirDevice* vd = pd->m_pVDDev[i];
    if (vd == nullptr) continue;
    if (KelRaidArray* ra = vd->m_pArray) {
      for (auto*& slot : ra->m_arVDs)
        if (slot == vd) slot = nullptr;
      if (ra->m_byVDNum > 0) --ra->m_byVDNum;
      ra->ClearPDInarPDs(pd);
    }
    for (auto*& t : m_pVDsTmp)
      if (t == vd) t = nullptr;
    delete vd;
  }
  for (auto*& ra : m_pRAsTmp)
    if (ra != nullptr && ra->IsPseudo() && ra->m_arPDs[0] == pd) {
      delete ra;
      ra = nullptr;
    }
  delete pd;
}

void KelDeviceManage::MergePDArray() {
  KelPhyDevice* old[MAX_PDS];
  std::memcpy(old, m_pPDs, sizeof(old));

  bool placed[TMP_MAX_PDS] = {};
  for (int f = 0; f < TMP_MAX_PDS; ++f) {
    KelPhyDevice* pd = m_pPDsTmp[f];
    if (pd == nullptr) continue;
    for (int o = 0; o < MAX_PDS; ++o) {
      if (old[o] == nullptr || !pd->CheckSamePD(old[o])) continue;
      KelPhyDevice* was = old[o];
      pd->m_nIndex = o;
      pd->m_wdMagicNum = was->m_wdMagicNum;
      pd->m_bNewRegistered = false;
      pd->m_bMatchedOld = true;
      pd->m_nOldVDNum = was->m_nVDNum;
      pd->m_wdOldFlag = was->m_wdFlag;
      pd->m_byOldRplRole = was->m_byRplRole;
      pd->m_bOldHealthBad = (was->m_wdFlag & KEL_PD_FLAG_HEALTH_BAD) != 0;
      // Health is judged by SMART, not by the scan: the known disk keeps its verdict,
      // and so its flag word compares equal when nothing else changed.
      if (pd->m_bOldHealthBad) pd->m_wdFlag |= KEL_PD_FLAG_HEALTH_BAD;
      m_pPDs[o] = pd;
      m_buriedPDs.push_back(was);
      old[o] = nullptr;
      placed[f] = true;
      break;
    }
  }
  for (int f = 0; f < TMP_MAX_PDS; ++f) {
    KelPhyDevice* pd = m_pPDsTmp[f];
    if (pd == nullptr || placed[f]) continue;
    if (RegisterPD(pd) == 0) {
      DropFreshPD(pd);
      m_pPDsTmp[f] = nullptr;
      continue;
    }
    pd->m_bMatchedOld = false;
  }
  for (int o = 0; o < MAX_PDS; ++o)
    if (old[o] != nullptr) {
      m_buriedPDs.push_back(old[o]);
      m_pPDs[o] = nullptr;
    }
  for (auto*& p : m_pPDsTmp) p = nullptr;

  // The disks' VDs learn their disk's final index.
  for (auto* pd : m_pPDs) {
    if (pd == nullptr) continue;
    for (int i = 0; i < pd->m_nVDNum; ++i)
      if (pd->m_pVDDev[i] != nullptr) pd->m_pVDDev[i]->m_nPDIndex = pd->m_nIndex;
  }
  m_nPDNum = CalPDNum();
  RebuildMaps();
}

void KelDeviceManage::MergeRAArray() {
  KelRaidArray* old[MAX_ARRAY_SLOTS];
  std::memcpy(old, m_pRAs, sizeof(old));

  bool placed[TMP_MAX_ARRAYS] = {};
  for (int f = 0; f < TMP_MAX_ARRAYS; ++f) {
    KelRaidArray* ra = m_pRAsTmp[f];
    if (ra == nullptr) continue;
    for (int o = 0; o < MAX_ARRAY_SLOTS; ++o) {
      if (old[o] == nullptr || !ra->CheckSameArray(old[o])) continue;
      KelRaidArray* was = old[o];
      ra->m_nIndex = o;
      ra->m_wdMagicNum = was->m_wdMagicNum;
      ra->m_bMatchedOld = true;
      ra->m_wdPrevStatus = was->status;
      ra->m_byPrevVDNum = was->m_byVDNum;
      ra->m_bPrevNeedMigration = was->bNeedMigration;
      std::memcpy(ra->m_dwPrevVDGUID, was->m_dwVDGUID, sizeof(ra->m_dwPrevVDGUID));
      m_pRAs[o] = ra;
      m_buriedRAs.push_back(was);
      old[o] = nullptr;
      placed[f] = true;
      break;
    }
  }
  for (int f = 0; f < TMP_MAX_ARRAYS; ++f) {
    KelRaidArray* ra = m_pRAsTmp[f];
    if (ra == nullptr || placed[f]) continue;
    if (RegisterRA(ra) == 0) {
      // Its VDs stay listed under their disks, without an array.
      for (auto* vd : ra->m_arVDs)
        if (vd != nullptr) vd->m_pArray = nullptr;
      delete ra;
    }
  }
  for (int o = 0; o < MAX_ARRAY_SLOTS; ++o)
    if (old[o] != nullptr) {
      m_buriedRAs.push_back(old[o]);
      m_pRAs[o] = nullptr;
    }
  for (auto*& p : m_pRAsTmp) p = nullptr;
  m_nRaidArrayNum = CalArrayNum();
  RebuildMaps();
}

void KelDeviceManage::MergeVDArray() {
  KelVirDevice* old[MAX_VDS];
  std::memcpy(old, m_pVDs, sizeof(old));

  bool placed[TMP_MAX_VDS] = {};
  for (int f = 0; f < TMP_MAX_VDS; ++f) {
    KelVirDevice* vd = m_pVDsTmp[f];
    if (vd == nullptr) continue;
    for (int o = 0; o < MAX_VDS; ++o) {
      if (old[o] == nullptr || !vd->CheckSameVD(old[o])) continue;
      KelVirDevice* was = old[o];
      vd->m_nIndex = o;
      // A VD whose block the last save rewrote is not what the client saw.
      vd->m_wdMagicNum = was->m_bChanged ? GenRandNum() : was->m_wdMagicNum;
      m_pVDs[o] = vd;
      m_buriedVDs.push_back(was);
      old[o] = nullptr;
      placed[f] = true;
      break;
    }
  }
  for (int f = 0; f < TMP_MAX_VDS; ++f) {
    KelVirDevice* vd = m_pVDsTmp[f];
    if (vd == nullptr || placed[f]) continue;
    if (RegisterVD(vd) == 0) {
      // Keep the model consistent: the VD leaves its disk and its array.
      if (KelRaidArray* ra = vd->m_pArray)
        for (auto*& slot : ra->m_arVDs)
          if (slot == vd) slot = nullptr;
      if (KelPhyDevice* pd = vd->m_pPD) {
        int n = 0;
        for (int i = 0; i < pd->m_nVDNum; ++i)
          if (pd->m_pVDDev[i] != vd) pd->m_pVDDev[n++] = pd->m_pVDDev[i];
        for (int i = n; i < pd->m_nVDNum; ++i) pd->m_pVDDev[i] = nullptr;
        pd->m_nVDNum = n;
      }
      delete vd;
    }
  }
  for (int o = 0; o < MAX_VDS; ++o)
    if (old[o] != nullptr) {
      m_buriedVDs.push_back(old[o]);
      m_pVDs[o] = nullptr;
    }
  for (auto*& p : m_pVDsTmp) p = nullptr;
  int n = 0;
  for (auto* vd : m_pVDs) n += vd != nullptr;
  m_nVDNum = n;
  RebuildMaps();
}

void KelDeviceManage::BuryAll() {
  for (auto* ra : m_buriedRAs) delete ra;
  for (auto* vd : m_buriedVDs) delete vd;
  for (auto* pd : m_buriedPDs) delete pd;
  m_buriedRAs.clear();
  m_buriedVDs.clear();
  m_buriedPDs.clear();
}

void KelDeviceManage::ResetPDandRAMagicNum() {
  for (auto* pd : m_pPDs)
    if (pd != nullptr) pd->ResetPDMagicNum();
  for (auto* ra : m_pRAs) {
    if (ra == nullptr || !ra->m_bMatchedOld) continue;
    bool same = ra->m_byVDNum == ra->m_byPrevVDNum && ra->status == ra->m_wdPrevStatus &&
                ra->bNeedMigration == ra->m_bPrevNeedMigration &&
                std::memcmp(ra->m_dwVDGUID, ra->m_dwPrevVDGUID, sizeof(ra->m_dwVDGUID)) == 0;
    if (!same) ra->m_wdMagicNum = GenRandNum();
  }
}

void KelDeviceManage::ResetPDHealthFlag() {
  // Known disks inherited their flag during the merge; new ones are asked.
  for (auto* pd : m_pPDs) {
    if (pd == nullptr || pd->m_bMatchedOld) continue;
    uint8_t status = 0;
    KelSMART::EvaluateDisk(pd, &status);
  }
}
