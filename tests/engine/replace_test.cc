// Disk replacement: the copy's arithmetic in memory, then the engine on the simulated
// controller, checked by content (sums and redundancy of the array's data).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/replace_plan.h"
#include "engine_fixture.h"
#include "sim/sim_volume_ops.h"

namespace {

template <typename T> _Index_Plus_t Ref(const T* o) { return {o->m_nIndex, o->m_wdMagicNum, 0}; }

TEST(ReplacePlan, ChunksStayInsideEachAreaAndAResumeCountsWhatLiesBefore) {
  const KelRplArea areas[] = {{5000, 5500, 1}, {100, 1100, 0}};  // given out of order
  KelRplProgress p = KelRplStart(areas, 2, 9000, 0);
  int chunks = 0;
  for (; !KelRplFinished(p); ++chunks, KelRplAdvance(&p)) ASSERT_LE(p.cur + p.chunk, p.areas[p.area].end);
  EXPECT_EQ(chunks, 8 + 4);  // 1000 = 7 x 128 + 104; 500 = 3 x 128 + 116
  EXPECT_TRUE(p.done == 1500 && p.cur == 9000 && KelRplPercent(p) == 100);
  struct Case { uint64_t saved, cur, done; };
  for (const Case& c : {Case{0, 100, 0}, Case{600, 600, 500}, Case{3000, 5000, 1000}, Case{5500, 9000, 1500}}) {
    const KelRplProgress r = KelRplStart(areas, 2, 9000, c.saved);
    EXPECT_TRUE(r.cur == c.cur && r.done == c.done) << c.saved;
  }
  const KelRplProgress none = KelRplStart(areas, 0, 9000, 0);  // no division by zero
  EXPECT_TRUE(KelRplFinished(none) && KelRplPercent(none) == 100 && !KelRplPercentGrows(none));
}

TEST(ReplacePlan, TheTargetMustBeAnotherUsableEmptyLargeEnoughDisk) {
  const KelRplDiskView src{.index = 0, .hasConfig = true, .vdNum = 1, .usable = 1000, .lastVDEnd = 800};
  const KelRplDiskView tgt{.index = 1, .usable = 800};
  auto with = [](KelRplDiskView v, auto f) { f(v); return v; };
  struct Case { const char* what; KelRplDiskView s, t; int rc; };
  const Case cases[] = {
      {"fits exactly", src, tgt, ZR_OK},
      {"itself", src, with(tgt, [](auto& v) { v.index = 0; }), ZR_BAD_PARAM},
      {"source without VDs", with(src, [](auto& v) { v.vdNum = 0; }), tgt, ZR_BAD_PARAM},
      {"source unreadable", with(src, [](auto& v) { v.readable = false; }), tgt, ZR_PD_UNREADABLE},
      {"target contradictory", src, with(tgt, [](auto& v) { v.conflict = true; }), ZR_PD_UNREADABLE},
      {"target in use", src, with(tgt, [](auto& v) { v.hasConfig = true; v.vdNum = 1; }), ZR_PD_BUSY},
      {"source array busy", with(src, [](auto& v) { v.busy = true; }), tgt, ZR_PD_BUSY},
      {"target holds the system", src, with(tgt, [](auto& v) { v.system = true; }), ZR_SYSTEM_DISK},
      {"target too small", src, with(tgt, [](auto& v) { v.usable = 799; }), ZR_TOO_SMALL},
  };
  for (const Case& c : cases) EXPECT_EQ(KelRplCheckPair(c.s, c.t), c.rc) << c.what;
}

class Replace : public EngineSimTest, public testing::WithParamInterface<uint8_t> {
 protected:
  // A two- or three-member array with a pattern written through the simulator's volume
  // (its sum kept), on disks 1.., and a blank disk 0: the target sits below the source.
  // A mirror gets another blank disk after its members.
  std::vector<std::string> BuildWithData(uint8_t raidType) {
    const int count = raidType == KEL_RAID_5 ? 3 : 2;
    std::vector<ConfVd> members = ArrayMembers({.raidType = raidType, .length = 20000, .stripeSectors = 128}, count, 0x10);
    std::vector<std::string> disks = {AddDisk(0, 0), AddDisk(0, 1), AddDisk(1, 0), AddDisk(1, 1)};
    for (int i = 0; i < count; ++i) Import(disks[1 + i], MakeArea({members[i]}));
    Build();
    EXPECT_TRUE(KelSimVolumeWrite(Folder(), disks[1], 0, 42, {}, &m_err)) << m_err;
    m_sum = Sum(disks[1]);
    return disks;  // blank, members... (, blank)
  }
  std::string Sum(const std::string& disk) {
    std::string hex;
    EXPECT_TRUE(KelSimVolumeSum(Folder(), disk, 0, {}, &hex, &m_err)) << m_err;
    return hex;
  }
  // Steps the copy `steps` times or to its end; the last result, percentages in `seen`.
  int Copy(const std::string& from, const std::string& to, std::vector<int>* seen, int steps = 1 << 20) {
    int rc = ZR_OK;
    for (uint16_t percent = 0; steps-- > 0 && rc == ZR_OK; seen->push_back(percent))
      rc = DM().ReplacePDDoOnceL(Ref(PDOf(from)), Ref(PDOf(to)), &percent);
    return rc;
  }
  std::string m_sum, m_err;
};

// Interrupted by a restart half-way (the target has the lower index), resumed from the
// disks' marks at or above the percent reached, finished: the target is the member
// with the same data and the source is blank.
TEST_P(Replace, TheTargetBecomesTheMemberWithTheSameDataAfterARestartAndTheSourceIsBlank) {
  const std::vector<std::string> d = BuildWithData(GetParam());
  const std::string &src = d[2], &tgt = d[0];
  ASSERT_EQ(DM().ReplacePDCreateReltL(Ref(PDOf(src)), Ref(PDOf(tgt))), ZR_OK);
  EXPECT_EQ(DM().ReplacePDCreateReltL(Ref(PDOf(d[1])), Ref(PDOf(d.back()))), ZR_RPL_EXISTS);
  std::vector<int> seen;
  ASSERT_EQ(Copy(src, tgt, &seen, 60), ZR_OK);
  m_dm.reset();  // the restart
  Build();
  const size_t before = seen.size();
  ASSERT_EQ(Copy(src, tgt, &seen), ZR_RPL_FINISHED);
  EXPECT_TRUE(seen[before] >= seen[before - 1] && seen.back() == 100) << seen[before - 1];

  Rescan();
  ASSERT_EQ(RaidArrays().size(), 1u);
  EXPECT_EQ(ArrayInfo(RaidArrays()[0]).status, 0);
  EXPECT_EQ(RaidArrays()[0]->m_arVDs[1]->m_pPD, PDOf(tgt));
  EXPECT_EQ(Export(src), std::vector<uint8_t>(KEL_CONF_AREA_SIZE, 0));
  EXPECT_EQ(Sum(tgt), m_sum);
  uint64_t bad = 0;
  EXPECT_TRUE(KelSimVolumeCheck(Folder(), tgt, 0, &bad, &m_err) && bad == UINT64_MAX) << m_err << bad;
}

INSTANTIATE_TEST_SUITE_P(Levels, Replace, testing::Values(KEL_RAID_1, KEL_RAID_5));

// The target holds the area as it was at the start: a change made meanwhile would come back
// undone at the finish, so the source's arrays refuse changes until the end.
TEST_F(Replace, TheSourceArraysRefuseChangesUntilTheReplacementIsCancelled) {
  std::vector<std::string> d = BuildWithData(KEL_RAID_1);
  ASSERT_EQ(DM().ReplacePDCreateReltL(Ref(PDOf(d[1])), Ref(PDOf(d[0]))), ZR_OK);
  const _Index_Plus_t array = Ref(RaidArrays()[0]), other = Ref(PDOf(d[2]));
  int result = 0;
  EXPECT_TRUE(DM().RemoveArraysL(1, &array, &result) == ZR_SOME_NOT_REMOVED && result == ZR_PD_BUSY);
  EXPECT_EQ(DM().AddMirrorSpareL(array, Ref(PDOf(d[3]))), ZR_PD_BUSY);
  EXPECT_EQ(DM().SyncMirrorL(array, nullptr, nullptr), ZR_PD_BUSY);
  EXPECT_EQ(DM().ClearPDConfSect(1, &other), ZR_PD_BUSY);

  ASSERT_EQ(DM().ReplacePDRemoveReltL(Ref(PDOf(d[1])), Ref(PDOf(d[0]))), ZR_OK);
  EXPECT_FALSE(PDOf(d[0])->m_bHasConfig);  // the copy is gone
  EXPECT_FALSE(RaidArrays()[0]->bInReplacement);
  EXPECT_EQ(DM().AddMirrorSpareL(Ref(RaidArrays()[0]), Ref(PDOf(d[3]))), ZR_OK);
  EXPECT_EQ(Sum(d[1]), m_sum);
}

}  // namespace
