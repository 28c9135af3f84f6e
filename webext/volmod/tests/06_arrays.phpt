--TEST--
arrays: size range, creation, array and virtual-device keys, spares, repair refusals, stale magic, removal
--FILE--
<?php
require __DIR__ . '/volmod.inc';
vm_login();
$d = [vm_ref(vm_disk(0)), vm_ref(vm_disk(1))];
vm_out(php_zr_get_array_create_info_by_pds(2, $d, 1, false, $range), $range);
vm_out(php_zr_create_mirror_tarvoii(2, $d, "100", "mirror-one", false));
$m = vm_array('mirror-one'); echo vm_shape($m), "\n";
vm_out($m['raidType'], $m['diskNum'], preg_match('/^\d+$/', $m['GUID']));
vm_out(php_zr_get_vd_info_by_array_pos($m['index'], 0, $v)); echo vm_shape($v), "\n";
vm_out($v['Capacity'], php_zr_get_vd_info_by_pd_logic_index($v['pd_index'], $v['vd_index_on_pd'], $w), $v === $w);
vm_out(php_zr_get_pd_info_by_array_pos($m['index'], 1, $p), $p['index']);
vm_out(php_zr_get_partition_info(1, vm_ref($m), $parts), $parts, php_zr_get_protect_free_info_by_pd(0, $areas), $areas);
$spare = vm_ref(vm_disk(2));
echo "spare ", php_zr_mirror_add_spare_tarvoii(vm_ref($m), $spare), ", stale ", php_zr_mirror_remove_spare_tarvoii(vm_ref($m)),
     ", unspare ", php_zr_mirror_remove_spare_tarvoii(vm_ref(vm_array('mirror-one'))), "\n";
$ref = vm_ref(vm_array('mirror-one'));
echo "repair healthy: ", php_zr_repair_mirror_with_spare_tarvoii($ref), " ",
     php_zr_repair_mirror_with_new_disk_tarvoii($ref, vm_ref(vm_disk(3))), "\n";
vm_out(php_zr_remove_raid_tarvoii(1, [$ref], $res), $res, vm_array('mirror-one'));
?>
--EXPECT--
[0,{"nMinArraySize":"1","nMaxArraySize":"255"}]
[0]
status:i raidType:i diskNum:i capacityLow:d capacityHigh:d realCapacityLow:d stripeSize:d blockSize:d bNeedMigration:b bNeedInit:b bOptimized:b systemDisk:i raid_index:i index:i version:i arrayName:s bInReplacement:b GUID:s nSyncMigReplacing:i magicNum:i
[1,2,1]
[0]
VDName:s status:i ctrler_index:i chan_index:i master:b vd_index_on_pd:i pd_index:i index:i systemVD:i bVDInRaid:b array_position:i array_index:i Capacity:s StartSector:s
["204800",0,true]
[0,1]
[0,[],0,[]]
spare 0, stale 2, unspare 0
repair healthy: 206 401
[0,[0],null]
