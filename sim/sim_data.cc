// Sector pattern and SHA-256 (contracts in sim_data.h).
#include "sim/sim_data.h"

#include <openssl/evp.h>

#include "sim/sim_codec.h"
#include "sim/sim_state.h"

namespace {

uint64_t SplitMix(uint64_t* x) {
  uint64_t z = (*x += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

}  // namespace

void SimFillPattern(uint64_t seed, uint64_t sector, uint64_t count, unsigned char* out) {
  for (uint64_t s = 0; s < count; ++s, out += kSimSectorSize) {
    uint64_t x = seed * 0xD1B54A32D192ED03ull ^ (sector + s);
    for (int w = 0; w < kSimSectorSize / 8; ++w) SimPutU64(out, 8 * w, SplitMix(&x));
  }
}

struct SimSha256::Ctx {
  EVP_MD_CTX* md = nullptr;
};

SimSha256::SimSha256() : m_ctx(new Ctx) {
  m_ctx->md = EVP_MD_CTX_new();
  if (m_ctx->md) EVP_DigestInit_ex(m_ctx->md, EVP_sha256(), nullptr);
}

SimSha256::~SimSha256() { EVP_MD_CTX_free(m_ctx->md); }

void SimSha256::Update(const unsigned char* data, size_t len) {
  if (m_ctx->md) EVP_DigestUpdate(m_ctx->md, data, len);
}

std::string SimSha256::Hex() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  if (!m_ctx->md || EVP_DigestFinal_ex(m_ctx->md, digest, &n) != 1) return "";
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned int i = 0; i < n; ++i) {
    out += kHex[digest[i] >> 4];
    out += kHex[digest[i] & 15];
  }
  return out;
}
