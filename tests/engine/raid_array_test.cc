// Arrays and VDs built over configuration blocks written byte by byte: assembly and its
// refusals, identity across scans, status words, synchronisation, migration and repair
// judgements, and the info records of every level.
#include "engine/raid_array.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/phy_device.h"
#include "engine/vir_device.h"

namespace {

void Put(uint8_t* p, uint64_t v, int width) {
  for (int i = 0; i < width; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

constexpr uint64_t kLen = 1000;

// One VD block's contents as the tests vary them.
struct Blk {
  uint8_t type;
  uint8_t count;
  uint8_t pos;
  uint64_t side = 0;
  uint16_t state = 1;
  uint8_t flags = 1;
  uint8_t flags2 = 0;
  uint64_t len = kLen;
  uint64_t mark = 0;
};

class Arrays : public testing::Test {
 protected:
  // A disk (area only, or with a PD object when withPd) carrying one VD in slot 0.
  KelVirDevice* MakeVD(const Blk& b, const uint32_t* ids = kIds, bool withPd = false) {
    auto area = std::make_unique<_PD_Config_sector_>();
    std::memset(area->b, 0, sizeof area->b);
    uint8_t* p = area->b + 1792;
    Put(p, 0xD4D6, 2);
    Put(p + 4, 0x100 + b.pos, 4);
    Put(p + 8, 64, 8);
    Put(p + 16, 64 + b.len, 8);
    Put(p + 24, b.len, 8);
    Put(p + 32, b.state, 2);
    Put(p + 36, b.mark, 8);
    Put(p + 44, b.side, 8);
    std::memcpy(p + 52, "vd-name-0123456789abcdef", 24);
    p[100] = b.type;
    p[101] = b.count;
    p[104] = b.flags;
    p[105] = b.flags2;
    p[108] = 32;  // 16 KiB
    p[109] = 3;
    p[112] = b.pos;
    Put(p + 180, b.len, 8);
    for (int i = 0; i < 8; ++i) Put(p + 212 + 4 * i, ids[i], 4);

    KelPhyDevice* pd = nullptr;
    if (withPd) {
      pds_.push_back(std::make_unique<KelPhyDevice>(nullptr, nullptr, nullptr, 0, 0, 1, false, -1));
      pd = pds_.back().get();
    }
    vds_.push_back(std::make_unique<KelVirDevice>(nullptr, pd, 0, area->Vd(0)));
    areas_.push_back(std::move(area));
    return vds_.back().get();
  }

  // An array of `type` with VDs at the given position bytes (count = VD count in blocks).
  std::unique_ptr<KelRaidArray> Make(uint8_t type, uint8_t count, std::vector<uint8_t> positions) {
    std::unique_ptr<KelRaidArray> ra(KelNewRaidArray(nullptr, type));
    ra->SetVDGUID(kIds);
    for (uint8_t pos : positions) EXPECT_TRUE(ra->AddVD2arVDs(MakeVD({type, count, pos})));
    return ra;
  }

  static constexpr uint32_t kIds[8] = {0x100, 0x101, 0x102, 0x103, 0, 0, 0, 0};
  std::vector<std::unique_ptr<_PD_Config_sector_>> areas_;
  std::vector<std::unique_ptr<KelPhyDevice>> pds_;
  std::vector<std::unique_ptr<KelVirDevice>> vds_;
};

uint16_t SyncStatus(KelRaidArray& ra) {
  unsigned short s = 0xFFFF;
  EXPECT_EQ(ra.GetRASyncStatus(&s), 0);
  return s;
}

TEST_F(Arrays, VDTakesItsIdentityFromTheBlock) {
  KelVirDevice* vd = MakeVD({KEL_RAID_01, 4, 0x81});
  EXPECT_EQ(vd->m_dw64StartSector, 64u);
  EXPECT_EQ(vd->m_dw64SectorLength, kLen);
  EXPECT_EQ(vd->m_dwVDId, 0x181u);
  EXPECT_EQ(vd->m_byRaidType, KEL_RAID_01);
  EXPECT_TRUE(vd->IsVDValid());
  EXPECT_EQ(vd->ArraySlot(), 3);  // second half, position 1

  _zr_vd_info info;
  vd->GetVDInfoLib(&info);
  EXPECT_EQ(std::string(info.VDName, 24), "vd-name-0123456789abcdef");
  EXPECT_EQ(info.array_position, 9);
  EXPECT_EQ(info.bVDInRaid, 1u);
  EXPECT_EQ(info.Capacity, kLen);
  EXPECT_EQ(info.StartSector, 64u);

  KelVirDevice* mirror = MakeVD({KEL_RAID_1, 2, 0x06});
  mirror->GetVDInfoLib(&info);
  EXPECT_EQ(info.array_position, 2);  // RAID 1 uses bits 0..1

  EXPECT_TRUE(vd->CheckSameVD(MakeVD({KEL_RAID_01, 4, 0x81})));
  EXPECT_FALSE(vd->CheckSameVD(MakeVD({KEL_RAID_01, 4, 0x01})));
  Blk longer{KEL_RAID_01, 4, 0x81};
  longer.len = kLen + 1;
  EXPECT_FALSE(vd->CheckSameVD(MakeVD(longer)));
}

TEST_F(Arrays, VDBelongsOnlyWhenTypeCountIdsAndMarkAgree) {
  auto ra = Make(KEL_RAID_5, 3, {0});
  EXPECT_TRUE(ra->CheckVDBelongArray(MakeVD({KEL_RAID_5, 3, 1})));
  EXPECT_FALSE(ra->CheckVDBelongArray(MakeVD({KEL_RAID_0, 3, 1})));
  EXPECT_FALSE(ra->CheckVDBelongArray(MakeVD({KEL_RAID_5, 4, 1})));

  // Ids beyond the VD count do not matter; ids within it do.
  uint32_t tail[8] = {0x100, 0x101, 0x102, 0x999, 7, 7, 7, 7};
  EXPECT_TRUE(ra->CheckVDBelongArray(MakeVD({KEL_RAID_5, 3, 1}, tail)));
  uint32_t other[8] = {0x100, 0x999, 0x102, 0x103, 0, 0, 0, 0};
  EXPECT_FALSE(ra->CheckVDBelongArray(MakeVD({KEL_RAID_5, 3, 1}, other)));

  // A count of zero never groups VDs.
  auto zero = Make(KEL_RAID_SPAN, 0, {0});
  EXPECT_FALSE(zero->CheckVDBelongArray(MakeVD({KEL_RAID_SPAN, 0, 1})));

  // The array mark separates arrays only when both blocks carry a side value.
  auto marked = std::unique_ptr<KelRaidArray>(KelNewRaidArray(nullptr, KEL_RAID_1));
  Blk first{KEL_RAID_1, 2, 0};
  first.side = 1;
  first.mark = 5;
  ASSERT_TRUE(marked->AddVD2arVDs(MakeVD(first)));
  Blk sameMark{KEL_RAID_1, 2, 1, 1, 1, 1, 0, kLen, 5};
  Blk otherMarkSide{KEL_RAID_1, 2, 1, 1, 1, 1, 0, kLen, 6};
  Blk otherMarkNoSide{KEL_RAID_1, 2, 1, 0, 1, 1, 0, kLen, 6};
  EXPECT_TRUE(marked->CheckVDBelongArray(MakeVD(sameMark)));
  EXPECT_FALSE(marked->CheckVDBelongArray(MakeVD(otherMarkSide)));
  EXPECT_TRUE(marked->CheckVDBelongArray(MakeVD(otherMarkNoSide)));
}

TEST_F(Arrays, SameArrayAcrossScans) {
  KelRaid1 a(nullptr), b(nullptr);
  uint32_t mirrors[8] = {0x100, 0x101};
  uint32_t withSpare[8] = {0x101, 0x100, 0x102};
  a.SetVDGUID(mirrors);
  b.SetVDGUID(withSpare);
  EXPECT_TRUE(a.CheckSameArray(&b));  // spare added, mirrors swapped: still the same
  uint32_t otherMirror[8] = {0x100, 0x102};
  b.SetVDGUID(otherMirror);
  EXPECT_FALSE(a.CheckSameArray(&b));

  KelRaid0 s(nullptr), t(nullptr);
  s.SetVDGUID(mirrors);
  t.SetVDGUID(withSpare);
  EXPECT_FALSE(s.CheckSameArray(&t));  // order and every id count for other levels
  t.SetVDGUID(mirrors);
  EXPECT_TRUE(s.CheckSameArray(&t));
  EXPECT_FALSE(s.CheckSameArray(&a));  // different type
}

TEST_F(Arrays, PositionsOutsideTheTableAreRefused) {
  auto ra = Make(KEL_RAID_01, 4, {0x00, 0x01, 0x80, 0x81});
  EXPECT_EQ(ra->m_byVDNum, 4);
  EXPECT_EQ(ra->m_arVDs[2]->m_nPosition, 8);  // second half, position 0

  testing::internal::CaptureStdout();
  EXPECT_FALSE(ra->AddVD2arVDs(MakeVD({KEL_RAID_01, 4, 0x01})));  // taken
  EXPECT_FALSE(ra->AddVD2arVDs(MakeVD({KEL_RAID_01, 4, 0x02})));  // beyond its half
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("arVDs[byVDIndex] == NULL"), std::string::npos);
  EXPECT_NE(out.find("byVDIndex <= MAX_VD_PER_ARRAY"), std::string::npos);

  // A block claiming 14 members puts its second-half position 6 at slot 13.
  std::unique_ptr<KelRaidArray> wide(KelNewRaidArray(nullptr, KEL_RAID_01));
  wide->SetVDGUID(kIds);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(wide->AddVD2arVDs(MakeVD({KEL_RAID_01, 14, 0x86})));
  EXPECT_NE(testing::internal::GetCapturedStdout().find("byVDIndex <= MAX_VD_PER_ARRAY"),
            std::string::npos);
  EXPECT_EQ(wide->m_byVDNum, 0);
  EXPECT_EQ(std::memcmp(wide->m_dwVDGUID, kIds, sizeof kIds), 0);  // neighbours untouched
}

TEST_F(Arrays, StatusWordAndMinimumMembers) {
  auto r0 = Make(KEL_RAID_0, 3, {0, 2});
  EXPECT_EQ(r0->ValidateRaidArray(), 1);
  EXPECT_EQ(r0->status, KEL_RA_STATUS_MISSING);
  EXPECT_EQ(r0->m_byDiskNum, 3);
  EXPECT_EQ(r0->m_byVDNum, 2);

  testing::internal::CaptureStdout();
  auto single = Make(KEL_RAID_0, 1, {0});
  EXPECT_EQ(single->ValidateRaidArray(), 0);
  auto small5 = Make(KEL_RAID_5, 2, {0, 1});
  EXPECT_EQ(small5->ValidateRaidArray(), 0);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("byArrayVDNum > 1"), std::string::npos);
  EXPECT_NE(out.find("byArrayVDNum > 2"), std::string::npos);

  auto span = Make(KEL_RAID_SPAN, 1, {0});
  EXPECT_EQ(span->ValidateRaidArray(), 1);
  EXPECT_EQ(span->status, 0);

  // A synchronisation target left unfinished needs synchronisation and cannot be a source.
  auto r1 = std::unique_ptr<KelRaidArray>(KelNewRaidArray(nullptr, KEL_RAID_1));
  Blk target{KEL_RAID_1, 2, 0};
  target.state = 1 | 0x10;
  ASSERT_TRUE(r1->AddVD2arVDs(MakeVD(target)));
  EXPECT_EQ(r1->ValidateRaidArray(), 1);
  EXPECT_EQ(r1->status, KEL_RA_STATUS_MISSING | KEL_RA_STATUS_NEED_SYNC);
  EXPECT_EQ(r1->m_arVDs[0]->m_wdStatus, KEL_VD_STATUS_NEED_SYNC | KEL_VD_STATUS_NOT_SOURCE);
  EXPECT_EQ(SyncStatus(*r1), KEL_SYNC_NOT_POSSIBLE);
}

TEST_F(Arrays, MirrorSynchronisationStatus) {
  auto build = [&](uint64_t sideA, uint64_t sideB, uint8_t flags) {
    std::unique_ptr<KelRaidArray> ra(KelNewRaidArray(nullptr, KEL_RAID_1));
    Blk a{KEL_RAID_1, 2, 0, sideA, 1, flags};
    Blk b{KEL_RAID_1, 2, 1, sideB, 1, flags};
    EXPECT_TRUE(ra->AddVD2arVDs(MakeVD(a)));
    EXPECT_TRUE(ra->AddVD2arVDs(MakeVD(b)));
    ra->ValidateRaidArray();
    return ra;
  };
  auto healthy = build(0, 0, 1);
  EXPECT_EQ(healthy->status, 0);
  EXPECT_EQ(SyncStatus(*healthy), KEL_SYNC_NOT_NEEDED);

  auto oneSource = build(1, 0, 1);
  EXPECT_EQ(oneSource->status, KEL_RA_STATUS_NEED_SYNC);
  EXPECT_EQ(oneSource->m_arVDs[1]->m_wdStatus, KEL_VD_STATUS_NEED_SYNC);
  EXPECT_EQ(oneSource->m_arVDs[0]->m_wdStatus, 0);
  EXPECT_EQ(SyncStatus(*oneSource), KEL_SYNC_POSSIBLE);
  oneSource->nSyncMigReplacing = KEL_TASK_SYNC;
  EXPECT_EQ(SyncStatus(*oneSource), KEL_SYNC_RUNNING);

  EXPECT_EQ(SyncStatus(*build(1, 1, 1)), KEL_SYNC_NOT_POSSIBLE);
  EXPECT_EQ(SyncStatus(*build(0, 0, 1 | KEL_VD_FLAG_SYNC)), KEL_SYNC_NOT_POSSIBLE);
  EXPECT_EQ(healthy->CanbeRepair(), ZR_NOT_REPAIRABLE);
}

TEST_F(Arrays, Raid5RepairAndSynchronisation) {
  auto full = Make(KEL_RAID_5, 3, {0, 1, 2});
  full->ValidateRaidArray();
  EXPECT_EQ(full->CanbeRepair(), ZR_NOTHING_TO_REPAIR);

  auto degraded = Make(KEL_RAID_5, 3, {0, 2});
  degraded->ValidateRaidArray();
  EXPECT_EQ(degraded->CanbeRepair(), ZR_OK);
  EXPECT_EQ(Make(KEL_RAID_5, 3, {0})->CanbeRepair(), ZR_NOT_REPAIRABLE);

  // One member rebuilt from sources that carry a side value.
  std::unique_ptr<KelRaidArray> ra(KelNewRaidArray(nullptr, KEL_RAID_5));
  ra->AddVD2arVDs(MakeVD({KEL_RAID_5, 3, 0, 1}));
  ra->AddVD2arVDs(MakeVD({KEL_RAID_5, 3, 1, 0}));
  ra->AddVD2arVDs(MakeVD({KEL_RAID_5, 3, 2, 1}));
  ra->ValidateRaidArray();
  EXPECT_EQ(ra->status, KEL_RA_STATUS_NEED_SYNC);
  EXPECT_EQ(ra->m_arVDs[1]->m_wdStatus, KEL_VD_STATUS_NEED_SYNC);
  EXPECT_EQ(SyncStatus(*ra), KEL_SYNC_POSSIBLE);

  // With the target's block still valid but a source gone, the rebuild cannot run and the
  // array cannot be repaired either.
  ra->m_arVDs[2] = nullptr;
  ra->ValidateRaidArray();
  EXPECT_EQ(SyncStatus(*ra), KEL_SYNC_NOT_POSSIBLE);
  EXPECT_EQ(ra->CanbeRepair(), ZR_NOT_REPAIRABLE);
}

TEST_F(Arrays, Raid01Repairability) {
  auto full = Make(KEL_RAID_01, 4, {0x00, 0x01, 0x80, 0x81});
  full->ValidateRaidArray();
  EXPECT_EQ(full->status, 0);
  EXPECT_EQ(full->CanbeRepair(), ZR_NOTHING_TO_REPAIR);

  auto oneGone = Make(KEL_RAID_01, 4, {0x00, 0x01, 0x81});
  oneGone->ValidateRaidArray();
  EXPECT_EQ(oneGone->CanbeRepair(), ZR_OK);
  auto pairGone = Make(KEL_RAID_01, 4, {0x01, 0x81});
  pairGone->ValidateRaidArray();
  EXPECT_EQ(pairGone->CanbeRepair(), ZR_NOT_REPAIRABLE);
  auto two = Make(KEL_RAID_01, 2, {0x00, 0x80});
  two->ValidateRaidArray();
  EXPECT_EQ(two->CanbeRepair(), ZR_NOT_REPAIRABLE);

  // The survivor of a pair was itself being rebuilt: nothing to copy from.
  std::unique_ptr<KelRaidArray> ra(KelNewRaidArray(nullptr, KEL_RAID_01));
  Blk survivor{KEL_RAID_01, 4, 0x00};
  survivor.state = 1 | 0x10;
  ra->AddVD2arVDs(MakeVD(survivor));
  ra->AddVD2arVDs(MakeVD({KEL_RAID_01, 4, 0x01}));
  ra->AddVD2arVDs(MakeVD({KEL_RAID_01, 4, 0x81}));
  ra->ValidateRaidArray();
  EXPECT_EQ(ra->CanbeRepair(), ZR_NOT_REPAIRABLE);
}

TEST_F(Arrays, CapacityStripeAndBlockSizeByLevel) {
  _zr_array_info info;
  auto r0 = Make(KEL_RAID_0, 3, {0, 1, 2});
  r0->GetArrayInfoLib(&info);
  EXPECT_EQ(info.Capacity(), 3 * kLen);
  EXPECT_EQ(info.stripeSize, 16u);
  EXPECT_EQ(info.blockSize, 0u);
  EXPECT_EQ(info.diskNum, 3);
  EXPECT_EQ(info.version, KEL_FORMAT_CURRENT);
  EXPECT_EQ(info.GUID[3], 0x103u);

  Make(KEL_RAID_1, 2, {1})->GetArrayInfoLib(&info);
  EXPECT_EQ(info.Capacity(), kLen);
  EXPECT_EQ(info.stripeSize, 0u);

  Make(KEL_RAID_5, 4, {1, 2, 3})->GetArrayInfoLib(&info);
  EXPECT_EQ(info.Capacity(), 3 * kLen);
  EXPECT_EQ(info.stripeSize, 16u);
  EXPECT_EQ(info.blockSize, 4u * 256u);

  Make(KEL_RAID_01, 4, {0x00, 0x81})->GetArrayInfoLib(&info);
  EXPECT_EQ(info.Capacity(), 2 * kLen);
  EXPECT_EQ(info.stripeSize, 16u);

  // A span counts its members in order up to the first gap.
  std::unique_ptr<KelRaidArray> span(KelNewRaidArray(nullptr, KEL_RAID_SPAN));
  Blk first{KEL_RAID_SPAN, 4, 0};
  first.len = 300;
  span->AddVD2arVDs(MakeVD(first));
  span->AddVD2arVDs(MakeVD({KEL_RAID_SPAN, 4, 1}));
  span->AddVD2arVDs(MakeVD({KEL_RAID_SPAN, 4, 3}));
  span->GetArrayInfoLib(&info);
  EXPECT_EQ(info.Capacity(), 300 + kLen);
}

TEST_F(Arrays, MigrationStatus) {
  auto idle = Make(KEL_RAID_0, 2, {0, 1});
  idle->ValidateRaidArray();
  EXPECT_EQ(idle->GetRAMigStatus(), KEL_SYNC_NOT_NEEDED);

  std::unique_ptr<KelRaidArray> ra(KelNewRaidArray(nullptr, KEL_RAID_0));
  Blk mig{KEL_RAID_0, 2, 0};
  mig.flags2 = KEL_VD_FLAG2_MIGRATE;
  ra->AddVD2arVDs(MakeVD(mig));
  ra->ValidateRaidArray();
  EXPECT_TRUE(ra->bNeedMigration);
  EXPECT_EQ(ra->GetRAMigStatus(), KEL_SYNC_NOT_POSSIBLE);  // member 1 missing
  ra->AddVD2arVDs(MakeVD({KEL_RAID_0, 2, 1}));
  ra->ValidateRaidArray();
  EXPECT_EQ(ra->GetRAMigStatus(), KEL_SYNC_POSSIBLE);
  ra->nSyncMigReplacing = KEL_TASK_MIGRATE;
  EXPECT_EQ(ra->GetRAMigStatus(), KEL_SYNC_RUNNING);
}

TEST_F(Arrays, DisksThatCannotBeUsedAndPlainDisks) {
  std::unique_ptr<KelRaidArray> ra(KelNewRaidArray(nullptr, KEL_RAID_1));
  KelVirDevice* a = MakeVD({KEL_RAID_1, 2, 0, 1}, kIds, true);
  KelVirDevice* b = MakeVD({KEL_RAID_1, 2, 1, 0}, kIds, true);
  ra->AddVD2arVDs(a);
  ra->AddVD2arVDs(b);
  b->m_pPD->m_wdFlag = KEL_PD_FLAG_UNREADABLE;
  ra->ValidateRaidArray();
  EXPECT_EQ(ra->status, KEL_RA_STATUS_INVALID | KEL_RA_STATUS_NEED_SYNC);
  EXPECT_EQ(SyncStatus(*ra), KEL_SYNC_NOT_POSSIBLE);
  b->m_pPD->m_wdFlag = 0;
  b->systemVD = 2;
  ra->ValidateRaidArray();
  EXPECT_EQ(SyncStatus(*ra), KEL_SYNC_POSSIBLE);
  EXPECT_EQ(ra->systemDisk, 2);

  pds_.push_back(std::make_unique<KelPhyDevice>(nullptr, nullptr, nullptr, 0, 1, 0, false, -1));
  KelPhyDevice* disk = pds_.back().get();
  disk->m_DevInfo.SetCapacity(123456);
  disk->m_bySystemDisk = 2;
  KelRaidPD plain(nullptr, disk);
  EXPECT_EQ(plain.ValidateRaidArray(), 1);
  _zr_array_info info;
  plain.GetArrayInfoLib(&info);
  EXPECT_EQ(info.raidType, KEL_RAID_PD);
  EXPECT_EQ(info.version, KEL_FORMAT_PD);
  EXPECT_EQ(plain.m_bRaidArray, 0);
  EXPECT_EQ(info.Capacity(), 123456u);
  EXPECT_EQ(info.systemDisk, 2);
  EXPECT_EQ(plain.CanbeRepair(), ZR_NOT_REPAIRABLE);
  EXPECT_FALSE(plain.CheckVDBelongArray(a));
  KelRaidPD same(nullptr, disk);
  EXPECT_TRUE(plain.CheckSameArray(&same));
  EXPECT_FALSE(plain.CheckSameArray(ra.get()));
}

}  // namespace
