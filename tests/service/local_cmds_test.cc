// The service-local commands through their dispatcher, for what the process tests
// (tests/process/protocol_test.cc) do not see: refused and malformed requests with their
// diagnostics, the event-log status and its items (with the reply-size limit), settings
// without a configuration object, and the password change on behalf of the issuing session.
#include "service/login/local_cmds.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "service/account/kel_account.h"
#include "service/config/kel_remote_config.h"
#include "service/core/srv_private.h"
#include "service/eventlog/kel_event_log.h"
#include "service/session/kel_client_hash.h"
#include "service/session/kel_user_cmd.h"
#include "sharedlib/aes.h"
#include "sharedlib/kel_timer.h"
#include "tests/service/service_test_util.h"
#include "tests/support/temp_dir.h"

namespace {

using kel_test::Captured;
using kel_test::ReadAll;

// A local request: sub-code and the bytes behind it.
std::unique_ptr<KelUserCmd> Local(const std::vector<unsigned char>& request) {
  auto cmd = std::make_unique<KelUserCmd>();
  cmd->code = KEL_CMD_LOCAL;
  memset(cmd->data, 0, sizeof cmd->data);
  memcpy(cmd->data, request.data(), request.size());
  cmd->m_CmdDataLen = static_cast<uint16_t>(request.size());
  return cmd;
}

// Return code and reply length in one text.
std::string Reply(const KelUserCmd& c) {
  return "ret " + std::to_string(c.GetRetCode()) + " len " + std::to_string(c.m_CmdDataLen);
}

// The big-endian words of the reply at the given places.
std::string Words(KelUserCmd& c, std::initializer_list<int> at) {
  std::string out;
  for (int i : at) out += (out.empty() ? "" : " ") + std::to_string(c.BufToINT32S(i));
  return out;
}

// The log-items request: direction, first line, count (big-endian).
std::vector<unsigned char> LogItems(unsigned char backward, unsigned char first, unsigned char count) {
  return {3, backward, 0, 0, 0, first, 0, 0, 0, count};
}

class LocalCmdTest : public testing::Test {
 protected:
  void SetUp() override {
    KelRemoteConfig::ResetDefaults();
    std::ofstream(m_cfgPath) << "KEL_CFG_EVENTLOG_FILE = " << m_logPath << "\n";
    Captured([&] { m_config = std::make_unique<KelRemoteConfig>(m_cfgPath.c_str()); });
    ASSERT_EQ(AesModuleInit(), 0);
    ASSERT_TRUE(KelTimer::StartTimerDaemonThread());
    m_account = std::make_unique<KelAccount>(m_dir.File("kel_account").c_str());
    m_priv.pConfig = m_config.get();
    m_priv.pClientHash = &m_hash;
    m_priv.pAccount = m_account.get();
    OpenLog(200, 10);
  }
  void TearDown() override {
    m_log.reset();
    KelTimer::StopTimerDaemonThread();
    KelRemoteConfig::ResetDefaults();
  }

  // An event log of `capacity` records of `record` bytes at the configured path.
  void OpenLog(int record, int capacity) {
    m_log.reset();
    std::filesystem::remove(m_logPath);
    Captured([&] { m_log = std::make_unique<KelEventLog>(m_logPath.c_str(), record * capacity, record); });
    m_priv.pEventLog = m_log.get();
  }

  // Writes each line to the file at once (so file order is queue order); returns the
  // stored forms.
  std::vector<std::string> WriteLines(const std::vector<std::string>& lines) {
    std::vector<std::string> stored;
    Captured([&] {
      for (std::string line : lines) {
        m_log->AddItemToQueue(line);
        m_log->FlushLogQueue();
        stored.push_back(line);
      }
    });
    return stored;
  }

  // Runs the command as the worker does: the text arrives holding the client's description.
  bool Run(KelUserCmd* cmd) {
    std::string logText = "Client <admin> from <10.0.0.5>";
    bool ok = false;
    m_out = Captured([&] { ok = KelExecuteLocalCmd(&m_priv, cmd, logText); });
    EXPECT_EQ(logText, "");  // local commands log nothing
    return ok;
  }
  std::unique_ptr<KelUserCmd> Ran(const std::vector<unsigned char>& request) {
    auto cmd = Local(request);
    Run(cmd.get());
    return cmd;
  }
  bool Says(const std::string& what) const { return m_out.find(what) != std::string::npos; }

  void AddClient(int id, const std::string& name, const std::string& password, uint32_t rights) {
    auto* client = new KelClient();
    client->pRemoteClient = new KelRemoteClient(id, nullptr);
    client->pRemoteClient->accountInfo = {name, password, rights};
    Captured([&] {
      m_hash.w_lock(__FILE__, __LINE__);
      EXPECT_TRUE(m_hash.Insert(client));
      m_hash.w_unlock(__FILE__, __LINE__);
    });
  }

  kel_test::TempDir m_dir;
  const std::string m_cfgPath = m_dir.File("kel.config");
  const std::string m_logPath = m_dir.File("kel_event.log");
  std::string m_out;
  KelSrvPrivate m_priv;
  KelClientHash m_hash{&m_priv};
  std::unique_ptr<KelRemoteConfig> m_config;
  std::unique_ptr<KelAccount> m_account;
  std::unique_ptr<KelEventLog> m_log;
};

TEST_F(LocalCmdTest, RefusedMalformedAndMissizedRequestsAnswerAsTheyShould) {
  WriteLines({"INFO~one"});
  const struct { std::vector<unsigned char> request; int ret, replyLen; std::string says; } cases[] = {
      // A logout (sub-code 0) never reaches here.
      {{10, 0xEE}, 1, 5, "Invalid command code 10\n"}, {{0, '1', 0}, 1, 5, "Invalid command code 0\n"},
      {{3, 0, 0, 0, 0, 0, 0, 0, 3}, 1002, 5, "Local command[3] request too short [9 bytes]\n"},
      {LogItems(0, 0, 0), 1001, 5, "Local command[3] failed. Ret code [1001]\n"},  // reads nothing
      {{5, 2}, 1002, 5, "Invalid packet content received from client\n"},
      // Longer requests are reported and run all the same; shorter ones change nothing,
      // since their missing bytes would read as zeros.
      {{4, 0}, 0, 6, "Assersion [pCmd->m_CmdDataLen == 1] failed"},
      {{8, 0, 0, 0, 5, 0}, 0, 5, "Assersion [pCmd->m_CmdDataLen == 5] failed"},
      {{7, 0, 0}, 0, 9, "Assersion [pCmd->m_CmdDataLen == 1] failed"},
      {{5}, 1002, 5, "Local command[5] request too short [1 bytes]\n"},
      {{8, 0, 0, 9}, 1002, 5, "Local command[8] request too short [4 bytes]\n"},
      {{9, 0xA5, 0xA5}, 0, 119, ""},  // the test command's fixed reply
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.says);
    auto cmd = Local(k.request);
    EXPECT_EQ(Run(cmd.get()), k.ret == 0);
    EXPECT_EQ(cmd->status, k.ret == 0 ? KEL_CMD_OK : k.ret == 1 ? KEL_CMD_REFUSED : KEL_CMD_FAILED);
    EXPECT_EQ(Reply(*cmd), "ret " + std::to_string(k.ret) + " len " + std::to_string(k.replyLen));
    EXPECT_TRUE(cmd->data[0] == k.request[0] && Says(k.says)) << m_out;
  }
  EXPECT_EQ(Ran({7})->BufToINT32U(5), 5u);  // {8, 0, 0, 0, 5, 0} was taken as 5 minutes
  EXPECT_TRUE(Ran({4})->data[5]);              // {5} left the beeper on
}

TEST_F(LocalCmdTest, LogStatusReportsSizeLinesAndTheMaximumAndClearingEmptiesIt) {
  WriteLines({"INFO~one", "INFO~two", "WARNING~three"});
  // Beyond the maximum size, the size's high and low halves, the line count.
  auto three = Ran({1});
  EXPECT_EQ(Reply(*three) + " " + Words(*three, {5, 9, 13, 17}), "ret 0 len 21 0 0 800 3");  // header, 3 records
  WriteLines(std::vector<std::string>(7, "INFO~line"));  // 2000 bytes of records at most
  auto full = Ran({1});
  EXPECT_EQ(Words(*full, {5, 9, 13, 17}), "1 0 2200 10");
  EXPECT_EQ(Ran({2})->GetRetCode(), 0);
  EXPECT_TRUE(m_log->GetCurLineNum() == 0 && KelEventLog::GetSize(m_logPath.c_str()) == 200u);
}

// Items come forward in file order or backward newest first. Stored items of 681 bytes
// (time, "~", the line, newline): three make 2043 text bytes and fill the 2056-byte reply
// exactly; at 682 bytes only two fit.
TEST_F(LocalCmdTest, LogItemsComeInOrderOrNewestFirstAndFillTheReplyUpTo2056BytesAtALineBoundary) {
  OpenLog(1000, 20);
  const auto s = WriteLines(std::vector<std::string>(3, "INFO~" + std::string(681 - 31, 'x')));
  const auto l = WriteLines(std::vector<std::string>(3, "INFO~" + std::string(682 - 31, 'y')));
  ASSERT_EQ(s[0].size(), 681u);
  const struct { unsigned char backward, first, count, copied; std::string text; bool cut; } cases[] = {
      {0, 0, 3, 3, s[0] + s[1] + s[2], false}, {0, 0, 4, 3, s[0] + s[1] + s[2], true},
      {0, 3, 3, 2, l[0] + l[1], true},         {1, 3, 2, 2, s[2] + s[1], false}};
  for (const auto& k : cases) {
    auto cmd = Ran(LogItems(k.backward, k.first, k.count));
    EXPECT_EQ(Reply(*cmd), "ret 0 len " + std::to_string(13 + k.text.size()));
    EXPECT_EQ(Words(*cmd, {5, 9}), std::to_string(k.copied) + " " + std::to_string(k.text.size()));
    EXPECT_TRUE(std::string(reinterpret_cast<const char*>(cmd->data + 13), k.text.size()) == k.text);
    EXPECT_EQ(Says("Buffer size is not enough\n"), k.cut) << m_out;
  }
}

TEST_F(LocalCmdTest, SettingsAreKeptInWholeMinutesAndWrittenOnlyThroughAConfiguration) {
  EXPECT_EQ(Ran({7})->BufToINT32U(5), 60u);
  Ran({8, 0, 0, 0, 0});
  EXPECT_EQ(KelRemoteConfig::nCheckDiskStatusInterval, 0);
  EXPECT_NE(ReadAll(m_cfgPath).find("KEL_CFG_CHECKDISK_INTERVAL = 0\n"), std::string::npos);
  // A refused beeper value leaves the switch, but the file is rewritten all the same.
  std::filesystem::remove(m_cfgPath);
  EXPECT_EQ(Ran({5, 2})->GetRetCode(), 1002);
  EXPECT_NE(ReadAll(m_cfgPath).find("KEL_CFG_BEEP_ENABLE = TRUE\n"), std::string::npos);

  m_priv.pConfig = nullptr;
  std::filesystem::remove(m_cfgPath);
  Ran({8, 0, 0, 0, 7});
  Ran({5, 0});
  EXPECT_TRUE(KelRemoteConfig::nCheckDiskStatusInterval == 420000 && !KelRemoteConfig::bBeepEnable);
  Ran({5, 1});
  EXPECT_TRUE(KelRemoteConfig::bBeepEnable && !std::filesystem::exists(m_cfgPath));
}

TEST_F(LocalCmdTest, PasswordsChangeOnlyForAnOnlineAdminSessionAndAsTheStoreAllows) {
  AddClient(3, "guest", "rovak", 7);
  AddClient(4, "admin", "pelum", 14);
  AddClient(5, "admin", "pelum", 14);
  KelClient* pinned = PinClient(&m_hash, 5);
  Captured([&] {
    m_hash.w_lock(__FILE__, __LINE__);
    EXPECT_FALSE(m_hash.DestroyClient(5, false));  // pinned: left offline
    m_hash.w_unlock(__FILE__, __LINE__);
  });
  const struct { int client; std::string current, next; int ret; } cases[] = {
      {3, "rovak", "newpw", 1037}, {9, "rovak", "newpw", 1004}, {5, "rovak", "newpw", 1034},
      {4, "nope", "newpw", 1033},  {4, "rovak", "", 1030},      {4, "rovak", "newpw", 0}};
  for (const auto& k : cases) {
    const std::string texts = "\6guest" + std::string(1, '\0') + k.current + '\0' + k.next + '\0';
    auto cmd = Local(std::vector<unsigned char>(texts.begin(), texts.end()));
    cmd->clientID = k.client;
    EXPECT_EQ(Run(cmd.get()), k.ret == 0);
    EXPECT_EQ(Reply(*cmd), "ret " + std::to_string(k.ret) + " len 5") << k.client;
    _KelAccountInfo guest{"guest", k.ret == 0 ? "newpw" : "rovak", 0};
    EXPECT_EQ(m_account->VerifyItem(&guest), 0) << k.client;
  }
  for (int id : {3, 4}) EXPECT_EQ(m_hash.GetClient(id)->pRemoteClient->GetRefCnt(), 0) << id;
  UnpinClient(pinned);
}

}  // namespace
