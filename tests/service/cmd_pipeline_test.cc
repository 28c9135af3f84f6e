// The parser and its single worker: handler results becoming statuses, retries from the
// saved request, refusals, unknown codes, at most four running commands per session with
// sessions taking turns, and commands whose session dies. (Many sessions served at once:
// tests/process/protocol_test.cc, TwoSessionsWithFiveConnectionsEachAreAllServed.)
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "service/core/srv_private.h"
#include "service/raid/raid_change_handlers.h"
#include "service/raid/raid_dispatch.h"
#include "service/raid/raid_engine_ops.h"
#include "service/session/kel_client_hash.h"
#include "service/session/kel_cmd_parser.h"
#include "service/session/kel_user_cmd.h"

namespace {

// What the fake RAID handlers saw, shared with the test body.
std::mutex g_seenMutex;
std::vector<std::string> g_seen;  // "client:firstByte" per execution, in order
std::atomic<int> g_calls{0};
std::atomic<int> g_result{0};
std::atomic<bool> g_gateOpen{true};  // while closed, the handler holds the worker

int RecordingHandler(KelSrvPrivate*, KelUserCmd* cmd, std::string&) {
  ++g_calls;
  while (!g_gateOpen) usleep(1000);
  {
    std::lock_guard<std::mutex> hold(g_seenMutex);
    g_seen.push_back(std::to_string(cmd->clientID) + ":" + std::to_string(cmd->data[0]));
  }
  // Scribble over the request: a rerun must start from the saved bytes again.
  cmd->data[0] = 0xEE, cmd->m_CmdDataLen = 5;
  cmd->SetRetCode(g_result.load());
  return g_result.load();
}

class PipelineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KelClientHash::TEST_ResetIdCounter();
    g_calls = 0, g_result = 0, g_gateOpen = true;
    g_seen.clear();
    for (unsigned char code = 1; code <= 17; ++code) KelSetRaidHandler(code, RecordingHandler);
    priv.pClientHash = &hash;
    parser = std::make_unique<KelCmdParser>(&priv, &eh);
    priv.pCmdParser = parser.get();
    parser->start();
  }
  void TearDown() override {
    parser.reset();
    for (unsigned char code = 1; code <= 17; ++code) KelSetRaidHandler(code, nullptr);
  }

  KelRemoteClient* AddSession() {
    hash.w_lock(__FILE__, __LINE__);
    auto* client = new KelClient;
    client->pRemoteClient = new KelRemoteClient(hash.AllocateFreeClientID(), parser.get());
    hash.Insert(client);
    hash.w_unlock(__FILE__, __LINE__);
    return client->pRemoteClient;
  }

  // A received command as a connection thread would hand it over; the caller owns it.
  KelUserCmd* Submit(int client, unsigned char code, unsigned char first, bool* queued = nullptr) {
    auto* cmd = new KelUserCmd;
    cmd->code = code, cmd->data[0] = first, cmd->m_CmdDataLen = 1, cmd->clientID = client;
    KelCmdInit(cmd);
    KelClient* pinned = PinClient(&hash, client);
    bool ok = pinned != nullptr && parser->QueueWaiting(pinned->pRemoteClient, cmd);
    if (pinned != nullptr) UnpinClient(pinned);
    if (queued != nullptr) *queued = ok;
    return cmd;
  }
  static void Finish(std::vector<KelUserCmd*>& cmds) {
    for (KelUserCmd* c : cmds) {
      c->WaitForComplete();  // every record is completed exactly once ...
      delete c;              // ... and released by its issuer only
    }
  }

  KelSrvPrivate priv;
  KelClientHash hash{&priv};
  KelEHHandler eh{&priv};
  std::unique_ptr<KelCmdParser> parser;
};

TEST_F(PipelineTest, FailuresAreRetriedByKindRefusalsAndUnknownCodesAnsweredAtOnce) {
  const int id = AddSession()->GetClientID();
  const struct { unsigned char code; int result, runs, ret; uint8_t status; } cases[] = {
      {10, 900, 1, 900, KEL_CMD_FAILED},  // a query runs once
      {2, 900, 2, 900, KEL_CMD_FAILED},   // a change twice
      {16, 900, 3, 900, KEL_CMD_FAILED},  // the others three times
      {16, KEL_RET_STALE_MAGIC, 1, KEL_RET_STALE_MAGIC, KEL_CMD_REFUSED},
      {16, 0, 1, 0, KEL_CMD_OK},
      {16, 1112, 1, 1112, KEL_CMD_OK},  // a task still running is an answer
      {19, 0, 0, KEL_RET_INVALID_CMD, KEL_CMD_REFUSED}};
  for (const auto& k : cases) {
    g_calls = 0, g_result = k.result;
    g_seen.clear();
    KelUserCmd* cmd = Submit(id, k.code, 7);
    cmd->WaitForComplete();
    // The reply is that of the last run.
    EXPECT_TRUE(g_calls.load() == k.runs && cmd->GetRetCode() == k.ret && cmd->status == k.status &&
                cmd->m_CmdDataLen == 5)
        << int(k.code) << "/" << k.result << ": " << g_calls.load() << " runs, " << cmd->GetRetCode();
    for (const std::string& s : g_seen) EXPECT_EQ(s, std::to_string(id) + ":7");
    delete cmd;
  }
}

// A rerun would build a second array over the same sectors.
TEST_F(PipelineTest, AFailingCreationRunsTheEngineOnce) {
  const int id = AddSession()->GetClientID();
  KelSetRaidHandler(KEL_CMD_CREATE_RAID, NetKelCreateRaid);
  KelRaidEngine().get_PD_magicNum = [](int, uint16_t* m) { return *m = 0, 0; };
  KelRaidEngine().update_hardware_info = [] { return 0; };
  KelRaidEngine().create_span_TARVOII = [](int, const _Index_Plus_t*, uint32_t, uint32_t,
                                           const char*, int) { return ++g_calls, 900; };
  KelUserCmd* cmd = new KelUserCmd;
  cmd->code = KEL_CMD_CREATE_RAID, cmd->data[0] = 1, cmd->data[1] = 1;
  cmd->m_CmdDataLen = kCreateLen, cmd->clientID = id;
  KelCmdInit(cmd);
  KelClient* pinned = PinClient(&hash, id);
  ASSERT_TRUE(pinned != nullptr && parser->QueueWaiting(pinned->pRemoteClient, cmd));
  UnpinClient(pinned);
  cmd->WaitForComplete();
  KelRaidEngine() = KelRaidEngineOps{};
  EXPECT_TRUE(g_calls.load() == 1 && cmd->GetRetCode() == 900 && cmd->status == KEL_CMD_FAILED)
      << g_calls.load() << " " << cmd->GetRetCode();
  delete cmd;
}

TEST_F(PipelineTest, NoSessionHasMoreThanFourCommandsRunningAndSessionsTakeTurns) {
  KelRemoteClient* sessions[2] = {AddSession(), AddSession()};
  const int a = sessions[0]->GetClientID(), b = sessions[1]->GetClientID();
  // Hold the worker in a's first command while a and then b queue six commands each.
  g_gateOpen = false;
  std::vector<KelUserCmd*> cmds;
  cmds.push_back(Submit(a, 9, 0));
  while (g_calls.load() == 0) usleep(1000);
  for (int i = 1; i < 6; ++i) cmds.push_back(Submit(a, 9, static_cast<unsigned char>(i)));
  for (int i = 0; i < 6; ++i) cmds.push_back(Submit(b, 9, static_cast<unsigned char>(i)));
  // The parser hands over all it may: four of each, two of each wait.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  auto count = [](KelUserCmdQueue& q) { q.lock(); const int n = q.GetCmdCnt(); q.unlock(); return n; };
  auto settled = [&] {
    return count(sessions[0]->runningQueue) == 4 && count(sessions[0]->waitingQueue) == 2 &&
           count(sessions[1]->runningQueue) == 4 && count(sessions[1]->waitingQueue) == 2;
  };
  while (!settled() && std::chrono::steady_clock::now() < deadline) usleep(1000);
  EXPECT_TRUE(settled());
  g_gateOpen = true;
  Finish(cmds);
  std::string order;
  for (const std::string& s : g_seen) order += s.substr(0, s.find(':')) + s.substr(s.find(':') + 1) + " ";
  // Each session's commands ran in submission order. Both sessions had at least four
  // waiting, so neither got a fifth handed over before the other's fourth had been.
  const std::string A = std::to_string(a), B = std::to_string(b);
  auto at = [&](const std::string& who, int n) { return order.find(who + std::to_string(n) + " "); };
  for (int n = 0; n + 1 < 6; ++n) EXPECT_TRUE(at(A, n) < at(A, n + 1) && at(B, n) < at(B, n + 1)) << order;
  EXPECT_TRUE(at(A, 4) > at(B, 3) && at(B, 4) > at(A, 3)) << order;
}

TEST_F(PipelineTest, CommandsOfADestroyedSessionAreAnsweredNotLost) {
  const int id = AddSession()->GetClientID();
  std::vector<KelUserCmd*> cmds;
  for (int i = 0; i < 6; ++i) cmds.push_back(Submit(id, 10, static_cast<unsigned char>(i)));
  hash.w_lock(__FILE__, __LINE__);
  hash.DestroyClient(id, true);
  hash.w_unlock(__FILE__, __LINE__);
  Finish(cmds);
  EXPECT_EQ(KelUserCmd::LiveCount(), 0);
  bool queued = true;  // a submission to the gone session is refused at once
  delete Submit(id, 10, 0, &queued);
  EXPECT_FALSE(queued);
}

}  // namespace
