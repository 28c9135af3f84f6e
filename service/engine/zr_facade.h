// The flat interface through which the service uses the RAID engine: one function per
// operation, each checking that the engine runs and its plain arguments, then calling the
// device manager's locked method. Every function returns an engine code (engine_defs.h):
// 100 while the engine is not initialised, 201 for a required pointer that is null, 200 for
// an index out of range (arrays 0..63, disks 0..31, controller 0, channels 0..1, hub
// positions 0..1). An _Index_Plus_t is passed by value.
#ifndef KEL_SERVICE_ENGINE_ZR_FACADE_H
#define KEL_SERVICE_ENGINE_ZR_FACADE_H

#include <cstdint>

#include "engine/engine_defs.h"
#include "driver/drv_info_records.h"
#include "sharedlib/raid_records.h"

struct _PD_Config_sector_;

// Lifecycle.
int zr_init();
int zr_exit();
// With `reboot` set: reboots the host when `user` is "root" and `passwd` matches the host's
// password for it (else 201). Without: unloads and reloads the RAID driver module (809 when
// either step fails, the engine keeps running on its old model), then restarts the engine.
int zr_reload_driver(int reboot, const char* user, const char* passwd);
int zr_get_version(int* major, int* minor, int* build);
// Rebuilds the model from a fresh scan: 0; 900 when the rebuild failed (the driver did not
// answer: the model stays as it was); 106 when the model lock could not be taken.
int zr_update_hardware_info();
bool zr_is_initialised();

// Queries.
int zr_get_controller_num(int* count);
int zr_get_controller_info(int ctrl, _zr_controller_info* info);
int zr_get_channel_info(int ctrl, int chan, _zr_channel_info* info);
int zr_get_device_hub_Info(int ctrl, int chan, int hub, _zr_device_hub_info_t* info);
int zr_get_device_num_TARVOII(_Kel_Index_Map* map);
int zr_get_device_info(int pd, _zr_device_info* info);
// `position` 0..7 within the channel: side × 4 + hub port.
int zr_get_device_info_by_phy_address(int ctrl, int chan, int position, _zr_device_info* info);
// `pos` 0..15, or 255 for the disk of a plain-disk entry.
int zr_get_device_info_by_array_pos(int array, int pos, _zr_device_info* info);
int zr_get_array_num_TARVOII(_Kel_Index_Map* map);
int zr_get_array_info(int array, _zr_array_info* info);
// Writes 32 bytes: the array indexes in name order, 255 for each empty position.
int zr_get_sorted_array_index(int* count, unsigned char* indexes);
int zr_get_vd_info_by_pd_logic_index(int pd, int slot, _zr_vd_info* info);
int zr_get_vd_info_by_array_pos(int array, int pos, _zr_vd_info* info);
// Fills one record per protected free area of the disk (the disk record's freeProtectNum
// tells how many pointers the table must hold).
int zr_get_protect_free_info_by_pd(int pd, _zr_protect_free_info_t** table);
// `kind` 0: a disk (index 0..31); 1: an array (0..63); others 201.
int zr_get_partition_info(int kind, _Index_Plus_t ref, _zr_partition_info* info);
int zr_get_Array_magicNum(int array, uint16_t* magic);
int zr_get_PD_magicNum(int pd, uint16_t* magic);
int zr_get_SMR_Handles(_LIB_Need_SMR_Info_t* info);

// SMART. The status query fills `status` (1 byte): 0 healthy, 2 an attribute below its
// threshold, 3 the disk reports a failure. zr_exec_SMART switches SMART on for every disk
// and returns 803 when any disk's status is not 0.
int zr_get_PD_SMART_status_TARVOII(_Index_Plus_t pd, uint8_t* status);
int zr_exec_SMART_READ_DATA(_Index_Plus_t pd, uint8_t* page512);
int zr_exec_SMART_READ_THRESHOLD(_Index_Plus_t pd, uint8_t* page512);
int zr_exec_SMART_cmd(_Index_Plus_t pd, uint8_t* cmd, uint8_t* data);
int zr_exec_SMART();

// Hot-plug and device nodes.
int zr_check_hotplug_byctlIndex(int ctrl, _CHECK_CTLER_HOTPLUG_EVENT_IOBUFFER* info);

// Array creation. `pds` lists `n` member disks with the magic numbers the caller saw; the
// size is in MiB (two 32-bit halves); `name` is read up to its terminator, at most 23
// bytes; `B` is the creation mode (KEL_CREATE_*). RAID 5's `A` is its level parameter and
// `C` the second option byte.
int zr_create_span_TARVOII(int n, const _Index_Plus_t* pds, uint32_t sizeLow, uint32_t sizeHigh,
                           const char* name, int B);
int zr_create_stripe_TARVOII(int n, const _Index_Plus_t* pds, uint32_t sizeLow,
                             uint32_t sizeHigh, int stripe, const char* name, int B);
int zr_create_mirror_TARVOII(int n, const _Index_Plus_t* pds, uint32_t sizeLow,
                             uint32_t sizeHigh, const char* name, int B);
int zr_create_raid01_TARVOII(int n, const _Index_Plus_t* pds, uint32_t sizeLow,
                             uint32_t sizeHigh, int stripe, const char* name, int B);
int zr_create_raid5_TARVOII(int n, const _Index_Plus_t* pds, uint32_t sizeLow, uint32_t sizeHigh,
                            int stripe, int A, const char* name, int B, int C);
// The size range (MiB) an array of RAID type `type` (KEL_RAID_*) can have on the disks in
// creation mode `mode`.
int zr_get_array_create_info_by_pds(int n, const _Index_Plus_t* pds, int type, int mode,
                                    _Array_Create_Info_t* info);

// Removal: results[i] receives the code of arrays[i].
int zr_remove_raid_TARVOII(int n, const _Index_Plus_t* arrays, int* results);
// Wipes the configuration area of up to 16 disks.
int zr_clear_PD_Conf(int n, const _Index_Plus_t* pds);
int zr_get_PD_Conf(_Index_Plus_t pd, _PD_Config_sector_* out);

// Spares and repairs of the configuration (the data follows by synchronisation).
int zr_mirror_add_spare_TARVOII(_Index_Plus_t array, _Index_Plus_t pd);
int zr_mirror_remove_spare_TARVOII(_Index_Plus_t array);
int zr_repair_mirror_with_spare_TARVOII(_Index_Plus_t array);
int zr_repair_mirror_with_new_disk_TARVOII(_Index_Plus_t array, _Index_Plus_t pd);
int zr_repair_raid5_with_new_disk_TARVOII(_Index_Plus_t array, _Index_Plus_t pd);
int zr_repair_broken_raid01_TARVOII(_Index_Plus_t array, int n, const _Index_Plus_t* pds);

// Background steps: one chunk per call (KelDeviceManage::SyncMirrorL and alike for the
// results). `pos` (may be null) receives the sector reached, `percent` the percentage; a
// call with both null cancels the running task. RAID 0+1: `percent` has four slots and
// `flag` (1..3, else 201) selects the mirror pairs.
int zr_sync_mirror_TARVOII(_Index_Plus_t array, uint64_t* pos, uint16_t* percent);
int zr_sync_raid5_TARVOII(_Index_Plus_t array, uint64_t* pos, uint16_t* percent);
int zr_sync_RAID01_TARVOII(_Index_Plus_t array, uint64_t* pos, uint16_t* percent, uint16_t flag);
int zr_migration_raid_TARVOII(_Index_Plus_t array, uint64_t* pos, uint16_t* percent);

// Disk replacement (KelDeviceManage::ReplacePD*L for the results): set up the copy of disk
// `src` onto `tgt`, copy one chunk (a null `percent` stops the copy; 508 when finished), and
// cancel (an index of 255 names a disk that is gone, not both). Indexes 0..31, else 200.
int zr_replace_pd_init_TARVOII(_Index_Plus_t src, _Index_Plus_t tgt);
int zr_replace_pd_TARVOII(_Index_Plus_t src, _Index_Plus_t tgt, uint16_t* percent);
int zr_replace_pd_remove_TARVOII(_Index_Plus_t src, _Index_Plus_t tgt);

// The block-device name ("sdb") under which the host sees an array or a disk; `name` holds
// at least 32 bytes. 0, or 200 when there is none.
int zr_Get_RA_INODE_NAME(int array, char* name);
int zr_Get_PD_INODE_NAME(int pd, char* name);

#endif
