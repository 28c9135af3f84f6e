// The RAID query handlers through KelExecuteRaidCmd: refusal of unknown codes, short and
// oversized requests (in the sanitizer build the data area beyond the request is poisoned,
// so any read or write there stops the test), the reply layout of each query, the retry
// and rescan rules, magic checks, the VD record conversion and the driver-reload strings.
// Detailed cases swap single engine entries (KelRaidEngine()); the rest run against the
// facade as linked, which answers 100 while the engine is not started.
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
#include "service/session/kel_user_cmd.h"

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
  std::string out;   // diagnostics printed while it ran
  bool ok = false;   // KelExecuteRaidCmd's answer

  Cmd(unsigned char code, std::vector<unsigned char> request) {
    std::memset(cmd->data, kCanary, sizeof cmd->data);
    std::memcpy(cmd->data, request.data(), request.size());
    cmd->code = code;
    cmd->m_CmdDataLen = static_cast<uint16_t>(request.size());
  }
  // Runs it with the data area past the reply room unaddressable: by default the request
  // moved five bytes up, which is all a handler may read or write.
  Cmd& Run(size_t replyRoom = 0) {
    size_t open = replyRoom != 0 ? replyRoom : cmd->m_CmdDataLen + 5u;
    if (open > sizeof cmd->data) open = sizeof cmd->data;
    ASAN_POISON_MEMORY_REGION(cmd->data + open, sizeof cmd->data - open);
    KelSrvPrivate priv;
    std::string logText = "Client <u> from <a>";
    testing::internal::CaptureStdout();
    ok = KelExecuteRaidCmd(&priv, cmd.get(), logText);
    out = testing::internal::GetCapturedStdout();
    ASAN_UNPOISON_MEMORY_REGION(cmd->data + open, sizeof cmd->data - open);
    EXPECT_EQ(logText, "");  // queries log nothing
    return *this;
  }
  int Ret() const { return cmd->GetRetCode(); }
  int Len() const { return cmd->m_CmdDataLen; }
  uint32_t Le32(int at) const {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(cmd->data[at + i]) << (8 * i);
    return v;
  }
  bool Says(const std::string& text) const { return out.find(text) != std::string::npos; }
};

std::vector<unsigned char> Request(int len, std::vector<unsigned char> head) {
  head.resize(static_cast<size_t>(len), 0);
  return head;
}

// Scripted engine answers; the tests reset them through the fixture.
int g_rescans;
int g_calls;
std::vector<int> g_results;  // successive results of the scripted entry, last one repeats
_Kel_Index_Map g_map;
int g_sortedCount;
uint16_t g_magic;
int g_protectNum;
std::string g_user, g_passwd;
int g_reloadFlag;

int Next() {
  int i = g_calls++;
  return g_results.empty() ? 0 : g_results[std::min<size_t>(i, g_results.size() - 1)];
}

class RaidHandlers : public testing::Test {
 protected:
  void SetUp() override {
    g_rescans = g_calls = g_sortedCount = g_protectNum = g_reloadFlag = 0;
    g_results.clear();
    g_map = {};
    g_magic = 0;
    KelRaidEngine().update_hardware_info = [] { return ++g_rescans, 0; };
  }
  void TearDown() override { KelRaidEngine() = KelRaidEngineOps{}; }
};

TEST(RaidDispatch, CodesWithoutHandlerAreRefusedWithAFiveByteReply) {
  for (int code : {0, 1, 2, 3, 4, 5, 6, 18, 99, 250}) {
    Cmd c(static_cast<unsigned char>(code), Request(120, {1}));
    c.Run();
    EXPECT_FALSE(c.ok) << code;
    EXPECT_EQ(c.cmd->status, KEL_CMD_REFUSED) << code;
    EXPECT_EQ(c.Len(), 5) << code;
    EXPECT_EQ(c.Ret(), 1) << code;
    EXPECT_TRUE(c.Says("Invalid command code " + std::to_string(code) + "\n")) << c.out;
  }
}

TEST(RaidDispatch, NullArgumentsAreReportedAndANullCommandIsNotTouched) {
  KelSrvPrivate priv;
  std::string logText;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(KelExecuteRaidCmd(&priv, nullptr, logText));
  EXPECT_NE(testing::internal::GetCapturedStdout().find("pCmd != NULL"), std::string::npos);

  Cmd c(KEL_CMD_UPDATE_HARDWARE, Request(4, {}));
  testing::internal::CaptureStdout();
  KelExecuteRaidCmd(nullptr, c.cmd.get(), logText);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("priv != NULL"), std::string::npos);
  EXPECT_EQ(c.Len(), 5);  // and the command still ran
}

int g_handlerResult;
int ScriptedHandler(KelSrvPrivate*, KelUserCmd*, std::string& logText) {
  logText.clear();
  return g_handlerResult;
}

TEST(RaidDispatch, HandlerResultsBecomeStatuses) {
  KelSetRaidHandler(KEL_CMD_SMR, ScriptedHandler);
  const struct { int result; uint8_t status; } cases[] = {
      {0, KEL_CMD_OK}, {1112, KEL_CMD_OK}, {2, KEL_CMD_REFUSED}, {201, KEL_CMD_FAILED},
      {100, KEL_CMD_FAILED}};
  for (const auto& k : cases) {
    g_handlerResult = k.result;
    Cmd c(KEL_CMD_SMR, Request(16, {7}));
    c.Run();
    EXPECT_EQ(c.cmd->status, k.status) << k.result;
    EXPECT_EQ(c.ok, k.status == KEL_CMD_OK);
    EXPECT_EQ(c.Says("cmd[1]-task[7] tries to operated on has changed"), k.result == 2);
  }
  KelSetRaidHandler(KEL_CMD_SMR, nullptr);
}

bool g_writerWouldWait, g_sameThreadReads;
int LockProbe(KelSrvPrivate*, KelUserCmd*, std::string& logText) {
  logText.clear();
  std::thread([] {
    bool got = gRaidOpRWLock.WLock_Timeout(0);
    if (got) gRaidOpRWLock.WUnlock();
    g_writerWouldWait = !got;
  }).join();
  g_sameThreadReads = false;
  return 0;
}
int SharedProbe(KelSrvPrivate* p, KelUserCmd* c, std::string& t) {
  LockProbe(p, c, t);
  g_sameThreadReads = gRaidOpRWLock.RLock();  // a second reader joins a shared hold
  if (g_sameThreadReads) gRaidOpRWLock.RUnlock();
  return 0;
}

TEST(RaidDispatch, CreationHoldsTheOperationLockSharedRemovalExclusivelyOthersNot) {
  KelSetRaidHandler(KEL_CMD_CREATE_RAID, SharedProbe);
  KelSetRaidHandler(KEL_CMD_REMOVE_RAID, LockProbe);
  KelSetRaidHandler(KEL_CMD_REPAIR_RAID, LockProbe);
  Cmd create(KEL_CMD_CREATE_RAID, Request(112, {}));
  create.Run();
  EXPECT_TRUE(g_writerWouldWait);
  EXPECT_TRUE(g_sameThreadReads);
  Cmd remove(KEL_CMD_REMOVE_RAID, Request(392, {}));
  remove.Run();
  EXPECT_TRUE(g_writerWouldWait);
  Cmd repair(KEL_CMD_REPAIR_RAID, Request(48, {}));
  repair.Run();
  EXPECT_FALSE(g_writerWouldWait);
  for (unsigned char code : {KEL_CMD_CREATE_RAID, KEL_CMD_REMOVE_RAID, KEL_CMD_REPAIR_RAID})
    KelSetRaidHandler(code, nullptr);
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
      Cmd c(q.code, Request(len, {2, 0, 0, 0}));
      c.Run();
      EXPECT_EQ(c.Ret(), 201) << int(q.code) << "/" << len;
      EXPECT_EQ(c.Len(), 5);
      EXPECT_EQ(c.cmd->status, KEL_CMD_FAILED);
      for (int i = std::max(5, len); i < kCmdDataSize; ++i) {
        ASSERT_EQ(c.cmd->data[i], kCanary) << int(q.code) << " wrote byte " << i;
      }
    }
  }
  EXPECT_EQ(g_rescans, 0);
}

TEST_F(RaidHandlers, LongerRequestsAnswerWithTheRecordLengthOnly) {
  Cmd c(KEL_CMD_GET_CHANNEL, Request(2000, {1, 0, 1}));
  c.Run();
  EXPECT_EQ(c.Len(), 37);
}

TEST_F(RaidHandlers, SmartSizeMustDescribeBytesTheClientSentAndFitTheReply) {
  KelRaidEngine().get_PD_magicNum = [](int, uint16_t* m) { return *m = 0, 0; };
  // Declares 512 bytes of data part but sends 100.
  Cmd shortData(KEL_CMD_SMART, Request(112, {2, 0, 0x00, 0x02}));
  shortData.Run();
  EXPECT_EQ(shortData.Ret(), 201);
  EXPECT_EQ(shortData.Len(), 5);
  // A read sub-code with a data part smaller than a SMART page.
  Cmd smallPage(KEL_CMD_SMART, Request(112, {3, 0, 100, 0}));
  smallPage.Run();
  EXPECT_EQ(smallPage.Ret(), 201);
  // Everything sent, but the reply would not fit the data area.
  Cmd huge(KEL_CMD_SMART, Request(kCmdDataSize, {2, 0, 0x04, 0x08}));  // 2052 + 12
  huge.Run();
  EXPECT_EQ(huge.Ret(), 201);
  EXPECT_EQ(huge.Len(), 5);
}

TEST_F(RaidHandlers, WithTheEngineStoppedEveryQueryPassesOn100) {
  KelRaidEngine() = KelRaidEngineOps{};  // the facade as linked, never started here
  for (const auto& q : kQueries) {
    // The partition query's magic check fails first (below); a reload is not tried here,
    // so no module tool of this host can ever be reached.
    if (q.code == KEL_CMD_GET_PARTITION || q.code == KEL_CMD_RELOAD_DRIVER) continue;
    Cmd c(q.code, Request(q.len, {q.sub, 0}));
    c.Run();
    EXPECT_EQ(c.Ret(), 100) << int(q.code);
    EXPECT_EQ(c.cmd->status, KEL_CMD_FAILED);
  }
  Cmd rescan(KEL_CMD_UPDATE_HARDWARE, Request(4, {}));
  EXPECT_EQ(rescan.Run().Ret(), 100);
  Cmd part(KEL_CMD_GET_PARTITION, Request(172, {0, 0, 0, 0, 3}));
  part.Run();
  EXPECT_EQ(part.Ret(), 2);
  EXPECT_EQ(part.cmd->status, KEL_CMD_REFUSED);
  EXPECT_TRUE(part.Says("Check magic failed"));
}

TEST_F(RaidHandlers, UnknownSubCodesAnswer1002WithTheRecordMovedUp) {
  for (const auto& q : {kQueries[0], kQueries[3], kQueries[4], kQueries[5]}) {
    Cmd c(q.code, Request(q.len, {9, 1, 2, 3, 0x11, 0x22}));
    c.Run();
    EXPECT_EQ(c.Ret(), 1002) << int(q.code);
    EXPECT_EQ(c.Len(), q.len + 5);
    EXPECT_EQ(c.cmd->data[0], 9);  // the sub-code stays for the client to match
    EXPECT_EQ(c.cmd->data[5], 9);
    EXPECT_EQ(c.cmd->data[6], 1);
  }
  EXPECT_EQ(g_rescans, 0);
}

TEST_F(RaidHandlers, ControllerCountOfZeroTriggersARescanButIsAnswered) {
  KelRaidEngine().get_controller_num = [](int* n) { return *n = 0, 0; };
  Cmd c(KEL_CMD_GET_CONTROLLER, Request(92, {1, 0x7F}));
  c.Run();
  EXPECT_EQ(c.Ret(), 0);
  EXPECT_EQ(c.cmd->data[6], 0);  // data[1] of the request, moved up
  EXPECT_EQ(g_rescans, 1);
  KelRaidEngine().get_controller_info = [](int ctrl, _zr_controller_info* i) {
    i->index = static_cast<uint32_t>(ctrl);
    i->deviceID = 0x3515;
    return 0;
  };
  Cmd info(KEL_CMD_GET_CONTROLLER, Request(92, {2, 0}));
  info.Run();
  EXPECT_EQ(info.Le32(9), 0x3515u);
  EXPECT_EQ(info.Len(), 97);
  EXPECT_EQ(g_rescans, 1);
}

TEST_F(RaidHandlers, MapsReadAsOneLittleEndianWordOfBitsPerSlot) {
  // Arrays 0 and 33: the low word of the map gives 1 at data[9] and 2 at data[13].
  KelRaidEngine().get_array_num_TARVOII = [](_Kel_Index_Map* m) {
    m->map_Low64 = 1ull | 1ull << 33;
    m->map_High64 = 1ull << 1;  // slot 65
    return 0;
  };
  Cmd c(KEL_CMD_GET_ARRAY, Request(120, {1}));
  c.Run();
  EXPECT_EQ(c.Le32(9), 1u);
  EXPECT_EQ(c.Le32(13), 2u);
  EXPECT_EQ(c.Le32(17), 2u);
  EXPECT_EQ(c.Le32(21), 0u);
  EXPECT_EQ(g_rescans, 0);
}

TEST_F(RaidHandlers, AnEmptyOrFailedMapIsAskedTwiceWithARescanAfterEach) {
  g_results = {900, 0};
  KelRaidEngine().get_device_num_TARVOII = [](_Kel_Index_Map* m) {
    int r = Next();
    if (r == 0) m->map_Low64 = 0;  // empty
    return r;
  };
  Cmd c(KEL_CMD_GET_DEVICE, Request(296, {1}));
  c.Run();
  EXPECT_EQ(g_calls, 2);
  EXPECT_EQ(g_rescans, 2);
  EXPECT_EQ(c.Ret(), 0);
  EXPECT_EQ(c.Len(), 301);
}

TEST_F(RaidHandlers, SortedIndexesWithoutArraysRescanTwiceAndAnswerCountZero) {
  KelRaidEngine().get_sorted_array_index = [](int* n, unsigned char* out) {
    ++g_calls;
    std::memset(out, 255, 32);
    *n = g_sortedCount;
    return 0;
  };
  Cmd none(KEL_CMD_GET_ARRAY, Request(120, {2, 0, 0, 0, 77}));
  none.Run();
  EXPECT_EQ(g_calls, 2);
  EXPECT_EQ(g_rescans, 2);
  EXPECT_EQ(none.Ret(), 0);
  EXPECT_EQ(none.cmd->data[9], 0);
  size_t first = none.out.find("!!!!!Invalid data got from UILib");
  ASSERT_NE(first, std::string::npos);
  EXPECT_NE(none.out.find("!!!!!Invalid data got from UILib", first + 1), std::string::npos);

  g_calls = g_rescans = 0;
  g_sortedCount = 3;
  KelRaidEngine().get_sorted_array_index = [](int* n, unsigned char* out) {
    std::memset(out, 255, 32);
    out[0] = 5, out[1] = 0, out[2] = 9;
    *n = g_sortedCount;
    return 0;
  };
  Cmd three(KEL_CMD_GET_ARRAY, Request(120, {2}));
  three.Run();
  EXPECT_EQ(g_rescans, 0);
  EXPECT_EQ(three.cmd->data[9], 3);
  EXPECT_EQ(std::vector<int>(three.cmd->data + 10, three.cmd->data + 13), (std::vector<int>{5, 0, 9}));
}

TEST_F(RaidHandlers, MagicChecksPassIndex255AndReportAMismatch) {
  g_magic = 7;
  KelRaidEngine().get_PD_magicNum = [](int, uint16_t* m) { return ++g_calls, *m = g_magic, 0; };
  KelRaidEngine().get_Array_magicNum = [](int, uint16_t*) { return ++g_calls, 200; };
  testing::internal::CaptureStdout();
  EXPECT_TRUE(CheckPDMagic(255, 1));
  EXPECT_TRUE(CheckArrayMagic(255, 1));
  EXPECT_EQ(g_calls, 0);
  EXPECT_TRUE(CheckPDMagic(3, 7));
  EXPECT_FALSE(CheckPDMagic(3, 9));
  EXPECT_FALSE(CheckArrayMagic(4, 0));  // the engine cannot tell: not current
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("MagicNum dismatch: Server[7], UILib[9]\n"), std::string::npos);
  EXPECT_EQ(out.find("dismatch", out.find("dismatch") + 1), std::string::npos);
}

TEST_F(RaidHandlers, PartitionsCheckTheMagicOfTheOwnerKindTheClientNames) {
  KelRaidEngine().get_Array_magicNum = [](int, uint16_t* m) { return *m = 0x1234, 0; };
  KelRaidEngine().get_PD_magicNum = [](int, uint16_t* m) { return *m = 0x5678, 0; };
  KelRaidEngine().get_partition_info = [](int kind, _Index_Plus_t ref, _zr_partition_info* p) {
    p->count = kind * 100 + ref.nIndex;
    return 0;
  };
  Cmd array(KEL_CMD_GET_PARTITION, Request(172, {0, 1, 0, 0, 6, 0, 0, 0, 0x34, 0x12}));
  array.Run();
  EXPECT_EQ(array.Ret(), 0);
  EXPECT_EQ(array.Len(), 177);
  EXPECT_EQ(array.Le32(17), 106u);
  Cmd staleDisk(KEL_CMD_GET_PARTITION, Request(172, {0, 0, 0, 0, 6, 0, 0, 0, 0x34, 0x12}));
  staleDisk.Run();
  EXPECT_EQ(staleDisk.Ret(), 2);
  EXPECT_EQ(staleDisk.Len(), 172);  // nothing moved
  EXPECT_EQ(staleDisk.cmd->data[8], 0x34);
}

TEST_F(RaidHandlers, VdQueryConvertsTheRecordBothWays) {
  KelRaidEngine().get_vd_info_by_array_pos = [](int array, int pos, _zr_vd_info* v) {
    EXPECT_EQ(v->Capacity, 0x0102030405060708ull);  // what the client sent
    std::memset(v->VDName, 'n', sizeof v->VDName);  // a name filling all 24 bytes
    v->status = 0xBEEF;
    v->array_index = static_cast<uint16_t>(array);
    v->array_position = static_cast<uint16_t>(pos);
    v->master = 0x101;  // only the low byte travels
    v->index = 0xA1B2C3D4;
    v->Capacity = 1ull << 40;
    v->StartSector = 2048;
    return 0;
  };
  std::vector<unsigned char> req = Request(64, {4, 3, 1});
  KelVDInfo wire{};
  wire.SetCapacity(0x0102030405060708ull);
  wire.unused31 = 0xEE;
  std::memcpy(req.data() + 4, &wire, sizeof wire);
  Cmd c(KEL_CMD_GET_VD, req);
  c.Run();
  ASSERT_EQ(c.Len(), 69);
  KelVDInfo back;
  std::memcpy(&back, c.cmd->data + 9, sizeof back);
  EXPECT_EQ(std::string(back.VDName, 24), std::string(24, 'n'));
  EXPECT_EQ(back.Status(), 0xBEEF);
  EXPECT_EQ(back.array_index, 3);
  EXPECT_EQ(back.array_position, 1);
  EXPECT_EQ(back.master, 1);
  EXPECT_EQ(back.Index(), 0xA1B2C3D4u);
  EXPECT_EQ(back.CapacityValue(), 1ull << 40);
  EXPECT_EQ(back.StartSectorValue(), 2048u);
  EXPECT_EQ(back.unused31, 0xEE);  // not a carried field
}

TEST(VdInfoCvt, FromTheWireZeroExtendsAndClearsPadding) {
  KelVDInfo wire;
  std::memset(&wire, 0xFF, sizeof wire);
  std::memcpy(wire.VDName, "vd0", 4);
  _zr_vd_info e;
  std::memset(&e, 0x5A, sizeof e);
  KelVdInfoCvt(&wire, &e, KEL_VD_CVT_FROM_WIRE);
  EXPECT_STREQ(e.VDName, "vd0");
  EXPECT_EQ(e.VDName[23], 0);
  EXPECT_EQ(e.master, 0xFFu);
  EXPECT_EQ(e.array_position, 0xFFu);
  EXPECT_EQ(e.bVDInRaid, 0xFFu);
  EXPECT_EQ(e.pad49, 0);
  EXPECT_EQ(e.pad54[0], 0);
  EXPECT_EQ(e.StartSector, ~0ull);
}

TEST_F(RaidHandlers, ProtectedAreasFillOneRecordEachOrStayOutWhenTooMany) {
  KelRaidEngine().get_device_info = [](int, _zr_device_info* d) {
    d->freeProtectNum = static_cast<uint8_t>(g_protectNum);
    return 0;
  };
  KelRaidEngine().get_protect_free_info_by_pd = [](int, _zr_protect_free_info_t** t) {
    for (int i = 0; i < g_protectNum; ++i) t[i]->startSector = 1000u * (i + 1), t[i]->length = 8;
    return 0;
  };
  g_protectNum = 0;
  Cmd none(KEL_CMD_GET_PROTECT, Request(4, {17, 2}));
  EXPECT_EQ(none.Run().Len(), 5);
  g_protectNum = 3;
  Cmd three(KEL_CMD_GET_PROTECT, Request(4, {17, 2}));
  three.Run(9 + 48);
  EXPECT_EQ(three.Ret(), 0);
  EXPECT_EQ(three.Len(), 9 + 48);
  EXPECT_EQ(three.cmd->data[7], 3);
  EXPECT_EQ(three.Le32(9 + 32), 3000u);
  g_protectNum = 128;
  Cmd many(KEL_CMD_GET_PROTECT, Request(4, {17, 2}));
  many.Run(9 + 128 * 16);
  EXPECT_EQ(many.Ret(), 0);
  EXPECT_EQ(many.Len(), 5);
  EXPECT_TRUE(many.Says("Too many protected area. Beyond the capacity of one packet"));
}

TEST_F(RaidHandlers, SmartExecuteCountsBadHealthAsAnAnswerAndStaleDisksAreRefused) {
  KelRaidEngine().exec_SMART = [] { return 803; };
  Cmd exec(KEL_CMD_SMART, Request(12, {5}));
  exec.Run();
  EXPECT_EQ(exec.Ret(), 803);
  EXPECT_EQ(exec.cmd->status, KEL_CMD_OK);
  EXPECT_EQ(exec.Len(), 17);

  KelRaidEngine().get_PD_magicNum = [](int, uint16_t* m) { return *m = 5, 0; };
  KelRaidEngine().get_PD_SMART_status_TARVOII = [](_Index_Plus_t, uint8_t* s) {
    return *s = 3, 0;
  };
  Cmd status(KEL_CMD_SMART, Request(13, {4, 0, 1, 0, 2, 0, 0, 0, 5, 0}));
  status.Run();
  EXPECT_EQ(status.Ret(), 0);
  EXPECT_EQ(status.Len(), 18);
  EXPECT_EQ(status.cmd->data[17], 3);
  Cmd stale(KEL_CMD_SMART, Request(524, {2, 0, 0x00, 0x02, 2, 0, 0, 0, 6, 0}));
  stale.Run();
  EXPECT_EQ(stale.Ret(), 2);
  EXPECT_EQ(stale.cmd->status, KEL_CMD_REFUSED);
  EXPECT_EQ(stale.Len(), 524);
}

TEST_F(RaidHandlers, ReloadPassesAtMostTwentyBytesOfEachText) {
  KelRaidEngine().reload_driver = [](int flag, const char* user, const char* passwd) {
    g_reloadFlag = flag;
    g_user = user;
    g_passwd = passwd;
    return 201;
  };
  std::vector<unsigned char> req = Request(44, {15, 1});
  std::memset(req.data() + 4, 'u', 20);   // no terminator within the field
  std::memset(req.data() + 24, 'p', 20);  // runs to the end of the request
  Cmd c(KEL_CMD_RELOAD_DRIVER, req);
  c.Run();
  EXPECT_EQ(g_reloadFlag, 1);
  EXPECT_EQ(g_user, std::string(20, 'u'));
  EXPECT_EQ(g_passwd, std::string(20, 'p'));
  EXPECT_EQ(c.Ret(), 201);
  EXPECT_EQ(c.Len(), 5);

  std::memcpy(req.data() + 4, "root\0xxxx", 9);
  Cmd shortNames(KEL_CMD_RELOAD_DRIVER, req);
  shortNames.Run();
  EXPECT_EQ(g_user, "root");
}

}  // namespace
