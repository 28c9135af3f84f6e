// The layout maths of each RAID level (contract in sim_layout.h).
#include "sim/sim_layout.h"

int SimParityMember(int count, uint64_t row) {
  return count - 1 - static_cast<int>(row % static_cast<uint64_t>(count));
}

SimPlace SimLocate(const SimArray& a, uint64_t lba) {
  SimPlace p;
  const uint64_t S = a.stripe, n = static_cast<uint64_t>(a.count);
  switch (a.raidType) {
    case kSimRaid1:
      p.phys = lba;
      p.run = a.capacity - lba;
      return p;
    case kSimSpan:
      for (int i = 0; i < a.count; ++i) {
        uint64_t len = a.members[i].length;
        if (lba < len) {
          p.column = i;
          p.phys = lba;
          p.run = len - lba;
          return p;
        }
        lba -= len;
      }
      return p;
    case kSimRaid5: {
      uint64_t rowLen = S * (n - 1), row = lba / rowLen, within = lba % rowLen;
      p.parity = SimParityMember(a.count, row);
      p.column = static_cast<int>((static_cast<uint64_t>(p.parity) + 1 + within / S) % n);
      p.phys = row * S + within % S;
      p.run = S - within % S;
      return p;
    }
    default: {  // RAID 0, and RAID 0+1 striped over one half
      uint64_t width = a.raidType == kSimRaid01 ? n / 2 : n, stripe = lba / S;
      p.column = static_cast<int>(stripe % width);
      p.phys = stripe / width * S + lba % S;
      p.run = S - lba % S;
      return p;
    }
  }
}

std::vector<int> SimCopies(const SimArray& a, int column) {
  if (a.raidType == kSimRaid01) return {column, column + a.count / 2};
  if (a.raidType != kSimRaid1) return {column};
  std::vector<int> copies;
  for (int i = 0; i < a.count; ++i)
    if (i != 2) copies.push_back(i);
  return copies;
}

uint64_t SimLogicalOf(const SimArray& a, int column, uint64_t phys) {
  const uint64_t S = a.stripe, n = static_cast<uint64_t>(a.count);
  switch (a.raidType) {
    case kSimRaid01:
      return (phys / S * (n / 2) + static_cast<uint64_t>(column)) * S + phys % S;
    case kSimRaid5:
      return phys / S * S * (n - 1) + phys % S;
    default:
      return phys;
  }
}

uint64_t SimUsedLength(const SimArray& a) {
  switch (a.raidType) {
    case kSimRaid1: return a.capacity;
    case kSimRaid5: return a.capacity / (a.count - 1);
    case kSimRaid01: return a.capacity / (a.count / 2);
    case kSimRaid0: return a.capacity / a.count;
    default: return a.memberLength;
  }
}
