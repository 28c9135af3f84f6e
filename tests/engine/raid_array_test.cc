// Arrays and VDs built over configuration blocks from the reference builder: assembly and its
// refusals, identity across scans, status words, and the synchronisation, migration and
// repair judgements of every level.
#include "engine/raid_array.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/phy_device.h"
#include "engine/vir_device.h"
#include "tests/support/conf_area_builder.h"

namespace {

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
    std::vector<uint8_t> bytes =
        kel_test::ConfAreaBuilder()
            .Vd(0, {.raidType = b.type, .vdCount = b.count, .position = uint8_t(b.pos & 7),
                    .secondHalf = (b.pos & 0x80) != 0, .start = 64, .length = b.len,
                    .stripeSectors = 32, .levelParam = 3, .memberIds = {ids, ids + 8},
                    .sideValue = b.side, .arrayMark = b.mark, .extraState = uint16_t(b.state & ~1),
                    .flags104 = b.flags, .flags105 = b.flags2, .valid = (b.state & 1) != 0,
                    .vdId = 0x100u + b.pos})
            .Bytes();
    auto area = std::make_unique<_PD_Config_sector_>();
    std::memcpy(area->b, bytes.data(), sizeof area->b);
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
  EXPECT_EQ(MakeVD({KEL_RAID_1, 3, 6})->m_nPosition, 2);  // a mirror's position: bits 0..1
  EXPECT_EQ(MakeVD({KEL_RAID_0, 8, 6})->m_nPosition, 6);
  _zr_vd_info info;
  vd->GetVDInfoLib(&info);
  EXPECT_EQ(info.array_position, 9);
  EXPECT_EQ(info.array_index, 255);  // in no array yet

  // The same VD across scans: same length, id, type and position.
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

  // The array mark separates arrays whenever both blocks carry one; an unmarked block joins.
  auto marked = std::unique_ptr<KelRaidArray>(KelNewRaidArray(nullptr, KEL_RAID_1));
  ASSERT_TRUE(marked->AddVD2arVDs(MakeVD({KEL_RAID_1, 2, 0, 1, 1, 1, 0, kLen, 5})));
  for (auto [side, mark, joins] :
       {std::tuple{1, 5, true}, {1, 6, false}, {0, 6, false}, {0, 0, true}})
    EXPECT_EQ(marked->CheckVDBelongArray(MakeVD({KEL_RAID_1, 2, 1, uint64_t(side), 1, 1, 0, kLen,
                                                 uint64_t(mark)})), joins)
        << side << " " << mark;
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

TEST_F(Arrays, TooFewMembersAreReported) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(Make(KEL_RAID_0, 1, {0})->ValidateRaidArray(), 0);
  EXPECT_EQ(Make(KEL_RAID_5, 2, {0, 1})->ValidateRaidArray(), 0);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("byArrayVDNum > 1"), std::string::npos);
  EXPECT_NE(out.find("byArrayVDNum > 2"), std::string::npos);
  EXPECT_EQ(Make(KEL_RAID_SPAN, 1, {0})->ValidateRaidArray(), 1);
}

// One member of a judged array, with the VD status word it must get.
struct Judged {
  uint8_t pos;
  uint64_t side = 0;
  uint16_t state = 1;  // 0x11: an unfinished synchronisation target
  uint8_t flags = 1;
  uint8_t flags2 = 0;
  uint16_t vdStatus = 0;
};
constexpr uint16_t kNS = KEL_VD_STATUS_NEED_SYNC, kNSS = kNS | KEL_VD_STATUS_NOT_SOURCE;
constexpr uint16_t kMiss = KEL_RA_STATUS_MISSING, kSync = KEL_RA_STATUS_NEED_SYNC;
constexpr int kNotNeeded = KEL_SYNC_NOT_NEEDED, kPossible = KEL_SYNC_POSSIBLE;
constexpr int kImpossible = KEL_SYNC_NOT_POSSIBLE;
constexpr int kNo = ZR_NOT_REPAIRABLE, kNothing = ZR_NOTHING_TO_REPAIR;

TEST_F(Arrays, StatusSynchronisationRepairAndMigrationJudgements) {
  const struct {
    const char* what;
    uint8_t type, count;
    std::vector<Judged> members;
    uint16_t status;
    int sync, repair, migration;
  } kCases[] = {
      {"RAID 0 missing a member", KEL_RAID_0, 3, {{0}, {2}}, kMiss, kNotNeeded, kNo, kNotNeeded},
      {"span of one", KEL_RAID_SPAN, 1, {{0}}, 0, kNotNeeded, kNo, kNotNeeded},
      {"RAID 0 migrating, member 1 missing", KEL_RAID_0, 2, {{.pos = 0, .flags2 = 2}}, kMiss,
       kNotNeeded, kNo, kImpossible},
      {"RAID 0 migrating", KEL_RAID_0, 2, {{.pos = 0, .flags2 = 2}, {1}}, 0, kNotNeeded, kNo,
       kPossible},
      {"mirror in step", KEL_RAID_1, 2, {{0}, {1}}, 0, kNotNeeded, kNo, kNotNeeded},
      {"mirror: one source", KEL_RAID_1, 2, {{0, 1}, {.pos = 1, .vdStatus = kNS}}, kSync,
       kPossible, kNo, kNotNeeded},
      {"mirror: two sources", KEL_RAID_1, 2,
       {{.pos = 0, .side = 1, .vdStatus = kNS}, {.pos = 1, .side = 1, .vdStatus = kNS}}, kSync,
       kImpossible, kNo, kNotNeeded},
      {"mirror: both marked running", KEL_RAID_1, 2,
       {{.pos = 0, .flags = 0x11, .vdStatus = kNS}, {.pos = 1, .flags = 0x11, .vdStatus = kNS}},
       kSync, kImpossible, kNo, kNotNeeded},
      {"mirror: lone unfinished target", KEL_RAID_1, 2,
       {{.pos = 0, .state = 0x11, .vdStatus = kNSS}}, kMiss | kSync, kImpossible, kNo, kNotNeeded},
      {"RAID 5 whole", KEL_RAID_5, 3, {{0}, {1}, {2}}, 0, kNotNeeded, kNothing, kNotNeeded},
      {"RAID 5 one missing", KEL_RAID_5, 3, {{0}, {2}}, kMiss, kNotNeeded, ZR_OK, kNotNeeded},
      {"RAID 5 two missing", KEL_RAID_5, 3, {{0}}, kMiss, kNotNeeded, kNo, kNotNeeded},
      {"RAID 5 rebuilding member 1", KEL_RAID_5, 3, {{0, 1}, {.pos = 1, .vdStatus = kNS}, {2, 1}},
       kSync, kPossible, kNothing, kNotNeeded},
      // The target's block is still valid but a source is gone: neither rebuild nor repair.
      {"RAID 5 rebuild without a source", KEL_RAID_5, 3, {{0, 1}, {.pos = 1, .vdStatus = kNS}},
       kMiss | kSync, kImpossible, kNo, kNotNeeded},
      {"RAID 0+1 whole", KEL_RAID_01, 4, {{0x00}, {0x01}, {0x80}, {0x81}}, 0, kNotNeeded, kNothing,
       kNotNeeded},
      {"RAID 0+1 one missing", KEL_RAID_01, 4, {{0x00}, {0x01}, {0x81}}, kMiss, kNotNeeded, ZR_OK,
       kNotNeeded},
      {"RAID 0+1 a pair missing", KEL_RAID_01, 4, {{0x01}, {0x81}}, kMiss, kNotNeeded, kNo,
       kNotNeeded},
      {"RAID 0+1 of two", KEL_RAID_01, 2, {{0x00}, {0x80}}, 0, kNotNeeded, kNo, kNotNeeded},
      // The survivor of a pair was itself being rebuilt: nothing to copy from.
      {"RAID 0+1 survivor unfinished", KEL_RAID_01, 4,
       {{.pos = 0x00, .state = 0x11, .vdStatus = kNSS}, {0x01}, {0x81}}, kMiss | kSync,
       kImpossible, kNo, kNotNeeded},
      {"RAID 0+1 one copy to rebuild", KEL_RAID_01, 4,
       {{0x00, 1}, {0x01}, {.pos = 0x80, .vdStatus = kNS}, {0x81}}, kSync, kPossible, kNothing,
       kNotNeeded},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    std::unique_ptr<KelRaidArray> ra(KelNewRaidArray(nullptr, c.type));
    for (const Judged& m : c.members)
      ASSERT_TRUE(ra->AddVD2arVDs(
          MakeVD({c.type, c.count, m.pos, m.side, m.state, m.flags, m.flags2})));
    EXPECT_EQ(ra->ValidateRaidArray(), 1);
    EXPECT_EQ(ra->status, c.status);
    for (const Judged& m : c.members)
      EXPECT_EQ(ra->m_arVDs[MakeVD({c.type, c.count, m.pos})->ArraySlot()]->m_wdStatus, m.vdStatus)
          << "position " << int(m.pos);
    EXPECT_EQ(SyncStatus(*ra), c.sync);
    EXPECT_EQ(ra->CanbeRepair(), c.repair);
    EXPECT_EQ(ra->GetRAMigStatus(), c.migration);
    // A running task is reported as such whatever the state.
    ra->nSyncMigReplacing = KEL_TASK_SYNC;
    EXPECT_EQ(SyncStatus(*ra),
              c.type == KEL_RAID_0 || c.type == KEL_RAID_SPAN ? kNotNeeded : KEL_SYNC_RUNNING);
    ra->nSyncMigReplacing = KEL_TASK_MIGRATE;
    EXPECT_EQ(ra->GetRAMigStatus(), KEL_SYNC_RUNNING);
  }
}

TEST_F(Arrays, DisksThatCannotBeUsedAndPlainDisks) {
  std::unique_ptr<KelRaidArray> ra(KelNewRaidArray(nullptr, KEL_RAID_1));
  KelVirDevice* a = MakeVD({KEL_RAID_1, 2, 0, 1}, kIds, true);
  KelVirDevice* b = MakeVD({KEL_RAID_1, 2, 1, 0}, kIds, true);
  for (KelVirDevice* v : {a, b}) ra->AddVD2arVDs(v);
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
  EXPECT_EQ(info.Capacity(), 123456u);
  EXPECT_EQ(info.systemDisk, 2);
  EXPECT_EQ(plain.CanbeRepair(), ZR_NOT_REPAIRABLE);
  EXPECT_FALSE(plain.CheckVDBelongArray(a));
  KelRaidPD same(nullptr, disk);
  EXPECT_TRUE(plain.CheckSameArray(&same));
  EXPECT_FALSE(plain.CheckSameArray(ra.get()));
}

}  // namespace
