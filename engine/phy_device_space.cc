// KelPhyDevice: the split of a disk's usable space into VD areas, free areas (where new VDs
// may go) and protected free areas (kept for a running migration).
#include <algorithm>
#include <cstring>

#include "engine/phy_device.h"
#include "engine/vir_device.h"
#include "sharedlib/diag.h"

namespace {

void SortByStart(std::vector<_FRAGMENT_INFO>& f) {
  std::stable_sort(f.begin(), f.end(), [](const _FRAGMENT_INFO& a, const _FRAGMENT_INFO& b) {
    return a.dw64StartSector < b.dw64StartSector;
  });
}

}  // namespace

void KelPhyDevice::AnalyzePDFragInfo() {
  m_frags.clear();
  for (auto*& p : m_pFree) p = nullptr;
  m_nFreeNum = 0;
  m_nProtectFreeNum = 0;
  if (!IsConfigurable()) return;
  const bool conflict = HasConfConflict();
  if (m_byRplRole == KEL_RPL_TARGET && !conflict) return;

  const uint64_t total = UsableSectors();
  if (!m_bHasConfig) {
    m_frags.push_back({FRAG_TYPE_FREE, 0, total});
  } else {
    if (conflict) {
      // No VDs were built from a contradictory area, but every block its map names may
      // still hold data: each counts as used, and nothing of the disk is offered.
      int slots[MAX_VD_PER_PD];
      const int used = KelListUsedSlots(&m_PDConfigSector, slots);
      for (int i = 0; i < used; ++i) {
        const _VD_Config_sector_* blk = m_PDConfigSector.Vd(slots[i]);
        if (blk->U16(vdoff::kSignature) == SIGNATURE_VD)
          m_frags.push_back({FRAG_TYPE_VD, blk->StartSector(), blk->SectorLength()});
      }
    } else {
      // Areas from the older layout and disks in a replacement keep their space as it is.
      if (!m_bCurrentLayout || m_byRplRole != KEL_RPL_NONE) return;
      for (int i = 0; i < m_nVDNum; ++i) {
        const KelVirDevice* vd = m_pVDDev[i];
        if (vd != nullptr)
          m_frags.push_back({FRAG_TYPE_VD, vd->m_dw64StartSector, vd->m_dw64SectorLength});
      }
    }
    if (m_frags.empty() && !conflict) {
      m_frags.push_back({FRAG_TYPE_FREE, 0, total});
    } else {
      SortByStart(m_frags);
      std::vector<_FRAGMENT_INFO> all;
      uint64_t pos = 0;
      // An area from a disk can claim anything. Gaps are only ever looked for inside the
      // disk, and a VD that does not lie wholly inside it (or whose end wraps) means the
      // area cannot be trusted: none of the disk's space is offered then.
      bool outside = false;
      for (const _FRAGMENT_INFO& f : m_frags) {
        const uint64_t start = f.dw64StartSector;
        const uint64_t end = start + f.dw64SectorLength < start ? UINT64_MAX : start + f.dw64SectorLength;
        if (end > total) outside = true;
        const uint64_t gapEnd = std::min(start, total);
        if (gapEnd > pos) all.push_back({FRAG_TYPE_GAP, pos, gapEnd - pos});
        all.push_back(f);
        pos = std::max(pos, end);
      }
      if (total > pos) all.push_back({FRAG_TYPE_GAP, pos, total - pos});
      if (outside)
        KEL_PRINT(ZEP_DBG_ERROR, "A VD of disk[%d] lies outside the disk; no space offered\n",
                  m_nIndex);
      for (size_t i = 0; i + 1 < all.size(); ++i)
        if (all[i].fragType != FRAG_TYPE_VD && all[i + 1].fragType != FRAG_TYPE_VD)
          KEL_ASSERT_TEXT(
              "pFragInfoTmp1->fragType == FRAG_TYPE_VD && pFragInfoTmp2->fragType == FRAG_TYPE_VD");

      // Next to the first member of an array under migration, the space belongs to the
      // migration.
      bool protect = outside || conflict;
      if (!protect && m_nVDNum == 1 && m_pVDDev[0] != nullptr) {
        const KelVirDevice* vd = m_pVDDev[0];
        protect = (vd->Block()->Flags2() & KEL_VD_FLAG2_MIGRATE) != 0 && vd->m_nPosition == 0;
      }
      for (_FRAGMENT_INFO& f : all)
        if (f.fragType == FRAG_TYPE_GAP) f.fragType = protect ? FRAG_TYPE_PROTECT : FRAG_TYPE_FREE;
      m_frags = std::move(all);
    }
  }

  SortByStart(m_frags);
  uint64_t sum = 0;
  for (const _FRAGMENT_INFO& f : m_frags) sum += f.dw64SectorLength;
  if (sum != total) KEL_ASSERT_TEXT("dw64SizeTmp == dw64DeviceTotleSize");

  for (_FRAGMENT_INFO& f : m_frags) {
    if (f.fragType == FRAG_TYPE_PROTECT) ++m_nProtectFreeNum;
    if (f.fragType != FRAG_TYPE_FREE || m_nFreeNum >= MAX_FREE_SPACE_PER_PD) continue;
    // Largest first; an area goes before the first strictly smaller one.
    int at = 0;
    while (at < m_nFreeNum && m_pFree[at]->dw64SectorLength >= f.dw64SectorLength) ++at;
    for (int k = m_nFreeNum; k > at; --k) m_pFree[k] = m_pFree[k - 1];
    m_pFree[at] = &f;
    ++m_nFreeNum;
  }
}

int KelPhyDevice::GetFreeInfo(_FRAGMENT_INFO* out[MAX_FREE_SPACE_PER_PD]) const {
  for (int i = 0; i < m_nFreeNum; ++i)
    if (out[i] != nullptr) *out[i] = *m_pFree[i];
  return m_nFreeNum;
}

int KelPhyDevice::GetProtectFreeInfo(_zr_protect_free_info_t** out) const {
  int n = 0;
  for (const _FRAGMENT_INFO& f : m_frags) {
    if (f.fragType != FRAG_TYPE_PROTECT) continue;
    if (out[n] != nullptr) {
      out[n]->startSector = f.dw64StartSector;
      out[n]->length = f.dw64SectorLength;
    }
    ++n;
  }
  return n;
}

int KelPhyDevice::GetVDAreaBySize(_PD_Area_Addr_t* addr, uint64_t size) const {
  if (addr == nullptr || m_nVDNum >= MAX_VD_PER_PD || m_nFreeNum == 0) return 0;
  for (int i = 0; i < m_nFreeNum; ++i) {
    if (m_pFree[i]->dw64SectorLength < size) continue;
    addr->nPDIndex = static_cast<uint32_t>(m_nIndex);
    addr->dw64StartSector = m_pFree[i]->dw64StartSector;
    addr->SectorLengh = size;
    addr->wdMagicNum = m_wdMagicNum;
    return 1;
  }
  return 0;
}
