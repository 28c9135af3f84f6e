--TEST--
notices: a disk pulled and plugged back, and a disk's failing SMART status
--FILE--
<?php
require __DIR__ . '/volmod.inc';
$id = vm_login();
vm_events($id);
$data = 'untouched';
vm_kelsim('unplug', 'sdc');
var_dump(vm_wait_notice(3) !== null, php_zr_get_pd_num($m), vm_slots($m['map_Low64']));
vm_kelsim('plug', 'sdc', '--channel', '1', '--position', 'master');
var_dump(vm_wait_notice(3) !== null, php_zr_get_pd_num($m), vm_slots($m['map_Low64']));
vm_kelsim('smart', 'sdb', '--status', '3');
var_dump(vm_wait_notice(4));
vm_kelsim('smart', 'sdb', '--status', '0');
?>
--EXPECT--
bool(true)
int(0)
array(3) {
  [0]=>
  int(0)
  [1]=>
  int(1)
  [2]=>
  int(3)
}
bool(true)
int(0)
array(4) {
  [0]=>
  int(0)
  [1]=>
  int(1)
  [2]=>
  int(2)
  [3]=>
  int(3)
}
array(2) {
  [0]=>
  int(1)
  [1]=>
  int(3)
}
