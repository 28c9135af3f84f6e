--TEST--
notices: a disk pulled and plugged back, and a disk's failing SMART status
--FILE--
<?php
require __DIR__ . '/volmod.inc';
$id = vm_login();
vm_events($id);
vm_kelsim('unplug', 'sdc');
vm_out(vm_wait_notice(3) !== null, php_zr_get_pd_num($m), vm_slots($m['map_Low64']));
vm_kelsim('plug', 'sdc', '--channel', '1', '--position', 'master');
vm_out(vm_wait_notice(3) !== null, php_zr_get_pd_num($m), vm_slots($m['map_Low64']));
vm_kelsim('smart', 'sdb', '--status', '3');
vm_out(vm_wait_notice(4));
vm_kelsim('smart', 'sdb', '--status', '0');
?>
--EXPECT--
[true,0,[0,1,3]]
[true,0,[0,1,2,3]]
[[1,3]]
