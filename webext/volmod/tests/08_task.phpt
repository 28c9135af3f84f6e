--TEST--
tasks: a new mirror needs no synchronisation; a mirror repaired with a new disk, its synchronisation started, listed, followed by notices, queried and stopped
--FILE--
<?php
require __DIR__ . '/volmod.inc';
$id = vm_login();
vm_events($id);
vm_out(php_kel_async_task_info($none), $none);
vm_out(php_zr_create_mirror_tarvoii(2, [vm_ref(vm_disk(0)), vm_ref(vm_disk(1))], "100", "synced", false),
       php_zr_sync_mig_replace(1, vm_ref(vm_array('synced')), null, null, 0, 1));
vm_kelsim('unplug', 'sdb');
vm_out(php_zr_update_hardware_info(), vm_array('synced')['status'] != 0,
       php_zr_repair_mirror_with_new_disk_tarvoii(vm_ref(vm_array('synced')), vm_ref(vm_disk(2))));
$m = vm_array('synced'); $ref = vm_ref($m);
vm_out(php_zr_sync_mig_replace(1, $ref, null, null, 0, 1), php_kel_async_task_info($tasks), $tasks[0]['uArrayIndex'] === $m['index']);
echo vm_shape($tasks[0]), "\n";
do { $n = vm_wait_notice(5); } while ($n !== null && $n[1] != 5);
vm_out($n[0] === 1 && $n[2] === $m['index'], php_zr_get_sync_mig_replace_status(1, $ref, null, null, $result, $state), $result, $state);
vm_out(php_zr_sync_mig_replace(1, $ref, null, null, 0, 2), php_kel_async_task_info($tasks), $tasks[0]['uStatus']);
vm_out(php_zr_get_sync_mig_replace_status(1, $ref, null, null, 'x', $state));
vm_out(php_zr_remove_raid_tarvoii(1, [vm_ref(vm_array('synced'))], $res));
// The pulled member comes back with the old array on it, which goes too.
vm_kelsim('plug', 'sdb', '--channel', '0', '--position', 'slave');
vm_out(php_zr_update_hardware_info(), php_zr_remove_raid_tarvoii(1, [vm_ref(vm_array('synced'))], $res), vm_array('synced'));
?>
--EXPECTF--
[0,[]]
[0,300]
[0,true,0]
[0,0,true]
uTaskCode:i uOpCode:i uArrayIndex:i uStatus:i uProgress:i
[true,0,0,5]
[0,0,3]

Warning: parameter wasn't passed by reference in %s on line %d
[201]
[0]
[0,0,null]
