// Limits and return codes shared by every part of the RAID engine and its facade.
#ifndef KEL_ENGINE_ENGINE_DEFS_H
#define KEL_ENGINE_ENGINE_DEFS_H

#include <cstdint>

#include "driver/drv_io_records.h"  // MAX_VD_PER_ARRAY, HD_SECTOR_SIZE
#include "driver/ucmd_packet.h"     // MAX_CONTROLLERS
#include "sharedlib/raid_records.h"

constexpr int ZR_MAX_CONTROLLERS = 1;
constexpr int ZR_MAX_DEVICES_INDEX = 32;  // PD indexes 0..31
constexpr int MAX_PDS = ZR_MAX_DEVICES_INDEX;
constexpr int MAX_ARRAYS = 32;            // arrays listed in name order
constexpr int MAX_ARRAY_SLOTS = MAX_ARRAYS * 2;  // array indexes 0..63
constexpr int MAX_VDS = 64;                // VD indexes 0..63
constexpr int MAX_VD_PER_PD = 2;
constexpr int MAX_CHANNELS = 2;
constexpr int MAX_HUB_PORTS = 32;             // slots of a hub's disk table
constexpr int MAX_DEVICES_PER_DEVICEHUB = 4;  // ports a hub really has: port map bits 0..3
constexpr int MAX_FREE_SPACE_PER_PD = 5;
// Capacities of the scratch tables a rescan builds into.
constexpr int TMP_MAX_PDS = 16;
constexpr int TMP_MAX_VDS = 32;
constexpr int TMP_MAX_ARRAYS = 32;

constexpr int KEL_CONF_AREA_SIZE = 6 * HD_SECTOR_SIZE;  // 3072
constexpr uint64_t KEL_PD_RESERVED_SECTORS = 32;        // never part of a VD or free area

// Engine return codes.
enum KelEngineCode : int {
  ZR_OK = 0,
  ZR_NOT_INIT = 100,
  ZR_START_FAILED = 101,
  ZR_ALREADY_INIT = 102,
  ZR_NO_DRIVER = 103,
  ZR_LOCK_FAILED = 106,
  ZR_WLOCK_FAILED = 107,
  ZR_NO_OBJECT = 200,  // no such array or disk, or index out of range
  ZR_BAD_PARAM = 201,
  ZR_WRONG_TYPE = 202,
  ZR_MISSING_MEMBER = 203,
  ZR_NO_REPAIR_DISK = 204,
  ZR_PD_UNREADABLE = 205,
  ZR_NO_SPARE = 206,
  ZR_NO_FREE_SPACE = 207,
  ZR_TOO_SMALL = 208,
  ZR_BAD_STRIPE = 209,
  ZR_BAD_SIZE = 211,
  ZR_ODD_DISK_COUNT = 212,
  ZR_TOO_MANY_DISKS = 213,
  ZR_TOO_FEW_DISKS = 214,
  ZR_PD_BUSY = 215,
  ZR_MAGIC_MISMATCH = 216,
  ZR_SOME_NOT_REMOVED = 217,
  ZR_SYSTEM_DISK = 218,
  ZR_SYSTEM_ARRAY = 219,
  ZR_NO_SYNC_NEEDED = 300,
  ZR_SYNC_SAVE_FAILED = 303,
  ZR_SYNC_FINISHED = 304,
  ZR_NOT_REPAIRABLE = 400,
  ZR_NOTHING_TO_REPAIR = 401,
  ZR_MIG_SAVE_FAILED = 501,
  ZR_MIG_CMD_FAILED = 502,
  ZR_MIG_FINISHED = 503,  // migration finished (step result)
  ZR_RPL_EXISTS = 504,      // a replacement is already set up
  ZR_RPL_NOT_SOURCE = 505,  // the source disk is not marked as a replacement source
  ZR_RPL_NOT_TARGET = 506,  // the target disk is not marked as a replacement target
  ZR_RPL_CMD_FAILED = 507,  // the driver refused a copy command
  ZR_RPL_FINISHED = 508,    // replacement finished (step result)
  ZR_PD_FLAGGED = 800,
  ZR_SMART_BAD = 803,
  ZR_SMART_NOT_DISK = 804,
  ZR_SMART_FAILED = 805,
  ZR_HOTPLUG_FAILED = 806,
  ZR_RELOAD_FAILED = 809,
  ZR_DRIVER_FAILED = 900,
};

// Values of the arrays' task word (nSyncMigReplacing).
constexpr int KEL_TASK_NONE = 0;
constexpr int KEL_TASK_SYNC = 1;
constexpr int KEL_TASK_MIGRATE = 2;
constexpr int KEL_TASK_REPLACE = 3;

// Format versions of an array.
constexpr uint8_t KEL_FORMAT_CURRENT = 16;
constexpr uint8_t KEL_FORMAT_ZRAID = 0;
constexpr uint8_t KEL_FORMAT_PD = 255;

// Presence map operations on a _Kel_Index_Map. Indexes 128 and above are refused: Set and
// Clear return 0, Check returns -1.
int SetIndexMapBit(_Kel_Index_Map* map, unsigned char n);
int ClearIndexMapBit(_Kel_Index_Map* map, unsigned char n);
int CheckIndexMapBit(const _Kel_Index_Map* map, unsigned char n);

// Creation modes (request parameter B): an empty array on free space, or an array built
// around the data of the first listed disk, spread over the others by a later migration.
constexpr uint32_t KEL_CREATE_EMPTY = 0;
constexpr uint32_t KEL_CREATE_KEEP_DATA = 1;

// Disks one creation request can name.
constexpr int KEL_MAX_CREATE_DISKS = 8;

// One creation request, as the facade hands it to the device manager.
struct _CREATE_ARRAY_PDS_INFO {
  int32_t nPDNum;
  _Index_Plus_t pds[KEL_MAX_CREATE_DISKS];
  char arrayName[24];
  uint64_t dw64Size;  // MiB
  uint32_t paramA;    // RAID 5: level parameter
  uint32_t paramB;    // KEL_CREATE_*
  uint32_t paramC;    // RAID 5: the second option byte
  uint8_t raidType;   // KEL_RAID_*
  uint16_t stripeKiB;  // 0 where the level has none
};

#endif
