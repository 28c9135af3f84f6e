// Fuzz target for the login handler (code 250) on a real client registry and a real
// account store in a temporary folder. The input is the request's data area. When its first
// byte is odd the rest is taken as the plain "name\0password\0" text and enciphered as a
// client would, so the fuzzer reaches the credential parsing and the account checks;
// otherwise the rest goes in as it is, as an undecipherable or forged request would.
//
// A standing "admin" session lives between inputs so that a single-session login finds one
// to end; every session an input leaves behind is destroyed before the next input.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "service/account/kel_account.h"
#include "service/core/srv_private.h"
#include "service/login/user_login.h"
#include "service/session/kel_client_hash.h"
#include "service/session/kel_user_cmd.h"
#include "sharedlib/aes.h"
#include "sharedlib/packet.h"

namespace {

[[noreturn]] void Fail(const char* what, int a = 0, int b = 0) {
  fprintf(stderr, "login_fuzz: %s (%d, %d)\n", what, a, b);
  abort();
}

// Accounts in the file besides the two built-in ones: a single-session user and a
// multi-session user with a rights word that gives the third rights code.
struct FileAccount {
  const char* name;
  const char* password;
  uint32_t rights;
};
constexpr FileAccount kFileAccounts[] = {{"oper", "opsecret", 0x2}, {"viewer", "look", 0x1}};

// Everything that lives across inputs; built once.
struct World {
  std::string dir;
  KelSrvPrivate priv;
  KelAccount* account = nullptr;
  KelClientHash* hash = nullptr;
  int standingId = gDummyClientID;  // the admin session, or the dummy ID once kicked
};
World* g_world = nullptr;

void RemoveWorld() {
  if (g_world == nullptr) return;
  delete g_world->hash;
  delete g_world->account;
  std::error_code ec;
  std::filesystem::remove_all(g_world->dir, ec);
  delete g_world;
  g_world = nullptr;
}

// Writes the account file in its record format: 96 enciphered bytes of name and password,
// then the rights word, most significant byte first.
void WriteAccounts(const std::string& path) {
  std::string image;
  for (const FileAccount& a : kFileAccounts) {
    unsigned char record[KelAccount::KEL_ACC_RECORD_LEN] = {};
    memcpy(record, a.name, strlen(a.name));
    memcpy(record + strlen(a.name) + 1, a.password, strlen(a.password));
    if (AesEncrypt(record, record, KelAccount::KEL_ACC_CIPHER_LEN) != 0) Fail("AesEncrypt");
    for (int i = 0; i < 4; ++i)
      record[KelAccount::KEL_ACC_CIPHER_LEN + i] =
          static_cast<unsigned char>(a.rights >> (24 - 8 * i));
    image.append(reinterpret_cast<const char*>(record), sizeof(record));
  }
  FILE* f = fopen(path.c_str(), "wb");
  if (f == nullptr || fwrite(image.data(), 1, image.size(), f) != image.size() || fclose(f) != 0)
    Fail("cannot write the account file");
}

// Fills `cmd` as a login request carrying `plain` enciphered, zero-padded to whole blocks.
void EncipheredRequest(KelUserCmd* cmd, const uint8_t* plain, size_t size) {
  size_t padded = (size + 15) / 16 * 16;
  if (padded > static_cast<size_t>(kCmdDataSize)) padded = kCmdDataSize;
  if (size > padded) size = padded;
  std::vector<unsigned char> text(padded, 0);
  if (size != 0) memcpy(text.data(), plain, size);
  if (padded != 0 && AesEncrypt(text.data(), cmd->data, static_cast<unsigned int>(padded)) != 0)
    Fail("AesEncrypt");
  cmd->m_CmdDataLen = static_cast<uint16_t>(padded);
}

int CountSessions() {
  if (!g_world->hash->r_lock(__FILE__, __LINE__)) Fail("registry read lock");
  const int n = g_world->hash->GetCurClientNum();
  g_world->hash->r_unlock(__FILE__, __LINE__);
  return n;
}

bool SessionExists(int id) {
  if (!g_world->hash->r_lock(__FILE__, __LINE__)) Fail("registry read lock");
  const bool found = g_world->hash->GetClient(id) != nullptr;
  g_world->hash->r_unlock(__FILE__, __LINE__);
  return found;
}

// Logs the standing admin session in again after an input ended it.
void EnsureStandingSession() {
  if (g_world->standingId != gDummyClientID && SessionExists(g_world->standingId)) return;
  static const char kAdmin[] = "admin\0pelum";
  KelUserCmd cmd;
  cmd.code = KEL_CMD_LOGIN;
  EncipheredRequest(&cmd, reinterpret_cast<const uint8_t*>(kAdmin), sizeof(kAdmin));
  std::string logText = "IP:127.0.0.1";
  int id = gDummyClientID;
  if (!UserRegister(&g_world->priv, &cmd, &id, logText) || cmd.GetRetCode() != 0)
    Fail("standing admin login refused", cmd.GetRetCode());
  g_world->standingId = id;
}

// Destroys every session but the standing one, as a logout would.
void DestroyInputSessions() {
  KelClientHash* hash = g_world->hash;
  if (!hash->w_lock(__FILE__, __LINE__)) Fail("registry write lock");
  int ids[kMaxClients * 2];
  const int n = hash->GetAllClientID(ids);
  for (int i = 0; i < n; ++i) {
    if (ids[i] == g_world->standingId) continue;
    if (!hash->DestroyClient(ids[i], false))
      Fail("a login left a session that cannot be destroyed", ids[i]);
  }
  hash->w_unlock(__FILE__, __LINE__);
}

bool IsLoginResult(int code) {
  switch (code) {
    case 0:
    case KEL_LOCAL_BAD_REQUEST:
    case KEL_LOCAL_REGISTRY_LOCK:
    case KEL_LOGIN_BAD_ACCOUNT:
    case KEL_LOGIN_KICKED:
    case KEL_LOGIN_NO_ID:
    case KEL_LOGIN_INSERT_FAILED:
    case KEL_LOCAL_NO_MEMORY:
      return true;
    default:
      return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Every refused login prints; keep the diagnostics only when asked.
  if (!KelFuzzQuietStdout()) Fail("cannot silence stdout");
  const std::string pattern = KelFuzzTempDir("login-fuzz");
  if (pattern.empty()) Fail("mkdtemp");
  if (AesModuleInit() != 0) Fail("AesModuleInit");
  g_world = new World;
  g_world->dir = pattern;
  WriteAccounts(g_world->dir + "/kel_account");
  g_world->account = new KelAccount((g_world->dir + "/kel_account").c_str());
  g_world->hash = new KelClientHash(&g_world->priv);
  g_world->priv.pAccount = g_world->account;
  g_world->priv.pClientHash = g_world->hash;
  atexit(RemoveWorld);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  EnsureStandingSession();
  const int before = CountSessions();

  KelUserCmd* cmd = new KelUserCmd();
  cmd->code = KEL_CMD_LOGIN;
  if (size > 0 && (data[0] & 1) != 0) {
    EncipheredRequest(cmd, data + 1, size - 1);
  } else {
    const size_t len =
        size > 1 ? (size - 1 < static_cast<size_t>(kCmdDataSize) ? size - 1 : kCmdDataSize) : 0;
    if (len != 0) memcpy(cmd->data, data + 1, len);
    cmd->m_CmdDataLen = static_cast<uint16_t>(len);
  }

  std::string logText = "IP:127.0.0.1";  // the connection thread hands in its peer this way
  int id = gDummyClientID;
  const bool ok = UserRegister(&g_world->priv, cmd, &id, logText);
  const int ret = cmd->GetRetCode();

  if (cmd->m_CmdDataLen != 26) Fail("login reply length", cmd->m_CmdDataLen);
  if (!IsLoginResult(ret)) Fail("return code outside the login set", ret);
  if (ok != (ret == 0 || ret == KEL_LOGIN_KICKED))
    Fail("success flag disagrees with the code", ok, ret);
  if (ok) {
    if (!SessionExists(id)) Fail("login succeeded without a session", id);
    if (std::to_string(id) != reinterpret_cast<const char*>(cmd->data + 5))
      Fail("reply carries another client ID", id);
    if (logText.rfind("INFO~Client <", 0) != 0) Fail("success without the INFO text");
    // Only the standing admin session can be there to end: the single-session users'
    // earlier sessions are gone with their inputs.
    const bool kicked = ret == KEL_LOGIN_KICKED;
    if (kicked && SessionExists(g_world->standingId))
      Fail("kick left the earlier session", g_world->standingId);
    const int expected = kicked ? before : before + 1;
    if (CountSessions() != expected) Fail("session count after login", CountSessions(), expected);
  } else {
    if (logText.rfind("ERROR~User <", 0) != 0) Fail("failure without the ERROR text");
    if (CountSessions() != before)
      Fail("failed login changed the registry", CountSessions(), before);
  }
  delete cmd;

  DestroyInputSessions();
  if (CountSessions() > 1) Fail("sessions left behind", CountSessions());
  return 0;
}
