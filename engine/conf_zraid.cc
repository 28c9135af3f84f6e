// Conversion of an area written in the older ZRaid layout. That layout kept one VD per disk
// inside the marker sector; the engine works on the current layout only, so the VD is
// rebuilt as slot 0 with a PD sector of its own. The marker sector itself is left as it is
// while nothing is written: it still tells every later reader which layout the disk
// carries. The first write of the area replaces it with the current marker
// (KelPrepareAreaForWrite), so the disk is read back as it was written.
#include "engine/conf_area.h"

#include "sharedlib/diag.h"

namespace {

// Offsets of the older layout within the 3072-byte area.
namespace zoff {
constexpr size_t kTypeFlags = 2563;  // bit 0 flag A, bits 3..6 RAID type
constexpr size_t kPosField = 2564;   // bits 2..7 position field
constexpr size_t kCountStripe = 2565;  // bits 0..2 VD count, bit 3 flag B, bits 4..7 stripe exp.
constexpr size_t kLength = 2566;     // two u32, low first
constexpr size_t kSerial = 2574;
constexpr size_t kMemberIds = 2578;  // 8 x u32
constexpr size_t kFlagC = 2622;
constexpr size_t kPending = 2623;    // initialisation or migration pending
constexpr size_t kPendingValue1 = 2624;
constexpr size_t kPendingValue2 = 2628;
constexpr size_t kLevelParam = 2632;
constexpr size_t kSyncPos = 2633;    // two u32, low first
}  // namespace zoff

// Everything the conversion needs, read before any byte of the area is rewritten.
struct ZRaidVD {
  bool flagA, flagB, flagC;
  uint8_t raidType, posField, vdCount, stripeExp, levelParam;
  uint64_t length, syncPos;
  uint32_t serial;
  uint32_t ids[MAX_VD_PER_ARRAY];
  bool pending;
  uint32_t pendingValue1, pendingValue2;
};

ZRaidVD ReadZRaid(const uint8_t* a) {
  ZRaidVD z{};
  z.flagA = a[zoff::kTypeFlags] & 1;
  z.raidType = (a[zoff::kTypeFlags] >> 3) & 0x0F;
  z.posField = a[zoff::kPosField] >> 2;
  z.vdCount = a[zoff::kCountStripe] & 7;
  z.flagB = (a[zoff::kCountStripe] >> 3) & 1;
  z.stripeExp = a[zoff::kCountStripe] >> 4;
  z.length = KelLoadLe64(a + zoff::kLength);
  z.serial = KelLoadLe32(a + zoff::kSerial);
  for (int i = 0; i < MAX_VD_PER_ARRAY; ++i) z.ids[i] = KelLoadLe32(a + zoff::kMemberIds + 4 * i);
  z.flagC = a[zoff::kFlagC] & 1;
  z.pending = a[zoff::kPending] != 0;
  z.pendingValue1 = KelLoadLe32(a + zoff::kPendingValue1);
  z.pendingValue2 = KelLoadLe32(a + zoff::kPendingValue2);
  z.levelParam = a[zoff::kLevelParam];
  z.syncPos = KelLoadLe64(a + zoff::kSyncPos);
  return z;
}

// The older layout stored the stripe as an exponent; the block keeps sectors in one byte.
uint8_t StripeSectors(uint8_t exp) {
  uint32_t sectors = 1u << (exp + 3);  // exp is at most 15: no overflow of the shift
  if (sectors > 0xFF) {
    KEL_PRINT(ZEP_DBG_WARN, "stripe of %u sectors does not fit the stripe byte\n", sectors);
    return 0;
  }
  return static_cast<uint8_t>(sectors);
}

// The position field's synchronisation bit marks the copy that is being brought up to date:
// it becomes the sync-target state bit. The side value stays 0. Setting it from the same bit
// would make one block claim to be both the source (non-zero side value) and the target, and
// a synchronisation started from that could copy the stale data over the good copy. The
// partner's area does not say which copy is good, so no side value is set on either; the
// array decides the direction from the state bits (KelRaid1::SideValue).
void SetSyncSide(_VD_Config_sector_* vd, bool target) {
  vd->SetU64(vdoff::kSideValue, 0);
  if (target) vd->SetU16(vdoff::kState, vd->State() | KEL_VD_STATE_SYNC_TARGET);
}

void FillPDSector(_PD_Config_sector_* area, uint32_t serial) {
  uint8_t* pd = area->Pd();
  std::memset(pd, 0, HD_SECTOR_SIZE);
  KelStoreLe16(pd + pdoff::kSignature, SIGNATURE_PD);
  pd[pdoff::kVersion] = KEL_CONF_LAYOUT_VERSION;
  pd[pdoff::kCountOfVDs] = 1;
  KelStoreLe32(pd + pdoff::kVDMap, 1);
  KelStoreLe32(pd + pdoff::kSerialChksum, serial);
  pd[pdoff::kWriter] = KEL_PD_WRITER_ZRAID;
  MakePDConfigSectorCheckSum(area);
}

void FillVDBlock(_VD_Config_sector_* vd, const ZRaidVD& z) {
  std::memset(vd->b, 0, KEL_VD_BLOCK_SIZE);
  vd->SetU16(vdoff::kSignature, SIGNATURE_VD);
  vd->SetU8(vdoff::kSlot, 0);
  vd->SetU32(vdoff::kVDId, z.serial);
  vd->SetU64(vdoff::kStart, 0);
  vd->SetU64(vdoff::kEnd, z.length);
  vd->SetU64(vdoff::kLength, z.length);
  vd->SetU64(vdoff::kLengthCopy, z.length & 0xFFFFFFFFu);

  vd->SetU16(vdoff::kState, KEL_VD_STATE_VALID | (z.flagA ? KEL_VD_STATE_ZRAID : 0));
  vd->SetU8(vdoff::kFlags, KEL_VD_FLAG_CREATED | (z.flagA ? KEL_VD_FLAG_ZRAID : 0));
  vd->SetU8(vdoff::kFlags2, (z.flagC ? 1 : 0) | (z.flagB ? 4 : 0));

  uint8_t count = z.vdCount;
  uint8_t pos = z.posField & 7;
  switch (z.raidType) {
    case KEL_RAID_0:
      vd->SetU8(vdoff::kStripe, StripeSectors(z.stripeExp));
      break;
    case KEL_RAID_1:
      count = static_cast<uint8_t>(count + 2);
      pos = z.posField & 3;
      SetSyncSide(vd, (z.posField >> 2) & 1);
      break;
    case KEL_RAID_5:
      vd->SetU8(vdoff::kStripe, StripeSectors(z.stripeExp));
      vd->SetU8(vdoff::kLevelParam, z.levelParam);
      SetSyncSide(vd, (z.posField >> 3) & 1);
      break;
    case KEL_RAID_01:
      count = static_cast<uint8_t>(count * 2);
      vd->SetU8(vdoff::kStripe, StripeSectors(z.stripeExp));
      SetSyncSide(vd, (z.posField >> 4) & 1);
      if ((z.posField >> 3) & 1) pos |= 0x80;  // second stripe half
      break;
    default:  // span and unknown types carry the position only
      break;
  }
  vd->SetU8(vdoff::kRaidType, z.raidType);
  vd->SetU8(vdoff::kArrayVDNum, count);
  vd->SetU8(vdoff::kPosition, pos);

  if (z.pending) {
    vd->SetU8(vdoff::kFlags, vd->Flags() | KEL_VD_FLAG_MIGRATE);
    vd->SetU8(vdoff::kFlags2, vd->Flags2() | KEL_VD_FLAG2_MIGRATE);
    vd->SetU8(vdoff::kMigCtl, static_cast<uint8_t>((vd->U8(vdoff::kMigCtl) & ~3) | 13));
    vd->SetU32(vdoff::kMigPos, z.pendingValue1);
    vd->SetU32(vdoff::kMigValue2, z.pendingValue2);
  }

  vd->SetU64(vdoff::kSyncPos, z.syncPos);
  for (int i = 0; i < MAX_VD_PER_ARRAY; ++i) vd->SetMemberId(i, z.ids[i]);
  MakeVDConfigSectorCheckSum(vd);
}

}  // namespace

int KelConfigDataZRaid2Tarvo(_PD_Config_sector_* area) {
  if (area == nullptr) {
    KEL_ASSERT_TEXT("pPDConfigSector");
    return 0;
  }
  if (area->MarkerVersion() >= KEL_CONF_LAYOUT_VERSION) return 0;
  ZRaidVD z = ReadZRaid(area->b);
  FillPDSector(area, z.serial);
  FillVDBlock(area->Vd(0), z);
  return 1;
}
