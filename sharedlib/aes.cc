// AES-256-ECB through OpenSSL's EVP interface. Each thread keeps its own pair of cipher
// contexts, built lazily from the process-wide key and rebuilt when the key is installed
// again, so the hot path takes no lock and shares no mutable cipher state.
#include "sharedlib/aes.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <mutex>

#include "sharedlib/diag.h"

namespace {

constexpr unsigned int kBlockLen = 16;
constexpr unsigned int kKeyLen = 32;

// The key is the phrase's 31 characters and its terminating zero: volmod and kelsrv must
// agree on all 32 bytes.
constexpr unsigned char kKeyPhrase[] = "QRN ~~~{Blk Cipher Seed}~~~ QRN";
static_assert(sizeof(kKeyPhrase) == kKeyLen, "the key phrase must fill the key, zero included");

// EVP takes an int length; larger requests are fed in whole-block chunks below this bound.
constexpr unsigned int kMaxChunk = 1u << 30;

// std::mutex is constant-initialised, so the key is usable even from static constructors.
std::mutex g_keyMutex;
unsigned char g_key[kKeyLen];  // guarded by g_keyMutex
// Bumped under g_keyMutex each time a key is installed; 0 means no key yet. Threads compare
// it with the generation their contexts were built from.
std::atomic<unsigned> g_keyGeneration{0};

struct ThreadCipher {
  EVP_CIPHER_CTX* enc = nullptr;
  EVP_CIPHER_CTX* dec = nullptr;
  unsigned generation = 0;  // key generation both contexts hold; 0 = not built
  ~ThreadCipher() {
    EVP_CIPHER_CTX_free(enc);
    EVP_CIPHER_CTX_free(dec);
  }
};
thread_local ThreadCipher t_cipher;

bool InitContext(EVP_CIPHER_CTX** ctx, const unsigned char* key, int encrypt) {
  if (*ctx == nullptr) *ctx = EVP_CIPHER_CTX_new();
  if (*ctx == nullptr) return false;
  if (EVP_CipherInit_ex(*ctx, EVP_aes_256_ecb(), nullptr, key, nullptr, encrypt) != 1) return false;
  return EVP_CIPHER_CTX_set_padding(*ctx, 0) == 1;
}

// The calling thread's context for the current key, or null when no key is installed or
// the context cannot be built (each case printed once here).
EVP_CIPHER_CTX* ThreadContext(bool encrypt) {
  unsigned current = g_keyGeneration.load(std::memory_order_acquire);
  if (current == 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "AesModuleInit has not run\n");
    return nullptr;
  }
  if (t_cipher.generation != current) {
    unsigned char key[kKeyLen];
    {
      std::lock_guard<std::mutex> hold(g_keyMutex);
      std::memcpy(key, g_key, kKeyLen);
      current = g_keyGeneration.load(std::memory_order_relaxed);
    }
    bool ok = InitContext(&t_cipher.enc, key, 1) && InitContext(&t_cipher.dec, key, 0);
    OPENSSL_cleanse(key, kKeyLen);
    if (!ok) {
      t_cipher.generation = 0;
      KEL_PRINT(ZEP_DBG_ERROR, "Build cipher context failed\n");
      return nullptr;
    }
    t_cipher.generation = current;
  }
  return encrypt ? t_cipher.enc : t_cipher.dec;
}

// Without padding and with whole blocks, EVP keeps no partial block between calls, and ECB
// carries nothing from one block to the next: a context can be fed call after call.
bool Update(EVP_CIPHER_CTX* ctx, const unsigned char* in, unsigned char* out, unsigned int len) {
  while (len > 0) {
    unsigned int n = len < kMaxChunk ? len : kMaxChunk;
    int produced = 0;
    if (EVP_CipherUpdate(ctx, out, &produced, in, static_cast<int>(n)) != 1 ||
        produced != static_cast<int>(n)) {
      return false;
    }
    in += n;
    out += n;
    len -= n;
  }
  return true;
}

bool PartiallyOverlap(const unsigned char* in, const unsigned char* out, unsigned int len) {
  auto a = reinterpret_cast<std::uintptr_t>(in);
  auto b = reinterpret_cast<std::uintptr_t>(out);
  return a != b && a < b + len && b < a + len;
}

int AesRun(const unsigned char* in, unsigned char* out, unsigned int len, bool encrypt) {
  if (in == nullptr || out == nullptr || len == 0 || len % kBlockLen != 0) return -1;
  EVP_CIPHER_CTX* ctx = ThreadContext(encrypt);
  if (ctx == nullptr) return -1;

  bool ok = true;
  if (PartiallyOverlap(in, out, len)) {
    // OpenSSL refuses shifted buffers. Going block by block through a copy keeps the
    // in-order semantics callers of the block-wise cipher could rely on.
    unsigned char block[kBlockLen];
    for (unsigned int off = 0; ok && off < len; off += kBlockLen) {
      std::memcpy(block, in + off, kBlockLen);
      ok = Update(ctx, block, block, kBlockLen);
      if (ok) std::memcpy(out + off, block, kBlockLen);
    }
  } else {
    ok = Update(ctx, in, out, len);
  }
  if (!ok) {
    t_cipher.generation = 0;  // rebuild the context from scratch next time
    KEL_PRINT(ZEP_DBG_ERROR, "Cipher update failed\n");
    return -1;
  }
  return 0;
}

}  // namespace

int AesModuleInitWithKey(const unsigned char key[32]) {
  if (key == nullptr) return -1;
  // Prove once that the crypto library offers the cipher, so a missing provider shows up
  // at start-up rather than at the first login.
  EVP_CIPHER_CTX* probe = nullptr;
  bool ok = InitContext(&probe, key, 1);
  EVP_CIPHER_CTX_free(probe);
  if (!ok) return -1;

  std::lock_guard<std::mutex> hold(g_keyMutex);
  std::memcpy(g_key, key, kKeyLen);
  unsigned next = g_keyGeneration.load(std::memory_order_relaxed) + 1;
  if (next == 0) next = 1;
  g_keyGeneration.store(next, std::memory_order_release);
  return 0;
}

int AesModuleInit() { return AesModuleInitWithKey(kKeyPhrase); }

int AesEncrypt(const unsigned char* in, unsigned char* out, unsigned int len) {
  return AesRun(in, out, len, true);
}

int AesDecrypt(const unsigned char* in, unsigned char* out, unsigned int len) {
  return AesRun(in, out, len, false);
}
