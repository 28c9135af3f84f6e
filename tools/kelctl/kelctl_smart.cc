// SMART page decoding; see kelctl_smart.h.
#include "tools/kelctl/kelctl_smart.h"

#include <cstddef>

namespace {

constexpr size_t kFirstEntry = 2;
constexpr size_t kEntrySize = 12;

// Entry i of the page, or null when the page does not hold it whole.
const unsigned char* Entry(const std::vector<unsigned char>& page, int i) {
  const size_t at = kFirstEntry + static_cast<size_t>(i) * kEntrySize;
  return at + kEntrySize <= page.size() ? page.data() + at : nullptr;
}

}  // namespace

unsigned int SmartRevision(const std::vector<unsigned char>& page) {
  return page.size() < 2 ? 0 : page[0] | (page[1] << 8);
}

std::vector<KelctlSmartValue> DecodeSmartValues(const std::vector<unsigned char>& page) {
  std::vector<KelctlSmartValue> out;
  for (int i = 0; i < kSmartEntries; ++i) {
    const unsigned char* e = Entry(page, i);
    if (e == nullptr) break;
    if (e[0] == 0) continue;
    KelctlSmartValue v;
    v.id = e[0];
    v.flags = e[1] | (e[2] << 8);
    v.current = e[3];
    v.worst = e[4];
    for (int b = 5; b >= 0; --b) v.raw = (v.raw << 8) | e[5 + b];
    out.push_back(v);
  }
  return out;
}

std::vector<KelctlSmartThreshold> DecodeSmartThresholds(const std::vector<unsigned char>& page) {
  std::vector<KelctlSmartThreshold> out;
  for (int i = 0; i < kSmartEntries; ++i) {
    const unsigned char* e = Entry(page, i);
    if (e == nullptr) break;
    if (e[0] != 0) out.push_back({e[0], e[1]});
  }
  return out;
}
