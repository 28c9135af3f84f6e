// Crash-safe whole-file replacement: temporary file, fsync, rename, fsync of the folder.
// rename(2) within one file system is atomic, so the target name always refers to either
// the complete old file or the complete new one.
#include "sharedlib/atomic_file.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <string>

namespace {

// Distinguishes temporary files of threads of one process; the pid separates processes.
std::atomic<unsigned> g_tempCounter{0};

// A symbolic link is followed so that the file it names is replaced, not the link itself.
std::string ResolveTarget(const char* path) {
  struct stat st;
  if (lstat(path, &st) == 0 && S_ISLNK(st.st_mode)) {
    char resolved[PATH_MAX];
    if (realpath(path, resolved) != nullptr) return resolved;
  }
  return path;
}

std::string FolderOf(const std::string& path) {
  std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool WriteAll(int fd, const unsigned char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// Opens a fresh temporary file next to `target`; O_EXCL guarantees it is ours alone.
int OpenTemp(const std::string& target, mode_t mode, std::string* tempPath) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    *tempPath = target + ".tmp." + std::to_string(getpid()) + "." +
                std::to_string(g_tempCounter.fetch_add(1, std::memory_order_relaxed));
    int fd = open(tempPath->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;  // errno is still EEXIST
}

// Flushing the folder makes the rename itself durable. The new contents are already in
// place when this runs, so a failure here cannot be undone and is not reported.
void SyncFolder(const std::string& folder) {
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

}  // namespace

bool KelReplaceFile(const char* path, const void* data, std::size_t size, mode_t newFileMode,
                    KelReplaceDurability durability) {
  const bool flush = durability == KelReplaceDurability::kFlushed;
  if (path == nullptr || *path == '\0' || (data == nullptr && size != 0)) {
    errno = EINVAL;
    return false;
  }
  const std::string target = ResolveTarget(path);

  struct stat old;
  const bool replacing = stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);

  // The temporary file starts private, so the new contents are never readable by more
  // users than the file they replace; it takes the old file's mode below.
  std::string temp;
  int fd = OpenTemp(target, replacing ? 0600 : newFileMode, &temp);
  if (fd < 0) return false;

  bool ok = true;
  if (replacing) {
    // Handing the file back to its owner needs privilege; without it the replacement
    // belongs to the writer, which an in-place rewrite would not do. That is accepted, so
    // the result is not checked.
    if (old.st_uid != geteuid() || old.st_gid != getegid()) {
      int ignored = fchown(fd, old.st_uid, old.st_gid);
      (void)ignored;
    }
    ok = fchmod(fd, old.st_mode & 07777) == 0;
  }
  ok = ok && WriteAll(fd, static_cast<const unsigned char*>(data), size) && (!flush || fsync(fd) == 0);

  int saved = errno;
  if (close(fd) != 0 && ok) {
    ok = false;
    saved = errno;
  }
  if (ok && rename(temp.c_str(), target.c_str()) != 0) {
    ok = false;
    saved = errno;
  }
  if (!ok) {
    unlink(temp.c_str());
    errno = saved;
    return false;
  }
  if (flush) SyncFolder(FolderOf(target));
  return true;
}
