// The service-local commands through their dispatcher: refusal of unknown sub-codes, the
// event-log status, clearing and reading (with the reply-size limit), the beeper switch and
// the disk-check interval with their configuration rewrite, the password change on behalf
// of the issuing session, and the fixed test reply. Every test has its own folder.
#include "service/login/local_cmds.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
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

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Contains(const std::string& text, const std::string& what) {
  return text.find(what) != std::string::npos;
}

class LocalCmdTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kel_local_cmds_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    m_dir = pattern;
    m_cfgPath = m_dir + "/kel.config";
    m_logPath = m_dir + "/kel_event.log";
    KelRemoteConfig::ResetDefaults();
    {
      std::ofstream cfg(m_cfgPath);
      cfg << "KEL_CFG_EVENTLOG_FILE = " << m_logPath << "\n"
          << "KEL_CFG_ACCOUNT_FILE = " << m_dir << "/kel_account\n"
          << "KEL_CFG_INIT_LOG_FILE = " << m_dir << "/kel_init.log\n";
    }
    testing::internal::CaptureStdout();
    m_config = std::make_unique<KelRemoteConfig>(m_cfgPath.c_str());
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(KelRemoteConfig::strEventLogFile, m_logPath);
    ASSERT_EQ(AesModuleInit(), 0);
    ASSERT_TRUE(KelTimer::StartTimerDaemonThread());
    m_account = std::make_unique<KelAccount>(KelRemoteConfig::strAccountFile.c_str());
    m_hash = std::make_unique<KelClientHash>(&m_priv);
    m_priv.pConfig = m_config.get();
    m_priv.pClientHash = m_hash.get();
    m_priv.pAccount = m_account.get();
  }

  void TearDown() override {
    m_log.reset();
    m_hash.reset();
    KelTimer::StopTimerDaemonThread();
    std::filesystem::remove_all(m_dir);
    KelRemoteConfig::ResetDefaults();
  }

  // An event log of `capacity` records of `record` bytes at the configured path.
  void OpenLog(int record, int capacity) {
    testing::internal::CaptureStdout();
    m_log = std::make_unique<KelEventLog>(
        m_logPath.c_str(), static_cast<unsigned long long>(record) * capacity, record);
    testing::internal::GetCapturedStdout();
    m_priv.pEventLog = m_log.get();
  }

  // Writes each line to the file at once (so file order is queue order); returns the
  // stored forms.
  std::vector<std::string> WriteLines(const std::vector<std::string>& lines) {
    std::vector<std::string> stored;
    testing::internal::CaptureStdout();
    for (const std::string& text : lines) {
      std::string line = text;
      m_log->AddItemToQueue(line);
      m_log->FlushLogQueue();
      stored.push_back(line);
    }
    testing::internal::GetCapturedStdout();
    return stored;
  }

  static std::unique_ptr<KelUserCmd> Local(const std::vector<unsigned char>& request) {
    auto cmd = std::make_unique<KelUserCmd>();
    cmd->code = KEL_CMD_LOCAL;
    memcpy(cmd->data, request.data(), request.size());
    cmd->m_CmdDataLen = static_cast<uint16_t>(request.size());
    return cmd;
  }

  // The log-items request: direction, first line, count (big-endian).
  static std::unique_ptr<KelUserCmd> LogItems(unsigned char backward, unsigned int first,
                                              unsigned int count) {
    auto cmd = Local({3, backward});
    cmd->INT32UToBuf(first, 2);
    cmd->INT32UToBuf(count, 6);
    cmd->m_CmdDataLen = 10;
    return cmd;
  }

  static std::unique_ptr<KelUserCmd> Interval(unsigned int minutes) {
    auto cmd = Local({8});
    cmd->INT32UToBuf(minutes, 1);
    cmd->m_CmdDataLen = 5;
    return cmd;
  }

  static std::unique_ptr<KelUserCmd> ChangePasswd(int clientID, const std::string& user,
                                                  const std::string& current,
                                                  const std::string& next) {
    const std::string texts = user + '\0' + current + '\0' + next + '\0';
    auto cmd = Local({6});
    memcpy(cmd->data + 1, texts.data(), texts.size());
    cmd->m_CmdDataLen = static_cast<uint16_t>(1 + texts.size());
    cmd->clientID = clientID;
    return cmd;
  }

  // Runs the command as the worker does: the text arrives holding the client's description.
  bool Run(KelUserCmd* cmd) {
    m_logText = "Client <admin> from <10.0.0.5>";
    testing::internal::CaptureStdout();
    const bool ok = KelExecuteLocalCmd(&m_priv, cmd, m_logText);
    m_out = testing::internal::GetCapturedStdout();
    return ok;
  }

  void AddClient(int id, const std::string& name, const std::string& password, uint32_t rights) {
    auto* client = new KelClient();
    client->pRemoteClient = new KelRemoteClient(id, nullptr);
    client->pRemoteClient->accountInfo = {name, password, rights};
    testing::internal::CaptureStdout();
    ASSERT_TRUE(m_hash->w_lock(__FILE__, __LINE__));
    EXPECT_TRUE(m_hash->Insert(client));
    m_hash->w_unlock(__FILE__, __LINE__);
    testing::internal::GetCapturedStdout();
  }

  std::string Text(const KelUserCmd& cmd, int from, int len) {
    return std::string(reinterpret_cast<const char*>(cmd.data + from), static_cast<size_t>(len));
  }

  std::string m_dir;
  std::string m_cfgPath;
  std::string m_logPath;
  std::string m_out;
  std::string m_logText;
  KelSrvPrivate m_priv;
  std::unique_ptr<KelRemoteConfig> m_config;
  std::unique_ptr<KelAccount> m_account;
  std::unique_ptr<KelClientHash> m_hash;
  std::unique_ptr<KelEventLog> m_log;
};

TEST_F(LocalCmdTest, SubCodeAboveNineIsRefusedWithReturnCodeOne) {
  auto cmd = Local({10, 0xEE});
  EXPECT_FALSE(Run(cmd.get()));
  EXPECT_EQ(cmd->status, KEL_CMD_REFUSED);
  EXPECT_EQ(cmd->m_CmdDataLen, 5);
  EXPECT_EQ(cmd->data[0], 10);
  EXPECT_EQ(cmd->GetRetCode(), 1);
  EXPECT_TRUE(Contains(m_out, "Invalid command code 10\n")) << m_out;
  EXPECT_EQ(m_logText, "");

  auto top = Local({255});
  EXPECT_FALSE(Run(top.get()));
  EXPECT_EQ(top->GetRetCode(), 1);
  EXPECT_TRUE(Contains(m_out, "Invalid command code 255\n")) << m_out;
}

TEST_F(LocalCmdTest, SubCodeZeroIsNotALocalCommand) {
  auto cmd = Local({0, '1', 0});
  EXPECT_FALSE(Run(cmd.get()));
  EXPECT_EQ(cmd->status, KEL_CMD_REFUSED);
  EXPECT_EQ(cmd->GetRetCode(), 1);
}

TEST_F(LocalCmdTest, LogStatusReportsFileSizeAndLineCount) {
  OpenLog(200, 10);
  WriteLines({"INFO~one", "INFO~two", "WARNING~three"});
  auto cmd = Local({1});
  EXPECT_TRUE(Run(cmd.get()));
  EXPECT_EQ(cmd->status, KEL_CMD_OK);
  EXPECT_EQ(cmd->m_CmdDataLen, 21);
  EXPECT_EQ(cmd->data[0], 1);
  EXPECT_EQ(cmd->GetRetCode(), 0);
  EXPECT_EQ(cmd->BufToINT32U(5), 0u);     // within the maximum size
  EXPECT_EQ(cmd->BufToINT32U(9), 0u);     // size, high half
  EXPECT_EQ(cmd->BufToINT32U(13), 800u);  // size, low half: header and three records
  EXPECT_EQ(cmd->BufToINT32S(17), 3);
  EXPECT_EQ(m_logText, "");
}

TEST_F(LocalCmdTest, LogStatusFlagsAFileBeyondTheMaximumSize) {
  OpenLog(200, 10);  // at most 2000 bytes of records, plus the header record
  WriteLines(std::vector<std::string>(10, "INFO~line"));
  auto cmd = Local({1});
  EXPECT_TRUE(Run(cmd.get()));
  EXPECT_EQ(cmd->BufToINT32U(5), 1u);
  EXPECT_EQ(cmd->BufToINT32U(13), 2200u);
  EXPECT_EQ(cmd->BufToINT32S(17), m_log->GetCurLineNum());
}

TEST_F(LocalCmdTest, ClearLogEmptiesTheLog) {
  OpenLog(200, 10);
  WriteLines({"INFO~one", "INFO~two"});
  auto cmd = Local({2});
  EXPECT_TRUE(Run(cmd.get()));
  EXPECT_EQ(cmd->m_CmdDataLen, 5);
  EXPECT_EQ(cmd->GetRetCode(), 0);
  EXPECT_EQ(m_log->GetCurLineNum(), 0);
  EXPECT_EQ(KelEventLog::GetSize(m_logPath.c_str()), 200u);
  EXPECT_EQ(m_logText, "");
}

TEST_F(LocalCmdTest, LogItemsRequestOfNineBytesGives1002) {
  OpenLog(200, 10);
  auto cmd = LogItems(0, 0, 3);
  cmd->m_CmdDataLen = 9;
  EXPECT_FALSE(Run(cmd.get()));
  EXPECT_EQ(cmd->status, KEL_CMD_FAILED);
  EXPECT_EQ(cmd->m_CmdDataLen, 5);
  EXPECT_EQ(cmd->GetRetCode(), 1002);
  EXPECT_TRUE(Contains(m_out, "Local command[3] request too short [9 bytes]\n")) << m_out;
}

TEST_F(LocalCmdTest, LogItemsForwardComeInFileOrder) {
  OpenLog(200, 10);
  const auto stored = WriteLines({"INFO~one", "WARNING~two", "ERROR~three"});
  auto cmd = LogItems(0, 0, 3);
  EXPECT_TRUE(Run(cmd.get()));
  const std::string all = stored[0] + stored[1] + stored[2];
  EXPECT_EQ(cmd->GetRetCode(), 0);
  EXPECT_EQ(cmd->BufToINT32U(5), 3u);
  EXPECT_EQ(cmd->BufToINT32U(9), all.size());
  EXPECT_EQ(cmd->m_CmdDataLen, 13 + all.size());
  EXPECT_EQ(Text(*cmd, 13, static_cast<int>(all.size())), all);
  EXPECT_EQ(m_logText, "");
}

TEST_F(LocalCmdTest, LogItemsBackwardComeNewestFirst) {
  OpenLog(200, 10);
  const auto stored = WriteLines({"INFO~one", "INFO~two", "INFO~three"});
  auto cmd = LogItems(1, 3, 2);
  EXPECT_TRUE(Run(cmd.get()));
  const std::string expected = stored[2] + stored[1];
  EXPECT_EQ(cmd->BufToINT32U(5), 2u);
  EXPECT_EQ(cmd->BufToINT32U(9), expected.size());
  EXPECT_EQ(Text(*cmd, 13, static_cast<int>(expected.size())), expected);
}

TEST_F(LocalCmdTest, LogItemsFillTheReplyUpTo2056Bytes) {
  OpenLog(1000, 20);
  // Stored items of 681 bytes (time, "~", the line, newline): three make 2043 text bytes.
  const std::string line = "INFO~" + std::string(681 - 26 - 5, 'x');
  const auto stored = WriteLines({line, line, line, "INFO~short"});
  ASSERT_EQ(stored[0].size(), 681u);
  auto exact = LogItems(0, 0, 3);
  EXPECT_TRUE(Run(exact.get()));
  EXPECT_EQ(exact->m_CmdDataLen, 2056);
  EXPECT_EQ(exact->BufToINT32U(5), 3u);
  EXPECT_EQ(exact->BufToINT32U(9), 2043u);
  EXPECT_FALSE(Contains(m_out, "Buffer size is not enough")) << m_out;

  auto more = LogItems(0, 0, 4);
  EXPECT_TRUE(Run(more.get()));
  EXPECT_EQ(more->GetRetCode(), 0);
  EXPECT_EQ(more->m_CmdDataLen, 2056);
  EXPECT_EQ(more->BufToINT32U(5), 3u);
  EXPECT_TRUE(Contains(m_out, "Buffer size is not enough\n")) << m_out;
}

TEST_F(LocalCmdTest, LogItemsAreCutAtALineBoundary) {
  OpenLog(1000, 20);
  const std::string line = "INFO~" + std::string(682 - 26 - 5, 'y');  // three would make 2046
  const auto stored = WriteLines({line, line, line, line, line});
  auto cmd = LogItems(0, 0, 5);
  EXPECT_TRUE(Run(cmd.get()));
  EXPECT_EQ(cmd->BufToINT32U(5), 2u);
  EXPECT_EQ(cmd->BufToINT32U(9), 1364u);
  EXPECT_EQ(cmd->m_CmdDataLen, 13 + 1364);
  EXPECT_EQ(Text(*cmd, 13, 1364), stored[0] + stored[1]);
  EXPECT_TRUE(Contains(m_out, "Buffer size is not enough\n")) << m_out;
}

TEST_F(LocalCmdTest, LogItemsWithoutTheFileGive1001) {
  OpenLog(200, 10);
  KelRemoteConfig::strEventLogFile = m_dir + "/missing.log";
  auto cmd = LogItems(0, 0, 1);
  EXPECT_FALSE(Run(cmd.get()));
  EXPECT_EQ(cmd->m_CmdDataLen, 5);
  EXPECT_EQ(cmd->GetRetCode(), 1001);
  EXPECT_TRUE(Contains(m_out, "Cannot open file <" + m_dir + "/missing.log> to read\n")) << m_out;
}

TEST_F(LocalCmdTest, LogItemsThatCannotBeReadGive1001) {
  OpenLog(200, 10);
  WriteLines({"INFO~one"});
  auto cmd = LogItems(0, 0, 0);  // a count of 0 reads nothing
  EXPECT_FALSE(Run(cmd.get()));
  EXPECT_EQ(cmd->m_CmdDataLen, 5);
  EXPECT_EQ(cmd->GetRetCode(), 1001);
}

TEST_F(LocalCmdTest, BeeperSwitchIsReadAndWrittenBack) {
  auto get = Local({4});
  EXPECT_TRUE(Run(get.get()));
  EXPECT_EQ(get->m_CmdDataLen, 6);
  EXPECT_EQ(get->GetRetCode(), 0);
  EXPECT_EQ(get->data[5], 1);

  auto off = Local({5, 0});
  EXPECT_TRUE(Run(off.get()));
  EXPECT_EQ(off->m_CmdDataLen, 5);
  EXPECT_EQ(off->GetRetCode(), 0);
  EXPECT_FALSE(KelRemoteConfig::bBeepEnable);
  EXPECT_TRUE(Contains(ReadAll(m_cfgPath), "KEL_CFG_BEEP_ENABLE = FALSE\n"));

  auto again = Local({4});
  EXPECT_TRUE(Run(again.get()));
  EXPECT_EQ(again->data[5], 0);

  auto on = Local({5, 1});
  EXPECT_TRUE(Run(on.get()));
  EXPECT_TRUE(KelRemoteConfig::bBeepEnable);
  EXPECT_EQ(m_logText, "");
}

TEST_F(LocalCmdTest, BeeperValueTwoGives1002AndLeavesTheSwitch) {
  std::filesystem::remove(m_cfgPath);
  auto cmd = Local({5, 2});
  EXPECT_FALSE(Run(cmd.get()));
  EXPECT_EQ(cmd->m_CmdDataLen, 5);
  EXPECT_EQ(cmd->GetRetCode(), 1002);
  EXPECT_TRUE(KelRemoteConfig::bBeepEnable);
  EXPECT_TRUE(Contains(m_out, "Invalid packet content received from client\n")) << m_out;
  // The file is rewritten all the same.
  EXPECT_TRUE(Contains(ReadAll(m_cfgPath), "KEL_CFG_BEEP_ENABLE = TRUE\n"));
}

// A longer request than the sub-code needs is reported and runs; a shorter one changes
// nothing, since its missing bytes would read as zeros.
TEST_F(LocalCmdTest, LongRequestsAreReportedAndRunShortOnesAreRefused) {
  auto get = Local({4, 0});
  EXPECT_TRUE(Run(get.get()));
  EXPECT_TRUE(Contains(m_out, "Assersion [pCmd->m_CmdDataLen == 1] failed")) << m_out;
  EXPECT_EQ(get->m_CmdDataLen, 6);

  const bool beep = KelRemoteConfig::bBeepEnable;
  const int32_t interval = KelRemoteConfig::nCheckDiskStatusInterval;
  auto set = Local({5});
  EXPECT_FALSE(Run(set.get()));
  EXPECT_EQ(set->GetRetCode(), 1002);
  EXPECT_EQ(KelRemoteConfig::bBeepEnable, beep);
  auto shortInterval = Interval(5);
  shortInterval->m_CmdDataLen = 4;
  EXPECT_FALSE(Run(shortInterval.get()));
  EXPECT_EQ(shortInterval->GetRetCode(), 1002);
  EXPECT_EQ(KelRemoteConfig::nCheckDiskStatusInterval, interval);
}

TEST_F(LocalCmdTest, DiskCheckIntervalIsCappedAt71582Minutes) {
  auto set = Interval(100000);
  EXPECT_TRUE(Run(set.get()));
  EXPECT_EQ(set->m_CmdDataLen, 5);
  EXPECT_EQ(set->GetRetCode(), 0);
  EXPECT_EQ(static_cast<uint32_t>(KelRemoteConfig::nCheckDiskStatusInterval), 4294920000u);
  EXPECT_TRUE(Contains(ReadAll(m_cfgPath), "KEL_CFG_CHECKDISK_INTERVAL = 4294920000\n"));

  auto get = Local({7});
  EXPECT_TRUE(Run(get.get()));
  EXPECT_EQ(get->m_CmdDataLen, 9);
  EXPECT_EQ(get->GetRetCode(), 0);
  EXPECT_EQ(get->BufToINT32U(5), 71582u);
  EXPECT_EQ(m_logText, "");
}

TEST_F(LocalCmdTest, DiskCheckIntervalIsKeptInWholeMinutes) {
  EXPECT_EQ(KelRemoteConfig::nCheckDiskStatusInterval, 3600000);
  auto get = Local({7});
  EXPECT_TRUE(Run(get.get()));
  EXPECT_EQ(get->BufToINT32U(5), 60u);

  auto set = Interval(5);
  EXPECT_TRUE(Run(set.get()));
  EXPECT_EQ(KelRemoteConfig::nCheckDiskStatusInterval, 300000);

  auto zero = Interval(0);
  EXPECT_TRUE(Run(zero.get()));
  EXPECT_EQ(zero->GetRetCode(), 0);
  EXPECT_EQ(KelRemoteConfig::nCheckDiskStatusInterval, 0);
  EXPECT_TRUE(Contains(ReadAll(m_cfgPath), "KEL_CFG_CHECKDISK_INTERVAL = 0\n"));
}

TEST_F(LocalCmdTest, SettingsChangeInMemoryOnlyWithoutAConfigurationObject) {
  m_priv.pConfig = nullptr;
  std::filesystem::remove(m_cfgPath);
  auto set = Interval(7);
  EXPECT_TRUE(Run(set.get()));
  EXPECT_EQ(KelRemoteConfig::nCheckDiskStatusInterval, 420000);
  auto beep = Local({5, 0});
  EXPECT_TRUE(Run(beep.get()));
  EXPECT_FALSE(KelRemoteConfig::bBeepEnable);
  EXPECT_FALSE(std::filesystem::exists(m_cfgPath));
}

TEST_F(LocalCmdTest, GuestCannotChangePasswords) {
  AddClient(3, "guest", "rovak", 7);
  auto cmd = ChangePasswd(3, "guest", "rovak", "newpw");
  EXPECT_FALSE(Run(cmd.get()));
  EXPECT_EQ(cmd->status, KEL_CMD_FAILED);
  EXPECT_EQ(cmd->m_CmdDataLen, 5);
  EXPECT_EQ(cmd->GetRetCode(), 1037);
  _KelAccountInfo guest{"guest", "rovak", 0};
  EXPECT_EQ(m_account->VerifyItem(&guest), 0);
  EXPECT_EQ(m_hash->GetClient(3)->pRemoteClient->GetRefCnt(), 0);
}

TEST_F(LocalCmdTest, AdminChangesAnotherUsersPassword) {
  AddClient(4, "admin", "pelum", 14);
  auto cmd = ChangePasswd(4, "guest", "rovak", "newpw");
  EXPECT_TRUE(Run(cmd.get()));
  EXPECT_EQ(cmd->status, KEL_CMD_OK);
  EXPECT_EQ(cmd->m_CmdDataLen, 5);
  EXPECT_EQ(cmd->data[0], 6);
  EXPECT_EQ(cmd->GetRetCode(), 0);
  EXPECT_EQ(m_logText, "");
  _KelAccountInfo guest{"guest", "newpw", 0};
  EXPECT_EQ(m_account->VerifyItem(&guest), 0);
  _KelAccountInfo old{"guest", "rovak", 0};
  EXPECT_EQ(m_account->VerifyItem(&old), 1033);
  EXPECT_EQ(m_hash->GetClient(4)->pRemoteClient->GetRefCnt(), 0);
}

TEST_F(LocalCmdTest, PasswordChangeGivesTheAccountStoresRefusal) {
  AddClient(4, "admin", "pelum", 14);
  auto wrong = ChangePasswd(4, "guest", "nope", "newpw");
  EXPECT_FALSE(Run(wrong.get()));
  EXPECT_EQ(wrong->GetRetCode(), 1033);
  auto empty = ChangePasswd(4, "guest", "rovak", "");
  EXPECT_FALSE(Run(empty.get()));
  EXPECT_EQ(empty->GetRetCode(), 1030);
}

TEST_F(LocalCmdTest, PasswordChangeOfAGoneSessionIsRefused) {
  auto missing = ChangePasswd(9, "guest", "rovak", "newpw");
  EXPECT_FALSE(Run(missing.get()));
  EXPECT_EQ(missing->m_CmdDataLen, 5);
  EXPECT_EQ(missing->GetRetCode(), 1004);

  AddClient(5, "admin", "pelum", 14);
  KelClient* pinned = PinClient(m_hash.get(), 5);
  ASSERT_NE(pinned, nullptr);
  testing::internal::CaptureStdout();
  m_hash->w_lock(__FILE__, __LINE__);
  EXPECT_FALSE(m_hash->DestroyClient(5, false));  // pinned: left offline
  m_hash->w_unlock(__FILE__, __LINE__);
  testing::internal::GetCapturedStdout();
  auto offline = ChangePasswd(5, "guest", "rovak", "newpw");
  EXPECT_FALSE(Run(offline.get()));
  EXPECT_EQ(offline->GetRetCode(), 1034);
  UnpinClient(pinned);
}

TEST_F(LocalCmdTest, TestCommandAnswersTheFixed119ByteReply) {
  auto cmd = Local({9});
  memset(cmd->data + 1, 0xA5, 200);
  EXPECT_TRUE(Run(cmd.get()));
  EXPECT_EQ(cmd->status, KEL_CMD_OK);
  EXPECT_EQ(cmd->m_CmdDataLen, 119);
  EXPECT_EQ(cmd->data[0], 9);
  EXPECT_EQ(cmd->GetRetCode(), 0);
  EXPECT_EQ(cmd->data[5], 0x00);
  EXPECT_EQ(cmd->data[6], 0x70);
  for (int i = 7; i < 119; ++i) EXPECT_EQ(cmd->data[i], 0) << "byte " << i;
  EXPECT_EQ(m_logText, "");
}

}  // namespace
