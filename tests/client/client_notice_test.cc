// The notification connection and discovery: the library against in-process peers on
// 127.0.0.1, the notice decoder and formatters in memory, and `kelctl events` whole.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <future>

#include "tests/client/fake_server.h"
#include "tools/kelctl/kelctl_app.h"
#include "tools/kelctl/kelctl_notice_format.h"
#include "webext/client/kelclient.h"

using namespace kel_test;

namespace {

struct DecodeCase {
  unsigned char code;
  Bytes payload;
  int result, type;
  unsigned short len;
  bool echo;
};

TEST(DecodeNotice, KindsAndBounds) {
  const DecodeCase cases[] = {
      {252, {}, 2003, 0, 0, false},  // no kind byte: nothing may be read
      {252, {8}, 2003, 0, 0, false},
      {252, {1}, 2003, 0, 0, false},
      {250, {3}, 2003, 0, 0, false},
      {252, {2}, 0, 0, 0, true},
      {252, {3}, 0, 3, 0, false},
      {252, {7}, 0, 7, 0, false},
      {252, {4}, 0, 4, 0, false},  // empty disk-status data: length 0, not 65535
      {252, {4, 2, 0, 0, 5, 1}, 0, 4, 5, false},
      {252, Cat({{5}, Bytes(16, 9)}), 0, 5, 16, false},
      {252, Cat({{5}, Bytes(15, 9)}), 2003, 0, 0, false},
  };
  for (const DecodeCase& c : cases) {
    int type = -1;
    unsigned short len = 0;
    bool echo = false;
    unsigned char data[kClientBufSize] = {};
    EXPECT_EQ(DecodeNotice(c.code, c.payload.data(), static_cast<unsigned short>(c.payload.size()),
                           &type, data, &len, &echo),
              c.result);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(len, c.len);
    EXPECT_EQ(echo, c.echo);
  }
}

// Registers on a fake notification port and reads what the script sends after confirming.
TEST(NoticeConnection, RegistersEchoesProbesAndReadsNotices) {
  Packet registration, echo;
  FakeServer notice([&](FakeConn& conn) {
    conn.Receive(&registration);
    conn.Send(252, {1});
    conn.Send(252, {2});
    conn.Receive(&echo);
    conn.Send(252, {4, 1, 3, 0x22});
  });
  CLIENT_INFO ci;
  ClientInfoInit(&ci);
  ASSERT_EQ(InitEventSocket(&ci, "17", "127.0.0.1", notice.port), 0);
  EXPECT_EQ(registration.code, 252);
  EXPECT_EQ(registration.payload, Cat({{1, '1', '7'}, Bytes(18, 0)}));
  int type = -1;
  unsigned char data[kClientBufSize];
  unsigned short len = 0;
  EXPECT_EQ(CheckRaidEvent(&ci, &type, data, &len), 0);
  EXPECT_EQ(type, 0);
  EXPECT_EQ(CheckRaidEvent(&ci, &type, data, &len), 0);
  EXPECT_EQ(echo.payload, Bytes{2});
  EXPECT_EQ(type, 4);
  EXPECT_EQ(Bytes(data, data + len), (Bytes{1, 3, 0x22}));
  CloseConnect(&ci);
}

TEST(NoticeConnection, RefusedRegistrationLeavesNoSocket) {
  FakeServer notice([](FakeConn&) {});  // closes at once, as for an unknown client
  CLIENT_INFO ci;
  ClientInfoInit(&ci);
  EXPECT_NE(InitEventSocket(&ci, "17", "127.0.0.1", notice.port), 0);
  EXPECT_EQ(ci.nNoticeSock, -1);
  EXPECT_EQ(ci.pNoticeSock, nullptr);
}

TEST(Discovery, DestinationComesFromTheEnvironment) {
  const std::pair<const char*, const char*> cases[] = {
      {nullptr, "255.255.255.255"}, {"", "255.255.255.255"}, {"127.0.0.1", "127.0.0.1"}};
  for (const auto& [env, want] : cases) {
    in_addr addr{};
    ASSERT_TRUE(DiscoveryDestination(env, &addr));
    EXPECT_STREQ(inet_ntoa(addr), want);
  }
  in_addr addr{};
  EXPECT_FALSE(DiscoveryDestination("localhost", &addr));
}

TEST(Discovery, ReplyTextIsBounded) {
  const Bytes unterminated(300, 'A');
  EXPECT_EQ(DiscoveryReplyText(unterminated.data(), unterminated.size()), std::string(128, 'A'));
  const Bytes text = {'Z', 0x07, 'P', 0, 'X'};
  EXPECT_EQ(DiscoveryReplyText(text.data(), text.size()), "Z?P");
}

TEST(Discovery, ListIsInTextOrderAndBounded) {
  const KelDiscoveredServices found = {{"10.0.0.2", "b"}, {"10.0.0.10", "a"}};
  char list[64];
  EXPECT_EQ(FormatDiscoveryList(found, list, sizeof(list)), 0);
  EXPECT_STREQ(list, "10.0.0.10\na\n10.0.0.2\nb\n");
  EXPECT_EQ(FormatDiscoveryList(found, list, 20), 2015);
  EXPECT_STREQ(list, "10.0.0.10\na\n");
}

// A discovery peer on 127.0.0.1 keeps answering with 128 bytes and no terminator: the search
// still ends, with one entry.
TEST(Discovery, FindsAPeerOnLoopback) {
  int peer = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in addr{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
  socklen_t addrLen = sizeof(addr);
  ASSERT_EQ(bind(peer, reinterpret_cast<sockaddr*>(&addr), addrLen), 0);
  ASSERT_EQ(getsockname(peer, reinterpret_cast<sockaddr*>(&addr), &addrLen), 0);
  Bytes probe(16);
  std::atomic<bool> searched = false;
  std::thread answer([&] {
    sockaddr_in from{};
    socklen_t fromLen = sizeof(from);
    pollfd p{peer, POLLIN, 0};
    if (poll(&p, 1, 10000) != 1) return;
    probe.resize(static_cast<size_t>(recvfrom(peer, probe.data(), probe.size(), 0,
                                              reinterpret_cast<sockaddr*>(&from), &fromLen)));
    const Bytes reply(128, 'A');
    while (!searched) {
      sendto(peer, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), fromLen);
      std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the peer's pace
    }
  });
  setenv("KEL_BROADCAST_ADDR", "127.0.0.1", 1);
  char list[256];
  EXPECT_EQ(ExecuteBroadCast(ntohs(addr.sin_port), list, sizeof(list), 1), 0);
  searched = true;
  answer.join();
  close(peer);
  EXPECT_EQ(probe, (Bytes{'Z', 'E', 'P', 0}));
  const std::string text = list;
  EXPECT_EQ(text.rfind("127.0.0.1\n", 0), 0u) << text;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text;
}

TEST(NoticeFormat, DiskStatusPairsAreBoundedByTheData) {
  const unsigned char data[] = {9, 3, 0, 5, 2, 7};  // claims 9 pairs, holds 2 and a half
  EXPECT_EQ(FormatNoticeJson(4, data, sizeof(data), 0),
            "{\"time\":\"1970-01-01T00:00:00Z\",\"event\":\"disk-status\",\"kind\":4,\"disks\":["
            "{\"disk\":3,\"smart\":0,\"healthy\":true},{\"disk\":5,\"smart\":2,\"healthy\":false}]}\n");
}

TEST(NoticeFormat, ServicesAsTextAndJson) {
  const std::vector<KelctlService> found = {{"127.0.0.1", "localhost"}};
  EXPECT_EQ(FormatServices(found, false), "127.0.0.1  localhost\n");
  EXPECT_EQ(FormatServices(found, true), "{\"command\":\"discover\",\"ok\":true,\"services\":"
                                         "[{\"address\":\"127.0.0.1\",\"name\":\"localhost\"}]}\n");
  EXPECT_EQ(FormatServices({}, false), "(no service answered)\n");
}

TEST(NoticeFormat, TaskLine) {
  const unsigned char task[16] = {3, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 45, 0, 5, 1};
  EXPECT_EQ(FormatNoticeLine(5, task, 16, 60),
            "1970-01-01T00:01:00Z task: raid5-sync of array 2 running 45% result 0 (started by "
            "the client)\n");
}

// `kelctl events --json` with login on one fake port and notices on another: the probe is
// answered and not printed, then a hot-plug notice and `last` (which ends the run) follow.
struct EventsRun {
  int status = -1;
  std::vector<std::string> lines;
  Bytes echo;
  std::promise<void> printed;  // the first line is out
};

void RunEvents(EventsRun& run, const std::function<void(FakeConn&)>& last) {
  EXPECT_EQ(ZepSockInit(), 0);
  FakeServer command([](FakeConn& conn) {
    conn.SendWelcome();
    Packet p;
    while (conn.Receive(&p, std::chrono::seconds(5)) && p.code == 250)
      conn.Send(250, Reply(p.payload.at(0), 0, Cat({{'5'}, Bytes(19, 0), {0x15}})));
  });
  FakeServer notice([&](FakeConn& conn) {
    Packet p;
    conn.Receive(&p);
    conn.Send(252, {1});
    conn.Send(252, {2});
    if (conn.Receive(&p)) run.echo = p.payload;
    conn.Send(252, {3});
    last(conn);
  });
  std::string out, err;
  run.status = KelctlMain(
      {"--port", std::to_string(command.port), "events", "--json", "--notify-port",
       std::to_string(notice.port), "--timeout", "10"},
      [](const char* name) -> const char* { return strcmp(name, "KEL_PASSWORD") ? nullptr : "pw"; },
      nullptr, &out, &err, [&](const std::string& line) {
        run.lines.push_back(line);
        if (run.lines.size() == 1) run.printed.set_value();
      });
  notice.Join();
}

TEST(KelctlEvents, EndsWithFailureWhenTheSessionIsTakenOver) {
  EventsRun run;
  RunEvents(run, [](FakeConn& conn) { conn.Send(252, {7}); });
  EXPECT_EQ(run.echo, Bytes{2});
  ASSERT_EQ(run.lines.size(), 3u);  // the last is the failure's own object
  EXPECT_NE(run.lines[0].find("\"event\":\"hotplug\""), std::string::npos) << run.lines[0];
  EXPECT_NE(run.lines[1].find("\"event\":\"kicked\""), std::string::npos) << run.lines[1];
  EXPECT_NE(run.lines[2].find("\"ok\":false"), std::string::npos) << run.lines[2];
  EXPECT_EQ(run.status, 1);
}

TEST(KelctlEvents, EndsWithSuccessOnInterrupt) {
  EventsRun run;
  std::future<void> printed = run.printed.get_future();
  RunEvents(run, [&](FakeConn& conn) {
    printed.wait_for(std::chrono::seconds(10));
    raise(SIGINT);
    conn.WaitClosed();
  });
  EXPECT_EQ(run.lines.size(), 1u);
  EXPECT_EQ(run.status, 0);
}

}  // namespace
