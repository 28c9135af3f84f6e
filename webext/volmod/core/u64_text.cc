// 64-bit values as scripts see them: unsigned decimal text both ways, since a script's
// integers are signed and a size or map can use all 64 bits.
#include <cstdint>
#include <string>

#include "webext/volmod/core/record_fields.h"

std::string U64Text(uint64_t v) { return std::to_string(v); }

uint64_t TextToU64(const char* text, size_t len) {
  if (text == nullptr) return 0;
  size_t i = 0;
  while (i < len && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  uint64_t v = 0;
  for (; i < len && text[i] >= '0' && text[i] <= '9'; ++i) {
    const unsigned digit = static_cast<unsigned>(text[i] - '0');
    if (v > (UINT64_MAX - digit) / 10) return UINT64_MAX;
    v = v * 10 + digit;
  }
  return v;
}
