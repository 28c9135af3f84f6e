--TEST--
settings: beeper, disk-check interval and a password change, each put back as found
--FILE--
<?php
require __DIR__ . '/volmod.inc';
vm_login();
vm_out(php_getbeepstatus($beep), php_setbeepstatus(1 - $beep), php_getbeepstatus($now), $now === 1 - $beep, php_setbeepstatus($beep));
vm_out(php_getcheckdisktime($minutes), php_setcheckdisktime(7), php_getcheckdisktime($now), $now, php_setcheckdisktime($minutes));
vm_out(php_changepasswd('guest', 'rovak', 'other'), php_changepasswd('guest', 'wrong', 'x') != 0);
php_closeconnect(); vm_login('guest', 'other');
vm_out(php_changepasswd('guest', 'other', 'rovak'));
php_closeconnect(); vm_login();
vm_out(php_changepasswd('guest', 'other', 'rovak'));
php_closeconnect(); vm_login('guest', 'rovak'); echo "guest back\n";
?>
--EXPECT--
[0,0,0,true,0]
[0,0,0,7,0]
[0,true]
[1037]
[0]
guest back
