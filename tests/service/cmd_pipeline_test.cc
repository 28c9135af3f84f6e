// The parser and its single worker: retries from the saved request, refusals, unknown
// codes, fairness between sessions, and commands whose session dies.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "service/core/srv_private.h"
#include "service/raid/raid_dispatch.h"
#include "service/session/kel_client_hash.h"
#include "service/session/kel_cmd_parser.h"
#include "service/session/kel_user_cmd.h"
#include <unistd.h>

namespace {

// What the fake RAID handlers saw, shared with the test body.
std::mutex g_seenMutex;
std::vector<std::string> g_seen;  // "client:code:firstByte" per execution, in order
std::atomic<int> g_calls{0};
std::atomic<int> g_result{0};
std::atomic<bool> g_gateOpen{true};  // while closed, the handler holds the worker

int RecordingHandler(KelSrvPrivate*, KelUserCmd* cmd, std::string&) {
  ++g_calls;
  while (!g_gateOpen) usleep(1000);
  {
    std::lock_guard<std::mutex> hold(g_seenMutex);
    g_seen.push_back(std::to_string(cmd->clientID) + ":" + std::to_string(cmd->code) + ":" +
                     std::to_string(cmd->data[0]));
  }
  // Scribble over the request: a rerun must start from the saved bytes again.
  cmd->data[0] = 0xEE;
  cmd->m_CmdDataLen = 5;
  int result = g_result.load();
  cmd->SetRetCode(result);
  return result;
}

class PipelineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KelClientHash::TEST_ResetIdCounter();
    g_calls = 0;
    g_result = 0;
    g_seen.clear();
    g_gateOpen = true;
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

  int AddSession() {
    hash.w_lock(__FILE__, __LINE__);
    int id = hash.AllocateFreeClientID();
    auto* client = new KelClient;
    client->pRemoteClient = new KelRemoteClient(id, parser.get());
    client->pRemoteClient->accountInfo.name = "user" + std::to_string(id);
    hash.Insert(client);
    hash.w_unlock(__FILE__, __LINE__);
    return id;
  }

  // A received command as a connection thread would hand it over; the caller owns it.
  KelUserCmd* Submit(int client, unsigned char code, unsigned char first, bool* queued = nullptr) {
    auto* cmd = new KelUserCmd;
    cmd->code = code;
    cmd->data[0] = first;
    cmd->m_CmdDataLen = 1;
    cmd->clientID = client;
    KelCmdInit(cmd);
    KelClient* pinned = PinClient(&hash, client);
    bool ok = pinned != nullptr && parser->QueueWaiting(pinned->pRemoteClient, cmd);
    if (pinned != nullptr) UnpinClient(pinned);
    if (queued != nullptr) *queued = ok;
    return cmd;
  }

  KelSrvPrivate priv;
  KelClientHash hash{&priv};
  KelEHHandler eh{&priv};
  std::unique_ptr<KelCmdParser> parser;
};

TEST_F(PipelineTest, AFailingQueryRunsOnceAChangeTwiceAndOthersThreeTimes) {
  int id = AddSession();
  g_result = 900;
  struct Case {
    unsigned char code;
    int runs;
  } cases[] = {{10, 1}, {2, 2}, {16, 3}};
  for (const Case& c : cases) {
    g_calls = 0;
    g_seen.clear();
    KelUserCmd* cmd = Submit(id, c.code, 7);
    cmd->WaitForComplete();
    EXPECT_EQ(g_calls.load(), c.runs) << "code " << int(c.code);
    EXPECT_EQ(cmd->GetRetCode(), 900);  // the reply of the last run
    for (const std::string& s : g_seen) EXPECT_EQ(s, std::to_string(id) + ":" + std::to_string(c.code) + ":7");
    delete cmd;
  }
}

TEST_F(PipelineTest, ARefusalIsAnsweredAtOnceWithoutRetry) {
  int id = AddSession();
  g_result = KEL_RET_STALE_MAGIC;
  KelUserCmd* cmd = Submit(id, 16, 1);
  cmd->WaitForComplete();
  EXPECT_EQ(g_calls.load(), 1);
  EXPECT_EQ(cmd->status, KEL_CMD_REFUSED);
  EXPECT_EQ(cmd->GetRetCode(), KEL_RET_STALE_MAGIC);
  delete cmd;
}

TEST_F(PipelineTest, AnUnknownCodeGetsReturnCodeOneInFiveBytes) {
  int id = AddSession();
  KelUserCmd* cmd = Submit(id, 18, 0);
  cmd->WaitForComplete();
  EXPECT_EQ(cmd->GetRetCode(), KEL_RET_INVALID_CMD);
  EXPECT_EQ(cmd->m_CmdDataLen, 5);
  EXPECT_EQ(g_calls.load(), 0);
  delete cmd;
}

TEST_F(PipelineTest, NoSessionHasMoreThanFourCommandsRunningAndSessionsTakeTurns) {
  int a = AddSession();
  int b = AddSession();
  // Hold the worker in a's first command while a and then b queue six commands each.
  g_gateOpen = false;
  std::vector<KelUserCmd*> cmds;
  cmds.push_back(Submit(a, 9, 0));
  while (g_calls.load() == 0) usleep(1000);
  for (int i = 1; i < 6; ++i) cmds.push_back(Submit(a, 9, static_cast<unsigned char>(i)));
  for (int i = 0; i < 6; ++i) cmds.push_back(Submit(b, 9, static_cast<unsigned char>(i)));
  usleep(200 * 1000);  // the parser hands over all it may; the rest waits
  g_gateOpen = true;
  for (KelUserCmd* c : cmds) {
    c->WaitForComplete();
    delete c;
  }
  std::string order;
  for (const std::string& s : g_seen) order += s.substr(0, s.find(':')) + s.substr(s.rfind(':') + 1) + " ";
  // Each session's commands ran in submission order. Both sessions had at least four
  // waiting, so neither got a fifth handed over before the other's fourth had been.
  std::string A = std::to_string(a), B = std::to_string(b);
  auto at = [&](const std::string& who, int n) { return order.find(who + std::to_string(n) + " "); };
  for (int n = 0; n + 1 < 6; ++n) {
    EXPECT_LT(at(A, n), at(A, n + 1)) << order;
    EXPECT_LT(at(B, n), at(B, n + 1)) << order;
  }
  EXPECT_GT(at(A, 4), at(B, 3)) << order;
  EXPECT_GT(at(B, 4), at(A, 3)) << order;
}

TEST_F(PipelineTest, CommandsOfADestroyedSessionAreAnsweredNotLost) {
  int id = AddSession();
  g_result = 0;
  std::vector<KelUserCmd*> cmds;
  for (int i = 0; i < 6; ++i) cmds.push_back(Submit(id, 10, static_cast<unsigned char>(i)));
  hash.w_lock(__FILE__, __LINE__);
  hash.DestroyClient(id, true);
  hash.w_unlock(__FILE__, __LINE__);
  for (KelUserCmd* c : cmds) {
    c->WaitForComplete();  // every record is completed exactly once ...
    delete c;              // ... and released by its issuer only
  }
  EXPECT_EQ(KelUserCmd::LiveCount(), 0);
  // A submission to the gone session is refused at once.
  bool queued = true;
  KelUserCmd* late = Submit(id, 10, 0, &queued);
  EXPECT_FALSE(queued);
  delete late;
}

TEST_F(PipelineTest, ManySessionsAndCommandsAllComplete) {
  std::vector<int> ids;
  for (int i = 0; i < kMaxClients; ++i) ids.push_back(AddSession());
  std::vector<std::thread> issuers;
  std::atomic<int> done{0};
  for (int id : ids) {
    issuers.emplace_back([&, id] {
      for (int n = 0; n < 20; ++n) {
        KelUserCmd* cmd = Submit(id, n % 2 ? 11 : 255, static_cast<unsigned char>(n % 2 ? 1 : 9));
        cmd->WaitForComplete();
        delete cmd;
        ++done;
      }
    });
  }
  for (auto& t : issuers) t.join();
  EXPECT_EQ(done.load(), kMaxClients * 20);
  EXPECT_EQ(KelUserCmd::LiveCount(), 0);
}

}  // namespace
