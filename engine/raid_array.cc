// KelRaidArray: what every level shares - assembly from VDs, identity across scans, the
// status word, the migration state and the common part of the info record.
#include "engine/raid_array.h"

#include <cstring>
#include <new>

#include "engine/phy_device.h"
#include "engine/vir_device.h"
#include "sharedlib/diag.h"

KelRaidArray::KelRaidArray(KelDeviceManage* dm, uint8_t raidType)
    : m_pDM(dm), m_byRaidType(raidType) {}

KelRaidArray::~KelRaidArray() {}

KelVirDevice* KelRaidArray::FirstVD() const {
  for (KelVirDevice* vd : m_arVDs)
    if (vd != nullptr) return vd;
  return nullptr;
}

const _VD_Config_sector_* KelRaidArray::FirstBlock() const {
  KelVirDevice* vd = FirstVD();
  return vd != nullptr ? vd->Block() : nullptr;
}

uint64_t KelRaidArray::GetArrayVDSize() const {
  const _VD_Config_sector_* blk = FirstBlock();
  return blk != nullptr ? blk->LengthCopy() : 0;
}

int KelRaidArray::ExpectedSlots() const {
  return m_byDiskNum < MAX_VD_PER_ARRAY ? m_byDiskNum : MAX_VD_PER_ARRAY;
}

bool KelRaidArray::AddVD2arVDs(KelVirDevice* vd) {
  if (vd == nullptr) {
    KEL_ASSERT_TEXT("pKelVD");
    return false;
  }
  // The position comes from a disk: never trust it as an index before checking it.
  int slot = vd->ArraySlot();
  if (slot < 0 || slot >= MAX_VD_PER_ARRAY) {
    KEL_ASSERT_TEXT("byVDIndex <= MAX_VD_PER_ARRAY");
    return false;
  }
  if (m_arVDs[slot] != nullptr) {
    KEL_ASSERT_TEXT("arVDs[byVDIndex] == NULL");
    return false;
  }
  m_arVDs[slot] = vd;
  vd->m_pArray = this;
  ++m_byVDNum;
  if (m_byDiskNum == 0 && vd->Block() != nullptr) m_byDiskNum = vd->Block()->ArrayVDNum();
  return true;
}

void KelRaidArray::AddPD2arPDs(KelPhyDevice* pd) {
  if (pd == nullptr || CheckPDInArray(pd)) return;
  if (m_nPDNum >= MAX_VD_PER_ARRAY) {
    KEL_ASSERT_TEXT("m_nPDNum < MAX_VD_PER_ARRAY");
    return;
  }
  m_arPDs[m_nPDNum++] = pd;
}

bool KelRaidArray::CheckPDInArray(const KelPhyDevice* pd) const {
  for (int i = 0; i < m_nPDNum; ++i)
    if (m_arPDs[i] == pd) return true;
  return false;
}

void KelRaidArray::ClearPDInarPDs(const KelPhyDevice* pd) {
  int out = 0;
  for (int i = 0; i < m_nPDNum; ++i)
    if (m_arPDs[i] != pd) m_arPDs[out++] = m_arPDs[i];
  for (int i = out; i < m_nPDNum; ++i) m_arPDs[i] = nullptr;
  m_nPDNum = out;
}

bool KelRaidArray::CheckVDBelongArray(const KelVirDevice* vd) const {
  if (vd == nullptr || IsPseudo()) return false;
  const _VD_Config_sector_* theirs = vd->Block();
  if (theirs == nullptr || theirs->RaidType() != m_byRaidType) return false;
  const _VD_Config_sector_* mine = FirstBlock();
  uint8_t count = mine != nullptr ? mine->ArrayVDNum() : m_byDiskNum;
  if (count == 0 || theirs->ArrayVDNum() != count) return false;
  int n = count < MAX_VD_PER_ARRAY ? count : MAX_VD_PER_ARRAY;
  for (int i = 0; i < n; ++i) {
    uint32_t id = mine != nullptr ? mine->MemberId(i) : m_dwVDGUID[i];
    if (id != theirs->MemberId(i)) return false;
  }
  // Two arrays can list the same ids: a mirror member turned into a span keeps its id, and
  // an array created again on the same disks and slots gets the same ids. The array mark
  // tells them apart whenever both blocks carry one; without that, a save torn by a power
  // loss half-way through a re-creation would join old and new members into one array
  // that looks healthy.
  if (mine != nullptr && mine->ArrayMark() != 0 && theirs->ArrayMark() != 0 &&
      mine->ArrayMark() != theirs->ArrayMark())
    return false;
  return true;
}

bool KelRaidArray::CheckSameArray(const KelRaidArray* other) const {
  if (other == nullptr) return false;
  if (IsPseudo() || other->IsPseudo()) {
    // Plain disks have no member ids; they are the same entry when they list the same disk.
    if (!IsPseudo() || !other->IsPseudo()) return false;
    const KelPhyDevice* a = m_arPDs[0];
    const KelPhyDevice* b = other->m_arPDs[0];
    return a != nullptr && b != nullptr && (a == b || a->CheckSamePD(b));
  }
  if (m_byRaidType != other->m_byRaidType) return false;
  if (m_byRaidType == KEL_RAID_1) {
    // Only the two mirrors count, so adding or removing a spare keeps the identity.
    const uint32_t* a = m_dwVDGUID;
    const uint32_t* b = other->m_dwVDGUID;
    return (a[0] == b[0] && a[1] == b[1]) || (a[0] == b[1] && a[1] == b[0]);
  }
  return std::memcmp(m_dwVDGUID, other->m_dwVDGUID, sizeof m_dwVDGUID) == 0;
}

void KelRaidArray::SetArrayName(const uint8_t* name24) {
  if (name24 == nullptr) return;
  std::memcpy(m_szName, name24, sizeof m_szName);
}

void KelRaidArray::SetVDGUID(const uint32_t ids[MAX_VD_PER_ARRAY]) {
  if (ids == nullptr) return;
  std::memcpy(m_dwVDGUID, ids, sizeof m_dwVDGUID);
}

bool KelRaidArray::IsMemberMissing(int slot) const {
  if (slot < 0 || slot >= MAX_VD_PER_ARRAY) return true;
  const KelVirDevice* vd = m_arVDs[slot];
  return vd == nullptr || (vd->m_wdStatus & KEL_VD_STATUS_BIT3) != 0;
}

int KelRaidArray::GetRAMigStatus() const {
  if (nSyncMigReplacing == KEL_TASK_MIGRATE) return KEL_SYNC_RUNNING;
  if (!bNeedMigration) return KEL_SYNC_NOT_NEEDED;
  if (status & (KEL_RA_STATUS_MISSING | KEL_RA_STATUS_INVALID)) return KEL_SYNC_NOT_POSSIBLE;
  return KEL_SYNC_POSSIBLE;
}

int KelRaidArray::ValidateCommon(int minCount, const char* minText) {
  m_byVDNum = 0;
  for (KelVirDevice* vd : m_arVDs)
    if (vd != nullptr) ++m_byVDNum;
  if (const _VD_Config_sector_* blk = FirstBlock()) m_byDiskNum = blk->ArrayVDNum();

  int ok = 1;
  if (m_byDiskNum < minCount) {
    KEL_ASSERT_TEXT(minText);
    ok = 0;
  }
  if (m_byDiskNum > MAX_VD_PER_ARRAY) {
    KEL_ASSERT_TEXT("byArrayVDNum <= MAX_VD_PER_ARRAY");
    ok = 0;
  }

  bNeedMigration = false;
  for (int slot = 0; slot < MAX_VD_PER_ARRAY; ++slot) {
    KelVirDevice* vd = m_arVDs[slot];
    if (vd == nullptr) continue;
    if (slot >= ExpectedSlots()) {
      KEL_PRINT(ZEP_DBG_WARN, "VD %d sits at position %d of an array of %d VDs\n", vd->m_nIndex,
                slot, m_byDiskNum);
      ok = 0;
    }
    uint16_t w = 0;
    const KelPhyDevice* pd = vd->m_pPD;
    if (pd != nullptr && (!pd->IsReadable() || (pd->m_wdFlag & KEL_PD_FLAG_SET_ASIDE))) w |= KEL_VD_STATUS_BIT0;
    if (!vd->IsVDValid()) w |= KEL_VD_STATUS_BIT3;
    const _VD_Config_sector_* blk = vd->Block();
    // A VD that was the target of an unfinished synchronisation holds partial data: it
    // needs the synchronisation and must never serve as the surviving copy.
    if (blk != nullptr && (blk->State() & KEL_VD_STATE_SYNC_TARGET))
      w |= KEL_VD_STATUS_NEED_SYNC | KEL_VD_STATUS_NOT_SOURCE;
    if (blk != nullptr &&
        ((blk->Flags() & KEL_VD_FLAG_MIGRATE) || (blk->Flags2() & KEL_VD_FLAG2_MIGRATE)))
      bNeedMigration = true;
    vd->m_wdStatus = w;
  }
  return ok;
}

// A mirror member whose side value is 0 is the copy that is (or was being) overwritten
// when its partner carries a side value, or when its own block says a synchronisation is
// in progress.
void KelRaidArray::MarkMirrorPairSync(int a, int b) {
  KelVirDevice* pair[2] = {m_arVDs[a], m_arVDs[b]};
  for (int i = 0; i < 2; ++i) {
    KelVirDevice* vd = pair[i];
    KelVirDevice* partner = pair[1 - i];
    if (vd == nullptr || vd->Block() == nullptr || vd->Block()->SideValue() != 0) continue;
    bool syncFlag = (vd->Block()->Flags() & KEL_VD_FLAG_SYNC) != 0;
    bool partnerSource = partner != nullptr && partner->Block() != nullptr &&
                         partner->Block()->SideValue() != 0;
    if (syncFlag || partnerSource) vd->m_wdStatus |= KEL_VD_STATUS_NEED_SYNC;
  }
}

void KelRaidArray::AnalyzeVDArrayStatus() {
  status = 0;
  int expected = ExpectedPositions() < MAX_VD_PER_ARRAY ? ExpectedPositions() : MAX_VD_PER_ARRAY;
  for (int slot = 0; slot < expected; ++slot) {
    const KelVirDevice* vd = m_arVDs[slot];
    if (vd == nullptr) {
      status |= KEL_RA_STATUS_MISSING;
      continue;
    }
    uint16_t w = vd->m_wdStatus;
    if (w & KEL_VD_STATUS_BIT3) status |= KEL_RA_STATUS_MISSING;
    if (w & KEL_VD_STATUS_BIT0) status |= KEL_RA_STATUS_INVALID;
    if (w & KEL_VD_STATUS_NEED_SYNC) status |= KEL_RA_STATUS_NEED_SYNC;
    if (w & KEL_VD_STATUS_BIT2) status |= KEL_RA_STATUS_BIT3;
  }
  systemDisk = 0;
  for (const KelVirDevice* vd : m_arVDs) {
    if (vd == nullptr) continue;
    if (vd->systemVD == 2) systemDisk = 2;
    else if (vd->systemVD == 1 && systemDisk == 0) systemDisk = 1;
  }
}

void KelRaidArray::FillCommonInfo(_zr_array_info* info) const {
  std::memset(info, 0, sizeof *info);
  info->status = status;
  info->raidType = m_byRaidType;
  info->diskNum = m_byDiskNum;
  info->systemDisk = systemDisk;
  info->raid_index = static_cast<uint8_t>(m_nIndex);
  info->magicNum = m_wdMagicNum;
  info->index = static_cast<uint32_t>(m_nIndex);
  info->version = m_byVersion;
  std::memcpy(info->arrayName, m_szName, sizeof info->arrayName);
  info->bNeedMigration = bNeedMigration ? 1 : 0;
  info->bInReplacement = bInReplacement ? 1 : 0;
  std::memcpy(info->GUID, m_dwVDGUID, sizeof info->GUID);
  info->nSyncMigReplacing = static_cast<uint32_t>(nSyncMigReplacing);
}

KelRaidArray* KelNewRaidArray(KelDeviceManage* dm, uint8_t raidType) {
  KelRaidArray* ra = nullptr;
  switch (raidType) {
    case KEL_RAID_0: ra = new (std::nothrow) KelRaid0(dm); break;
    case KEL_RAID_1: ra = new (std::nothrow) KelRaid1(dm); break;
    case KEL_RAID_5: ra = new (std::nothrow) KelRaid5(dm); break;
    case KEL_RAID_SPAN: ra = new (std::nothrow) KelRaidSpan(dm); break;
    case KEL_RAID_01: ra = new (std::nothrow) KelRaid01(dm); break;
    default: break;  // a type this engine does not know, or the plain-disk code
  }
  if (ra == nullptr) KEL_ASSERT_TEXT("pKelRA");
  return ra;
}
