--TEST--
functions of the older direct-access library, and the two without a body: a warning naming each and 2011, or 201 for arguments that do not parse
--FILE--
<?php
$names = ['php_zr_init', 'php_zr_init_pd', 'php_zr_get_disk_num_per_chl', 'php_zr_get_array_num', 'php_zr_remove_raid',
  'php_zr_create_stripe', 'php_zr_create_mirror', 'php_zr_create_span', 'php_zr_create_simpleraid', 'php_zr_create_raid01',
  'php_zr_create_raid5', 'php_zr_create_raid_free', 'php_zr_repair_mirror_with_spare', 'php_zr_repair_mirror_with_spare_tarvo',
  'php_zr_repair_mirror_with_new_disk_tarvo', 'php_zr_repair_mirror_with_new_disk_zraid', 'php_zr_mirror_remove_spare',
  'php_zr_mirror_remove_spare_tarvo', 'php_zr_mirror_add_spare_tarvo', 'php_zr_mirror_add_spare_zraid',
  'php_zr_repair_broken_raid01_tarvo', 'php_zr_repair_broken_raid01_zraid', 'php_zr_repair_raid5_with_new_disk_tarvo',
  'php_zr_repair_raid5_with_new_disk_zraid', 'php_zr_sync_disk_pair', 'php_zr_sync_disk_pair_tarvo', 'php_zr_sync_disk_pair_tarvoii',
  'php_zr_sync_raid01', 'php_zr_sync_raid01_tarvo', 'php_zr_sync_raid01_tarvoii', 'php_zr_sync_raid5', 'php_zr_sync_raid5_tarvo',
  'php_zr_sync_raid5_tarvoii', 'php_zr_migration_raid', 'php_zr_migration_raid_tarvo', 'php_zr_migration_raid_tarvoii',
  'php_zr_replace_pd_init_tarvo', 'php_zr_replace_pd_tarvo', 'php_zr_replace_pd_tarvoii', 'php_zr_replace_pd_remove_tarvo',
  'php_zr_check_sync_mig_replace_status', 'php_zr_check_hotplug_by_controller', 'php_zr_get_set_power_mode',
  'php_zr_force_rescan_bus', 'php_zr_get_pd_magicnum', 'php_zr_get_array_magicnum', 'php_zr_relse_rsc_while_exit',
  'php_zr_get_array_info_by_disk', 'php_zr_init_pd_by_phy_address'];
$sample = ['int' => 1, 'string' => 's', 'bool' => true, 'array' => [], 'mixed' => null];
$warned = [];
set_error_handler(function ($no, $msg) use (&$warned) { $warned[] = $msg; return true; });
$bad = [];
foreach ($names as $fn) {
    $params = (new ReflectionFunction($fn))->getParameters();
    $args = array_map(fn($p) => $sample[(string) $p->getType()], $params);
    $warned = [];
    if ($fn(...$args) !== 2011 || $warned !== ["$fn: not available on this system"]) $bad[] = "$fn available";
    $warned = [];
    if ($params && $fn(...array_slice($args, 1)) !== 201) $bad[] = "$fn short";
    if ($warned) $bad[] = "$fn warned on bad arguments";
}
echo count($names), " functions; ", $bad ? implode(', ', $bad) : "all refused", "\n";
var_dump(php_zr_create_raid01(1, [], 'n', 'not a number', true), php_zr_sync_raid01(1, $x, null, 2));
?>
--EXPECT--
49 functions; all refused
int(201)
int(2011)
