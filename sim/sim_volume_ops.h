// Arrays as the simulated controller's logical volumes: finding them on the attached disks,
// keeping their nodes (the host's logical targets) in step, and the operator's data
// commands on raw disks and on volumes. The operator commands are each one KelSimFolder
// transaction, atomic against the service; they stream in chunks of 1 MiB and never hold a
// whole disk in memory. All return false with `err` set to one line; none prints.
#ifndef KEL_SIM_SIM_VOLUME_OPS_H
#define KEL_SIM_SIM_VOLUME_OPS_H

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "sim/sim_array.h"
#include "sim/sim_folder.h"
#include "sim/sim_state.h"
#include "sim/sim_volume.h"

// --- Inside a transaction (the folder lock held) ---

// Member I/O of `a` on the disk images (all three must outlive it).
std::unique_ptr<SimMemberIo> KelSimImageIo(const KelSimFolder& f, const KelSimState& s,
                                           const SimArray& a);

// Every array found in the areas of the attached disks. A disk whose area cannot be read
// contributes nothing.
std::vector<SimArray> KelSimFindArrays(const KelSimFolder& f, const KelSimState& s);

// The array a volume node shows now, or nullptr when its VD blocks are gone.
const SimArray* KelSimArrayOf(const std::vector<SimArray>& arrays, const KelSimVolume& v);

// Bus changed: every readable array gets a node, nodes of arrays gone are removed.
void KelSimSyncVolumes(const KelSimFolder& f, KelSimState& s, bool* dirty);

// Keeps a node for the array holding `disk`'s VD slot `slot`; false when it holds none.
bool KelSimKeepVolume(const KelSimFolder& f, KelSimState& s, const std::string& disk, int slot,
                      bool* dirty, std::string* err);

// Node names of the volumes and of their partitions (from the volume's own sector 0).
std::set<std::string> KelSimVolumeNodes(const KelSimFolder& f, const KelSimState& s);

// Copies `count` raw sectors from `from` at `fromStart` to `to` at `toStart` (they may be
// the same disk, the ranges overlapping).
bool KelSimCopySectors(const KelSimFolder& f, const KelSimDisk& from, uint64_t fromStart,
                       const KelSimDisk& to, uint64_t toStart, uint64_t count, std::string* err);

// --- Operator commands ---

// A sector range as given on the command line; what is not given takes the default.
struct KelSimRange {
  bool hasStart = false;
  uint64_t start = 0;
  bool hasCount = false;
  uint64_t count = 0;
};

// Raw disk sectors. Without a range: the data area (the reserved tail left out); a range
// given may reach into the reserved tail.
bool KelSimDiskWrite(const KelSimFolder& f, const std::string& disk, uint64_t seed,
                     const KelSimRange& r, std::string* err);
bool KelSimDiskSum(const KelSimFolder& f, const std::string& disk, const KelSimRange& r,
                   std::string* hex, std::string* err);

// The array that VD slot `slot` of `disk` belongs to, as a logical volume. Ranges are in
// logical sectors and default to the whole volume.
bool KelSimVolumeInfo(const KelSimFolder& f, const std::string& disk, int slot, SimArray* a,
                      std::string* err);
bool KelSimVolumeWrite(const KelSimFolder& f, const std::string& disk, int slot, uint64_t seed,
                       const KelSimRange& r, std::string* err);
bool KelSimVolumeSum(const KelSimFolder& f, const std::string& disk, int slot,
                     const KelSimRange& r, std::string* hex, std::string* err);
// *bad: the first logical sector whose redundancy is wrong, UINT64_MAX when none.
bool KelSimVolumeCheck(const KelSimFolder& f, const std::string& disk, int slot, uint64_t* bad,
                       std::string* err);
bool KelSimVolumeExport(const KelSimFolder& f, const std::string& disk, int slot,
                        const KelSimRange& r, const std::string& file, std::string* err);
// The file's bytes (the last sector padded with zeros) from logical sector r.start on;
// r.count, when given, must cover the file.
bool KelSimVolumeImport(const KelSimFolder& f, const std::string& disk, int slot,
                        const KelSimRange& r, const std::string& file, std::string* err);

#endif
