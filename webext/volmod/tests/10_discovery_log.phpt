--TEST--
discovery finds the service; the event log's status, lines and clearing
--FILE--
<?php
require __DIR__ . '/volmod.inc';
vm_out(php_scanserver((int) vm_env('VOLMOD_TEST_BCAST_PORT'), $list), preg_match("/^127\.0\.0\.1\n[^\n]+\n$/", $list));
vm_login();
vm_out(php_getlogstatus($over, $size, $lines), $over, is_float($size) && $size > 0, $lines > 0);
$count = 2;
vm_out(php_getlogitems(1, $lines, $count, $text), $count, substr_count($text, "~INFO~") + substr_count($text, "~WARNING~"));
vm_out(php_clearlog(), php_getlogstatus($over, $size, $after), $after <= $lines);
?>
--EXPECT--
[0,1]
[0,0,true,true]
[0,2,2]
[0,0,true]
