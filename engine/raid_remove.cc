// Taking an array off its disks. Only the disks' working areas change here; the device
// manager saves them and rebuilds the model.
#include <cstring>

#include "engine/phy_device.h"
#include "engine/raid_array.h"
#include "engine/vir_device.h"
#include "sharedlib/diag.h"

namespace {

// A mirror worth keeping: present, valid, on a usable disk, and not a copy that is (or was
// being) overwritten.
bool TrustworthyMirror(const KelVirDevice* vd) {
  if (vd == nullptr || !vd->IsVDValid()) return false;
  const uint16_t bad = KEL_VD_STATUS_BIT0 | KEL_VD_STATUS_BIT3 | KEL_VD_STATUS_NEED_SYNC |
                       KEL_VD_STATUS_NOT_SOURCE;
  return (vd->m_wdStatus & bad) == 0;
}

}  // namespace

int KelRaidArray::RemoveMyself() {
  if (IsPseudo()) {
    KEL_PRINT(ZEP_DBG_ERROR, "entry %d is a plain disk, not an array\n", m_nIndex);
    return ZR_BAD_PARAM;
  }

  if (m_byVersion == KEL_FORMAT_ZRAID) {
    // The older layout keeps one VD per disk and no slot bookkeeping worth preserving: the
    // whole area goes. Its striped levels leave partition tables that describe the array,
    // not the disk; a mirror member's partition table is the disk's own and stays.
    for (int i = 0; i < m_nPDNum; ++i) {
      KelPhyDevice* pd = m_arPDs[i];
      if (pd == nullptr) continue;
      std::memset(pd->m_PDConfigSector.b, 0, sizeof pd->m_PDConfigSector.b);
      if (m_byRaidType != KEL_RAID_1) pd->m_wdFlag |= KEL_PD_FLAG_CLEAR_PARTITION;
    }
    return ZR_OK;
  }

  // A mirror's data stays reachable through one of its members, turned into a span of its
  // own. When no mirror is trustworthy (both need synchronisation, so neither is known to
  // hold the whole data), no span is kept: a span would present half-written data as
  // good. Every VD is deleted then.
  KelVirDevice* keep = nullptr;
  if (m_byRaidType == KEL_RAID_1) {
    for (int slot = 0; slot < 2 && keep == nullptr; ++slot)
      if (TrustworthyMirror(m_arVDs[slot])) keep = m_arVDs[slot];
  }

  int rc = ZR_OK;
  for (KelVirDevice* vd : m_arVDs) {
    if (vd == nullptr) continue;
    bool ok = vd == keep ? vd->ChangeVDTypeRaid1ToSpan() : vd->DeleteMyselfInPDConf();
    if (!ok) rc = ZR_DRIVER_FAILED;
  }
  return rc;
}
