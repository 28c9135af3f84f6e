// The simulated controller's folder: locking, the state file, disk images, the device
// folder and the mount table (layout in sim_folder.h).
#include "sim/sim_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "sharedlib/atomic_file.h"
#include "sim/sim_volume_ops.h"

namespace {

std::string Errno(const std::string& what) { return what + ": " + std::strerror(errno); }

bool ReadWholeFile(const std::string& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream ss;
  ss << in.rdbuf();
  *out = ss.str();
  return true;
}

// Releases the folder lock when the transaction ends, however it ends.
class FolderLock {
 public:
  explicit FolderLock(const std::string& path) {
    m_fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (m_fd < 0) return;
    while (flock(m_fd, LOCK_EX) != 0) {
      if (errno != EINTR) {
        close(m_fd);
        m_fd = -1;
        return;
      }
    }
  }
  ~FolderLock() {
    if (m_fd >= 0) close(m_fd);  // closing the only descriptor drops the lock
  }
  bool Held() const { return m_fd >= 0; }

 private:
  int m_fd = -1;
};

}  // namespace

std::vector<int> KelSimMbrPartitions(const unsigned char* sector0) {
  std::vector<int> parts;
  if (sector0[510] != 0x55 || sector0[511] != 0xAA) return parts;
  for (int i = 0; i < 4; ++i)
    if (sector0[446 + 16 * i + 4] != 0) parts.push_back(i + 1);
  return parts;
}

KelSimFolder::KelSimFolder(std::string dir) : m_dir(std::move(dir)) {}

std::string KelSimFolder::ImagePath(const std::string& disk) const {
  return m_dir + "/disks/" + disk + ".img";
}

bool KelSimFolder::Create(const KelSimState& initial, std::string* err) {
  if (mkdir(m_dir.c_str(), 0777) != 0 && errno != EEXIST) {
    *err = Errno("cannot create folder " + m_dir);
    return false;
  }
  for (const char* sub : {"/dev", "/disks"}) {
    std::string p = m_dir + sub;
    if (mkdir(p.c_str(), 0777) != 0 && errno != EEXIST) {
      *err = Errno("cannot create folder " + p);
      return false;
    }
  }
  FolderLock lock(m_dir + "/lock");
  if (!lock.Held()) {
    *err = Errno("cannot lock " + m_dir);
    return false;
  }
  struct stat st;
  if (stat((m_dir + "/state").c_str(), &st) == 0) {
    *err = "folder " + m_dir + " already holds a simulated controller";
    return false;
  }
  if (!Save(initial, err)) return false;
  RefreshDevices(initial);
  RefreshMtab(initial);
  return true;
}

bool KelSimFolder::Transact(const Action& fn, std::string* err) const {
  FolderLock lock(m_dir + "/lock");
  if (!lock.Held()) {
    *err = errno == ENOENT ? "no simulated controller in " + m_dir + " (run init first)"
                           : Errno("cannot lock " + m_dir);
    return false;
  }
  KelSimState s;
  if (!Load(&s, err)) return false;
  bool dirty = false;
  bool ok = fn(s, &dirty, err);
  if (ok && dirty && !Save(s, err)) ok = false;
  // Refreshed even after a failed action: it may have written to an image before failing.
  RefreshDevices(s);
  RefreshMtab(s);
  return ok;
}

bool KelSimFolder::Load(KelSimState* s, std::string* err) const {
  std::string text;
  if (!ReadWholeFile(m_dir + "/state", &text)) {
    *err = "no simulated controller in " + m_dir + " (run init first)";
    return false;
  }
  return KelSimParse(text, s, err);
}

bool KelSimFolder::Save(const KelSimState& s, std::string* err) const {
  std::string text = KelSimSerialize(s);
  // Rewritten by nearly every sub-command of a background task; the rename keeps it whole
  // for the other process, and a simulator has no power cut to survive.
  if (!KelReplaceFile((m_dir + "/state").c_str(), text.data(), text.size(), 0644,
                      KelReplaceDurability::kRenameOnly)) {
    *err = Errno("cannot write " + m_dir + "/state");
    return false;
  }
  return true;
}

bool KelSimFolder::CreateImage(const KelSimDisk& d, std::string* err) const {
  std::string path = ImagePath(d.name);
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    *err = Errno("cannot create " + path);
    return false;
  }
  bool ok = ftruncate(fd, static_cast<off_t>(d.capacity * kSimSectorSize)) == 0;
  if (!ok) *err = Errno("cannot size " + path);
  close(fd);
  return ok;
}

bool KelSimFolder::ReadSectors(const KelSimDisk& d, uint64_t sector, uint64_t count,
                               unsigned char* out, std::string* err) const {
  std::string path = ImagePath(d.name);
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *err = Errno("cannot open " + path);
    return false;
  }
  size_t want = count * kSimSectorSize;
  ssize_t got = pread(fd, out, want, static_cast<off_t>(sector * kSimSectorSize));
  close(fd);
  if (got < 0) {
    *err = Errno("cannot read " + path);
    return false;
  }
  // A short read can only be past the end of a shrunk image: it reads as zeros.
  std::memset(out + got, 0, want - static_cast<size_t>(got));
  return true;
}

bool KelSimFolder::WriteSectors(const KelSimDisk& d, uint64_t sector, uint64_t count,
                                const unsigned char* data, std::string* err) const {
  std::string path = ImagePath(d.name);
  int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) {
    *err = Errno("cannot open " + path);
    return false;
  }
  size_t want = count * kSimSectorSize;
  ssize_t put = pwrite(fd, data, want, static_cast<off_t>(sector * kSimSectorSize));
  close(fd);
  if (put != static_cast<ssize_t>(want)) {
    *err = Errno("cannot write " + path);
    return false;
  }
  return true;
}

void KelSimFolder::RefreshDevices(const KelSimState& s) const {
  std::set<std::string> want;
  for (const auto& d : s.disks) {
    if (!d.Attached()) continue;
    want.insert(d.name);
    unsigned char sector0[kSimSectorSize];
    std::string ignored;
    if (d.capacity > 0 && ReadSectors(d, 0, 1, sector0, &ignored))
      for (int p : KelSimMbrPartitions(sector0)) want.insert(d.name + std::to_string(p));
  }
  want.merge(KelSimVolumeNodes(*this, s));
  std::set<std::string> have;
  std::string dev = DevDir();
  if (DIR* dir = opendir(dev.c_str())) {
    while (dirent* e = readdir(dir))
      if (e->d_name[0] != '.') have.insert(e->d_name);
    closedir(dir);
  }
  for (const auto& n : have)
    if (!want.count(n)) unlink((dev + "/" + n).c_str());
  for (const auto& n : want) {
    if (have.count(n)) continue;
    int fd = open((dev + "/" + n).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) close(fd);
  }
}

void KelSimFolder::RefreshMtab(const KelSimState& s) const {
  std::string text = "proc /proc proc rw,nosuid,nodev,noexec,relatime 0 0\n";
  const KelSimDisk* root = s.root.empty() ? nullptr : s.FindDisk(s.root);
  if (root && root->Attached()) text = "/dev/" + root->name + "1 / ext4 rw,relatime 0 0\n" + text;
  std::string old;
  if (ReadWholeFile(MtabPath(), &old) && old == text) return;
  KelReplaceFile(MtabPath().c_str(), text.data(), text.size(), 0644,
                 KelReplaceDurability::kRenameOnly);
}
