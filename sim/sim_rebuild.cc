// Synchronisation and migration over an array's layout (contracts in sim_rebuild.h).
#include "sim/sim_rebuild.h"

#include <algorithm>
#include <cstring>

#include "sim/sim_layout.h"
#include "sim/sim_state.h"

namespace {

constexpr size_t kSector = kSimSectorSize;
constexpr uint64_t kPiece = 256;  // sectors rebuilt per buffer

bool Fail(std::string* err, const std::string& msg) {
  *err = msg;
  return false;
}

// Data columns per row.
uint64_t Width(const SimArray& a) {
  switch (a.raidType) {
    case kSimRaid0: return static_cast<uint64_t>(a.count);
    case kSimRaid5: return static_cast<uint64_t>(a.count - 1);
    case kSimRaid01: return static_cast<uint64_t>(a.count / 2);
    default: return 1;
  }
}

// Logical sectors a row can hold: a span's rows lie on its first member only.
uint64_t Limit(const SimArray& a) {
  return a.raidType == kSimSpan ? std::min(a.capacity, a.members[0].length) : a.capacity;
}

// The logical range of row `row`, empty past the end.
void RowRange(const SimArray& a, uint64_t row, uint64_t* lo, uint64_t* hi) {
  const uint64_t len = Width(a) * SimRowSectors(a), limit = Limit(a);
  *lo = std::min(row * len, limit);
  *hi = std::min(*lo + len, limit);
}

// The members whose data rebuilds `target`; empty with `err` set when they cannot.
std::vector<int> Sources(const SimArray& a, int target, std::string* err) {
  std::vector<int> from;
  auto need = [&](int m) {
    if (!a.members[m].holdsData) {
      Fail(err, "position " + std::to_string(m) + " holds no data to synchronise from");
      return false;
    }
    from.push_back(m);
    return true;
  };
  switch (a.raidType) {
    case kSimRaid1:
      for (int m = 0; m < a.count && m < 2; ++m)
        if (m != target && a.members[m].holdsData) return {m};
      Fail(err, "no copy to synchronise position " + std::to_string(target) + " from");
      return {};
    case kSimRaid01:
      if (!need((target + a.count / 2) % a.count)) return {};
      return from;
    case kSimRaid5:
      for (int m = 0; m < a.count; ++m)
        if (m != target && !need(m)) return {};
      return from;
    default:
      Fail(err, std::string("a ") + SimRaidName(a.raidType) + " array has nothing to synchronise from");
      return {};
  }
}

}  // namespace

uint64_t SimRowSectors(const SimArray& a) { return a.stripe ? a.stripe : 256; }

uint64_t SimRowCount(const SimArray& a) {
  const uint64_t S = SimRowSectors(a), perRow = Width(a) * S;
  return (Limit(a) + perRow - 1) / perRow;
}

uint64_t SimRowFirstLogical(const SimArray& a, uint64_t row) {
  uint64_t lo, hi;
  RowRange(a, row, &lo, &hi);
  return lo;
}

bool SimRebuildMember(const SimArray& a, int target, uint64_t phys, uint64_t count,
                      SimMemberIo& io, std::string* err) {
  if (target < 0 || target >= a.count || !a.members[target].present)
    return Fail(err, "position " + std::to_string(target) + " is missing");
  std::vector<int> from = Sources(a, target, err);
  if (from.empty()) return false;
  std::vector<unsigned char> acc(kPiece * kSector), tmp(acc.size());
  for (uint64_t done = 0; done < count;) {
    const uint64_t n = std::min(kPiece, count - done);
    const size_t bytes = n * kSector;
    if (!io.Read(from[0], phys + done, n, acc.data(), err)) return false;
    for (size_t k = 1; k < from.size(); ++k) {  // RAID 5: the XOR of all the others
      if (!io.Read(from[k], phys + done, n, tmp.data(), err)) return false;
      for (size_t i = 0; i < bytes; ++i) acc[i] ^= tmp[i];
    }
    if (!io.Write(target, phys + done, n, acc.data(), err)) return false;
    done += n;
  }
  return true;
}

bool SimReadMigrationRow(const SimArray& a, uint64_t row, const SimOldData& old,
                         SimMemberIo& io, std::vector<unsigned char>* out, std::string* err) {
  uint64_t lo, hi;
  RowRange(a, row, &lo, &hi);
  out->assign((hi - lo) * kSector, 0);
  if (lo == hi) return true;
  // The pieces of the row that come from the old place; everything else keeps what the new
  // layout holds there now.
  std::vector<std::pair<uint64_t, uint64_t>> moved;
  for (uint64_t at = lo; at < std::min(hi, old.length);) {
    uint64_t end = std::min(hi, old.length);
    bool skip = false;
    for (const auto& [kFrom, kTo] : old.kept) {
      if (at >= kFrom && at < kTo) {
        at = kTo;
        skip = true;
        break;
      }
      if (kFrom > at) end = std::min(end, kFrom);
    }
    if (skip) continue;
    moved.emplace_back(at, end);
    at = end;
  }
  SimVolumeIo vol(a, io);
  const bool whole = moved.size() == 1 && moved[0].first == lo && moved[0].second == hi;
  if (!whole && !vol.Read(lo, hi - lo, out->data(), err)) return false;
  for (const auto& [from, to] : moved)
    if (!old.read(from, to - from, out->data() + (from - lo) * kSector, err)) return false;
  return true;
}

bool SimWriteRow(const SimArray& a, uint64_t row, const std::vector<unsigned char>& data,
                 SimMemberIo& io, std::string* err) {
  uint64_t lo, hi;
  RowRange(a, row, &lo, &hi);
  if (data.size() != (hi - lo) * kSector)
    return Fail(err, "row " + std::to_string(row) + " was given " +
                         std::to_string(data.size() / kSector) + " sectors");
  SimVolumeIo vol(a, io);
  return lo == hi || vol.Write(lo, hi - lo, data.data(), err);
}

bool SimRewriteRow(const SimArray& a, uint64_t row, SimMemberIo& io, std::string* err) {
  uint64_t lo, hi;
  RowRange(a, row, &lo, &hi);
  if (lo == hi) return true;
  SimVolumeIo vol(a, io);
  std::vector<unsigned char> buf((hi - lo) * kSector);
  return vol.Read(lo, hi - lo, buf.data(), err) && vol.Write(lo, hi - lo, buf.data(), err);
}
