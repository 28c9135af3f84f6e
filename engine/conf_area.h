// The configuration area every member disk carries: 6 sectors that describe the disk, the
// up to two areas of it that belong to arrays (VD blocks) and the layout version. There is
// no central configuration; the engine rebuilds every array from these areas at each scan.
//
// Area (3072 bytes): +0 1536 unused | +1536 VD block of slot 1 | +1792 VD block of slot 0 |
// +2048 PD sector (512) | +2560 marker sector (512). All fields little-endian. The records
// are byte images read and written only through their accessors, so that the engine never
// depends on the host's struct layout.
#ifndef KEL_ENGINE_CONF_AREA_H
#define KEL_ENGINE_CONF_AREA_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "driver/drv_le.h"
#include "engine/engine_defs.h"

constexpr uint16_t SIGNATURE_PD = 0xE2E4;
constexpr uint16_t SIGNATURE_VD = 0xD4D6;
constexpr uint16_t SIGNATURE_MARKER = 0xAA55;
constexpr uint8_t KEL_CONF_LAYOUT_VERSION = 3;
constexpr uint8_t KEL_PD_WRITER_CURRENT = 32;  // byte 14 of sectors written by this system
constexpr uint8_t KEL_PD_WRITER_ZRAID = 1;     // byte 14 of sectors converted from ZRaid

constexpr int KEL_VD_BLOCK_SIZE = 256;

// Field offsets within a VD block.
namespace vdoff {
constexpr size_t kSignature = 0;     // u16
constexpr size_t kSlot = 2;          // u8
constexpr size_t kVDId = 4;          // u32: serial checksum + slot
constexpr size_t kStart = 8;         // u64
constexpr size_t kEnd = 16;          // u64
constexpr size_t kLength = 24;       // u64
constexpr size_t kState = 32;        // u16
constexpr size_t kArrayMark = 36;    // u64
constexpr size_t kSideValue = 44;    // u64
constexpr size_t kVDName = 52;       // 24 bytes
constexpr size_t kRplPos = 76;       // u64
constexpr size_t kRaidType = 100;    // u8
constexpr size_t kArrayVDNum = 101;  // u8
constexpr size_t kFlags = 104;       // u8
constexpr size_t kFlags2 = 105;      // u8
constexpr size_t kStripe = 108;      // u8, sectors
constexpr size_t kLevelParam = 109;  // u8
constexpr size_t kPosition = 112;    // u8
constexpr size_t kIdChecksum = 113;  // u8: XOR of 212..243
constexpr size_t kMigCtl = 115;      // u8
constexpr size_t kMigPos = 116;      // u64
constexpr size_t kMigValue2 = 120;   // u32 (older layout carry-over)
constexpr size_t kSyncPos = 172;     // u64
constexpr size_t kLengthCopy = 180;  // u64
constexpr size_t kArrayName = 188;   // 24 bytes
constexpr size_t kMemberIds = 212;   // 8 x u32
constexpr size_t kChecksum = 255;    // u8: XOR of 0..254
}  // namespace vdoff

// VD state word bits (vdoff::kState).
constexpr uint16_t KEL_VD_STATE_VALID = 1u << 0;
constexpr uint16_t KEL_VD_STATE_ZRAID = 1u << 3;
constexpr uint16_t KEL_VD_STATE_SYNC_TARGET = 1u << 4;
constexpr int KEL_VD_STATE_RPL_SHIFT = 7;  // bits 7..8: 1 source, 2 target
// Flag byte 104.
constexpr uint8_t KEL_VD_FLAG_CREATED = 1u << 0;
constexpr uint8_t KEL_VD_FLAG_NAME_VALID = 1u << 1;
constexpr uint8_t KEL_VD_FLAG_ZRAID = 1u << 3;
constexpr uint8_t KEL_VD_FLAG_SYNC = 1u << 4;
constexpr uint8_t KEL_VD_FLAG_MIGRATE = 1u << 5;
constexpr uint8_t KEL_VD_FLAG_REPLACE = 1u << 6;
// Flag byte 105.
constexpr uint8_t KEL_VD_FLAG2_MIGRATE = 1u << 1;

// Replacement roles (PD sector status bits 2..3, VD state bits 7..8).
constexpr uint8_t KEL_RPL_NONE = 0;
constexpr uint8_t KEL_RPL_SOURCE = 1;
constexpr uint8_t KEL_RPL_TARGET = 2;

// One VD configuration block.
struct _VD_Config_sector_ {
  uint8_t b[KEL_VD_BLOCK_SIZE];

  uint8_t U8(size_t off) const { return b[off]; }
  uint16_t U16(size_t off) const { return KelLoadLe16(b + off); }
  uint32_t U32(size_t off) const { return KelLoadLe32(b + off); }
  uint64_t U64(size_t off) const { return KelLoadLe64(b + off); }
  void SetU8(size_t off, uint8_t v) { b[off] = v; }
  void SetU16(size_t off, uint16_t v) { KelStoreLe16(b + off, v); }
  void SetU32(size_t off, uint32_t v) { KelStoreLe32(b + off, v); }
  void SetU64(size_t off, uint64_t v) { KelStoreLe64(b + off, v); }

  uint8_t Slot() const { return b[vdoff::kSlot]; }
  uint32_t VDId() const { return U32(vdoff::kVDId); }
  uint64_t StartSector() const { return U64(vdoff::kStart); }
  uint64_t SectorLength() const { return U64(vdoff::kLength); }
  uint64_t LengthCopy() const { return U64(vdoff::kLengthCopy); }
  uint16_t State() const { return U16(vdoff::kState); }
  bool IsValid() const { return (State() & KEL_VD_STATE_VALID) != 0; }
  uint8_t RplRole() const { return (State() >> KEL_VD_STATE_RPL_SHIFT) & 3; }
  uint64_t ArrayMark() const { return U64(vdoff::kArrayMark); }
  uint64_t SideValue() const { return U64(vdoff::kSideValue); }
  uint8_t RaidType() const { return b[vdoff::kRaidType]; }
  uint8_t ArrayVDNum() const { return b[vdoff::kArrayVDNum]; }
  uint8_t Flags() const { return b[vdoff::kFlags]; }
  uint8_t Flags2() const { return b[vdoff::kFlags2]; }
  // Stripe in sectors. A 128 KiB stripe (256 sectors) does not fit the byte and is stored
  // as 0, so 0 reads as 256.
  unsigned StripeSectors() const { return b[vdoff::kStripe] == 0 ? 256u : b[vdoff::kStripe]; }
  // Whole stripes a 128-sector step of a RAID 5 rebuild covers: at least one, so that a
  // stripe larger than the step still makes progress.
  unsigned StripesPerChunk() const {
    const unsigned perChunk = 128u / StripeSectors();
    return perChunk == 0 ? 1u : perChunk;
  }
  uint8_t LevelParam() const { return b[vdoff::kLevelParam]; }
  uint8_t PositionByte() const { return b[vdoff::kPosition]; }
  uint64_t SyncPos() const { return U64(vdoff::kSyncPos); }
  uint64_t MigPos() const { return U64(vdoff::kMigPos); }
  uint32_t MemberId(int i) const { return U32(vdoff::kMemberIds + 4 * i); }
  void SetMemberId(int i, uint32_t v) { SetU32(vdoff::kMemberIds + 4 * i, v); }
  const uint8_t* VDName() const { return b + vdoff::kVDName; }        // 24 bytes
  const uint8_t* ArrayName() const { return b + vdoff::kArrayName; }  // 24 bytes

  // The position of this VD in its array for a given RAID type: bits 0..2 (RAID 1: bits
  // 0..1; RAID 0+1: plus 8 when bit 7 is set).
  int ArrayPosition(uint8_t raidType) const;
};
static_assert(sizeof(_VD_Config_sector_) == 256);

// Field offsets within the PD sector.
namespace pdoff {
constexpr size_t kSignature = 0;   // u16
constexpr size_t kVersion = 2;     // u8
constexpr size_t kCountOfVDs = 3;  // u8
constexpr size_t kVDMap = 4;       // u32
constexpr size_t kSerialChksum = 8;  // u32
constexpr size_t kStatus = 12;     // u8
constexpr size_t kWriter = 14;     // u8
constexpr size_t kRplPos = 16;     // u64
constexpr size_t kChecksum = 511;  // u8: XOR of 0..510
}  // namespace pdoff

// PD status bits.
constexpr uint8_t KEL_PD_STATUS_NO_VD = 1u << 0;  // do not turn this disk into VDs
constexpr int KEL_PD_STATUS_RPL_SHIFT = 2;        // bits 2..3

// Offsets of the parts of the area.
constexpr size_t KEL_AREA_PD_SECTOR = 2048;
constexpr size_t KEL_AREA_MARKER = 2560;
constexpr size_t KEL_AREA_MARKER_VERSION = KEL_AREA_MARKER + 2;
constexpr size_t KEL_AREA_MARKER_PARSED = KEL_AREA_MARKER + 10;
inline constexpr size_t KelAreaVDBlockOffset(int slot) { return (7 - slot) * 256; }

// A whole configuration area; PDConfigInfo names its PD sector.
struct _PD_Config_sector_ {
  uint8_t b[KEL_CONF_AREA_SIZE];

  uint8_t* Pd() { return b + KEL_AREA_PD_SECTOR; }
  const uint8_t* Pd() const { return b + KEL_AREA_PD_SECTOR; }
  _VD_Config_sector_* Vd(int slot) {
    return reinterpret_cast<_VD_Config_sector_*>(b + KelAreaVDBlockOffset(slot));
  }
  const _VD_Config_sector_* Vd(int slot) const {
    return reinterpret_cast<const _VD_Config_sector_*>(b + KelAreaVDBlockOffset(slot));
  }

  uint16_t Marker() const { return KelLoadLe16(b + KEL_AREA_MARKER); }
  uint8_t MarkerVersion() const { return b[KEL_AREA_MARKER_VERSION]; }
  uint16_t PdSignature() const { return KelLoadLe16(Pd() + pdoff::kSignature); }
  uint8_t CountOfVDs() const { return Pd()[pdoff::kCountOfVDs]; }
  void SetCountOfVDs(uint8_t v) { Pd()[pdoff::kCountOfVDs] = v; }
  uint32_t VDMap() const { return KelLoadLe32(Pd() + pdoff::kVDMap); }
  void SetVDMap(uint32_t v) { KelStoreLe32(Pd() + pdoff::kVDMap, v); }
  uint32_t SerialChksum() const { return KelLoadLe32(Pd() + pdoff::kSerialChksum); }
  uint8_t PdStatus() const { return Pd()[pdoff::kStatus]; }
  uint8_t PdRplRole() const { return (PdStatus() >> KEL_PD_STATUS_RPL_SHIFT) & 3; }
  uint64_t PdRplPos() const { return KelLoadLe64(Pd() + pdoff::kRplPos); }
};
static_assert(sizeof(_PD_Config_sector_) == 3072);

// XOR of `len` bytes.
uint8_t KelXorBytes(const uint8_t* p, size_t len);
// Recomputes bytes 113 and 255 of a VD block.
void MakeVDConfigSectorCheckSum(_VD_Config_sector_* vd);
// Recomputes byte 511 of the PD sector.
void MakePDConfigSectorCheckSum(_PD_Config_sector_* area);

// What ParsePDConfigData found.
struct KelConfParse {
  bool hasConfig = false;      // at least one VD block in use after parsing
  bool currentLayout = false;  // false when converted from the older ZRaid layout
  bool conflict = false;       // the area contradicts itself (KelAreaConflicts)
};

// Classifies an area just read from the disk and converts it in place when it is in the
// older layout: marker not 0xAA55 → no configuration; version 3+ → this layout; below 3 →
// converted. Slots whose map bit is set but whose block is not valid are dropped from the
// map and the count. Clears byte 10 of the marker sector.
KelConfParse ParsePDConfigData(_PD_Config_sector_* area);

// Whether an area in the current layout (after parsing) contradicts itself, so that no VD
// or array may be built from it; prints what it found. See conf_area.cc for the list.
bool KelAreaConflicts(const _PD_Config_sector_* area);

// Converts an area in the older ZRaid layout into VD slot 0 and the PD sector. 1 when
// converted, 0 when the version is 3 or higher; a null area prints "pPDConfigSector".
int KelConfigDataZRaid2Tarvo(_PD_Config_sector_* area);

// A fresh, empty area for a disk that joins its first array.
void InitPDConfSect(_PD_Config_sector_* area, uint32_t serialChksum);

// Writes the 8 member ids into the block of `slot` and recomputes its checksums.
// A slot of MAX_VD_PER_PD or more prints "byVDIndex < MAX_VD_PER_PD" and returns false.
bool SetPDConfigVDGUIDs(_PD_Config_sector_* area, int slot, const uint32_t ids[8]);

// Clears a VD slot from the area: its map bit, the count, and the block itself.
void DeleteVDInPDConfSect(_PD_Config_sector_* area, int slot);

// What a new VD block says; member ids are written later, once the whole array is known.
struct KelNewVDBlock {
  uint64_t startSector = 0;
  uint64_t sectorLength = 0;
  uint8_t raidType = 0;
  uint8_t arrayVDNum = 0;     // VDs the array has (RAID 1: with the spare)
  uint8_t positionByte = 0;   // as stored at byte 112 (RAID 0+1: bit 7 for the second half)
  uint16_t stripeSectors = 0; // 0 where the level has none; 256 is stored as 0
  uint8_t levelParam = 0;
  uint64_t arrayMark = 0;     // the same non-zero value in every member of one array
  const char* arrayName = nullptr;  // up to 23 bytes are stored; null: no name
};

// Adds a VD block to an area that already carries the PD sector (InitPDConfSect or read
// from the disk): the first free slot, its map bit and the count, and a cleared block
// filled from `spec` (VD id = serial checksum + slot, valid, created). Returns the slot, or
// -1 when both slots are taken. Checksums are left to the write, which recomputes them.
int KelAddVDToArea(_PD_Config_sector_* area, const KelNewVDBlock& spec);

// A fresh array mark: non-zero and unlikely to repeat, so that members of an array created
// again over the same disks never join the members of an older one.
uint64_t KelNewArrayMark();

// The slots in use according to the VD map, slot 0 first. Returns their number.
int KelListUsedSlots(const _PD_Config_sector_* area, int slots[MAX_VD_PER_PD]);

// Prepares an area for writing: recomputes the PD checksum and the checksums of every
// block in use (printing "byVDIndex == m_PDConfigSector.PDConfigInfo.CountOfVDs" when the
// map and the count disagree). Returns true when the area differs from `saved`; then
// changedSlots[s] tells which VD blocks differ, and an area converted from the older
// layout gets the current marker sector (version 3, the rest cleared).
bool KelPrepareAreaForWrite(_PD_Config_sector_* area, const _PD_Config_sector_& saved,
                            bool changedSlots[MAX_VD_PER_PD]);

#endif
