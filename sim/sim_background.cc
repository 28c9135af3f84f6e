// Background-work sub-commands of the simulated controller (contracts in sim_background.h).
#include "sim/sim_background.h"

#include <unistd.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "sharedlib/diag.h"
#include "sim/sim_codec.h"
#include "sim/sim_migration.h"
#include "sim/sim_park_journal.h"
#include "sim/sim_rebuild.h"
#include "sim/sim_volume_ops.h"

namespace {

constexpr uint64_t kAllOnes = ~uint64_t{0};
constexpr uint64_t kMaxParked = 2048;  // sectors one write-back may carry
constexpr uint64_t kJournalSectors = 2048;  // row content one journal batch holds, at least

bool Refuse(const SimCall& c, const std::string& why) {
  KEL_PRINT(ZEP_DBG_ERROR, "sub-command 0x%02X: %s\n", c.code, why.c_str());
  return false;
}

// The array holding VD `slot` of `d`, found afresh from the areas.
struct Located {
  std::vector<SimArray> arrays;
  const SimArray* a = nullptr;
  int index = -1;
};

bool Locate(const SimCall& c, const KelSimDisk& d, int slot, Located* out) {
  out->arrays = KelSimFindArrays(c.folder, c.s);
  for (const SimArray& a : out->arrays) {
    int i = a.IndexOf(d.name, slot);
    if (i < 0) continue;
    out->a = &a;
    out->index = i;
    return true;
  }
  return Refuse(c, d.name + " VD " + std::to_string(slot) + " belongs to no array");
}

KelSimVdRecord& Record(SimCall& c, KelSimDisk& d, int slot) {
  *c.dirty = true;
  return d.records[slot];
}

void Tidy(KelSimDisk& d) {
  std::erase_if(d.records, [](const auto& kv) { return kv.second.Empty(); });
}

// A fault on any present member fails a command that writes them all.
bool AnyMemberFaulted(SimCall& c, const SimArray& a) {
  for (const SimMember& m : a.members)
    if (m.present && SimFaulted(c, c.s.FindDisk(m.disk))) return true;
  return false;
}

}  // namespace

bool KelSimAnswerSync(SimCall& c) {
  if (!SimNeedLen(c, 42)) return false;
  const int pairs = c.p[0];
  if (pairs < 1 || pairs > 4) return Refuse(c, std::to_string(pairs) + " pairs, 1 to 4 allowed");
  const uint64_t start = SimGetU64(c.p, 26), count = SimGetU64(c.p, 34);
  std::vector<std::pair<KelSimDisk*, int>> targets;
  for (int i = 0; i < pairs; ++i) {
    const size_t e = 2 + 6 * static_cast<size_t>(i);
    KelSimDisk* d = SimAddressed(c, e, e + 2);
    if (!d) return false;
    targets.emplace_back(d, c.p[e + 4]);
  }
  for (auto& [d, slot] : targets)
    if (SimFaulted(c, d)) return false;
  if (count == 0) {  // finished (start all ones) or cancelled: the chunks stop here
    for (auto& [d, slot] : targets) {
      Record(c, *d, slot).syncing = false;
      Tidy(*d);
    }
    return true;
  }
  for (auto& [d, slot] : targets) {
    Located loc;
    if (!Locate(c, *d, slot, &loc)) return false;
    const SimArray& a = *loc.a;
    // The last chunk of a RAID 5 rebuild is counted in whole stripes and may reach past a
    // member's end: the controller stops at the end.
    const uint64_t len = std::min(a.members[loc.index].length, a.memberLength);
    if (start >= len)
      return Refuse(c, "sector " + std::to_string(start) + " is past the end of " + d->name +
                           " VD " + std::to_string(slot));
    std::unique_ptr<SimMemberIo> io = KelSimImageIo(c.folder, c.s, a);
    std::string err;
    if (!SimRebuildMember(a, loc.index, start, std::min(count, len - start), *io, &err))
      return Refuse(c, err);
    KelSimVdRecord& r = Record(c, *d, slot);
    r.syncing = true;
    r.dirty = true;
  }
  return true;
}

bool KelSimAnswerSavePosition(SimCall& c) {
  if (!SimNeedLen(c, 12)) return false;
  KelSimDisk* d = SimAddressed(c, 0, 1);
  if (!d || SimFaulted(c, d)) return false;
  KelSimVdRecord& r = Record(c, *d, c.p[3]);
  (c.code == 0x28 ? r.syncSaved : r.migSaved) = SimGetU64(c.p, 4);
  Tidy(*d);
  return true;
}

bool KelSimAnswerClearDirty(SimCall& c) {
  if (!SimNeedLen(c, 6)) return false;
  KelSimDisk* d = SimAddressed(c, 0, 2);
  if (!d || SimFaulted(c, d)) return false;
  Record(c, *d, c.p[4]).dirty = false;
  Tidy(*d);
  return true;
}

bool KelSimAnswerMigrate(SimCall& c) {
  if (!SimNeedLen(c, 20)) return false;
  KelSimDisk* d = SimAddressed(c, 0, 1);
  if (!d) return false;
  const int slot = c.p[3];
  const uint64_t start = SimGetU64(c.p, 4), count = SimGetU64(c.p, 12);
  if (count == 0) {
    if (SimFaulted(c, d)) return false;
    if (start == kAllOnes) {  // finished: nothing of this migration is needed any more
      unlink(KelSimJournalPath(c.folder, d->name, slot).c_str());
      KelSimVdRecord& r = Record(c, *d, slot);
      r.migMoved = 0;
      r.migMark = 0;
      Tidy(*d);
    }
    return true;
  }
  Located loc;
  if (!Locate(c, *d, slot, &loc)) return false;
  const SimArray& a = *loc.a;
  if (loc.index != 0)
    return Refuse(c, d->name + " VD " + std::to_string(slot) + " is not the array's first VD");
  if (AnyMemberFaulted(c, a)) return false;
  std::string err;
  if (!KelSimSettleMigration(c.folder, c.s, a, c.dirty, &err)) return Refuse(c, err);
  KelSimVdRecord& r = Record(c, *d, slot);
  if (r.migMark != a.mark) {  // a record left by another array on this VD
    r.migMark = a.mark;
    r.migMoved = 0;
  }
  const uint64_t S = SimRowSectors(a);
  const uint64_t rows = SimRowCount(a), fromRow = start / S,
                 toRow = std::min(rows, (start + count + S - 1) / S);
  if (fromRow * S > r.migMoved)
    return Refuse(c, "rows from " + std::to_string(r.migMoved / S) + " on are not moved yet; " +
                         "row " + std::to_string(fromRow) + " cannot go first");
  const SimOldData old = KelSimOldDataOf(c.folder, c.s, a);
  std::unique_ptr<SimMemberIo> io = KelSimImageIo(c.folder, c.s, a);
  // Rows at or below the record moved before: their old place is gone.
  for (uint64_t row = std::max(fromRow, r.migMoved / S); row < toRow;) {
    SimMigrationJournal j{d->name, slot, a.mark, row, {}};
    for (uint64_t held = 0; row < toRow && held < kJournalSectors; ++row) {
      std::vector<unsigned char> data;
      const bool newSpaceOnly = SimRowFirstLogical(a, row) >= old.length;
      // A row of new space only that holds a park waits for the write-back.
      if (!(newSpaceOnly && KelSimRowHoldsPark(c.s, a, row)) &&
          !SimReadMigrationRow(a, row, old, *io, &data, &err))
        return Refuse(c, err);
      held += data.size() / kSimSectorSize;
      j.rows.push_back(std::move(data));
    }
    if (!KelSimWriteJournal(c.folder, j, &err)) return Refuse(c, err);
    for (size_t i = 0; i < j.rows.size(); ++i)
      if (!j.rows[i].empty() && !SimWriteRow(a, j.fromRow + i, j.rows[i], *io, &err))
        return Refuse(c, err);
    r.migMoved = row * S;
  }
  return true;
}

bool KelSimAnswerReplace(SimCall& c) {
  if (!SimNeedLen(c, 26)) return false;
  KelSimDisk* from = SimAddressed(c, 0, 2);
  KelSimDisk* to = from ? SimAddressed(c, 5, 7) : nullptr;
  if (!to || SimFaulted(c, to)) return false;
  const int slot = c.p[4];
  const uint64_t start = SimGetU64(c.p, 10), count = SimGetU32(c.p, 18);
  if (from == to) return Refuse(c, "source and target are both " + from->name);
  if (count == 0) {
    if (start == kAllOnes) {
      KelSimVdRecord& r = Record(c, *from, slot);
      r.rplSaved = r.rplCopied;
    }
    return true;
  }
  for (const KelSimDisk* disk : {from, to}) {
    const uint64_t user = disk->capacity - kSimReservedSectors;
    if (start >= user || count > user - start)
      return Refuse(c, "sectors " + std::to_string(start) + "+" + std::to_string(count) +
                           " are outside " + disk->name + "'s data area");
  }
  std::string err;
  if (!KelSimCopySectors(c.folder, *from, start, *to, start, count, &err)) return Refuse(c, err);
  Record(c, *from, slot).rplCopied = start + count;
  return true;
}

bool KelSimAnswerRecoverParked(SimCall& c) {
  if (!SimNeedLen(c, 26)) return false;
  KelSimDisk* d = SimAddressed(c, 2, 4);
  if (!d) return false;
  const int slot = c.p[3];
  const uint64_t count = SimGetU32(c.p, 6), at = SimGetU64(c.p, 10), position = SimGetU64(c.p, 18);
  Located loc;
  if (!Locate(c, *d, slot, &loc)) return false;
  const SimArray& a = *loc.a;
  if (AnyMemberFaulted(c, a)) return false;
  if (count == 0 || count > kMaxParked || at >= d->capacity || count > d->capacity - at ||
      position >= a.capacity || count > a.capacity - position)
    return Refuse(c, std::to_string(count) + " sectors from " + d->name + ":" + std::to_string(at) +
                         " to logical " + std::to_string(position) + " do not fit");
  std::string err;
  if (!KelSimSettleMigration(c.folder, c.s, a, c.dirty, &err)) return Refuse(c, err);
  // Written back into rows not moved yet, the sectors would land where old data still lies,
  // and the migration would later overwrite them.
  SimMigrationView view;
  if (KelSimMigrationOf(c.folder, c.s, a, &view) && position + count > view.movedEnd)
    return Refuse(c, "logical sectors " + std::to_string(position) + "+" + std::to_string(count) +
                         " are not migrated yet");
  // A live park may have been overwritten by a write-back killed before the state save:
  // its journal holds what it held.
  const auto live = std::find_if(c.s.parks.begin(), c.s.parks.end(), [&](const KelSimPark& p) {
    return p.to == d->name && p.toStart == at;
  });
  SimParkJournal j;
  if (live == c.s.parks.end()) KelSimDropParkJournal(c.folder, d->name, at);
  const bool replay = live != c.s.parks.end() &&
                      KelSimReadParkJournal(c.folder, *live, position, &j) &&
                      j.content.size() == count * kSimSectorSize;
  if (!replay) {
    j.content.assign(count * kSimSectorSize, 0);
    if (!c.folder.ReadSectors(*d, at, count, j.content.data(), &err)) return Refuse(c, err);
    if (live != c.s.parks.end()) {
      j.park = *live;
      j.position = position;
      if (!KelSimWriteParkJournal(c.folder, j, &err)) return Refuse(c, err);
    }
  }
  std::unique_ptr<SimMemberIo> io = KelSimImageIo(c.folder, c.s, a);
  SimVolumeIo vol(a, *io);
  if (!vol.Write(position, count, j.content.data(), &err)) return Refuse(c, err);
  // The park is released: rows the migration left for it are put in step now.
  const bool released = live != c.s.parks.end();
  if (released) c.s.parks.erase(live);
  const SimMember& m = a.members[loc.index];
  if (released && at >= m.start) {
    const uint64_t S = SimRowSectors(a), phys = at - m.start;
    for (uint64_t row = phys / S; row <= (phys + count - 1) / S && row < SimRowCount(a); ++row)
      if (!SimRewriteRow(a, row, *io, &err)) return Refuse(c, err);
  }
  *c.dirty = true;
  return true;
}

void KelSimNotePark(KelSimState& s, const KelSimPark& p) {
  std::erase_if(s.parks, [&](const KelSimPark& q) {
    return q.from == p.from && q.fromStart == p.fromStart;
  });
  s.parks.push_back(p);
}
