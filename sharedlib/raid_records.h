// The RAID engine's info records as they travel in the payloads of the RAID query commands:
// one definition for the service that fills them and the clients that decode them. Every
// record is little-endian and laid out exactly as the static_asserts below fix it, padding
// included; the hosts this runs on are little-endian, so the fields are plain members.
// Strings are NUL-padded byte arrays and are not necessarily terminated.
#ifndef KEL_SHAREDLIB_RAID_RECORDS_H
#define KEL_SHAREDLIB_RAID_RECORDS_H

#include <cstddef>
#include <cstdint>
#include <cstring>

// A reference to a disk, VD or array: its table slot and the magic number the client last
// saw. A client that sends back a stale magic is refused.
struct _Index_Plus_t {
  int32_t nIndex;
  uint16_t wdMagicNum;
  uint16_t reserved;
};
static_assert(sizeof(_Index_Plus_t) == 8);

// A 128-slot presence map: map_Low64 holds slots 0..63 (bit i), map_High64 slots 64..127.
struct _Kel_Index_Map {
  uint64_t map_High64;
  uint64_t map_Low64;
};
static_assert(sizeof(_Kel_Index_Map) == 16);

struct _zr_controller_info {
  uint32_t deviceID;  // PCI device id
  char chipName[32];
  char manufactory[32];
  uint8_t support_PIO;
  uint8_t support_MutiDMA;
  uint8_t support_UltraDMA;
  uint8_t channel_Num;  // usable channels found by the scan
  uint32_t bSupportRaid0Migration;
  uint32_t bSupportRAID5;
  uint32_t bSupportRAID6;
  uint32_t index;
};
static_assert(sizeof(_zr_controller_info) == 88);
static_assert(offsetof(_zr_controller_info, support_PIO) == 68);
static_assert(offsetof(_zr_controller_info, index) == 84);

struct _zr_channel_info {
  uint32_t index;  // position among the usable channels
  uint32_t ctrlerIndex;
  uint32_t io_Base;
  uint32_t control_Base;
  uint32_t BusMaster_Base;
  uint8_t cableType;
  uint8_t bMaster_Exist;  // 0 nothing, 1 a disk, 17 a device hub
  uint8_t bSlave_Exist;
  uint8_t pad23;
  uint32_t bSlaveValid;
};
static_assert(sizeof(_zr_channel_info) == 28);
static_assert(offsetof(_zr_channel_info, cableType) == 20);
static_assert(offsetof(_zr_channel_info, bSlaveValid) == 24);

// Values of bMaster_Exist / bSlave_Exist.
constexpr uint8_t KEL_CHAN_POS_EMPTY = 0;
constexpr uint8_t KEL_CHAN_POS_DISK = 1;
constexpr uint8_t KEL_CHAN_POS_HUB = 17;

struct _zr_device_hub_info_t {
  char DeviceHubName[32];
  uint8_t controllerindex;
  uint8_t channelindex;
  uint8_t ismaster;
  uint8_t hubType;
  uint32_t deviceVenderID;
  uint32_t revisionInfo;
  uint16_t nValidDeviceNum;
  uint16_t nMaxDeviceNum;
};
static_assert(sizeof(_zr_device_hub_info_t) == 48);
static_assert(offsetof(_zr_device_hub_info_t, deviceVenderID) == 36);
static_assert(offsetof(_zr_device_hub_info_t, nValidDeviceNum) == 44);

// Bits of _zr_device_info::status (the disk's flag word).
constexpr uint16_t KEL_PD_FLAG_SET_ASIDE = 1u << 0;  // synchronisation and repairs refuse it
constexpr uint16_t KEL_PD_FLAG_HEALTH_BAD = 1u << 2;
constexpr uint16_t KEL_PD_FLAG_UNREADABLE = 1u << 3;
constexpr uint16_t KEL_PD_FLAG_CLEAR_PARTITION = 1u << 4;
// The disk's configuration area contradicts itself (VD count against VD map, a block in a
// role the disk cannot have). The disk is listed and its areas are kept as used, but it
// takes no part in arrays and nothing is created on it until its area is cleared.
constexpr uint16_t KEL_PD_FLAG_CONF_CONFLICT = 1u << 5;

struct _zr_device_info {
  char serialNumber[32];
  char firmwareRevison[16];
  char modelName[64];
  char minorRevisonNumber[64];
  uint32_t cylinderNumber;
  uint32_t headNumber;
  uint32_t sectorNumberPerTrack;
  uint32_t capacityLow;  // sectors
  uint32_t capacityHigh;
  uint32_t realCapacityLow;
  uint32_t realCapacityHigh;
  uint16_t bytesPerSector;
  uint8_t pad206[2];
  uint8_t supportPIOTransferMode;
  uint8_t supportMultiDMAMode;
  uint8_t supportUltraDMAMode;
  uint8_t currentTransferMode;
  uint8_t ctrler_index;
  uint8_t chan_index;  // the channel's position among the usable channels
  uint8_t deviceRoot;  // 0 attached directly, else the hub type + 1
  uint8_t PortNum;     // hub port, 255 when attached directly
  uint32_t master;
  uint32_t index;  // PD index
  uint16_t magicNum;
  uint8_t vdNum;
  uint8_t pad227;
  uint8_t deviceType;
  uint8_t systemDisk;  // 2: holds the root file system
  uint16_t status;     // KEL_PD_FLAG_* bits
  uint32_t bConfigTarvo;
  uint32_t bDevInRaid;
  uint16_t array_index;
  uint16_t array_position;
  uint8_t VendorAcoustic;
  uint8_t CurrentAcoustic;
  uint8_t pad246[6];
  uint32_t bInReplacement;
  uint32_t bReplacedSrcPD;
  uint32_t bInReplacing;
  uint8_t replaceID;
  uint8_t byNCQMode;
  uint8_t pad266[2];
  uint32_t bSupportNCQ;
  uint8_t freeProtectNum;
  uint8_t pad273[3];

  uint64_t Capacity() const { return (uint64_t{capacityHigh} << 32) | capacityLow; }
  void SetCapacity(uint64_t v) {
    capacityLow = static_cast<uint32_t>(v);
    capacityHigh = static_cast<uint32_t>(v >> 32);
  }
  uint64_t RealCapacity() const { return (uint64_t{realCapacityHigh} << 32) | realCapacityLow; }
  void SetRealCapacity(uint64_t v) {
    realCapacityLow = static_cast<uint32_t>(v);
    realCapacityHigh = static_cast<uint32_t>(v >> 32);
  }
};
static_assert(sizeof(_zr_device_info) == 276);
static_assert(offsetof(_zr_device_info, cylinderNumber) == 176);
static_assert(offsetof(_zr_device_info, capacityLow) == 188);
static_assert(offsetof(_zr_device_info, realCapacityLow) == 196);
static_assert(offsetof(_zr_device_info, bytesPerSector) == 204);
static_assert(offsetof(_zr_device_info, supportPIOTransferMode) == 208);
static_assert(offsetof(_zr_device_info, ctrler_index) == 212);
static_assert(offsetof(_zr_device_info, master) == 216);
static_assert(offsetof(_zr_device_info, index) == 220);
static_assert(offsetof(_zr_device_info, magicNum) == 224);
static_assert(offsetof(_zr_device_info, vdNum) == 226);
static_assert(offsetof(_zr_device_info, deviceType) == 228);
static_assert(offsetof(_zr_device_info, status) == 230);
static_assert(offsetof(_zr_device_info, bConfigTarvo) == 232);
static_assert(offsetof(_zr_device_info, array_index) == 240);
static_assert(offsetof(_zr_device_info, VendorAcoustic) == 244);
static_assert(offsetof(_zr_device_info, bInReplacement) == 252);
static_assert(offsetof(_zr_device_info, replaceID) == 264);
static_assert(offsetof(_zr_device_info, bSupportNCQ) == 268);
static_assert(offsetof(_zr_device_info, freeProtectNum) == 272);

// Bits of the array status word (_zr_array_info::status).
constexpr uint16_t KEL_RA_STATUS_MISSING = 1u << 0;     // a member is missing (degraded)
constexpr uint16_t KEL_RA_STATUS_INVALID = 1u << 1;     // a member is not valid
constexpr uint16_t KEL_RA_STATUS_NEED_SYNC = 1u << 2;   // needs synchronisation
constexpr uint16_t KEL_RA_STATUS_BIT3 = 1u << 3;

// RAID type codes.
constexpr uint8_t KEL_RAID_0 = 0;
constexpr uint8_t KEL_RAID_1 = 1;
constexpr uint8_t KEL_RAID_5 = 5;
constexpr uint8_t KEL_RAID_SPAN = 8;
constexpr uint8_t KEL_RAID_01 = 9;
constexpr uint8_t KEL_RAID_PD = 255;  // a disk without RAID configuration

struct _zr_array_info {
  uint16_t status;
  uint8_t raidType;
  uint8_t diskNum;
  uint32_t capacityLow;  // sectors
  uint32_t capacityHigh;
  uint32_t realCapacityLow;
  uint32_t realCapacityHigh;
  uint32_t stripeSize;  // KiB
  uint32_t blockSize;
  uint32_t bNeedMigration;
  uint32_t bNeedInit;
  uint32_t bOptimized;
  uint8_t systemDisk;
  uint8_t raid_index;
  uint16_t magicNum;
  uint32_t index;
  uint8_t version;  // 16 current layout, 0 converted from the older layout, 255 plain disk
  char arrayName[24];
  uint8_t pad73[3];
  uint32_t bInReplacement;
  uint32_t GUID[8];  // member VD ids in array order
  uint32_t nSyncMigReplacing;  // 0 idle, 1 synchronising, 2 migrating, 3 replacing

  uint64_t Capacity() const { return (uint64_t{capacityHigh} << 32) | capacityLow; }
  void SetCapacity(uint64_t v) {
    capacityLow = static_cast<uint32_t>(v);
    capacityHigh = static_cast<uint32_t>(v >> 32);
  }
};
static_assert(sizeof(_zr_array_info) == 116);
static_assert(offsetof(_zr_array_info, stripeSize) == 20);
static_assert(offsetof(_zr_array_info, systemDisk) == 40);
static_assert(offsetof(_zr_array_info, magicNum) == 42);
static_assert(offsetof(_zr_array_info, index) == 44);
static_assert(offsetof(_zr_array_info, version) == 48);
static_assert(offsetof(_zr_array_info, arrayName) == 49);
static_assert(offsetof(_zr_array_info, bInReplacement) == 76);
static_assert(offsetof(_zr_array_info, GUID) == 80);
static_assert(offsetof(_zr_array_info, nSyncMigReplacing) == 112);

struct _zr_vd_info {
  char VDName[24];
  uint16_t status;
  uint8_t ctrler_index;
  uint8_t chan_index;
  uint32_t master;
  uint32_t vd_index_on_pd;
  uint32_t pd_index;
  uint32_t index;
  uint32_t bVDInRaid;  // always 1
  uint8_t systemVD;
  uint8_t pad49;
  uint16_t array_position;
  uint16_t array_index;
  uint8_t pad54[2];
  uint64_t Capacity;
  uint64_t StartSector;
};
static_assert(sizeof(_zr_vd_info) == 72);
static_assert(offsetof(_zr_vd_info, master) == 28);
static_assert(offsetof(_zr_vd_info, bVDInRaid) == 44);
static_assert(offsetof(_zr_vd_info, array_position) == 50);
static_assert(offsetof(_zr_vd_info, Capacity) == 56);

// The compact VD record of the VD query (60 bytes at data[4] of the request and reply).
// Fields at unaligned offsets are byte arrays with accessors.
struct KelVDInfo {
  char VDName[24];
  uint8_t status[2];
  uint8_t ctrler_index;
  uint8_t chan_index;
  uint8_t master;
  uint8_t vd_index_on_pd;
  uint8_t pd_index;
  uint8_t unused31;
  uint8_t index[4];
  uint8_t bVDInRaid;
  uint8_t systemVD;
  uint8_t array_position;
  uint8_t array_index;
  uint8_t unused40[4];
  uint8_t Capacity[8];
  uint8_t StartSector[8];

  uint16_t Status() const { return Load<uint16_t>(status); }
  uint32_t Index() const { return Load<uint32_t>(index); }
  uint64_t CapacityValue() const { return Load<uint64_t>(Capacity); }
  uint64_t StartSectorValue() const { return Load<uint64_t>(StartSector); }
  void SetStatus(uint16_t v) { Store(status, v); }
  void SetIndex(uint32_t v) { Store(index, v); }
  void SetCapacity(uint64_t v) { Store(Capacity, v); }
  void SetStartSector(uint64_t v) { Store(StartSector, v); }

 private:
  template <typename T>
  static T Load(const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }
  template <typename T>
  static void Store(uint8_t* p, T v) {
    std::memcpy(p, &v, sizeof v);
  }
};
static_assert(sizeof(KelVDInfo) == 60);
static_assert(offsetof(KelVDInfo, status) == 24);
static_assert(offsetof(KelVDInfo, index) == 32);
static_assert(offsetof(KelVDInfo, bVDInRaid) == 36);
static_assert(offsetof(KelVDInfo, Capacity) == 44);
static_assert(offsetof(KelVDInfo, StartSector) == 52);

constexpr int ZR_MAX_PARTITIONS = 26;
constexpr int ZR_MAX_PARTITION_NAME_LENGTH = 6;  // including the terminating NUL

struct _zr_partition_info {
  int32_t count;
  char names[ZR_MAX_PARTITIONS][ZR_MAX_PARTITION_NAME_LENGTH];  // "sda1", without "/dev/"
};
static_assert(sizeof(_zr_partition_info) == 160);

// One protected free area of a disk: free space kept for a running migration.
struct _zr_protect_free_info_t {
  uint64_t startSector;
  uint64_t length;
};
static_assert(sizeof(_zr_protect_free_info_t) == 16);

// The size range (MiB) a create request must fall in.
struct _Array_Create_Info_t {
  uint64_t nMinArraySize;
  uint64_t nMaxArraySize;
};
static_assert(sizeof(_Array_Create_Info_t) == 16);

// Background work to resume: a count byte followed by up to 32 entries of 20 bytes.
struct _LIB_Need_SMR_Entry {
  uint8_t taskType;  // 1 RAID 1 sync, 2 RAID 0+1 sync, 3 RAID 5 sync, 4 migration, 5 replace, 9 other sync
  uint8_t reserved1[3];
  uint32_t index;
  uint16_t magic;
  uint16_t reserved2;
  uint32_t third;  // target disk index, or the sync status for sync entries
  uint16_t targetMagic;
  uint16_t reserved3;
};
static_assert(sizeof(_LIB_Need_SMR_Entry) == 20);

constexpr int KEL_SMR_MAX_ENTRIES = 32;

struct _LIB_Need_SMR_Info_t {
  uint8_t bytes[1 + KEL_SMR_MAX_ENTRIES * sizeof(_LIB_Need_SMR_Entry)];

  int Count() const { return bytes[0]; }
  _LIB_Need_SMR_Entry Entry(int i) const {
    _LIB_Need_SMR_Entry e;
    std::memcpy(&e, bytes + 1 + i * sizeof e, sizeof e);
    return e;
  }
  // False when the record is full.
  bool Append(const _LIB_Need_SMR_Entry& e) {
    if (bytes[0] >= KEL_SMR_MAX_ENTRIES) return false;
    std::memcpy(bytes + 1 + bytes[0] * sizeof e, &e, sizeof e);
    ++bytes[0];
    return true;
  }
};
static_assert(sizeof(_LIB_Need_SMR_Info_t) == 641);

#endif
