<?php

/**
 * Script functions of the volmod module. Result variables are `mixed` and prefer-ref, so
 * that a script passing a plain value reaches the module's own warning instead of an
 * engine error. Regenerate volmod_arginfo.h with the `arginfo` build target.
 *
 * @generate-function-entries
 */

// ---- connection, session and service settings ------------------------------------------

function php_zepsockinit(): int {}

function php_zepsockcleanup(): int {}

function php_openconnect(string $host, int $port): int {}

/**
 * @prefer-ref $clientId
 * @prefer-ref $rights
 */
function php_userlogin(string $user, string $password, mixed $clientId, mixed $rights): int {}

function php_userack(string $clientId): int {}

function php_userlogout(string $clientId): int {}

function php_closeconnect(): int {}

function php_initeventsocket(string $clientId, string $host, int $port): int {}

/**
 * @prefer-ref $kind
 * @prefer-ref $data
 */
function php_checkraidevent(mixed $kind, mixed $data): int {}

/** @prefer-ref $list */
function php_scanserver(int $port, mixed $list): int {}

function php_clearlog(): int {}

/**
 * @prefer-ref $overLimit
 * @prefer-ref $size
 * @prefer-ref $lines
 */
function php_getlogstatus(mixed $overLimit, mixed $size, mixed $lines): int {}

/**
 * @prefer-ref $count
 * @prefer-ref $text
 */
function php_getlogitems(int $direction, int $first, mixed $count, mixed $text): int {}

function php_changepasswd(string $user, string $password, string $newPassword): int {}

function php_setbeepstatus(int $on): int {}

/** @prefer-ref $on */
function php_getbeepstatus(mixed $on): int {}

function php_setcheckdisktime(int $minutes): int {}

/** @prefer-ref $minutes */
function php_getcheckdisktime(mixed $minutes): int {}

function php_zr_exit(): int {}

function php_beep(int $kind): int {}

function php_test(): void {}

function confirm_volmod_compiled(): void {}

function php_zr_get_version(): void {}

// ---- device and array queries ----------------------------------------------------------

/** @prefer-ref $count */
function php_zr_get_controller_num(mixed $count): int {}

/** @prefer-ref $info */
function php_zr_get_controller_info(int $index, mixed $info): int {}

/** @prefer-ref $info */
function php_zr_get_channel_info(int $controller, int $channel, mixed $info): int {}

/** @prefer-ref $info */
function php_zr_get_device_hub_info(int $controller, int $channel, int $hub, mixed $info): int {}

/** @prefer-ref $map */
function php_zr_get_pd_num(mixed $map): int {}

/** @prefer-ref $info */
function php_zr_get_pd_info(int $disk, mixed $info): int {}

/** @prefer-ref $info */
function php_zr_get_pd_info_by_phy_address(int $controller, int $channel, int $device, mixed $info): int {}

/** @prefer-ref $info */
function php_zr_get_pd_info_by_array_pos(int $array, int $position, mixed $info): int {}

/** @prefer-ref $map */
function php_zr_get_array_num_tarvoii(int $selector, mixed $map): int {}

/** @prefer-ref $info */
function php_zr_get_array_info(int $array, mixed $info): int {}

/**
 * @prefer-ref $count
 * @prefer-ref $list
 */
function php_zr_get_sorted_array_index(mixed $count, mixed $list): int {}

/** @prefer-ref $info */
function php_zr_get_vd_info_by_array_pos(int $array, int $position, mixed $info): int {}

/** @prefer-ref $info */
function php_zr_get_vd_info_by_pd_logic_index(int $disk, int $slot, mixed $info): int {}

/** @prefer-ref $list */
function php_zr_get_partition_info(int $ownerKind, array $owner, mixed $list): int {}

/** @prefer-ref $list */
function php_zr_get_protect_free_info_by_pd(int $disk, mixed $list): int {}

/** @prefer-ref $range */
function php_zr_get_array_create_info_by_pds(int $count, array $disks, int $level, bool $keepData, mixed $range): int {}

/** @prefer-ref $status */
function php_zr_get_pd_smart_status_tarvoii(mixed $disk, mixed $status): int {}

function php_zr_exec_smart(): int {}

/** @prefer-ref $data */
function php_zr_exec_smart_read_data(array $disk, mixed $data): int {}

/** @prefer-ref $data */
function php_zr_exec_smart_read_threshold(array $disk, mixed $data): int {}

// ---- configuration changes and maintenance ---------------------------------------------

function php_zr_create_span_tarvoii(int $count, array $disks, string $size, string $name, bool $keepData): int {}

function php_zr_create_stripe_tarvoii(int $count, array $disks, string $size, int $stripe, string $name, bool $keepData): int {}

function php_zr_create_mirror_tarvoii(int $count, array $disks, string $size, string $name, bool $keepData): int {}

function php_zr_create_raid01_tarvoii(int $count, array $disks, string $size, int $stripe, string $name, bool $keepData): int {}

function php_zr_create_raid5_tarvoii(int $count, array $disks, string $size, int $stripe, int $parameter, string $name, bool $keepData, bool $secondOption): int {}

/** @prefer-ref $results */
function php_zr_remove_raid_tarvoii(int $count, array $arrays, mixed $results): int {}

function php_zr_mirror_add_spare_tarvoii(array $array, array $disk): int {}

function php_zr_mirror_remove_spare_tarvoii(array $array): int {}

function php_zr_repair_mirror_with_spare_tarvoii(array $array): int {}

function php_zr_repair_mirror_with_new_disk_tarvoii(array $array, array $disk): int {}

function php_zr_repair_broken_raid01_tarvoii(array $array, int $count, array $disks): int {}

function php_zr_repair_raid5_with_new_disk_tarvoii(array $array, array $disk): int {}

function php_zr_update_hardware_info(): int {}

function php_zr_reload_driver(bool $reboot, string $user, string $password): int {}

// ---- background tasks ------------------------------------------------------------------

function php_zr_sync_mig_replace(int $taskCode, mixed $array, mixed $source, mixed $target, int $extra, int $operation): int {}

/**
 * @prefer-ref $result
 * @prefer-ref $state
 */
function php_zr_get_sync_mig_replace_status(int $taskCode, mixed $array, mixed $source, mixed $target, mixed $result, mixed $state): int {}

function php_zr_replace_pd_init_tarvoii(array $source, array $target): int {}

function php_zr_replace_pd_remove_tarvoii(?array $source, ?array $target): int {}

/** @prefer-ref $list */
function php_kel_async_task_info(mixed $list): int {}

// ---- functions of the older direct-access library: registered, never available ---------

function php_zr_init(): int {}

function php_zr_init_pd(int $disk): int {}

/** @prefer-ref $count */
function php_zr_get_disk_num_per_chl(int $channel, mixed $count): int {}

/** @prefer-ref $count */
function php_zr_get_array_num(int $selector, mixed $count): int {}

function php_zr_remove_raid(int $array): int {}

function php_zr_create_stripe(int $count, array $disks, int $stripe, string $name, bool $keepData): int {}

function php_zr_create_mirror(int $count, array $disks, string $name, bool $keepData): int {}

function php_zr_create_span(int $count, array $disks, string $name, bool $keepData): int {}

function php_zr_create_simpleraid(int $count, array $disks, string $name, bool $keepData): int {}

function php_zr_create_raid01(int $count, array $disks, string $name, int $stripe, bool $keepData): int {}

function php_zr_create_raid5(int $count, array $disks, int $stripe, string $name, bool $keepData, int $parameter, bool $secondOption): int {}

function php_zr_create_raid_free(int $level, int $count, array $disks, string $name, bool $keepData, int $stripe, int $parameter, bool $secondOption, int $size, array $areas): int {}

function php_zr_repair_mirror_with_spare(int $array): int {}

function php_zr_repair_mirror_with_spare_tarvo(int $array): int {}

function php_zr_repair_mirror_with_new_disk_tarvo(int $array, array $disk): int {}

function php_zr_repair_mirror_with_new_disk_zraid(int $array, int $disk): int {}

function php_zr_mirror_remove_spare(int $array): int {}

function php_zr_mirror_remove_spare_tarvo(int $array): int {}

function php_zr_mirror_add_spare_tarvo(int $array, array $disk): int {}

function php_zr_mirror_add_spare_zraid(int $array, int $disk): int {}

function php_zr_repair_broken_raid01_tarvo(int $array, int $count, array $disks): int {}

function php_zr_repair_broken_raid01_zraid(int $array, int $count, array $disks): int {}

function php_zr_repair_raid5_with_new_disk_tarvo(int $array, array $disk): int {}

function php_zr_repair_raid5_with_new_disk_zraid(int $array, int $disk): int {}

/**
 * @prefer-ref $state
 * @prefer-ref $progress
 */
function php_zr_sync_disk_pair(int $first, int $second, mixed $state, mixed $progress): int {}

/**
 * @prefer-ref $state
 * @prefer-ref $progress
 */
function php_zr_sync_disk_pair_tarvo(int $first, int $second, mixed $state, mixed $progress): int {}

/**
 * @prefer-ref $state
 * @prefer-ref $progress
 */
function php_zr_sync_disk_pair_tarvoii(array $first, array $second, mixed $state, mixed $progress): int {}

/**
 * @prefer-ref $state
 * @prefer-ref $progress
 */
function php_zr_sync_raid01(int $array, mixed $state, mixed $progress, int $halves): int {}

/**
 * @prefer-ref $state
 * @prefer-ref $progress
 */
function php_zr_sync_raid01_tarvo(int $array, mixed $state, mixed $progress, int $halves): int {}

/**
 * @prefer-ref $state
 * @prefer-ref $progress
 */
function php_zr_sync_raid01_tarvoii(array $array, mixed $state, mixed $progress, int $halves): int {}

/**
 * @prefer-ref $state
 * @prefer-ref $progress
 */
function php_zr_sync_raid5(int $array, mixed $state, mixed $progress): int {}

/**
 * @prefer-ref $state
 * @prefer-ref $progress
 */
function php_zr_sync_raid5_tarvo(int $array, mixed $state, mixed $progress): int {}

/**
 * @prefer-ref $state
 * @prefer-ref $progress
 */
function php_zr_sync_raid5_tarvoii(array $array, mixed $state, mixed $progress): int {}

/**
 * @prefer-ref $state
 * @prefer-ref $progress
 */
function php_zr_migration_raid(int $array, mixed $state, mixed $progress): int {}

/**
 * @prefer-ref $state
 * @prefer-ref $progress
 */
function php_zr_migration_raid_tarvo(int $array, mixed $state, mixed $progress): int {}

/**
 * @prefer-ref $state
 * @prefer-ref $progress
 */
function php_zr_migration_raid_tarvoii(array $array, mixed $state, mixed $progress): int {}

function php_zr_replace_pd_init_tarvo(int $source, int $target): int {}

/** @prefer-ref $state */
function php_zr_replace_pd_tarvo(int $source, int $target, mixed $state): int {}

/** @prefer-ref $state */
function php_zr_replace_pd_tarvoii(array $source, array $target, mixed $state): int {}

function php_zr_replace_pd_remove_tarvo(int $source, int $target): int {}

/**
 * @prefer-ref $taskCode
 * @prefer-ref $array
 * @prefer-ref $progress
 * @prefer-ref $result
 * @prefer-ref $state
 */
function php_zr_check_sync_mig_replace_status(mixed $taskCode, mixed $array, mixed $progress, mixed $result, mixed $state): int {}

/** @prefer-ref $changed */
function php_zr_check_hotplug_by_controller(int $controller, mixed $changed): int {}

/** @prefer-ref $mode */
function php_zr_get_set_power_mode(mixed $mode, int $set): int {}

function php_zr_force_rescan_bus(int $controller): int {}

/** @prefer-ref $magic */
function php_zr_get_pd_magicnum(int $disk, mixed $magic): int {}

/** @prefer-ref $magic */
function php_zr_get_array_magicnum(int $array, mixed $magic): int {}

function php_zr_relse_rsc_while_exit(): int {}

function php_zr_get_array_info_by_disk(): int {}

function php_zr_init_pd_by_phy_address(int $controller, int $channel, int $device, int $mode): int {}
