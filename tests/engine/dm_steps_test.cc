// Synchronisation and migration steps through the engine, the data-moving sub-commands
// answered by the test (step_fixture.h).
#include <gtest/gtest.h>

#include "step_fixture.h"

namespace {

constexpr uint64_t kLen = 1000;
constexpr uint64_t kAllOnes = ~uint64_t{0};

struct SyncCase {
  const char* what;
  uint8_t raidType;
  int count;
  uint8_t stripe;
  uint64_t unit;   // sectors per position unit
  int pairs;       // VDs written per chunk
};

class DmSteps : public StepSimTest, public testing::WithParamInterface<SyncCase> {
 protected:
  // An array whose first half of members are the copies to read and the rest (RAID 1 and
  // RAID 5: the last member only) the unfinished targets of a synchronisation.
  void BuildNeedingSync(const SyncCase& c, uint8_t flags104 = 0) {
    std::vector<ConfVd> m = ArrayMembers(
        {.raidType = c.raidType, .length = kLen, .stripeSectors = c.stripe, .arrayMark = 7,
         .flags104 = flags104}, c.count, 0x10);
    for (int i = 0; i < c.count; ++i) {
      const bool target = c.raidType == KEL_RAID_01 ? i >= c.count / 2 : i == c.count - 1;
      m[i].sideValue = target ? 0 : 1;
      m[i].extraState = target ? KEL_VD_STATE_SYNC_TARGET : 0;
      Import(AddDisk(i / 2, i % 2), MakeArea({m[i]}));
    }
    Build();
  }
  int Step(const SyncCase& c, uint64_t* pos, uint16_t* pct) {
    KelRaidArray* ra = OnlyArray();
    if (c.raidType == KEL_RAID_1) return DM().SyncMirrorL(Ref(ra), pos, pct);
    if (c.raidType == KEL_RAID_5) return DM().SyncRaid5L(Ref(ra), pos, pct);
    return DM().SyncRaid01L(Ref(ra), pos, pct, 3);
  }
};

// Every chunk follows the last one, each crossing of a percent boundary records on the disks
// the position after that chunk (configuration write, then the driver's copy), and a rescan
// between any two steps changes nothing. Recording the position before the chunk, or
// keeping it in the arrays a save destroys, repeats the same chunk for ever.
TEST_P(DmSteps, ChunksFollowEachOtherAndProgressIsRecordedAfterTheChunk) {
  const SyncCase c = GetParam();
  BuildNeedingSync(c);
  int rc = ZR_OK;
  uint16_t pct[4] = {};
  for (int i = 0; i < 40 && rc == ZR_OK; ++i) {
    rc = Step(c, nullptr, pct);
    Rescan();
  }
  ASSERT_EQ(rc, ZR_SYNC_FINISHED);
  EXPECT_EQ(pct[0], 100);

  uint64_t next = 0, lastEnd = 0;
  bool wroteSinceChunk = false;
  for (const StepCmd& cmd : m_steps->Cmds()) {
    if (cmd.code == KEL_UCMD_WRITE_MULTI_CONF) wroteSinceChunk = true;
    if (cmd.code == KEL_UCMD_SYNC_SAVE && cmd.U64(4) != kAllOnes) {
      EXPECT_TRUE(wroteSinceChunk);
      EXPECT_EQ(cmd.U64(4), lastEnd);
    }
    if (cmd.code != KEL_UCMD_SYNC || cmd.U64(26) == kAllOnes) continue;
    EXPECT_EQ(cmd.param[0], c.pairs);
    EXPECT_EQ(cmd.U64(26), next);
    EXPECT_LE(cmd.U64(34), 128u);
    next = lastEnd = cmd.U64(26) + cmd.U64(34);
    wroteSinceChunk = false;
  }
  EXPECT_EQ(next, (kLen + c.unit - 1) / c.unit * c.unit);
  EXPECT_EQ(m_steps->Cmds(KEL_UCMD_SYNC).back().U64(26), kAllOnes);
  EXPECT_EQ(ArrayInfo(OnlyArray()).status & KEL_RA_STATUS_NEED_SYNC, 0);
  EXPECT_EQ(OnlyArray()->nSyncMigReplacing, KEL_TASK_NONE);
}

// A restart loses the table; the disks tell where to go on: at the last recorded position.
TEST_P(DmSteps, ARestartResumesAtTheRecordedPosition) {
  const SyncCase c = GetParam();
  BuildNeedingSync(c);
  uint16_t pct[4] = {};
  for (int i = 0; i < 3; ++i) ASSERT_EQ(Step(c, nullptr, pct), ZR_OK);
  EXPECT_EQ(OnlyArray()->nSyncMigReplacing, KEL_TASK_SYNC);
  const uint64_t recorded = m_steps->Cmds(KEL_UCMD_SYNC_SAVE).back().U64(4);
  m_dm.reset();
  Build();
  EXPECT_EQ(OnlyArray()->nSyncMigReplacing, KEL_TASK_NONE);
  ASSERT_EQ(Step(c, nullptr, pct), ZR_OK);
  EXPECT_EQ(m_steps->Cmds(KEL_UCMD_SYNC).back().U64(26), recorded);
}

// A refused chunk ends the task (300) with nothing recorded for it; a cancel sends one
// zero-length chunk and ends it as well.
TEST_P(DmSteps, AFailedChunkAndACancelEndTheTask) {
  const SyncCase c = GetParam();
  BuildNeedingSync(c);
  uint16_t pct[4] = {};
  ASSERT_EQ(Step(c, nullptr, pct), ZR_OK);
  const size_t writes = m_steps->Cmds(KEL_UCMD_WRITE_MULTI_CONF).size();
  m_steps->Fail(KEL_UCMD_SYNC);
  EXPECT_EQ(Step(c, nullptr, pct), ZR_NO_SYNC_NEEDED);
  EXPECT_EQ(m_steps->Cmds(KEL_UCMD_WRITE_MULTI_CONF).size(), writes);
  EXPECT_EQ(OnlyArray()->nSyncMigReplacing, KEL_TASK_NONE);

  m_steps->Fail(0);
  ASSERT_EQ(Step(c, nullptr, pct), ZR_OK);
  EXPECT_EQ(Step(c, nullptr, nullptr), ZR_OK);
  EXPECT_EQ(m_steps->Cmds(KEL_UCMD_SYNC).back().U64(34), 0u);
  EXPECT_EQ(OnlyArray()->nSyncMigReplacing, KEL_TASK_NONE);
}

INSTANTIATE_TEST_SUITE_P(
    Levels, DmSteps,
    testing::Values(SyncCase{"raid1", KEL_RAID_1, 2, 0, 1, 1},
                    SyncCase{"raid5", KEL_RAID_5, 4, 16, 16, 1},
                    SyncCase{"raid01", KEL_RAID_01, 4, 16, 1, 2}),
    [](const testing::TestParamInfo<SyncCase>& i) { return std::string(i.param.what); });

// Migration moves the first VD's length in order, brings the parked last sectors back once,
// and leaves the array without its migration mark.
TEST_F(DmSteps, MigrationRunsToTheEndAndClearsItsMark) {
  BuildNeedingSync({"raid0", KEL_RAID_0, 2, 16, 1, 1}, KEL_VD_FLAG_MIGRATE);
  ASSERT_TRUE(OnlyArray()->bNeedMigration);
  uint16_t pct = 0;
  int rc = ZR_OK;
  for (int i = 0; i < 40 && rc == ZR_OK; ++i) {
    rc = DM().MigRateArrayL(Ref(OnlyArray()), nullptr, &pct);
    Rescan();
  }
  ASSERT_EQ(rc, ZR_MIG_FINISHED);
  uint64_t next = 0;
  for (const StepCmd& cmd : m_steps->Cmds(KEL_UCMD_MIGRATE)) {
    EXPECT_EQ(cmd.U64(4), next);
    next += cmd.U64(12);
  }
  EXPECT_EQ(next, kLen);
  EXPECT_EQ(m_steps->Cmds(KEL_UCMD_RECOVER_LAST_DATA).size(), 1u);
  EXPECT_FALSE(OnlyArray()->bNeedMigration);
}

}  // namespace
