--TEST--
notices and discovery answers the real service never sends: empty disk-status data, task records, and an unterminated discovery reply
--FILE--
<?php
require __DIR__ . '/volmod.inc';
// A stand-in service in a second interpreter: it confirms the notice registration, then
// pushes four notices; it also answers one discovery datagram with 128 bytes and no zero.
$peer = <<<'PEER'
function pkt(array $b) {
    $body = pack('n', count($b) + 1) . chr(252) . implode(array_map('chr', $b));
    $sum = array_sum(array_map('ord', str_split($body)));
    return "\x55\xAAZEP" . $body . chr((256 - $sum % 256) % 256);
}
$tcp = stream_socket_server('tcp://127.0.0.1:0');
$udp = stream_socket_server('udp://127.0.0.1:0', $no, $err, STREAM_SERVER_BIND);
echo explode(':', stream_socket_get_name($tcp, false))[1], ' ', explode(':', stream_socket_get_name($udp, false))[1], "\n";
$c = stream_socket_accept($tcp, 20);
fread($c, 30);  // the registration
$task = fn($first) => array_merge([5, $first, 7, 9, 6], array_fill(0, 10, 0), [4, 1]);
fwrite($c, pkt([1]) . pkt([4]) . pkt([4, 0]) . pkt($task(3)) . pkt($task(5)));
stream_socket_recvfrom($udp, 16, 0, $from);
stream_socket_sendto($udp, str_repeat('A', 128), 0, $from);
fread($c, 1);  // until the client closes
PEER;
$proc = proc_open([getenv('TEST_PHP_EXECUTABLE'), '-n', '-r', $peer], [1 => ['pipe', 'w']], $pipes);
try {
    [$tcpPort, $udpPort] = array_map('intval', explode(' ', fgets($pipes[1])));
    vm_out(php_initeventsocket('1', '127.0.0.1', $tcpPort));
    for ($i = 0; $i < 4; $i++) {
        $data = 'untouched';
        vm_out(php_checkraidevent($kind, $data), $kind, $data);
    }
    vm_out(php_scanserver($udpPort, $list), $list === "127.0.0.1\nlocalhost\n" || $list === "127.0.0.1\nUnknown\n");
    php_closeconnect();
} finally {
    proc_terminate($proc);
    proc_close($proc);
}
?>
--EXPECT--
[0]
[0,4,[]]
[0,4,[]]
[0,5,[3,4,9]]
[0,5,[5,4,9,6]]
[0,true]
