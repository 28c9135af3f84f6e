<?php
// Drawings: a disk as a bar of its areas, a task's progress.
declare(strict_types=1);

// An SVG bar, each area as wide as its share of the disk; $names maps array index to name.
function disk_bar(array $disk, array $names): string
{
    $capacity = disk_sectors($disk);
    $areas = disk_layout($capacity, $disk['vds'], $disk['protected']);
    $total = max(1, $capacity - DISK_RESERVED_SECTORS);
    $out = '<svg class="bar" viewBox="0 0 1000 24" preserveAspectRatio="none" role="img" aria-label="layout of disk '
        . h($disk['index']) . '">';
    foreach ($areas as [$kind, $start, $length, $vd]) {
        $x = round($start * 1000 / $total, 2);
        $w = round($length * 1000 / $total, 2);
        $label = $kind === 'vd'
            ? ($names[$vd['array_index']] ?? 'VD ' . $vd['VDName']) . ', ' . size_text($length)
            : $kind . ', ' . size_text($length);
        $out .= '<rect class="' . h($kind) . '" x="' . $x . '" y="0" width="' . $w . '" height="24">'
            . '<title>' . h($label) . '</title></rect>';
    }
    return $out . '</svg>';
}

function progress_bar(?int $percent): string
{
    if ($percent === null) {
        return '<progress class="task-progress"></progress>';
    }
    return '<progress class="task-progress" max="100" value="' . $percent . '">' . $percent . ' %</progress>';
}
