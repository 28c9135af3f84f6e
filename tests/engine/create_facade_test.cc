// The facade's change entries: what they refuse before reaching the model.
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

  // Removal answers for every entry, whatever refuses it.
  int results[32] = {-1, -1};
  _Index_Plus_t arrays[32] = {};
  EXPECT_TRUE(zr_remove_raid_TARVOII(32, arrays, results) == ZR_BAD_PARAM && results[30] == ZR_BAD_PARAM);
  EXPECT_EQ(zr_remove_raid_TARVOII(0, nullptr, nullptr), ZR_OK);
  EXPECT_EQ(zr_clear_PD_Conf(17, pds), ZR_BAD_PARAM);
  _Index_Plus_t far{32, 0, 0};
  EXPECT_EQ(zr_repair_broken_raid01_TARVOII(far, 1, &far), ZR_NO_OBJECT);
  char name[32];
  EXPECT_EQ(zr_Get_PD_INODE_NAME(32, name), ZR_NO_OBJECT);
  EXPECT_TRUE(zr_Get_PD_INODE_NAME(0, name) == ZR_OK && std::string(name) == "sda") << name;
  zr_exit();
  EXPECT_TRUE(zr_remove_raid_TARVOII(2, arrays, results) == ZR_NOT_INIT && results[1] == ZR_NOT_INIT);
}

}  // namespace
