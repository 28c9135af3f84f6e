--TEST--
module: a request's end closes its connection, so the next request in the process starts without one
--FILE--
<?php
$script = 'require "' . __DIR__ . '/volmod.inc";'
    . '$n = 0; foreach (glob("/proc/self/fd/*") as $f) $n += str_starts_with((string) @readlink($f), "socket:");'
    . 'echo "fds $n", php_getbeepstatus($on) == 0 ? " open " : " closed "; vm_login(); echo php_getbeepstatus($on), "\n";';
$out = shell_exec(escapeshellarg(getenv('TEST_PHP_EXECUTABLE')) . ' --repeat 2 -n -d extension='
    . escapeshellarg(getenv('VOLMOD_SO')) . ' -d volmod.diagnostics=0 -r ' . escapeshellarg($script));
preg_match_all('/fds (\d+) (\w+ \d+)/', $out, $m);
var_dump($m[2] === ["closed 0", "closed 0"] && $m[1][0] === $m[1][1]);
?>
--EXPECT--
bool(true)
