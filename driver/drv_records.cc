// The disk identity checksum and the member entries of a real-targets answer.
#include "driver/drv_info_records.h"

namespace {

// Sum of `words` little-endian 32-bit words of an ATA text after swapping every byte pair.
uint32_t SumSwapped(const uint8_t* text, int words) {
  uint32_t sum = 0;
  for (int w = 0; w < words; ++w) {
    const uint8_t* p = text + 4 * w;
    uint8_t swapped[4] = {p[1], p[0], p[3], p[2]};
    sum += KelLoadLe32(swapped);
  }
  return sum;
}

}  // namespace

uint32_t MakeDeviceSerialChksum(const _Device_Info* info) {
  return SumSwapped(info->szSerialNumber, 5) + SumSwapped(info->szFirmwareRev, 2) +
         SumSwapped(info->szModelName, 10);
}

// An invalid answer names nothing, and device number 0xFFFF is never a disk. Entry 0 is
// always the node's own disk or first member. After it, an answer that marks unused entries
// with 0xFFFF anywhere uses that filler throughout, so its zero entries are real (device 0,
// VD 0); an answer without a single 0xFFFF is zero-filled, and a zero entry after the first
// is filler. That last rule misses a member at device 0, VD 0 listed after the first entry
// of a zero-filled answer; the rest of such a target's members still name it.
bool _Real_Targets_Pos_Info::EntryUsed(int i) const {
  constexpr uint16_t kNoDevice = 0xFFFF;
  if (byValid == 0 || i < 0 || i >= 8 || DeviceNo(i) == kNoDevice) return false;
  if (i == 0 || DeviceNo(i) != 0 || byVDId[i] != 0) return true;
  for (int k = 0; k < 8; ++k)
    if (DeviceNo(k) == kNoDevice) return true;
  return false;
}
