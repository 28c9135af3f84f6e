// kelctl's parts that need no service: the argument parser as one table of {arguments,
// KEL_PORT, the options they give or the diagnostic}, the command table's help, where
// passwords come from, and the pure parts of the output: JSON escaping, outcomes the fake
// service does not produce, the words for field values, a disk's layout and SMART pages.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <tuple>

#include "tests/support/temp_dir.h"
#include "tools/kelctl/json_writer.h"
#include "tools/kelctl/kelctl_session.h"
#include "tools/kelctl/kelctl_args.h"
#include "tools/kelctl/kelctl_commands.h"
#include "tools/kelctl/kelctl_disk_layout.h"
#include "tools/kelctl/kelctl_output.h"
#include "tools/kelctl/kelctl_raid_text.h"
#include "tools/kelctl/kelctl_secrets.h"
#include "tools/kelctl/kelctl_smart.h"

namespace {

// "a,b,c" of `words`, or of `numbers` where given.
std::string Join(std::vector<std::string> words, const std::vector<unsigned int>& numbers) {
  std::string s;
  for (size_t i = 0; i < words.size(); ++i)
    s += (i ? "," : "") + (numbers.empty() ? words[i] : std::to_string(numbers[i]));
  return s;
}

// The options that differ from the defaults, as words. What each command's arguments become
// is kelctl_app_test's part: the request bytes show it.
std::string Describe(const KelctlOptions& o) {
  const KelctlOptions d;
  std::string s = o.command == KelctlCommand::kNone ? "-" : KelctlCommandName(o.command);
  const std::pair<bool, std::string> fields[] = {
      {o.command == KelctlCommand::kBeepSet || o.command == KelctlCommand::kCheckdiskSet, "set"},
      {o.host != d.host, "host=" + o.host},
      {o.port != d.port, "port=" + std::to_string(o.port)},
      {o.user != d.user, "user=" + o.user},
      {!o.passwordFile.empty(), "pwfile=" + o.passwordFile},
      {!o.targetUser.empty(), "target=" + o.targetUser},
      {!o.oldPasswordFile.empty(), "old=" + o.oldPasswordFile},
      {!o.newPasswordFile.empty(), "new=" + o.newPasswordFile},
      {o.hostUser != d.hostUser, "hostuser=" + o.hostUser},
      {!o.hostPasswordFile.empty(), "hostpwfile=" + o.hostPasswordFile},
      {o.json, "json"},
      {o.verbose, "verbose"},
      {o.help, "help[" + o.helpTopic + "]"},
      {o.beepOn, "on"},
      {o.minutes != 0, "minutes=" + std::to_string(o.minutes)},
      {o.reboot, "reboot"},
      {o.command == KelctlCommand::kCreate || o.command == KelctlCommand::kCreateSize,
       "level=" + std::to_string(o.raidType)},
      {!o.disks.empty(), "disks=" + Join(std::vector<std::string>(o.disks.size()), o.disks)},
      {!o.arrayRefs.empty(), "arrays=" + Join(o.arrayRefs, {})},
      {!o.arrayName.empty(), "name=" + o.arrayName},
      {o.sizeMiB != 0, "size=" + std::to_string(o.sizeMiB)},
      {o.stripeKiB != 0, "stripe=" + std::to_string(o.stripeKiB)},
      {o.keepData, "keep"},
      {o.useSpare, "spare"},
      {o.confirmed, "yes"},
  };
  for (const auto& [differs, text] : fields)
    if (differs) s += " " + text;
  return s;
}

TEST(KelctlArgs, EachArgumentListGivesItsOptionsOrItsDiagnostic) {
  const std::string onCommandLine =
      "! passwords are not taken on the command line; use --password-file or the environment "
      "(see kelctl --help)";
  const std::string badIndex = " must be a number from 0 to 255, not '";
  const std::string diskUsage =
      "! disk takes a disk index N, --phy CTRL:CHAN:POS, or --array A --pos P";
  const struct {
    std::vector<std::string> args;
    const char* envPort;
    std::string expected;  // Describe's words, or "! " and the diagnostic
  } rows[] = {
      // Defaults are loopback, port 8018 and admin; the port comes from KEL_PORT unless given.
      {{"test"}, nullptr, "test"},
      {{"test"}, "9123", "test port=9123"},
      {{"--port", "9200", "test"}, "9123", "test port=9200"},
      {{"test"}, "", "test"},
      {{"--port", "0", "test"}, nullptr, "! invalid port '0'"},
      {{"--port", "80a", "test"}, nullptr, "! invalid port '80a'"},
      {{"test"}, "x", "! invalid port 'x' in KEL_PORT"},
      {{"--host", "", "test"}, nullptr, "! --host needs a host name or address"},
      {{"--user=", "test"}, nullptr, "! --user needs a name"},
      // Global options may follow the command and take inline values.
      {{"beep", "on", "--json", "--host=10.1.2.3", "--user", "guest", "--password-file", "/tmp/pw",
        "-v"},
       nullptr, "beep set host=10.1.2.3 user=guest pwfile=/tmp/pw json verbose on"},
      {{"--password", "pelum", "test"}, nullptr, onCommandLine},
      {{"--password=pelum", "test"}, nullptr, onCommandLine},
      {{"test", "--new-password", "x"}, nullptr, onCommandLine},
      {{"--port"}, nullptr, "! option --port needs a value"},
      {{"--json=1", "test"}, nullptr, "! option --json takes no value"},
      {{"--frob", "test"}, nullptr, "! unknown option '--frob'"},
      {{}, nullptr, "! no command given (see kelctl --help)"},
      {{"frob"}, nullptr, "! unknown command 'frob'"},
      {{"log"}, nullptr, "! 'log' needs a subcommand (see kelctl log --help)"},
      {{"log", "frob"}, nullptr, "! unknown command 'log frob'"},
      {{"test", "extra"}, nullptr, "! wrong number of arguments for 'test'; usage: kelctl test"},
      {{"log", "show", "--count", "0"}, nullptr,
       "! --count needs a number of lines of at least 1, not '0'"},
      {{"log", "show", "--count", "ten"}, nullptr,
       "! --count needs a number of lines of at least 1, not 'ten'"},
      {{"log", "show", "--first", "x1"}, nullptr, "! --first needs a line number, not 'x1'"},
      {{"log", "show", "--older=yes"}, nullptr, "! option --older takes no value"},
      {{"beep", "--older"}, nullptr, "! option --older does not apply to 'beep'"},
      {{"test", "--old-password-file", "f"}, nullptr,
       "! option --old-password-file does not apply to 'test'"},
      {{"beep", "maybe"}, nullptr, "! beep takes 'on' or 'off', not 'maybe'"},
      {{"checkdisk", "4294967295"}, nullptr, "checkdisk set minutes=4294967295"},
      {{"checkdisk", "4294967296"}, nullptr,
       "! checkdisk takes a number of minutes, not '4294967296'"},
      // Numbers are decimal digits only, at most 20 of them.
      {{"checkdisk", "000000000000000000001"}, nullptr,
       "! checkdisk takes a number of minutes, not '000000000000000000001'"},
      {{"checkdisk", "00000000000000000001"}, nullptr, "checkdisk set minutes=1"},
      {{"checkdisk", "+1"}, nullptr, "! checkdisk takes a number of minutes, not '+1'"},
      {{"checkdisk", ""}, nullptr, "! checkdisk takes a number of minutes, not ''"},
      {{"checkdisk", "--", "-5"}, nullptr, "! checkdisk takes a number of minutes, not '-5'"},
      {{"checkdisk", "-5"}, nullptr, "! unknown option '-5'"},
      {{"checkdisk", "1", "2"}, nullptr,
       "! wrong number of arguments for 'checkdisk'; usage: kelctl checkdisk [MINUTES]"},
      {{"passwd", "guest", "--old-password-file", "/a", "--new-password-file=/b"}, nullptr,
       "passwd target=guest old=/a new=/b"},
      {{"passwd", ""}, nullptr, "! passwd needs a user name"},
      {{"logout", "abc"}, nullptr, "! logout needs a client ID (a decimal number), not 'abc'"},
      {{"logout", "123456789012"}, nullptr,
       "! logout needs a client ID (a decimal number), not '123456789012'"},
      // Help names its topic, even when the command's arguments are missing.
      {{"--help"}, nullptr, "- help[]"},
      {{"log", "show", "--help"}, nullptr, "- help[log show]"},
      {{"log", "--help"}, nullptr, "- help[log]"},
      {{"-h", "logout"}, nullptr, "- help[logout]"},
      {{"frob", "--help"}, nullptr, "! unknown command 'frob'"},
      // The RAID commands' refusals.
      {{"disk"}, nullptr, diskUsage},
      {{"disk", "1", "--phy", "0:0:0"}, nullptr, diskUsage},
      {{"disk", "--array", "1"}, nullptr, diskUsage},
      {{"disk", "--phy", "0:1"}, nullptr, "! --phy takes CTRL:CHAN:POS, not '0:1'"},
      {{"disk", "--phy", "0:1:2:3"}, nullptr, "! --phy takes CTRL:CHAN:POS, not '0:1:2:3'"},
      {{"disk", "--phy", "0:x:1"}, nullptr, "! the channel" + badIndex + "x'"},
      {{"disk", "256"}, nullptr, "! the disk index" + badIndex + "256'"},
      {{"array", "x"}, nullptr, "! the array index" + badIndex + "x'"},
      {{"vds"}, nullptr, "! vds takes either --disk D or --array A"},
      {{"vds", "--array", "1", "--slot", "0"}, nullptr, "! --slot goes with --disk"},
      {{"vds", "--disk", "1", "--slot", "2"}, nullptr, "! --slot takes 0 or 1, not '2'"},
      {{"partitions", "--disk", "1", "--array", "2"}, nullptr,
       "! partitions takes either --disk D or --array A"},
      {{"free"}, nullptr, "! wrong number of arguments for 'free'; usage: kelctl free DISK"},
      {{"smart", "heat"}, nullptr, "! unknown command 'smart heat'"},
      {{"disks", "--slot", "1"}, nullptr, "! option --slot does not apply to 'disks'"},
      {{"reload-driver", "--reboot", "--host-user", "op", "--host-password-file", "f"}, nullptr,
       "reload-driver hostuser=op hostpwfile=f reboot"},
      {{"reload-driver", "--host-user", "root"}, nullptr,
       "! --host-user and --host-password-file go with --reboot"},
      {{"reload-driver", "--reboot", "--host-user", std::string(20, 'r')}, nullptr,
       "! --host-user needs a name of 1 to 19 bytes"},
      // The change commands' arguments and refusals.
      {{"create", "raid5", "--name", "v", "--disks", "0,1,2", "--size", "9", "--keep-data"},
       nullptr, "create level=5 disks=0,1,2 name=v size=9 stripe=64 keep"},
      {{"create", "span", "--name", "v", "--disks", "0"}, nullptr, "create level=8 disks=0 name=v"},
      {{"create", "raid1", "--name", "v", "--disks", "0,1", "--stripe", "64"}, nullptr,
       "! --stripe goes with raid0, raid01 and raid5"},
      {{"create", "raid0", "--name", "v", "--disks", "0,1", "--stripe", "256"}, nullptr,
       "! --stripe takes 4, 8, 16, 32, 64 or 128 (KiB), not '256'"},
      {{"create", "raid6", "--name", "v", "--disks", "0"}, nullptr,
       "! LEVEL is one of span, raid0, raid1, raid01, raid5, not 'raid6'"},
      {{"create", "raid0", "--disks", "0,1"}, nullptr, "! --name needs a name of 1 to 23 bytes"},
      {{"create-size", "raid0"}, nullptr, "! --disks is needed: the disks to build on, like --disks 0,1"},
      {{"create-size", "span", "--disks", "0,x"}, nullptr,
       "! --disks takes disk indexes like 0,1,2, not '0,x'"},
      {{"create-size", "span", "--disks", "1,1"}, nullptr, "! disk 1 is listed twice in --disks"},
      {{"create-size", "raid0", "--disks", "0,1,2,3,4,5,6,7,8"}, nullptr,
       "! --disks takes at most 8 disks"},
      {{"remove", "3", "data"}, nullptr,
       "! remove destroys configuration and cannot be undone; add --yes to go ahead"},
      {{"remove", "3", "data", "--yes"}, nullptr, "remove arrays=3,data yes"},
      {{"clear-disk", "2"}, nullptr,
       "! clear-disk destroys configuration and cannot be undone; add --yes to go ahead"},
      {{"clear-disk", "2", "x", "--yes"}, nullptr, "! the disk index" + badIndex + "x'"},
      {{"repair", "r5", "--disk", "4"}, nullptr, "repair disks=4 arrays=r5"},
      {{"repair", "r1", "--spare"}, nullptr, "repair arrays=r1 spare"},
      {{"repair", "r1", "--disk", "4", "--spare"}, nullptr,
       "! repair takes either --disk N[,N...] or --spare"},
      {{"spare", "add", "1"}, nullptr, "! spare add needs --disk N"},
      {{"spare", "remove", "1", "--yes"}, nullptr, "! option --yes does not apply to 'spare remove'"},
  };
  for (const auto& row : rows) {
    KelctlOptions options;
    std::string error, line;
    for (const std::string& a : row.args) line += a + " ";
    const bool ok = ParseKelctlArgs(row.args, row.envPort, &options, &error);
    EXPECT_EQ(ok ? Describe(options) : "! " + error, row.expected) << line;
  }
}

TEST(KelctlArgs, EveryCommandHasHelpNamingItsSynopsis) {
  for (const KelctlCommandSpec& spec : KelctlCommandTable()) {
    std::string help = KelctlHelpFor(spec.words);
    EXPECT_EQ(help.rfind(std::string("Usage: kelctl [OPTIONS] ") + spec.synopsis + "\n", 0), 0u)
        << help;
    EXPECT_NE(KelctlGlobalHelp().find(spec.synopsis), std::string::npos) << spec.words;
  }
  EXPECT_NE(KelctlHelpFor("log").find("kelctl log clear"), std::string::npos);
  EXPECT_EQ(KelctlHelpFor("frob"), "");
}

// Passwords: the file named first (its first line), then the environment, then the prompt.
// A missing file and a prompt that cannot be shown are kelctl_app_test's part.
TEST(KelctlSecrets, FileThenEnvironmentThenPrompt) {
  kel_test::TempDir dir;
  const std::string file = dir.File("pw");
  const struct {
    const char* fileText;  // null: no file named
    const char* env;       // KEL_PASSWORD; null: not set
    std::vector<std::string> answers;
    bool confirm;
    std::string expected;  // "=" and the password, or "! " and the error
    size_t prompts;
  } rows[] = {
      {"pelum\r\nsecond line\n", "from-env", {}, false, "=pelum", 0},
      {nullptr, "", {"typed"}, false, "=typed", 1},
      {nullptr, nullptr, {"one", "one"}, true, "=one", 2},
      {nullptr, nullptr, {"one", "two"}, true, "! the two entries differ", 2},
      {nullptr, nullptr, {"one"}, true, "! no terminal", 2},
  };
  for (const auto& row : rows) {
    if (row.fileText != nullptr) std::ofstream(file, std::ios::binary) << row.fileText;
    std::vector<std::string> answers = row.answers, prompts;
    KelctlSecretSource source{row.fileText != nullptr ? file : "", "--password-file",
                              "KEL_PASSWORD", "Password for admin: ",
                              row.confirm ? "Retype: " : ""};
    std::string password, error;
    const bool ok = ReadKelctlSecret(
        source, [&](const char*) { return row.env; },
        [&](const std::string& prompt, std::string* answer, std::string* err) {
          prompts.push_back(prompt);
          if (answers.empty()) {
            *err = "no terminal";
            return false;
          }
          *answer = answers.front();
          answers.erase(answers.begin());
          return true;
        },
        &password, &error);
    EXPECT_EQ(ok ? "=" + password : "! " + error, row.expected);
    EXPECT_EQ(prompts.size(), row.prompts) << row.expected;
    EXPECT_EQ(prompts.empty() ? "" : prompts[0], row.prompts ? "Password for admin: " : "");
  }
}

TEST(JsonWriter, EscapesAndBuildsMembersInOrder) {
  EXPECT_EQ(JsonQuote("a\"b\\c") + JsonQuote("l1\nl2\r\t"), "\"a\\\"b\\\\c\"\"l1\\nl2\\r\\t\"");
  EXPECT_EQ(JsonQuote(std::string("\x01\x1f\b\f\x7f", 5)), "\"\\u0001\\u001f\\b\\f\\u007f\"");
  // A zero byte is escaped; UTF-8 passes through.
  EXPECT_EQ(JsonQuote(std::string("nul\0caf\xc3\xa9", 9)), "\"nul\\u0000caf\xc3\xa9\"");
  // Bytes that are not UTF-8 (a stray Latin-1 byte, a cut sequence) become U+FFFD.
  EXPECT_EQ(JsonQuote("a\xe9" "b\xc3"), "\"a\xef\xbf\xbd" "b\xef\xbf\xbd\"");
  JsonWriter w;
  w.AddString("s", "x").AddInt("n", -3).AddBool("b", false).AddStrings("l", {"a", "b\"c"});
  EXPECT_EQ(w.Text(), R"({"s":"x","n":-3,"b":false,"l":["a","b\"c"]})");
  EXPECT_EQ(JsonWriter().AddStrings("e", {}).AddInts("i", {}).Text(), R"({"e":[],"i":[]})");
  EXPECT_EQ(JsonWriter().Text(), "{}");
}

TEST(KelctlOutput, OutcomesBeyondWhatTheFakeServiceGives) {
  KelctlOptions o;
  o.command = KelctlCommand::kLogShow;
  EXPECT_EQ(FormatReadable(o, KelctlOutcome{}), "(no log lines)\n");
  EXPECT_EQ(FormatJson(o, KelctlOutcome{}),
            R"({"command":"log show","ok":true,"count":0,"lines":[]})" "\n");
  KelctlOutcome r;
  r.itemText = "a\n\nb";  // a last line without its newline gets one
  EXPECT_EQ(FormatReadable(o, r), "a\n\nb\n");
  o.command = KelctlCommand::kPasswd;
  o.targetUser = "gu\"est";
  EXPECT_EQ(FormatJson(o, KelctlOutcome{}), R"({"command":"passwd","ok":true,"user":"gu\"est"})"
                                            "\n");
}

TEST(RaidText, WordsForFieldValues) {
  const char field[4] = {'a', 'b', 'c', 'd'};  // full width, no zero byte
  const std::pair<std::string, std::string> cases[] = {
      {ArrayStatusText(0xF) + "; " + ArrayStatusText(0x21),
       "degraded, invalid member, needs synchronisation, bit3; degraded, bit5"},
      {DiskFlagsText(0x1C) + "; " + DiskFlagsText(0x3),
       "health bad, unreadable, partition clear pending; set aside, bit1"},
      {ArrayTaskText(2) + ", " + ArrayTaskText(3) + ", " + ArrayTaskText(7),
       "migrating, replacing, task 7"},
      {RaidTypeName(0) + ", " + RaidTypeName(5) + ", " + RaidTypeName(9) + ", " + RaidTypeName(8) +
           ", " + RaidTypeName(6),
       "RAID 0, RAID 5, RAID 0+1, span, type 6"},
      {SmartStatusText(3) + ", " + SmartStatusText(9), "disk reports failure, status 9"},
      {ChannelPositionText(0) + ", " + ChannelPositionText(7), "empty, kind 7"},
      {SideText(1) + ", " + SideText(2), "slave, 2"},
      {HumanSize(512) + ", " + HumanSize(1536) + ", " + HumanSize(~0ull),
       "512 B, 1.5 KiB, 16.0 EiB"},
      {SectorsText(8, 4096), "8 sectors (32.0 KiB)"},
      {FieldText(field), "abcd"},
      {Printable(std::string("x\x01y  ")) + Printable(""), "x?y-"},
      {KelctlCodeText(2013) + ", " + KelctlCodeText(4242),
       "wrong user name or password, unknown return code"},
  };
  for (const auto& [got, expected] : cases) EXPECT_EQ(got, expected);
}

KelVDInfo Vd(uint64_t start, uint64_t length) {
  KelVDInfo v{};
  v.SetStartSector(start);
  v.SetCapacity(length);
  return v;
}

// A disk's areas in sector order; the last 32 sectors are reserved and never free.
TEST(DiskLayout, GapsAroundVdsAndProtectedAreasWithinTheUsableSectors) {
  const struct {
    uint64_t capacity;
    std::vector<KelVDInfo> vds;
    std::vector<_zr_protect_free_info_t> protectedAreas;
    std::string expected;
  } cases[] = {
      {32, {}, {}, ""},
      {10, {}, {}, ""},
      // Given out of order, as slot 1 may lie before slot 0.
      {1000, {Vd(600, 100), Vd(100, 200)}, {},
       "free[0+100] vd[100+200] free[300+300] vd[600+100] free[700+268]"},
      {1000, {Vd(0, 968)}, {}, "vd[0+968]"},
      {1000, {Vd(0, 400)}, {{500, 100}}, "vd[0+400] free[400+100] prot[500+100] free[600+368]"},
      // An area that spills over a VD or past the usable end is cut to the gap.
      {1000, {Vd(0, 400)}, {{300, 5000}}, "vd[0+400] prot[400+568]"},
      {1000, {Vd(0, 500), Vd(400, 200)}, {}, "vd[0+500] vd[400+200] free[600+368]"},
      {1000, {Vd(900, 100)}, {}, "free[0+900] vd[900+100]"},
      {1000, {Vd(10, UINT64_MAX)}, {}, "free[0+10] vd[10+18446744073709551615]"},
  };
  for (const auto& c : cases) {
    std::string got;
    for (const KelctlArea& a : DiskLayout(c.capacity, c.vds, c.protectedAreas)) {
      const char* kind = a.kind == KelctlAreaKind::kVd     ? "vd"
                         : a.kind == KelctlAreaKind::kFree ? "free"
                                                           : "prot";
      got += std::string(got.empty() ? "" : " ") + kind + "[" + std::to_string(a.start) + "+" +
             std::to_string(a.length) + "]";
    }
    EXPECT_EQ(got, c.expected);
  }
}

TEST(Smart, PageEntriesAreDecodedFieldByField) {
  std::vector<unsigned char> page(512, 0);
  page[0] = 0x10;
  page[1] = 0x01;
  // Entry 1 unused (id 0); entry 29, the last, with the largest raw value.
  const unsigned char e29[12] = {194, 0x22, 0x01, 1, 2, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x77};
  memcpy(&page[2 + 29 * 12], e29, 12);
  page[2] = 5;
  std::vector<KelctlSmartValue> v = DecodeSmartValues(page);
  ASSERT_EQ(v.size(), 2u);
  EXPECT_EQ(SmartRevision(page), 0x110u);
  // The byte after the raw value is not part of it.
  EXPECT_EQ(std::make_tuple(v[1].id, v[1].flags, v[1].current, v[1].worst, v[1].raw),
            std::make_tuple(194u, 0x0122u, 1u, 2u, 0xffffffffffffull));
  page.resize(2 + 12 + 5);                 // the second entry is cut off
  page[14] = 9;
  EXPECT_EQ(DecodeSmartThresholds(page).size(), 1u);
  EXPECT_TRUE(DecodeSmartValues({}).empty());
  EXPECT_EQ(SmartRevision({1}), 0u);
}

}  // namespace

TEST(KelctlSession, PathAndFileText) {
  std::map<std::string, std::string> env{{"HOME", "/h"}};
  auto lookup = [&env](const char* n) -> const char* {
    return env.count(n) != 0 ? env[n].c_str() : nullptr;
  };
  EXPECT_EQ(KelctlSessionPath(lookup, "::1", 8018), "/h/.cache/kelctl/session-__1-8018");
  env["XDG_RUNTIME_DIR"] = "/run/u";
  EXPECT_EQ(KelctlSessionPath(lookup, "a/../b", 9), "/run/u/kelctl/session-a_.._b-9");
  env.clear();
  EXPECT_EQ(KelctlSessionPath(lookup, "h", 9), "");
  KelctlSession s;
  EXPECT_TRUE(ParseKelctlSession(FormatKelctlSession({"12", "admin"}), &s));
  EXPECT_EQ(s.clientId + "/" + s.user, "12/admin");
  for (const char* bad : {"", "12 admin", "x admin\n", " admin\n", "12 \n", "1 a\n2 b\n",
                          "123456789012 a\n"})
    EXPECT_FALSE(ParseKelctlSession(bad, &s)) << bad;
}
