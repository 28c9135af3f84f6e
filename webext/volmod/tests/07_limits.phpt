--TEST--
arrays: lists that do not match their count, too many disks or arrays, and over-long names are refused with 201
--FILE--
<?php
require __DIR__ . '/volmod.inc';
vm_login();
$r = vm_ref(vm_disk(0)); $two = [$r, vm_ref(vm_disk(1))];
$nine = array_fill(0, 9, $r); $many = array_fill(0, 33, $r);
$cases = [
    'count above the list' => fn() => php_zr_create_mirror_tarvoii(3, $two, "100", "m", false),
    'count below the list' => fn() => php_zr_create_span_tarvoii(1, $two, "100", "m", false),
    'element not an array' => fn() => php_zr_create_stripe_tarvoii(2, [$r, 5], "100", 64, "m", false),
    'nine disks' => fn() => php_zr_create_raid5_tarvoii(9, $nine, "100", 64, 0, "m", false, false),
    'nine disks, size range' => fn() => php_zr_get_array_create_info_by_pds(9, $nine, 0, false, $x),
    'name of 24 bytes' => fn() => php_zr_create_mirror_tarvoii(2, $two, "100", str_repeat('n', 24), false),
    'name with a zero byte' => fn() => php_zr_create_raid01_tarvoii(2, $two, "100", 64, "a\0b", false),
    '33 arrays' => fn() => php_zr_remove_raid_tarvoii(33, $many, $x),
    'negative count' => fn() => php_zr_remove_raid_tarvoii(-1, [], $x),
    'five repair disks' => fn() => php_zr_repair_broken_raid01_tarvoii($r, 5, array_fill(0, 5, $r)),
    'task reference not an array' => fn() => php_zr_sync_mig_replace(1, 7, null, null, 0, 1),
];
foreach ($cases as $what => $call) echo "$what: ", $call(), "\n";
vm_out($x ?? 'untouched', count(vm_arrays()));
?>
--EXPECTF--
count above the list: 201
count below the list: 201
element not an array: 201
nine disks: 201
nine disks, size range: 201
name of 24 bytes: 201
name with a zero byte: 201
33 arrays: 201
negative count: 201
five repair disks: 201
task reference not an array: 201
["untouched",4]
