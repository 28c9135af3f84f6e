// Little-endian byte codecs for the driver records. The records are exchanged with the
// kernel driver byte for byte and several of their multi-byte fields sit at odd offsets,
// so fields are kept as byte arrays and read or written only through these helpers.
#ifndef KEL_DRIVER_DRV_LE_H
#define KEL_DRIVER_DRV_LE_H

#include <cstdint>

inline uint16_t KelLoadLe16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t KelLoadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t KelLoadLe64(const uint8_t* p) {
  return static_cast<uint64_t>(KelLoadLe32(p)) | (static_cast<uint64_t>(KelLoadLe32(p + 4)) << 32);
}
inline void KelStoreLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void KelStoreLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void KelStoreLe64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

#endif
