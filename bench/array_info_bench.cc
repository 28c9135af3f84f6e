// Array-info queries per second through the client library, as a C++ caller makes them:
// one logged-in command connection, the same query again and again for a few seconds. The
// PHP half of the comparison (bench/array_info_loop.php) makes the same calls through
// volmod; bench/volmod_overhead.sh runs both against one service.
//
// Usage: array_info_bench PORT ARRAY [SECONDS]   (password from KEL_PASSWORD, user admin)
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "webext/client/client_raid_query.h"
#include "webext/client/kelclient.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: array_info_bench PORT ARRAY [SECONDS]\n");
    return 2;
  }
  const auto port = static_cast<unsigned short>(std::atoi(argv[1]));
  const auto array = static_cast<unsigned char>(std::atoi(argv[2]));
  const double seconds = argc > 3 ? std::atof(argv[3]) : 3.0;
  const char* password = std::getenv("KEL_PASSWORD");

  CLIENT_INFO ci;
  ClientInfoInit(&ci);
  int rc = ZepSockInit();
  if (rc == 0) rc = OpenConnect(&ci, "127.0.0.1", port);
  if (rc == 0) rc = UserLogin(&ci, "admin", password != nullptr ? password : "");
  if (rc != 0) {
    std::fprintf(stderr, "array_info_bench: no session (%d)\n", rc);
    return 1;
  }
  using Clock = std::chrono::steady_clock;
  const auto until = Clock::now() + std::chrono::duration<double>(seconds);
  const auto start = Clock::now();
  long calls = 0;
  _zr_array_info info;
  while (Clock::now() < until) {
    rc = KelGetArrayInfo(ci.nCmdSock, array, &info);
    if (rc != 0) {
      std::fprintf(stderr, "array_info_bench: query failed (%d)\n", rc);
      return 1;
    }
    ++calls;
  }
  const double took = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("c++ %ld calls in %.2f s: %.0f calls/s\n", calls, took, calls / took);
  CloseConnect(&ci);
  return 0;
}
