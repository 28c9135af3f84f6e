// Migration view and journal on the folder's images (contracts in sim_migration.h).
#include "sim/sim_migration.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

#include "sim/sim_rebuild.h"
#include "sim/sim_volume_ops.h"

namespace {

constexpr size_t kSector = kSimSectorSize;
constexpr const char* kMagic = "kelsim-journal";

bool Fail(std::string* err, const std::string& msg) {
  *err = msg;
  return false;
}

// The park that took the old place of the first member's sector `sector`, if any.
const KelSimPark* ParkOf(const KelSimState& s, const std::string& disk, uint64_t sector) {
  for (const KelSimPark& p : s.parks)
    if (p.from == disk && sector >= p.fromStart && sector < p.fromStart + p.count) return &p;
  return nullptr;
}

const KelSimDisk* FirstDisk(const KelSimState& s, const SimArray& a) {
  return !a.members.empty() && a.members[0].present ? s.FindDisk(a.members[0].disk) : nullptr;
}

}  // namespace

std::string SimEncodeJournal(const SimMigrationJournal& j) {
  std::ostringstream out;
  out << kMagic << " 1 " << j.disk << ' ' << j.slot << ' ' << j.mark << ' ' << j.fromRow << ' '
      << j.rows.size();
  for (const auto& row : j.rows) out << ' ' << row.size() / kSector;
  out << '\n';
  for (const auto& row : j.rows) out.write(reinterpret_cast<const char*>(row.data()),
                                           static_cast<std::streamsize>(row.size()));
  return out.str();
}

bool SimDecodeJournal(const std::string& bytes, SimMigrationJournal* j) {
  const size_t eol = bytes.find('\n');
  if (eol == std::string::npos) return false;
  std::istringstream head(bytes.substr(0, eol));
  std::string magic;
  int version = 0;
  size_t rows = 0;
  if (!(head >> magic >> version >> j->disk >> j->slot >> j->mark >> j->fromRow >> rows) ||
      magic != kMagic || version != 1)
    return false;
  j->rows.assign(rows, {});
  size_t at = eol + 1;
  for (auto& row : j->rows) {
    uint64_t sectors = 0;
    if (!(head >> sectors) || sectors > (bytes.size() - at) / kSector) return false;
    row.assign(bytes.begin() + static_cast<long>(at),
               bytes.begin() + static_cast<long>(at + sectors * kSector));
    at += sectors * kSector;
  }
  return at == bytes.size();
}

std::string KelSimJournalPath(const KelSimFolder& f, const std::string& disk, int slot) {
  return f.Dir() + "/migration-" + disk + "-" + std::to_string(slot) + ".journal";
}

bool KelSimWriteJournal(const KelSimFolder& f, const SimMigrationJournal& j, std::string* err) {
  const std::string path = KelSimJournalPath(f, j.disk, j.slot), tmp = path + ".new";
  const std::string bytes = SimEncodeJournal(j);
  std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out || std::rename(tmp.c_str(), path.c_str()) != 0) {
    unlink(tmp.c_str());
    return Fail(err, "cannot write " + path + ": " + std::strerror(errno));
  }
  return true;
}

SimOldData KelSimOldDataOf(const KelSimFolder& f, const KelSimState& s, const SimArray& a) {
  SimOldData old;
  const KelSimDisk* d = FirstDisk(s, a);
  if (!d) return old;
  const uint64_t start = a.members[0].start;
  old.length = std::min(a.capacity, d->capacity - kSimReservedSectors - start);
  for (const KelSimPark& p : s.parks)
    if (p.from == d->name && p.fromStart >= start)
      old.kept.emplace_back(p.fromStart - start, p.fromStart - start + p.count);
  std::sort(old.kept.begin(), old.kept.end());
  old.read = [&f, d, start](uint64_t lba, uint64_t n, unsigned char* out, std::string* err) {
    return f.ReadSectors(*d, start + lba, n, out, err);
  };
  return old;
}

bool KelSimMigrationOf(const KelSimFolder& f, const KelSimState& s, const SimArray& a,
                       SimMigrationView* view) {
  const KelSimDisk* d = FirstDisk(s, a);
  if (!a.migrating || !d) return false;
  const SimMember& first = a.members[0];
  auto it = d->records.find(first.slot);
  const uint64_t moved =
      it != d->records.end() && it->second.migMark == a.mark ? it->second.migMoved : 0;
  view->movedEnd = SimRowFirstLogical(a, moved / SimRowSectors(a));
  view->old = KelSimOldDataOf(f, s, a);
  const uint64_t start = first.start;
  view->writeOld = [&f, d, start](uint64_t lba, uint64_t n, const unsigned char* in,
                                  std::string* err) {
    return f.WriteSectors(*d, start + lba, n, in, err);
  };
  view->readKept = [&f, &s, d, start](uint64_t lba, uint64_t n, unsigned char* out,
                                      std::string* err) {
    const KelSimPark* p = ParkOf(s, d->name, start + lba);
    const KelSimDisk* to = p ? s.FindDisk(p->to) : nullptr;
    if (!to) return Fail(err, "the park of logical sector " + std::to_string(lba) + " is gone");
    return f.ReadSectors(*to, p->toStart + (start + lba - p->fromStart), n, out, err);
  };
  return true;
}

bool KelSimSettleMigration(const KelSimFolder& f, KelSimState& s, const SimArray& a,
                           bool* dirty, std::string* err) {
  const KelSimDisk* first = FirstDisk(s, a);
  if (!first) return true;
  const std::string path = KelSimJournalPath(f, first->name, a.members[0].slot);
  std::ifstream in(path, std::ios::binary);
  if (!in) return true;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  SimMigrationJournal j;
  if (!SimDecodeJournal(bytes.str(), &j) || j.mark != a.mark) {
    unlink(path.c_str());  // another array's, or not ours to trust
    return true;
  }
  KelSimVdRecord& r = s.FindDisk(first->name)->records[a.members[0].slot];
  const uint64_t S = SimRowSectors(a), end = (j.fromRow + j.rows.size()) * S;
  if (r.migMark == a.mark && r.migMoved >= end) {
    unlink(path.c_str());  // the state caught up with it
    return true;
  }
  std::unique_ptr<SimMemberIo> io = KelSimImageIo(f, s, a);
  for (size_t i = 0; i < j.rows.size(); ++i)
    if (!j.rows[i].empty() && !SimWriteRow(a, j.fromRow + i, j.rows[i], *io, err)) return false;
  r.migMark = a.mark;
  r.migMoved = end;
  *dirty = true;
  return true;
}

bool KelSimRowHoldsPark(const KelSimState& s, const SimArray& a, uint64_t row) {
  const uint64_t S = SimRowSectors(a), lo = row * S, hi = lo + S;
  for (const KelSimPark& p : s.parks)
    for (const SimMember& m : a.members) {
      if (!m.present || m.disk != p.to || p.toStart < m.start) continue;
      const uint64_t phys = p.toStart - m.start;
      if (phys < hi && phys + p.count > lo) return true;
    }
  return false;
}

std::vector<int> SimForgetEndedMigrations(KelSimDisk& d, const std::vector<SimVdBlock>& blocks) {
  std::vector<int> cleared;
  for (auto& [key, r] : d.records) {
    if (r.migMoved == 0 && r.migMark == 0) continue;
    const auto slot = key;  // a plain copy: structured bindings cannot be captured everywhere
    const bool migrating = std::any_of(blocks.begin(), blocks.end(), [&](const SimVdBlock& b) {
      return b.slot == slot && b.Migrating();
    });
    if (migrating) continue;
    r.migMoved = 0;
    r.migMark = 0;
    cleared.push_back(slot);
  }
  std::erase_if(d.records, [](const auto& kv) { return kv.second.Empty(); });
  return cleared;
}

void KelSimAreaWritten(const KelSimFolder& f, KelSimDisk& d, const unsigned char* area,
                       bool* dirty) {
  const std::vector<SimVdBlock> blocks = SimReadArea(d.name, area);
  if (!SimForgetEndedMigrations(d, blocks).empty()) *dirty = true;
  // A journal left by a process killed before its first state save has no record to clear,
  // and would otherwise be replayed onto the next array with the same mark.
  for (int slot = 0; slot < 2; ++slot)
    if (std::none_of(blocks.begin(), blocks.end(),
                     [&](const SimVdBlock& b) { return b.slot == slot && b.Migrating(); }))
      unlink(KelSimJournalPath(f, d.name, slot).c_str());
}
