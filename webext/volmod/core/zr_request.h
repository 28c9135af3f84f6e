// The extension's request layer: one function per engine operation, named after it, each
// one exchange on the module's command connection (g_ClientInfo) made under
// g_ClientInfoLock. Plain C++ with no PHP types, so that it can be tested without the
// interpreter.
//
// Results: 0 on success; 201 (kVolmodBadArgs) for a request the record cannot hold, checked
// before anything is sent; 2000 for an index out of range or a null required pointer; the
// client library's codes (2001, 2002, 2003, 1002); or the service's return code. Outputs
// are written only on success.
#ifndef KEL_WEBEXT_VOLMOD_CORE_ZR_REQUEST_H
#define KEL_WEBEXT_VOLMOD_CORE_ZR_REQUEST_H

#include <cstdint>
#include <vector>

#include "sharedlib/raid_records.h"
#include "webext/client/client_task.h"

// --- Device and array queries ------------------------------------------------------------
int zr_get_controller_num(unsigned int* count);
int zr_get_controller_info(long index, _zr_controller_info* info);
int zr_get_channel_info(long ctrl, long chan, _zr_channel_info* info);
int zr_get_device_hub_info(long ctrl, long chan, long hub, _zr_device_hub_info_t* info);
int zr_get_pd_num(_Kel_Index_Map* map);
int zr_get_pd_info(long disk, _zr_device_info* info);
int zr_get_pd_info_by_phy_address(long ctrl, long chan, long dev, _zr_device_info* info);
int zr_get_pd_info_by_array_pos(long array, long pos, _zr_device_info* info);
// `selector` is checked like an index; the service's array map has no use for it, so the
// client library's map request leaves data[1] at zero.
int zr_get_array_num_TARVOII(long selector, _Kel_Index_Map* map);
int zr_get_array_info(long array, _zr_array_info* info);
// The array indexes in listing order.
int zr_get_sorted_array_index(std::vector<unsigned int>* indexes);
int zr_get_vd_info_by_array_pos(long array, long pos, KelVDInfo* info);
int zr_get_vd_info_by_pd_logic_index(long disk, long slot, KelVDInfo* info);
// `ownerKind` 0 a disk, 1 an array; `owner` carries its current magic number.
int zr_get_partition_info(long ownerKind, const _Index_Plus_t* owner, _zr_partition_info* info);
// The disk's record is read first (its magic number), then its protected free areas.
int zr_get_protect_free_info_by_pd(long disk, std::vector<_zr_protect_free_info_t>* areas);
// Size range (MiB) of an array of RAID type `level` on `count` disks; `keepData` is the
// creation mode. 201 for more disks than a creation request holds.
int zr_get_array_create_info_by_pds(long count, const _Index_Plus_t* disks, long level,
                                    bool keepData, _Array_Create_Info_t* range);
int zr_get_pd_smart_status_TARVOII(const _Index_Plus_t* disk, unsigned char* status);
int zr_exec_smart();
int zr_exec_smart_read_data(const _Index_Plus_t* disk, std::vector<unsigned char>* page);
int zr_exec_smart_read_threshold(const _Index_Plus_t* disk, std::vector<unsigned char>* page);

// --- Configuration changes ---------------------------------------------------------------
// `size` is in MiB (0: the largest the disks allow); `name` at most 23 bytes, else 201;
// `count` at most 8, else 201.
int zr_create_span_TARVOII(long count, const _Index_Plus_t* disks, uint64_t size,
                           const char* name, bool keepData);
int zr_create_stripe_TARVOII(long count, const _Index_Plus_t* disks, uint64_t size, long stripe,
                             const char* name, bool keepData);
int zr_create_mirror_TARVOII(long count, const _Index_Plus_t* disks, uint64_t size,
                             const char* name, bool keepData);
int zr_create_raid01_TARVOII(long count, const _Index_Plus_t* disks, uint64_t size, long stripe,
                             const char* name, bool keepData);
int zr_create_raid5_TARVOII(long count, const _Index_Plus_t* disks, uint64_t size, long stripe,
                            long parameter, const char* name, bool keepData, bool secondOption);
// `count` 1..32 (else 201); `results` receives `count` per-array codes whenever the service
// ran the removal (also when its overall result is not 0).
int zr_remove_raid_TARVOII(long count, const _Index_Plus_t* arrays, std::vector<int>* results);
int zr_mirror_add_spare_TARVOII(const _Index_Plus_t* array, const _Index_Plus_t* disk);
int zr_mirror_remove_spare_TARVOII(const _Index_Plus_t* array);
int zr_repair_mirror_with_spare_TARVOII(const _Index_Plus_t* array);
int zr_repair_mirror_with_new_disk_TARVOII(const _Index_Plus_t* array, const _Index_Plus_t* disk);
// `count` 1..4, else 201.
int zr_repair_broken_raid01_TARVOII(const _Index_Plus_t* array, long count,
                                    const _Index_Plus_t* disks);
int zr_repair_raid5_with_new_disk_TARVOII(const _Index_Plus_t* array, const _Index_Plus_t* disk);
int zr_update_hardware_info();
// Texts of 20 bytes or more (their zero byte included) give 201.
int zr_reload_driver(bool reboot, const char* user, const char* password);

// --- Background tasks --------------------------------------------------------------------
// Task codes 1-4 name `array`; code 2 also sends `extra` (the RAID 0+1 halves); code 5 names
// the replacement of `source` by `target`. A null reference is sent as index 0xFF, magic 0.
// `op` is the operation (1 start, 2 stop, 3 query, 4 prepare, 5 withdraw). `*record`, when
// not null, receives the record as the service returned it.
int zr_sync_mig_replace(long taskCode, const _Index_Plus_t* array, const _Index_Plus_t* source,
                        const _Index_Plus_t* target, long extra, long op, KelTaskRecord* record);
// All running and stopped tasks.
int zr_async_task_info(std::vector<KelTaskRecord>* tasks);

#endif
