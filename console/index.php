<?php
// Overview: arrays in name order with their members and status, disks with their health
// and layout. console.js keeps it current through events.php.
declare(strict_types=1);
require __DIR__ . '/lib/console.php';
require_service();

$rcA = read_arrays($arrays);
$rcD = read_disks($disks);
$names = [];
foreach ($arrays ?? [] as $a) {
    $names[$a['index']] = $a['arrayName'];
}
disk_indexes($present);

page_header('Overview');
?>
<div id="notices" aria-live="polite" data-disks="<?= h(implode(',', $present)) ?>"></div>
<h2>Arrays</h2>
<?php if ($rcA !== 0): ?>
  <p class="msg error"><?= h(failure_text('Cannot read the arrays', $rcA)) ?></p>
<?php else: ?>
<table id="arrays">
  <tr><th>Name</th><th>Level</th><th>Size</th><th>Status</th><th>Task</th><th>Members</th></tr>
  <?php foreach ($arrays as $a): if ($a['raidType'] === RAID_PLAIN_DISK) continue; ?>
  <tr data-array="<?= h($a['index']) ?>">
    <td><a href="array.php?index=<?= h($a['index']) ?>"><?= h($a['arrayName']) ?></a></td>
    <td><?= h(level_name($a['raidType'])) ?></td>
    <td><?= h(size_text(disk_sectors($a))) ?></td>
    <td class="<?= $a['status'] ? 'bad' : 'good' ?>"><?= h(array_status_text($a['status'])) ?></td>
    <td><?= h([0 => '-', 1 => 'synchronising', 2 => 'migrating', 3 => 'replacing'][$a['nSyncMigReplacing']] ?? '?') ?></td>
    <td><?php foreach ($a['members'] as $pos => $d): ?>
      <span class="member">disk <?= h($d['index']) ?> <small><?= h(trim($d['modelName'])) ?></small></span>
    <?php endforeach; ?></td>
  </tr>
  <?php endforeach; ?>
</table>
<?php endif; ?>
<h2>Disks</h2>
<?php if ($rcD !== 0): ?>
  <p class="msg error"><?= h(failure_text('Cannot read the disks', $rcD)) ?></p>
<?php else: ?>
<table id="disks">
  <tr><th>Disk</th><th>Model / serial</th><th>Size</th><th>Health</th><th>Layout</th></tr>
  <?php foreach ($disks as $d): [$cls, $health] = disk_health($d['status'], $d['smart']); ?>
  <tr data-disk="<?= h($d['index']) ?>">
    <td><?= h($d['index']) ?></td>
    <td><?= h(trim($d['modelName'])) ?><br><small><?= h(trim($d['serialNumber'])) ?></small></td>
    <td><?= h(size_text(disk_sectors($d))) ?></td>
    <td class="<?= h($cls) ?>"><?= h($health) ?></td>
    <td><?= disk_bar($d, $names) ?></td>
  </tr>
  <?php endforeach; ?>
</table>
<p class="legend"><span class="vd">array</span> <span class="free">free</span> <span class="protected">protected (kept for a migration)</span></p>
<?php endif; ?>
<h2>Tasks</h2>
<div id="tasks"><p class="hint">Waiting for the service…</p></div>
<?php page_footer('console.js');
