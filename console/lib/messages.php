<?php
// What a return code means to the person at the console. Codes come from three places: the
// script functions themselves (201/900 bad arguments), the client library (2000-2016) and
// the service with its RAID engine and task manager.
declare(strict_types=1);

const CODE_STALE = 2;  // a magic number in the form no longer matches the device or array

function code_message(int $code): string
{
    static $texts = [
        0 => 'done',
        1 => 'refused by the service (the session is no longer usable)',
        CODE_STALE => 'changed since the page was loaded, reload',
        3 => 'permission refused: log in as an administrator for this',
        4 => 'the service could not run the command',
        100 => 'the RAID engine is not running',
        106 => 'the RAID model is busy, try again',
        107 => 'the RAID model is busy, try again',
        200 => 'no such disk or array',
        201 => 'invalid request (too many disks, a name longer than 23 characters, or a bad value)',
        202 => 'not possible for this RAID level',
        203 => 'a member of the array is missing',
        204 => 'no disk to repair with',
        205 => 'a disk is unusable (its configuration cannot be read)',
        206 => 'the array has no spare',
        207 => 'not enough free space on the disks',
        208 => 'a disk is too small',
        209 => 'stripe size not possible',
        211 => 'size out of the allowed range',
        212 => 'this level needs an even number of disks',
        213 => 'too many disks for this level',
        214 => 'too few disks for this level',
        215 => 'a disk is busy in a replacement or another task',
        216 => 'changed since the page was loaded, reload',
        300 => 'the array needs no synchronisation, or its synchronisation command failed',
        217 => 'some arrays were not removed',
        218 => 'the disk holds the system',
        219 => 'the array holds the system',
        400 => 'the array cannot be repaired',
        401 => 'nothing to repair',
        504 => 'a replacement is already prepared',
        800 => 'a disk is flagged as failing',
        803 => 'at least one disk is unhealthy',
        809 => 'the driver reload failed',
        900 => 'a driver command failed, or bad arguments',
        1004 => 'the session has ended, log in again',
        1030 => 'invalid account value or empty new password',
        1033 => 'wrong current password',
        1034 => 'no such user',
        1037 => 'only an administrator may change passwords',
        1054 => 'the session has ended, log in again',
        1100 => 'the task could not be started',
        1101 => 'no such task to stop',
        1103 => 'the service\'s task lists are busy, try again',
        1110 => 'the task is running already or has completed',
        1111 => 'no such task',
        1112 => 'the task has completed',
        1113 => 'the task broke: its steps kept failing',
        1115 => 'a disk of the task is busy in another task',
        1116 => 'another task is running; one runs at a time',
        1117 => 'the task is stopped',
        1002 => 'wrong replies from the service',
        2000 => 'invalid parameters',
        2001 => 'the connection to the service failed',
        2002 => 'the service did not answer in time',
        2003 => 'unexpected answer from the service',
        2010 => 'the service cannot be reached or refused the connection',
        2011 => 'not available on this system',
        2013 => 'wrong user name or password',
        2014 => 'no free session: the user is logged in elsewhere or the service is full',
        2015 => 'the request or its answer is too large',
    ];
    return $texts[$code] ?? 'failed';
}

// "what: message (code N)" for a failure; the code helps when reading the event log.
function failure_text(string $what, int $code): string
{
    return $what . ': ' . code_message($code) . ' (code ' . $code . ')';
}
