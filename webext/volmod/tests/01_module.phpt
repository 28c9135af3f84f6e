--TEST--
module: information line, the self-test names, the speaker off by default
--FILE--
<?php
ob_start(); phpinfo(INFO_MODULES); $info = ob_get_clean();
var_dump(str_contains($info, "volmod support => enabled"));
confirm_volmod_compiled(); echo "\n";
var_dump(php_test(), php_beep(0), php_beep("loud"));
php_zr_get_version();
?>
--EXPECTF--
bool(true)
hello,this is my windows module!
NULL
int(2016)
int(201)

Warning: php_zr_get_version: not yet implemented in %s on line %d
