// KelSimFolder: the simulated controller's folder and the one way to act on it.
//
// Layout: "state" (text, sim_state.h), "lock" (flock target), "disks/NAME.img" (sparse
// disk images), "dev/" (one node file per attached disk, per logical volume and per
// partition of either: the folder the driver layer's node search lists), "mtab" (mount
// table naming the root disk's first partition). kelsrv (in process) and kelsim (another
// process) may act at once: every Transact takes an exclusive flock, re-reads the state,
// acts, replaces the state file by rename and refreshes dev/ and mtab before releasing the
// lock. Lock files are opened per
// call, so threads of one process exclude each other as processes do.
//
// Configuration area: sectors capacity-32 .. capacity-27 of the image, i.e. the first six of
// the 32 reserved sectors at the end of the disk.
#ifndef KEL_SIM_SIM_FOLDER_H
#define KEL_SIM_SIM_FOLDER_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sim/sim_state.h"

// Partition numbers (1..4) of the MBR in `sector0`: primary entries with a non-zero type,
// none without the 0x55AA signature.
std::vector<int> KelSimMbrPartitions(const unsigned char* sector0);

class KelSimFolder {
 public:
  explicit KelSimFolder(std::string dir);

  const std::string& Dir() const { return m_dir; }
  std::string DevDir() const { return m_dir + "/dev"; }
  std::string MtabPath() const { return m_dir + "/mtab"; }
  std::string ImagePath(const std::string& disk) const;

  // Makes the folder (and the folder itself when missing) with `initial` as its state.
  // Refuses a folder that already holds a state file.
  bool Create(const KelSimState& initial, std::string* err);

  // The action sees the current state; it returns false with `err` filled to fail the
  // operation (the state is then not written), and sets *dirty when it changed the state.
  using Action = std::function<bool(KelSimState& s, bool* dirty, std::string* err)>;

  // Runs `fn` atomically with respect to every other Transact on the same folder, from any
  // thread or process. Returns false with `err` filled when the folder cannot be locked or
  // read, or when `fn` fails.
  bool Transact(const Action& fn, std::string* err) const;

  // Image access, for use inside an action only (the folder lock must be held). Sector
  // numbers are absolute on the image; the caller keeps within the capacity.
  bool CreateImage(const KelSimDisk& d, std::string* err) const;
  bool ReadSectors(const KelSimDisk& d, uint64_t sector, uint64_t count, unsigned char* out,
                   std::string* err) const;
  bool WriteSectors(const KelSimDisk& d, uint64_t sector, uint64_t count,
                    const unsigned char* data, std::string* err) const;

  // First sector of the disk's configuration area.
  static uint64_t AreaSector(const KelSimDisk& d) { return d.capacity - kSimReservedSectors; }

 private:
  bool Load(KelSimState* s, std::string* err) const;
  bool Save(const KelSimState& s, std::string* err) const;
  void RefreshDevices(const KelSimState& s) const;
  void RefreshMtab(const KelSimState& s) const;

  const std::string m_dir;  // constant after construction
};

#endif
