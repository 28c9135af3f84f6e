--TEST--
records: every key of each record family, in order, with its type
--FILE--
<?php
require __DIR__ . '/volmod.inc';
vm_login();
$r = [];
$r[] = php_zr_get_controller_num($n); echo "controllers $n\n";
$r[] = php_zr_get_controller_info(0, $a); echo vm_shape($a), "\n";
$r[] = php_zr_get_channel_info(0, 1, $a); echo vm_shape($a), "\n";
$r[] = php_zr_get_device_hub_info(0, 1, 1, $a); echo vm_shape($a), "\n";
$r[] = php_zr_get_pd_num($a); echo vm_shape($a), " disks ", implode(',', vm_slots($a['map_Low64'])), "\n";
$r[] = php_zr_get_pd_info(0, $a); echo vm_shape($a), "\n";
$r[] = php_zr_get_pd_info_by_phy_address(0, 0, 0, $b); echo vm_shape($b), "\n";
$r[] = php_zr_get_pd_info_by_array_pos($a['array_index'], $a['array_position'], $c); var_dump($b === $c);
$r[] = php_zr_get_array_num_tarvoii(0, $a); echo vm_shape($a), "\n";
$r[] = php_zr_get_sorted_array_index($n, $list); echo "arrays $n ", implode(',', $list), "\n";
$r[] = php_zr_get_array_info($list[0], $a); echo vm_shape($a), "\n";
$r[] = php_zr_get_vd_info_by_array_pos($list[0], 0, $v); echo vm_shape($v), "\n";
$r[] = php_zr_get_vd_info_by_pd_logic_index($v['pd_index'], $v['vd_index_on_pd'], $w); var_dump($v === $w);
$r[] = php_zr_get_partition_info(0, vm_ref(vm_disk(0)), $p); var_dump($p);
$r[] = php_zr_get_protect_free_info_by_pd(0, $p); var_dump($p);
$r[] = php_zr_get_pd_smart_status_tarvoii(vm_ref(vm_disk(0)), $s); var_dump($s);
$r[] = php_zr_exec_smart_read_data(vm_ref(vm_disk(0)), $d); echo count($d), " bytes ", gettype($d[0]), "\n";
echo "codes ", implode(' ', $r), "\n";
$untouched = 'x';
var_dump(php_zr_get_array_info(300, $untouched), $untouched, php_zr_get_pd_info(99, $untouched), $untouched);
?>
--EXPECTF--
controllers 1
deviceID:d chipName:s manufactory:s support_PIO:i support_MutiDMA:i support_UltraDMA:i channel_Num:i bSupportRaid0Migration:b bSupportRAID5:b bSupportRAID6:b index:i
