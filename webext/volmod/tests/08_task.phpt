--TEST--
tasks: a mirror repaired with a new disk, its synchronisation started, listed, followed by notices, queried and stopped
--FILE--
<?php
require __DIR__ . '/volmod.inc';
$id = vm_login();
vm_events($id);
var_dump(php_kel_async_task_info($none), $none);
var_dump(php_zr_create_mirror_tarvoii(2, [vm_ref(vm_disk(0)), vm_ref(vm_disk(1))], "100", "synced", false));
vm_kelsim('unplug', 'sdb');
var_dump(php_zr_update_hardware_info(), vm_array('synced')['status'] != 0);
var_dump(php_zr_repair_mirror_with_new_disk_tarvoii(vm_ref(vm_array('synced')), vm_ref(vm_disk(2))));
$m = vm_array('synced'); $ref = vm_ref($m);
var_dump(php_zr_sync_mig_replace(1, $ref, null, null, 0, 1), php_kel_async_task_info($tasks), $tasks[0]['uArrayIndex'] === $m['index']);
echo vm_shape($tasks[0]), "\n";
do { $n = vm_wait_notice(5); } while ($n !== null && $n[1] != 5);
var_dump($n[0] === 1 && $n[2] === $m['index']);
var_dump(php_zr_get_sync_mig_replace_status(1, $ref, null, null, $result, $state), $result, $state);
var_dump(php_zr_sync_mig_replace(1, $ref, null, null, 0, 2), php_kel_async_task_info($tasks), $tasks[0]['uStatus']);
var_dump(php_zr_get_sync_mig_replace_status(1, $ref, null, null, 'x', $state));
var_dump(php_zr_remove_raid_tarvoii(1, [vm_ref(vm_array('synced'))], $res));
// The pulled member comes back with the old array on it, which goes too.
vm_kelsim('plug', 'sdb', '--channel', '0', '--position', 'slave');
php_zr_update_hardware_info();
var_dump(php_zr_remove_raid_tarvoii(1, [vm_ref(vm_array('synced'))], $res), vm_array('synced'));
?>
--EXPECTF--
int(0)
array(0) {
}
int(0)
int(0)
bool(true)
int(0)
int(0)
int(0)
bool(true)
uTaskCode:i uOpCode:i uArrayIndex:i uStatus:i
bool(true)
int(0)
int(0)
int(5)
int(0)
int(0)
int(3)

Warning: parameter wasn't passed by reference in %s on line %d
int(201)
int(0)
int(0)
NULL
