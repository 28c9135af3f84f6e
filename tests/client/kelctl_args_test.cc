// kelctl's argument parser and command table: defaults, where the port comes from, every
// command's arguments and options, help requests, and the refusals.
#include <gtest/gtest.h>

#include "tools/kelctl/kelctl_args.h"
#include "tools/kelctl/kelctl_commands.h"

namespace {

struct Parsed {
  bool ok;
  KelctlOptions options;
  std::string error;
};

Parsed Parse(std::vector<std::string> args, const char* envPort = nullptr) {
  Parsed p;
  p.ok = ParseKelctlArgs(args, envPort, &p.options, &p.error);
  return p;
}

TEST(KelctlArgs, DefaultsAreLoopbackPort8018AndAdmin) {
  Parsed p = Parse({"test"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.options.command, KelctlCommand::kTest);
  EXPECT_EQ(p.options.host, "127.0.0.1");
  EXPECT_EQ(p.options.port, 8018);
  EXPECT_EQ(p.options.user, "admin");
  EXPECT_FALSE(p.options.json);
  EXPECT_TRUE(p.options.passwordFile.empty());
}

TEST(KelctlArgs, PortComesFromKelPortUnlessGivenAsOption) {
  EXPECT_EQ(Parse({"test"}, "9123").options.port, 9123);
  EXPECT_EQ(Parse({"--port", "9200", "test"}, "9123").options.port, 9200);
  EXPECT_EQ(Parse({"test"}, "").options.port, 8018);
}

TEST(KelctlArgs, BadPortsAreRefused) {
  for (const char* bad : {"0", "65536", "80a", "-1", ""}) {
    Parsed p = Parse({"--port", bad, "test"});
    EXPECT_FALSE(p.ok) << bad;
    EXPECT_NE(p.error.find("invalid port"), std::string::npos) << p.error;
  }
  Parsed env = Parse({"test"}, "x");
  EXPECT_FALSE(env.ok);
  EXPECT_NE(env.error.find("KEL_PORT"), std::string::npos);
}

TEST(KelctlArgs, GlobalOptionsMayFollowTheCommandAndTakeInlineValues) {
  Parsed p = Parse({"beep", "on", "--json", "--host=10.1.2.3", "--user", "guest",
                    "--password-file", "/tmp/pw"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.options.command, KelctlCommand::kBeepSet);
  EXPECT_TRUE(p.options.beepOn);
  EXPECT_TRUE(p.options.json);
  EXPECT_EQ(p.options.host, "10.1.2.3");
  EXPECT_EQ(p.options.user, "guest");
  EXPECT_EQ(p.options.passwordFile, "/tmp/pw");
}

TEST(KelctlArgs, PasswordsOnTheCommandLineAreRefused) {
  for (const char* opt : {"--password", "--password=pelum", "-p", "--old-password"}) {
    Parsed p = Parse({opt, "pelum", "test"});
    EXPECT_FALSE(p.ok) << opt;
    EXPECT_NE(p.error.find("--password-file"), std::string::npos) << p.error;
  }
}

TEST(KelctlArgs, EachCommandResolves) {
  EXPECT_EQ(Parse({"login"}).options.command, KelctlCommand::kLogin);
  EXPECT_EQ(Parse({"log", "status"}).options.command, KelctlCommand::kLogStatus);
  EXPECT_EQ(Parse({"log", "clear"}).options.command, KelctlCommand::kLogClear);
  EXPECT_EQ(Parse({"log", "show"}).options.command, KelctlCommand::kLogShow);
  EXPECT_EQ(Parse({"beep"}).options.command, KelctlCommand::kBeepShow);
  EXPECT_EQ(Parse({"checkdisk"}).options.command, KelctlCommand::kCheckdiskShow);
  Parsed off = Parse({"beep", "off"});
  EXPECT_EQ(off.options.command, KelctlCommand::kBeepSet);
  EXPECT_FALSE(off.options.beepOn);
}

TEST(KelctlArgs, LogShowTakesFirstCountAndOlder) {
  Parsed plain = Parse({"log", "show"});
  EXPECT_EQ(plain.options.logFirst, 0u);
  EXPECT_FALSE(plain.options.logFirstGiven);
  EXPECT_EQ(plain.options.logCount, 20u);
  EXPECT_FALSE(plain.options.logOlder);

  Parsed p = Parse({"log", "show", "--first", "7", "--count=3", "--older"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.options.logFirst, 7u);
  EXPECT_TRUE(p.options.logFirstGiven);
  EXPECT_EQ(p.options.logCount, 3u);
  EXPECT_TRUE(p.options.logOlder);
}

TEST(KelctlArgs, LogShowRefusesAZeroOrNonNumericCount) {
  EXPECT_FALSE(Parse({"log", "show", "--count", "0"}).ok);
  EXPECT_FALSE(Parse({"log", "show", "--count", "ten"}).ok);
  EXPECT_FALSE(Parse({"log", "show", "--first", "-1"}).ok);
  EXPECT_FALSE(Parse({"log", "show", "--count"}).ok);
}

TEST(KelctlArgs, CommandOptionsBelongToTheirCommand) {
  Parsed p = Parse({"beep", "--older"});
  EXPECT_FALSE(p.ok);
  EXPECT_EQ(p.error, "option --older does not apply to 'beep'");
  EXPECT_FALSE(Parse({"test", "--old-password-file", "f"}).ok);
  EXPECT_FALSE(Parse({"log", "show", "--older=yes"}).ok);
}

TEST(KelctlArgs, CheckdiskTakesUnsignedMinutes) {
  Parsed p = Parse({"checkdisk", "71582"});
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.options.command, KelctlCommand::kCheckdiskSet);
  EXPECT_EQ(p.options.minutes, 71582u);
  EXPECT_EQ(Parse({"checkdisk", "4294967295"}).options.minutes, 4294967295u);
  EXPECT_FALSE(Parse({"checkdisk", "4294967296"}).ok);
  EXPECT_FALSE(Parse({"checkdisk", "-5"}).ok);
  EXPECT_FALSE(Parse({"checkdisk", "5m"}).ok);
  EXPECT_FALSE(Parse({"checkdisk", "1", "2"}).ok);
}

TEST(KelctlArgs, BeepTakesOnlyOnOrOff) {
  Parsed p = Parse({"beep", "maybe"});
  EXPECT_FALSE(p.ok);
  EXPECT_EQ(p.error, "beep takes 'on' or 'off', not 'maybe'");
}

TEST(KelctlArgs, PasswdNeedsAUserAndTakesPasswordFiles) {
  EXPECT_FALSE(Parse({"passwd"}).ok);
  Parsed p = Parse({"passwd", "guest", "--old-password-file", "/a", "--new-password-file=/b"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.options.command, KelctlCommand::kPasswd);
  EXPECT_EQ(p.options.targetUser, "guest");
  EXPECT_EQ(p.options.oldPasswordFile, "/a");
  EXPECT_EQ(p.options.newPasswordFile, "/b");
}

TEST(KelctlArgs, LogoutNeedsADecimalClientId) {
  Parsed p = Parse({"logout", "17"});
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.options.command, KelctlCommand::kLogout);
  EXPECT_EQ(p.options.clientId, "17");
  EXPECT_FALSE(Parse({"logout"}).ok);
  EXPECT_FALSE(Parse({"logout", "abc"}).ok);
  EXPECT_FALSE(Parse({"logout", "123456789012"}).ok);
}

TEST(KelctlArgs, UnknownAndIncompleteCommandsAreNamed) {
  EXPECT_EQ(Parse({"frob"}).error, "unknown command 'frob'");
  EXPECT_EQ(Parse({"log", "frob"}).error, "unknown command 'log frob'");
  EXPECT_EQ(Parse({"log"}).error, "'log' needs a subcommand (see kelctl log --help)");
  EXPECT_FALSE(Parse({}).ok);
  EXPECT_EQ(Parse({"--frob", "test"}).error, "unknown option '--frob'");
  EXPECT_EQ(Parse({"test", "extra"}).error,
            "wrong number of arguments for 'test'; usage: kelctl test");
}

TEST(KelctlArgs, HelpNamesItsTopic) {
  Parsed global = Parse({"--help"});
  ASSERT_TRUE(global.ok);
  EXPECT_TRUE(global.options.help);
  EXPECT_EQ(global.options.helpTopic, "");
  EXPECT_EQ(Parse({"log", "show", "--help"}).options.helpTopic, "log show");
  EXPECT_EQ(Parse({"log", "--help"}).options.helpTopic, "log");
  EXPECT_EQ(Parse({"-h", "passwd"}).options.helpTopic, "passwd");
  // Help is given even when the command's arguments are missing.
  EXPECT_TRUE(Parse({"logout", "--help"}).ok);
  EXPECT_FALSE(Parse({"frob", "--help"}).ok);
}

TEST(KelctlCommands, EveryCommandHasHelpNamingItsSynopsis) {
  for (const KelctlCommandSpec& spec : KelctlCommandTable()) {
    std::string help = KelctlHelpFor(spec.words);
    EXPECT_EQ(help.rfind(std::string("Usage: kelctl [OPTIONS] ") + spec.synopsis, 0), 0u) << help;
    EXPECT_NE(KelctlGlobalHelp().find(spec.synopsis), std::string::npos) << spec.words;
  }
  EXPECT_NE(KelctlHelpFor("log").find("kelctl log clear"), std::string::npos);
  EXPECT_EQ(KelctlHelpFor("frob"), "");
}

TEST(KelctlCommands, DecimalParsingIsStrict) {
  unsigned long long v = 0;
  EXPECT_TRUE(ParseDecimal("0", 10, &v));
  EXPECT_EQ(v, 0u);
  EXPECT_TRUE(ParseDecimal("18446744073709551615", ~0ull, &v));
  EXPECT_FALSE(ParseDecimal("18446744073709551616", ~0ull, &v));
  EXPECT_FALSE(ParseDecimal("11", 10, &v));
  EXPECT_FALSE(ParseDecimal("+1", 10, &v));
  EXPECT_FALSE(ParseDecimal(" 1", 10, &v));
}

}  // namespace
