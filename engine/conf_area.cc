// Checksums, parsing, the fresh area, slot bookkeeping and write preparation of the
// configuration area. The conversion from the older ZRaid layout lives in conf_zraid.cc.
#include "engine/conf_area.h"

#include <atomic>
#include <ctime>

#include "sharedlib/diag.h"

int _VD_Config_sector_::ArrayPosition(uint8_t raidType) const {
  uint8_t pos = PositionByte();
  if (raidType == KEL_RAID_1) return pos & 3;
  if (raidType == KEL_RAID_01) return (pos & 7) + ((pos & 0x80) ? 8 : 0);
  return pos & 7;
}

uint8_t KelXorBytes(const uint8_t* p, size_t len) {
  uint8_t x = 0;
  for (size_t i = 0; i < len; ++i) x ^= p[i];
  return x;
}

void MakeVDConfigSectorCheckSum(_VD_Config_sector_* vd) {
  if (vd == nullptr) return;
  // The id checksum is part of the bytes the block checksum covers, so it goes first.
  vd->b[vdoff::kIdChecksum] = KelXorBytes(vd->b + vdoff::kMemberIds, 4 * MAX_VD_PER_ARRAY);
  vd->b[vdoff::kChecksum] = KelXorBytes(vd->b, vdoff::kChecksum);
}

void MakePDConfigSectorCheckSum(_PD_Config_sector_* area) {
  if (area == nullptr) return;
  area->Pd()[pdoff::kChecksum] = KelXorBytes(area->Pd(), pdoff::kChecksum);
}

KelConfParse ParsePDConfigData(_PD_Config_sector_* area) {
  KelConfParse r;
  if (area == nullptr) {
    KEL_ASSERT_TEXT("pPDConfigSector");
    return r;
  }
  if (area->Marker() != SIGNATURE_MARKER) return r;

  if (area->MarkerVersion() >= KEL_CONF_LAYOUT_VERSION) {
    if (area->PdSignature() != SIGNATURE_PD)
      KEL_ASSERT_TEXT("m_PDConfigSector.PDConfigInfo.Signature == SIGNATURE_PD");
    r.currentLayout = true;
    // Only the current marker sector has this byte; in the older layout offset 10 lies
    // inside the length field and must stay as it is.
    area->b[KEL_AREA_MARKER_PARSED] = 0;
  } else {
    KelConfigDataZRaid2Tarvo(area);
    r.currentLayout = false;
  }

  // A block the map claims but that is not marked valid was never completed (or was
  // withdrawn); forget it rather than assemble an array from it.
  uint32_t map = area->VDMap();
  for (int slot = 0; slot < MAX_VD_PER_PD; ++slot) {
    uint32_t bit = 1u << slot;
    if ((map & bit) == 0 || area->Vd(slot)->IsValid()) continue;
    map &= ~bit;
    if (area->CountOfVDs() > 0) area->SetCountOfVDs(area->CountOfVDs() - 1);
  }
  // Bits past the disk's slots name blocks that cannot exist; kept, they would make the map
  // and the count disagree and the disk vanish from the model.
  for (int slot = MAX_VD_PER_PD; slot < 32; ++slot) {
    uint32_t bit = 1u << slot;
    if ((map & bit) == 0) continue;
    KEL_PRINT(ZEP_DBG_WARN, "VD map names slot %d beyond the disk's slots; dropped\n", slot);
    map &= ~bit;
    if (area->CountOfVDs() > 0) area->SetCountOfVDs(area->CountOfVDs() - 1);
  }
  area->SetVDMap(map);

  r.conflict = KelAreaConflicts(area);
  // A contradictory area still describes space that may hold data: the disk is never
  // taken for a blank one.
  r.hasConfig = (area->CountOfVDs() != 0 && map != 0) || r.conflict;
  return r;
}

// Contradictions that make an area untrustworthy. Building arrays from such an area could
// join the wrong blocks, and ignoring it would offer its space, live data included, for new
// VDs. The disk is therefore listed as a plain entry with KEL_PD_FLAG_CONF_CONFLICT, and the
// blocks its map names keep their space (KelPhyDevice::AnalyzePDFragInfo).
//   - CountOfVDs above the two slots a disk has;
//   - CountOfVDs differing from the number of slots in the VD map (either way, including a
//     count of 0 with blocks in the map and a count with an empty map);
//   - PD status bit 0 ("do not turn this disk into VDs"): this system never sets it, so an
//     area carrying it was written by something whose intent the engine cannot know;
//   - a block in the map marked as a replacement target while the PD sector says the disk
//     is not one: only a whole target disk is left out of the model, never single blocks.
// Blocks whose valid bit is clear were already dropped from the map and the count above:
// that is an unfinished block, not a contradiction.
bool KelAreaConflicts(const _PD_Config_sector_* area) {
  if (area == nullptr || area->Marker() != SIGNATURE_MARKER) return false;
  bool conflict = false;
  const uint8_t count = area->CountOfVDs();
  if (count > MAX_VD_PER_PD) {
    KEL_ASSERT_TEXT("m_PDConfigSector.PDConfigInfo.CountOfVDs <= MAX_VD_PER_PD");
    conflict = true;
  }
  int slots[MAX_VD_PER_PD];
  const int used = KelListUsedSlots(area, slots);
  if (used != count) {
    KEL_ASSERT_TEXT("byVDIndex == m_PDConfigSector.PDConfigInfo.CountOfVDs");
    conflict = true;
  }
  if ((area->PdStatus() & KEL_PD_STATUS_NO_VD) != 0) {
    KEL_PRINT(ZEP_DBG_WARN, "PD status bit 0 set: the area is not this system's\n");
    conflict = true;
  }
  if (area->PdRplRole() != KEL_RPL_TARGET)
    for (int i = 0; i < used; ++i)
      if (area->Vd(slots[i])->RplRole() == KEL_RPL_TARGET) {
        KEL_PRINT(ZEP_DBG_WARN, "VD slot %d is a replacement target on a disk that is not\n",
                  slots[i]);
        conflict = true;
      }
  return conflict;
}

void InitPDConfSect(_PD_Config_sector_* area, uint32_t serialChksum) {
  if (area == nullptr) return;
  std::memset(area->b, 0, sizeof area->b);
  KelStoreLe16(area->b + KEL_AREA_MARKER, SIGNATURE_MARKER);
  area->b[KEL_AREA_MARKER_VERSION] = KEL_CONF_LAYOUT_VERSION;
  uint8_t* pd = area->Pd();
  KelStoreLe16(pd + pdoff::kSignature, SIGNATURE_PD);
  pd[pdoff::kVersion] = KEL_CONF_LAYOUT_VERSION;
  pd[pdoff::kWriter] = KEL_PD_WRITER_CURRENT;
  KelStoreLe32(pd + pdoff::kSerialChksum, serialChksum);
  MakePDConfigSectorCheckSum(area);
}

bool SetPDConfigVDGUIDs(_PD_Config_sector_* area, int slot, const uint32_t ids[8]) {
  if (slot < 0 || slot >= MAX_VD_PER_PD) {
    KEL_ASSERT_TEXT("byVDIndex < MAX_VD_PER_PD");
    return false;
  }
  if (area == nullptr || ids == nullptr) {
    KEL_PRINT(ZEP_DBG_ERROR, "no area or no member ids for slot %d\n", slot);
    return false;
  }
  _VD_Config_sector_* vd = area->Vd(slot);
  for (int i = 0; i < MAX_VD_PER_ARRAY; ++i) vd->SetMemberId(i, ids[i]);
  MakeVDConfigSectorCheckSum(vd);
  return true;
}

void DeleteVDInPDConfSect(_PD_Config_sector_* area, int slot) {
  if (slot < 0 || slot >= MAX_VD_PER_PD) {
    KEL_ASSERT_TEXT("byVDIndex < MAX_VD_PER_PD");
    return;
  }
  if (area == nullptr) return;
  uint32_t bit = 1u << slot;
  uint32_t map = area->VDMap();
  if (map & bit) {
    area->SetVDMap(map & ~bit);
    if (area->CountOfVDs() > 0)
      area->SetCountOfVDs(area->CountOfVDs() - 1);
    else
      KEL_ASSERT_TEXT("m_PDConfigSector.PDConfigInfo.CountOfVDs > 0");
  }
  std::memset(area->Vd(slot)->b, 0, KEL_VD_BLOCK_SIZE);
}

int KelAddVDToArea(_PD_Config_sector_* area, const KelNewVDBlock& spec) {
  if (area == nullptr) return -1;
  const uint32_t map = area->VDMap();
  int slot = 0;
  while (slot < MAX_VD_PER_PD && (map & (1u << slot)) != 0) ++slot;
  if (slot >= MAX_VD_PER_PD) {
    KEL_ASSERT_TEXT("*(pdCreateArrayInfo.pVDIndexInPD) < MAX_VD_PER_PD");
    return -1;
  }
  area->SetVDMap(map | (1u << slot));
  area->SetCountOfVDs(static_cast<uint8_t>(area->CountOfVDs() + 1));
  if (area->CountOfVDs() > MAX_VD_PER_PD) KEL_ASSERT_TEXT("pPDConfig->CountOfVDs <= MAX_VD_PER_PD");

  _VD_Config_sector_* vd = area->Vd(slot);
  std::memset(vd->b, 0, KEL_VD_BLOCK_SIZE);
  vd->SetU16(vdoff::kSignature, SIGNATURE_VD);
  vd->SetU8(vdoff::kSlot, static_cast<uint8_t>(slot));
  vd->SetU32(vdoff::kVDId, area->SerialChksum() + static_cast<uint32_t>(slot));
  vd->SetU64(vdoff::kStart, spec.startSector);
  vd->SetU64(vdoff::kEnd, spec.startSector + spec.sectorLength);
  vd->SetU64(vdoff::kLength, spec.sectorLength);
  vd->SetU64(vdoff::kLengthCopy, spec.sectorLength);
  vd->SetU16(vdoff::kState, KEL_VD_STATE_VALID);
  vd->SetU64(vdoff::kArrayMark, spec.arrayMark);
  vd->SetU8(vdoff::kRaidType, spec.raidType);
  vd->SetU8(vdoff::kArrayVDNum, spec.arrayVDNum);
  vd->SetU8(vdoff::kPosition, spec.positionByte);
  vd->SetU8(vdoff::kStripe, static_cast<uint8_t>(spec.stripeSectors & 0xFF));
  vd->SetU8(vdoff::kLevelParam, spec.levelParam);
  uint8_t flags = KEL_VD_FLAG_CREATED;
  if (spec.arrayName != nullptr) {
    size_t n = strnlen(spec.arrayName, 23);
    std::memcpy(vd->b + vdoff::kVDName, spec.arrayName, n);
    std::memcpy(vd->b + vdoff::kArrayName, spec.arrayName, n);
    flags |= KEL_VD_FLAG_NAME_VALID;
  }
  vd->SetU8(vdoff::kFlags, flags);
  return slot;
}

uint64_t KelNewArrayMark() {
  // Time and a process-wide counter: two creations in one microsecond still differ.
  static std::atomic<uint64_t> counter{0};
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  uint64_t mark = (static_cast<uint64_t>(ts.tv_sec) << 20) ^ static_cast<uint64_t>(ts.tv_nsec) ^
                  (++counter << 48);
  return mark == 0 ? 1 : mark;
}

int KelListUsedSlots(const _PD_Config_sector_* area, int slots[MAX_VD_PER_PD]) {
  int n = 0;
  if (area == nullptr) return 0;
  uint32_t map = area->VDMap();
  for (int slot = 0; slot < MAX_VD_PER_PD; ++slot)
    if (map & (1u << slot)) slots[n++] = slot;
  return n;
}

bool KelPrepareAreaForWrite(_PD_Config_sector_* area, const _PD_Config_sector_& saved,
                            bool changedSlots[MAX_VD_PER_PD]) {
  for (int s = 0; s < MAX_VD_PER_PD; ++s) changedSlots[s] = false;
  if (area == nullptr) return false;

  // An area without the marker is not ours (a plain disk never configured, or one whose
  // read failed): leave its bytes alone so that it is never rewritten by accident.
  if (area->Marker() == SIGNATURE_MARKER) {
    MakePDConfigSectorCheckSum(area);
    int slots[MAX_VD_PER_PD];
    int used = KelListUsedSlots(area, slots);
    if (used != area->CountOfVDs())
      KEL_ASSERT_TEXT("byVDIndex == m_PDConfigSector.PDConfigInfo.CountOfVDs");
    for (int i = 0; i < used; ++i) MakeVDConfigSectorCheckSum(area->Vd(slots[i]));
  }

  if (std::memcmp(area->b, saved.b, sizeof area->b) == 0) return false;
  // An area converted from the older layout still carries the older marker sector, and
  // every read converts from that sector again: a change written under it would be undone
  // by the next read. Whatever is written goes out in the current layout.
  if (area->Marker() == SIGNATURE_MARKER && area->MarkerVersion() < KEL_CONF_LAYOUT_VERSION) {
    std::memset(area->b + KEL_AREA_MARKER, 0, HD_SECTOR_SIZE);
    KelStoreLe16(area->b + KEL_AREA_MARKER, SIGNATURE_MARKER);
    area->b[KEL_AREA_MARKER_VERSION] = KEL_CONF_LAYOUT_VERSION;
  }
  for (int s = 0; s < MAX_VD_PER_PD; ++s)
    changedSlots[s] = std::memcmp(area->Vd(s)->b, saved.Vd(s)->b, KEL_VD_BLOCK_SIZE) != 0;
  return true;
}
