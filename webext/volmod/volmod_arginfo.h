/* This is a generated file, edit the .stub.php file instead.
 * Stub hash: bf80ae2e5a229818563528d143f87f2d62c48aa7 */

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zepsockinit, 0, 0, IS_LONG, 0)
ZEND_END_ARG_INFO()

#define arginfo_php_zepsockcleanup arginfo_php_zepsockinit

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_openconnect, 0, 2, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, host, IS_STRING, 0)
	ZEND_ARG_TYPE_INFO(0, port, IS_LONG, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_userlogin, 0, 4, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, user, IS_STRING, 0)
	ZEND_ARG_TYPE_INFO(0, password, IS_STRING, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, clientId, IS_MIXED, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, rights, IS_MIXED, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_userack, 0, 1, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, clientId, IS_STRING, 0)
ZEND_END_ARG_INFO()

#define arginfo_php_userlogout arginfo_php_userack

#define arginfo_php_closeconnect arginfo_php_zepsockinit

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_initeventsocket, 0, 3, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, clientId, IS_STRING, 0)
	ZEND_ARG_TYPE_INFO(0, host, IS_STRING, 0)
	ZEND_ARG_TYPE_INFO(0, port, IS_LONG, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_checkraidevent, 0, 2, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, kind, IS_MIXED, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, data, IS_MIXED, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_scanserver, 0, 2, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, port, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, list, IS_MIXED, 0)
ZEND_END_ARG_INFO()

#define arginfo_php_clearlog arginfo_php_zepsockinit

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_getlogstatus, 0, 3, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, overLimit, IS_MIXED, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, size, IS_MIXED, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, lines, IS_MIXED, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_getlogitems, 0, 4, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, direction, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, first, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, count, IS_MIXED, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, text, IS_MIXED, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_changepasswd, 0, 3, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, user, IS_STRING, 0)
	ZEND_ARG_TYPE_INFO(0, password, IS_STRING, 0)
	ZEND_ARG_TYPE_INFO(0, newPassword, IS_STRING, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_setbeepstatus, 0, 1, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, on, IS_LONG, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_getbeepstatus, 0, 1, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, on, IS_MIXED, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_setcheckdisktime, 0, 1, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, minutes, IS_LONG, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_getcheckdisktime, 0, 1, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, minutes, IS_MIXED, 0)
ZEND_END_ARG_INFO()

#define arginfo_php_zr_exit arginfo_php_zepsockinit

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_beep, 0, 1, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, kind, IS_LONG, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_test, 0, 0, IS_VOID, 0)
ZEND_END_ARG_INFO()

#define arginfo_confirm_volmod_compiled arginfo_php_test

#define arginfo_php_zr_get_version arginfo_php_test

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_get_controller_num, 0, 1, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, count, IS_MIXED, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_get_controller_info, 0, 2, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, index, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, info, IS_MIXED, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_get_channel_info, 0, 3, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, controller, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, channel, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, info, IS_MIXED, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_get_device_hub_info, 0, 4, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, controller, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, channel, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, hub, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, info, IS_MIXED, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_get_pd_num, 0, 1, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, map, IS_MIXED, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_get_pd_info, 0, 2, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, disk, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, info, IS_MIXED, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_get_pd_info_by_phy_address, 0, 4, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, controller, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, channel, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, device, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, info, IS_MIXED, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_get_pd_info_by_array_pos, 0, 3, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, array, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, position, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, info, IS_MIXED, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_get_array_num_tarvoii, 0, 2, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, selector, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, map, IS_MIXED, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_get_array_info, 0, 2, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, array, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, info, IS_MIXED, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_get_sorted_array_index, 0, 2, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, count, IS_MIXED, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, list, IS_MIXED, 0)
ZEND_END_ARG_INFO()

#define arginfo_php_zr_get_vd_info_by_array_pos arginfo_php_zr_get_pd_info_by_array_pos

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_get_vd_info_by_pd_logic_index, 0, 3, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, disk, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, slot, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, info, IS_MIXED, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_get_partition_info, 0, 3, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, ownerKind, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, owner, IS_ARRAY, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, list, IS_MIXED, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_get_protect_free_info_by_pd, 0, 2, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, disk, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, list, IS_MIXED, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_get_array_create_info_by_pds, 0, 5, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, count, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, disks, IS_ARRAY, 0)
	ZEND_ARG_TYPE_INFO(0, level, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, keepData, _IS_BOOL, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, range, IS_MIXED, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_get_pd_smart_status_tarvoii, 0, 2, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, disk, IS_MIXED, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, status, IS_MIXED, 0)
ZEND_END_ARG_INFO()

#define arginfo_php_zr_exec_smart arginfo_php_zepsockinit

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_exec_smart_read_data, 0, 2, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, disk, IS_ARRAY, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, data, IS_MIXED, 0)
ZEND_END_ARG_INFO()

#define arginfo_php_zr_exec_smart_read_threshold arginfo_php_zr_exec_smart_read_data

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_create_span_tarvoii, 0, 5, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, count, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, disks, IS_ARRAY, 0)
	ZEND_ARG_TYPE_INFO(0, size, IS_STRING, 0)
	ZEND_ARG_TYPE_INFO(0, name, IS_STRING, 0)
	ZEND_ARG_TYPE_INFO(0, keepData, _IS_BOOL, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_create_stripe_tarvoii, 0, 6, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, count, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, disks, IS_ARRAY, 0)
	ZEND_ARG_TYPE_INFO(0, size, IS_STRING, 0)
	ZEND_ARG_TYPE_INFO(0, stripe, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, name, IS_STRING, 0)
	ZEND_ARG_TYPE_INFO(0, keepData, _IS_BOOL, 0)
ZEND_END_ARG_INFO()

#define arginfo_php_zr_create_mirror_tarvoii arginfo_php_zr_create_span_tarvoii

#define arginfo_php_zr_create_raid01_tarvoii arginfo_php_zr_create_stripe_tarvoii

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_create_raid5_tarvoii, 0, 8, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, count, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, disks, IS_ARRAY, 0)
	ZEND_ARG_TYPE_INFO(0, size, IS_STRING, 0)
	ZEND_ARG_TYPE_INFO(0, stripe, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, parameter, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, name, IS_STRING, 0)
	ZEND_ARG_TYPE_INFO(0, keepData, _IS_BOOL, 0)
	ZEND_ARG_TYPE_INFO(0, secondOption, _IS_BOOL, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_remove_raid_tarvoii, 0, 3, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, count, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, arrays, IS_ARRAY, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, results, IS_MIXED, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_mirror_add_spare_tarvoii, 0, 2, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, array, IS_ARRAY, 0)
	ZEND_ARG_TYPE_INFO(0, disk, IS_ARRAY, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_mirror_remove_spare_tarvoii, 0, 1, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, array, IS_ARRAY, 0)
ZEND_END_ARG_INFO()

#define arginfo_php_zr_repair_mirror_with_spare_tarvoii arginfo_php_zr_mirror_remove_spare_tarvoii

#define arginfo_php_zr_repair_mirror_with_new_disk_tarvoii arginfo_php_zr_mirror_add_spare_tarvoii

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_repair_broken_raid01_tarvoii, 0, 3, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, array, IS_ARRAY, 0)
	ZEND_ARG_TYPE_INFO(0, count, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, disks, IS_ARRAY, 0)
ZEND_END_ARG_INFO()

#define arginfo_php_zr_repair_raid5_with_new_disk_tarvoii arginfo_php_zr_mirror_add_spare_tarvoii

#define arginfo_php_zr_update_hardware_info arginfo_php_zepsockinit

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_reload_driver, 0, 3, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, reboot, _IS_BOOL, 0)
	ZEND_ARG_TYPE_INFO(0, user, IS_STRING, 0)
	ZEND_ARG_TYPE_INFO(0, password, IS_STRING, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_sync_mig_replace, 0, 6, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, taskCode, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, array, IS_MIXED, 0)
	ZEND_ARG_TYPE_INFO(0, source, IS_MIXED, 0)
	ZEND_ARG_TYPE_INFO(0, target, IS_MIXED, 0)
	ZEND_ARG_TYPE_INFO(0, extra, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, operation, IS_LONG, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_get_sync_mig_replace_status, 0, 6, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, taskCode, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, array, IS_MIXED, 0)
	ZEND_ARG_TYPE_INFO(0, source, IS_MIXED, 0)
	ZEND_ARG_TYPE_INFO(0, target, IS_MIXED, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, result, IS_MIXED, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, state, IS_MIXED, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_replace_pd_init_tarvoii, 0, 2, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, source, IS_ARRAY, 0)
	ZEND_ARG_TYPE_INFO(0, target, IS_ARRAY, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_replace_pd_remove_tarvoii, 0, 2, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, source, IS_ARRAY, 1)
	ZEND_ARG_TYPE_INFO(0, target, IS_ARRAY, 1)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_kel_async_task_info, 0, 1, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, list, IS_MIXED, 0)
ZEND_END_ARG_INFO()

#define arginfo_php_zr_init arginfo_php_zepsockinit

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_init_pd, 0, 1, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, disk, IS_LONG, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_get_disk_num_per_chl, 0, 2, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, channel, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, count, IS_MIXED, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_get_array_num, 0, 2, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, selector, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, count, IS_MIXED, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_remove_raid, 0, 1, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, array, IS_LONG, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_create_stripe, 0, 5, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, count, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, disks, IS_ARRAY, 0)
	ZEND_ARG_TYPE_INFO(0, stripe, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, name, IS_STRING, 0)
	ZEND_ARG_TYPE_INFO(0, keepData, _IS_BOOL, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_create_mirror, 0, 4, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, count, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, disks, IS_ARRAY, 0)
	ZEND_ARG_TYPE_INFO(0, name, IS_STRING, 0)
	ZEND_ARG_TYPE_INFO(0, keepData, _IS_BOOL, 0)
ZEND_END_ARG_INFO()

#define arginfo_php_zr_create_span arginfo_php_zr_create_mirror

#define arginfo_php_zr_create_simpleraid arginfo_php_zr_create_mirror

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_create_raid01, 0, 5, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, count, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, disks, IS_ARRAY, 0)
	ZEND_ARG_TYPE_INFO(0, name, IS_STRING, 0)
	ZEND_ARG_TYPE_INFO(0, stripe, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, keepData, _IS_BOOL, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_create_raid5, 0, 7, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, count, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, disks, IS_ARRAY, 0)
	ZEND_ARG_TYPE_INFO(0, stripe, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, name, IS_STRING, 0)
	ZEND_ARG_TYPE_INFO(0, keepData, _IS_BOOL, 0)
	ZEND_ARG_TYPE_INFO(0, parameter, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, secondOption, _IS_BOOL, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_create_raid_free, 0, 10, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, level, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, count, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, disks, IS_ARRAY, 0)
	ZEND_ARG_TYPE_INFO(0, name, IS_STRING, 0)
	ZEND_ARG_TYPE_INFO(0, keepData, _IS_BOOL, 0)
	ZEND_ARG_TYPE_INFO(0, stripe, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, parameter, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, secondOption, _IS_BOOL, 0)
	ZEND_ARG_TYPE_INFO(0, size, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, areas, IS_ARRAY, 0)
ZEND_END_ARG_INFO()

#define arginfo_php_zr_repair_mirror_with_spare arginfo_php_zr_remove_raid

#define arginfo_php_zr_repair_mirror_with_spare_tarvo arginfo_php_zr_remove_raid

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_repair_mirror_with_new_disk_tarvo, 0, 2, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, array, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, disk, IS_ARRAY, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_repair_mirror_with_new_disk_zraid, 0, 2, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, array, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, disk, IS_LONG, 0)
ZEND_END_ARG_INFO()

#define arginfo_php_zr_mirror_remove_spare arginfo_php_zr_remove_raid

#define arginfo_php_zr_mirror_remove_spare_tarvo arginfo_php_zr_remove_raid

#define arginfo_php_zr_mirror_add_spare_tarvo arginfo_php_zr_repair_mirror_with_new_disk_tarvo

#define arginfo_php_zr_mirror_add_spare_zraid arginfo_php_zr_repair_mirror_with_new_disk_zraid

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_repair_broken_raid01_tarvo, 0, 3, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, array, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, count, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, disks, IS_ARRAY, 0)
ZEND_END_ARG_INFO()

#define arginfo_php_zr_repair_broken_raid01_zraid arginfo_php_zr_repair_broken_raid01_tarvo

#define arginfo_php_zr_repair_raid5_with_new_disk_tarvo arginfo_php_zr_repair_mirror_with_new_disk_tarvo

#define arginfo_php_zr_repair_raid5_with_new_disk_zraid arginfo_php_zr_repair_mirror_with_new_disk_zraid

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_sync_disk_pair, 0, 4, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, first, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, second, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, state, IS_MIXED, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, progress, IS_MIXED, 0)
ZEND_END_ARG_INFO()

#define arginfo_php_zr_sync_disk_pair_tarvo arginfo_php_zr_sync_disk_pair

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_sync_disk_pair_tarvoii, 0, 4, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, first, IS_ARRAY, 0)
	ZEND_ARG_TYPE_INFO(0, second, IS_ARRAY, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, state, IS_MIXED, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, progress, IS_MIXED, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_sync_raid01, 0, 4, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, array, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, state, IS_MIXED, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, progress, IS_MIXED, 0)
	ZEND_ARG_TYPE_INFO(0, halves, IS_LONG, 0)
ZEND_END_ARG_INFO()

#define arginfo_php_zr_sync_raid01_tarvo arginfo_php_zr_sync_raid01

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_sync_raid01_tarvoii, 0, 4, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, array, IS_ARRAY, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, state, IS_MIXED, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, progress, IS_MIXED, 0)
	ZEND_ARG_TYPE_INFO(0, halves, IS_LONG, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_sync_raid5, 0, 3, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, array, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, state, IS_MIXED, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, progress, IS_MIXED, 0)
ZEND_END_ARG_INFO()

#define arginfo_php_zr_sync_raid5_tarvo arginfo_php_zr_sync_raid5

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_sync_raid5_tarvoii, 0, 3, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, array, IS_ARRAY, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, state, IS_MIXED, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, progress, IS_MIXED, 0)
ZEND_END_ARG_INFO()

#define arginfo_php_zr_migration_raid arginfo_php_zr_sync_raid5

#define arginfo_php_zr_migration_raid_tarvo arginfo_php_zr_sync_raid5

#define arginfo_php_zr_migration_raid_tarvoii arginfo_php_zr_sync_raid5_tarvoii

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_replace_pd_init_tarvo, 0, 2, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, source, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, target, IS_LONG, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_replace_pd_tarvo, 0, 3, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, source, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, target, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, state, IS_MIXED, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_replace_pd_tarvoii, 0, 3, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, source, IS_ARRAY, 0)
	ZEND_ARG_TYPE_INFO(0, target, IS_ARRAY, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, state, IS_MIXED, 0)
ZEND_END_ARG_INFO()

#define arginfo_php_zr_replace_pd_remove_tarvo arginfo_php_zr_replace_pd_init_tarvo

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_check_sync_mig_replace_status, 0, 5, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, taskCode, IS_MIXED, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, array, IS_MIXED, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, progress, IS_MIXED, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, result, IS_MIXED, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, state, IS_MIXED, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_check_hotplug_by_controller, 0, 2, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, controller, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, changed, IS_MIXED, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_get_set_power_mode, 0, 2, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, mode, IS_MIXED, 0)
	ZEND_ARG_TYPE_INFO(0, set, IS_LONG, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_force_rescan_bus, 0, 1, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, controller, IS_LONG, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_get_pd_magicnum, 0, 2, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, disk, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, magic, IS_MIXED, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_get_array_magicnum, 0, 2, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, array, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(ZEND_SEND_PREFER_REF, magic, IS_MIXED, 0)
ZEND_END_ARG_INFO()

#define arginfo_php_zr_relse_rsc_while_exit arginfo_php_zepsockinit

#define arginfo_php_zr_get_array_info_by_disk arginfo_php_zepsockinit

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_php_zr_init_pd_by_phy_address, 0, 4, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, controller, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, channel, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, device, IS_LONG, 0)
	ZEND_ARG_TYPE_INFO(0, mode, IS_LONG, 0)
ZEND_END_ARG_INFO()


ZEND_FUNCTION(php_zepsockinit);
ZEND_FUNCTION(php_zepsockcleanup);
ZEND_FUNCTION(php_openconnect);
ZEND_FUNCTION(php_userlogin);
ZEND_FUNCTION(php_userack);
ZEND_FUNCTION(php_userlogout);
ZEND_FUNCTION(php_closeconnect);
ZEND_FUNCTION(php_initeventsocket);
ZEND_FUNCTION(php_checkraidevent);
ZEND_FUNCTION(php_scanserver);
ZEND_FUNCTION(php_clearlog);
ZEND_FUNCTION(php_getlogstatus);
ZEND_FUNCTION(php_getlogitems);
ZEND_FUNCTION(php_changepasswd);
ZEND_FUNCTION(php_setbeepstatus);
ZEND_FUNCTION(php_getbeepstatus);
ZEND_FUNCTION(php_setcheckdisktime);
ZEND_FUNCTION(php_getcheckdisktime);
ZEND_FUNCTION(php_zr_exit);
ZEND_FUNCTION(php_beep);
ZEND_FUNCTION(php_test);
ZEND_FUNCTION(confirm_volmod_compiled);
ZEND_FUNCTION(php_zr_get_version);
ZEND_FUNCTION(php_zr_get_controller_num);
ZEND_FUNCTION(php_zr_get_controller_info);
ZEND_FUNCTION(php_zr_get_channel_info);
ZEND_FUNCTION(php_zr_get_device_hub_info);
ZEND_FUNCTION(php_zr_get_pd_num);
ZEND_FUNCTION(php_zr_get_pd_info);
ZEND_FUNCTION(php_zr_get_pd_info_by_phy_address);
ZEND_FUNCTION(php_zr_get_pd_info_by_array_pos);
ZEND_FUNCTION(php_zr_get_array_num_tarvoii);
ZEND_FUNCTION(php_zr_get_array_info);
ZEND_FUNCTION(php_zr_get_sorted_array_index);
ZEND_FUNCTION(php_zr_get_vd_info_by_array_pos);
ZEND_FUNCTION(php_zr_get_vd_info_by_pd_logic_index);
ZEND_FUNCTION(php_zr_get_partition_info);
ZEND_FUNCTION(php_zr_get_protect_free_info_by_pd);
ZEND_FUNCTION(php_zr_get_array_create_info_by_pds);
ZEND_FUNCTION(php_zr_get_pd_smart_status_tarvoii);
ZEND_FUNCTION(php_zr_exec_smart);
ZEND_FUNCTION(php_zr_exec_smart_read_data);
ZEND_FUNCTION(php_zr_exec_smart_read_threshold);
ZEND_FUNCTION(php_zr_create_span_tarvoii);
ZEND_FUNCTION(php_zr_create_stripe_tarvoii);
ZEND_FUNCTION(php_zr_create_mirror_tarvoii);
ZEND_FUNCTION(php_zr_create_raid01_tarvoii);
ZEND_FUNCTION(php_zr_create_raid5_tarvoii);
ZEND_FUNCTION(php_zr_remove_raid_tarvoii);
ZEND_FUNCTION(php_zr_mirror_add_spare_tarvoii);
ZEND_FUNCTION(php_zr_mirror_remove_spare_tarvoii);
ZEND_FUNCTION(php_zr_repair_mirror_with_spare_tarvoii);
ZEND_FUNCTION(php_zr_repair_mirror_with_new_disk_tarvoii);
ZEND_FUNCTION(php_zr_repair_broken_raid01_tarvoii);
ZEND_FUNCTION(php_zr_repair_raid5_with_new_disk_tarvoii);
ZEND_FUNCTION(php_zr_update_hardware_info);
ZEND_FUNCTION(php_zr_reload_driver);
ZEND_FUNCTION(php_zr_sync_mig_replace);
ZEND_FUNCTION(php_zr_get_sync_mig_replace_status);
ZEND_FUNCTION(php_zr_replace_pd_init_tarvoii);
ZEND_FUNCTION(php_zr_replace_pd_remove_tarvoii);
ZEND_FUNCTION(php_kel_async_task_info);
ZEND_FUNCTION(php_zr_init);
ZEND_FUNCTION(php_zr_init_pd);
ZEND_FUNCTION(php_zr_get_disk_num_per_chl);
ZEND_FUNCTION(php_zr_get_array_num);
ZEND_FUNCTION(php_zr_remove_raid);
ZEND_FUNCTION(php_zr_create_stripe);
ZEND_FUNCTION(php_zr_create_mirror);
ZEND_FUNCTION(php_zr_create_span);
ZEND_FUNCTION(php_zr_create_simpleraid);
ZEND_FUNCTION(php_zr_create_raid01);
ZEND_FUNCTION(php_zr_create_raid5);
ZEND_FUNCTION(php_zr_create_raid_free);
ZEND_FUNCTION(php_zr_repair_mirror_with_spare);
ZEND_FUNCTION(php_zr_repair_mirror_with_spare_tarvo);
ZEND_FUNCTION(php_zr_repair_mirror_with_new_disk_tarvo);
ZEND_FUNCTION(php_zr_repair_mirror_with_new_disk_zraid);
ZEND_FUNCTION(php_zr_mirror_remove_spare);
ZEND_FUNCTION(php_zr_mirror_remove_spare_tarvo);
ZEND_FUNCTION(php_zr_mirror_add_spare_tarvo);
ZEND_FUNCTION(php_zr_mirror_add_spare_zraid);
ZEND_FUNCTION(php_zr_repair_broken_raid01_tarvo);
ZEND_FUNCTION(php_zr_repair_broken_raid01_zraid);
ZEND_FUNCTION(php_zr_repair_raid5_with_new_disk_tarvo);
ZEND_FUNCTION(php_zr_repair_raid5_with_new_disk_zraid);
ZEND_FUNCTION(php_zr_sync_disk_pair);
ZEND_FUNCTION(php_zr_sync_disk_pair_tarvo);
ZEND_FUNCTION(php_zr_sync_disk_pair_tarvoii);
ZEND_FUNCTION(php_zr_sync_raid01);
ZEND_FUNCTION(php_zr_sync_raid01_tarvo);
ZEND_FUNCTION(php_zr_sync_raid01_tarvoii);
ZEND_FUNCTION(php_zr_sync_raid5);
ZEND_FUNCTION(php_zr_sync_raid5_tarvo);
ZEND_FUNCTION(php_zr_sync_raid5_tarvoii);
ZEND_FUNCTION(php_zr_migration_raid);
ZEND_FUNCTION(php_zr_migration_raid_tarvo);
ZEND_FUNCTION(php_zr_migration_raid_tarvoii);
ZEND_FUNCTION(php_zr_replace_pd_init_tarvo);
ZEND_FUNCTION(php_zr_replace_pd_tarvo);
ZEND_FUNCTION(php_zr_replace_pd_tarvoii);
ZEND_FUNCTION(php_zr_replace_pd_remove_tarvo);
ZEND_FUNCTION(php_zr_check_sync_mig_replace_status);
ZEND_FUNCTION(php_zr_check_hotplug_by_controller);
ZEND_FUNCTION(php_zr_get_set_power_mode);
ZEND_FUNCTION(php_zr_force_rescan_bus);
ZEND_FUNCTION(php_zr_get_pd_magicnum);
ZEND_FUNCTION(php_zr_get_array_magicnum);
ZEND_FUNCTION(php_zr_relse_rsc_while_exit);
ZEND_FUNCTION(php_zr_get_array_info_by_disk);
ZEND_FUNCTION(php_zr_init_pd_by_phy_address);


static const zend_function_entry ext_functions[] = {
	ZEND_FE(php_zepsockinit, arginfo_php_zepsockinit)
	ZEND_FE(php_zepsockcleanup, arginfo_php_zepsockcleanup)
	ZEND_FE(php_openconnect, arginfo_php_openconnect)
	ZEND_FE(php_userlogin, arginfo_php_userlogin)
	ZEND_FE(php_userack, arginfo_php_userack)
	ZEND_FE(php_userlogout, arginfo_php_userlogout)
	ZEND_FE(php_closeconnect, arginfo_php_closeconnect)
	ZEND_FE(php_initeventsocket, arginfo_php_initeventsocket)
	ZEND_FE(php_checkraidevent, arginfo_php_checkraidevent)
	ZEND_FE(php_scanserver, arginfo_php_scanserver)
	ZEND_FE(php_clearlog, arginfo_php_clearlog)
	ZEND_FE(php_getlogstatus, arginfo_php_getlogstatus)
	ZEND_FE(php_getlogitems, arginfo_php_getlogitems)
	ZEND_FE(php_changepasswd, arginfo_php_changepasswd)
	ZEND_FE(php_setbeepstatus, arginfo_php_setbeepstatus)
	ZEND_FE(php_getbeepstatus, arginfo_php_getbeepstatus)
	ZEND_FE(php_setcheckdisktime, arginfo_php_setcheckdisktime)
	ZEND_FE(php_getcheckdisktime, arginfo_php_getcheckdisktime)
	ZEND_FE(php_zr_exit, arginfo_php_zr_exit)
	ZEND_FE(php_beep, arginfo_php_beep)
	ZEND_FE(php_test, arginfo_php_test)
	ZEND_FE(confirm_volmod_compiled, arginfo_confirm_volmod_compiled)
	ZEND_FE(php_zr_get_version, arginfo_php_zr_get_version)
	ZEND_FE(php_zr_get_controller_num, arginfo_php_zr_get_controller_num)
	ZEND_FE(php_zr_get_controller_info, arginfo_php_zr_get_controller_info)
	ZEND_FE(php_zr_get_channel_info, arginfo_php_zr_get_channel_info)
	ZEND_FE(php_zr_get_device_hub_info, arginfo_php_zr_get_device_hub_info)
	ZEND_FE(php_zr_get_pd_num, arginfo_php_zr_get_pd_num)
	ZEND_FE(php_zr_get_pd_info, arginfo_php_zr_get_pd_info)
	ZEND_FE(php_zr_get_pd_info_by_phy_address, arginfo_php_zr_get_pd_info_by_phy_address)
	ZEND_FE(php_zr_get_pd_info_by_array_pos, arginfo_php_zr_get_pd_info_by_array_pos)
	ZEND_FE(php_zr_get_array_num_tarvoii, arginfo_php_zr_get_array_num_tarvoii)
	ZEND_FE(php_zr_get_array_info, arginfo_php_zr_get_array_info)
	ZEND_FE(php_zr_get_sorted_array_index, arginfo_php_zr_get_sorted_array_index)
	ZEND_FE(php_zr_get_vd_info_by_array_pos, arginfo_php_zr_get_vd_info_by_array_pos)
	ZEND_FE(php_zr_get_vd_info_by_pd_logic_index, arginfo_php_zr_get_vd_info_by_pd_logic_index)
	ZEND_FE(php_zr_get_partition_info, arginfo_php_zr_get_partition_info)
	ZEND_FE(php_zr_get_protect_free_info_by_pd, arginfo_php_zr_get_protect_free_info_by_pd)
	ZEND_FE(php_zr_get_array_create_info_by_pds, arginfo_php_zr_get_array_create_info_by_pds)
	ZEND_FE(php_zr_get_pd_smart_status_tarvoii, arginfo_php_zr_get_pd_smart_status_tarvoii)
	ZEND_FE(php_zr_exec_smart, arginfo_php_zr_exec_smart)
	ZEND_FE(php_zr_exec_smart_read_data, arginfo_php_zr_exec_smart_read_data)
	ZEND_FE(php_zr_exec_smart_read_threshold, arginfo_php_zr_exec_smart_read_threshold)
	ZEND_FE(php_zr_create_span_tarvoii, arginfo_php_zr_create_span_tarvoii)
	ZEND_FE(php_zr_create_stripe_tarvoii, arginfo_php_zr_create_stripe_tarvoii)
	ZEND_FE(php_zr_create_mirror_tarvoii, arginfo_php_zr_create_mirror_tarvoii)
	ZEND_FE(php_zr_create_raid01_tarvoii, arginfo_php_zr_create_raid01_tarvoii)
	ZEND_FE(php_zr_create_raid5_tarvoii, arginfo_php_zr_create_raid5_tarvoii)
	ZEND_FE(php_zr_remove_raid_tarvoii, arginfo_php_zr_remove_raid_tarvoii)
	ZEND_FE(php_zr_mirror_add_spare_tarvoii, arginfo_php_zr_mirror_add_spare_tarvoii)
	ZEND_FE(php_zr_mirror_remove_spare_tarvoii, arginfo_php_zr_mirror_remove_spare_tarvoii)
	ZEND_FE(php_zr_repair_mirror_with_spare_tarvoii, arginfo_php_zr_repair_mirror_with_spare_tarvoii)
	ZEND_FE(php_zr_repair_mirror_with_new_disk_tarvoii, arginfo_php_zr_repair_mirror_with_new_disk_tarvoii)
	ZEND_FE(php_zr_repair_broken_raid01_tarvoii, arginfo_php_zr_repair_broken_raid01_tarvoii)
	ZEND_FE(php_zr_repair_raid5_with_new_disk_tarvoii, arginfo_php_zr_repair_raid5_with_new_disk_tarvoii)
	ZEND_FE(php_zr_update_hardware_info, arginfo_php_zr_update_hardware_info)
	ZEND_FE(php_zr_reload_driver, arginfo_php_zr_reload_driver)
	ZEND_FE(php_zr_sync_mig_replace, arginfo_php_zr_sync_mig_replace)
	ZEND_FE(php_zr_get_sync_mig_replace_status, arginfo_php_zr_get_sync_mig_replace_status)
	ZEND_FE(php_zr_replace_pd_init_tarvoii, arginfo_php_zr_replace_pd_init_tarvoii)
	ZEND_FE(php_zr_replace_pd_remove_tarvoii, arginfo_php_zr_replace_pd_remove_tarvoii)
	ZEND_FE(php_kel_async_task_info, arginfo_php_kel_async_task_info)
	ZEND_FE(php_zr_init, arginfo_php_zr_init)
	ZEND_FE(php_zr_init_pd, arginfo_php_zr_init_pd)
	ZEND_FE(php_zr_get_disk_num_per_chl, arginfo_php_zr_get_disk_num_per_chl)
	ZEND_FE(php_zr_get_array_num, arginfo_php_zr_get_array_num)
	ZEND_FE(php_zr_remove_raid, arginfo_php_zr_remove_raid)
	ZEND_FE(php_zr_create_stripe, arginfo_php_zr_create_stripe)
	ZEND_FE(php_zr_create_mirror, arginfo_php_zr_create_mirror)
	ZEND_FE(php_zr_create_span, arginfo_php_zr_create_span)
	ZEND_FE(php_zr_create_simpleraid, arginfo_php_zr_create_simpleraid)
	ZEND_FE(php_zr_create_raid01, arginfo_php_zr_create_raid01)
	ZEND_FE(php_zr_create_raid5, arginfo_php_zr_create_raid5)
	ZEND_FE(php_zr_create_raid_free, arginfo_php_zr_create_raid_free)
	ZEND_FE(php_zr_repair_mirror_with_spare, arginfo_php_zr_repair_mirror_with_spare)
	ZEND_FE(php_zr_repair_mirror_with_spare_tarvo, arginfo_php_zr_repair_mirror_with_spare_tarvo)
	ZEND_FE(php_zr_repair_mirror_with_new_disk_tarvo, arginfo_php_zr_repair_mirror_with_new_disk_tarvo)
	ZEND_FE(php_zr_repair_mirror_with_new_disk_zraid, arginfo_php_zr_repair_mirror_with_new_disk_zraid)
	ZEND_FE(php_zr_mirror_remove_spare, arginfo_php_zr_mirror_remove_spare)
	ZEND_FE(php_zr_mirror_remove_spare_tarvo, arginfo_php_zr_mirror_remove_spare_tarvo)
	ZEND_FE(php_zr_mirror_add_spare_tarvo, arginfo_php_zr_mirror_add_spare_tarvo)
	ZEND_FE(php_zr_mirror_add_spare_zraid, arginfo_php_zr_mirror_add_spare_zraid)
	ZEND_FE(php_zr_repair_broken_raid01_tarvo, arginfo_php_zr_repair_broken_raid01_tarvo)
	ZEND_FE(php_zr_repair_broken_raid01_zraid, arginfo_php_zr_repair_broken_raid01_zraid)
	ZEND_FE(php_zr_repair_raid5_with_new_disk_tarvo, arginfo_php_zr_repair_raid5_with_new_disk_tarvo)
	ZEND_FE(php_zr_repair_raid5_with_new_disk_zraid, arginfo_php_zr_repair_raid5_with_new_disk_zraid)
	ZEND_FE(php_zr_sync_disk_pair, arginfo_php_zr_sync_disk_pair)
	ZEND_FE(php_zr_sync_disk_pair_tarvo, arginfo_php_zr_sync_disk_pair_tarvo)
	ZEND_FE(php_zr_sync_disk_pair_tarvoii, arginfo_php_zr_sync_disk_pair_tarvoii)
	ZEND_FE(php_zr_sync_raid01, arginfo_php_zr_sync_raid01)
	ZEND_FE(php_zr_sync_raid01_tarvo, arginfo_php_zr_sync_raid01_tarvo)
	ZEND_FE(php_zr_sync_raid01_tarvoii, arginfo_php_zr_sync_raid01_tarvoii)
	ZEND_FE(php_zr_sync_raid5, arginfo_php_zr_sync_raid5)
	ZEND_FE(php_zr_sync_raid5_tarvo, arginfo_php_zr_sync_raid5_tarvo)
	ZEND_FE(php_zr_sync_raid5_tarvoii, arginfo_php_zr_sync_raid5_tarvoii)
	ZEND_FE(php_zr_migration_raid, arginfo_php_zr_migration_raid)
	ZEND_FE(php_zr_migration_raid_tarvo, arginfo_php_zr_migration_raid_tarvo)
	ZEND_FE(php_zr_migration_raid_tarvoii, arginfo_php_zr_migration_raid_tarvoii)
	ZEND_FE(php_zr_replace_pd_init_tarvo, arginfo_php_zr_replace_pd_init_tarvo)
	ZEND_FE(php_zr_replace_pd_tarvo, arginfo_php_zr_replace_pd_tarvo)
	ZEND_FE(php_zr_replace_pd_tarvoii, arginfo_php_zr_replace_pd_tarvoii)
	ZEND_FE(php_zr_replace_pd_remove_tarvo, arginfo_php_zr_replace_pd_remove_tarvo)
	ZEND_FE(php_zr_check_sync_mig_replace_status, arginfo_php_zr_check_sync_mig_replace_status)
	ZEND_FE(php_zr_check_hotplug_by_controller, arginfo_php_zr_check_hotplug_by_controller)
	ZEND_FE(php_zr_get_set_power_mode, arginfo_php_zr_get_set_power_mode)
	ZEND_FE(php_zr_force_rescan_bus, arginfo_php_zr_force_rescan_bus)
	ZEND_FE(php_zr_get_pd_magicnum, arginfo_php_zr_get_pd_magicnum)
	ZEND_FE(php_zr_get_array_magicnum, arginfo_php_zr_get_array_magicnum)
	ZEND_FE(php_zr_relse_rsc_while_exit, arginfo_php_zr_relse_rsc_while_exit)
	ZEND_FE(php_zr_get_array_info_by_disk, arginfo_php_zr_get_array_info_by_disk)
	ZEND_FE(php_zr_init_pd_by_phy_address, arginfo_php_zr_init_pd_by_phy_address)
	ZEND_FE_END
};
