// The facade's create entries: what they refuse before reaching the model.
#include <gtest/gtest.h>

#include <string>

#include "engine_fixture.h"
#include "service/engine/zr_facade.h"

namespace {

using CreateFacade = EngineSimTest;

TEST_F(CreateFacade, CountsPointersAndNamesAreCheckedBeforeAnyDiskIsRead) {
  AddDisk(0, 0);
  AddDisk(0, 1);
  ASSERT_EQ(zr_init(), ZR_OK);
  _Index_Plus_t pds[8] = {};
  for (int i = 0; i < 2; ++i) ASSERT_EQ(zr_get_PD_magicNum(i, &pds[i].wdMagicNum), ZR_OK);
  pds[1].nIndex = 1;
  // Counts beyond the request's 8 entries are refused too: nothing past them is read.
  EXPECT_EQ(zr_create_raid01_TARVOII(3, pds, 10, 0, 64, "a", 0), ZR_ODD_DISK_COUNT);
  EXPECT_EQ(zr_create_raid01_TARVOII(1000, pds, 10, 0, 64, "a", 0), ZR_TOO_MANY_DISKS);
  EXPECT_EQ(zr_create_raid5_TARVOII(2, pds, 10, 0, 64, 0, "a", 0, 0), ZR_TOO_FEW_DISKS);
  EXPECT_EQ(zr_create_stripe_TARVOII(2, nullptr, 10, 0, 64, "a", 0), ZR_BAD_PARAM);
  EXPECT_EQ(zr_create_mirror_TARVOII(2, pds, 10, 0, nullptr, 0), ZR_BAD_PARAM);
  EXPECT_EQ(zr_create_mirror_TARVOII(2, pds, 10, 0, std::string(24, 'x').data(), 0), ZR_BAD_PARAM);
  _Array_Create_Info_t info{};
  EXPECT_EQ(zr_get_array_create_info_by_pds(9, pds, KEL_RAID_0, 0, &info), ZR_NO_OBJECT);
  EXPECT_EQ(zr_create_mirror_TARVOII(2, pds, 511, 0, "m", 0), ZR_OK);
  zr_exit();
}

}  // namespace
