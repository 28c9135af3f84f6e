// Settings file: defaults, line syntax, value conversion, when the file is rewritten, the
// written form, and writes that fail without harming the file already there.
#include "service/config/kel_remote_config.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

using Cfg = KelRemoteConfig;

const char kDefaultFile[] =
    "KEL_CFG_BEEP_ENABLE = TRUE\n"
    "KEL_CFG_HOTPLUG_INTERVAL = 100\n"
    "KEL_CFG_CHECKDISK_INTERVAL = 3600000\n"
    "KEL_CFG_EVENTLOG_FILE = /var/kel_event.log\n"
    "KEL_CFG_ACCOUNT_FILE = /var/kel_account\n"
    "KEL_CFG_CLIENT_LISTEN_PORT = 8018\n"
    "KEL_CFG_ACK_LISTEN_PORT = 8001\n"
    "KEL_CFG_BROADCAST_LISTEN_PORT = 7001\n"
    "KEL_CFG_MAX_CLIENT_COUNT = 10\n"
    "KEL_CFG_MAX_CLIENT_SOCKETS = 30\n"
    "KEL_CFG_EVENTLOG_MAXSIZE = 10485760\n"
    "KEL_CFG_EVENTLOG_BYTES_PER_ITEM = 200\n"
    "KEL_CFG_INIT_LOG_FILE = /var/kel_init.log\n"
    "KEL_CFG_AUTO_SMR = TRUE\n";

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (auto pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1)) ++n;
  return n;
}

class Config : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kel_cfg_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    path_ = dir_ + "/kel.config";
    Cfg::ResetDefaults();
  }
  void TearDown() override {
    Cfg::ResetDefaults();
    RemoveTree(dir_);
  }

  static void RemoveTree(const std::string& dir) {
    chmod(dir.c_str(), 0700);
    if (DIR* d = opendir(dir.c_str())) {
      while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n == "." || n == "..") continue;
        std::string p = dir + "/" + n;
        struct stat st;
        if (lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) RemoveTree(p);
        else unlink(p.c_str());
      }
      closedir(d);
    }
    rmdir(dir.c_str());
  }

  static std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  void Put(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
  bool Exists() const { return access(path_.c_str(), F_OK) == 0; }

  // Builds a configuration object over path_ and returns what it printed.
  std::string Load() {
    testing::internal::CaptureStdout();
    cfg_ = std::make_unique<Cfg>(path_.c_str());
    return testing::internal::GetCapturedStdout();
  }

  std::string dir_;
  std::string path_;
  std::unique_ptr<Cfg> cfg_;
};

TEST_F(Config, NoFileAppliesDefaultsAndWritesTheFourteenDefaultLines) {
  Cfg::nKelRemoteClientListenPort = 1;
  Cfg::bAutoSMR = false;
  Cfg::strAccountFile = "/elsewhere";
  std::string out = Load();
  EXPECT_NE(out.find("Open configure file " + path_ + " failed\n"), std::string::npos) << out;
  EXPECT_EQ(Cfg::nKelRemoteClientListenPort, 8018);
  EXPECT_TRUE(Cfg::bAutoSMR);
  EXPECT_EQ(Cfg::strAccountFile, "/var/kel_account");
  EXPECT_EQ(Slurp(path_), kDefaultFile);
}

TEST_F(Config, TableHoldsTheFourteenRowsInFileOrder) {
  Put("");
  Load();
  const char* keys[] = {"KEL_CFG_BEEP_ENABLE", "KEL_CFG_HOTPLUG_INTERVAL",
                        "KEL_CFG_CHECKDISK_INTERVAL", "KEL_CFG_EVENTLOG_FILE",
                        "KEL_CFG_ACCOUNT_FILE", "KEL_CFG_CLIENT_LISTEN_PORT",
                        "KEL_CFG_ACK_LISTEN_PORT", "KEL_CFG_BROADCAST_LISTEN_PORT",
                        "KEL_CFG_MAX_CLIENT_COUNT", "KEL_CFG_MAX_CLIENT_SOCKETS",
                        "KEL_CFG_EVENTLOG_MAXSIZE", "KEL_CFG_EVENTLOG_BYTES_PER_ITEM",
                        "KEL_CFG_INIT_LOG_FILE", "KEL_CFG_AUTO_SMR"};
  const int32_t types[] = {CFG_BOOL, CFG_LONG, CFG_LONG, CFG_STRING, CFG_STRING,
                           CFG_INT,  CFG_INT,  CFG_INT,  CFG_INT,    CFG_INT,
                           CFG_LONG, CFG_INT,  CFG_STRING, CFG_BOOL};
  const void* values[] = {&Cfg::bBeepEnable, &Cfg::nHotplugInterval,
                          &Cfg::nCheckDiskStatusInterval, &Cfg::strEventLogFile,
                          &Cfg::strAccountFile, &Cfg::nKelRemoteClientListenPort,
                          &Cfg::nKelRemoteEventListenPort, &Cfg::nKelRemoteBroadcastListenPort,
                          &Cfg::nKelRemoteMaxClientCount, &Cfg::nKelRemoteMaxClientSockets,
                          &Cfg::nKelRemoteEventLogMaxSize, &Cfg::nKelRemoteEventLogBytesPerItem,
                          &Cfg::strKelInitLogFile, &Cfg::bAutoSMR};
  const KelCfgArgInfo* rows = cfg_->CfgArgs();
  for (int i = 0; i < Cfg::KEL_CFG_ARG_COUNT; ++i) {
    EXPECT_STREQ(rows[i].name, keys[i]) << i;
    EXPECT_EQ(rows[i].type, types[i]) << i;
    EXPECT_EQ(rows[i].value, values[i]) << i;
    EXPECT_NE(rows[i].defaultValue, nullptr) << i;
  }
}

TEST_F(Config, EmptyFileKeepsDefaultsAndIsNotRewritten) {
  Put("");
  std::string out = Load();
  EXPECT_EQ(out, "");
  EXPECT_EQ(Slurp(path_), "");
  EXPECT_EQ(Cfg::nHotplugInterval, 100);
}

TEST_F(Config, FileOfEmptyLinesIsNotRewritten) {
  Put("\n\n\n");
  Load();
  EXPECT_EQ(Slurp(path_), "\n\n\n");
}

TEST_F(Config, CommentOnlyLinesWarnOnceEachAndAreNotRewritten) {
  const char text[] = "# settings\n   # indented comment\n#\n   \n";
  Put(text);
  std::string out = Load();
  EXPECT_EQ(Count(out, "Invalid configure item\n"), 4) << out;
  EXPECT_EQ(Slurp(path_), text);
  EXPECT_EQ(Cfg::nKelRemoteClientListenPort, 8018);
}

TEST_F(Config, PortFollowedByACommentIsApplied) {
  const char text[] = "KEL_CFG_CLIENT_LISTEN_PORT = 9000   # the client port\n";
  Put(text);
  std::string out = Load();
  EXPECT_EQ(out, "");
  EXPECT_EQ(Cfg::nKelRemoteClientListenPort, 9000);
  EXPECT_EQ(Slurp(path_), text);
}

TEST_F(Config, OnlyTheFourTrueTextsMeanTrue) {
  struct Case {
    const char* text;
    bool expected;
  } cases[] = {{"yes", false}, {"t", true},   {"T", true},   {"true", true}, {"TRUE", true},
               {"True", false}, {"1", false}, {"tr", false}, {"FALSE", false}};
  for (const Case& c : cases) {
    Cfg::bBeepEnable = !c.expected;
    Put(std::string("KEL_CFG_BEEP_ENABLE = ") + c.text + "\n");
    Load();
    EXPECT_EQ(Cfg::bBeepEnable, c.expected) << c.text;
  }
}

TEST_F(Config, KeyGivenTwiceStopsParsingAndRewritesTheValuesInForce) {
  Put("KEL_CFG_CLIENT_LISTEN_PORT = 9000\n"
      "KEL_CFG_BEEP_ENABLE = FALSE\n"
      "KEL_CFG_CLIENT_LISTEN_PORT = 9001\n"
      "KEL_CFG_ACK_LISTEN_PORT = 9002\n");
  std::string out = Load();
  EXPECT_NE(out.find("Multiple configure field KEL_CFG_CLIENT_LISTEN_PORT\n"), std::string::npos)
      << out;
  EXPECT_NE(out.find("Invalid configure file\n"), std::string::npos);
  EXPECT_EQ(Cfg::nKelRemoteClientListenPort, 9000);
  EXPECT_FALSE(Cfg::bBeepEnable);
  EXPECT_EQ(Cfg::nKelRemoteEventListenPort, 8001);

  std::string expected = kDefaultFile;
  expected.replace(expected.find("BEEP_ENABLE = TRUE"), 18, "BEEP_ENABLE = FALSE");
  expected.replace(expected.find("LISTEN_PORT = 8018"), 18, "LISTEN_PORT = 9000");
  EXPECT_EQ(Slurp(path_), expected);
}

TEST_F(Config, TabBeforeTheEqualsSignMakesAnUnknownKey) {
  const char text[] = "KEL_CFG_CLIENT_LISTEN_PORT\t= 9000\n";
  Put(text);
  std::string out = Load();
  EXPECT_NE(out.find("Unknown option: KEL_CFG_CLIENT_LISTEN_PORT\t\n"), std::string::npos) << out;
  EXPECT_EQ(Cfg::nKelRemoteClientListenPort, 8018);
  EXPECT_EQ(Slurp(path_), text);
}

TEST_F(Config, BooleanFollowedByACarriageReturnIsFalse) {
  Put("KEL_CFG_BEEP_ENABLE = TRUE\r\n");
  Load();
  EXPECT_FALSE(Cfg::bBeepEnable);
}

TEST_F(Config, UnknownAndWrongCaseKeysAreReportedAndNotRewritten) {
  const char text[] = "KEL_CFG_NO_SUCH_KEY = 1\nkel_cfg_beep_enable = FALSE\n";
  Put(text);
  std::string out = Load();
  EXPECT_NE(out.find("Unknown option: KEL_CFG_NO_SUCH_KEY\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Unknown option: kel_cfg_beep_enable\n"), std::string::npos) << out;
  EXPECT_TRUE(Cfg::bBeepEnable);
  EXPECT_EQ(Slurp(path_), text);
}

TEST_F(Config, BlanksInsideAPathAreDropped) {
  Put("KEL_CFG_EVENTLOG_FILE = /tmp/my event log.txt\n");
  Load();
  EXPECT_EQ(Cfg::strEventLogFile, "/tmp/myeventlog.txt");
}

TEST_F(Config, ValueSplitsAtTheFirstEqualsSignOnly) {
  Put("KEL_CFG_INIT_LOG_FILE = a=b=c\n");
  Load();
  EXPECT_EQ(Cfg::strKelInitLogFile, "a=b=c");
}

TEST_F(Config, EmptyKeyOrValueIsAnInvalidItem) {
  Put("KEL_CFG_BEEP_ENABLE =   \n= 5\n");
  std::string out = Load();
  EXPECT_NE(out.find("Invalid configure item KEL_CFG_BEEP_ENABLE=\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Invalid configure item =5\n"), std::string::npos) << out;
  EXPECT_TRUE(Cfg::bBeepEnable);
}

TEST_F(Config, IntegersTakeTheLeadingDigitsLikeStrtol) {
  Put("KEL_CFG_HOTPLUG_INTERVAL = 250ms\n"
      "KEL_CFG_MAX_CLIENT_COUNT = none\n"
      "KEL_CFG_EVENTLOG_BYTES_PER_ITEM = -5\n"
      "KEL_CFG_EVENTLOG_MAXSIZE = 99999999999\n");
  Load();
  EXPECT_EQ(Cfg::nHotplugInterval, 250);
  EXPECT_EQ(Cfg::nKelRemoteMaxClientCount, 0);
  EXPECT_EQ(Cfg::nKelRemoteEventLogBytesPerItem, -5);
  EXPECT_EQ(Cfg::nKelRemoteEventLogMaxSize, INT32_MAX);  // as a 32-bit strtol saturates
}

TEST_F(Config, WrittenFormUsesUpperCaseBooleansAndUnsignedIntegers) {
  Put("");
  Load();
  {
    KelMutexGuard hold(Cfg::kelCfgLock);
    Cfg::bAutoSMR = false;
    Cfg::nCheckDiskStatusInterval = 60000;
    Cfg::nKelRemoteEventLogBytesPerItem = -1;
  }
  ASSERT_TRUE(cfg_->WriteKelConfig());
  std::string text = Slurp(path_);
  EXPECT_NE(text.find("KEL_CFG_AUTO_SMR = FALSE\n"), std::string::npos);
  EXPECT_NE(text.find("KEL_CFG_CHECKDISK_INTERVAL = 60000\n"), std::string::npos);
  EXPECT_NE(text.find("KEL_CFG_EVENTLOG_BYTES_PER_ITEM = 4294967295\n"), std::string::npos);
  EXPECT_EQ(Count(text, "\n"), 14);
}

TEST_F(Config, WrittenFileReadsBackToTheSameValuesWithoutRewrite) {
  Put("");
  Load();
  Cfg::bBeepEnable = false;
  Cfg::nKelRemoteClientListenPort = 18018;
  Cfg::strEventLogFile = "/tmp/ev.log";
  // The largest disk-check interval (71,582 minutes) uses all 32 bits and is written unsigned.
  Cfg::nCheckDiskStatusInterval = static_cast<int32_t>(71582u * 60000u);
  ASSERT_TRUE(cfg_->WriteKelConfig());
  std::string written = Slurp(path_);

  Cfg::ResetDefaults();
  std::string out = Load();
  EXPECT_EQ(out, "");
  EXPECT_FALSE(Cfg::bBeepEnable);
  EXPECT_EQ(Cfg::nKelRemoteClientListenPort, 18018);
  EXPECT_EQ(Cfg::strEventLogFile, "/tmp/ev.log");
  EXPECT_EQ(static_cast<uint32_t>(Cfg::nCheckDiskStatusInterval), 71582u * 60000u);
  EXPECT_EQ(Slurp(path_), written);
}

TEST_F(Config, LineOf1023CharactersIsReadAndALongerOneEndsReading) {
  std::string fits = "KEL_CFG_ACK_LISTEN_PORT = 9001";
  fits.append(1023 - fits.size(), ' ');
  std::string tooLong = "#" + std::string(1023, 'x');
  Put("KEL_CFG_CLIENT_LISTEN_PORT = 9000\n" + fits + "\n" + tooLong +
      "\nKEL_CFG_BROADCAST_LISTEN_PORT = 9002\n");
  std::string out = Load();
  EXPECT_EQ(Cfg::nKelRemoteClientListenPort, 9000);
  EXPECT_EQ(Cfg::nKelRemoteEventListenPort, 9001);
  EXPECT_EQ(Cfg::nKelRemoteBroadcastListenPort, 7001);
  EXPECT_EQ(Count(out, "Invalid configure item"), 0) << out;
}

TEST_F(Config, WriteIntoAMissingFolderFailsWithTheMessage) {
  path_ = dir_ + "/missing/kel.config";
  std::string out = Load();
  EXPECT_EQ(Count(out, "Open configure file " + path_ + " failed\n"), 2) << out;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(cfg_->WriteKelConfig());
  out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Open configure file " + path_ + " failed\n"), std::string::npos) << out;
}

TEST_F(Config, WriteIntoAReadOnlyFolderFailsAndKeepsTheOldFile) {
  Put("KEL_CFG_CLIENT_LISTEN_PORT = 9000\n");
  Load();
  ASSERT_EQ(chmod(dir_.c_str(), 0555), 0);
  int probe = open((dir_ + "/probe").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
  if (probe >= 0) {
    close(probe);
    GTEST_SKIP() << "running with the right to write into read-only folders";
  }
  testing::internal::CaptureStdout();
  EXPECT_FALSE(cfg_->WriteKelConfig());
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Open configure file " + path_ + " failed\n"), std::string::npos) << out;
  EXPECT_EQ(Slurp(path_), "KEL_CFG_CLIENT_LISTEN_PORT = 9000\n");
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
  testing::internal::CaptureStdout();
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  bool ok = cfg_->WriteKelConfig();
  setrlimit(RLIMIT_FSIZE, &saved);
  std::string out = testing::internal::GetCapturedStdout();
  signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(ok);
  EXPECT_NE(out.find("Open configure file " + path_ + " failed\n"), std::string::npos) << out;
  EXPECT_EQ(Slurp(path_), old);
  DIR* d = opendir(dir_.c_str());
  int entries = 0;
  while (dirent* e = readdir(d)) entries += e->d_name[0] != '.';
  closedir(d);
  EXPECT_EQ(entries, 1);  // no temporary file left behind
}

TEST_F(Config, FixDefaultArgRefusesBadArgumentsAndUnknownTypes) {
  testing::internal::CaptureStdout();
  EXPECT_FALSE(Cfg::FixDefaultArg(nullptr, 1));
  KelCfgArgInfo one[1];
  EXPECT_FALSE(Cfg::FixDefaultArg(one, -1));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(Count(out, "Invalid parameters\n"), 2) << out;
  EXPECT_TRUE(Cfg::FixDefaultArg(one, 0));

  int32_t v = 0;
  const int32_t def = 7;
  KelCfgArgInfo table[] = {{"A", CFG_INT, &v, &def}, {"B", 9, &v, &def}};
  EXPECT_FALSE(Cfg::FixDefaultArg(table, 2));
  EXPECT_EQ(v, 7);  // rows before the bad one were applied
}

TEST_F(Config, FloatDoubleAndMandatoryRowsOfOtherTables) {
  float f = 0;
  double d = 0;
  int32_t must = 0;
  const float fdef = 1.5f;
  KelCfgArgInfo table[] = {{"F", CFG_FLOAT, &f, &fdef},
                           {"D", CFG_DOUBLE, &d, nullptr},
                           {"M", CFG_INT, &must, nullptr}};
  EXPECT_TRUE(Cfg::FixDefaultArg(table, 3));
  EXPECT_EQ(f, 1.5f);

  std::vector<std::string> lines = {"F = 2.25", "D = -0.125"};
  testing::internal::CaptureStdout();
  EXPECT_FALSE(Cfg::KelParseConfigItems(lines, table, 3));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(f, 2.25f);
  EXPECT_EQ(d, -0.125);
  EXPECT_NE(out.find("Missing arg M\n"), std::string::npos) << out;
  EXPECT_EQ(Count(out, "Missing arg"), 1) << out;

  lines.push_back("M = 3");
  EXPECT_TRUE(Cfg::KelParseConfigItems(lines, table, 3));
  EXPECT_EQ(must, 3);
}

TEST_F(Config, RowOfUnknownTypeStopsParsing) {
  int32_t a = 0, b = 0;
  const int32_t def = 0;
  KelCfgArgInfo table[] = {{"A", CFG_INT, &a, &def}, {"X", 42, &b, &def}};
  std::vector<std::string> lines = {"A=1", "X=2", "A=3"};
  EXPECT_FALSE(Cfg::KelParseConfigItems(lines, table, 2));
  EXPECT_EQ(a, 1);
}

TEST_F(Config, CheckCfgArgRefusesBadArguments) {
  KelCfgArgInfo table[1] = {{"A", CFG_INT, nullptr, nullptr}};
  int seen[1] = {1};
  EXPECT_TRUE(Cfg::CheckCfgArg(table, seen, 0));
  EXPECT_FALSE(Cfg::CheckCfgArg(nullptr, seen, 1));
  EXPECT_FALSE(Cfg::CheckCfgArg(table, nullptr, 1));
  EXPECT_FALSE(Cfg::CheckCfgArg(table, seen, -1));
  EXPECT_TRUE(Cfg::CheckCfgArg(table, seen, 1));
}

TEST_F(Config, ResetDefaultsRestoresEverySetting) {
  Cfg::bBeepEnable = false;
  Cfg::nHotplugInterval = 1;
  Cfg::strKelInitLogFile = "x";
  Cfg::nKelRemoteMaxClientSockets = 1;
  Cfg::ResetDefaults();
  EXPECT_TRUE(Cfg::bBeepEnable);
  EXPECT_EQ(Cfg::nHotplugInterval, 100);
  EXPECT_EQ(Cfg::strKelInitLogFile, "/var/kel_init.log");
  EXPECT_EQ(Cfg::nKelRemoteMaxClientSockets, 30);
}

}  // namespace
