<?php
// Words for the service's notices, from the kind and the list php_checkraidevent gives.
declare(strict_types=1);

function notice_text(int $kind, array $list): ?string
{
    switch ($kind) {
        case 3:
            return 'A disk was plugged in or pulled out.';
        case 4:
            $parts = [];
            for ($i = 0; $i + 1 < count($list); $i += 2) {
                $parts[] = 'disk ' . $list[$i] . ': ' . disk_health(0, (int) $list[$i + 1])[1];
            }
            return 'Disk health changed: ' . ($parts ? implode('; ', $parts) : 'see the overview') . '.';
        case 5:
            if (count($list) < 3) {
                return 'A background task changed its state.';
            }
            $target = $list[0] === 5 ? 'disk ' . $list[2] : 'array ' . $list[2];
            return (TASK_NAMES[$list[0]] ?? 'Task') . ' of ' . $target . ': '
                . (TASK_STATES[$list[1]] ?? 'state ' . $list[1]) . '.';
        case 7:
            return 'Another login of this user has taken the session over.';
    }
    return null;  // kind 0: the service's liveness probe, answered already
}
