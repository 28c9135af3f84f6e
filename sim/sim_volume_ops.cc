// Arrays as logical volumes on the folder's disk images (contracts in sim_volume_ops.h).
#include "sim/sim_volume_ops.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

#include "sim/sim_data.h"
#include "sim/sim_migration.h"
#include "sim/sim_volume.h"

namespace {

constexpr uint64_t kChunk = 2048;  // sectors moved per step: 1 MiB
constexpr size_t kSector = kSimSectorSize;

bool Fail(std::string* err, const std::string& msg) {
  *err = msg;
  return false;
}

// Member I/O on the disk images of an array's members.
class ImageIo : public SimMemberIo {
 public:
  ImageIo(const KelSimFolder& f, const KelSimState& s, const SimArray& a) : m_f(f), m_s(s), m_a(a) {}

  bool Read(int member, uint64_t phys, uint64_t count, unsigned char* out,
            std::string* err) override {
    const KelSimDisk* d = Disk(member, phys, count, err);
    return d && m_f.ReadSectors(*d, m_a.members[member].start + phys, count, out, err);
  }
  bool Write(int member, uint64_t phys, uint64_t count, const unsigned char* in,
             std::string* err) override {
    const KelSimDisk* d = Disk(member, phys, count, err);
    return d && m_f.WriteSectors(*d, m_a.members[member].start + phys, count, in, err);
  }

 private:
  const KelSimDisk* Disk(int member, uint64_t phys, uint64_t count, std::string* err) const {
    const SimMember& m = m_a.members[member];
    const KelSimDisk* d = m.present ? m_s.FindDisk(m.disk) : nullptr;
    if (!d) return Fail(err, "position " + std::to_string(member) + " is missing"), nullptr;
    if (phys > m.length || count > m.length - phys)
      return Fail(err, "sectors past the end of " + m.disk + "'s VD"), nullptr;
    return d;
  }

  const KelSimFolder& m_f;
  const KelSimState& m_s;
  const SimArray& m_a;
};

using VolumeFn = std::function<bool(const KelSimState& s, const SimArray& a, SimVolumeIo& io,
                                    std::string* err)>;

// Runs `fn` in one transaction on the array that `disk` slot `slot` belongs to.
bool WithVolume(const KelSimFolder& f, const std::string& disk, int slot, const VolumeFn& fn,
                std::string* err) {
  return f.Transact(
      [&](KelSimState& s, bool* dirty, std::string* e) {
        const KelSimDisk* d = s.FindDisk(disk);
        if (!d) return Fail(e, "no disk " + disk);
        if (!d->Attached()) return Fail(e, "disk " + disk + " is not plugged in");
        std::vector<SimArray> arrays = KelSimFindArrays(f, s);
        for (const SimArray& a : arrays) {
          if (a.IndexOf(disk, slot) < 0) continue;
          if (!a.Readable() || a.capacity == 0)
            return Fail(e, "the array of " + disk + ":" + std::to_string(slot) +
                               " is missing members it cannot do without");
          // A migration killed mid-batch is finished first, so that the view below is true.
          if (a.migrating && !KelSimSettleMigration(f, s, a, dirty, e)) return false;
          SimMigrationView view;
          const bool migrating = KelSimMigrationOf(f, s, a, &view);
          ImageIo image(f, s, a);
          SimVolumeIo io(a, image, migrating ? &view : nullptr);
          return fn(s, a, io, e);
        }
        return Fail(e, disk + ":" + std::to_string(slot) + " is not a VD of an array");
      },
      err);
}

bool VolumeRange(const SimArray& a, const KelSimRange& r, uint64_t* start, uint64_t* count,
                 std::string* err) {
  *start = r.hasStart ? r.start : 0;
  if (*start > a.capacity) return Fail(err, "--start is past the volume's end");
  *count = r.hasCount ? r.count : a.capacity - *start;
  if (*count > a.capacity - *start) return Fail(err, "the range runs past the volume's end");
  return true;
}

bool DiskRange(const KelSimDisk& d, const KelSimRange& r, uint64_t* start, uint64_t* count,
               std::string* err) {
  const uint64_t dataEnd = d.capacity - kSimReservedSectors;
  *start = r.hasStart ? r.start : 0;
  if (*start > d.capacity) return Fail(err, "--start is past the end of " + d.name);
  *count = r.hasCount ? r.count : (*start < dataEnd ? dataEnd : d.capacity) - *start;
  if (*count > d.capacity - *start) return Fail(err, "the range runs past the end of " + d.name);
  return true;
}

}  // namespace

std::unique_ptr<SimMemberIo> KelSimImageIo(const KelSimFolder& f, const KelSimState& s,
                                           const SimArray& a) {
  return std::make_unique<ImageIo>(f, s, a);
}

std::vector<SimArray> KelSimFindArrays(const KelSimFolder& f, const KelSimState& s) {
  std::vector<SimVdBlock> blocks;
  unsigned char area[kSimAreaBytes];
  for (const KelSimDisk& d : s.disks) {
    std::string ignored;
    if (!d.Attached() || d.capacity < kSimReservedSectors ||
        !f.ReadSectors(d, KelSimFolder::AreaSector(d), kSimAreaSectors, area, &ignored))
      continue;
    const uint64_t dataEnd = d.capacity - kSimReservedSectors;
    for (SimVdBlock& b : SimReadArea(d.name, area))  // a VD must lie in the data area
      if (b.start <= dataEnd && b.length <= dataEnd - b.start) blocks.push_back(b);
  }
  return SimGroupArrays(blocks);
}

const SimArray* KelSimArrayOf(const std::vector<SimArray>& arrays, const KelSimVolume& v) {
  for (const SimArray& a : arrays)
    if (a.SameIdentity(v.raidType, v.count, v.memberIds, v.mark)) return &a;
  return nullptr;
}

namespace {

void AddVolume(KelSimState& s, const SimArray& a) {
  // Like the kernel, the host names a logical target as it names a disk: the first letter
  // that neither a disk (attached or pulled) nor another volume holds, from the disks'
  // counter on, so a partition name ("sde1") stays as short as a disk's.
  int i = s.nextDisk;
  while (s.FindVolume(KelSimDiskName(i)) || s.FindDisk(KelSimDiskName(i))) ++i;
  s.volumes.push_back({KelSimDiskName(i), a.raidType, a.count, a.mark, a.memberIds});
}

}  // namespace

void KelSimSyncVolumes(const KelSimFolder& f, KelSimState& s, bool* dirty) {
  std::vector<SimArray> arrays = KelSimFindArrays(f, s);
  size_t before = s.volumes.size();
  std::erase_if(s.volumes, [&](const KelSimVolume& v) {
    const SimArray* a = KelSimArrayOf(arrays, v);
    return !a || !a->Readable();
  });
  if (s.volumes.size() != before) *dirty = true;
  for (const SimArray& a : arrays) {
    bool shown = false;
    for (const KelSimVolume& v : s.volumes) shown |= KelSimArrayOf(arrays, v) == &a;
    if (shown || !a.Readable()) continue;
    AddVolume(s, a);
    *dirty = true;
  }
}

bool KelSimKeepVolume(const KelSimFolder& f, KelSimState& s, const std::string& disk, int slot,
                      bool* dirty, std::string* err) {
  std::vector<SimArray> arrays = KelSimFindArrays(f, s);
  for (const SimArray& a : arrays) {
    if (a.IndexOf(disk, slot) < 0) continue;
    for (const KelSimVolume& v : s.volumes)
      if (KelSimArrayOf(arrays, v) == &a) return true;
    AddVolume(s, a);
    *dirty = true;
    return true;
  }
  return Fail(err, disk + " VD " + std::to_string(slot) + " belongs to no array");
}

std::set<std::string> KelSimVolumeNodes(const KelSimFolder& f, const KelSimState& s) {
  std::set<std::string> nodes;
  if (s.volumes.empty()) return nodes;
  std::vector<SimArray> arrays = KelSimFindArrays(f, s);
  for (const KelSimVolume& v : s.volumes) {
    nodes.insert(v.name);
    const SimArray* a = KelSimArrayOf(arrays, v);
    if (!a || !a->Readable() || a->capacity == 0) continue;
    ImageIo image(f, s, *a);
    SimVolumeIo io(*a, image);
    unsigned char sector0[kSector];
    std::string ignored;
    if (io.Read(0, 1, sector0, &ignored))
      for (int p : KelSimMbrPartitions(sector0)) nodes.insert(v.name + std::to_string(p));
  }
  return nodes;
}

// Runs `step(at, n, buf)` over the sectors [start, start + count) in steps of at most kChunk
// sectors, with one buffer of that size; stops at the first step that fails.
static bool ForEachChunk(uint64_t start, uint64_t count,
                  const std::function<bool(uint64_t, uint64_t, unsigned char*)>& step) {
  std::vector<unsigned char> buf(kChunk * kSector);
  for (uint64_t at = start; at < start + count; at += kChunk)
    if (!step(at, std::min(kChunk, start + count - at), buf.data())) return false;
  return true;
}

// SHA-256 of the sectors [start, start + count), read with `read`.
static bool HashSectors(uint64_t start, uint64_t count,
                 const std::function<bool(uint64_t, uint64_t, unsigned char*)>& read,
                 std::string* hex) {
  SimSha256 sha;
  if (!ForEachChunk(start, count, [&](uint64_t at, uint64_t n, unsigned char* buf) {
        if (!read(at, n, buf)) return false;
        sha.Update(buf, n * kSector);
        return true;
      }))
    return false;
  *hex = sha.Hex();
  return true;
}

bool KelSimCopySectors(const KelSimFolder& f, const KelSimDisk& from, uint64_t fromStart,
                       const KelSimDisk& to, uint64_t toStart, uint64_t count, std::string* err) {
  // Back to front when the target overlaps the source further on, so nothing is read after
  // it has been overwritten.
  bool backwards = from.name == to.name && toStart > fromStart;
  std::vector<unsigned char> buf(kChunk * kSector);
  for (uint64_t done = 0; done < count;) {
    uint64_t n = std::min(kChunk, count - done);
    uint64_t at = backwards ? count - done - n : done;
    if (!f.ReadSectors(from, fromStart + at, n, buf.data(), err) ||
        !f.WriteSectors(to, toStart + at, n, buf.data(), err))
      return false;
    done += n;
  }
  return true;
}

bool KelSimDiskWrite(const KelSimFolder& f, const std::string& disk, uint64_t seed,
                     const KelSimRange& r, std::string* err) {
  return f.Transact(
      [&](KelSimState& s, bool*, std::string* e) {
        const KelSimDisk* d = s.FindDisk(disk);
        uint64_t start, count;
        if (!d) return Fail(e, "no disk " + disk);
        if (!DiskRange(*d, r, &start, &count, e)) return false;
        return ForEachChunk(start, count, [&](uint64_t at, uint64_t n, unsigned char* buf) {
          SimFillPattern(seed, at, n, buf);
          return f.WriteSectors(*d, at, n, buf, e);
        });
      },
      err);
}

bool KelSimDiskSum(const KelSimFolder& f, const std::string& disk, const KelSimRange& r,
                   std::string* hex, std::string* err) {
  return f.Transact(
      [&](KelSimState& s, bool*, std::string* e) {
        const KelSimDisk* d = s.FindDisk(disk);
        uint64_t start, count;
        if (!d) return Fail(e, "no disk " + disk);
        if (!DiskRange(*d, r, &start, &count, e)) return false;
        return HashSectors(
            start, count,
            [&](uint64_t at, uint64_t n, unsigned char* buf) { return f.ReadSectors(*d, at, n, buf, e); },
            hex);
      },
      err);
}

bool KelSimVolumeInfo(const KelSimFolder& f, const std::string& disk, int slot, SimArray* out,
                      std::string* err) {
  return WithVolume(
      f, disk, slot,
      [&](const KelSimState&, const SimArray& a, SimVolumeIo&, std::string*) {
        *out = a;
        return true;
      },
      err);
}

bool KelSimVolumeWrite(const KelSimFolder& f, const std::string& disk, int slot, uint64_t seed,
                       const KelSimRange& r, std::string* err) {
  return WithVolume(
      f, disk, slot,
      [&](const KelSimState&, const SimArray& a, SimVolumeIo& io, std::string* e) {
        uint64_t start, count;
        if (!VolumeRange(a, r, &start, &count, e)) return false;
        return ForEachChunk(start, count, [&](uint64_t at, uint64_t n, unsigned char* buf) {
          SimFillPattern(seed, at, n, buf);
          return io.Write(at, n, buf, e);
        });
      },
      err);
}

bool KelSimVolumeSum(const KelSimFolder& f, const std::string& disk, int slot,
                     const KelSimRange& r, std::string* hex, std::string* err) {
  return WithVolume(
      f, disk, slot,
      [&](const KelSimState&, const SimArray& a, SimVolumeIo& io, std::string* e) {
        uint64_t start, count;
        if (!VolumeRange(a, r, &start, &count, e)) return false;
        return HashSectors(
            start, count,
            [&](uint64_t at, uint64_t n, unsigned char* buf) { return io.Read(at, n, buf, e); }, hex);
      },
      err);
}

bool KelSimVolumeCheck(const KelSimFolder& f, const std::string& disk, int slot, uint64_t* bad,
                       std::string* err) {
  return WithVolume(
      f, disk, slot,
      [&](const KelSimState&, const SimArray&, SimVolumeIo& io, std::string* e) {
        return io.Check(bad, e);
      },
      err);
}

bool KelSimVolumeExport(const KelSimFolder& f, const std::string& disk, int slot,
                        const KelSimRange& r, const std::string& file, std::string* err) {
  return WithVolume(
      f, disk, slot,
      [&](const KelSimState&, const SimArray& a, SimVolumeIo& io, std::string* e) {
        uint64_t start, count;
        if (!VolumeRange(a, r, &start, &count, e)) return false;
        std::unique_ptr<FILE, int (*)(FILE*)> out(std::fopen(file.c_str(), "wb"), std::fclose);
        if (!out) return Fail(e, "cannot write " + file);
        if (!ForEachChunk(start, count, [&](uint64_t at, uint64_t n, unsigned char* buf) {
              if (!io.Read(at, n, buf, e)) return false;
              return std::fwrite(buf, kSector, n, out.get()) == n ? true
                                                                  : Fail(e, "cannot write " + file);
            }))
          return false;
        return std::fflush(out.get()) == 0 ? true : Fail(e, "cannot write " + file);
      },
      err);
}

bool KelSimVolumeImport(const KelSimFolder& f, const std::string& disk, int slot,
                        const KelSimRange& r, const std::string& file, std::string* err) {
  std::unique_ptr<FILE, int (*)(FILE*)> in(std::fopen(file.c_str(), "rb"), std::fclose);
  struct stat st;
  if (!in || fstat(fileno(in.get()), &st) != 0) return Fail(err, "cannot read " + file);
  const uint64_t sectors = (static_cast<uint64_t>(st.st_size) + kSector - 1) / kSector;
  if (r.hasCount && r.count < sectors)
    return Fail(err, file + " holds " + std::to_string(sectors) + " sectors, more than --count");
  return WithVolume(
      f, disk, slot,
      [&](const KelSimState&, const SimArray& a, SimVolumeIo& io, std::string* e) {
        uint64_t start = r.hasStart ? r.start : 0;
        if (start > a.capacity || sectors > a.capacity - start)
          return Fail(e, file + " does not fit in the volume of " + std::to_string(a.capacity) +
                             " sectors");
        return ForEachChunk(start, sectors, [&](uint64_t at, uint64_t n, unsigned char* buf) {
          std::fill(buf, buf + kChunk * kSector, 0);
          size_t got = std::fread(buf, 1, n * kSector, in.get());
          if (got < n * kSector && std::ferror(in.get())) return Fail(e, "cannot read " + file);
          return io.Write(at, n, buf, e);
        });
      },
      err);
}
