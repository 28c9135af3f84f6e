// The RAID handlers through KelExecuteRaidCmd, for what the process tests (which decode
// every reply of the real service) cannot reach cheaply: the operation lock, short
// requests answered 201 without touching what the client did not send (in the sanitizer
// build the data area beyond the request is poisoned), a stopped engine, and rare engine
// answers forced through KelRaidEngine(). (Codes without a handler: cmd_pipeline_test and
// tests/process/protocol_test.cc.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "service/core/srv_private.h"
#include "service/raid/raid_dispatch.h"
#include "service/raid/raid_engine_ops.h"
#include "service/raid/raid_handlers.h"
#include "service/raid/raid_magic.h"
#include "service/raid/vd_info_cvt.h"
#include "service/session/kel_client_hash.h"
#include "service/session/kel_user_cmd.h"
#include "tests/service/service_test_util.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#else
#define ASAN_POISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#define ASAN_UNPOISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#endif

namespace {

constexpr unsigned char kCanary = 0xA5;

// One command as a connection thread hands it over: the request, then canary bytes.
struct Cmd {
  std::unique_ptr<KelUserCmd> cmd = std::make_unique<KelUserCmd>();
  std::string out;  // diagnostics printed while it ran

  Cmd(unsigned char code, int len, std::vector<unsigned char> head) {
    head.resize(static_cast<size_t>(len), 0);
    std::memset(cmd->data, kCanary, sizeof cmd->data);
    std::memcpy(cmd->data, head.data(), head.size());
    cmd->code = code;
    cmd->m_CmdDataLen = static_cast<uint16_t>(len);
  }
  // Runs it with the data area past the reply room unaddressable: by default the request
  // moved five bytes up, which is all a handler may read or write.
  Cmd& Run(size_t replyRoom = 0, KelSrvPrivate* priv = nullptr) {
    size_t open = std::min(replyRoom != 0 ? replyRoom : cmd->m_CmdDataLen + 5u, sizeof cmd->data);
    ASAN_POISON_MEMORY_REGION(cmd->data + open, sizeof cmd->data - open);
    KelSrvPrivate bare;
    std::string logText = "Client <u> from <a>";
    out = kel_test::Captured([&] { KelExecuteRaidCmd(priv ? priv : &bare, cmd.get(), logText); });
    ASAN_UNPOISON_MEMORY_REGION(cmd->data + open, sizeof cmd->data - open);
    EXPECT_EQ(logText, "");  // queries log nothing
    return *this;
  }
  int Ret() const { return cmd->GetRetCode(); }
  int Len() const { return cmd->m_CmdDataLen; }
  // Return code, reply length and status in one text, to compare with Reply().
  std::string Sum() const { return Reply(Ret(), Len(), cmd->status); }
  static std::string Reply(int ret, int len, int status) {
    return "ret " + std::to_string(ret) + " len " + std::to_string(len) + " status " + std::to_string(status);
  }
  uint32_t Le32(int at) const {
    return cmd->data[at] | cmd->data[at + 1] << 8 | cmd->data[at + 2] << 16 | uint32_t(cmd->data[at + 3]) << 24;
  }
  bool Says(const std::string& text) const { return out.find(text) != std::string::npos; }
};

// Scripted engine answers; the fixture resets them.
int g_rescans, g_calls, g_protectNum, g_reloadFlag;
std::string g_user, g_passwd;

class RaidHandlers : public testing::Test {
 protected:
  void SetUp() override {
    g_rescans = g_calls = g_protectNum = g_reloadFlag = 0;
    KelRaidEngine().update_hardware_info = [] { return ++g_rescans, 0; };
  }
  void TearDown() override { KelRaidEngine() = KelRaidEngineOps{}; }
};

bool g_writerWouldWait, g_sameThreadReads;
int LockProbe(KelSrvPrivate*, KelUserCmd* cmd, std::string& logText) {
  logText.clear();
  std::thread([] {
    bool got = gRaidOpRWLock.WLock_Timeout(0);
    if (got) gRaidOpRWLock.WUnlock();
    g_writerWouldWait = !got;
  }).join();
  if (cmd->code != KEL_CMD_CREATE_RAID) return 0;
  g_sameThreadReads = gRaidOpRWLock.RLock();  // a second reader joins a shared hold
  if (g_sameThreadReads) gRaidOpRWLock.RUnlock();
  return 0;
}

TEST(RaidDispatch, CreationHoldsTheOperationLockSharedRemovalExclusivelyOthersNot) {
  const struct { unsigned char code; bool writerWaits; } cases[] = {
      {KEL_CMD_CREATE_RAID, true}, {KEL_CMD_REMOVE_RAID, true}, {KEL_CMD_REPAIR_RAID, false}};
  for (const auto& k : cases) {
    KelSetRaidHandler(k.code, LockProbe);
    Cmd(k.code, 48, {}).Run();
    EXPECT_EQ(g_writerWouldWait, k.writerWaits) << int(k.code);
    KelSetRaidHandler(k.code, nullptr);
  }
  EXPECT_TRUE(g_sameThreadReads);
}

// The request lengths the queries read (one byte less must be refused untouched) and a
// sub-code that reaches the engine.
const struct { unsigned char code; int len; unsigned char sub; } kQueries[] = {
    {KEL_CMD_GET_CONTROLLER, 92, 2}, {KEL_CMD_GET_CHANNEL, 32, 1},   {KEL_CMD_GET_HUB, 52, 1},
    {KEL_CMD_GET_DEVICE, 296, 2},    {KEL_CMD_GET_ARRAY, 120, 3},    {KEL_CMD_GET_VD, 64, 3},
    {KEL_CMD_GET_PARTITION, 172, 0}, {KEL_CMD_RELOAD_DRIVER, 44, 0}, {KEL_CMD_SMART, 12, 5},
    {KEL_CMD_GET_PROTECT, 4, 17}};

TEST_F(RaidHandlers, ShortRequestsAreRefusedWithoutTouchingWhatTheClientDidNotSend) {
  for (const auto& q : kQueries) {
    for (int len : {0, 1, q.len - 1}) {
      Cmd c(q.code, len, {2, 0, 0, 0});
      EXPECT_EQ(c.Run().Sum(), Cmd::Reply(201, 5, KEL_CMD_FAILED)) << int(q.code) << "/" << len;
      for (int i = std::max(5, len); i < kCmdDataSize; ++i)
        ASSERT_EQ(c.cmd->data[i], kCanary) << int(q.code) << " wrote byte " << i;
    }
  }
  EXPECT_EQ(g_rescans, 0);
  EXPECT_EQ(Cmd(KEL_CMD_GET_CHANNEL, 2000, {1, 0, 1}).Run().Len(), 37);  // longer: record only
}

// The size field must describe bytes the client sent and fit a reply; bad health (803) of the
// execute sub-code is an answer, not a failure.
TEST_F(RaidHandlers, SmartSizeMustDescribeBytesTheClientSentAndBadHealthIsAnAnswer) {
  KelRaidEngine().get_PD_magicNum = [](int, uint16_t* m) { return *m = 0, 0; };
  KelRaidEngine().exec_SMART = [] { return 803; };
  const std::string refused = Cmd::Reply(201, 5, KEL_CMD_FAILED);
  const struct { int len; std::vector<unsigned char> head; std::string sum; } cases[] = {
      {112, {2, 0, 0x00, 0x02}, refused},          // declares 512 bytes of data part, sends 100
      {112, {3, 0, 100, 0}, refused},              // a read sub-code with less than a SMART page
      {kCmdDataSize, {2, 0, 0x04, 0x08}, refused},  // all sent, but 2052 + 12 would not fit a reply
      {12, {5}, Cmd::Reply(803, 17, KEL_CMD_OK)}};
  for (const auto& k : cases) EXPECT_EQ(Cmd(KEL_CMD_SMART, k.len, k.head).Run().Sum(), k.sum) << k.len;
}

TEST_F(RaidHandlers, WithTheEngineStoppedEveryQueryPassesOn100) {
  KelRaidEngine() = KelRaidEngineOps{};  // the facade as linked, never started here
  for (const auto& q : kQueries) {
    // The partition query's magic check fails first (below); a reload is not tried here,
    // so no module tool of this host can ever be reached.
    if (q.code == KEL_CMD_GET_PARTITION || q.code == KEL_CMD_RELOAD_DRIVER) continue;
    EXPECT_EQ(Cmd(q.code, q.len, {q.sub, 0}).Run().Ret(), 100) << int(q.code);
  }
  EXPECT_EQ(Cmd(KEL_CMD_UPDATE_HARDWARE, 4, {}).Run().Ret(), 100);
  Cmd part(KEL_CMD_GET_PARTITION, 172, {0, 0, 0, 0, 3});
  EXPECT_EQ(part.Run().Sum(), Cmd::Reply(2, 172, KEL_CMD_REFUSED));
  EXPECT_TRUE(part.Says("Check magic failed"));
}

// Unknown sub-codes answer 1002 with the record moved up and the sub-code left for the
// client to match; maps read as one little-endian word of bits per 32 slots. No rescan.
TEST_F(RaidHandlers, UnknownSubCodesAnswer1002AndMapsReadAsLittleEndianBitWords) {
  for (const auto& q : {kQueries[0], kQueries[3], kQueries[4], kQueries[5]}) {
    Cmd c(q.code, q.len, {9, 1, 2, 3, 0x11, 0x22});
    EXPECT_EQ(c.Run().Sum(), Cmd::Reply(1002, q.len + 5, KEL_CMD_FAILED)) << int(q.code);
    EXPECT_TRUE(c.cmd->data[0] == 9 && c.cmd->data[5] == 9 && c.cmd->data[6] == 1) << int(q.code);
  }
  KelRaidEngine().get_array_num_TARVOII = [](_Kel_Index_Map* m) {
    m->map_Low64 = 1ull | 1ull << 33;  // arrays 0 and 33
    m->map_High64 = 1ull << 1;         // array 65
    return 0;
  };
  Cmd c(KEL_CMD_GET_ARRAY, 120, {1});
  EXPECT_EQ((std::vector<uint32_t>{c.Run().Le32(9), c.Le32(13), c.Le32(17), c.Le32(21)}),
            (std::vector<uint32_t>{1, 2, 2, 0}));
  EXPECT_EQ(g_rescans, 0);
}

// A first query may come before the first scan found anything: empty or failed answers
// bring a rescan, the maps and the sorted list one more try.
TEST_F(RaidHandlers, EmptyOrFailedAnswersBringARescanAndMapsAndListsASecondTry) {
  KelRaidEngine().get_controller_num = [](int* n) { return *n = 0, 0; };
  KelRaidEngine().get_controller_info = [](int, _zr_controller_info*) { return 200; };
  Cmd count(KEL_CMD_GET_CONTROLLER, 92, {1, 0x7F});
  EXPECT_EQ(count.Run().Sum(), Cmd::Reply(0, 97, KEL_CMD_OK));
  EXPECT_EQ(count.cmd->data[6], 0);  // data[1] of the request, moved up
  EXPECT_EQ(Cmd(KEL_CMD_GET_CONTROLLER, 92, {2, 5}).Run().Sum(), Cmd::Reply(200, 97, KEL_CMD_FAILED));
  EXPECT_EQ(g_rescans, 2);

  g_rescans = 0;  // maps: a failed, then an empty answer
  KelRaidEngine().get_device_num_TARVOII = [](_Kel_Index_Map* m) {
    return m->map_Low64 = 0, g_calls++ == 0 ? 900 : 0;
  };
  EXPECT_EQ(Cmd(KEL_CMD_GET_DEVICE, 296, {1}).Run().Sum(), Cmd::Reply(0, 301, KEL_CMD_OK));
  EXPECT_TRUE(g_calls == 2 && g_rescans == 2) << g_calls << " " << g_rescans;

  g_calls = g_rescans = 0;
  KelRaidEngine().get_sorted_array_index = [](int* n, unsigned char* out) {
    return ++g_calls, std::memset(out, 255, 32), *n = 0, 0;
  };
  Cmd none(KEL_CMD_GET_ARRAY, 120, {2, 0, 0, 0, 77});
  EXPECT_EQ(none.Run().Sum(), Cmd::Reply(0, 125, KEL_CMD_OK));
  EXPECT_EQ(none.cmd->data[9], 0);  // the count
  EXPECT_TRUE(g_calls == 2 && g_rescans == 2) << g_calls << " " << g_rescans;
  EXPECT_EQ(kel_test::Count(none.out, "!!!!!Invalid data got from UILib"), 2);
}

TEST_F(RaidHandlers, MagicChecksPassIndex255AndReportAMismatch) {
  KelRaidEngine().get_PD_magicNum = [](int, uint16_t* m) { return ++g_calls, *m = 7, 0; };
  KelRaidEngine().get_Array_magicNum = [](int, uint16_t*) { return ++g_calls, 200; };
  std::string out = kel_test::Captured([] {
    EXPECT_TRUE(CheckPDMagic(255, 1) && CheckArrayMagic(255, 1) && g_calls == 0);
    EXPECT_TRUE(CheckPDMagic(3, 7));
    EXPECT_FALSE(CheckPDMagic(3, 9));
    EXPECT_FALSE(CheckArrayMagic(4, 0));  // the engine cannot tell: not current
  });
  EXPECT_EQ(kel_test::Count(out, "dismatch") + kel_test::Count(out, "dismatch: Server[7], UILib[9]\n"), 2) << out;
}

// The process tests check every carried field of a VD; here: what they cannot set up.
TEST_F(RaidHandlers, VdRecordsConvertBothWaysKeepingWhatIsNotCarried) {
  KelRaidEngine().get_vd_info_by_array_pos = [](int, int, _zr_vd_info* v) {
    // What the client sent, the master byte zero-extended.
    EXPECT_TRUE(v->Capacity == 0xFFFFFFFFFFFFFFFFull && v->pad49 == 0 && v->master == 0xFFu);
    std::memset(v->VDName, 'n', sizeof v->VDName);  // a name filling all 24 bytes
    v->status = 0xBEEF, v->master = 0x101;          // only the low byte of master travels
    return 0;
  };
  std::vector<unsigned char> req(4 + sizeof(KelVDInfo), 0xFF);  // unused31 at 4 + 31 too
  req[0] = 4;
  Cmd c(KEL_CMD_GET_VD, 64, req);
  ASSERT_EQ(c.Run().Len(), 69);
  KelVDInfo back;
  std::memcpy(&back, c.cmd->data + 9, sizeof back);
  EXPECT_EQ(std::string(back.VDName, 24), std::string(24, 'n'));
  EXPECT_TRUE(back.Status() == 0xBEEF && back.master == 1 && back.unused31 == 0xFF);
}

TEST_F(RaidHandlers, ProtectedAreasFitOneReplyUpTo127AndStayOutFrom128) {
  KelRaidEngine().get_device_info = [](int, _zr_device_info* d) { return d->freeProtectNum = g_protectNum, 0; };
  KelRaidEngine().get_protect_free_info_by_pd = [](int, _zr_protect_free_info_t** t) {
    for (int i = 0; i < g_protectNum; ++i) t[i]->startSector = 1000u * (i + 1), t[i]->length = 8;
    return 0;
  };
  for (int n : {127, 128}) {
    g_protectNum = n;
    Cmd c(KEL_CMD_GET_PROTECT, 4, {17, 2});
    EXPECT_EQ(c.Run(9 + n * 16).Sum(), Cmd::Reply(0, n == 127 ? 9 + 127 * 16 : 5, KEL_CMD_OK));
    EXPECT_EQ(c.cmd->data[7], n == 127 ? 127 : kCanary);  // the count, moved up with a record
    EXPECT_EQ(c.Le32(9 + 126 * 16), n == 127 ? 127000u : 0xA5A5A5A5u);
    EXPECT_EQ(c.Says("Too many protected area. Beyond the capacity of one packet"), n == 128);
  }
}

TEST_F(RaidHandlers, ReloadIsAnAdministratorsAndPassesAtMostTwentyBytesOfEachText) {
  KelRaidEngine().reload_driver = [](int flag, const char* user, const char* passwd) {
    return g_reloadFlag = flag, g_user = user, g_passwd = passwd, 7;
  };
  KelSrvPrivate priv;
  KelClientHash hash{&priv};
  priv.pClientHash = &hash;
  for (auto [id, rights] : {std::pair{1, 0x6u}, std::pair{2, 0xEu}}) {  // guest, admin
    auto* client = new KelClient();
    client->pRemoteClient = new KelRemoteClient(id, nullptr);
    client->pRemoteClient->accountInfo = {"u", "p", rights};
    kel_test::Captured([&] {
      hash.w_lock(__FILE__, __LINE__);
      EXPECT_TRUE(hash.Insert(client));
      hash.w_unlock(__FILE__, __LINE__);
    });
  }
  std::vector<unsigned char> req = {15, 1, 0, 0};
  req.resize(24, 'u');  // no terminator within the field
  req.resize(44, 'p');  // runs to the end of the request
  for (int id : {1, 3, 2}) {  // a guest, a session that is gone, an administrator
    Cmd c(KEL_CMD_RELOAD_DRIVER, 44, req);
    c.cmd->clientID = id;
    EXPECT_EQ(c.Run(0, &priv).Sum(), Cmd::Reply(id == 2 ? 7 : 201, 5, KEL_CMD_FAILED)) << id;
  }
  EXPECT_EQ(std::to_string(g_reloadFlag) + g_user + g_passwd, "1" + std::string(20, 'u') + std::string(20, 'p'));
}

}  // namespace
