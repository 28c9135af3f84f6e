// Migration through the engine's steps on the simulated controller, checked by content: an
// array created around a disk's data shows that data, last parked sectors included, once
// the migration is done. The first VD is shorter than the disk's old data, so the parked
// sectors belong past its end.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_fixture.h"
#include "sim/sim_volume_ops.h"

namespace {

constexpr uint64_t kSectors = 32768;  // 16 MiB disks keep the migration short

using MigrateSim = EngineSimTest;

template <typename T> _Index_Plus_t Ref(const T* o) { return {o->m_nIndex, o->m_wdMagicNum, 0}; }

TEST_F(MigrateSim, TheDisksDataReadsBackThroughTheArrayAfterTheMigration) {
  for (const auto& [type, n] : {std::pair{KEL_RAID_0, 2}, {KEL_RAID_5, 3}, {KEL_RAID_01, 4}}) {
    SCOPED_TRACE(int(type));
    std::vector<std::string> disks;
    for (int i = 0; i < n; ++i) disks.push_back(AddDisk(i / 2, i % 2, -1, kSectors));
    Build();
    const uint64_t usable = PDOf(disks[0])->UsableSectors();
    std::string err, before, after;
    ASSERT_TRUE(KelSimDiskWrite(Folder(), disks[0], 9, {}, &err) &&
                KelSimDiskSum(Folder(), disks[0], {true, 0, true, usable}, &before, &err)) << err;

    _CREATE_ARRAY_PDS_INFO r{n, {}, "kept", 0, 0, KEL_CREATE_KEEP_DATA, 0, type, 64};
    for (int i = 0; i < n; ++i) r.pds[i] = Ref(PDOf(disks[i]));
    _Array_Create_Info_t range{};
    ASSERT_EQ(DM().CalCreateArraySizeL(&r, &range), ZR_OK);
    r.dw64Size = range.nMaxArraySize;
    ASSERT_EQ(DM().CreateRaidArrayL(&r), ZR_OK);

    int rc = ZR_OK;
    for (uint16_t percent = 0; rc == ZR_OK;) rc = DM().MigRateArrayL(Ref(RaidArrays()[0]), nullptr, &percent);
    ASSERT_EQ(rc, ZR_MIG_FINISHED);
    EXPECT_EQ(ArrayInfo(RaidArrays()[0]).bNeedMigration, 0u);
    ASSERT_TRUE(KelSimVolumeSum(Folder(), disks[0], 0, {true, 0, true, usable}, &after, &err)) << err;
    EXPECT_EQ(after, before);
    for (const std::string& d : disks) Unplug(d);
    Rescan();
  }
}

}  // namespace
