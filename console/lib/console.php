<?php
// Included first by every page: session, form token check, and for pages behind the login
// the connection to the service with the session continued.
declare(strict_types=1);

require_once __DIR__ . '/messages.php';
require_once __DIR__ . '/session.php';
require_once __DIR__ . '/view.php';
require_once __DIR__ . '/raid.php';
require_once __DIR__ . '/draw.php';
require_once __DIR__ . '/notices.php';

header('X-Frame-Options: DENY');
header("Content-Security-Policy: default-src 'self'");
header('Referrer-Policy: same-origin');
start_console_session();

if ($_SERVER['REQUEST_METHOD'] === 'POST' && !csrf_ok()) {
    http_response_code(400);
    page_header('Form expired');
    echo '<p class="msg error">This form has expired or did not come from this console. ',
        '<a href="index.php">Reload</a> and try again.</p>';
    page_footer();
    exit;
}

// Connects and continues the session; sends the visitor to the login page when there is
// no session or the service ended it.
function require_service(): void
{
    if (!logged_in()) {
        redirect('login.php');
    }
    $rc = connect_session();
    if ($rc === 0) {
        return;
    }
    if (!logged_in()) {
        flash('error', failure_text('Your session has ended', $rc));
        redirect('login.php');
    }
    page_header('Service unreachable');
    echo '<p class="msg error">', h(failure_text('Cannot reach the service', $rc)), '</p>';
    page_footer();
    exit;
}

// A POST field as an integer (0 when absent or not a number).
function post_int(string $name): int
{
    $v = $_POST[$name] ?? '';
    return is_string($v) && preg_match('/^-?\d+$/', $v) ? (int) $v : 0;
}

function post_text(string $name): string
{
    $v = $_POST[$name] ?? '';
    return is_string($v) ? $v : '';
}

// A reference the form carried in its hidden fields (see ref_fields).
function post_ref(string $name): array
{
    $r = $_POST[$name] ?? [];
    $int = fn($k) => is_array($r) && isset($r[$k]) && preg_match('/^\d+$/', (string) $r[$k]) ? (int) $r[$k] : 0;
    return make_ref($int('nIndex'), $int('wdMagicNum'));
}
