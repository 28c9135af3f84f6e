// A whole kelctl invocation (KelctlMain) against a fake service: the session each command
// opens and ends, what goes to stdout and stderr, and the exit statuses.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <map>
#include <memory>

#include "tests/client/fake_server.h"
#include "tests/client/kelctl_in_process.h"
#include "tools/kelctl/kelctl_app.h"
#include "webext/client/client_info.h"

using namespace kel_test;

namespace {

class KelctlApp : public ::testing::Test {
 protected:
  void SetUp() override { bClearRevBuf = false; }
  void TearDown() override {
    server.reset();
    if (holder >= 0) close(holder);
  }

  // A service that welcomes, answers a login with `loginCode` and then answers every
  // request with return code 0 plus `rest`, recording the requests, until the client goes.
  // A logout of the session's own ID closes the connection, as the service does.
  void Serve(int loginCode, Bytes rest = {}) {
    server = std::make_unique<FakeServer>([this, loginCode, rest](FakeConn& conn) {
      conn.SendWelcome();
      Packet p;
      while (conn.Receive(&p, std::chrono::seconds(5))) {
        requests.push_back(p);
        if (p.code == 250) {
          Bytes id(21, 0);
          id[0] = '5';
          id[20] = 0x15;
          conn.Send(250, Reply(p.payload.at(0), loginCode, id));
        } else if (p.code == 251) {
          conn.Send(251, Reply(p.payload.at(0), 0, {0x15}));
        } else if (p.code == 255 && p.payload.at(0) == 0 && p.payload.at(1) == '5') {
          return;  // own session ended: the connection goes with it
        } else {
          conn.Send(p.code, Reply(p.payload.at(0), 0, rest));
        }
      }
    });
  }

  int Run(std::vector<std::string> args) {
    int status =
        RunKelctlInProcess(server ? server->port() : RefusingPort(), args, env, &out, &err);
    if (server) {
      EXPECT_TRUE(server->Join());
    }
    return status;
  }

  // A port held by a bound socket that does not listen: connecting to it is refused.
  int RefusingPort() {
    if (holder < 0) {
      holder = socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in addr{};
      addr.sin_family = AF_INET;
      addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      bind(holder, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
    }
    sockaddr_in addr{};
    socklen_t len = sizeof(addr);
    getsockname(holder, reinterpret_cast<sockaddr*>(&addr), &len);
    return ntohs(addr.sin_port);
  }

  std::string Codes() const {
    std::string text;
    for (const Packet& p : requests) {
      if (!text.empty()) text += " ";
      text += std::to_string(p.code) + (p.code == 255 ? "/" + std::to_string(p.payload.at(0)) : "");
    }
    return text;
  }

  std::unique_ptr<FakeServer> server;
  std::vector<Packet> requests;  // written by the script; read after Join
  std::map<std::string, std::string> env{{"KEL_PASSWORD", "pelum"}};
  std::string out, err;
  int holder = -1;
};

TEST_F(KelctlApp, CommandLogsInRunsAndLogsItsOwnSessionOut) {
  Serve(0);
  EXPECT_EQ(Run({"beep", "on"}), 0) << err;
  EXPECT_EQ(out, "beep switched on\n");
  EXPECT_EQ(err, "");
  EXPECT_EQ(Codes(), "250 255/5 255/0");
  EXPECT_EQ(Hex(requests[1].payload), "05 01");
  EXPECT_EQ(requests[2].payload, (Bytes{0, '5', 0}));
}

TEST_F(KelctlApp, LoginLeavesTheSessionOpen) {
  Serve(1051);
  EXPECT_EQ(Run({"login"}), 0) << err;
  EXPECT_EQ(out, "client ID: 5\nsession rights: 0x15\n");
  EXPECT_EQ(Codes(), "250");
}

TEST_F(KelctlApp, LogoutJoinsTheSessionAndEndsIt) {
  Serve(0);
  env.clear();  // no password needed
  EXPECT_EQ(Run({"logout", "5"}), 0) << err;
  EXPECT_EQ(out, "session 5 logged out\n");
  EXPECT_EQ(Codes(), "251 255/0");
  EXPECT_EQ(requests[0].payload, (Bytes{'5', 0}));
}

TEST_F(KelctlApp, WrongPasswordExitsNonZeroWithOneMessage) {
  Serve(1050);
  EXPECT_EQ(Run({"test"}), 1);
  EXPECT_EQ(out, "");
  EXPECT_EQ(err, "kelctl: login failed: 2013 (wrong user name or password)\n");
  EXPECT_EQ(Codes(), "250");
}

TEST_F(KelctlApp, JsonFailureGoesToBothStreams) {
  Serve(1050);
  EXPECT_EQ(Run({"--json", "log", "status"}), 1);
  EXPECT_EQ(out,
            R"({"command":"log status","ok":false,"stage":"login","code":2013,)"
            R"("message":"wrong user name or password"})"
            "\n");
  EXPECT_EQ(err, "kelctl: login failed: 2013 (wrong user name or password)\n");
}

TEST_F(KelctlApp, OlderLogLinesStartFromTheNewestWhenNoFirstIsGiven) {
  // Every reply carries the same results: status reads 9 as the line number (data[17..20]),
  // the items reply 0 lines and 0 bytes from its first eight bytes.
  Bytes rest(16, 0);
  rest[15] = 9;
  Serve(0, rest);
  EXPECT_EQ(Run({"log", "show", "--older", "--count", "4"}), 0) << err;
  EXPECT_EQ(Codes(), "250 255/1 255/3 255/0");
  EXPECT_EQ(Hex(requests[2].payload), "03 01 00 00 00 09 00 00 00 04");
}

TEST_F(KelctlApp, CheckdiskSetShowsTheIntervalTheServiceKept) {
  Serve(0, BigEndian32(71582));
  EXPECT_EQ(Run({"checkdisk", "100000"}), 0) << err;
  EXPECT_EQ(out, "disk check interval set to 71582 minutes\n");
  EXPECT_EQ(Codes(), "250 255/8 255/7 255/0");
  EXPECT_EQ(Hex(requests[1].payload), "08 00 01 86 a0");
}

TEST_F(KelctlApp, PasswdSendsTheTargetsPasswordsFromTheEnvironment) {
  env["KEL_OLD_PASSWORD"] = "rovak";
  env["KEL_NEW_PASSWORD"] = "n3w";
  Serve(0);
  EXPECT_EQ(Run({"passwd", "guest"}), 0) << err;
  EXPECT_EQ(Codes(), "250 255/6 255/0");
  const Bytes& p = requests[1].payload;
  EXPECT_EQ(std::string(p.begin(), p.end()), std::string("\x06guest\0rovak\0n3w\0", 17));
}

TEST_F(KelctlApp, MissingPasswordIsAUsageErrorBeforeAnyConnection) {
  env.clear();
  EXPECT_EQ(Run({"test"}), 2);
  EXPECT_EQ(err,
            "kelctl: no terminal to ask for the password on (use --password-file or "
            "KEL_PASSWORD)\n");
}

TEST_F(KelctlApp, UsageErrorsAndHelp) {
  EXPECT_EQ(Run({"beep", "loud"}), 2);
  EXPECT_EQ(err, "kelctl: beep takes 'on' or 'off', not 'loud'\n");
  EXPECT_EQ(Run({"checkdisk", "--help"}), 0);
  EXPECT_EQ(out.rfind("Usage: kelctl [OPTIONS] checkdisk [MINUTES]", 0), 0u) << out;
  EXPECT_EQ(err, "");
}

TEST_F(KelctlApp, NoServiceGivesConnectFailure) {
  EXPECT_EQ(Run({"test"}), 1);
  EXPECT_EQ(err, "kelctl: connect failed: 2010 (the connection could not be opened or was refused)\n");
}

}  // namespace
