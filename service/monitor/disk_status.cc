#include "service/monitor/disk_status.h"

#include <cstring>

std::vector<int> DiskIndexesFromMap(const _Kel_Index_Map& map) {
  std::vector<int> out;
  for (int n = 0; n < 64; ++n)
    if ((map.map_Low64 >> n) & 1U) out.push_back(n);
  for (int n = 0; n < 64; ++n)
    if ((map.map_High64 >> n) & 1U) out.push_back(n + 64);
  return out;
}

std::vector<uint8_t> BuildDiskStatusPayload(const std::vector<KelAbnormalDisk>& disks) {
  std::vector<uint8_t> payload(kKelDsPayloadSize, 0);
  const size_t count = disks.size() < 255 ? disks.size() : 255;
  const uint32_t len = static_cast<uint32_t>(2 * count + 1);
  memcpy(payload.data(), &len, sizeof len);
  payload[4] = static_cast<uint8_t>(count);
  for (size_t i = 0; i < count; ++i) {
    payload[5 + 2 * i] = disks[i].index;
    payload[6 + 2 * i] = disks[i].status;
  }
  return payload;
}
