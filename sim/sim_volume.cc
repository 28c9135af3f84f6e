// Logical-volume I/O through an array's layout (contract in sim_volume.h).
#include "sim/sim_volume.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "sim/sim_layout.h"
#include "sim/sim_state.h"

namespace {

constexpr uint64_t kChunkSectors = 2048;  // 1 MiB: what a check holds per member at once
constexpr size_t kSector = kSimSectorSize;

bool Fail(std::string* err, const std::string& msg) {
  *err = msg;
  return false;
}

void XorInto(unsigned char* acc, const unsigned char* in, size_t bytes) {
  for (size_t i = 0; i < bytes; ++i) acc[i] ^= in[i];
}

enum class Where { kLayout, kOld, kKept, kNewSpace };

// Where logical sector `lba` lies during a migration; *n is how many of the `count` from
// it lie there too.
Where Classify(const SimMigrationView& m, uint64_t lba, uint64_t count, uint64_t* n) {
  *n = count;
  for (const auto& [from, to] : m.old.kept) {
    if (lba >= from && lba < to) {
      *n = std::min(count, to - lba);
      return Where::kKept;
    }
    if (from > lba) *n = std::min(*n, from - lba);
  }
  if (lba < m.movedEnd) {
    *n = std::min(*n, m.movedEnd - lba);
    return Where::kLayout;
  }
  if (lba < m.old.length) {
    *n = std::min(*n, m.old.length - lba);
    return Where::kOld;
  }
  return Where::kNewSpace;
}

}  // namespace

bool SimVolumeIo::InRange(uint64_t lba, uint64_t count, std::string* err) const {
  if (lba <= m_a.capacity && count <= m_a.capacity - lba) return true;
  return Fail(err, "logical sectors " + std::to_string(lba) + "+" + std::to_string(count) +
                       " are outside the volume of " + std::to_string(m_a.capacity) + " sectors");
}

bool SimVolumeIo::ReadPiece(int column, int parity, uint64_t phys, uint64_t count,
                            unsigned char* out, std::string* err) {
  if (parity < 0) {
    for (int c : SimCopies(m_a, column))
      if (m_a.members[c].holdsData) return m_io.Read(c, phys, count, out, err);
    return Fail(err, "no readable copy of position " + std::to_string(column));
  }
  if (m_a.members[column].holdsData) return m_io.Read(column, phys, count, out, err);
  // The missing stripe is the XOR of the rest of its row, parity included.
  std::memset(out, 0, count * kSector);
  std::vector<unsigned char> tmp(count * kSector);
  for (int m = 0; m < m_a.count; ++m) {
    if (m == column) continue;
    if (!m_a.members[m].holdsData)
      return Fail(err, "positions " + std::to_string(column) + " and " + std::to_string(m) +
                           " are both missing");
    if (!m_io.Read(m, phys, count, tmp.data(), err)) return false;
    XorInto(out, tmp.data(), tmp.size());
  }
  return true;
}

bool SimVolumeIo::Read(uint64_t lba, uint64_t count, unsigned char* out, std::string* err) {
  if (!InRange(lba, count, err)) return false;
  return m_mig ? ReadMigrating(lba, count, out, err) : ReadLayout(lba, count, out, err);
}

bool SimVolumeIo::Write(uint64_t lba, uint64_t count, const unsigned char* in, std::string* err) {
  if (!InRange(lba, count, err)) return false;
  return m_mig ? WriteMigrating(lba, count, in, err) : WriteLayout(lba, count, in, err);
}

bool SimVolumeIo::ReadMigrating(uint64_t lba, uint64_t count, unsigned char* out,
                                std::string* err) {
  for (uint64_t n = 0; count > 0; lba += n, count -= n, out += n * kSector) {
    switch (Classify(*m_mig, lba, count, &n)) {
      case Where::kKept:
        if (!m_mig->readKept(lba, n, out, err)) return false;
        break;
      case Where::kOld:
        if (!m_mig->old.read(lba, n, out, err)) return false;
        break;
      default:
        if (!ReadLayout(lba, n, out, err)) return false;
    }
  }
  return true;
}

bool SimVolumeIo::WriteMigrating(uint64_t lba, uint64_t count, const unsigned char* in,
                                 std::string* err) {
  for (uint64_t n = 0; count > 0; lba += n, count -= n, in += n * kSector) {
    switch (Classify(*m_mig, lba, count, &n)) {
      case Where::kLayout:
        if (!WriteLayout(lba, n, in, err)) return false;
        break;
      case Where::kOld:
        if (!m_mig->writeOld(lba, n, in, err)) return false;
        break;
      default:
        return Fail(err, "logical sectors " + std::to_string(lba) + "+" + std::to_string(n) +
                             " have no place to be written until the migration reaches them");
    }
  }
  return true;
}

bool SimVolumeIo::ReadLayout(uint64_t lba, uint64_t count, unsigned char* out,
                             std::string* err) {
  while (count > 0) {
    SimPlace p = SimLocate(m_a, lba);
    uint64_t n = std::min(p.run, count);
    if (!ReadPiece(p.column, p.parity, p.phys, n, out, err)) return false;
    lba += n;
    count -= n;
    out += n * kSector;
  }
  return true;
}

bool SimVolumeIo::WriteLayout(uint64_t lba, uint64_t count, const unsigned char* in,
                              std::string* err) {
  if (m_a.raidType == kSimRaid5) return WriteRows(lba, count, in, err);
  while (count > 0) {
    SimPlace p = SimLocate(m_a, lba);
    uint64_t n = std::min(p.run, count);
    bool written = false;
    for (int c : SimCopies(m_a, p.column)) {
      if (!m_a.members[c].present) continue;
      if (!m_io.Write(c, p.phys, n, in, err)) return false;
      written = true;
    }
    if (!written) return Fail(err, "position " + std::to_string(p.column) + " is missing");
    lba += n;
    count -= n;
    in += n * kSector;
  }
  return true;
}

// Each stripe row touched is put together whole (old data read through the layout where
// the write covers only part of it), then its data stripes and fresh parity are written.
bool SimVolumeIo::WriteRows(uint64_t lba, uint64_t count, const unsigned char* in,
                            std::string* err) {
  const uint64_t S = m_a.stripe, n = static_cast<uint64_t>(m_a.count), rowLen = S * (n - 1);
  std::vector<unsigned char> row(rowLen * kSector), parity(S * kSector);
  const uint64_t end = lba + count;
  for (uint64_t r = lba / rowLen; r * rowLen < end; ++r) {
    uint64_t rowStart = r * rowLen, from = std::max(lba, rowStart),
             to = std::min(end, rowStart + rowLen);
    if (to - from < rowLen && !ReadLayout(rowStart, rowLen, row.data(), err)) return false;
    std::memcpy(row.data() + (from - rowStart) * kSector, in + (from - lba) * kSector,
                (to - from) * kSector);
    int p = SimParityMember(m_a.count, r);
    std::fill(parity.begin(), parity.end(), 0);
    for (uint64_t d = 0; d + 1 < n; ++d) {
      int m = static_cast<int>((static_cast<uint64_t>(p) + 1 + d) % n);
      const unsigned char* stripe = row.data() + d * S * kSector;
      XorInto(parity.data(), stripe, parity.size());
      if (m_a.members[m].present && !m_io.Write(m, r * S, S, stripe, err)) return false;
    }
    if (m_a.members[p].present && !m_io.Write(p, r * S, S, parity.data(), err)) return false;
  }
  return true;
}

bool SimVolumeIo::Check(uint64_t* bad, std::string* err) {
  *bad = UINT64_MAX;
  if (m_mig)  // rows not moved yet have no redundancy to compare
    return Fail(err, "the array is being migrated: its redundancy is complete when that ends");
  if (m_a.raidType == kSimRaid1 || m_a.raidType == kSimRaid01) return CheckMirrors(bad, err);
  if (m_a.raidType == kSimRaid5) return CheckParity(bad, err);
  return true;
}

bool SimVolumeIo::CheckMirrors(uint64_t* bad, std::string* err) {
  const uint64_t used = SimUsedLength(m_a);
  int columns = m_a.raidType == kSimRaid01 ? m_a.count / 2 : 1;
  std::vector<unsigned char> first(kChunkSectors * kSector), other(first.size());
  for (int col = 0; col < columns; ++col) {
    std::vector<int> copies;
    for (int c : SimCopies(m_a, col))
      if (m_a.members[c].holdsData) copies.push_back(c);
    if (copies.size() < 2)
      return Fail(err, "position " + std::to_string(col) + " has no second copy to compare");
    for (uint64_t phys = 0; phys < used && phys < *bad; phys += kChunkSectors) {
      uint64_t n = std::min(kChunkSectors, used - phys);
      if (!m_io.Read(copies[0], phys, n, first.data(), err)) return false;
      for (size_t k = 1; k < copies.size(); ++k) {
        if (!m_io.Read(copies[k], phys, n, other.data(), err)) return false;
        for (uint64_t s = 0; s < n; ++s)
          if (std::memcmp(first.data() + s * kSector, other.data() + s * kSector, kSector) != 0) {
            *bad = std::min(*bad, SimLogicalOf(m_a, col, phys + s));
            break;
          }
      }
    }
  }
  return true;
}

bool SimVolumeIo::CheckParity(uint64_t* bad, std::string* err) {
  for (int m = 0; m < m_a.count; ++m)
    if (!m_a.members[m].holdsData)
      return Fail(err, "position " + std::to_string(m) + " is missing: no parity to compare");
  const uint64_t used = SimUsedLength(m_a);
  std::vector<unsigned char> acc(kChunkSectors * kSector), tmp(acc.size());
  static const unsigned char kZero[kSector] = {};
  for (uint64_t phys = 0; phys < used; phys += kChunkSectors) {
    uint64_t n = std::min(kChunkSectors, used - phys);
    std::fill(acc.begin(), acc.end(), 0);
    for (int m = 0; m < m_a.count; ++m) {
      if (!m_io.Read(m, phys, n, tmp.data(), err)) return false;
      XorInto(acc.data(), tmp.data(), n * kSector);
    }
    for (uint64_t s = 0; s < n; ++s)
      if (std::memcmp(acc.data() + s * kSector, kZero, kSector) != 0) {
        *bad = SimLogicalOf(m_a, 0, phys + s);
        return true;
      }
  }
  return true;
}
