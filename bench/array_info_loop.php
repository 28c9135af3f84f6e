<?php
// The PHP half of bench/volmod_overhead.sh: the same array-info query as array_info_bench,
// made through volmod for a few seconds. Arguments: port, array index, seconds.
[$port, $array, $seconds] = [(int)$argv[1], (int)$argv[2], (float)($argv[3] ?? 3)];
php_zepsockinit();
$id = $rights = null;
if (($rc = php_openconnect('127.0.0.1', $port)) !== 0
    || ($rc = php_userlogin('admin', getenv('KEL_PASSWORD') ?: '', $id, $rights)) !== 0) {
    fwrite(STDERR, "array_info_loop: no session ($rc)\n");
    exit(1);
}
$calls = 0;
$start = hrtime(true);
$until = $start + (int)($seconds * 1e9);
while (hrtime(true) < $until) {
    $info = null;
    if (($rc = php_zr_get_array_info($array, $info)) !== 0) {
        fwrite(STDERR, "array_info_loop: query failed ($rc)\n");
        exit(1);
    }
    ++$calls;
}
$took = (hrtime(true) - $start) / 1e9;
printf("php %d calls in %.2f s: %.0f calls/s\n", $calls, $took, $calls / $took);
