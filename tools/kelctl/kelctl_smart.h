// The two 512-byte SMART pages of a disk: a 16-bit revision, then 30 attribute entries of
// 12 bytes. A values entry is id, flags (16 bits), current value, worst value and a 48-bit
// raw value; a thresholds entry is id and threshold. Entries with id 0 are unused.
#ifndef KEL_TOOLS_KELCTL_KELCTL_SMART_H
#define KEL_TOOLS_KELCTL_KELCTL_SMART_H

#include <cstdint>
#include <vector>

inline constexpr int kSmartEntries = 30;

struct KelctlSmartValue {
  unsigned int id = 0;
  unsigned int flags = 0;
  unsigned int current = 0;
  unsigned int worst = 0;
  uint64_t raw = 0;
};

struct KelctlSmartThreshold {
  unsigned int id = 0;
  unsigned int threshold = 0;
};

// The page's revision (little-endian); 0 for a page shorter than 2 bytes.
unsigned int SmartRevision(const std::vector<unsigned char>& page);
// The used entries in page order; a page shorter than 362 bytes yields the entries it holds.
std::vector<KelctlSmartValue> DecodeSmartValues(const std::vector<unsigned char>& page);
std::vector<KelctlSmartThreshold> DecodeSmartThresholds(const std::vector<unsigned char>& page);

#endif
