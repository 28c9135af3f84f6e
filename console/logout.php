<?php
// Ends the service session and the PHP session.
declare(strict_types=1);
require __DIR__ . '/lib/console.php';

if ($_SERVER['REQUEST_METHOD'] === 'POST' && logged_in() && connect_session() === 0) {
    php_userlogout((string) $_SESSION['client_id']);
}
$_SESSION = [];
session_destroy();
redirect('login.php');
