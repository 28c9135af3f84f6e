--TEST--
connection: refused, wrong password, login, session continued on a new connection, logout
--FILE--
<?php
require __DIR__ . '/volmod.inc';
$host = vm_env('VOLMOD_TEST_HOST'); $port = (int) vm_env('VOLMOD_TEST_PORT');
$s = stream_socket_server("tcp://127.0.0.1:0"); $free = (int) substr(strrchr(stream_socket_get_name($s, false), ':'), 1); fclose($s);
var_dump(php_zepsockinit(), php_openconnect($host, $free));
var_dump(php_openconnect($host, $port), php_userlogin('admin', 'wrong', $id, $rights), $id);
var_dump(php_closeconnect(), php_openconnect($host, $port), php_userlogin('admin', 'pelum', $id, $rights), $rights);
var_dump(preg_match('/^\d+$/', $id), php_userlogin('admin', 'pelum', $id2, $rights));
// a later page: new connection, same session
var_dump(php_closeconnect(), php_openconnect($host, $port), php_userack($id), php_getcheckdisktime($m), is_int($m));
var_dump(php_userack(), php_userlogout([]));
var_dump(in_array(php_userlogout($id), [0, 2001]), php_zr_exit());
var_dump(php_openconnect($host, $port), php_userack($id) != 0);
?>
--EXPECT--
int(0)
int(2010)
int(0)
int(2013)
string(0) ""
int(0)
int(0)
int(0)
int(21)
int(1)
int(2012)
int(0)
int(0)
int(0)
int(0)
bool(true)
int(201)
int(201)
bool(true)
int(0)
int(0)
bool(true)
