// The watchdog's decisions: which disks the health round looks at, what its notice holds,
// and which sessions the acknowledgement round ends.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "service/core/srv_private.h"
#include "service/login/local_cmds.h"
#include "service/monitor/disk_status.h"
#include "service/monitor/kel_watchdog.h"
#include "service/monitor/kel_watchdog_cbs.h"
#include "service/session/kel_client_hash.h"
#include "service/session/kel_user_cmd.h"
#include "tests/service/service_test_util.h"

namespace {

TEST(DiskStatus, BitNOfTheLowWordIsDiskNAndOfTheHighWordDiskNPlus64) {
  _Kel_Index_Map map{};
  map.map_Low64 = (1ULL << 0) | (1ULL << 5) | (1ULL << 31);
  map.map_High64 = 1ULL << 2;
  EXPECT_EQ(DiskIndexesFromMap(map), (std::vector<int>{0, 5, 31, 66}));
}

TEST(DiskStatus, TwoAbnormalDisksGiveANoticeOfFiveDataBytes) {
  const std::vector<uint8_t> p = BuildDiskStatusPayload({{3, 2}, {7, 3}});
  EXPECT_EQ(*reinterpret_cast<const uint32_t*>(p.data()), 5U);
  EXPECT_EQ(std::vector<uint8_t>(p.begin() + 4, p.begin() + 9),
            (std::vector<uint8_t>{2, 3, 2, 7, 3}));
}

class AckRound : public ::testing::Test {
 protected:
  void SetUp() override { KelClientHash::TEST_ResetIdCounter(); }
  int Login() {
    hash.w_lock(__FILE__, __LINE__);
    const int id = hash.AllocateFreeClientID();
    auto* client = new KelClient;
    client->pRemoteClient = new KelRemoteClient(id, nullptr);
    hash.Insert(client);
    hash.w_unlock(__FILE__, __LINE__);
    return id;
  }
  std::vector<int> Sessions() {
    std::vector<int> ids(kMaxClients);
    hash.r_lock(__FILE__, __LINE__);
    ids.resize(static_cast<size_t>(hash.GetAllClientID(ids.data())));
    hash.r_unlock(__FILE__, __LINE__);
    return ids;
  }
  void Round() { out += kel_test::Captured([&] { cb.TimerCallbackFn(); }); }

  KelSrvPrivate priv;
  KelClientHash hash{&priv};
  int silent = -1;  // the client that never answers; every other one does
  std::string out;
  // Stands for the notification connection's probe: a miss counts up, an answer resets.
  KelCliAckTimerCb cb{&hash, 2,
                      [this](int id) {
                        KelClient* c = PinClient(&hash, id);
                        if (c == nullptr) return false;
                        uint32_t& misses = c->pRemoteClient->ackMissCount;
                        misses = id == silent ? misses + 1 : 0;
                        UnpinClient(c);
                        return true;
                      },
                      0};
};

TEST_F(AckRound, ASilentClientIsEndedOnceItsMissesExceedTheLimitAndOthersStay) {
  const int answering = Login();
  silent = Login();
  Round();
  Round();
  EXPECT_EQ(Sessions(), (std::vector<int>{answering, silent}));
  Round();
  EXPECT_EQ(Sessions(), (std::vector<int>{answering}));
  EXPECT_NE(out.find("Client[2] is dead, failcnt[3]. Remove it\n"), std::string::npos) << out;
}

TEST_F(AckRound, ASessionLeftOfflineIsReleasedByTheNextRound) {
  const int id = Login();
  KelClient* pinned = PinClient(&hash, id);
  hash.w_lock(__FILE__, __LINE__);
  // Pinned: left to the watchdog.
  kel_test::Captured([&] { EXPECT_FALSE(hash.DestroyClient(id, false)); });
  hash.w_unlock(__FILE__, __LINE__);
  UnpinClient(pinned);
  Round();
  EXPECT_TRUE(Sessions().empty());
  EXPECT_NE(out.find("Destroy dead client which is left by logout\n"), std::string::npos) << out;
}

void SetDiskCheckMinutes(KelSrvPrivate* priv, unsigned char minutes) {
  KelUserCmd cmd;
  const unsigned char request[] = {8, 0, 0, 0, minutes};  // big-endian minutes
  memcpy(cmd.data, request, sizeof request);
  cmd.m_CmdDataLen = sizeof request;
  std::string logText;
  NetKelSetCheckDiskInterval(priv, &cmd, logText);
}

// After stop() the object only records requests: a late interval command during shutdown
// must not start a timer (here the timer daemon is already gone and would refuse it loudly).
TEST(WatchDog, TheDiskCheckIntervalCommandRetimesTheHealthCheckAndOnlyRecordsItOnceStopped) {
  ASSERT_TRUE(KelTimer::StartTimerDaemonThread());
  KelSrvPrivate priv;
  KelClientHash hash{&priv};
  KelWatchDog dog(&hash, nullptr);
  priv.pWatchDog = &dog;
  ASSERT_TRUE(dog.start());
  SetDiskCheckMinutes(&priv, 7);
  EXPECT_EQ(dog.DsTimeoutMs(), 420000UL);
  dog.stop();
  KelTimer::StopTimerDaemonThread();
  const std::string out = kel_test::Captured([&] { SetDiskCheckMinutes(&priv, 9); });
  EXPECT_EQ(dog.DsTimeoutMs(), 540000UL);
  EXPECT_EQ(out.find("Start()"), std::string::npos) << out;
}

}  // namespace
