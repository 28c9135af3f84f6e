// Fuzz target for a whole client connection: a real connection thread of the service on one
// end of a socket pair, with the real registry, account store, configuration, command parser
// and worker behind it; the fuzzer plays the client on the other end. It reaches the welcome,
// the echo of packets sent before login, login, session login, logout, local and RAID commands
// through the pipeline (the engine is not started, so RAID commands are refused), and the
// failure replies, with replies framed in place over the command record.
//
// Input: byte 0 chooses how the connection starts (bit 0: log in as guest, bit 1: as admin,
// otherwise not logged in). Then up to 12 packets, each [code][length, 2 bytes big-endian]
// [n][n bytes]: the payload is the n bytes repeated up to the length (zeros when n is 0), so
// short inputs reach the largest packets. Lengths beyond the largest payload are sent too:
// the service must end such a connection.
//
// Checked: every packet gets exactly one reply (a logout may end the connection instead);
// a packet sent before login that is no login comes back unchanged; the service ends an
// oversized packet's connection; and after each input every command record and every block
// the input took from the memory pool is given back.
#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "driver/host_glue.h"
#include "fuzz/fuzz_support.h"
#include "service/account/kel_account.h"
#include "service/config/kel_remote_config.h"
#include "service/core/srv_private.h"
#include "service/session/kel_client_hash.h"
#include "service/session/kel_client_thread.h"
#include "service/session/kel_cmd_parser.h"
#include "service/session/kel_user_cmd.h"
#include "sharedlib/aes.h"
#include "sharedlib/mem_pool.h"
#include "sharedlib/packet.h"

namespace {

constexpr int kMaxPackets = 12;
constexpr unsigned kReplySeconds = 20;

[[noreturn]] void Fail(const char* what, long a = 0, long b = 0) {
  fprintf(stderr, "connection_fuzz: %s (%ld, %ld)\n", what, a, b);
  abort();
}

struct World {
  std::string dir;
  KelSrvPrivate priv;
  KelRemoteConfig* config = nullptr;
  KelAccount* account = nullptr;
  KelClientHash* hash = nullptr;
  KelEHHandler* eh = nullptr;
  KelCmdParser* parser = nullptr;
  long poolBaseline = -1;
};
World* g_world = nullptr;

void RemoveWorld() {
  if (g_world == nullptr) return;
  delete g_world->parser;
  delete g_world->eh;
  delete g_world->hash;
  delete g_world->account;
  delete g_world->config;
  std::error_code ec;
  std::filesystem::remove_all(g_world->dir, ec);
  delete g_world;
  g_world = nullptr;
}

long PoolBytesInUse() {
  KelMutexGuard hold(KelMemPool::SharedBlockMutex());
  long bytes = 0;
  for (const KelMemBlock::BlockInfo& b : KelMemPool::SharedBlock().TEST_Blocks())
    if (!b.free) bytes += b.size;
  return bytes;
}

// Destroys every session an input left; a session still pinned by the worker for a moment
// is waited for.
void DestroySessions() {
  KelClientHash* hash = g_world->hash;
  for (int round = 0; round < 100; ++round) {
    if (!hash->w_lock(__FILE__, __LINE__)) Fail("registry write lock");
    int ids[kMaxClients * 2];
    const int n = hash->GetAllClientID(ids);
    for (int i = 0; i < n; ++i) hash->DestroyClient(ids[i], round > 0);
    const int left = hash->GetCurClientNum();
    hash->w_unlock(__FILE__, __LINE__);
    if (left == 0) return;
  }
  Fail("sessions that cannot be destroyed");
}

bool SendPayload(int fd, unsigned char code, const std::vector<unsigned char>& payload) {
  std::vector<unsigned char> packet(payload.size() + kPacketOverhead);
  if (!payload.empty()) memcpy(packet.data(), payload.data(), payload.size());
  AssemblePacket(code, packet.data(), static_cast<unsigned short>(payload.size()), packet.data());
  return SendPacket(fd, packet.data(), static_cast<unsigned short>(packet.size())) == 0;
}

struct Reply {
  int result;
  unsigned char code = 0;
  unsigned short len = 0;
  unsigned char data[kMaxPayload];
};

void Receive(int fd, Reply* r) {
  r->result = WaitCommand(fd, &r->code, r->data, &r->len, kReplySeconds, 0, 1, kMaxPayload);
  if (r->result == 1) Fail("no reply in time");
}

bool LogIn(int fd, const char* user, const char* password) {
  std::vector<unsigned char> plain(user, user + strlen(user) + 1);
  plain.insert(plain.end(), password, password + strlen(password) + 1);
  plain.resize((plain.size() + 15) / 16 * 16, 0);
  std::vector<unsigned char> cipher(plain.size());
  if (AesEncrypt(plain.data(), cipher.data(), static_cast<unsigned>(plain.size())) != 0)
    Fail("AesEncrypt");
  if (!SendPayload(fd, KEL_CMD_LOGIN, cipher)) Fail("send login");
  Reply r;
  Receive(fd, &r);
  if (r.result != 0 || r.len != 26) Fail("login reply", r.result, r.len);
  const int ret = BufToINT32S(1, r.data);
  if (ret != 0 && ret != 1051) Fail("built-in login refused", ret);
  return true;
}

// Plays the client for one input; returns when the input is used up or the connection ended.
void Converse(int fd, const uint8_t* data, size_t size) {
  Reply r;
  Receive(fd, &r);
  if (r.result != 0 || r.code != KEL_CMD_WELCOME) Fail("no welcome", r.result, r.code);
  bool loggedIn = false;
  if (size > 0 && (data[0] & 1) != 0)
    loggedIn = LogIn(fd, "guest", "rovak");
  else if (size > 0 && (data[0] & 2) != 0)
    loggedIn = LogIn(fd, "admin", "pelum");
  size_t at = 1;
  for (int p = 0; p < kMaxPackets && at + 4 <= size; ++p) {
    const unsigned char code = data[at];
    size_t len = (static_cast<size_t>(data[at + 1]) << 8) | data[at + 2];
    if (len > kMaxPayload + 8) len = kMaxPayload + 8;
    size_t n = data[at + 3];
    at += 4;
    if (n > size - at) n = size - at;
    std::vector<unsigned char> payload(len, 0);
    for (size_t i = 0; n != 0 && i < len; ++i) payload[i] = data[at + i % n];
    at += n;

    if (!SendPayload(fd, code, payload)) return;  // the service hung up
    Receive(fd, &r);
    if (len > kMaxPayload) {
      if (r.result == 0) Fail("oversized packet answered", static_cast<long>(len));
      return;
    }
    // Any logout may be the session's own, which ends this connection.
    const bool mayClose = loggedIn && code >= KEL_CMD_LOGIN && !payload.empty() && payload[0] == 0;
    if (r.result != 0) {
      if (mayClose) return;
      Fail("packet not answered", code, static_cast<long>(len));
    }
    if (r.code != code) Fail("reply carries another code", code, r.code);
    if (!loggedIn && code != KEL_CMD_LOGIN && code != KEL_CMD_SESSION_LOGIN &&
        (r.len != len || (len != 0 && memcmp(r.data, payload.data(), len) != 0)))
      Fail("echo before login changed the packet", static_cast<long>(len), r.len);
    if (!loggedIn && (code == KEL_CMD_LOGIN || code == KEL_CMD_SESSION_LOGIN) && r.len >= 5) {
      const int ret = BufToINT32S(1, r.data);
      loggedIn = ret == 0 || ret == 1051;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (!KelFuzzQuietStdout()) Fail("cannot silence stdout");
  const std::string pattern = KelFuzzTempDir("connection-fuzz");
  if (pattern.empty()) Fail("mkdtemp");
  if (AesModuleInit() != 0) Fail("AesModuleInit");
  g_world = new World;
  World& w = *g_world;
  w.dir = pattern;
  w.config = new KelRemoteConfig((w.dir + "/kel.config").c_str());
  // Nothing may reach the production paths; the event log stays off, so no timer runs.
  KelRemoteConfig::strEventLogFile = w.dir + "/kel_event.log";
  KelRemoteConfig::strAccountFile = w.dir + "/kel_account";
  KelRemoteConfig::strKelInitLogFile = w.dir + "/kel_init.log";
  // The engine is not started, so the driver reload is refused before it reaches the host;
  // should that ever change, it still finds no host program here.
  KelHostPaths& host = KelHostGluePaths();
  host.conf = host.modules = host.rmmod = host.modprobe = host.reboot = host.mtab = w.dir + "/none";
  w.account = new KelAccount(KelRemoteConfig::strAccountFile.c_str());
  w.hash = new KelClientHash(&w.priv);
  w.priv.pConfig = w.config;
  w.priv.pClientHash = w.hash;
  w.priv.pAccount = w.account;
  w.eh = new KelEHHandler(&w.priv);
  w.parser = new KelCmdParser(&w.priv, w.eh);
  w.priv.pCmdParser = w.parser;
  if (!w.parser->start()) Fail("parser start");
  atexit(RemoveWorld);
  // One conversation first, so that whatever is built on first use is in the baseline.
  static const uint8_t kWarmUp[] = {1, 255, 0, 1, 1, 9, 11, 0, 6, 1, 3};
  LLVMFuzzerTestOneInput(kWarmUp, sizeof(kWarmUp));
  w.poolBaseline = PoolBytesInUse();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  World& w = *g_world;
  // A password change of an earlier input must not lock this one out.
  std::error_code ec;
  std::filesystem::remove(KelRemoteConfig::strAccountFile, ec);

  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) Fail("socketpair");
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  auto* thread = new KelClientThread(&w.priv, w.parser, fds[0], peer);
  if (!thread->start()) Fail("connection thread start");
  Converse(fds[1], data, size);
  close(fds[1]);
  delete thread;  // waits for the thread, which ends on the closed connection
  DestroySessions();

  if (KelUserCmd::LiveCount() != 0) Fail("command records left", KelUserCmd::LiveCount());
  if (w.poolBaseline >= 0 && PoolBytesInUse() > w.poolBaseline)
    Fail("pool blocks not given back", PoolBytesInUse(), w.poolBaseline);
  return 0;
}
