// The stored session's file: where it lives, its text, and reading and writing it safely.
#include "tools/kelctl/kelctl_session.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "webext/client/client_codes.h"

namespace {

constexpr size_t kMaxIdDigits = 11;
constexpr size_t kMaxFileBytes = 4096;

bool NonEmpty(const char* value) { return value != nullptr && *value != '\0'; }

std::string SafeName(const std::string& host) {
  std::string out;
  for (unsigned char c : host)
    out += (isalnum(c) != 0 || c == '.' || c == '-') ? static_cast<char>(c) : '_';
  return out;
}

std::string Folder(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

// Creates every missing folder of `dir`, the new ones with mode 0700.
bool MakeFolders(const std::string& dir, std::string* error) {
  for (size_t pos = 1; pos <= dir.size(); ++pos) {
    if (pos != dir.size() && dir[pos] != '/') continue;
    std::string part = dir.substr(0, pos);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      *error = "cannot create " + part + ": " + strerror(errno);
      return false;
    }
  }
  return true;
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::string KelctlSessionPath(const KelctlEnvLookup& env, const std::string& host,
                              unsigned short port) {
  std::string dir;
  if (const char* runtime = env("XDG_RUNTIME_DIR"); NonEmpty(runtime))
    dir = std::string(runtime) + "/kelctl";
  else if (const char* home = env("HOME"); NonEmpty(home))
    dir = std::string(home) + "/.cache/kelctl";
  else
    return "";
  return dir + "/session-" + SafeName(host) + "-" + std::to_string(port);
}

std::string FormatKelctlSession(const KelctlSession& session) {
  return session.clientId + " " + session.user + "\n";
}

bool ParseKelctlSession(const std::string& text, KelctlSession* out) {
  size_t space = text.find(' ');
  if (space == std::string::npos || space == 0 || space > kMaxIdDigits) return false;
  if (text.empty() || text.back() != '\n') return false;
  std::string id = text.substr(0, space);
  std::string user = text.substr(space + 1, text.size() - space - 2);
  if (id.find_first_not_of("0123456789") != std::string::npos) return false;
  if (user.empty() || user.find_first_of("\n ") != std::string::npos) return false;
  out->clientId = id;
  out->user = user;
  return true;
}

bool LoadKelctlSession(const std::string& path, KelctlSession* out, std::string* error) {
  int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    if (errno != ENOENT) *error = "cannot read " + path + ": " + strerror(errno);
    return false;
  }
  struct stat st {};
  char buf[kMaxFileBytes];
  ssize_t n = -1;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() &&
      (st.st_mode & 077) == 0)
    n = read(fd, buf, sizeof(buf));
  else
    *error = path + " is not a private file of this user; it is ignored";
  close(fd);
  if (n < 0) {
    if (error->empty()) *error = "cannot read " + path + ": " + strerror(errno);
    return false;
  }
  if (!ParseKelctlSession(std::string(buf, static_cast<size_t>(n)), out)) {
    *error = path + " does not hold a session; it is ignored";
    return false;
  }
  return true;
}

bool StoreKelctlSession(const std::string& path, const KelctlSession& session,
                        std::string* error) {
  if (!MakeFolders(Folder(path), error)) return false;
  // Written beside the file and renamed over it, so a reader never sees half a file.
  const std::string temp = path + ".new";
  unlink(temp.c_str());
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    *error = "cannot create " + temp + ": " + strerror(errno);
    return false;
  }
  bool ok = fchmod(fd, 0600) == 0 && WriteAll(fd, FormatKelctlSession(session));
  ok = close(fd) == 0 && ok;
  if (!ok || rename(temp.c_str(), path.c_str()) != 0) {
    *error = "cannot write " + path + ": " + strerror(errno);
    unlink(temp.c_str());
    return false;
  }
  return true;
}

bool RemoveKelctlSession(const std::string& path, std::string* error) {
  if (unlink(path.c_str()) == 0 || errno == ENOENT) return true;
  *error = "cannot remove " + path + ": " + strerror(errno);
  return false;
}

bool KelctlSessionEnded(int code) { return code == 1 || code == KEL_SERVICE_NO_SESSION; }
