// The session registry: ID allocation, the ten-session limit, pinning and destruction.
#include "service/session/kel_client_hash.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include <unistd.h>

#include "service/core/srv_private.h"

namespace {

class ClientHashTest : public ::testing::Test {
 protected:
  void SetUp() override { KelClientHash::TEST_ResetIdCounter(); }

  // Logs a session in the way the login handler does; returns its ID.
  int AddSession(const std::string& user) {
    EXPECT_TRUE(hash.w_lock(__FILE__, __LINE__));
    int id = hash.AllocateFreeClientID();
    if (id != gDummyClientID) {
      auto* client = new KelClient;
      client->pRemoteClient = new KelRemoteClient(id, nullptr);
      client->pRemoteClient->accountInfo.name = user;
      EXPECT_TRUE(hash.Insert(client));
    }
    hash.w_unlock(__FILE__, __LINE__);
    return id;
  }

  bool Destroy(int id, bool wait = false) {
    hash.w_lock(__FILE__, __LINE__);
    bool ok = hash.DestroyClient(id, wait);
    hash.w_unlock(__FILE__, __LINE__);
    return ok;
  }

  KelSrvPrivate priv;
  KelClientHash hash{&priv};
};

TEST_F(ClientHashTest, IdsStartAtOneRiseAndAreNotReused) {
  EXPECT_EQ(AddSession("a"), 1);
  EXPECT_EQ(AddSession("b"), 2);
  EXPECT_EQ(AddSession("c"), 3);
  EXPECT_TRUE(Destroy(2));
  EXPECT_EQ(AddSession("d"), 4);
  int ids[kMaxClients];
  ASSERT_EQ(hash.GetAllClientID(ids), 3);
  EXPECT_EQ(ids[0], 1);
  EXPECT_EQ(ids[1], 3);
  EXPECT_EQ(ids[2], 4);  // login order
  EXPECT_EQ(gTotalClients.load(), 3);
}

TEST_F(ClientHashTest, FirstLoginAndLastLogoutSwitchAutomaticWork) {
  testing::internal::CaptureStdout();
  int id = AddSession("a");
  EXPECT_NE(testing::internal::GetCapturedStdout().find("Client login, disable AUTO SMR\n"),
            std::string::npos);
  testing::internal::CaptureStdout();
  Destroy(id);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("All Clients logout, enable AUTO SMR\n"),
            std::string::npos);
}

TEST_F(ClientHashTest, EleventhSessionReclaimsAnOfflineUnpinnedOne) {
  for (int i = 0; i < kMaxClients; ++i) AddSession("u" + std::to_string(i));
  // All online: no room.
  testing::internal::CaptureStdout();
  EXPECT_EQ(AddSession("x"), gDummyClientID);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("No free ID. Try to recliam\n"),
            std::string::npos);
  // Session 3 goes offline while pinned: destroy fails and leaves it to later.
  KelClient* three = PinClient(&hash, 3);
  ASSERT_NE(three, nullptr);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(Destroy(3));
  EXPECT_NE(testing::internal::GetCapturedStdout().find(
                "Destroy client [ID: 3] failed[Ref = 1]. Leave it to WatchDog\n"),
            std::string::npos);
  EXPECT_EQ(PinClient(&hash, 3), nullptr);  // offline: no new pins
  EXPECT_EQ(AddSession("x"), gDummyClientID);  // still pinned, so still no room
  UnpinClient(three);
  EXPECT_EQ(AddSession("x"), 11);  // reclaimed now
  EXPECT_EQ(hash.GetClient(3), nullptr);
}

TEST_F(ClientHashTest, UserNameLookupIsExact) {
  AddSession("admin");
  int guest = AddSession("guest");
  hash.r_lock(__FILE__, __LINE__);
  EXPECT_EQ(hash.GetClient(std::string("Admin")), nullptr);
  EXPECT_EQ(hash.GetClient(std::string("admi")), nullptr);
  ASSERT_NE(hash.GetClient(std::string("guest")), nullptr);
  EXPECT_EQ(hash.GetClient(std::string("guest"))->pRemoteClient->GetClientID(), guest);
  hash.r_unlock(__FILE__, __LINE__);
}

TEST_F(ClientHashTest, DestroyingAMissingClientReportsIt) {
  testing::internal::CaptureStdout();
  EXPECT_FALSE(Destroy(42));
  EXPECT_NE(testing::internal::GetCapturedStdout().find("Non-exist client[42]\n"), std::string::npos);
}

TEST_F(ClientHashTest, DestroyWithWaitSucceedsOnceTheLastPinGoes) {
  int id = AddSession("a");
  KelClient* pinned = PinClient(&hash, id);
  ASSERT_NE(pinned, nullptr);
  std::thread releaser([&] {
    usleep(20 * 1000);
    UnpinClient(pinned);
  });
  // The destroy marks the session offline and waits up to 100 ms for the last pin.
  bool destroyed = Destroy(id, true);
  releaser.join();
  if (!destroyed) {  // a slow machine: the next reclaim finishes the job
    hash.w_lock(__FILE__, __LINE__);
    hash.Reclaim();
    hash.w_unlock(__FILE__, __LINE__);
  }
  EXPECT_EQ(hash.GetClient(id), nullptr);
}

}  // namespace
