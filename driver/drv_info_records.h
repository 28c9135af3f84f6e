// Records the kernel driver fills when asked about the controller, its channels, device hubs,
// disks, hot-plug events and the real targets behind a node. They are byte images: every
// field is a byte or byte array at its fixed offset (alignment 1, no padding), multi-byte
// values little-endian, read through the accessors. Fields not named are the driver's own.
//
// _Controller_Info (84)            _Channel_Info (28)
//   +0   4 PCI device id             +0  4/4/4 I/O, control, bus-master bases
//   +4  32 chip name                 +12  1 cable type
//   +36 32 manufacturer text (the    +13  1 master: low nibble 1 = device, high nibble 1 = hub
//          first 16 are compared)    +14  1 slave: the same
//   +68  3 PIO, DMA, UDMA modes      +15  1 reserved
//   +71  1 channel count             +16  1 flags: bit 0 = no slave position,
//   +72  4 capability word                    bit 2 = channel not usable
//   +76  1 controller index + 1      +17 11 reserved
//   +77  7 reserved
//
// _DeviceHub_Info (58)             _Device_Info (226, ATA byte order in the texts)
//   +0  32 name                      +0  4 x u16 cylinders, heads,   +56 40 model name
//   +32  4 hub type                     sectors/track, bytes/sector  +96 114 reserved
//   +36  4 occupied port map         +8  20 serial no.              +210 1 device type
//   +40  4 number of devices         +28  8 capacity (u64, sectors)       (1: not
//   +44  4 vendor id                 +36  4 reserved                       configurable)
//   +48  4 revision                  +40  8 firmware                +214 2 device number
//   +52  2 maximum devices           +48  5 PIO, DMA, UDMA, NCQ     +216 10 reserved
//   +54  4 reserved                         supported, NCQ mode
// _Device_Info is 226 bytes because the disk-information parameter area is 230 bytes with
// the record from +4; the driver never writes beyond it.
//
// _Real_Targets_Pos_Info (60)      _CHECK_CTLER_HOTPLUG_EVENT_IOBUFFER (120)
//   +0   1 valid (non-zero)          +0  109 driver's own
//   +1   1 1 = RAID logical target   +109  1 1 = a disk was added or removed
//   +2  16 u16[8] device numbers     +110 10 driver's own
//   +18  8 u8[8] VD ids
//   +26  1 controller-internal index
//   +27 33 reserved
#ifndef KEL_DRIVER_DRV_INFO_RECORDS_H
#define KEL_DRIVER_DRV_INFO_RECORDS_H

#include <cstddef>
#include <cstdint>

#include "driver/drv_le.h"

struct _Controller_Info {
  uint8_t dwDeviceID[4];  // PCI device id
  uint8_t szChipName[32];
  uint8_t szManufacturer[16];
  uint8_t szManufacturerRest[16];  // the manufacturer text goes on for 32 bytes in all
  uint8_t byPIO;
  uint8_t byMultiDMA;
  uint8_t byUltraDMA;
  uint8_t byChannelNum;
  uint8_t dwCapability[4];
  uint8_t byCtlerIndex;  // one more than the index in the controller list
  uint8_t reserved77[7];

  uint32_t Capability() const { return KelLoadLe32(dwCapability); }
  void SetCapability(uint32_t v) { KelStoreLe32(dwCapability, v); }
  uint32_t DeviceID() const { return KelLoadLe32(dwDeviceID); }
};
static_assert(sizeof(_Controller_Info) == 84);
static_assert(offsetof(_Controller_Info, szManufacturer) == 36);
static_assert(offsetof(_Controller_Info, szChipName) == 4);
static_assert(offsetof(_Controller_Info, byPIO) == 68);
static_assert(offsetof(_Controller_Info, byChannelNum) == 71);
static_assert(offsetof(_Controller_Info, dwCapability) == 72);
static_assert(offsetof(_Controller_Info, byCtlerIndex) == 76);

struct _Channel_Info {
  uint8_t dwIoBase[4];
  uint8_t dwControlBase[4];
  uint8_t dwBusMasterBase[4];
  uint8_t byCableType;
  uint8_t byMaster;
  uint8_t bySlave;
  uint8_t reserved15;
  uint8_t byFlags;  // bit 0: no slave position; bit 2: channel not usable
  uint8_t reserved17[11];

  uint32_t IoBase() const { return KelLoadLe32(dwIoBase); }
  uint32_t ControlBase() const { return KelLoadLe32(dwControlBase); }
  uint32_t BusMasterBase() const { return KelLoadLe32(dwBusMasterBase); }
};
static_assert(sizeof(_Channel_Info) == 28);
static_assert(offsetof(_Channel_Info, byMaster) == 13);
static_assert(offsetof(_Channel_Info, byCableType) == 12);
static_assert(offsetof(_Channel_Info, bySlave) == 14);
static_assert(offsetof(_Channel_Info, byFlags) == 16);

struct _DeviceHub_Info {
  uint8_t szName[32];
  uint8_t dwHubType[4];
  uint8_t dwPortMap[4];
  uint8_t dwDeviceNum[4];
  uint8_t dwVendorID[4];
  uint8_t dwRevision[4];
  uint8_t wdMaxDeviceNum[2];
  uint8_t reserved54[4];

  uint32_t HubType() const { return KelLoadLe32(dwHubType); }
  uint32_t VendorID() const { return KelLoadLe32(dwVendorID); }
  uint32_t Revision() const { return KelLoadLe32(dwRevision); }
  uint16_t MaxDeviceNum() const { return KelLoadLe16(wdMaxDeviceNum); }
  uint32_t PortMap() const { return KelLoadLe32(dwPortMap); }
  uint32_t DeviceNum() const { return KelLoadLe32(dwDeviceNum); }
  void SetPortMap(uint32_t v) { KelStoreLe32(dwPortMap, v); }
  void SetDeviceNum(uint32_t v) { KelStoreLe32(dwDeviceNum, v); }
};
static_assert(sizeof(_DeviceHub_Info) == 58);
static_assert(offsetof(_DeviceHub_Info, dwPortMap) == 36);
static_assert(offsetof(_DeviceHub_Info, dwDeviceNum) == 40);
static_assert(offsetof(_DeviceHub_Info, dwVendorID) == 44);
static_assert(offsetof(_DeviceHub_Info, wdMaxDeviceNum) == 52);

struct _Device_Info {
  uint8_t wdCylinders[2];
  uint8_t wdHeads[2];
  uint8_t wdSectorsPerTrack[2];
  uint8_t wdBytesPerSector[2];
  uint8_t szSerialNumber[20];
  uint8_t dw64Capacity[8];  // disk size in 512-byte sectors
  uint8_t reserved36[4];
  uint8_t szFirmwareRev[8];
  uint8_t byPIO;
  uint8_t byDMA;
  uint8_t byUDMA;
  uint8_t byNCQSupported;
  uint8_t byNCQMode;
  uint8_t reserved53[3];
  uint8_t szModelName[40];
  uint8_t reserved96[114];
  uint8_t byDeviceType;  // 1: not configurable
  uint8_t reserved211[3];
  uint8_t wdDeviceNo[2];
  uint8_t reserved216[10];

  uint16_t Cylinders() const { return KelLoadLe16(wdCylinders); }
  uint16_t Heads() const { return KelLoadLe16(wdHeads); }
  uint16_t SectorsPerTrack() const { return KelLoadLe16(wdSectorsPerTrack); }
  uint16_t BytesPerSector() const { return KelLoadLe16(wdBytesPerSector); }

  uint16_t DeviceNo() const { return KelLoadLe16(wdDeviceNo); }
  void SetDeviceNo(uint16_t v) { KelStoreLe16(wdDeviceNo, v); }
  uint64_t Capacity() const { return KelLoadLe64(dw64Capacity); }
  void SetCapacity(uint64_t v) { KelStoreLe64(dw64Capacity, v); }
};
static_assert(sizeof(_Device_Info) == 226);
static_assert(offsetof(_Device_Info, dw64Capacity) == 28);
static_assert(offsetof(_Device_Info, szSerialNumber) == 8);
static_assert(offsetof(_Device_Info, szFirmwareRev) == 40);
static_assert(offsetof(_Device_Info, szModelName) == 56);
static_assert(offsetof(_Device_Info, wdDeviceNo) == 214);
static_assert(offsetof(_Device_Info, byPIO) == 48);
static_assert(offsetof(_Device_Info, byNCQMode) == 52);
static_assert(offsetof(_Device_Info, byDeviceType) == 210);

struct _Real_Targets_Pos_Info {
  uint8_t byValid;
  uint8_t byIsLogicTarget;
  uint8_t wdDeviceNo[8][2];
  uint8_t byVDId[8];
  uint8_t byCtlerInternalIndex;
  uint8_t reserved27[33];

  uint16_t DeviceNo(int i) const { return KelLoadLe16(wdDeviceNo[i]); }
  void SetDeviceNo(int i, uint16_t v) { KelStoreLe16(wdDeviceNo[i], v); }
  // Whether member entry i (0..7) names a disk or VD. The answer carries no member count,
  // and drivers fill the unused entries differently (device number 0xFFFF, or zeros), so
  // this is decided from the record itself; see drv_records.cc.
  bool EntryUsed(int i) const;
};
static_assert(sizeof(_Real_Targets_Pos_Info) == 60);
static_assert(offsetof(_Real_Targets_Pos_Info, wdDeviceNo) == 2);
static_assert(offsetof(_Real_Targets_Pos_Info, byVDId) == 18);
static_assert(offsetof(_Real_Targets_Pos_Info, byCtlerInternalIndex) == 26);

struct _CHECK_CTLER_HOTPLUG_EVENT_IOBUFFER {
  uint8_t reserved0[109];
  uint8_t byChanged;
  uint8_t reserved110[10];
};
static_assert(sizeof(_CHECK_CTLER_HOTPLUG_EVENT_IOBUFFER) == 120);
static_assert(offsetof(_CHECK_CTLER_HOTPLUG_EVENT_IOBUFFER, byChanged) == 109);

// The 32-bit sum that identifies a disk in its configuration sector: serial number (5 words),
// firmware revision (2) and model name (10), each 16-bit word byte-swapped out of ATA order
// first, read as little-endian 32-bit words and added with wrap-around. `info` is unchanged.
uint32_t MakeDeviceSerialChksum(const _Device_Info* info);

#endif
