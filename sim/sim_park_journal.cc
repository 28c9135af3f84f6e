// Write-back journal on the folder (contract in sim_park_journal.h).
#include "sim/sim_park_journal.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

constexpr const char* kMagic = "kelsim-park";

bool SamePark(const KelSimPark& a, const KelSimPark& b) {
  return a.from == b.from && a.fromStart == b.fromStart && a.count == b.count && a.to == b.to &&
         a.toStart == b.toStart;
}

}  // namespace

std::string SimEncodeParkJournal(const SimParkJournal& j) {
  std::ostringstream out;
  out << kMagic << " 1 " << j.park.from << ' ' << j.park.fromStart << ' ' << j.park.count << ' '
      << j.park.to << ' ' << j.park.toStart << ' ' << j.position << ' ' << j.content.size()
      << '\n';
  out.write(reinterpret_cast<const char*>(j.content.data()),
            static_cast<std::streamsize>(j.content.size()));
  return out.str();
}

bool SimDecodeParkJournal(const std::string& bytes, SimParkJournal* j) {
  const size_t eol = bytes.find('\n');
  if (eol == std::string::npos) return false;
  std::istringstream head(bytes.substr(0, eol));
  std::string magic;
  int version = 0;
  size_t size = 0;
  KelSimPark& p = j->park;
  if (!(head >> magic >> version >> p.from >> p.fromStart >> p.count >> p.to >> p.toStart >>
        j->position >> size) ||
      magic != kMagic || version != 1 || size != bytes.size() - eol - 1)
    return false;
  j->content.assign(bytes.begin() + static_cast<long>(eol + 1), bytes.end());
  return true;
}

std::string KelSimParkJournalPath(const KelSimFolder& f, const std::string& disk, uint64_t at) {
  return f.Dir() + "/park-" + disk + "-" + std::to_string(at) + ".journal";
}

bool KelSimWriteParkJournal(const KelSimFolder& f, const SimParkJournal& j, std::string* err) {
  const std::string path = KelSimParkJournalPath(f, j.park.to, j.park.toStart),
                    tmp = path + ".new";
  const std::string bytes = SimEncodeParkJournal(j);
  std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out || std::rename(tmp.c_str(), path.c_str()) != 0) {
    unlink(tmp.c_str());
    *err = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool KelSimReadParkJournal(const KelSimFolder& f, const KelSimPark& p, uint64_t position,
                           SimParkJournal* j) {
  std::ifstream in(KelSimParkJournalPath(f, p.to, p.toStart), std::ios::binary);
  if (!in) return false;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return SimDecodeParkJournal(bytes.str(), j) && SamePark(j->park, p) && j->position == position;
}

void KelSimDropParkJournal(const KelSimFolder& f, const std::string& disk, uint64_t at) {
  unlink(KelSimParkJournalPath(f, disk, at).c_str());
}
