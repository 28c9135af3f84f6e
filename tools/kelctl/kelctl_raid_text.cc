// Decoding of record fields into words; see kelctl_raid_text.h.
#include "tools/kelctl/kelctl_raid_text.h"

#include <cstdio>
#include <cstring>

#include "sharedlib/raid_records.h"
#include "webext/client/client_raid_query.h"

namespace {

struct BitWord {
  unsigned int bit;
  const char* word;
};

// The set bits of `value` as words joined by ", "; bits without a word as "bitN".
std::string BitWords(unsigned int value, const BitWord* words, size_t count) {
  std::string out;
  for (unsigned int bit = 0; bit < 32; ++bit) {
    if (((value >> bit) & 1u) == 0) continue;
    std::string word = "bit" + std::to_string(bit);
    for (size_t i = 0; i < count; ++i)
      if ((1u << bit) == words[i].bit) word = words[i].word;
    out += (out.empty() ? "" : ", ") + word;
  }
  return out;
}

}  // namespace

std::string FieldText(const char* field, size_t width) {
  return std::string(field, strnlen(field, width));
}

std::string Printable(const std::string& text) {
  std::string out;
  for (unsigned char c : text) out += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out.empty() ? "-" : out;
}

std::string HumanSize(uint64_t bytes) {
  static const char* const kUnits[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
  if (bytes < 1024) return std::to_string(bytes) + " B";
  double value = static_cast<double>(bytes) / 1024;
  size_t unit = 0;
  while (value >= 1024 && unit + 1 < sizeof(kUnits) / sizeof(kUnits[0])) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  snprintf(text, sizeof(text), "%.1f %s", value, kUnits[unit]);
  return text;
}

std::string SectorsText(uint64_t sectors, unsigned int bytesPerSector) {
  const uint64_t unit = bytesPerSector == 0 ? 512 : bytesPerSector;
  return std::to_string(sectors) + " sectors (" + HumanSize(sectors * unit) + ")";
}

std::string RaidTypeName(unsigned int raidType) {
  switch (raidType) {
    case KEL_RAID_0: return "RAID 0";
    case KEL_RAID_1: return "RAID 1";
    case KEL_RAID_5: return "RAID 5";
    case KEL_RAID_SPAN: return "span";
    case KEL_RAID_01: return "RAID 0+1";
    case KEL_RAID_PD: return "plain disk";
  }
  return "type " + std::to_string(raidType);
}

std::string ArrayStatusText(unsigned int status) {
  static const BitWord kWords[] = {{KEL_RA_STATUS_MISSING, "degraded"},
                                   {KEL_RA_STATUS_INVALID, "invalid member"},
                                   {KEL_RA_STATUS_NEED_SYNC, "needs synchronisation"},
                                   {KEL_RA_STATUS_BIT3, "bit3"}};
  return status == 0 ? "normal" : BitWords(status, kWords, sizeof(kWords) / sizeof(kWords[0]));
}

std::string ArrayTaskText(unsigned int task) {
  switch (task) {
    case 0: return "none";
    case 1: return "synchronising";
    case 2: return "migrating";
    case 3: return "replacing";
  }
  return "task " + std::to_string(task);
}

std::string DiskFlagsText(unsigned int flags) {
  static const BitWord kWords[] = {{KEL_PD_FLAG_SET_ASIDE, "set aside"},
                                   {KEL_PD_FLAG_HEALTH_BAD, "health bad"},
                                   {KEL_PD_FLAG_UNREADABLE, "unreadable"},
                                   {KEL_PD_FLAG_CLEAR_PARTITION, "partition clear pending"}};
  return flags == 0 ? "ok" : BitWords(flags, kWords, sizeof(kWords) / sizeof(kWords[0]));
}

std::string SmartStatusText(unsigned int status) {
  switch (status) {
    case KEL_SMART_HEALTHY: return "healthy";
    case KEL_SMART_BELOW_THRESHOLD: return "attribute below threshold";
    case KEL_SMART_FAILING: return "disk reports failure";
  }
  return "status " + std::to_string(status);
}

std::string ChannelPositionText(unsigned int exist) {
  switch (exist) {
    case KEL_CHAN_POS_EMPTY: return "empty";
    case KEL_CHAN_POS_DISK: return "disk";
    case KEL_CHAN_POS_HUB: return "hub";
  }
  return "kind " + std::to_string(exist);
}

std::string SideText(unsigned int position) {
  if (position == 0) return "master";
  if (position == 1) return "slave";
  return std::to_string(position);
}

std::string HexText(unsigned long long value, int digits) {
  char text[24];
  snprintf(text, sizeof(text), "0x%0*llx", digits, value);
  return text;
}

std::string YesNo(bool value) { return value ? "yes" : "no"; }
