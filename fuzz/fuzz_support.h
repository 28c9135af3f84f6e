// Start-up shared by the fuzz targets.
#ifndef KEL_FUZZ_FUZZ_SUPPORT_H
#define KEL_FUZZ_FUZZ_SUPPORT_H

#include <cstdio>
#include <cstdlib>
#include <string>

// The service prints a line for most refusals; its diagnostics go to /dev/null unless
// KEL_FUZZ_VERBOSE is set. False when standard output cannot be redirected.
inline bool KelFuzzQuietStdout() {
  return getenv("KEL_FUZZ_VERBOSE") != nullptr || freopen("/dev/null", "w", stdout) != nullptr;
}

// A new folder $TMPDIR/kel-<tag>-XXXXXX (or under /tmp); empty when it cannot be made.
inline std::string KelFuzzTempDir(const char* tag) {
  const char* tmp = getenv("TMPDIR");
  std::string path = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/kel-" + tag +
                     "-XXXXXX";
  return mkdtemp(path.data()) != nullptr ? path : std::string();
}

#endif
