// The disk identity checksum, the one computation over the driver's records.
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
