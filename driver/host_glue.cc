// Host glue: module names from the driver configuration file, module removal and loading
// through the host's module tools, reboot, and the root device from the mount table.
// The module list and the paths record are touched only by the single command worker (the
// driver-reload request) and by start-up, never concurrently, so they carry no lock.
#include "driver/host_glue.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "sharedlib/diag.h"

namespace {

KelHostPaths g_paths;
std::vector<std::string> g_moduleNames{"ZKELLDC"};
void (*g_sleep)(unsigned int) = [](unsigned int s) { sleep(s); };

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool EndsToken(char c) {
  return c == '\0' || c == ' ' || c == '\t' || c == ':' || c == '#' || c == '\n' || c == '\r';
}

// Adds the value of a "raid_driver" line to `names`. The key comparison covers the key's own
// characters (at most 12) against "raid_driver" with its terminating zero, so leading parts
// of the key name match and keys of 12 or more characters never do.
void ParseConfLine(const char* line, std::vector<std::string>* names) {
  const char* p = line;
  while (IsBlank(*p)) ++p;
  if (*p == '\0' || *p == '#' || *p == '\n') return;
  const char* key = p;
  while (!EndsToken(*p)) ++p;
  size_t keyLen = static_cast<size_t>(p - key);
  while (IsBlank(*p)) ++p;
  if (*p == ':') {
    ++p;
    while (IsBlank(*p)) ++p;
  }
  const char* value = p;
  while (!EndsToken(*p)) ++p;
  size_t valueLen = static_cast<size_t>(p - value);

  static const char kKey[] = "raid_driver";  // 12 bytes with the terminator
  size_t cmpLen = keyLen < sizeof(kKey) ? keyLen : sizeof(kKey);
  if (memcmp(key, kKey, cmpLen) != 0 || keyLen >= sizeof(kKey)) return;
  if (valueLen == 0 || names->size() >= KEL_MAX_MODULE_NAMES) return;
  names->emplace_back(value, valueLen);
}

// In a forked child: points standard output and error at the null device, reporting (to
// wherever they still go) when that fails, and carries on regardless.
void ChildToDevNull(const char* devnull) {
  int fd = open(devnull, O_WRONLY);
  if (fd < 0) {
    dprintf(STDERR_FILENO, "open /dev/null failed\n: %s\n", strerror(errno));
    return;
  }
  if (dup2(fd, STDOUT_FILENO) < 0 || dup2(fd, STDERR_FILENO) < 0)
    dprintf(STDERR_FILENO, "dup2: %s\n", strerror(errno));
  close(fd);
}

// Runs `program` with `arg` (may be null) as argv[1] and waits for it. False when the fork
// fails (after the system error).
bool RunTool(const std::string& program, const char* argv0, const char* arg,
             const std::string& progress) {
  pid_t pid = fork();
  if (pid < 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "fork: %s\n", strerror(errno));
    return false;
  }
  if (pid == 0) {
    ChildToDevNull(g_paths.devnull.c_str());
    if (!progress.empty()) dprintf(STDOUT_FILENO, "%s", progress.c_str());
    execl(program.c_str(), argv0, arg, static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return true;
}

// The kernel shows the root device as "/dev/root" when it mounted it itself; no node of
// that name exists for the driver to be asked through.
constexpr char kRootAlias[] = "/dev/root";

// root= of the kernel command line when it names a device node; "" otherwise (UUID=,
// LABEL= and the like are left to the device-number lookup).
std::string RootFromCmdline() {
  std::ifstream in(g_paths.cmdline);
  std::string word;
  while (in >> word)
    if (word.rfind("root=/dev/", 0) == 0 && word != std::string("root=") + kRootAlias)
      return word.substr(5);
  return "";
}

// The block device holding the root folder: its device numbers name an entry of the
// block-device folder, a link whose last component is the device's name.
std::string RootFromDeviceNumbers() {
  struct stat st {};
  if (stat(g_paths.rootDir.c_str(), &st) != 0) return "";
  const std::string entry = g_paths.sysDevBlock + "/" + std::to_string(major(st.st_dev)) + ":" +
                            std::to_string(minor(st.st_dev));
  char target[4096];
  ssize_t n = readlink(entry.c_str(), target, sizeof(target) - 1);
  if (n <= 0) return "";
  std::string link(target, static_cast<size_t>(n));
  std::string name = link.substr(link.rfind('/') + 1);
  return name.empty() ? "" : "/dev/" + name;
}

std::string ResolveRootAlias() {
  std::string dev = RootFromCmdline();
  if (dev.empty()) dev = RootFromDeviceNumbers();
  if (dev.empty())
    KEL_PRINT(ZEP_DBG_ERROR, "GetLinuxDirectory: cannot tell which device %s is\n", kRootAlias);
  return dev;
}

}  // namespace

KelHostPaths& KelHostGluePaths() { return g_paths; }

void KelHostGlueSetSleep(void (*sleepFn)(unsigned int seconds)) { g_sleep = sleepFn; }

int cli_init_module_names() {
  std::vector<std::string> names;
  FILE* f = fopen(g_paths.conf.c_str(), "r");
  if (f == nullptr) {
    if (errno != ENOENT)
      KEL_PRINT(ZEP_DBG_ERROR, "Open config file of zepraid: %s\n", strerror(errno));
  } else {
    char line[8192];
    while (fgets(line, sizeof(line), f) != nullptr) ParseConfLine(line, &names);
    fclose(f);
  }
  if (names.empty()) {
    g_moduleNames = {"ZKELLDC"};
    return 0;
  }
  g_moduleNames = names;
  return static_cast<int>(names.size());
}

std::vector<std::string> cli_module_names() { return g_moduleNames; }

int cli_check_raid_mod(const char* name) {
  FILE* f = fopen(g_paths.modules.c_str(), "r");
  if (f == nullptr) {
    KEL_PRINT(ZEP_DBG_ERROR, "open file: %s\n", strerror(errno));
    return 0;
  }
  size_t len = strlen(name);
  char line[1024];
  int result = -1;
  while (fgets(line, sizeof(line), f) != nullptr) {
    if (strncmp(line, name, len) != 0 || line[len] != ' ') continue;
    char mod[1024];
    int size = 0, used = 0;
    result = sscanf(line, "%1023s %d %d", mod, &size, &used) == 3 ? used : 0;
    break;
  }
  fclose(f);
  return result;
}

int cli_uninstall_module() {
  int result = 1;
  for (const std::string& name : g_moduleNames) {
    if (!RunTool(g_paths.rmmod, "rmmod", name.c_str(), "Start to Remove driver: " + name))
      return 0;
    if (cli_check_raid_mod(name.c_str()) != -1) {
      KEL_PRINT(ZEP_DBG_ERROR, "Remove driver failed: %s\n", name.c_str());
      result = 0;
    }
  }
  return result;
}

int cli_install_module() {
  bool anyLoaded = false;
  for (const std::string& name : g_moduleNames) {
    bool loaded = cli_check_raid_mod(name.c_str()) >= 0;
    if (!loaded) {
      if (!RunTool(g_paths.modprobe, "modprobe", name.c_str(), "Start to load driver: " + name))
        return 0;
      g_sleep(1);
      loaded = cli_check_raid_mod(name.c_str()) >= 0;
    }
    anyLoaded = anyLoaded || loaded;
  }
  g_sleep(1);
  if (anyLoaded) return 1;
  KEL_PRINT(ZEP_DBG_ERROR, "Load driver failed: \n");
  return 0;
}

int TarvoRebootOS() {
  return RunTool(g_paths.reboot, "reboot", nullptr, std::string()) ? 1 : 0;
}

int GetLinuxDirectory(char* device, int size) {
  FILE* f = fopen(g_paths.mtab.c_str(), "r");
  if (f == nullptr) {
    KEL_PRINT(ZEP_DBG_ERROR,
              "GetLinuxDirectory: Can not open mount table </etc/mtab>. Pls check your OS\n");
    return 0;
  }
  // Only the mount point decides: a device remembered from an earlier line (a /boot line
  // before the root line) names the wrong disk.
  std::string root;
  char line[1024];
  while (fgets(line, sizeof(line), f) != nullptr) {
    char* save = nullptr;
    const char* dev = strtok_r(line, " \t\r\n", &save);
    const char* dir = dev != nullptr ? strtok_r(nullptr, " \t\r\n", &save) : nullptr;
    if (dir != nullptr && strcmp(dir, "/") == 0 && strncmp(dev, "/dev/", 5) == 0) root = dev;
  }
  fclose(f);
  if (root == kRootAlias) root = ResolveRootAlias();
  if (root.empty()) return 0;
  if (size > 0) {
    size_t n = root.size() < static_cast<size_t>(size - 1) ? root.size()
                                                           : static_cast<size_t>(size - 1);
    memcpy(device, root.data(), n);
    device[n] = '\0';
  }
  return 1;
}
