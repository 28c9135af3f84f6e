// Settings file: one table of file texts with the values and the diagnostic they give, the
// defaults and their written form, when the file is rewritten, and writes that fail
// without harming the file already there.
#include "service/config/kel_remote_config.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/service/service_test_util.h"
#include "tests/support/temp_dir.h"

namespace {

using Cfg = KelRemoteConfig;
using kel_test::Captured;
using kel_test::Count;
using kel_test::ReadAll;
using Values = std::map<std::string, std::string>;

// The fourteen lines of a file written with the defaults, in table order.
const char kDefaultFile[] =
    "KEL_CFG_BEEP_ENABLE = TRUE\nKEL_CFG_HOTPLUG_INTERVAL = 100\nKEL_CFG_CHECKDISK_INTERVAL = 3600000\n"
    "KEL_CFG_EVENTLOG_FILE = /var/kel_event.log\nKEL_CFG_ACCOUNT_FILE = /var/kel_account\n"
    "KEL_CFG_CLIENT_LISTEN_PORT = 8018\nKEL_CFG_ACK_LISTEN_PORT = 8001\nKEL_CFG_BROADCAST_LISTEN_PORT = 7001\n"
    "KEL_CFG_MAX_CLIENT_COUNT = 10\nKEL_CFG_MAX_CLIENT_SOCKETS = 30\nKEL_CFG_EVENTLOG_MAXSIZE = 10485760\n"
    "KEL_CFG_EVENTLOG_BYTES_PER_ITEM = 200\nKEL_CFG_INIT_LOG_FILE = /var/kel_init.log\nKEL_CFG_AUTO_SMR = TRUE\n";

// Every setting as read straight from its member, keyed by its name without KEL_CFG_.
Values Now() {
  auto b = [](bool v) { return std::string(v ? "TRUE" : "FALSE"); };
  auto i = [](int32_t v) { return std::to_string(v); };
  return {{"BEEP_ENABLE", b(Cfg::bBeepEnable)},        {"HOTPLUG_INTERVAL", i(Cfg::nHotplugInterval)},
          {"CHECKDISK_INTERVAL", i(Cfg::nCheckDiskStatusInterval)},
          {"EVENTLOG_FILE", Cfg::strEventLogFile},    {"ACCOUNT_FILE", Cfg::strAccountFile},
          {"CLIENT_LISTEN_PORT", i(Cfg::nKelRemoteClientListenPort)},
          {"ACK_LISTEN_PORT", i(Cfg::nKelRemoteEventListenPort)},
          {"BROADCAST_LISTEN_PORT", i(Cfg::nKelRemoteBroadcastListenPort)},
          {"MAX_CLIENT_COUNT", i(Cfg::nKelRemoteMaxClientCount)},
          {"MAX_CLIENT_SOCKETS", i(Cfg::nKelRemoteMaxClientSockets)},
          {"EVENTLOG_MAXSIZE", i(Cfg::nKelRemoteEventLogMaxSize)},
          {"EVENTLOG_BYTES_PER_ITEM", i(Cfg::nKelRemoteEventLogBytesPerItem)},
          {"INIT_LOG_FILE", Cfg::strKelInitLogFile},  {"AUTO_SMR", b(Cfg::bAutoSMR)}};
}

class Config : public ::testing::Test {
 protected:
  void SetUp() override { Cfg::ResetDefaults(); }
  void TearDown() override { Cfg::ResetDefaults(); }

  void Put(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }

  // Builds a configuration object over path_ and returns what it printed.
  std::string Load() {
    return Captured([&] { cfg_ = std::make_unique<Cfg>(path_.c_str()); });
  }
  std::string Write() {
    return Captured([&] { ok_ = cfg_->WriteKelConfig(); });
  }

  kel_test::TempDir dir_;
  std::string path_ = dir_.File("kel.config");
  std::unique_ptr<Cfg> cfg_;
  bool ok_ = false;
};

TEST_F(Config, FileTextsGiveTheirValuesAndDiagnostics) {
  const std::string kLong = "KEL_CFG_ACK_LISTEN_PORT = 9001" + std::string(993, ' ');  // 1023
  // values: those that differ from the defaults; says: printed exactly `times` times (empty:
  // nothing printed); rewritten: else the file stays as it was.
  const struct { std::string text; Values values; std::string says; int times = 1; bool rewritten = false; } cases[] = {
      {"", {}, ""}, {"\n\n\n", {}, ""},
      {"# settings\n   # indented comment\n#\n   \n", {}, "Invalid configure item\n", 4},
      {"KEL_CFG_CLIENT_LISTEN_PORT = 9000   # the client port\n", {{"CLIENT_LISTEN_PORT", "9000"}}, ""},
      // Only "true", "t", "TRUE" and "T" mean true.
      {"KEL_CFG_BEEP_ENABLE = t\nKEL_CFG_AUTO_SMR = yes\n", {{"AUTO_SMR", "FALSE"}}, ""},
      {"KEL_CFG_BEEP_ENABLE = T\nKEL_CFG_AUTO_SMR = True\n", {{"AUTO_SMR", "FALSE"}}, ""},
      {"KEL_CFG_BEEP_ENABLE = true\nKEL_CFG_AUTO_SMR = 1\n", {{"AUTO_SMR", "FALSE"}}, ""},
      {"KEL_CFG_BEEP_ENABLE = TRUE\nKEL_CFG_AUTO_SMR = tr\n", {{"AUTO_SMR", "FALSE"}}, ""},
      {"KEL_CFG_BEEP_ENABLE = TRUE\r\n", {{"BEEP_ENABLE", "FALSE"}}, ""},
      {"KEL_CFG_BEEP_ENABLE = FALSE\n", {{"BEEP_ENABLE", "FALSE"}}, ""},
      {"KEL_CFG_CLIENT_LISTEN_PORT\t= 9000\n", {}, "Unknown option: KEL_CFG_CLIENT_LISTEN_PORT\t\n"},
      {"KEL_CFG_NO_SUCH_KEY = 1\n", {}, "Unknown option: KEL_CFG_NO_SUCH_KEY\n"},
      {"kel_cfg_beep_enable = FALSE\n", {}, "Unknown option: kel_cfg_beep_enable\n"},
      {"KEL_CFG_EVENTLOG_FILE = /tmp/my event log.txt\n", {{"EVENTLOG_FILE", "/tmp/myeventlog.txt"}}, ""},
      {"KEL_CFG_INIT_LOG_FILE = a=b=c\n", {{"INIT_LOG_FILE", "a=b=c"}}, ""},
      {"KEL_CFG_BEEP_ENABLE =   \n", {}, "Invalid configure item KEL_CFG_BEEP_ENABLE=\n"},
      {"= 5\n", {}, "Invalid configure item =5\n"},
      // Integers take the leading digits like strtol; values beyond 32 bits saturate.
      {"KEL_CFG_HOTPLUG_INTERVAL = 250ms\nKEL_CFG_MAX_CLIENT_COUNT = none\n"
       "KEL_CFG_EVENTLOG_BYTES_PER_ITEM = -5\nKEL_CFG_EVENTLOG_MAXSIZE = 99999999999\n",
       {{"HOTPLUG_INTERVAL", "250"}, {"MAX_CLIENT_COUNT", "0"}, {"EVENTLOG_BYTES_PER_ITEM", "-5"},
        {"EVENTLOG_MAXSIZE", "2147483647"}}, ""},
      // A line of 1023 characters is read; a longer one ends reading.
      {"KEL_CFG_CLIENT_LISTEN_PORT = 9000\n" + kLong + "\n#" + std::string(1023, 'x') +
       "\nKEL_CFG_BROADCAST_LISTEN_PORT = 9002\n",
       {{"CLIENT_LISTEN_PORT", "9000"}, {"ACK_LISTEN_PORT", "9001"}}, ""},
      // A key given twice stops reading; the file is rewritten with the values in force.
      {"KEL_CFG_CLIENT_LISTEN_PORT = 9000\nKEL_CFG_BEEP_ENABLE = FALSE\n"
       "KEL_CFG_CLIENT_LISTEN_PORT = 9001\nKEL_CFG_ACK_LISTEN_PORT = 9002\n",
       {{"CLIENT_LISTEN_PORT", "9000"}, {"BEEP_ENABLE", "FALSE"}},
       "Multiple configure field KEL_CFG_CLIENT_LISTEN_PORT\n", 1, true},
  };
  const Values defaults = Now();
  for (const auto& k : cases) {
    SCOPED_TRACE(k.text.substr(0, 60));
    Put(k.text);
    const std::string out = Load();
    Values expected = defaults;
    for (const auto& [key, value] : k.values) expected[key] = value;
    EXPECT_EQ(Now(), expected);
    EXPECT_TRUE(k.says.empty() ? out.empty() : Count(out, k.says) == k.times) << out;
    if (!k.rewritten) {
      EXPECT_EQ(ReadAll(path_), k.text);
      continue;
    }
    EXPECT_NE(out.find("Invalid configure file\n"), std::string::npos);
    std::string file = kDefaultFile;
    for (const auto& [key, value] : k.values) {
      const size_t at = file.find("KEL_CFG_" + key + " = ");
      const size_t end = file.find('\n', at);
      file.replace(at, end - at, "KEL_CFG_" + key + " = " + value);
    }
    EXPECT_EQ(ReadAll(path_), file);
  }
}

// Without a file the defaults apply (whatever the members held) and are written; then every
// setting changed is written and read back by a new object into the same members.
TEST_F(Config, NoFileGetsTheDefaultsAndAWrittenFileReadsBackWithoutRewrite) {
  const Values defaults = Now();
  Cfg::nKelRemoteClientListenPort = 1, Cfg::bAutoSMR = false, Cfg::strAccountFile = "/elsewhere";
  EXPECT_EQ(Count(Load(), "Open configure file " + path_ + " failed\n"), 1);
  EXPECT_EQ(Now(), defaults);
  EXPECT_EQ(ReadAll(path_), kDefaultFile);

  Cfg::bBeepEnable = false, Cfg::nHotplugInterval = 101, Cfg::strEventLogFile = "/tmp/ev.log";
  // The largest disk-check interval (71,582 minutes) uses all 32 bits and is written unsigned.
  Cfg::nCheckDiskStatusInterval = static_cast<int32_t>(71582u * 60000u), Cfg::strAccountFile = "/tmp/acc";
  Cfg::nKelRemoteClientListenPort = 18018, Cfg::nKelRemoteEventListenPort = 18001;
  Cfg::nKelRemoteBroadcastListenPort = 17001, Cfg::nKelRemoteMaxClientCount = 11;
  Cfg::nKelRemoteMaxClientSockets = 31, Cfg::nKelRemoteEventLogMaxSize = 4096;
  Cfg::nKelRemoteEventLogBytesPerItem = 256, Cfg::strKelInitLogFile = "/tmp/init.log", Cfg::bAutoSMR = false;
  const Values written = Now();
  Write();
  ASSERT_TRUE(ok_);
  const std::string file = ReadAll(path_);
  EXPECT_EQ(Count(file, "\n"), 14);
  EXPECT_NE(file.find("KEL_CFG_AUTO_SMR = FALSE\n"), std::string::npos);
  EXPECT_STREQ(cfg_->CfgArgs()[Cfg::KEL_CFG_ARG_COUNT - 1].name, "KEL_CFG_AUTO_SMR");

  Cfg::ResetDefaults();
  EXPECT_EQ(Now(), defaults);
  EXPECT_EQ(Load(), "");
  EXPECT_EQ(Now(), written);
  EXPECT_EQ(ReadAll(path_), file);
  Cfg::nKelRemoteEventLogBytesPerItem = -1;  // integers are written unsigned
  Write();
  EXPECT_NE(ReadAll(path_).find("KEL_CFG_EVENTLOG_BYTES_PER_ITEM = 4294967295\n"), std::string::npos);
}

// A file-size limit stands in for a full disk (it binds privileged processes too): the
// write fails part-way and the file from before must survive whole.
TEST_F(Config, WriteFailingPartWayKeepsTheOldFileWhole) {
  const char old[] = "KEL_CFG_CLIENT_LISTEN_PORT = 9000\n";
  Put(old);
  Load();
  Cfg::strEventLogFile = "/tmp/" + std::string(8000, 'e');  // makes the new file large

  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct rlimit small = saved;
  small.rlim_cur = 4096;  // room for the captured message, not for the file
  auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  std::string out = Captured([&] {
    EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    ok_ = cfg_->WriteKelConfig();
    setrlimit(RLIMIT_FSIZE, &saved);
  });
  signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(ok_);
  EXPECT_NE(out.find("Open configure file " + path_ + " failed\n"), std::string::npos) << out;
  EXPECT_EQ(ReadAll(path_), old);
  auto entries = std::filesystem::directory_iterator(dir_.path());
  EXPECT_EQ(std::distance(begin(entries), end(entries)), 1);  // no temporary file left behind
}

// Rows of other tables: float, double and mandatory rows, unknown types, bad arguments.
TEST_F(Config, OtherTablesParseFloatsDoublesAndMandatoryRowsAndRefuseBadRows) {
  KelCfgArgInfo none[1] = {};
  int seen[1] = {1};
  const auto badArgs = [&] { EXPECT_FALSE(Cfg::FixDefaultArg(nullptr, 1) || Cfg::FixDefaultArg(none, -1)); };
  EXPECT_EQ(Count(Captured(badArgs), "Invalid parameters\n"), 2);
  EXPECT_TRUE(Cfg::FixDefaultArg(none, 0) && Cfg::CheckCfgArg(none, seen, 0));
  EXPECT_FALSE(Cfg::CheckCfgArg(nullptr, seen, 1) || Cfg::CheckCfgArg(none, nullptr, 1) ||
               Cfg::CheckCfgArg(none, seen, -1));

  float f = 0;
  double d = 0;
  int32_t must = 0, v = 0;
  const float fdef = 1.5f;
  const int32_t def = 7;
  KelCfgArgInfo table[] = {{"F", CFG_FLOAT, &f, &fdef}, {"D", CFG_DOUBLE, &d, nullptr},
                           {"M", CFG_INT, &must, nullptr}, {"A", CFG_INT, &v, &def},
                           {"X", 42, &v, &def}};
  EXPECT_FALSE(Cfg::FixDefaultArg(table, 5));
  EXPECT_TRUE(f == 1.5f && v == 7);  // rows before the bad one were applied
  std::vector<std::string> lines = {"F = 2.25", "D = -0.125"};
  std::string out = Captured([&] { EXPECT_FALSE(Cfg::KelParseConfigItems(lines, table, 4)); });
  EXPECT_TRUE(f == 2.25f && d == -0.125 && Count(out, "Missing arg M\n") == 1) << out;
  lines.push_back("M = 3");
  EXPECT_TRUE(Cfg::KelParseConfigItems(lines, table, 4) && must == 3);
  lines = {"A=1", "X=2", "A=3"};  // a row of unknown type stops parsing
  EXPECT_FALSE(Cfg::KelParseConfigItems(lines, table, 5));
  EXPECT_EQ(v, 1);
}

}  // namespace
