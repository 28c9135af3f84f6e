<?php
// Background tasks: every running and stopped task with its state, and start/stop. The
// table is refreshed by console.js from events.php.
declare(strict_types=1);
require __DIR__ . '/lib/console.php';
require_service();

if ($_SERVER['REQUEST_METHOD'] === 'POST') {
    $code = post_int('code');
    $start = post_text('action') === 'start';
    $rc = $code === 5
        ? php_zr_sync_mig_replace(5, null, post_ref('first'), post_ref('second'), 0, $start ? 1 : 2)
        : php_zr_sync_mig_replace($code, post_ref('first'), null, null, 3, $start ? 1 : 2);
    flash($rc === 0 ? 'ok' : 'error', $rc === 0 ? ($start ? 'Task started' : 'Task stopped') : failure_text('Not done', $rc));
    redirect('tasks.php');
}

$rc = read_followed_tasks($_SESSION['watch'] ?? [], $tasks);
read_disk_list($disks);
$arrays = [];
foreach ($tasks as $t) {
    $info = [];
    if ($t['code'] !== 5 && php_zr_get_array_info($t['first'], $info) === 0) {
        $arrays[$t['first']] = $info;
    }
}
// The reference of a task's object with its current magic number, for the stop form.
$ref = fn(int $i, bool $disk) => $disk ? ($disks[$i]['magicNum'] ?? 0) : ($arrays[$i]['magicNum'] ?? 0);

page_header('Tasks');
if ($rc !== 0): ?>
  <p class="msg error"><?= h(failure_text('Cannot read the tasks', $rc)) ?></p>
<?php endif; ?>
<div id="tasks" data-rows="server">
<table>
  <tr><th>Task</th><th>Of</th><th>State</th><th>Progress</th><th></th></tr>
  <?php foreach ($tasks as $t): $replace = $t['code'] === 5; ?>
  <tr data-task="<?= h($t['code'] . ':' . $t['first']) ?>">
    <td><?= h($t['name']) ?></td>
    <td><?= h($replace ? $t['target'] : ($arrays[$t['first']]['arrayName'] ?? $t['target'])) ?></td>
    <td class="state"><?= h($t['stateText']) ?></td>
    <td><?= progress_bar($t['percent']) ?></td>
    <td><?php if (in_array($t['state'], [2, 3, 5], true)): ?>
    <form method="post" action="tasks.php" class="inline"><?= csrf_field() ?>
      <input type="hidden" name="code" value="<?= h($t['code']) ?>">
      <?= ref_fields('first', $t['first'], $ref($t['first'], $replace)) ?>
      <?= $replace ? ref_fields('second', (int) $t['second'], $ref((int) $t['second'], true)) : '' ?>
      <?php $stopped = $t['state'] === 3; ?>
      <button name="action" value="<?= $stopped ? 'start' : 'stop' ?>"><?= $stopped ? 'Start again' : 'Stop' ?></button>
    </form><?php endif; ?></td>
  </tr>
  <?php endforeach; ?>
</table>
<?php if (!$tasks): ?><p class="hint">No background task is running or stopped.</p><?php endif; ?>
</div>
<?php page_footer('console.js');
