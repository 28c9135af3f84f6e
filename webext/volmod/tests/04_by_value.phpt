--TEST--
result variables: a plain value instead of a variable warns and gives 201 or 900; a real variable is filled
--FILE--
<?php
require __DIR__ . '/volmod.inc';
vm_login();
function two() { return 2; }
$warnings = 0;
set_error_handler(function ($no, $msg) use (&$warnings) { $warnings += $msg === "parameter wasn't passed by reference"; return true; });
// [function, leading argument or null, code for a plain value]
$cases = [['php_getbeepstatus', null, 900], ['php_zr_get_controller_num', null, 201],
          ['php_zr_get_array_info', 0, 201], ['php_kel_async_task_info', null, 201]];
foreach ($cases as [$fn, $arg, $code]) {
    $got = [$arg === null ? $fn(5) : $fn($arg, 5), $arg === null ? $fn(two() . "x") : $fn($arg, two() . "x"),
            $arg === null ? call_user_func($fn, 7) : call_user_func($fn, $arg, 7)];
    $v = null; $ok = $arg === null ? $fn($v) : $fn($arg, $v);
    echo "$fn: ", $got === [$code, $code, $code] ? "refused" : "accepted", ", variable: $ok ", gettype($v), "\n";
}
vm_out(php_userlogin('admin', 'pelum', $id, 3), php_getlogstatus($a, 0.5, $c), isset($a), $warnings);
?>
--EXPECT--
php_getbeepstatus: refused, variable: 0 integer
php_zr_get_controller_num: refused, variable: 0 integer
php_zr_get_array_info: refused, variable: 0 array
php_kel_async_task_info: refused, variable: 0 array
[900,900,false,14]
