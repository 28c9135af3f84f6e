// Stale-view checks of the RAID commands: a client names disks and arrays by index plus the
// magic number it last saw; a number that differs from the engine's current one means the
// object changed (or was replaced) since the client looked, and the command is refused.
#ifndef KEL_SERVICE_RAID_RAID_MAGIC_H
#define KEL_SERVICE_RAID_RAID_MAGIC_H

#include <cstdint>

// Index 255 means "no object" and always passes. Otherwise false when the engine cannot
// tell the current number (no such object, engine not running) or when it differs from
// `magic`; a difference prints "MagicNum dismatch: Server[..], UILib[..]".
bool CheckArrayMagic(uint8_t index, uint16_t magic);
bool CheckPDMagic(uint8_t index, uint16_t magic);

#endif
