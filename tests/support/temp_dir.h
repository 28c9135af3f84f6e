// A temporary folder for one test: created under $TMPDIR (or /tmp) and removed with
// everything in it when the object goes. Its name carries the creating process's id, so the
// first folder a test program makes also removes the folders of test programs that were
// stopped before they could clean up (killed by a time limit, interrupted).
#ifndef KEL_TESTS_SUPPORT_TEMP_DIR_H
#define KEL_TESTS_SUPPORT_TEMP_DIR_H

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace kel_test {

inline std::string TempRoot() {
  const char* dir = std::getenv("TMPDIR");
  return dir != nullptr && dir[0] != '\0' ? dir : "/tmp";
}

// Removes kel-test-PID-* folders whose process is gone. Runs once per test program.
inline void SweepStaleTempDirs() {
  static bool swept = false;
  if (swept) return;
  swept = true;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(TempRoot(), ec)) {
    std::string name = entry.path().filename().string();
    if (name.rfind("kel-test-", 0) != 0) continue;
    long pid = std::strtol(name.c_str() + 9, nullptr, 10);
    if (pid <= 0 || pid == getpid()) continue;
    if (kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    std::error_code rm;
    std::filesystem::remove_all(entry.path(), rm);
  }
}

class TempDir {
 public:
  TempDir() {
    SweepStaleTempDirs();
    std::string tmpl = TempRoot() + "/kel-test-" + std::to_string(getpid()) + "-XXXXXX";
    if (mkdtemp(tmpl.data()) != nullptr) m_path = tmpl;
  }
  ~TempDir() {
    std::error_code ec;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // Empty when the folder could not be made.
  const std::string& path() const { return m_path; }
  std::string File(const std::string& name) const { return m_path + "/" + name; }

 private:
  std::string m_path;
};

}  // namespace kel_test

#endif
