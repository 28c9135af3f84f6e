// Test data for disks and volumes: a deterministic sector pattern and a streaming SHA-256,
// so that a script can fill sectors and later prove them unchanged without keeping a copy.
#ifndef KEL_SIM_SIM_DATA_H
#define KEL_SIM_SIM_DATA_H

#include <cstdint>
#include <memory>
#include <string>

// Fills `count` sectors with the pattern of `seed`, the first being sector number `sector`.
// The content of a sector depends only on the seed and its number.
void SimFillPattern(uint64_t seed, uint64_t sector, uint64_t count, unsigned char* out);

// SHA-256 over data given in pieces. Not copyable.
class SimSha256 {
 public:
  SimSha256();
  ~SimSha256();
  SimSha256(const SimSha256&) = delete;
  SimSha256& operator=(const SimSha256&) = delete;

  void Update(const unsigned char* data, size_t len);
  // Lower-case hex of the digest; the object is spent afterwards.
  std::string Hex();

 private:
  struct Ctx;
  std::unique_ptr<Ctx> m_ctx;
};

#endif
