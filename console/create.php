<?php
// Creating an array in two steps: the disks and level first, which gives the size range the
// service allows; then the size, name and stripe. The disks' magic numbers ride along.
declare(strict_types=1);
require __DIR__ . '/lib/console.php';
require_service();

const LEVELS = [1 => 'RAID 1 (mirror)', 0 => 'RAID 0 (stripe)', 5 => 'RAID 5', 9 => 'RAID 0+1', 8 => 'span'];
const STRIPED = [0, 5, 9];

// The chosen disks as references, from checkboxes named disks[] with "index:magic" values.
function chosen_disks(): array
{
    $refs = [];
    foreach ((array) ($_POST['disks'] ?? []) as $v) {
        if (is_string($v) && preg_match('/^(\d+):(\d+)$/', $v, $m)) {
            $refs[] = make_ref((int) $m[1], (int) $m[2]);
        }
    }
    return $refs;
}

function create_array(int $level, array $disks, string $size, int $stripe, string $name): int
{
    $n = count($disks);
    return match ($level) {
        8 => php_zr_create_span_tarvoii($n, $disks, $size, $name, false),
        0 => php_zr_create_stripe_tarvoii($n, $disks, $size, $stripe, $name, false),
        1 => php_zr_create_mirror_tarvoii($n, $disks, $size, $name, false),
        9 => php_zr_create_raid01_tarvoii($n, $disks, $size, $stripe, $name, false),
        5 => php_zr_create_raid5_tarvoii($n, $disks, $size, $stripe, 0, $name, false, false),
        default => 201,
    };
}

$level = post_int('level');
$disks = chosen_disks();
$step = post_text('step');
$range = null;
if ($step === 'create') {
    $size = post_text('size');
    $rc = preg_match('/^\d+$/', $size) ? create_array($level, $disks, $size, post_int('stripe'), post_text('name')) : 211;
    if ($rc === 0) {
        flash('ok', 'Array ' . post_text('name') . ' created');
        redirect('index.php');
    }
    flash('error', failure_text('Not created', $rc));
    redirect('create.php');
}
if ($step === 'range') {
    $range = [];
    $rc = php_zr_get_array_create_info_by_pds(count($disks), $disks, $level, false, $range);
    if ($rc !== 0) {
        flash('error', failure_text('No array possible', $rc));
        redirect('create.php');
    }
}

read_disk_list($all);
page_header('Create an array');
if ($range === null): ?>
<form method="post" action="create.php" class="box"><?= csrf_field() ?>
  <input type="hidden" name="step" value="range">
  <label>Level <select name="level">
    <?php foreach (LEVELS as $v => $label): ?><option value="<?= $v ?>"><?= h($label) ?></option><?php endforeach; ?>
  </select></label>
  <fieldset><legend>Disks</legend>
  <?php foreach ($all ?? [] as $d): ?>
    <label><input type="checkbox" name="disks[]" value="<?= h($d['index'] . ':' . $d['magicNum']) ?>">
      disk <?= h($d['index']) ?> <?= h(trim($d['modelName'])) ?> <?= h(size_text(disk_sectors($d))) ?>
      <?= $d['bDevInRaid'] ? '(in an array)' : '' ?></label>
  <?php endforeach; ?>
  </fieldset>
  <button id="size-range">Next: size</button>
</form>
<?php else: ?>
<form method="post" action="create.php" class="box"><?= csrf_field() ?>
  <input type="hidden" name="step" value="create">
  <input type="hidden" name="level" value="<?= h($level) ?>">
  <?php foreach ($disks as $r): ?>
    <input type="hidden" name="disks[]" value="<?= h($r['nIndex'] . ':' . $r['wdMagicNum']) ?>">
  <?php endforeach; ?>
  <p><?= h(LEVELS[$level] ?? level_name($level)) ?> on disks
    <?= h(implode(', ', array_column($disks, 'nIndex'))) ?>:
    <span id="range"><?= h($range['nMinArraySize']) ?> to <?= h($range['nMaxArraySize']) ?> MiB</span></p>
  <label>Size (MiB) <input name="size" inputmode="numeric" value="<?= h($range['nMaxArraySize']) ?>"></label>
  <label>Name <input name="name" maxlength="23" required></label>
  <?php if (in_array($level, STRIPED, true)): ?>
  <label>Stripe <select name="stripe"><option value="0">chosen by the service</option>
    <?php foreach ([16, 32, 64, 128] as $s): ?><option value="<?= $s ?>"><?= $s ?> KiB</option><?php endforeach; ?>
  </select></label>
  <?php endif; ?>
  <button id="create">Create</button> <a href="create.php">Back</a>
</form>
<?php endif;
page_footer();
