// Words and numbers for kelctl's readable RAID output: record strings, sizes, RAID types
// and the status words of disks and arrays.
#ifndef KEL_TOOLS_KELCTL_KELCTL_RAID_TEXT_H
#define KEL_TOOLS_KELCTL_KELCTL_RAID_TEXT_H

#include <cstddef>
#include <cstdint>
#include <string>

// A record's string field: the bytes up to the first zero byte, at most `width` of them
// (the field need not be terminated).
std::string FieldText(const char* field, size_t width);
template <size_t N>
std::string FieldText(const char (&field)[N]) {
  return FieldText(field, N);
}

// `text` fit for a terminal: bytes outside printable ASCII become '?', trailing blanks go
// (disk identity strings are blank-padded). Empty text becomes "-".
std::string Printable(const std::string& text);

// 1536 -> "1.5 KiB"; below 1 KiB the exact number of bytes ("512 B").
std::string HumanSize(uint64_t bytes);
// "2097152 sectors (1.0 GiB)"; a sector size of 0 counts as 512 bytes.
std::string SectorsText(uint64_t sectors, unsigned int bytesPerSector = 512);

// "RAID 5", "span", "plain disk"; unknown codes as "type N".
std::string RaidTypeName(unsigned int raidType);
// Array status word: "normal", or the set bits as words ("degraded, needs synchronisation").
std::string ArrayStatusText(unsigned int status);
// Background task of an array: "none", "synchronising", "migrating", "replacing".
std::string ArrayTaskText(unsigned int task);
// Disk flag word: "ok", or the set bits as words ("health bad, unreadable").
std::string DiskFlagsText(unsigned int flags);
// SMART status byte of one disk.
std::string SmartStatusText(unsigned int status);
// What sits on a channel position: "empty", "disk", "hub".
std::string ChannelPositionText(unsigned int exist);
// "master" for 0, "slave" for 1, else the number.
std::string SideText(unsigned int position);

// "0x1f0", at least `digits` hex digits.
std::string HexText(unsigned long long value, int digits = 1);
std::string YesNo(bool value);

#endif
