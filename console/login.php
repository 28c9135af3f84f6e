<?php
// Login. The password travels in the POST body only and is never echoed or logged.
declare(strict_types=1);
require __DIR__ . '/lib/console.php';

if ($_SERVER['REQUEST_METHOD'] === 'POST') {
    $user = post_text('user');
    $rc = login($user, post_text('password'));
    if ($rc === 0) {
        redirect('index.php');
    }
    flash('error', failure_text('Login failed', $rc));
    $_SESSION['last_user'] = $user;
    redirect('login.php');
}

page_header('Log in');
?>
<form method="post" action="login.php" class="box">
  <?= csrf_field() ?>
  <label>User <input name="user" autocomplete="username" required
    value="<?= h($_SESSION['last_user'] ?? '') ?>"></label>
  <label>Password <input name="password" type="password" autocomplete="current-password" required></label>
  <button id="login">Log in</button>
</form>
<p class="hint">Service <?= h(service_host()) ?>:<?= h(service_port()) ?></p>
<?php page_footer();
