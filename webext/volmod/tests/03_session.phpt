--TEST--
connection: refused, wrong password, login, session continued on a new connection, logout
--FILE--
<?php
require __DIR__ . '/volmod.inc';
$host = vm_env('VOLMOD_TEST_HOST'); $port = (int) vm_env('VOLMOD_TEST_PORT');
$s = stream_socket_server("tcp://127.0.0.1:0"); $free = (int) substr(strrchr(stream_socket_get_name($s, false), ':'), 1); fclose($s);
vm_out(php_zepsockinit(), php_openconnect($host, $free));
vm_out(php_openconnect($host, $port), php_userlogin('admin', 'wrong', $id, $rights), $id);
vm_out(php_closeconnect(), php_openconnect($host, $port), php_userlogin('admin', 'pelum', $id, $rights), $rights);
vm_out(preg_match('/^\d+$/', $id), php_userlogin('admin', 'pelum', $id2, $rights));
// a later page: new connection, same session
vm_out(php_closeconnect(), php_openconnect($host, $port), php_userack($id), php_getcheckdisktime($m), is_int($m));
vm_out(php_userack(), php_userlogout([]), in_array(php_userlogout($id), [0, 2001]), php_zr_exit());
vm_out(php_openconnect($host, $port), php_userack($id) != 0);
?>
--EXPECT--
[0,2010]
[0,2013,""]
[0,0,0,21]
[1,2012]
[0,0,0,0,true]
[201,201,true,0]
[0,true]
