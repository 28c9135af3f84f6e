// The engine entry points the RAID command handlers call, gathered in one table of function
// pointers that starts out pointing at the engine facade. Handlers never call the facade
// directly, so a test can replace single entries and drive a handler through answers that
// real hardware gives rarely (a stale magic number, an empty first scan, a failing step).
//
// The table is read by the single command worker; it is changed only by tests, while no
// command runs.
#ifndef KEL_SERVICE_RAID_RAID_ENGINE_OPS_H
#define KEL_SERVICE_RAID_RAID_ENGINE_OPS_H

#include "service/engine/zr_facade.h"

struct KelRaidEngineOps {
  int (*update_hardware_info)() = zr_update_hardware_info;
  int (*reload_driver)(int, const char*, const char*) = zr_reload_driver;
  int (*get_controller_num)(int*) = zr_get_controller_num;
  int (*get_controller_info)(int, _zr_controller_info*) = zr_get_controller_info;
  int (*get_channel_info)(int, int, _zr_channel_info*) = zr_get_channel_info;
  int (*get_device_hub_Info)(int, int, int, _zr_device_hub_info_t*) = zr_get_device_hub_Info;
  int (*get_device_num_TARVOII)(_Kel_Index_Map*) = zr_get_device_num_TARVOII;
  int (*get_device_info)(int, _zr_device_info*) = zr_get_device_info;
  int (*get_device_info_by_phy_address)(int, int, int, _zr_device_info*) =
      zr_get_device_info_by_phy_address;
  int (*get_device_info_by_array_pos)(int, int, _zr_device_info*) = zr_get_device_info_by_array_pos;
  int (*get_array_num_TARVOII)(_Kel_Index_Map*) = zr_get_array_num_TARVOII;
  int (*get_array_info)(int, _zr_array_info*) = zr_get_array_info;
  int (*get_sorted_array_index)(int*, unsigned char*) = zr_get_sorted_array_index;
  int (*get_vd_info_by_pd_logic_index)(int, int, _zr_vd_info*) = zr_get_vd_info_by_pd_logic_index;
  int (*get_vd_info_by_array_pos)(int, int, _zr_vd_info*) = zr_get_vd_info_by_array_pos;
  int (*get_protect_free_info_by_pd)(int, _zr_protect_free_info_t**) =
      zr_get_protect_free_info_by_pd;
  int (*get_partition_info)(int, _Index_Plus_t, _zr_partition_info*) = zr_get_partition_info;
  int (*get_Array_magicNum)(int, uint16_t*) = zr_get_Array_magicNum;
  int (*get_PD_magicNum)(int, uint16_t*) = zr_get_PD_magicNum;
  int (*get_PD_SMART_status_TARVOII)(_Index_Plus_t, uint8_t*) = zr_get_PD_SMART_status_TARVOII;
  int (*exec_SMART_READ_DATA)(_Index_Plus_t, uint8_t*) = zr_exec_SMART_READ_DATA;
  int (*exec_SMART_READ_THRESHOLD)(_Index_Plus_t, uint8_t*) = zr_exec_SMART_READ_THRESHOLD;
  int (*exec_SMART)() = zr_exec_SMART;

  // Changes of the configuration.
  int (*create_span_TARVOII)(int, const _Index_Plus_t*, uint32_t, uint32_t, const char*, int) =
      zr_create_span_TARVOII;
  int (*create_stripe_TARVOII)(int, const _Index_Plus_t*, uint32_t, uint32_t, int, const char*,
                               int) = zr_create_stripe_TARVOII;
  int (*create_mirror_TARVOII)(int, const _Index_Plus_t*, uint32_t, uint32_t, const char*, int) =
      zr_create_mirror_TARVOII;
  int (*create_raid01_TARVOII)(int, const _Index_Plus_t*, uint32_t, uint32_t, int, const char*,
                               int) = zr_create_raid01_TARVOII;
  int (*create_raid5_TARVOII)(int, const _Index_Plus_t*, uint32_t, uint32_t, int, int,
                              const char*, int, int) = zr_create_raid5_TARVOII;
  int (*get_array_create_info_by_pds)(int, const _Index_Plus_t*, int, int,
                                      _Array_Create_Info_t*) = zr_get_array_create_info_by_pds;
  int (*remove_raid_TARVOII)(int, const _Index_Plus_t*, int*) = zr_remove_raid_TARVOII;
  int (*clear_PD_Conf)(int, const _Index_Plus_t*) = zr_clear_PD_Conf;
  int (*mirror_add_spare_TARVOII)(_Index_Plus_t, _Index_Plus_t) = zr_mirror_add_spare_TARVOII;
  int (*mirror_remove_spare_TARVOII)(_Index_Plus_t) = zr_mirror_remove_spare_TARVOII;
  int (*repair_mirror_with_spare_TARVOII)(_Index_Plus_t) = zr_repair_mirror_with_spare_TARVOII;
  int (*repair_mirror_with_new_disk_TARVOII)(_Index_Plus_t, _Index_Plus_t) =
      zr_repair_mirror_with_new_disk_TARVOII;
  int (*repair_raid5_with_new_disk_TARVOII)(_Index_Plus_t, _Index_Plus_t) =
      zr_repair_raid5_with_new_disk_TARVOII;
  int (*repair_broken_raid01_TARVOII)(_Index_Plus_t, int, const _Index_Plus_t*) =
      zr_repair_broken_raid01_TARVOII;
};

// The process-wide table. Tests assign KelRaidEngineOps{} to restore the facade.
KelRaidEngineOps& KelRaidEngine();

#endif
