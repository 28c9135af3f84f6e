<?php
// Page frame, escaping and the one-shot messages a redirect carries.
declare(strict_types=1);

function h(mixed $value): string
{
    return htmlspecialchars((string) $value, ENT_QUOTES | ENT_SUBSTITUTE, 'UTF-8');
}

function flash(string $kind, string $text): void
{
    $_SESSION['flash'][] = [$kind, $text];
}

function redirect(string $page): never
{
    header('Location: ' . $page, true, 303);
    exit;
}

function csrf_field(): string
{
    return '<input type="hidden" name="csrf" value="' . h(csrf_token()) . '">';
}

// The hidden fields that carry a disk's or array's index and the magic number the page saw.
function ref_fields(string $name, int $index, int $magic): string
{
    return '<input type="hidden" name="' . h($name) . '[nIndex]" value="' . $index . '">'
        . '<input type="hidden" name="' . h($name) . '[wdMagicNum]" value="' . $magic . '">';
}

function page_header(string $title): void
{
    $nav = ['index.php' => 'Overview', 'create.php' => 'Create', 'tasks.php' => 'Tasks',
            'log.php' => 'Event log', 'settings.php' => 'Settings'];
    echo "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">",
        '<title>', h($title), ' - RAID console</title>',
        '<link rel="stylesheet" href="style.css"></head><body>';
    if (logged_in()) {
        echo '<nav>';
        foreach ($nav as $page => $label) {
            echo '<a href="', h($page), '">', h($label), '</a> ';
        }
        echo '<form method="post" action="logout.php" class="inline">', csrf_field(),
            '<button>Log out ', h($_SESSION['user']), '</button></form></nav>';
    }
    echo '<main><h1>', h($title), '</h1>';
    foreach ($_SESSION['flash'] ?? [] as [$kind, $text]) {
        echo '<p class="msg ', h($kind), '" role="status">', h($text), '</p>';
    }
    unset($_SESSION['flash']);
}

function page_footer(string $script = ''): void
{
    echo '</main>';
    if ($script !== '') {
        echo '<script src="', h($script), '"></script>';
    }
    echo "</body></html>\n";
}
