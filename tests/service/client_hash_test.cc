// The session registry: ID allocation in login order, automatic work switched by the first
// login and the last logout, the ten-session limit with reclaiming of offline sessions once
// unpinned, exact name lookup.
#include "service/session/kel_client_hash.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "service/core/srv_private.h"

namespace {

class ClientHashTest : public ::testing::Test {
 protected:
  void SetUp() override { KelClientHash::TEST_ResetIdCounter(); }

  // Logs a session in the way the login handler does; returns its ID. Diagnostics go to m_out.
  int AddSession(const std::string& user) {
    testing::internal::CaptureStdout();
    EXPECT_TRUE(hash.w_lock(__FILE__, __LINE__));
    int id = hash.AllocateFreeClientID();
    if (id != gDummyClientID) {
      auto* client = new KelClient;
      client->pRemoteClient = new KelRemoteClient(id, nullptr);
      client->pRemoteClient->accountInfo.name = user;
      EXPECT_TRUE(hash.Insert(client));
    }
    hash.w_unlock(__FILE__, __LINE__);
    m_out = testing::internal::GetCapturedStdout();
    return id;
  }
  bool Destroy(int id, bool wait = false) {
    testing::internal::CaptureStdout();
    hash.w_lock(__FILE__, __LINE__);
    bool ok = hash.DestroyClient(id, wait);
    hash.w_unlock(__FILE__, __LINE__);
    m_out = testing::internal::GetCapturedStdout();
    return ok;
  }
  bool Says(const std::string& what) const { return m_out.find(what) != std::string::npos; }

  std::string m_out;
  KelSrvPrivate priv;
  KelClientHash hash{&priv};
};

TEST_F(ClientHashTest, IdsRiseInLoginOrderAndTheFirstAndLastSessionSwitchAutomaticWork) {
  EXPECT_EQ(AddSession("admin"), 1);
  EXPECT_TRUE(Says("Client login, disable AUTO SMR\n")) << m_out;
  EXPECT_EQ(AddSession("guest"), 2);
  EXPECT_EQ(AddSession("guest"), 3);
  EXPECT_TRUE(Destroy(2));
  EXPECT_EQ(AddSession("d"), 4);
  int ids[kMaxClients];
  ASSERT_EQ(hash.GetAllClientID(ids), 3);
  EXPECT_EQ(std::vector<int>(ids, ids + 3), (std::vector<int>{1, 3, 4}));
  EXPECT_EQ(gTotalClients.load(), 3);

  hash.r_lock(__FILE__, __LINE__);  // names match exactly
  EXPECT_TRUE(hash.GetClient(std::string("Admin")) == nullptr && hash.GetClient(std::string("admi")) == nullptr);
  KelClient* guest = hash.GetClient(std::string("guest"));
  EXPECT_EQ(guest != nullptr ? guest->pRemoteClient->GetClientID() : -1, 3);
  hash.r_unlock(__FILE__, __LINE__);

  EXPECT_FALSE(Destroy(42));
  for (int id : {1, 3, 4}) EXPECT_TRUE(Destroy(id));
  EXPECT_TRUE(Says("All Clients logout, enable AUTO SMR\n")) << m_out;
}

TEST_F(ClientHashTest, EleventhSessionReclaimsAnOfflineUnpinnedOne) {
  for (int i = 0; i < kMaxClients; ++i) AddSession("u" + std::to_string(i));
  EXPECT_EQ(AddSession("x"), gDummyClientID);  // all online: no room
  EXPECT_TRUE(Says("No free ID. Try to recliam\n")) << m_out;
  // Session 3 goes offline while pinned: destroy fails and leaves it to later.
  KelClient* three = PinClient(&hash, 3);
  ASSERT_NE(three, nullptr);
  EXPECT_FALSE(Destroy(3));
  EXPECT_TRUE(Says("Destroy client [ID: 3] failed[Ref = 1]. Leave it to WatchDog\n")) << m_out;
  EXPECT_EQ(PinClient(&hash, 3), nullptr);     // offline: no new pins
  EXPECT_EQ(AddSession("x"), gDummyClientID);  // still pinned, so still no room
  UnpinClient(three);
  EXPECT_EQ(AddSession("x"), 11);  // reclaimed now
  EXPECT_EQ(hash.GetClient(3), nullptr);
}

}  // namespace
