--TEST--
settings: beeper, disk-check interval and a password change, each put back as found
--FILE--
<?php
require __DIR__ . '/volmod.inc';
vm_login();
var_dump(php_getbeepstatus($beep), php_setbeepstatus(1 - $beep), php_getbeepstatus($now), $now === 1 - $beep, php_setbeepstatus($beep));
var_dump(php_getcheckdisktime($minutes), php_setcheckdisktime(7), php_getcheckdisktime($now), $now, php_setcheckdisktime($minutes));
var_dump(php_changepasswd('guest', 'rovak', 'other'), php_changepasswd('guest', 'wrong', 'x') != 0);
php_closeconnect(); vm_login('guest', 'other');
var_dump(php_changepasswd('guest', 'other', 'rovak'));
php_closeconnect(); vm_login();
var_dump(php_changepasswd('guest', 'other', 'rovak'));
php_closeconnect(); vm_login('guest', 'rovak'); echo "guest back\n";
?>
--EXPECT--
int(0)
int(0)
int(0)
bool(true)
int(0)
int(0)
int(0)
int(0)
int(7)
int(0)
int(0)
bool(true)
int(1037)
int(0)
guest back
