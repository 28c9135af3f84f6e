// The configuration-changing RAID commands (codes 2-6, 18) through KelExecuteRaidCmd with
// the engine faked in KelRaidEngine(): return codes, reply lengths, statuses and event-log
// lines; requests refused before the engine; what reaches the engine; and the retry budget
// a command keeps or loses. (The real engine behind them: the lead's process tests.)
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "service/core/srv_private.h"
#include "service/raid/raid_change_handlers.h"
#include "service/raid/raid_dispatch.h"
#include "service/raid/raid_engine_ops.h"
#include "service/session/kel_user_cmd.h"
#include "tests/service/service_test_util.h"

namespace {

using Bytes = std::vector<unsigned char>;

int g_engineRet, g_engineCalls, g_rescans, g_stalePd;
std::string g_args;  // what the last engine call was given

struct Cmd {
  KelUserCmd cmd;
  std::string log = "C";  // the client description the worker prepared

  Cmd(unsigned char code, int len, Bytes head) {
    head.resize(static_cast<size_t>(len));
    std::memcpy(cmd.data, head.data(), head.size());
    cmd.code = code;
    cmd.m_CmdDataLen = static_cast<uint16_t>(len);
    KelCmdInit(&cmd);
    KelSrvPrivate priv;
    kel_test::Captured([&] { KelExecuteRaidCmd(&priv, &cmd, log); });
  }
  std::string Sum() const {
    return std::to_string(cmd.GetRetCode()) + " " + std::to_string(cmd.m_CmdDataLen) + " " +
           std::to_string(cmd.status) + " " + log;
  }
};

// A request: sub-code, count, then references (index, magic 7) at `at`.
Bytes Req(unsigned char sub, unsigned char n, int at, std::vector<unsigned char> indexes) {
  Bytes b(static_cast<size_t>(at + 8 * indexes.size()), 0);
  b[0] = sub, b[1] = n;
  for (size_t i = 0; i < indexes.size(); ++i) b[at + 8 * i] = indexes[i], b[at + 8 * i + 4] = 7;
  return b;
}
Bytes Create(unsigned char kind, unsigned char n) {
  Bytes b = Req(kind, n, 48, {1, 2, 3});
  std::memcpy(b.data() + 24, "vol", 4);
  return b;
}

int Engine(const std::string& args) { return ++g_engineCalls, g_args = args, g_engineRet; }
std::string Ref(_Index_Plus_t r) { return std::to_string(r.nIndex) + "/" + std::to_string(r.wdMagicNum); }

class RaidChanges : public testing::Test {
 protected:
  void SetUp() override {
    g_engineRet = g_engineCalls = g_rescans = 0, g_stalePd = -1;
    KelRaidEngineOps& e = KelRaidEngine();
    e.update_hardware_info = [] { return ++g_rescans, 0; };
    e.get_PD_magicNum = [](int i, uint16_t* m) { return *m = i == g_stalePd ? 8 : 7, 0; };
    e.get_Array_magicNum = [](int i, uint16_t* m) { return *m = i == 40 ? 8 : 7, 0; };
    e.create_mirror_TARVOII = [](int n, const _Index_Plus_t* p, uint32_t lo, uint32_t hi,
                                 const char* name, int b) {
      return Engine(std::to_string(n) + Ref(p[1]) + " " + std::to_string(lo) + ":" +
                    std::to_string(hi) + " " + name + " " + std::to_string(b));
    };
    e.create_raid5_TARVOII = [](int n, const _Index_Plus_t*, uint32_t lo, uint32_t, int stripe,
                                int a, const char* name, int b, int c) {
      return Engine(std::to_string(n) + " " + std::to_string(lo) + " " + std::to_string(stripe) +
                    " " + std::to_string(a) + " " + name + " " + std::to_string(b) + std::to_string(c));
    };
    e.get_array_create_info_by_pds = [](int n, const _Index_Plus_t*, int type, int mode,
                                        _Array_Create_Info_t* r) {
      r->nMinArraySize = 10, r->nMaxArraySize = 5000;
      return Engine(std::to_string(n) + " " + std::to_string(type) + " " + std::to_string(mode));
    };
    e.remove_raid_TARVOII = [](int n, const _Index_Plus_t* a, int* results) {
      results[0] = 0;  // the second array's slot is left unwritten
      return Engine(std::to_string(n) + Ref(a[1]));
    };
    e.repair_broken_raid01_TARVOII = [](_Index_Plus_t a, int n, const _Index_Plus_t* d) {
      return Engine(Ref(a) + " " + std::to_string(n) + Ref(d[n - 1]));
    };
    e.repair_mirror_with_new_disk_TARVOII = [](_Index_Plus_t a, _Index_Plus_t d) {
      return Engine(Ref(a) + Ref(d));
    };
    e.mirror_add_spare_TARVOII = [](_Index_Plus_t a, _Index_Plus_t d) { return Engine(Ref(a) + Ref(d)); };
    e.mirror_remove_spare_TARVOII = [](_Index_Plus_t a) { return Engine(Ref(a)); };
    e.clear_PD_Conf = [](int n, const _Index_Plus_t* d) { return Engine(std::to_string(n) + Ref(d[n - 1])); };
  }
  void TearDown() override { KelRaidEngine() = KelRaidEngineOps{}; }
};

TEST_F(RaidChanges, ResultsLogLinesAndWhatReachesTheEngine) {
  Bytes raid5 = Create(5, 3);
  raid5[2] = 1, raid5[3] = 1, raid5[8] = 64, raid5[12] = 2, raid5[16] = 0x00, raid5[17] = 0x10;
  Bytes big = Create(3, 2);
  big[20] = 1;  // 2^32 MiB: the high half
  Bytes sizeQuery = Req(6, 2, 48, {1, 2});
  sizeQuery[24] = 9, sizeQuery[2] = 1;
  const struct { unsigned char code; int len; Bytes req; int engine; std::string sum, args; } cases[] = {
      {2, 112, big, 0, "0 117 0 INFO~C create raid1 succeed", "22/7 0:1 vol 0"},
      {2, 112, raid5, 208, "208 117 2 WARNING~C create raid5 failed", "3 4096 64 2 vol 11"},
      {2, 112, sizeQuery, 0, "0 117 0 ", "2 9 1"},
      {2, 112, Create(9, 1), 0, "1 117 2 WARNING~received invalid create cmd for client", ""},
      {3, 392, Req(0, 2, 8, {3, 4}), 217, "217 397 2 ERROR~C remove raid failed", "24/7"},
      {3, 392, Req(0, 2, 8, {3, 4}), 0, "0 397 0 INFO~C remove raid succeed", "24/7"},
      {3, 392, Req(0, 2, 8, {3, 40}), 0, "2 392 1 ERROR~C remove raid failed", ""},
      {4, 48, Req(3, 2, 8, {5, 1, 2}), 0, "0 48 0 INFO~C repair raid01 succeed", "5/7 22/7"},
      {4, 48, Req(2, 1, 8, {5, 6}), 400, "400 48 2 WARNING~C repair raid1 with new HD failed", "5/76/7"},
      {4, 48, Req(7, 0, 8, {5}), 0, "1 48 2 WARNING~C repair failed, undefined command!", ""},
      {4, 48, Req(3, 1, 8, {40, 1}), 0, "2 48 1 ERROR~C repair raid failed", ""},
      {5, 24, Req(0, 0, 8, {5, 6}), 206, "206 24 2 ERROR~C add spare failed", "5/76/7"},
      {5, 24, Req(0, 0, 8, {40, 6}), 0, "2 24 1 ERROR~C add spare failed", ""},
      {6, 16, Req(0, 0, 8, {5}), 0, "0 16 0 INFO~C remove spare succeed", "5/7"},
      {18, 136, Req(0, 2, 8, {3, 4}), 0, "0 5 0 INFO~C clear disk configuration succeed", "24/7"},
      {18, 136, Req(0, 2, 8, {3, 4}), 900, "900 5 2 ERROR~C clear disk configuration failed", "24/7"}};
  for (const auto& k : cases) {
    g_engineRet = k.engine, g_engineCalls = g_rescans = 0, g_args.clear();
    Cmd r(k.code, k.len, k.req);
    EXPECT_EQ(r.Sum(), k.sum) << int(k.code) << " " << k.args;
    EXPECT_EQ(g_args, k.args) << int(k.code) << " " << k.sum;
    // Only changes that ran rescan, and a size query changes nothing.
    const bool changed = (k.code == 2 || k.code == 3 || k.code == 18) && !k.args.empty();
    EXPECT_EQ(g_rescans, changed && k.req[0] != 6 ? 1 : 0) << int(k.code) << " " << k.sum;
    if (k.req[0] == 6) {
      EXPECT_EQ(r.cmd.data[5 + 41], 5000 >> 8);  // the range, moved up
    }
  }
}

TEST_F(RaidChanges, AStaleDiskIsRefusedBeforeTheEngineWithoutRescan) {
  g_stalePd = 3;
  EXPECT_EQ(Cmd(2, 112, Create(3, 3)).Sum(), "2 112 1 ERROR~C create raid failed");
  EXPECT_EQ(Cmd(18, 136, Req(0, 2, 8, {1, 3})).Sum(), "2 5 1 ERROR~C clear disk configuration failed");
  EXPECT_EQ(Cmd(4, 48, Req(3, 2, 8, {5, 3, 1})).Sum(), "2 48 1 ERROR~C repair raid failed");
  EXPECT_EQ(g_engineCalls + g_rescans, 0);
}

// Counts beyond the request's slots, names without terminator and short requests never
// reach the engine, nor a magic check.
TEST_F(RaidChanges, MalformedRequestsAre201BeforeAnySlotIsRead) {
  Bytes unterminated = Create(3, 2);
  std::memset(unterminated.data() + 24, 'x', 24);
  KelRaidEngine().get_PD_magicNum = [](int, uint16_t*) { return ++g_engineCalls, 0; };
  KelRaidEngine().get_Array_magicNum = [](int, uint16_t*) { return ++g_engineCalls, 0; };
  const struct { unsigned char code; int len; Bytes req; std::string log; } cases[] = {
      {2, 112, Create(3, 9), "ERROR~C create raid failed"},
      {2, 112, unterminated, "ERROR~C create raid failed"},
      {3, 392, Req(0, 33, 8, {}), "ERROR~C remove raid failed"},
      {4, 48, Req(3, 5, 8, {}), "ERROR~C repair raid failed"},
      {18, 136, Req(0, 17, 8, {}), "ERROR~C clear disk configuration failed"},
      {18, 136, Req(0, 0, 8, {}), "ERROR~C clear disk configuration failed"},
      {2, 111, Create(3, 2), "ERROR~C create raid failed"},
      {3, 391, {}, "ERROR~C remove raid failed"},
      {4, 47, {}, "ERROR~C repair raid failed"},
      {5, 23, {}, "ERROR~C add spare failed"},
      {6, 15, {}, "ERROR~C remove spare failed"},
      {18, 135, {}, "ERROR~C clear disk configuration failed"}};
  for (const auto& k : cases)
    EXPECT_EQ(Cmd(k.code, k.len, k.req).Sum(), "201 5 2 " + k.log) << int(k.code) << "/" << k.len;
  EXPECT_EQ(g_engineCalls + g_rescans, 0);
}

TEST_F(RaidChanges, ARemovalSlotTheEngineLeavesUnwrittenNeverReadsAsSuccess) {
  Cmd r(3, 392, Req(0, 2, 8, {3, 4}));
  int32_t slots[2];
  std::memcpy(slots, r.cmd.data + 5 + 264, sizeof slots);
  EXPECT_TRUE(slots[0] == 0 && slots[1] == 201) << slots[0] << " " << slots[1];
}

// Once the engine has acted the command keeps no retry; a refusal before it keeps its one.
TEST_F(RaidChanges, OnlyCommandsRefusedBeforeTheEngineKeepTheirRetry) {
  g_engineRet = 900;
  EXPECT_EQ(Cmd(2, 112, Create(3, 2)).cmd.retriesLeft, 0);
  EXPECT_EQ(Cmd(18, 136, Req(0, 1, 8, {1})).cmd.retriesLeft, 0);
  EXPECT_EQ(Cmd(6, 15, {}).cmd.retriesLeft, 1);
  EXPECT_EQ(g_engineCalls, 2);
}

}  // namespace
