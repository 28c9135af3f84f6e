<?php
// One array: its members and the changes it can take (remove, spare, repair, tasks,
// replacement of a member). Every form carries the magic numbers this page saw.
declare(strict_types=1);
require __DIR__ . '/lib/console.php';
require __DIR__ . '/lib/actions.php';
require_service();

$index = (int) ($_GET['index'] ?? post_int('index'));
if ($_SERVER['REQUEST_METHOD'] === 'POST') {
    $action = post_text('action');
    [$rc, $done] = str_starts_with($action, 'replace-')
        ? run_replace_action($action, post_disk('source') ?? make_ref(255, 0), post_disk('target') ?? make_ref(255, 0))
        : run_array_action($action, post_ref('array'), post_int('raidType'));
    flash($rc === 0 ? 'ok' : 'error', $rc === 0 ? $done : failure_text('Not done', $rc));
    // A removed array is gone and a repaired one may be listed under another index.
    $moved = $action === 'remove' || str_starts_with($action, 'repair');
    redirect($rc === 0 && $moved ? 'index.php' : 'array.php?index=' . $index);
}

$info = [];
$rc = php_zr_get_array_info($index, $info);
if ($rc !== 0) {
    flash('error', failure_text('Array ' . $index, $rc));
    redirect('index.php');
}
read_arrays($arrays);
$members = [];
foreach ($arrays as $a) {
    if ($a['index'] === $index) {
        $members = $a['members'];
    }
}
read_disk_list($disks);
$free = array_filter($disks, fn($d) => !$d['bDevInRaid']);
$options = fn(array $list) => implode('', array_map(
    fn($d) => '<option value="' . $d['index'] . ':' . $d['magicNum'] . '">disk ' . h($d['index'])
        . ' ' . h(trim($d['modelName'])) . ' ' . h(size_text(disk_sectors($d))) . '</option>', $list));
$type = $info['raidType'];

// A form with one button; the array's reference and level travel in hidden fields.
function action_form(string $action, string $label, array $info, string $extra = ''): string
{
    return '<form method="post" action="array.php" class="inline">' . csrf_field()
        . ref_fields('array', $info['index'], $info['magicNum'])
        . '<input type="hidden" name="index" value="' . h($info['index']) . '">'
        . '<input type="hidden" name="raidType" value="' . h($info['raidType']) . '">'
        . '<input type="hidden" name="action" value="' . h($action) . '">'
        . $extra . '<button name="do" value="' . h($action) . '">' . h($label) . '</button></form>';
}

page_header('Array ' . $info['arrayName']);
?>
<dl class="facts">
  <dt>Level</dt><dd><?= h(level_name($type)) ?></dd>
  <dt>Size</dt><dd><?= h(size_text(disk_sectors($info))) ?></dd>
  <dt>Status</dt><dd id="array-status"><?= h(array_status_text($info['status'])) ?></dd>
  <dt>Members</dt><dd><?php foreach ($members as $pos => $d): ?>
    <span class="member">position <?= h($pos) ?>: disk <?= h($d['index']) ?></span>
  <?php endforeach; ?></dd>
</dl>
<section class="actions">
  <h2>Background work</h2>
  <?php if (sync_task_code($type)): ?>
    <?= action_form('sync-start', 'Start synchronisation', $info) ?>
    <?= action_form('sync-stop', 'Stop synchronisation', $info) ?>
  <?php endif; ?>
  <?php if ($info['bNeedMigration']): ?>
    <?= action_form('migrate-start', 'Start migration', $info) ?>
    <?= action_form('migrate-stop', 'Stop migration', $info) ?>
  <?php endif; ?>
  <?php if ($type === 1): ?>
  <h2>Spare</h2>
    <?= action_form('spare-add', 'Add as spare', $info, '<select name="disk">' . $options($free) . '</select>') ?>
    <?= action_form('spare-remove', 'Remove the spare', $info) ?>
    <?= action_form('repair-spare', 'Repair with the spare', $info) ?>
  <?php endif; ?>
  <?php if (in_array($type, [1, 5, 9], true)): ?>
  <h2>Repair</h2>
    <?= action_form('repair-disk', 'Repair with disk', $info, '<select name="disk">' . $options($free) . '</select>') ?>
  <?php endif; ?>
  <?php if ($members && $free): ?>
  <h2>Replace a member</h2>
  <form method="post" action="array.php" class="inline"><?= csrf_field() ?>
    <input type="hidden" name="index" value="<?= h($index) ?>">
    <select name="source"><?= $options($members) ?></select> by
    <select name="target"><?= $options($free) ?></select>
    <button name="action" value="replace-prepare">Prepare</button>
    <button name="action" value="replace-start">Start</button>
    <button name="action" value="replace-stop">Stop</button>
    <button name="action" value="replace-withdraw">Withdraw</button>
  </form>
  <?php endif; ?>
  <h2>Remove</h2>
  <?= action_form('remove', 'Remove this array', $info) ?>
</section>
<?php page_footer();
