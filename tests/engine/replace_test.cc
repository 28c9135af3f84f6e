// Disk replacement through the engine on the simulated controller, checked by content: the
// array's data is summed before and after, and the disks' areas are read back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/replace_plan.h"
#include "engine_fixture.h"
#include "sim/sim_volume_ops.h"

namespace {

constexpr uint64_t kL = 20000;

_Index_Plus_t Ref(const KelPhyDevice* pd) { return {pd->m_nIndex, pd->m_wdMagicNum, 0}; }
_Index_Plus_t Ref(const KelRaidArray* ra) { return {ra->m_nIndex, ra->m_wdMagicNum, 0}; }

// ---------------------------------------------------------------- the arithmetic

TEST(ReplacePlan, ChunksStayInsideEachAreaAndProgressIsCountedOnce) {
  const KelRplArea areas[] = {{5000, 5500, 1}, {100, 1100, 0}};  // given out of order
  KelRplProgress p = KelRplStart(areas, 2, 9000, 0);
  std::vector<std::pair<uint64_t, uint64_t>> chunks;
  while (!KelRplFinished(p)) {
    chunks.push_back({p.cur, p.chunk});
    ASSERT_LE(p.cur + p.chunk, p.areas[p.area].end);
    KelRplAdvance(&p);
  }
  EXPECT_EQ(chunks.size(), 8u + 4u);  // 1000 = 7 x 128 + 104; 500 = 3 x 128 + 116
  EXPECT_EQ(chunks.front(), std::make_pair(uint64_t{100}, uint64_t{128}));
  EXPECT_EQ(chunks[7], std::make_pair(uint64_t{996}, uint64_t{104}));
  EXPECT_EQ(chunks[8].first, 5000u);
  EXPECT_EQ(p.done, 1500u);
  EXPECT_EQ(p.cur, 9000u);
  EXPECT_EQ(KelRplPercent(p), 100);
}

TEST(ReplacePlan, AResumeCountsWhatLiesBeforeTheRecordedPosition) {
  const KelRplArea areas[] = {{100, 1100, 0}, {5000, 5500, 1}};
  struct Case { uint64_t saved, cur, done; };
  for (const Case& c : {Case{0, 100, 0}, Case{600, 600, 500}, Case{3000, 5000, 1000},
                        Case{5100, 5100, 1100}, Case{5500, 9000, 1500}, Case{9000, 9000, 1500}}) {
    const KelRplProgress p = KelRplStart(areas, 2, 9000, c.saved);
    EXPECT_EQ(p.cur, c.cur) << c.saved;
    EXPECT_EQ(p.done, c.done) << c.saved;
  }
  // Nothing to copy is complete at once, without a division by zero.
  const KelRplProgress none = KelRplStart(areas, 0, 9000, 0);
  EXPECT_TRUE(KelRplFinished(none));
  EXPECT_EQ(KelRplPercent(none), 100);
  EXPECT_FALSE(KelRplPercentGrows(none));
}

TEST(ReplacePlan, TheTargetMustBeAnotherUsableEmptyLargeEnoughDisk) {
  const KelRplDiskView src{.index = 0, .hasConfig = true, .vdNum = 1, .usable = 1000, .lastVDEnd = 800};
  const KelRplDiskView tgt{.index = 1, .usable = 800};
  struct Case { const char* what; KelRplDiskView s, t; int rc; };
  auto with = [](KelRplDiskView v, auto f) { f(v); return v; };
  const Case cases[] = {
      {"fits exactly", src, tgt, ZR_OK},
      {"itself", src, with(tgt, [](auto& v) { v.index = 0; }), ZR_BAD_PARAM},
      {"source without VDs", with(src, [](auto& v) { v.vdNum = 0; }), tgt, ZR_BAD_PARAM},
      {"source unreadable", with(src, [](auto& v) { v.readable = false; }), tgt, ZR_PD_UNREADABLE},
      {"target unreadable", src, with(tgt, [](auto& v) { v.readable = false; }), ZR_PD_UNREADABLE},
      {"target contradictory", src, with(tgt, [](auto& v) { v.conflict = true; }), ZR_PD_UNREADABLE},
      {"target in use", src, with(tgt, [](auto& v) { v.hasConfig = true; v.vdNum = 1; }), ZR_PD_BUSY},
      {"source array busy", with(src, [](auto& v) { v.busy = true; }), tgt, ZR_PD_BUSY},
      {"target holds the system", src, with(tgt, [](auto& v) { v.system = true; }), ZR_SYSTEM_DISK},
      {"target too small", src, with(tgt, [](auto& v) { v.usable = 799; }), ZR_TOO_SMALL},
  };
  for (const Case& c : cases) EXPECT_EQ(KelRplCheckPair(c.s, c.t), c.rc) << c.what;
}

// ---------------------------------------------------------------- on the simulator

class Replace : public EngineSimTest {
 protected:
  // An array of `count` members, one per disk, with a pattern written through the
  // simulator's volume; then `extra` blank disks. Returns the members, then the blank disks.
  // With `blankFirst` the blank disks take the lower indexes.
  std::vector<std::string> BuildWithData(uint8_t raidType, int count, int extra,
                                         bool blankFirst = false) {
    std::vector<ConfVd> members = ArrayMembers(
        {.raidType = raidType, .length = kL, .stripeSectors = 128, .arrayMark = 0x77}, count, 0x10);
    std::vector<std::string> disks, blank;
    for (int i = 0; i < count + extra; ++i) {
      const std::string name = AddDisk(i / 2, i % 2);
      const int member = blankFirst ? i - extra : i;
      if (member >= 0 && member < count) {
        Import(name, MakeArea({members[member]}));
        disks.push_back(name);
      } else {
        blank.push_back(name);
      }
    }
    disks.insert(disks.end(), blank.begin(), blank.end());
    Build();
    std::string err;
    EXPECT_TRUE(KelSimVolumeWrite(Folder(), disks[0], 0, 42, {}, &err)) << err;
    m_sum = Sum(disks[0]);
    return disks;
  }

  std::string Sum(const std::string& disk) {
    std::string hex, err;
    EXPECT_TRUE(KelSimVolumeSum(Folder(), disk, 0, {}, &hex, &err)) << err;
    return hex;
  }

  // Steps until the copy ends; the percentages seen, or the failing code as the last entry.
  std::vector<int> RunCopy(const std::string& from, const std::string& to, int maxSteps = 100000) {
    std::vector<int> seen;
    for (int i = 0; i < maxSteps; ++i) {
      uint16_t percent = 0;
      const int rc = DM().ReplacePDDoOnceL(Ref(PDOf(from)), Ref(PDOf(to)), &percent);
      if (rc != ZR_OK && rc != ZR_RPL_FINISHED) return seen.push_back(-rc), seen;
      seen.push_back(percent);
      if (rc == ZR_RPL_FINISHED) break;
    }
    return seen;
  }

  // The first logical sector whose redundancy disagrees, UINT64_MAX when none.
  uint64_t FirstBad(const std::string& disk) {
    uint64_t bad = 0;
    std::string err;
    EXPECT_TRUE(KelSimVolumeCheck(Folder(), disk, 0, &bad, &err)) << err;
    return bad;
  }

  std::string m_sum;
};

struct LevelCase {
  const char* what;
  uint8_t raidType;
  int count;
};

class ReplaceLevel : public Replace, public testing::WithParamInterface<LevelCase> {};

TEST_P(ReplaceLevel, TheTargetBecomesTheMemberWithTheSameDataAndTheSourceIsBlank) {
  const std::vector<std::string> d = BuildWithData(GetParam().raidType, GetParam().count, 1);
  const std::string& src = d[1];
  const std::string& tgt = d.back();
  ASSERT_EQ(DM().ReplacePDCreateReltL(Ref(PDOf(src)), Ref(PDOf(tgt))), ZR_OK);
  EXPECT_TRUE(RaidArrays()[0]->bInReplacement);
  EXPECT_EQ(PDOf(tgt)->m_nVDNum, 0);  // the copy is not an array member before the end

  const std::vector<int> seen = RunCopy(src, tgt);
  ASSERT_FALSE(seen.empty());
  ASSERT_EQ(seen.back(), 100) << "step failed with " << -seen.back();
  for (size_t i = 1; i < seen.size(); ++i) ASSERT_GE(seen[i], seen[i - 1]);

  Rescan();
  ASSERT_EQ(RaidArrays().size(), 1u);
  const KelRaidArray* ra = RaidArrays()[0];
  EXPECT_FALSE(ra->bInReplacement);
  EXPECT_EQ(ArrayInfo(ra).status, 0);
  EXPECT_EQ(ra->m_arVDs[1]->m_pPD, PDOf(tgt));
  EXPECT_EQ(PDOf(tgt)->m_byRplRole, KEL_RPL_NONE);
  EXPECT_FALSE(PDOf(src)->m_bHasConfig);
  EXPECT_EQ(Export(src), std::vector<uint8_t>(KEL_CONF_AREA_SIZE, 0));
  EXPECT_EQ(Sum(tgt), m_sum);
  EXPECT_EQ(FirstBad(tgt), UINT64_MAX);
}

INSTANTIATE_TEST_SUITE_P(Levels, ReplaceLevel,
                         testing::Values(LevelCase{"raid1", KEL_RAID_1, 2},
                                         LevelCase{"raid5", KEL_RAID_5, 3}),
                         [](const auto& info) { return std::string(info.param.what); });

TEST_F(Replace, RefusedOntoItselfADiskInUseASmallerDiskAndWhileOneExists) {
  std::vector<std::string> d = BuildWithData(KEL_RAID_1, 2, 1);
  const std::string small = AddDisk(1, 1, -1, kL);  // usable space ends before the VD's end
  Rescan();
  EXPECT_EQ(DM().ReplacePDCreateReltL(Ref(PDOf(d[0])), Ref(PDOf(d[0]))), ZR_BAD_PARAM);
  EXPECT_EQ(DM().ReplacePDCreateReltL(Ref(PDOf(d[0])), Ref(PDOf(d[1]))), ZR_PD_BUSY);
  EXPECT_EQ(DM().ReplacePDCreateReltL(Ref(PDOf(d[0])), Ref(PDOf(small))), ZR_TOO_SMALL);
  EXPECT_EQ(DM().ReplacePDCreateReltL(Ref(PDOf(d[2])), Ref(PDOf(small))), ZR_BAD_PARAM);
  EXPECT_EQ(PDOf(d[1])->m_nVDNum, 1);  // the refused target keeps its member
  ASSERT_EQ(DM().ReplacePDCreateReltL(Ref(PDOf(d[0])), Ref(PDOf(d[2]))), ZR_OK);
  EXPECT_EQ(DM().ReplacePDCreateReltL(Ref(PDOf(d[1])), Ref(PDOf(small))), ZR_RPL_EXISTS);
}

// The target holds the area as it was at the start: a change made meanwhile would come back
// undone at the finish, so the arrays of the source refuse changes until the end.
TEST_F(Replace, TheSourceArraysRefuseChangesUntilTheReplacementEnds) {
  std::vector<std::string> d = BuildWithData(KEL_RAID_1, 2, 2);
  ASSERT_EQ(DM().ReplacePDCreateReltL(Ref(PDOf(d[0])), Ref(PDOf(d[2]))), ZR_OK);
  const _Index_Plus_t array = Ref(RaidArrays()[0]);
  int result = 0;
  EXPECT_EQ(DM().RemoveArraysL(1, &array, &result), ZR_SOME_NOT_REMOVED);
  EXPECT_EQ(result, ZR_PD_BUSY);
  EXPECT_EQ(DM().AddMirrorSpareL(array, Ref(PDOf(d[3]))), ZR_PD_BUSY);
  EXPECT_EQ(DM().SyncMirrorL(array, nullptr, nullptr), ZR_PD_BUSY);
  const _Index_Plus_t other = Ref(PDOf(d[1]));
  EXPECT_EQ(DM().ClearPDConfSect(1, &other), ZR_PD_BUSY);

  ASSERT_EQ(DM().ReplacePDRemoveReltL(Ref(PDOf(d[0])), Ref(PDOf(d[2]))), ZR_OK);
  EXPECT_FALSE(RaidArrays()[0]->bInReplacement);
  EXPECT_FALSE(PDOf(d[2])->m_bHasConfig);  // the cancelled copy is gone
  EXPECT_EQ(DM().AddMirrorSpareL(Ref(RaidArrays()[0]), Ref(PDOf(d[3]))), ZR_OK);
  EXPECT_EQ(Sum(d[1]), m_sum);
}

// A restart forgets the copy but not the disks' marks: the replacement is found whichever
// disk has the lower index, and resumes at the recorded position, not from the start.
TEST_F(Replace, AfterARestartTheCopyResumesFromTheRecordedPosition) {
  std::vector<std::string> d = BuildWithData(KEL_RAID_1, 2, 1, true);
  const std::string tgt = d[2];
  ASSERT_LT(PDOf(tgt)->m_nIndex, PDOf(d[1])->m_nIndex);
  ASSERT_EQ(DM().ReplacePDCreateReltL(Ref(PDOf(d[1])), Ref(PDOf(tgt))), ZR_OK);
  std::vector<int> seen = RunCopy(d[1], tgt, 60);
  ASSERT_EQ(seen.size(), 60u);
  const uint64_t recorded = PDOf(d[1])->m_PDConfigSector.PdRplPos();
  EXPECT_GT(recorded, 0u);

  m_dm.reset();
  Build();
  _LIB_Need_SMR_Info_t info{};
  ASSERT_EQ(DM().GetLIBNeedSMRInfoL(&info), ZR_OK);
  ASSERT_GE(info.Count(), 1);
  EXPECT_EQ(info.Entry(0).taskType, 5);
  EXPECT_EQ(static_cast<int>(info.Entry(0).index), PDOf(d[1])->m_nIndex);
  EXPECT_EQ(static_cast<int>(info.Entry(0).third), PDOf(tgt)->m_nIndex);
  uint16_t percent = 0;
  ASSERT_EQ(DM().ReplacePDDoOnceL(Ref(PDOf(d[1])), Ref(PDOf(tgt)), &percent), ZR_OK);
  EXPECT_GE(percent, seen.back());
  seen = RunCopy(d[1], tgt);
  ASSERT_EQ(seen.back(), 100);
  Rescan();
  EXPECT_EQ(Sum(tgt), m_sum);
  EXPECT_EQ(FirstBad(tgt), UINT64_MAX);
}

}  // namespace
