// Byte images of the records the simulated controller answers with. Fields the engine reads
// sit at their fixed offsets; the others are this controller's own choice, listed here so
// that a reader of a dump knows them. All multi-byte fields little-endian.
//
// Controller identity (84): +0 u32 PCI device id, +4 chip name (32), +36 manufacturer (32,
//   zero padded), +68 u8 PIO mode, +69 u8 multiword DMA, +70 u8 Ultra DMA, +71 u8 channel
//   count, +72 u32 capability word, +76 u8 controller index + 1.
// Channel (28): +0 u32 I/O base, +4 u32 control base, +8 u32 bus-master base, +12 u8 cable,
//   +13 master nibbles (low: device present, high: it is a hub), +14 the same for the
//   slave, +16 flags (bit 0: no slave position, bit 2: channel not usable), +20 u32 channel.
// Device hub (58): +0 name (32), +32 u32 type, +36 u32 occupied-port map, +40 u32 device
//   count, +44 u32 vendor id, +48 u32 revision, +52 u16 maximum devices.
// Disk identity (226): +0 u16 cylinders, +2 u16 heads, +4 u16 sectors per track, +6 u16
//   bytes per sector, +8 serial (20, ATA order), +28 u64 capacity in sectors, +40 firmware
//   (8, ATA order), +48 u8 PIO, +49 u8 DMA, +50 u8 UDMA mode, +51 u8 NCQ supported, +52 u8
//   NCQ enabled, +56 model (40, ATA order), +210 u8 device type (1: not configurable), +214
//   u16 device number, +216 u8 channel, +217 u8 side, +218 u8 hub port (0xFF direct).
// SMART pages (512): 30 entries of 12 bytes from +2 (id, flags u16, current, worst, raw
//   u48 in the values page; id, threshold in the thresholds page); +511 checksum making
//   the byte sum zero.
#ifndef KEL_SIM_SIM_RECORDS_H
#define KEL_SIM_SIM_RECORDS_H

#include "sim/sim_state.h"

constexpr int kSimControllerInfoLen = 84;
constexpr int kSimChannelInfoLen = 28;
constexpr int kSimHubInfoLen = 58;
constexpr int kSimDeviceInfoLen = 226;
constexpr int kSimSmartPageLen = 512;

void KelSimEncodeController(const KelSimState& s, unsigned char* out);
void KelSimEncodeChannel(const KelSimState& s, int channel, unsigned char* out);
void KelSimEncodeHub(const KelSimState& s, const KelSimHub& hub, unsigned char* out);
void KelSimEncodeDevice(const KelSimDisk& d, unsigned char* out);
void KelSimEncodeSmartValues(const KelSimDisk& d, unsigned char* out);
void KelSimEncodeSmartThresholds(const KelSimDisk& d, unsigned char* out);

#endif
