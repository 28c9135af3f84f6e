// kelsrv: the RAID management service. See service/core/supervisor.h for how it runs and
// stops.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "service/core/driver_setup.h"
#include "service/core/supervisor.h"

namespace {

void Usage(FILE* out) {
  fputs("usage: kelsrv [CONFIG] [--sim DIR]\n"
        "\n"
        "Runs the RAID management service: a supervising process and a working process that\n"
        "serves management clients. CONFIG is the configuration file (default: kel.config in\n"
        "the working folder); it is created with default settings when missing.\n"
        "\n"
        "  --sim DIR   talk to the simulated controller kept in DIR (see kelsim) instead of\n"
        "              the host's RAID driver; the environment variable KEL_SIM_DIR does the\n"
        "              same. The option may stand before or after CONFIG.\n"
        "  --help      show this text\n"
        "\n"
        "Stop: Ctrl-C, or SIGTERM or SIGRTMIN+1 to the supervising process (kill PID,\n"
        "kill -s RTMIN+1 PID).\n",
        out);
}

}  // namespace

int main(int argc, char** argv) {
  const char* config = nullptr;
  const char* simDir = getenv("KEL_SIM_DIR");
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0) {
      Usage(stdout);
      return 0;
    }
    if (strcmp(argv[i], "--sim") == 0) {
      if (i + 1 >= argc) {
        fputs("kelsrv: --sim needs a folder\n", stderr);
        return 2;
      }
      simDir = argv[++i];
    } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
      fprintf(stderr, "kelsrv: unknown option %s\n", argv[i]);
      Usage(stderr);
      return 2;
    } else if (config == nullptr) {
      config = argv[i];
    } else {
      fprintf(stderr, "kelsrv: more than one configuration file given (%s)\n", argv[i]);
      return 2;
    }
  }
  if (simDir != nullptr && simDir[0] != '\0') KelSetSimDir(simDir);
  CreateChild(1, config != nullptr ? config : "kel.config");
  return 0;
}
