<?php
// JSON for the pages' poller: the notices the service sends within a few seconds (returning
// as soon as one arrives), the disks present, and the background tasks with their state.
declare(strict_types=1);
require __DIR__ . '/lib/console.php';

header('Content-Type: application/json');
header('Cache-Control: no-store');

// The answer, and the end of the request.
function reply(array $body): never
{
    echo json_encode($body, JSON_UNESCAPED_UNICODE), "\n";
    exit;
}

if (!logged_in()) {
    reply(['login' => false]);
}
$clientId = (string) $_SESSION['client_id'];
$watch = $_SESSION['watch'] ?? [];
$rc = connect_session();
// Other pages of this browser must not wait for this one's session lock while it listens.
session_write_close();
if ($rc !== 0) {
    reply(['login' => logged_in(), 'error' => failure_text('Cannot reach the service', $rc)]);
}

$notices = [];
$wait = min(10.0, max(0.0, (float) ($_GET['wait'] ?? 4)));
if ($wait > 0 && php_initeventsocket($clientId, service_host(), notify_port()) === 0) {
    $until = microtime(true) + $wait;
    while (!$notices && microtime(true) < $until) {
        $kind = 0;
        $data = [];
        $rc = php_checkraidevent($kind, $data);
        if ($rc === 2002) {
            continue;  // nothing within the library's wait
        }
        if ($rc !== 0) {
            break;
        }
        $text = notice_text((int) $kind, $data);
        if ($text !== null) {
            $notices[] = ['kind' => (int) $kind, 'text' => $text];
        }
    }
}

read_followed_tasks($watch, $tasks);
disk_indexes($present);
reply(['login' => true, 'notices' => $notices, 'disks' => implode(',', $present), 'tasks' => $tasks]);
