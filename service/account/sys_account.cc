// Host password check through libcrypt and the shadow database. getspnam and its
// enumeration state are process-wide, so lookups are serialised; hashing uses crypt_r with
// its own work area so concurrent checks do not share crypt's static buffer.
#include "service/account/sys_account.h"

#include <crypt.h>
#include <shadow.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

namespace {

std::mutex g_shadowMutex;  // guards the shadow database calls and their static result

// Compares every byte whatever the first difference, so the time taken tells nothing
// about how much of a guess was right.
bool SameText(const char* a, const char* b) {
  std::size_t la = std::strlen(a);
  std::size_t lb = std::strlen(b);
  if (la != lb) return false;
  unsigned char diff = 0;
  for (std::size_t i = 0; i < la; ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

}  // namespace

bool VerifyCryptHash(const char* password, const char* storedHash) {
  if (password == nullptr || storedHash == nullptr || storedHash[0] == '\0') return false;
  // About 32 KiB, too large for a thread's stack; make_unique zeroes it as crypt_r wants.
  auto work = std::make_unique<crypt_data>();
  const char* hashed = crypt_r(password, storedHash, work.get());
  // libcrypt reports an unusable setting with a result starting with '*'.
  if (hashed == nullptr || hashed[0] == '*') return false;
  return SameText(hashed, storedHash);
}

bool TarvoVerifySysAccount(const char* user, const char* password) {
  if (user == nullptr || password == nullptr) return false;
  std::string stored;
  {
    std::lock_guard<std::mutex> hold(g_shadowMutex);
    setspent();
    const spwd* entry = getspnam(user);
    if (entry != nullptr && entry->sp_pwdp != nullptr) stored = entry->sp_pwdp;
    endspent();
  }
  bool match = !stored.empty() && VerifyCryptHash(password, stored.c_str());
  std::fill(stored.begin(), stored.end(), '\0');
  return match;
}
