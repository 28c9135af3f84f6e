// The request layer against the real kelsrv on a simulated controller with four disks, on
// the module's own client connection: a record round trip, the refusals made before
// anything is sent, a RAID 1 created and removed, and the empty task list.
#include "webext/volmod/core/zr_request.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/client/kelctl_e2e_fixture.h"
#include "webext/client/client_raid_query.h"
#include "webext/volmod/core/record_fields.h"
#include "webext/volmod/core/volmod_codes.h"

using namespace kel_test;

namespace {

class ZrRequest : public KelctlE2e {
 protected:
  void MakeSim() override { ASSERT_TRUE(MakeSimFolder(sim, 4)); }
  void SetUp() override {
    KelctlE2e::SetUp();
    ClientInfoInit(&g_ClientInfo);
    ASSERT_EQ(OpenConnect(&g_ClientInfo, "127.0.0.1", static_cast<unsigned short>(port)), 0);
    ASSERT_EQ(UserLogin(&g_ClientInfo, "admin", "pelum"), 0);
  }
  void TearDown() override { CloseConnect(&g_ClientInfo); }
};

// The record is the library's, byte for byte. The refusals come before anything is sent:
// the client library would answer otherwise (2000 for nine disks, 2015 for the name, a
// service code for the index), and the connection stays usable.
TEST_F(ZrRequest, RecordRoundTripAndWhatTheRecordCannotHoldIsRefusedUpFront) {
  std::vector<unsigned int> indexes;
  ASSERT_EQ(zr_get_sorted_array_index(&indexes), 0);
  ASSERT_EQ(indexes.size(), 4u);  // the four plain disks
  _zr_array_info got{}, direct{};
  ASSERT_EQ(zr_get_array_info(indexes[0], &got), 0);
  ASSERT_EQ(KelGetArrayInfo(g_ClientInfo.nCmdSock, indexes[0], &direct), 0);
  EXPECT_EQ(memcmp(&got, &direct, sizeof got), 0);

  got.magicNum = 77;
  EXPECT_EQ(zr_get_array_info(300, &got), 2000);
  EXPECT_EQ(got.magicNum, 77);  // untouched
  _Index_Plus_t nine[9] = {};
  EXPECT_EQ(zr_create_mirror_TARVOII(9, nine, 0, "m", false), kVolmodBadArgs);
  EXPECT_EQ(zr_create_mirror_TARVOII(2, nine, 0, std::string(24, 'n').c_str(), false),
            kVolmodBadArgs);
  std::vector<KelTaskRecord> tasks{KelTaskRecord{}};
  EXPECT_EQ(zr_async_task_info(&tasks), 0);
  EXPECT_TRUE(tasks.empty());
}

TEST_F(ZrRequest, MirrorIsCreatedListedAndRemoved) {
  _Index_Plus_t disks[2];
  for (unsigned i = 0; i < 2; ++i) {
    _zr_device_info d{};
    ASSERT_EQ(zr_get_pd_info(i, &d), 0);
    disks[i] = KelMakeRef(i, d.magicNum);
  }
  ASSERT_EQ(zr_create_mirror_TARVOII(2, disks, 48, std::string(23, 'm').c_str(), false), 0);
  std::vector<unsigned int> indexes;
  ASSERT_EQ(zr_get_sorted_array_index(&indexes), 0);
  ASSERT_EQ(indexes.size(), 3u);  // the mirror first, then the two plain disks left
  _zr_array_info mirror{};
  ASSERT_EQ(zr_get_array_info(indexes[0], &mirror), 0);
  EXPECT_EQ(mirror.raidType, KEL_RAID_1);
  EXPECT_EQ(ArrayFields(mirror)[15].text, std::string(23, 'm'));

  const _Index_Plus_t ref = KelMakeRef(indexes[0], mirror.magicNum);
  std::vector<int> results;
  ASSERT_EQ(zr_remove_raid_TARVOII(1, &ref, &results), 0);
  EXPECT_EQ(results, std::vector<int>{0});
  ASSERT_EQ(zr_get_sorted_array_index(&indexes), 0);
  EXPECT_EQ(indexes.size(), 4u);
}

}  // namespace
