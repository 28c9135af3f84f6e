// kelctl: command-line client of kelsrv. The client library prints its diagnostic lines
// on standard output; they are sent to /dev/null (or to stderr with --verbose) so that
// standard output carries only kelctl's own results, which go to a saved copy of it.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/kelctl/kelctl_app.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);

  fflush(stdout);
  int results = dup(STDOUT_FILENO);
  int diagnostics = KelctlWantsDiagnostics(args) ? dup(STDERR_FILENO) : open("/dev/null", O_WRONLY);
  if (results < 0 || diagnostics < 0 || dup2(diagnostics, STDOUT_FILENO) < 0) {
    perror("kelctl: cannot set up output");
    return kKelctlExitFailed;
  }
  close(diagnostics);

  auto writeResults = [results](const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
      ssize_t n = write(results, text.data() + done, text.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
  };
  std::string out, err;
  const bool terminal = isatty(results) == 1;
  int status = KelctlMain(
      args, [](const char* name) -> const char* { return getenv(name); }, PromptWithoutEcho,
      &out, &err, writeResults, terminal);
  fflush(stdout);
  writeResults(out);
  fputs(err.c_str(), stderr);
  return status;
}
