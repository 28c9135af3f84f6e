// kelsrv: the RAID management service. See service/core/supervisor.h for how it runs and
// stops.
#include <cstdio>
#include <cstring>

#include "service/core/supervisor.h"

namespace {
void Usage() {
  puts("usage: kelsrv [CONFIG]\n"
       "\n"
       "Runs the RAID management service: a supervising process and a working process that\n"
       "serves management clients. CONFIG is the configuration file (default: kel.config in\n"
       "the working folder); it is created with default settings when missing.\n"
       "\n"
       "Stop: Ctrl-C, or SIGRTMIN+1 to the supervising process (kill -s RTMIN+1 PID).");
}
}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
    Usage();
    return 0;
  }
  CreateChild(1, argc > 1 ? argv[1] : "kel.config");
  return 0;
}
