// Encoders of the simulated controller's answer records (layouts in sim_records.h).
#include "sim/sim_records.h"

#include <cstring>

#include "sim/sim_codec.h"

namespace {

uint8_t Nibbles(const KelSimState& s, int channel, int side) {
  if (s.HubAt(channel, side)) return 0x11;
  return s.DiskAt(channel, side, -1) ? 0x01 : 0x00;
}

void SmartChecksum(unsigned char* page) {
  unsigned sum = 0;
  for (int i = 0; i < kSimSmartPageLen - 1; ++i) sum += page[i];
  page[kSimSmartPageLen - 1] = static_cast<unsigned char>(-sum);
}

}  // namespace

void KelSimEncodeController(const KelSimState& s, unsigned char* out) {
  std::memset(out, 0, kSimControllerInfoLen);
  SimPutU32(out, 0, s.deviceId);
  SimPutText(out, 4, s.chip, 32);
  SimPutText(out, 36, s.manufacturer, 32);
  SimPutU8(out, 68, 4);
  SimPutU8(out, 69, 2);
  SimPutU8(out, 70, 6);
  SimPutU8(out, 71, static_cast<uint8_t>(s.channels.size()));
  SimPutU32(out, 72, s.capability);
  SimPutU8(out, 76, static_cast<uint8_t>(s.controllerIndex + 1));
}

void KelSimEncodeChannel(const KelSimState& s, int channel, unsigned char* out) {
  std::memset(out, 0, kSimChannelInfoLen);
  const KelSimChannel& c = s.channels[channel];
  SimPutU32(out, 0, c.ioBase);
  SimPutU32(out, 4, c.controlBase);
  SimPutU32(out, 8, c.busMasterBase);
  SimPutU8(out, 12, c.cable);
  if (c.usable) {
    SimPutU8(out, 13, Nibbles(s, channel, 0));
    if (c.slaveValid) SimPutU8(out, 14, Nibbles(s, channel, 1));
  }
  SimPutU8(out, 16, static_cast<uint8_t>((c.slaveValid ? 0 : 1) | (c.usable ? 0 : 4)));
  SimPutU32(out, 20, static_cast<uint32_t>(channel));
}

void KelSimEncodeHub(const KelSimState& s, const KelSimHub& hub, unsigned char* out) {
  std::memset(out, 0, kSimHubInfoLen);
  uint32_t map = s.HubPortMap(hub);
  int count = hub.reportedCount >= 0 ? hub.reportedCount : __builtin_popcount(map);
  SimPutText(out, 0, hub.name, 32);
  SimPutU32(out, 32, hub.type);
  SimPutU32(out, 36, map);
  SimPutU32(out, 40, static_cast<uint32_t>(count));
  SimPutU32(out, 44, hub.vendor);
  SimPutU32(out, 48, hub.revision);
  SimPutU16(out, 52, hub.maxDevices);
}

void KelSimEncodeDevice(const KelSimDisk& d, unsigned char* out) {
  std::memset(out, 0, kSimDeviceInfoLen);
  SimPutU16(out, 0, d.cylinders);
  SimPutU16(out, 2, d.heads);
  SimPutU16(out, 4, d.sectors);
  SimPutU16(out, 6, kSimSectorSize);
  SimPutAtaText(out, 8, d.serial, 20);
  SimPutU64(out, 28, d.capacity);
  SimPutAtaText(out, 40, d.firmware, 8);
  SimPutU8(out, 48, 4);
  SimPutU8(out, 49, 2);
  SimPutU8(out, 50, 6);
  SimPutU8(out, 51, d.ncq);
  SimPutU8(out, 52, d.ncq);
  SimPutAtaText(out, 56, d.model, 40);
  SimPutU8(out, 210, d.type);
  SimPutU16(out, 214, static_cast<uint16_t>(KelSimDeviceNumber(d)));
  SimPutU8(out, 216, static_cast<uint8_t>(d.channel));
  SimPutU8(out, 217, static_cast<uint8_t>(d.side));
  SimPutU8(out, 218, static_cast<uint8_t>(d.port < 0 ? 0xFF : d.port));
}

void KelSimEncodeSmartValues(const KelSimDisk& d, unsigned char* out) {
  std::memset(out, 0, kSimSmartPageLen);
  SimPutU16(out, 0, 0x0010);  // page revision
  for (size_t i = 0; i < d.attrs.size() && i < kSimSmartAttrSlots; ++i) {
    unsigned char* e = out + 2 + 12 * i;
    e[0] = d.attrs[i].id;
    SimPutU16(e, 1, 0x0003);
    e[3] = d.attrs[i].value;
    e[4] = d.attrs[i].value;
  }
  SmartChecksum(out);
}

void KelSimEncodeSmartThresholds(const KelSimDisk& d, unsigned char* out) {
  std::memset(out, 0, kSimSmartPageLen);
  SimPutU16(out, 0, 0x0010);
  for (size_t i = 0; i < d.attrs.size() && i < kSimSmartAttrSlots; ++i) {
    unsigned char* e = out + 2 + 12 * i;
    e[0] = d.attrs[i].id;
    e[1] = d.attrs[i].threshold;
  }
  SmartChecksum(out);
}
