// Input records of the driver's data-moving sub-commands: chunk synchronisation and its saved
// position, migration and its saved position, the multi-configuration write item, the last
// user data position and the logical-target keeper. Byte images like the info records: byte
// arrays at fixed offsets, multi-byte values little-endian through the accessors.
//
// _SYNC_RAID_IOBUFFER (42)                 _SYNC_SAVESTARTADDR_IOBUFFER (12)
//   +0   1 number of VD pairs (<= 4)         +0 1 controller-internal index
//   +1   1 0                                 +1 2 device number
//   +2  24 four _SYNC_VD_ENTRY (6 each):     +3 1 VD id
//          +0 ctrl-internal index, +1 0,     +4 8 sector reached
//          +2 u16 device no., +4 VD id, +5 0
//   +26  8 start sector                    _MIGRATE_RAID_IOBUFFER (20)
//   +34  8 sector count                      +0 1 ctrl-internal, +1 2 device, +3 1 VD id
//                                            +4 8 start sector, +12 8 sector count (<= 128)
// _MIGRATE_SAVESTARTADDR_IOBUFFER (12): as _SYNC_SAVESTARTADDR_IOBUFFER.
//
// _Multi_PD_Conf_Item (3084)              _LASTUSERDATA_POS_INFO (16)
//   +0     4 item length, 3084               +0 1 controller-internal index
//   +4     1 controller-internal index       +1 1 VD id
//   +5     1 0                               +2 2 device number
//   +6     2 device number                   +4 4 sector count
//   +8     1 first sector, 0                 +8 8 start sector
//   +9     1 sector count, 6
//   +10 3072 configuration area            _Specify_LUN_Pos_Info (6)
//   +3082  2 0                               +0 4 position: ctrl-internal index | VD id << 8
//                                            +4 2 device number
// The layouts of _LASTUSERDATA_POS_INFO and _Specify_LUN_Pos_Info beyond their sizes are this
// system's own choice; whatever answers the driver's commands must read them the same way.
#ifndef KEL_DRIVER_DRV_IO_RECORDS_H
#define KEL_DRIVER_DRV_IO_RECORDS_H

#include <cstddef>
#include <cstdint>

#include "driver/drv_le.h"

constexpr int MAX_VD_PER_ARRAY = 8;
constexpr int HD_SECTOR_SIZE = 512;
constexpr int KEL_CONF_SECTORS = 6;
constexpr int KEL_CONF_BYTES = KEL_CONF_SECTORS * HD_SECTOR_SIZE;  // 3072

struct _SYNC_VD_ENTRY {
  uint8_t byCtlerInternalIndex;
  uint8_t reserved1;
  uint8_t wdDeviceNo[2];
  uint8_t byVDId;
  uint8_t reserved5;

  uint16_t DeviceNo() const { return KelLoadLe16(wdDeviceNo); }
  void SetDeviceNo(uint16_t v) { KelStoreLe16(wdDeviceNo, v); }
};
static_assert(sizeof(_SYNC_VD_ENTRY) == 6);

struct _SYNC_RAID_IOBUFFER {
  uint8_t byPairNum;
  uint8_t reserved1;
  _SYNC_VD_ENTRY pairs[MAX_VD_PER_ARRAY / 2];
  uint8_t dw64StartLBA[8];
  uint8_t dw64SectorCount[8];

  uint64_t StartLBA() const { return KelLoadLe64(dw64StartLBA); }
  uint64_t SectorCount() const { return KelLoadLe64(dw64SectorCount); }
  void SetStartLBA(uint64_t v) { KelStoreLe64(dw64StartLBA, v); }
  void SetSectorCount(uint64_t v) { KelStoreLe64(dw64SectorCount, v); }
};
static_assert(sizeof(_SYNC_RAID_IOBUFFER) == 42);
static_assert(offsetof(_SYNC_RAID_IOBUFFER, pairs) == 2);
static_assert(offsetof(_SYNC_RAID_IOBUFFER, dw64StartLBA) == 26);
static_assert(offsetof(_SYNC_RAID_IOBUFFER, dw64SectorCount) == 34);

// Addressing of one VD plus a position; shared by the two save-position records.
struct _VD_POS_IOBUFFER {
  uint8_t byCtlerInternalIndex;
  uint8_t wdDeviceNo[2];
  uint8_t byVDId;
  uint8_t dw64Position[8];

  uint16_t DeviceNo() const { return KelLoadLe16(wdDeviceNo); }
  uint64_t Position() const { return KelLoadLe64(dw64Position); }
  void SetDeviceNo(uint16_t v) { KelStoreLe16(wdDeviceNo, v); }
  void SetPosition(uint64_t v) { KelStoreLe64(dw64Position, v); }
};
static_assert(sizeof(_VD_POS_IOBUFFER) == 12);
static_assert(offsetof(_VD_POS_IOBUFFER, wdDeviceNo) == 1);
static_assert(offsetof(_VD_POS_IOBUFFER, byVDId) == 3);
static_assert(offsetof(_VD_POS_IOBUFFER, dw64Position) == 4);

struct _SYNC_SAVESTARTADDR_IOBUFFER : _VD_POS_IOBUFFER {};
struct _MIGRATE_SAVESTARTADDR_IOBUFFER : _VD_POS_IOBUFFER {};
static_assert(sizeof(_SYNC_SAVESTARTADDR_IOBUFFER) == 12);
static_assert(sizeof(_MIGRATE_SAVESTARTADDR_IOBUFFER) == 12);

struct _MIGRATE_RAID_IOBUFFER {
  uint8_t byCtlerInternalIndex;
  uint8_t wdDeviceNo[2];
  uint8_t byVDId;
  uint8_t dw64StartLBA[8];
  uint8_t dw64SectorCount[8];

  uint16_t DeviceNo() const { return KelLoadLe16(wdDeviceNo); }
  uint64_t StartLBA() const { return KelLoadLe64(dw64StartLBA); }
  uint64_t SectorCount() const { return KelLoadLe64(dw64SectorCount); }
  void SetDeviceNo(uint16_t v) { KelStoreLe16(wdDeviceNo, v); }
  void SetStartLBA(uint64_t v) { KelStoreLe64(dw64StartLBA, v); }
  void SetSectorCount(uint64_t v) { KelStoreLe64(dw64SectorCount, v); }
};
static_assert(sizeof(_MIGRATE_RAID_IOBUFFER) == 20);
static_assert(offsetof(_MIGRATE_RAID_IOBUFFER, dw64StartLBA) == 4);
static_assert(offsetof(_MIGRATE_RAID_IOBUFFER, dw64SectorCount) == 12);

struct _Multi_PD_Conf_Item {
  uint8_t dwItemLen[4];
  uint8_t byCtlerInternalIndex;
  uint8_t reserved5;
  uint8_t wdDeviceNo[2];
  uint8_t startSector;
  uint8_t numSector;
  uint8_t data[KEL_CONF_BYTES];
  uint8_t reserved3082[2];

  uint32_t ItemLen() const { return KelLoadLe32(dwItemLen); }
  uint16_t DeviceNo() const { return KelLoadLe16(wdDeviceNo); }
  void SetItemLen(uint32_t v) { KelStoreLe32(dwItemLen, v); }
  void SetDeviceNo(uint16_t v) { KelStoreLe16(wdDeviceNo, v); }
};
static_assert(sizeof(_Multi_PD_Conf_Item) == 3084);
static_assert(offsetof(_Multi_PD_Conf_Item, byCtlerInternalIndex) == 4);
static_assert(offsetof(_Multi_PD_Conf_Item, wdDeviceNo) == 6);
static_assert(offsetof(_Multi_PD_Conf_Item, startSector) == 8);
static_assert(offsetof(_Multi_PD_Conf_Item, numSector) == 9);
static_assert(offsetof(_Multi_PD_Conf_Item, data) == 10);

struct _LASTUSERDATA_POS_INFO {
  uint8_t byCtlerInternalIndex;
  uint8_t byVDId;
  uint8_t wdDeviceNo[2];
  uint8_t dwSectorCount[4];
  uint8_t dw64StartLBA[8];

  uint16_t DeviceNo() const { return KelLoadLe16(wdDeviceNo); }
  uint32_t SectorCount() const { return KelLoadLe32(dwSectorCount); }
  uint64_t StartLBA() const { return KelLoadLe64(dw64StartLBA); }
  void SetDeviceNo(uint16_t v) { KelStoreLe16(wdDeviceNo, v); }
  void SetSectorCount(uint32_t v) { KelStoreLe32(dwSectorCount, v); }
  void SetStartLBA(uint64_t v) { KelStoreLe64(dw64StartLBA, v); }
};
static_assert(sizeof(_LASTUSERDATA_POS_INFO) == 16);
static_assert(offsetof(_LASTUSERDATA_POS_INFO, wdDeviceNo) == 2);
static_assert(offsetof(_LASTUSERDATA_POS_INFO, dw64StartLBA) == 8);

struct _Specify_LUN_Pos_Info {
  uint8_t dwLunPos[4];
  uint8_t wdDeviceNo[2];

  uint32_t LunPos() const { return KelLoadLe32(dwLunPos); }
  uint16_t DeviceNo() const { return KelLoadLe16(wdDeviceNo); }
  void SetLunPos(uint32_t v) { KelStoreLe32(dwLunPos, v); }
  void SetDeviceNo(uint16_t v) { KelStoreLe16(wdDeviceNo, v); }
};
static_assert(sizeof(_Specify_LUN_Pos_Info) == 6);

#endif
