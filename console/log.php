<?php
// The service's event log: its size, a page of lines (newest first), and clearing it.
declare(strict_types=1);
require __DIR__ . '/lib/console.php';
require_service();

// One reply holds about 2 KiB of text: a page of lines must fit.
const LINES_PER_PAGE = 15;

if ($_SERVER['REQUEST_METHOD'] === 'POST') {
    $rc = php_clearlog();
    flash($rc === 0 ? 'ok' : 'error', $rc === 0 ? 'Event log cleared' : failure_text('Not cleared', $rc));
    redirect('log.php');
}

$over = $size = $lines = 0;
$rcStatus = php_getlogstatus($over, $size, $lines);
// Lines are read backwards from the one before `from`; the first page ends at the newest.
$from = min((int) $lines, max(0, (int) ($_GET['from'] ?? $lines)));
$count = LINES_PER_PAGE;
$text = '';
$rc = php_getlogitems(1, $from, $count, $text);

page_header('Event log');
if ($rcStatus === 0): ?>
  <p><?= h($lines) ?> lines, <?= h(size_text((int) ($size / 512))) ?><?= $over ? ', over its limit: clear it' : '' ?></p>
<?php endif; ?>
<?php if ($rc !== 0): ?>
  <p class="msg error"><?= h(failure_text('Cannot read the log', $rc)) ?></p>
<?php else: ?>
<table id="log">
  <?php foreach (array_filter(explode("\n", (string) $text), 'strlen') as $line):
      $level = strtolower(explode('~', $line, 2)[0]); ?>
  <tr class="<?= h(preg_match('/(info|warning|error)$/', $level, $m) ? $m[1] : '') ?>"><td><?= h($line) ?></td></tr>
  <?php endforeach; ?>
</table>
<p>
  <?php if ($from < $lines): ?><a href="log.php?from=<?= min((int) $lines, $from + LINES_PER_PAGE) ?>">Newer</a><?php endif; ?>
  <?php if ($from > LINES_PER_PAGE): ?><a href="log.php?from=<?= $from - LINES_PER_PAGE ?>">Older</a><?php endif; ?>
</p>
<?php endif; ?>
<form method="post" action="log.php"><?= csrf_field() ?><button>Clear the event log</button></form>
<?php page_footer();
