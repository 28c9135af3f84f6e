--TEST--
discovery finds the service; the event log's status, lines and clearing
--FILE--
<?php
require __DIR__ . '/volmod.inc';
var_dump(php_scanserver((int) vm_env('VOLMOD_TEST_BCAST_PORT'), $list), $list);
vm_login();
var_dump(php_getlogstatus($over, $size, $lines), $over, is_float($size) && $size > 0, $lines > 0);
$count = 2;
var_dump(php_getlogitems(1, $lines, $count, $text), $count, substr_count($text, "\n") >= 2 || strlen($text) > 0);
var_dump(php_clearlog(), php_getlogstatus($over, $size, $after), $after <= $lines);
?>
--EXPECTF--
int(0)
string(%d) "127.0.0.1
%s
"
int(0)
int(0)
bool(true)
bool(true)
int(0)
int(2)
bool(true)
int(0)
int(0)
bool(true)
