// What kelctl's RAID commands read from the service, as the records arrived; the output
// formatter decodes them.
#ifndef KEL_TOOLS_KELCTL_KELCTL_RAID_OUTCOME_H
#define KEL_TOOLS_KELCTL_KELCTL_RAID_OUTCOME_H

#include <cstdint>
#include <vector>

#include "sharedlib/raid_records.h"

// A hub record with the channel position it was read from.
struct KelctlHub {
  unsigned int controller = 0;
  unsigned int channel = 0;
  unsigned int position = 0;  // 0 master, 1 slave
  _zr_device_hub_info_t info{};
};

// One member of an array: the position it was found at and its disk.
struct KelctlMember {
  unsigned int position = 0;
  _zr_device_info disk{};
};

// A disk's health as the all-disks check saw it: `code` 0 and the SMART status byte, or
// the return code of the query that failed for this disk.
struct KelctlDiskHealth {
  unsigned int index = 0;
  int code = 0;
  unsigned char status = 0;
  _zr_device_info disk{};  // valid when the disk record could be read
  bool haveDisk = false;
};

struct KelctlRaidData {
  std::vector<_zr_controller_info> controllers;
  std::vector<_zr_channel_info> channels;
  std::vector<KelctlHub> hubs;
  _Kel_Index_Map diskMap{};
  std::vector<_zr_device_info> disks;  // disks, disk, and the disk of free/partitions/smart
  std::vector<unsigned char> sortedIndexes;
  std::vector<_zr_array_info> arrays;  // arrays, array, and the array of vds/partitions
  std::vector<KelctlMember> members;   // array N
  std::vector<KelVDInfo> vds;          // vds, free
  std::vector<_zr_protect_free_info_t> protectedAreas;  // free
  _zr_partition_info partitions{};
  unsigned char smartStatus = 0;
  std::vector<unsigned char> smartPage;  // smart values / thresholds: the 512-byte page
  std::vector<KelctlDiskHealth> health;  // smart check
  int smartCheckCode = 0;                // smart check: 0 or 803
  // The command failed but what it read is worth showing (smart check with a sick disk).
  bool showOnFailure = false;
};

// What kelctl's change commands read and did.
struct KelctlChangeData {
  _Array_Create_Info_t range{};          // create-size, and create without --size
  uint64_t sizeMiB = 0;                  // create: the size asked for
  _zr_array_info created{};              // create: the new array as listed afterwards
  unsigned int createdIndex = 0;
  std::vector<unsigned int> arrays;      // remove, spare, repair: the array indexes resolved
  std::vector<int> results;              // remove: each array's own code
  unsigned char repairKind = 0;          // repair
};

#endif
