<?php
// The changes array.php offers: each takes the references the form carried (with the magic
// numbers the page saw) and returns [code, what was done].
declare(strict_types=1);

// A disk chosen in a select whose option values are "index:magic".
function post_disk(string $name): ?array
{
    $v = post_text($name);
    return preg_match('/^(\d+):(\d+)$/', $v, $m) ? make_ref((int) $m[1], (int) $m[2]) : null;
}

function run_array_action(string $action, array $array, int $raidType): array
{
    $disk = post_disk('disk');
    $task = sync_task_code($raidType);
    switch ($action) {
        case 'remove':
            $results = [];
            $rc = php_zr_remove_raid_tarvoii(1, [$array], $results);
            return [!empty($results[0]) ? (int) $results[0] : $rc, 'Array removed'];
        case 'spare-add':
            return $disk === null ? [201, ''] : [php_zr_mirror_add_spare_tarvoii($array, $disk), 'Spare added'];
        case 'spare-remove':
            return [php_zr_mirror_remove_spare_tarvoii($array), 'Spare removed'];
        case 'repair-spare':
            return [php_zr_repair_mirror_with_spare_tarvoii($array), 'Repair with the spare started'];
        case 'repair-disk':
            if ($disk === null) {
                return [201, ''];
            }
            $rc = match ($raidType) {
                1 => php_zr_repair_mirror_with_new_disk_tarvoii($array, $disk),
                5 => php_zr_repair_raid5_with_new_disk_tarvoii($array, $disk),
                9 => php_zr_repair_broken_raid01_tarvoii($array, 1, [$disk]),
                default => 202,
            };
            return [$rc, 'Array repaired with disk ' . $disk['nIndex']];
        case 'sync-start':
        case 'sync-stop':
        case 'migrate-start':
        case 'migrate-stop':
            $code = str_starts_with($action, 'sync') ? $task : 4;
            $start = str_ends_with($action, 'start');
            $rc = $code === 0 ? 202 : php_zr_sync_mig_replace($code, $array, null, null, 3, $start ? 1 : 2);
            if ($rc === 0 && $start) {
                $_SESSION['watch'][$code . ':' . $array['nIndex']] = [$code, $array['nIndex']];
            }
            return [$rc, ($code === 4 ? 'Migration ' : 'Synchronisation ') . ($start ? 'started' : 'stopped')];
    }
    return [201, ''];
}

// Replacement of member $source by $target: prepare, start, stop or withdraw.
function run_replace_action(string $action, array $source, array $target): array
{
    return match ($action) {
        'replace-prepare' => [php_zr_replace_pd_init_tarvoii($source, $target), 'Replacement disk prepared'],
        'replace-start' => [php_zr_sync_mig_replace(5, null, $source, $target, 0, 1), 'Replacement started'],
        'replace-stop' => [php_zr_sync_mig_replace(5, null, $source, $target, 0, 2), 'Replacement stopped'],
        'replace-withdraw' => [php_zr_replace_pd_remove_tarvoii($source, $target), 'Replacement disk withdrawn'],
        default => [201, ''],
    };
}
