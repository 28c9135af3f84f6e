#include "engine/engine_defs.h"

// Slots below 64 live in the low word; 64..127 in the high word.
namespace {
uint64_t* WordOf(_Kel_Index_Map* map, unsigned char n) {
  return n < 64 ? &map->map_Low64 : &map->map_High64;
}
}  // namespace

int SetIndexMapBit(_Kel_Index_Map* map, unsigned char n) {
  if (!map || n >= 128) return 0;
  *WordOf(map, n) |= uint64_t{1} << (n % 64);
  return 1;
}

int ClearIndexMapBit(_Kel_Index_Map* map, unsigned char n) {
  if (!map || n >= 128) return 0;
  *WordOf(map, n) &= ~(uint64_t{1} << (n % 64));
  return 1;
}

int CheckIndexMapBit(const _Kel_Index_Map* map, unsigned char n) {
  if (!map || n >= 128) return -1;
  uint64_t word = n < 64 ? map->map_Low64 : map->map_High64;
  return (word >> (n % 64)) & 1 ? 1 : 0;
}
