#include "service/raid/raid_magic.h"

#include "service/raid/raid_engine_ops.h"
#include "sharedlib/diag.h"

namespace {

constexpr uint8_t kNoObject = 255;

bool Compare(int ret, uint16_t current, uint16_t magic) {
  if (ret != ZR_OK) return false;
  if (current == magic) return true;
  KEL_PRINT(ZEP_DBG_WARN, "MagicNum dismatch: Server[%d], UILib[%d]\n", current, magic);
  return false;
}

}  // namespace

bool CheckArrayMagic(uint8_t index, uint16_t magic) {
  if (index == kNoObject) return true;
  uint16_t current = 0;
  const int ret = KelRaidEngine().get_Array_magicNum(index, &current);
  return Compare(ret, current, magic);
}

bool CheckPDMagic(uint8_t index, uint16_t magic) {
  if (index == kNoObject) return true;
  uint16_t current = 0;
  const int ret = KelRaidEngine().get_PD_magicNum(index, &current);
  return Compare(ret, current, magic);
}
