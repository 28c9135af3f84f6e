<?php
// The console's session: where the service is, the PHP session that keeps the client ID,
// the per-session form token, and the connection every page opens and continues.
declare(strict_types=1);

// The service's address comes from the environment (php -S inherits it; php-fpm passes it
// with env[...] in the pool), so the pages hold no host names.
function service_host(): string
{
    $host = getenv('KEL_CONSOLE_SERVICE_HOST');
    return $host === false || $host === '' ? '127.0.0.1' : $host;
}

function service_port(): int
{
    return (int) (getenv('KEL_CONSOLE_SERVICE_PORT') ?: 8018);
}

function notify_port(): int
{
    return (int) (getenv('KEL_CONSOLE_NOTIFY_PORT') ?: 8001);
}

function start_console_session(): void
{
    session_name('kelconsole');
    session_start([
        'cookie_httponly' => true,
        'cookie_samesite' => 'Strict',
        'use_strict_mode' => true,
    ]);
    if (empty($_SESSION['csrf'])) {
        $_SESSION['csrf'] = bin2hex(random_bytes(16));
    }
}

function csrf_token(): string
{
    return $_SESSION['csrf'];
}

// Every POST carries the session's token; a form from another site cannot know it.
function csrf_ok(): bool
{
    $sent = $_POST['csrf'] ?? '';
    return is_string($sent) && hash_equals(csrf_token(), $sent);
}

function logged_in(): bool
{
    return isset($_SESSION['client_id']);
}

// Opens the command connection and joins the session the login started. Returns 0 or the
// failing code; a session the service no longer knows is forgotten here.
function connect_session(): int
{
    $rc = php_openconnect(service_host(), service_port());
    if ($rc !== 0) {
        return $rc;
    }
    $rc = php_userack((string) $_SESSION['client_id']);
    // Only a session the service says it has ended is forgotten; anything else may pass.
    if ($rc === 1004 || $rc === 1054) {
        forget_login();
    }
    return $rc;
}

function forget_login(): void
{
    unset($_SESSION['client_id'], $_SESSION['user'], $_SESSION['rights']);
}

// Logs in on a fresh connection; on success the session keeps the client ID.
function login(string $user, string $password): int
{
    // The login's cipher needs its tables built once per process.
    $rc = php_zepsockinit();
    if ($rc === 0) {
        $rc = php_openconnect(service_host(), service_port());
    }
    if ($rc !== 0) {
        return $rc;
    }
    $clientId = '';
    $rights = 0;
    $rc = php_userlogin($user, $password, $clientId, $rights);
    if ($rc === 0) {
        session_regenerate_id(true);
        $_SESSION['client_id'] = $clientId;
        $_SESSION['user'] = $user;
        $_SESSION['rights'] = $rights;
    }
    return $rc;
}
