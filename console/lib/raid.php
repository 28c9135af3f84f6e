<?php
// Reading the RAID configuration through the volmod functions, and the pure helpers that
// turn records into what the pages show (names, health, the layout of a disk).
declare(strict_types=1);

const RAID_PLAIN_DISK = 255;
const PLAIN_DISK_POSITION = 255;
const ARRAY_POSITIONS = 16;   // positions an array member can have
const VD_SLOTS = 2;           // VD slots on one disk
const DISK_RESERVED_SECTORS = 32;
const NOTHING_THERE = 200;

const TASK_STATES = [0 => 'unknown', 1 => 'not running', 2 => 'starting', 3 => 'stopped',
                     4 => 'completed', 5 => 'running', 6 => 'broken'];
const TASK_NAMES = [1 => 'RAID 1 synchronisation', 2 => 'RAID 0+1 synchronisation',
                    3 => 'RAID 5 synchronisation', 4 => 'migration', 5 => 'replacement'];

function make_ref(int $index, int $magic): array
{
    return ['nIndex' => $index, 'wdMagicNum' => $magic, 'reserved' => 0];
}

function level_name(int $raidType): string
{
    return [0 => 'RAID 0', 1 => 'RAID 1', 5 => 'RAID 5', 8 => 'span', 9 => 'RAID 0+1',
            RAID_PLAIN_DISK => 'plain disk'][$raidType] ?? 'type ' . $raidType;
}

function array_status_text(int $status): string
{
    $words = [1 => 'degraded', 2 => 'invalid member', 4 => 'needs synchronisation'];
    $out = [];
    foreach ($words as $bit => $word) {
        if ($status & $bit) {
            $out[] = $word;
        }
    }
    return $out ? implode(', ', $out) : ($status === 0 ? 'normal' : 'status ' . $status);
}

// The synchronisation task of an array's level, or 0 when the level has none.
function sync_task_code(int $raidType): int
{
    return [1 => 1, 9 => 2, 5 => 3][$raidType] ?? 0;
}

// [css class, words] for a disk from its flag word and its SMART status (null: unknown).
function disk_health(int $flags, ?int $smart): array
{
    $bad = [];
    foreach ([4 => 'health bad', 8 => 'unreadable', 1 => 'set aside', 32 => 'conflicting configuration'] as $bit => $w) {
        if ($flags & $bit) {
            $bad[] = $w;
        }
    }
    if ($smart === 2) {
        $bad[] = 'SMART attribute below threshold';
    } elseif ($smart === 3) {
        $bad[] = 'SMART reports failure';
    }
    return $bad ? ['bad', implode(', ', $bad)] : ['good', $smart === 1 ? 'healthy' : 'ok'];
}

// Slots set in a 64-bit map given as unsigned decimal text, offset by $base.
function map_slots(string $decimal, int $base): array
{
    $digits = ltrim($decimal, '0');
    $slots = [];
    for ($bit = 0; $digits !== '' && $bit < 64; $bit++) {
        // Halve the decimal text; the remainder is this bit.
        $half = '';
        $carry = 0;
        foreach (str_split($digits) as $d) {
            $cur = $carry * 10 + (int) $d;
            $half .= intdiv($cur, 2);
            $carry = $cur % 2;
        }
        if ($carry) {
            $slots[] = $base + $bit;
        }
        $digits = ltrim($half, '0');
    }
    return $slots;
}

// Sectors of a disk record (capacity given as two 32-bit halves).
function disk_sectors(array $disk): int
{
    return (int) $disk['capacityHigh'] * 4294967296 + (int) $disk['capacityLow'];
}

function size_text(int $sectors): string
{
    $bytes = $sectors * 512;
    foreach (['TiB' => 40, 'GiB' => 30, 'MiB' => 20] as $unit => $shift) {
        if ($bytes >= (1 << $shift)) {
            return sprintf('%.1f %s', $bytes / (1 << $shift), $unit);
        }
    }
    return $bytes . ' B';
}

// The areas of a disk in sector order: each VD (['vd', start, length, vd record]) and each
// gap between them split into free and protected parts. The last reserved sectors hold
// neither; overlapping VDs are drawn as they are.
function disk_layout(int $capacity, array $vds, array $protected): array
{
    $usable = max(0, $capacity - DISK_RESERVED_SECTORS);
    usort($vds, fn($a, $b) => (int) $a['StartSector'] <=> (int) $b['StartSector']);
    $prot = array_map(fn($p) => [(int) $p['StartSector'], (int) $p['SectorLengh']], $protected);
    sort($prot);
    $out = [];
    $gap = function (int $start, int $end) use ($prot, &$out): void {
        $at = $start;
        foreach ($prot as [$ps, $pl]) {
            $s = max($ps, $at);
            $e = min($end, $ps + $pl);
            if ($s >= $e) {
                continue;
            }
            if ($s > $at) {
                $out[] = ['free', $at, $s - $at, null];
            }
            $out[] = ['protected', $s, $e - $s, null];
            $at = $e;
        }
        if ($at < $end) {
            $out[] = ['free', $at, $end - $at, null];
        }
    };
    $covered = 0;
    foreach ($vds as $vd) {
        $start = (int) $vd['StartSector'];
        $length = (int) $vd['Capacity'];
        if ($start > $covered) {
            $gap($covered, min($start, $usable));
        }
        $out[] = ['vd', $start, $length, $vd];
        $covered = max($covered, $start + $length);
    }
    if ($covered < $usable) {
        $gap($covered, $usable);
    }
    return $out;
}

// ---- reading from the service (each returns 0 or the failing code) --------------------

// Arrays in name order (RAID arrays first, then plain disks), each with 'members':
// position => disk record.
function read_arrays(?array &$arrays): int
{
    $arrays = [];
    $count = 0;
    $indexes = [];
    $rc = php_zr_get_sorted_array_index($count, $indexes);
    if ($rc !== 0) {
        return $rc;
    }
    foreach ($indexes as $i) {
        $info = [];
        $rc = php_zr_get_array_info((int) $i, $info);
        if ($rc !== 0) {
            return $rc;
        }
        $info['members'] = [];
        $positions = $info['raidType'] === RAID_PLAIN_DISK ? [PLAIN_DISK_POSITION] : range(0, ARRAY_POSITIONS - 1);
        foreach ($positions as $pos) {
            if (count($info['members']) >= max(1, $info['diskNum'])) {
                break;
            }
            $disk = [];
            $rc = php_zr_get_pd_info_by_array_pos((int) $i, $pos, $disk);
            if ($rc === 0) {
                $info['members'][$pos] = $disk;
            } elseif ($rc !== NOTHING_THERE) {
                return $rc;
            }
        }
        $arrays[] = $info;
    }
    usort($arrays, fn($a, $b) => [$a['raidType'] === RAID_PLAIN_DISK, $a['arrayName']]
                                <=> [$b['raidType'] === RAID_PLAIN_DISK, $b['arrayName']]);
    return 0;
}

function disk_indexes(?array &$indexes): int
{
    $map = [];
    $rc = php_zr_get_pd_num($map);
    $indexes = $rc === 0 ? array_merge(map_slots($map['map_Low64'], 0), map_slots($map['map_High64'], 64)) : [];
    return $rc;
}

// Every disk's record, in index order.
function read_disk_list(?array &$disks): int
{
    $disks = [];
    $rc = disk_indexes($indexes);
    foreach ($rc === 0 ? $indexes : [] as $i) {
        $d = [];
        $rc = php_zr_get_pd_info($i, $d);
        if ($rc !== 0) {
            return $rc;
        }
        $disks[$i] = $d;
    }
    return $rc;
}

// Every disk with its VDs ('vds'), protected areas ('protected') and SMART status ('smart').
function read_disks(?array &$disks): int
{
    $rc = read_disk_list($disks);
    if ($rc !== 0) {
        return $rc;
    }
    foreach ($disks as $i => &$d) {
        $d['vds'] = [];
        for ($slot = 0; $slot < VD_SLOTS; $slot++) {
            $vd = [];
            $rc = php_zr_get_vd_info_by_pd_logic_index($i, $slot, $vd);
            if ($rc === 0) {
                $d['vds'][] = $vd;
            } elseif ($rc !== NOTHING_THERE) {
                return $rc;
            }
        }
        $areas = [];
        $d['protected'] = php_zr_get_protect_free_info_by_pd($i, $areas) === 0 ? $areas : [];
        $ref = make_ref($i, $d['magicNum']);
        $smart = 0;
        $d['smart'] = php_zr_get_pd_smart_status_tarvoii($ref, $smart) === 0 ? (int) $smart : null;
    }
    return 0;
}

// Running and stopped tasks as the service lists them: code, objects and state.
function read_tasks(?array &$tasks): int
{
    $tasks = [];
    $list = [];
    $rc = php_kel_async_task_info($list);
    if ($rc !== 0) {
        return $rc;
    }
    foreach ($list as $t) {
        $tasks[] = task_row((int) $t['uTaskCode'], $t['uArrayIndex'] ?? $t['uSrcPD'],
                            $t['uTgtPD'] ?? null, (int) $t['uStatus'], null,
                            (int) $t['uProgress']);
    }
    return 0;
}

// One task as the pages and the event endpoint show it; `percent` is null where the source
// (a status query) does not carry it.
function task_row(int $code, int $first, ?int $second, int $state, ?int $result,
                  ?int $percent = null): array
{
    $done = $state === 4 || $result === 1112;
    return [
        'code' => $code,
        'name' => TASK_NAMES[$code] ?? 'task ' . $code,
        'target' => $code === 5 ? "disk $first \u{2192} disk $second" : 'array ' . $first,
        'first' => $first,
        'second' => $second,
        'state' => $done ? 4 : $state,
        'stateText' => TASK_STATES[$done ? 4 : $state] ?? 'unknown',
        'percent' => $done ? 100 : $percent,
    ];
}

// The state of array task $code on array $array (its current magic number in $magic).
function query_array_task(int $code, int $array, int $magic, ?array &$row): int
{
    $ref = make_ref($array, $magic);
    $result = 0;
    $state = 0;
    $rc = php_zr_get_sync_mig_replace_status($code, $ref, null, null, $result, $state);
    $row = task_row($code, $array, null, (int) $state, $rc === 0 ? (int) $result : $rc);
    return $rc === 1112 ? 0 : $rc;
}

// The listed tasks, and the tasks this session started that have left the list since, so
// that their end shows.
function read_followed_tasks(array $watch, ?array &$tasks): int
{
    $rc = read_tasks($tasks);
    $listed = array_flip(array_map(fn($t) => $t['code'] . ':' . $t['first'], $tasks));
    foreach ($rc === 0 ? $watch : [] as $key => [$code, $array]) {
        $info = [];
        if (!isset($listed[$key]) && php_zr_get_array_info($array, $info) === 0
            && query_array_task($code, $array, $info['magicNum'], $row) === 0) {
            $tasks[] = $row;
        }
    }
    return $rc;
}
