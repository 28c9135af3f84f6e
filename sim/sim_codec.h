// Little-endian field access for the records the simulated controller exchanges with the
// driver layer, and the ATA text order of identity strings. Kept here rather than shared
// with the driver layer on purpose: the simulator checks that layer from the outside, so
// it must not borrow its notion of where a field lies.
#ifndef KEL_SIM_SIM_CODEC_H
#define KEL_SIM_SIM_CODEC_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

inline void SimPutU8(unsigned char* p, size_t off, uint8_t v) { p[off] = v; }

inline void SimPutU16(unsigned char* p, size_t off, uint16_t v) {
  p[off] = static_cast<unsigned char>(v);
  p[off + 1] = static_cast<unsigned char>(v >> 8);
}

inline void SimPutU32(unsigned char* p, size_t off, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[off + i] = static_cast<unsigned char>(v >> (8 * i));
}

inline void SimPutU64(unsigned char* p, size_t off, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[off + i] = static_cast<unsigned char>(v >> (8 * i));
}

inline uint16_t SimGetU16(const unsigned char* p, size_t off) {
  return static_cast<uint16_t>(p[off] | (p[off + 1] << 8));
}

inline uint32_t SimGetU32(const unsigned char* p, size_t off) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | p[off + i];
  return v;
}

inline uint64_t SimGetU64(const unsigned char* p, size_t off) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[off + i];
  return v;
}

// Text padded with zeros to `width` bytes (cut when longer), in host order.
inline void SimPutText(unsigned char* p, size_t off, const std::string& s, size_t width) {
  std::memset(p + off, 0, width);
  std::memcpy(p + off, s.data(), s.size() < width ? s.size() : width);
}

// Identity strings travel as ATA IDENTIFY does: space padded, and the two bytes of every
// 16-bit word swapped ("ZEP1" is stored as "EZ1P"). `width` must be even.
inline void SimPutAtaText(unsigned char* p, size_t off, const std::string& s, size_t width) {
  std::memset(p + off, ' ', width);
  std::memcpy(p + off, s.data(), s.size() < width ? s.size() : width);
  for (size_t i = 0; i + 1 < width; i += 2) {
    unsigned char t = p[off + i];
    p[off + i] = p[off + i + 1];
    p[off + i + 1] = t;
  }
}

// The inverse of SimPutAtaText, trailing spaces and zeros removed.
inline std::string SimGetAtaText(const unsigned char* p, size_t off, size_t width) {
  std::string s(width, ' ');
  for (size_t i = 0; i + 1 < width; i += 2) {
    s[i] = static_cast<char>(p[off + i + 1]);
    s[i + 1] = static_cast<char>(p[off + i]);
  }
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  return s;
}

#endif
