<?php
// Service settings: the beeper, the disk-check interval, and passwords.
declare(strict_types=1);
require __DIR__ . '/lib/console.php';
require_service();

if ($_SERVER['REQUEST_METHOD'] === 'POST') {
    switch (post_text('action')) {
        case 'beep':
            [$rc, $done] = [php_setbeepstatus(post_int('on') ? 1 : 0), 'Beeper switched'];
            break;
        case 'checkdisk':
            [$rc, $done] = [php_setcheckdisktime(max(1, post_int('minutes'))), 'Disk check interval set'];
            break;
        case 'password':
            $rc = post_text('new') !== post_text('repeat') ? -1
                : php_changepasswd(post_text('user'), post_text('current'), post_text('new'));
            $done = 'Password changed';
            break;
        default:
            [$rc, $done] = [900, ''];
    }
    flash($rc === 0 ? 'ok' : 'error', $rc === 0 ? $done
        : ($rc === -1 ? 'The two new passwords differ' : failure_text('Not changed', $rc)));
    redirect('settings.php');
}

$beep = $minutes = 0;
$rcBeep = php_getbeepstatus($beep);
$rcCheck = php_getcheckdisktime($minutes);
page_header('Settings');
?>
<form method="post" action="settings.php" class="box"><?= csrf_field() ?>
  <input type="hidden" name="action" value="beep">
  <label>Beeper <select name="on">
    <option value="1"<?= $rcBeep === 0 && $beep ? ' selected' : '' ?>>on</option>
    <option value="0"<?= $rcBeep === 0 && !$beep ? ' selected' : '' ?>>off</option>
  </select></label>
  <button>Save</button>
</form>
<form method="post" action="settings.php" class="box"><?= csrf_field() ?>
  <input type="hidden" name="action" value="checkdisk">
  <label>Check disk health every <input name="minutes" inputmode="numeric" size="6"
    value="<?= $rcCheck === 0 ? h($minutes) : '' ?>"> minutes</label>
  <button>Save</button>
</form>
<form method="post" action="settings.php" class="box"><?= csrf_field() ?>
  <input type="hidden" name="action" value="password">
  <label>User <input name="user" value="<?= h($_SESSION['user']) ?>" autocomplete="username"></label>
  <label>Current password <input name="current" type="password" autocomplete="current-password"></label>
  <label>New password <input name="new" type="password" autocomplete="new-password"></label>
  <label>Again <input name="repeat" type="password" autocomplete="new-password"></label>
  <button>Change password</button>
</form>
<?php page_footer();
