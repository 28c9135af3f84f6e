// Arrays from configuration areas (contract in sim_array.h).
#include "sim/sim_array.h"

#include <algorithm>

#include "sim/sim_codec.h"

namespace {

constexpr size_t kMarker = 2560;
constexpr size_t kPdSector = 2048;
constexpr uint16_t kMarkerSignature = 0xAA55;
constexpr uint16_t kVdSignature = 0xD4D6;
constexpr uint16_t kStateValid = 1u << 0;
constexpr uint16_t kStateSyncTarget = 1u << 4;

bool KnownType(uint8_t t) {
  return t == kSimRaid0 || t == kSimRaid1 || t == kSimRaid5 || t == kSimSpan || t == kSimRaid01;
}

// Whether the member at layout index `i` keeps a copy of the data once it is in step: a
// RAID 1 position 2 is a spare that holds nothing yet.
bool TakesPart(uint8_t type, int i) { return !(type == kSimRaid1 && i == 2); }

uint64_t WholeRows(uint64_t length, uint32_t stripe) { return length / stripe * stripe; }

}  // namespace

const char* SimRaidName(uint8_t type) {
  switch (type) {
    case kSimRaid0: return "RAID 0";
    case kSimRaid1: return "RAID 1";
    case kSimRaid5: return "RAID 5";
    case kSimSpan: return "span";
    case kSimRaid01: return "RAID 0+1";
    default: return "unknown";
  }
}

int SimLayoutIndex(uint8_t type, int count, uint8_t position) {
  int i = position & 7;
  if (type == kSimRaid1) i = position & 3;
  if (type == kSimRaid01) {
    if (count % 2 != 0 || i >= count / 2) return -1;
    if (position & 0x80) i += count / 2;
  }
  return i < count ? i : -1;
}

std::vector<SimVdBlock> SimReadArea(const std::string& disk, const unsigned char* area) {
  std::vector<SimVdBlock> out;
  if (SimGetU16(area, kMarker) != kMarkerSignature || area[kMarker + 2] < 3) return out;
  uint32_t map = SimGetU32(area, kPdSector + 4);
  for (int slot = 0; slot < 2; ++slot) {
    if (!(map & (1u << slot))) continue;
    const unsigned char* b = area + (7 - slot) * 256;
    if (SimGetU16(b, 0) != kVdSignature || !(SimGetU16(b, 32) & kStateValid)) continue;
    SimVdBlock v;
    v.disk = disk;
    v.slot = slot;
    v.vdId = SimGetU32(b, 4);
    v.start = SimGetU64(b, 8);
    v.length = SimGetU64(b, 24);
    v.state = SimGetU16(b, 32);
    v.flags2 = b[105];
    v.mark = SimGetU64(b, 36);
    v.raidType = b[100];
    v.vdCount = b[101];
    v.stripe = b[108] ? b[108] : 256;
    v.position = b[112];
    for (int i = 0; i < v.vdCount && i < kSimMaxMembers; ++i)
      v.memberIds.push_back(SimGetU32(b, 212 + 4 * i));
    out.push_back(v);
  }
  return out;
}

bool SimArray::SameIdentity(uint8_t type, int n, const std::vector<uint32_t>& ids,
                            uint64_t m) const {
  return raidType == type && count == n && memberIds == ids && (mark == 0 || m == 0 || mark == m);
}

int SimArray::IndexOf(const std::string& disk, int slot) const {
  for (size_t i = 0; i < members.size(); ++i)
    if (members[i].present && members[i].disk == disk && members[i].slot == slot)
      return static_cast<int>(i);
  return -1;
}

bool SimArray::Readable() const {
  int n = count;
  auto data = [&](int i) { return members[i].holdsData; };
  switch (raidType) {
    case kSimRaid1:
      for (int i = 0; i < n; ++i)
        if (data(i)) return true;
      return false;
    case kSimRaid5: {
      int missing = 0;
      for (int i = 0; i < n; ++i) missing += !data(i);
      return n >= 3 && missing <= 1;
    }
    case kSimRaid01:
      for (int i = 0; i < n / 2; ++i)
        if (!data(i) && !data(i + n / 2)) return false;
      return n >= 2;
    default:
      for (int i = 0; i < n; ++i)
        if (!data(i)) return false;
      return n >= 1;
  }
}

std::vector<SimArray> SimGroupArrays(const std::vector<SimVdBlock>& blocks, int* dropped) {
  std::vector<SimArray> arrays;
  int drops = 0;
  for (const SimVdBlock& b : blocks) {
    if (b.ReplaceRole() == kSimRplTarget) continue;
    bool listed = std::find(b.memberIds.begin(), b.memberIds.end(), b.vdId) != b.memberIds.end();
    int index = SimLayoutIndex(b.raidType, b.vdCount, b.position);
    if (!KnownType(b.raidType) || b.vdCount == 0 || b.vdCount > kSimMaxMembers || !listed ||
        index < 0) {
      ++drops;
      continue;
    }
    SimArray* a = nullptr;
    for (auto& have : arrays)
      if (have.SameIdentity(b.raidType, b.vdCount, b.memberIds, b.mark)) a = &have;
    if (!a) {
      arrays.emplace_back();
      a = &arrays.back();
      a->raidType = b.raidType;
      a->count = b.vdCount;
      a->stripe = b.stripe;
      a->memberIds = b.memberIds;
      a->members.resize(b.vdCount);
    }
    if (a->mark == 0) a->mark = b.mark;
    if (b.Migrating()) a->migrating = true;
    SimMember& m = a->members[index];
    if (m.present) {  // two blocks claim one position: keep the first
      ++drops;
      continue;
    }
    m.present = true;
    // A target being rebuilt holds nothing the reads may trust: below the position saved
    // in its block it agrees with the others anyway, above it it holds whatever was there.
    bool syncing = (b.state & kStateSyncTarget) && (b.raidType == kSimRaid1 ||
                                                    b.raidType == kSimRaid01 ||
                                                    b.raidType == kSimRaid5);
    m.holdsData = TakesPart(b.raidType, index) && !syncing;
    m.disk = b.disk;
    m.slot = b.slot;
    m.vdId = b.vdId;
    m.start = b.start;
    m.length = b.length;
  }
  for (SimArray& a : arrays) {
    uint64_t shortest = UINT64_MAX, sum = 0;
    bool allThere = true;
    for (int i = 0; i < a.count; ++i) {
      const SimMember& m = a.members[i];
      if (!m.present) allThere = false;
      if (!m.present || !TakesPart(a.raidType, i)) continue;
      shortest = std::min(shortest, m.length);
      sum += m.length;
    }
    a.memberLength = shortest == UINT64_MAX ? 0 : shortest;
    uint64_t L = a.memberLength;
    switch (a.raidType) {
      case kSimRaid0: a.capacity = a.count * WholeRows(L, a.stripe); break;
      case kSimRaid1: a.capacity = L; break;
      case kSimRaid5: a.capacity = (a.count - 1) * WholeRows(L, a.stripe); break;
      case kSimRaid01: a.capacity = a.count / 2 * WholeRows(L, a.stripe); break;
      default: a.capacity = allThere ? sum : 0; break;  // a span's size needs every part
    }
  }
  if (dropped) *dropped = drops;
  return arrays;
}
