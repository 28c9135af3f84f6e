// kelctl's output: the JSON writer's escaping, the readable and JSON forms of outcomes,
// and the failure message.
#include <gtest/gtest.h>

#include "tools/kelctl/json_writer.h"
#include "tools/kelctl/kelctl_output.h"

namespace {

KelctlOptions For(KelctlCommand command) {
  KelctlOptions o;
  o.command = command;
  return o;
}

TEST(JsonWriter, EscapesQuotesBackslashesAndControlCharacters) {
  EXPECT_EQ(JsonQuote("plain"), "\"plain\"");
  EXPECT_EQ(JsonQuote("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(JsonQuote("l1\nl2\r\t"), "\"l1\\nl2\\r\\t\"");
  EXPECT_EQ(JsonQuote(std::string("\x01\x1f\b\f", 4)), "\"\\u0001\\u001f\\b\\f\"");
  EXPECT_EQ(JsonQuote(std::string("nul\0end", 7)), "\"nul\\u0000end\"");
  EXPECT_EQ(JsonQuote("caf\xc3\xa9"), "\"caf\xc3\xa9\"");  // UTF-8 passes through
}

TEST(JsonWriter, BuildsMembersInOrder) {
  JsonWriter w;
  w.AddString("s", "x").AddInt("n", -3).AddBool("b", false).AddStrings("l", {"a", "b\"c"});
  EXPECT_EQ(w.Text(), R"({"s":"x","n":-3,"b":false,"l":["a","b\"c"]})");
  EXPECT_EQ(JsonWriter().AddStrings("e", {}).Text(), R"({"e":[]})");
  EXPECT_EQ(JsonWriter().Text(), "{}");
}

TEST(KelctlOutput, LoginPrintsIdAndRightsInBothForms) {
  KelctlOutcome out;
  out.clientId = "5";
  out.sessionRights = 0x15;
  KelctlOptions o = For(KelctlCommand::kLogin);
  EXPECT_EQ(FormatReadable(o, out), "client ID: 5\nsession rights: 0x15\n");
  EXPECT_EQ(FormatJson(o, out),
            R"({"command":"login","ok":true,"user":"admin","client_id":"5","session_rights":21})"
            "\n");
}

TEST(KelctlOutput, LogStatusShowsSizeLinesAndLimit) {
  KelctlOutcome out;
  out.logSize = 5000000000ull;
  out.logLines = 17;
  out.overLimit = true;
  KelctlOptions o = For(KelctlCommand::kLogStatus);
  EXPECT_EQ(FormatReadable(o, out), "size: 5000000000 bytes\nlines: 17\nover limit: yes\n");
  EXPECT_EQ(FormatJson(o, out),
            R"({"command":"log status","ok":true,"size":5000000000,"lines":17,"over_limit":true})"
            "\n");
}

TEST(KelctlOutput, LogShowSplitsLinesAndEscapesThemInJson) {
  KelctlOutcome out;
  out.itemCount = 2;
  out.itemText = "Mon~INFO~a \"b\"\nTue~ERROR~c\n";
  KelctlOptions o = For(KelctlCommand::kLogShow);
  EXPECT_EQ(FormatReadable(o, out), out.itemText);
  EXPECT_EQ(FormatJson(o, out),
            R"({"command":"log show","ok":true,"count":2,"lines":["Mon~INFO~a \"b\"","Tue~ERROR~c"]})"
            "\n");
}

TEST(KelctlOutput, LogShowOfNothingSaysSo) {
  EXPECT_EQ(FormatReadable(For(KelctlCommand::kLogShow), KelctlOutcome{}), "(no log lines)\n");
  EXPECT_EQ(FormatJson(For(KelctlCommand::kLogShow), KelctlOutcome{}),
            R"({"command":"log show","ok":true,"count":0,"lines":[]})"
            "\n");
}

TEST(KelctlOutput, SplitLogLinesKeepsALastLineWithoutNewline) {
  EXPECT_EQ(SplitLogLines("a\nb"), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(SplitLogLines("a\n\nb\n"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_TRUE(SplitLogLines("").empty());
}

TEST(KelctlOutput, SettingsCommandsInBothForms) {
  KelctlOutcome out;
  out.beepOn = true;
  out.minutes = 60;
  EXPECT_EQ(FormatReadable(For(KelctlCommand::kBeepShow), out), "beep: on\n");
  EXPECT_EQ(FormatReadable(For(KelctlCommand::kBeepSet), out), "beep switched on\n");
  EXPECT_EQ(FormatJson(For(KelctlCommand::kBeepSet), out),
            R"({"command":"beep","ok":true,"beep":true})"
            "\n");
  EXPECT_EQ(FormatReadable(For(KelctlCommand::kCheckdiskShow), out),
            "disk check interval: 60 minutes\n");
  EXPECT_EQ(FormatJson(For(KelctlCommand::kCheckdiskSet), out),
            R"({"command":"checkdisk","ok":true,"minutes":60})"
            "\n");
}

TEST(KelctlOutput, PasswdAndLogoutNameTheirSubject) {
  KelctlOptions p = For(KelctlCommand::kPasswd);
  p.targetUser = "gu\"est";
  EXPECT_EQ(FormatReadable(p, KelctlOutcome{}), "password of gu\"est changed\n");
  EXPECT_EQ(FormatJson(p, KelctlOutcome{}),
            R"({"command":"passwd","ok":true,"user":"gu\"est"})"
            "\n");
  KelctlOptions l = For(KelctlCommand::kLogout);
  l.clientId = "9";
  EXPECT_EQ(FormatReadable(l, KelctlOutcome{}), "session 9 logged out\n");
}

TEST(KelctlOutput, FailureNamesTheStageTheCodeAndItsMeaning) {
  KelctlOutcome out;
  out.code = 2013;
  out.stage = "login";
  EXPECT_EQ(FormatFailure(out), "kelctl: login failed: 2013 (wrong user name or password)\n");
  EXPECT_EQ(FormatJson(For(KelctlCommand::kTest), out),
            R"({"command":"test","ok":false,"stage":"login","code":2013,)"
            R"("message":"wrong user name or password"})"
            "\n");
  out.code = 4242;
  out.stage = "beep";
  EXPECT_EQ(FormatFailure(out), "kelctl: beep failed: 4242 (unknown return code)\n");
}

}  // namespace
