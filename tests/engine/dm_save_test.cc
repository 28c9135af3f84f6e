// Saving changed configuration areas, a save torn by a power loss, and the list of
// background work to resume.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>

#include "engine_fixture.h"
#include "sim/sim_transport.h"

namespace {

constexpr uint64_t kL = 100000;

class DMSave : public EngineSimTest {
 protected:
  // The area count of every configuration write (0x11) sent so far.
  std::vector<uint8_t> Writes() {
    std::vector<uint8_t> areas;
    for (auto [sub, first] : m_transport->SentCommands())
      if (sub == 0x11) areas.push_back(first);
    return areas;
  }
  // Renames the VD of `disk`'s slot 0 in the working copy ("": no change), then saves.
  int RenameAndSave(const std::string& disk, const char* name) {
    EXPECT_TRUE(DM().WLock());
    std::memcpy(PDOf(disk)->m_pVDDev[0]->Block()->b + vdoff::kVDName, name, std::strlen(name));
    int rc = DM().SaveConfAndSendNotifyBusChange();
    DM().WUnlock();
    return rc;
  }
};

TEST_F(DMSave, OnlyChangedAreasAreWrittenAndTheirVDsGetNewMagics) {
  std::string a = AddDisk(0, 0), b = AddDisk(0, 1);
  AddDisk(1, 0);
  ImportArray({a, b}, {.raidType = KEL_RAID_0, .length = kL, .stripeSectors = 128}, 0x10);
  Build();
  const int ia = PDOf(a)->m_pVDDev[0]->m_nIndex, ib = PDOf(b)->m_pVDDev[0]->m_nIndex;
  const uint16_t ma = DM().VD(ia)->m_wdMagicNum, mb = DM().VD(ib)->m_wdMagicNum;

  // Nothing changed: nothing is written, and the model is rebuilt all the same.
  EXPECT_EQ(RenameAndSave(a, ""), ZR_OK);
  EXPECT_TRUE(Writes().empty());
  EXPECT_EQ(DM().VD(ia)->m_wdMagicNum, ma);

  // One VD block changes in the working copy: one area goes out, checksummed.
  EXPECT_EQ(RenameAndSave(a, "renamed"), ZR_OK);
  EXPECT_EQ(Writes(), std::vector<uint8_t>{1});
  std::vector<uint8_t> area = Export(a);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(area.data()) + 1792 + 52, 7), "renamed");
  EXPECT_EQ(kel_test::ConfAreaBuilder::Xor(area, 1792, 256), 0);
  EXPECT_NE(DM().VD(ia)->m_wdMagicNum, ma);
  EXPECT_EQ(DM().VD(ib)->m_wdMagicNum, mb);
  EXPECT_EQ(DM().VD(ia)->m_nIndex, ia);
}

TEST_F(DMSave, AConvertedMirrorSyncsTowardsItsMarkedCopyAndKeepsAWrittenChange) {
  // Older-layout mirror: b's position field (position 1, bit 2) marks it as the stale copy.
  std::string a = AddDisk(0, 0), b = AddDisk(0, 1);
  for (auto [disk, serial, field] : {std::tuple{a, 0xA0u, 0}, {b, 0xB0u, 5}})
    Import(disk, kel_test::ConfAreaBuilder().OldLayout({.raidType = KEL_RAID_1,
        .positionField = uint8_t(field), .vdCount = 0, .length = kL, .serialChecksum = serial,
        .memberIds = {0xA0, 0xB0}}).Bytes());
  Build();
  // The source reads as side value 1, the target as 0; a change written to a converted disk
  // is read back, and the direction stays.
  for (const char* name : {"", "kept"}) {
    EXPECT_EQ(RenameAndSave(a, name), ZR_OK);
    Rescan();
    auto* ra = static_cast<KelRaid1*>(PDOf(a)->m_pVDDev[0]->m_pArray);
    unsigned short sync = 0;
    ra->GetRASyncStatus(&sync);
    EXPECT_TRUE(sync == KEL_SYNC_POSSIBLE && ra->SideValue(0) == 1 && ra->SideValue(1) == 0);
    EXPECT_EQ(std::memcmp(PDOf(a)->m_pVDDev[0]->Block()->VDName(), name, strlen(name)), 0);
  }
}

TEST_F(DMSave, AFailedWriteIsReportedAndTheModelIsRebuiltFromTheDisks) {
  std::string a = AddDisk(0, 0), err;
  ImportArray({a}, {.raidType = KEL_RAID_SPAN, .length = kL}, 0x10);
  Build();
  ASSERT_TRUE(KelSimSetFault(Folder(), a, 0x11, -1, &err)) << err;
  EXPECT_EQ(RenameAndSave(a, "lost"), ZR_DRIVER_FAILED);
  // The rebuild read back what the disk holds.
  EXPECT_NE(std::string(reinterpret_cast<const char*>(PDOf(a)->m_pVDDev[0]->Block()->VDName()), 4),
            "lost");
}

TEST_F(DMSave, SynchronisationsAndMigrationsToResumeAreListed) {
  std::string a = AddDisk(0, 0), b = AddDisk(0, 1), c = AddDisk(1, 0), d = AddDisk(1, 1);
  std::vector<ConfVd> mirror = ArrayMembers({.raidType = KEL_RAID_1, .length = kL}, 2, 0x10);
  mirror[0].sideValue = 1;  // the copy to synchronise from
  Import(a, MakeArea({mirror[0]}));
  Import(b, MakeArea({mirror[1]}));
  ImportArray({c, d}, {.raidType = KEL_RAID_0, .length = kL, .flags105 = 2}, 0x30);  // migrating
  Build();

  _LIB_Need_SMR_Info_t info;
  std::memset(&info, 0xEE, sizeof(info));
  ASSERT_EQ(DM().GetLIBNeedSMRInfoL(&info), ZR_OK);
  ASSERT_EQ(info.Count(), 2);
  // In array index order: the mirror to synchronise (task 1), the migration to resume (4).
  KelRaidArray* sync = PDOf(a)->m_pVDDev[0]->m_pArray;
  KelRaidArray* mig = PDOf(c)->m_pVDDev[0]->m_pArray;
  const bool syncFirst = sync->m_nIndex < mig->m_nIndex;
  const _LIB_Need_SMR_Entry es = info.Entry(syncFirst ? 0 : 1), em = info.Entry(syncFirst ? 1 : 0);
  EXPECT_EQ(es.taskType, 1);
  EXPECT_EQ(es.index, static_cast<uint32_t>(sync->m_nIndex));
  EXPECT_EQ(es.magic, sync->m_wdMagicNum);
  EXPECT_EQ(es.third, KEL_SYNC_POSSIBLE);
  EXPECT_EQ(em.taskType, 4);
  EXPECT_EQ(em.index, static_cast<uint32_t>(mig->m_nIndex));
  EXPECT_EQ(em.magic, mig->m_wdMagicNum);
  EXPECT_EQ(DM().GetLIBNeedSMRInfoL(nullptr), ZR_BAD_PARAM);
}

// ---- A save that loses power after k of its areas ----

// The simulated controller behind a power switch: once a command fails while the switch is
// armed (the simulator's power loss), nothing answers until the power is back, so the
// driver's retry cannot finish the interrupted write.
class PowerSwitch : public KelDrvTransport {
 public:
  explicit PowerSwitch(const std::string& dir) : m_sim(dir) {}
  std::vector<std::string> ListNodes() override { return m_sim.ListNodes(); }
  KelDrvSendResult Send(const std::string& node, const unsigned char cdb[10], unsigned char* buf,
                        size_t len) override {
    if (off) return KelDrvSendResult::kFailed;
    KelDrvSendResult r = m_sim.Send(node, cdb, buf, len);
    if (r != KelDrvSendResult::kOk && armed) off = true;
    return r;
  }
  std::atomic<bool> armed{false}, off{false};

 private:
  KelSimTransport m_sim;
};

// What the save does to every member of one array: create it on blank disks, delete it, or
// re-create it in place (same disks and slots, so the same VD ids) with another size, name
// and array mark.
enum Change { kCreate, kDelete, kRecreate };
struct TornLevel {
  const char* name;
  uint8_t type;
  int members;
};
constexpr TornLevel kTornLevels[] = {{"Raid0", KEL_RAID_0, 2}, {"Raid1", KEL_RAID_1, 2},
                                     {"Raid5", KEL_RAID_5, 3}, {"Raid01", KEL_RAID_01, 4},
                                     {"Span", KEL_RAID_SPAN, 2}};
struct TornCase {
  Change change;
  TornLevel level;
  int k;  // areas written before the power fails: 1 .. members - 1
};

// (first sector, length) of every VD that an area read back from a disk carries, decoded
// here from the layout.
std::vector<std::pair<uint64_t, uint64_t>> CarriedVDs(const std::vector<uint8_t>& a) {
  auto le = [&](size_t at, int width) {
    uint64_t v = 0;
    for (int i = width - 1; i >= 0; --i) v = v << 8 | a[at + i];
    return v;
  };
  std::vector<std::pair<uint64_t, uint64_t>> out;
  if (a.size() != 3072 || le(2560, 2) != 0xAA55 || a[2562] < 3) return out;
  for (int slot = 0; slot < 2; ++slot) {
    const size_t b = (7 - slot) * 256;
    if ((le(2052, 4) >> slot & 1) && (le(b + 32, 2) & 1))
      out.push_back({le(b + 8, 8), le(b + 24, 8)});
  }
  return out;
}

class TornSave : public DMSave, public testing::WithParamInterface<TornCase> {
 protected:
  void SetUp() override {
    DMSave::SetUp();
    auto power = std::make_unique<PowerSwitch>(SimDir());
    m_power = power.get();
    m_op.reset();
    m_transport = nullptr;
    m_drv = std::make_unique<KelDrvInterface>(std::move(power), m_folder->DevDir());
    m_drv->SetSleep([](int) {});
    KelDrvSetGlobal(m_drv.get());
  }
  PowerSwitch* m_power = nullptr;
};

TEST_P(TornSave, NoHalfWrittenArrayIsShownHealthyAndNoFreeAreaCoversAVD) {
  const TornCase c = GetParam();
  const int n = c.level.members;
  std::vector<std::string> disks;
  for (int i = 0; i < n; ++i) disks.push_back(AddDisk(i / 2, i % 2));
  const ConfVd before = {.raidType = c.level.type, .length = kL, .stripeSectors = 64,
                         .arrayName = "old", .arrayMark = 0xA1};
  const ConfVd after = {.raidType = c.level.type, .length = kL / 2, .stripeSectors = 64,
                       .arrayName = "new", .arrayMark = 0xB2};
  if (c.change != kCreate) ImportArray(disks, before, 0x100);
  Build();

  // The change goes into the working copies, then out in one write that fails after k areas.
  ASSERT_TRUE(DM().WLock());
  std::vector<ConfVd> members = ArrayMembers(after, n, 0x100);
  for (int i = 0; i < n; ++i) {
    _PD_Config_sector_& area = PDOf(disks[i])->m_PDConfigSector;
    if (c.change == kDelete)
      DeleteVDInPDConfSect(&area, 0);
    else
      std::memcpy(area.b, MakeArea({members[i]}).data(), sizeof area.b);
  }
  std::string err;
  ASSERT_TRUE(KelSimSetPowerLoss(Folder(), c.k, &err)) << err;
  m_power->armed = true;
  EXPECT_EQ(DM().SaveConfAndSendNotifyBusChange(), ZR_DRIVER_FAILED);
  DM().WUnlock();
  m_power->armed = m_power->off = false;  // the power is back
  ASSERT_TRUE(KelSimSetPowerLoss(Folder(), -1, &err)) << err;

  for (bool restart : {false, true}) {
    SCOPED_TRACE(restart ? "after a restart" : "after a rescan");
    if (restart) {
      m_dm.reset();
      Build();
    } else {
      Rescan();
    }
    // The disks were written in index order: the first k hold the new area.
    for (int i = 0; i < n; ++i)
      EXPECT_EQ(CarriedVDs(Export(disks[i])).size(),
                (i < c.k ? c.change != kDelete : c.change != kCreate) ? 1u : 0u);
    for (KelRaidArray* ra : RaidArrays())
      EXPECT_NE(ArrayInfo(ra).status & (KEL_RA_STATUS_MISSING | KEL_RA_STATUS_INVALID), 0)
          << "array of " << int(ra->m_byVDNum) << " VDs shown healthy";
    for (const std::string& d : disks) {
      KelPhyDevice* pd = PDOf(d);
      ASSERT_NE(pd, nullptr);
      for (auto [start, length] : CarriedVDs(Export(d)))
        for (const _FRAGMENT_INFO& f : pd->m_frags)
          EXPECT_TRUE(f.fragType == FRAG_TYPE_VD ||
                      f.dw64StartSector + f.dw64SectorLength <= start ||
                      start + length <= f.dw64StartSector)
              << d << ": free area " << f.dw64StartSector << "+" << f.dw64SectorLength
              << " over the VD at " << start << "+" << length;
    }
  }
}

std::vector<TornCase> TornCases() {
  std::vector<TornCase> out;
  for (Change ch : {kCreate, kDelete, kRecreate})
    for (const TornLevel& l : kTornLevels)
      for (int k = 1; k < l.members; ++k) out.push_back({ch, l, k});
  return out;
}

std::string TornName(const testing::TestParamInfo<TornCase>& p) {
  static const char* kChange[] = {"Create", "Delete", "Recreate"};
  return kChange[p.param.change] + std::string(p.param.level.name) + "After" +
         std::to_string(p.param.k);
}

INSTANTIATE_TEST_SUITE_P(EveryLevel, TornSave, testing::ValuesIn(TornCases()), TornName);

}  // namespace

// An interrupted replacement is found whichever of its two disks has the lower index.
TEST_F(DMSave, AnInterruptedReplacementOntoALowerIndexIsListed) {
  const std::string tgt = AddDisk(0, 0), src = AddDisk(0, 1);
  kel_test::ConfAreaBuilder t, s;
  t.Pd(0x1111, KEL_RPL_TARGET << KEL_PD_STATUS_RPL_SHIFT);
  s.Pd(0x2222, KEL_RPL_SOURCE << KEL_PD_STATUS_RPL_SHIFT);
  for (auto* b : {&t, &s}) b->Vd(0, {.raidType = KEL_RAID_SPAN, .length = kL, .memberIds = {0x2222}});
  Import(tgt, t.Bytes());
  Import(src, s.Bytes());
  Build();
  ASSERT_LT(PDOf(tgt)->m_nIndex, PDOf(src)->m_nIndex);
  _LIB_Need_SMR_Info_t info;
  ASSERT_EQ(DM().GetLIBNeedSMRInfoL(&info), ZR_OK);
  ASSERT_EQ(info.Count(), 1);
  EXPECT_EQ(info.Entry(0).taskType, 5);
  EXPECT_EQ(info.Entry(0).index, static_cast<uint32_t>(PDOf(src)->m_nIndex));
  EXPECT_EQ(info.Entry(0).third, static_cast<uint32_t>(PDOf(tgt)->m_nIndex));
}
