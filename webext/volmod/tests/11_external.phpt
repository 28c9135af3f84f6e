--TEST--
functions of the older direct-access library, and the two without a body: a warning naming each and 2011, or 201 for arguments that do not parse
--INI--
pcre.jit=0
--FILE--
<?php
// Every function of the stub's last section, the older library's and the two bodiless ones.
$stub = file_get_contents(__DIR__ . '/../volmod.stub.php');
preg_match_all('/^function (\w+)/m', substr($stub, strpos($stub, 'older direct-access library')), $m);
$names = $m[1];
$sample = ['int' => 1, 'string' => 's', 'bool' => true, 'array' => [], 'mixed' => null];
$warned = [];
set_error_handler(function ($no, $msg) use (&$warned) { $warned[] = $msg; return true; });
$bad = [];
foreach ($names as $fn) {
    $params = (new ReflectionFunction($fn))->getParameters();
    $args = array_map(fn($p) => $sample[(string) $p->getType()], $params);
    $warned = [];
    if ($fn(...$args) !== 2011 || $warned !== ["$fn: not available on this system"]) $bad[] = "$fn available";
    $warned = [];
    if ($params && $fn(...array_slice($args, 1)) !== 201) $bad[] = "$fn short";
    if ($warned) $bad[] = "$fn warned on bad arguments";
}
echo count($names), " functions; ", $bad ? implode(', ', $bad) : "all refused", "\n";
var_dump(php_zr_create_raid01(1, [], 'n', 'not a number', true), php_zr_sync_raid01(1, $x, null, 2));
?>
--EXPECT--
49 functions; all refused
int(201)
int(2011)
