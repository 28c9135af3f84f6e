// Array creation through the engine on the simulated controller: the blocks written, the
// array the rebuilt model shows, keep-data creations, and a save that fails.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>

#include "engine_fixture.h"
#include "sim/sim_volume_ops.h"

namespace {

class CreateSim : public EngineSimTest {
 protected:
  int Create(uint8_t type, const std::vector<std::string>& disks, uint64_t mib, uint16_t stripe,
             uint32_t mode = KEL_CREATE_EMPTY) {
    _CREATE_ARRAY_PDS_INFO r{static_cast<int>(disks.size()), {}, "arr", mib, 0, mode, 0, type, stripe};
    for (size_t i = 0; i < disks.size(); ++i)
      r.pds[i] = {PDOf(disks[i])->m_nIndex, PDOf(disks[i])->m_wdMagicNum, 0};
    return DM().CreateRaidArrayL(&r);
  }
  // Every block the disks carry, as the rebuild read them back.
  std::vector<_VD_Config_sector_> Blocks(const std::vector<std::string>& disks) {
    std::vector<_VD_Config_sector_> out;
    for (const std::string& d : disks)
      for (int s = 0; s < MAX_VD_PER_PD; ++s)
        if (PDOf(d)->m_PDConfigSector.VDMap() & (1u << s))
          out.push_back(*PDOf(d)->m_PDConfigSector.Vd(s));
    return out;
  }
};

struct LevelCase {
  uint8_t type, stripeByte;
  int disks, vds;
  uint64_t mib;
  uint16_t stripe;
};

class CreateLevel : public CreateSim, public testing::WithParamInterface<LevelCase> {};

TEST_P(CreateLevel, WritesOneConsistentArray) {
  const LevelCase& c = GetParam();
  std::vector<std::string> disks;
  for (int i = 0; i < c.disks; ++i) disks.push_back(AddDisk(i / 2, i % 2));
  Build();
  ASSERT_EQ(Create(c.type, disks, c.mib, c.stripe), ZR_OK);
  std::vector<_VD_Config_sector_> b = Blocks(disks);
  ASSERT_EQ(b.size(), static_cast<size_t>(c.vds));
  for (const _VD_Config_sector_& v : b) {
    EXPECT_EQ(std::make_tuple(v.RaidType(), int{v.ArrayVDNum()}, v.U8(vdoff::kStripe)),
              std::make_tuple(c.type, c.vds, c.stripeByte));
    EXPECT_STREQ(reinterpret_cast<const char*>(v.ArrayName()), "arr");
    EXPECT_TRUE(v.ArrayMark() != 0 && v.ArrayMark() == b[0].ArrayMark());
    EXPECT_EQ(0, std::memcmp(v.b + vdoff::kMemberIds, b[0].b + vdoff::kMemberIds, 32));
    const int slot = (v.PositionByte() & 0x7F) + ((v.PositionByte() & 0x80) ? c.vds / 2 : 0);
    EXPECT_EQ(v.MemberId(slot), v.VDId());  // the id list is in table-slot order, no slot twice
  }
  for (const std::string& d : disks)  // a mirror pair never shares a disk
    if (std::vector<_VD_Config_sector_> on = Blocks({d}); on.size() == 2) {
      EXPECT_NE(on[0].PositionByte() & 7, on[1].PositionByte() & 7);
    }
  ASSERT_EQ(RaidArrays().size(), 1u);
  _zr_array_info info = ArrayInfo(RaidArrays()[0]);
  EXPECT_EQ(std::make_tuple(info.raidType, int{info.status}, info.bNeedMigration, info.capacityLow),
            std::make_tuple(c.type, 0, 0u, static_cast<uint32_t>(c.mib * 2048)));
}

INSTANTIATE_TEST_SUITE_P(
    Levels, CreateLevel,
    testing::Values(LevelCase{KEL_RAID_0, 0, 2, 2, 200, 128},  // 256 sectors stored as 0
                    LevelCase{KEL_RAID_1, 0, 3, 3, 200, 0},    // the third disk is the spare
                    LevelCase{KEL_RAID_5, 128, 3, 3, 200, 64},
                    LevelCase{KEL_RAID_01, 64, 2, 4, 200, 32},
                    LevelCase{KEL_RAID_01, 32, 4, 4, 200, 16},
                    LevelCase{KEL_RAID_SPAN, 0, 2, 2, 700, 0}),
    [](const auto& i) {
      return "type" + std::to_string(i.param.type) + "_on" + std::to_string(i.param.disks);
    });

TEST_F(CreateSim, KeepingTheFirstDisksDataMarksAMirrorForSynchronisation) {
  std::string a = AddDisk(0, 0), b = AddDisk(0, 1);
  Build();
  ASSERT_EQ(Create(KEL_RAID_1, {a, b}, 511, 0, KEL_CREATE_KEEP_DATA), ZR_OK);
  const _VD_Config_sector_ src = Blocks({a})[0], tgt = Blocks({b})[0];
  EXPECT_TRUE(src.SideValue() == 1 && src.StartSector() == 0);
  EXPECT_TRUE(tgt.State() & KEL_VD_STATE_SYNC_TARGET);
  EXPECT_TRUE(ArrayInfo(RaidArrays()[0]).status & KEL_RA_STATUS_NEED_SYNC);
}

// Keeping the first disk's data: the configuration area will cover the end of that disk,
// so its last 32 user sectors go first to the end of the new array's area on the target
// disk - table slot 1 for the striped levels, the last VD for a span - and the array waits
// for its migration. Checked by content.
TEST_F(CreateSim, KeepingDataMovesTheFirstDisksLastSectorsAndAwaitsMigration) {
  for (const auto& [type, mib] : {std::pair{KEL_RAID_5, 1000}, {KEL_RAID_SPAN, 700}}) {
    SCOPED_TRACE(int(type));
    std::string a = AddDisk(0, 0), b = AddDisk(0, 1), c = AddDisk(1, 0), err, before, after;
    Build();
    const uint64_t usable = PDOf(a)->UsableSectors();
    ASSERT_TRUE(KelSimDiskWrite(Folder(), a, 5, {}, &err)) << err;
    ASSERT_TRUE(KelSimDiskSum(Folder(), a, {true, usable - 32, true, 32}, &before, &err)) << err;
    const std::vector<std::string> disks =
        type == KEL_RAID_5 ? std::vector<std::string>{a, b, c} : std::vector<std::string>{a, b};
    ASSERT_EQ(Create(type, disks, mib, type == KEL_RAID_5 ? 64 : 0, KEL_CREATE_KEEP_DATA), ZR_OK);
    const _VD_Config_sector_ target = Blocks({b})[0];
    const uint64_t end = target.StartSector() + target.SectorLength();
    ASSERT_TRUE(KelSimDiskSum(Folder(), b, {true, end - 32, true, 32}, &after, &err)) << err;
    EXPECT_EQ(after, before);
    EXPECT_EQ(Blocks({a})[0].StartSector(), 0u);
    EXPECT_EQ(ArrayInfo(RaidArrays()[0]).bNeedMigration, 1u);
    for (const std::string& d : {a, b, c}) Unplug(d);
    Rescan();
  }
}

TEST_F(CreateSim, ADiskWhoseAreaContradictsItselfIsRefused) {
  std::string a = AddDisk(0, 0), b = AddDisk(0, 1);
  Build();
  PDOf(b)->m_wdFlag |= KEL_PD_FLAG_CONF_CONFLICT;
  EXPECT_EQ(Create(KEL_RAID_1, {a, b}, 100, 0), ZR_PD_UNREADABLE);
}

TEST_F(CreateSim, PartitionTablesAreWipedOnlyAfterTheSaveSucceeded) {
  std::string a = AddDisk(0, 0), b = AddDisk(0, 1), err;
  ASSERT_TRUE(WriteMbr(DevNo(b)));
  const std::string part = Folder().DevDir() + "/" + b + "1";
  Build();
  ASSERT_TRUE(KelSimSetFault(Folder(), a, 0x11, -1, &err)) << err;
  EXPECT_EQ(Create(KEL_RAID_0, {a, b}, 100, 64), ZR_DRIVER_FAILED);
  EXPECT_TRUE(std::filesystem::exists(part));
  ASSERT_TRUE(KelSimSetFault(Folder(), a, 0x11, 0, &err)) << err;
  EXPECT_EQ(Create(KEL_RAID_0, {a, b}, 100, 64), ZR_OK);
  EXPECT_FALSE(std::filesystem::exists(part));
}

}  // namespace
