// pipeline_load: load on the command pipeline of a real kelsrv. It starts the service in a
// temporary folder on free loopback ports, logs sessions in as "guest" (a user that may
// hold several sessions), and has every session issue the test command (code 255,
// sub-code 9: a 10-byte request, a 128-byte reply) back to back on its own thread. A plain
// TCP server inside this tool that answers the same request with the same reply bytes is
// the baseline: what loopback TCP and the client threads alone cost on this machine.
//
// A single-connection phase always runs first, then the N-session phase (unless N is 1).
// Readable lines go to stdout, the last line is one JSON object for scripts. Exit status:
// 0 when every phase ran without a protocol error, 1 otherwise, 2 on a usage error or when
// the tool's own time limit ended it.
//
//   pipeline_load [--sessions N] [--seconds S] [--single-seconds T] [--kelsrv PATH]
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sharedlib/packet.h"
#include "tests/process/raw_client.h"
#include "tests/process/service_harness.h"

namespace {

using Clock = std::chrono::steady_clock;
using kel_test::RawClient;

constexpr int kMaxSessions = 10;  // the service's limit of sessions
// Targets: replies per second with all ten sessions busy, and the single-connection p50
// against the baseline's.
constexpr double kTargetRate = 20000;
constexpr double kTargetP50Ratio = 3.0;
constexpr unsigned char kLocalCode = 255;
constexpr unsigned char kTestSubCode = 9;
constexpr unsigned short kTestReplyPayload = 119;
constexpr int kReplyTimeoutMs = 5000;  // one missing reply ends that client
constexpr int kStartLimitS = 15;
constexpr int kStopLimitS = 30;

struct Options {
  int sessions = 10;
  int seconds = 10;
  int singleSeconds = -1;  // -1: min(seconds, 5)
  std::string kelsrv = KELSRV_BIN;
};

// The request and the exact reply of the test command, built once.
struct Exchange {
  unsigned char request[1 + kPacketOverhead];
  unsigned char reply[kTestReplyPayload + kPacketOverhead];
  Exchange() {
    const unsigned char sub = kTestSubCode;
    AssemblePacket(kLocalCode, &sub, 1, request);
    unsigned char payload[kTestReplyPayload] = {};
    payload[0] = kTestSubCode;  // the sub-code is echoed, return code 0 follows
    payload[5] = 0;
    payload[6] = 112;  // the test reply announces 112 filler bytes
    AssemblePacket(kLocalCode, payload, sizeof(payload), reply);
  }
};
const Exchange kExchange;

struct PhaseResult {
  long replies = 0;
  double seconds = 0;
  double rate = 0;
  double p50us = 0;
  double p99us = 0;
  int errors = 0;
};

bool SendAll(int fd, const unsigned char* buf, size_t len) {
  while (len > 0) {
    ssize_t n = send(fd, buf, len, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    buf += n;
    len -= static_cast<size_t>(n);
  }
  return true;
}

// Reads exactly `len` bytes, each wait at most `timeoutMs`.
bool RecvAll(int fd, unsigned char* buf, size_t len, int timeoutMs) {
  while (len > 0) {
    pollfd p{fd, POLLIN, 0};
    int ready = poll(&p, 1, timeoutMs);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    ssize_t n = recv(fd, buf, len, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    buf += n;
    len -= static_cast<size_t>(n);
  }
  return true;
}

// One client: the exchange back to back on `fd` until `end`; round-trip times in ns.
void ClientLoop(int fd, Clock::time_point end, std::vector<uint32_t>* samples, int* errors) {
  unsigned char reply[sizeof(kExchange.reply)];
  while (Clock::now() < end) {
    const Clock::time_point t0 = Clock::now();
    if (!SendAll(fd, kExchange.request, sizeof(kExchange.request)) ||
        !RecvAll(fd, reply, sizeof(reply), kReplyTimeoutMs)) {
      ++*errors;
      return;
    }
    const Clock::time_point t1 = Clock::now();
    if (memcmp(reply, kExchange.reply, sizeof(reply)) != 0) {
      ++*errors;  // the stream cannot be trusted any more
      return;
    }
    samples->push_back(static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(t1 - t0).count()));
  }
}

// Runs one client thread per descriptor for `seconds` and merges what they measured.
PhaseResult RunClients(const std::vector<int>& fds, int seconds) {
  std::vector<std::vector<uint32_t>> samples(fds.size());
  std::vector<int> errors(fds.size(), 0);
  std::vector<std::thread> threads;
  const Clock::time_point start = Clock::now();
  const Clock::time_point end = start + std::chrono::seconds(seconds);
  for (size_t i = 0; i < fds.size(); ++i) {
    samples[i].reserve(static_cast<size_t>(seconds) * 40000);
    threads.emplace_back(ClientLoop, fds[i], end, &samples[i], &errors[i]);
  }
  for (std::thread& t : threads) t.join();
  PhaseResult r;
  r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::vector<uint32_t> all;
  for (size_t i = 0; i < fds.size(); ++i) {
    all.insert(all.end(), samples[i].begin(), samples[i].end());
    r.errors += errors[i];
  }
  r.replies = static_cast<long>(all.size());
  r.rate = r.seconds > 0 ? static_cast<double>(r.replies) / r.seconds : 0;
  if (!all.empty()) {
    auto at = [&](double q) {
      size_t k = static_cast<size_t>(q * static_cast<double>(all.size() - 1));
      std::nth_element(all.begin(), all.begin() + static_cast<long>(k), all.end());
      return all[k] / 1000.0;
    };
    r.p50us = at(0.50);
    r.p99us = at(0.99);
  }
  return r;
}

// The baseline server: per connection, read a 10-byte request and answer the 128 bytes
// the service would.
class EchoServer {
 public:
  EchoServer() {
    m_listen = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(addr);
    if (m_listen < 0 || bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
        listen(m_listen, kMaxSessions) != 0 ||
        getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
      perror("echo server");
      return;
    }
    m_port = ntohs(addr.sin_port);
    m_acceptor = std::thread([this] { AcceptLoop(); });
  }
  ~EchoServer() {
    m_stop = true;
    if (m_acceptor.joinable()) m_acceptor.join();
    if (m_listen >= 0) close(m_listen);
    for (std::thread& t : m_servers) t.join();  // each ends when its client closes
  }
  int port() const { return m_port; }

 private:
  void AcceptLoop() {
    while (!m_stop) {
      pollfd p{m_listen, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      int fd = accept(m_listen, nullptr, nullptr);
      if (fd < 0) continue;
      m_servers.emplace_back([fd] {
        unsigned char request[sizeof(kExchange.request)];
        while (RecvAll(fd, request, sizeof(request), -1) &&
               SendAll(fd, kExchange.reply, sizeof(kExchange.reply))) {
        }
        close(fd);
      });
    }
  }

  int m_listen = -1;
  int m_port = -1;
  std::atomic<bool> m_stop{false};
  std::thread m_acceptor;
  std::vector<std::thread> m_servers;  // touched by the acceptor until it has been joined
};

// kelsrv in its own process group, working in a temporary folder, its output in a file.
class Service {
 public:
  Service(const std::string& binary, const kel_test::TempDir& dir) : m_dir(dir) {
    m_port = kel_test::FreePort();
    kel_test::WriteFile(dir.File("kel.config"), kel_test::TestConfig(dir.path(), m_port));
    prctl(PR_SET_CHILD_SUBREAPER, 1);  // the working process comes back to us if orphaned
    const std::string out = dir.File("kelsrv.out");
    const std::string config = dir.File("kel.config");
    // A simulated controller: the tool never reaches the host's disks.
    const std::string simDir = dir.File("sim");
    kel_test::MakeSimFolder(simDir);
    m_pid = fork();
    if (m_pid == 0) {
      setpgid(0, 0);
      setenv("KEL_SIM_DIR", simDir.c_str(), 1);
      int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      if (fd < 0 || chdir(dir.path().c_str()) != 0) _exit(127);
      dup2(fd, STDOUT_FILENO);
      dup2(fd, STDERR_FILENO);
      close(fd);
      execl(binary.c_str(), binary.c_str(), config.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    if (m_pid > 0) setpgid(m_pid, m_pid);
  }
  ~Service() { Kill(); }

  // Waits for the working process to report a finished start-up; false at once when the
  // supervising process ends first (a wrong path, a port taken).
  bool WaitStarted() {
    if (m_pid <= 0) return false;
    bool ended = false;
    const bool started = kel_test::WaitFor(
        [&] {
          ended = waitpid(m_pid, nullptr, WNOHANG) == m_pid;
          return ended || kel_test::ReadFile(m_dir.File("kel_init.log")) == "success\n";
        },
        std::chrono::seconds(kStartLimitS));
    if (ended) {
      Kill();  // whatever the group still holds
      return false;
    }
    return started;
  }

  // The orderly stop: SIGRTMIN+1 to the supervising process, then wait for the whole group.
  // Returns the seconds it took, or -1 when it had to be killed.
  double Stop() {
    if (m_pid <= 0) return -1;
    const Clock::time_point start = Clock::now();
    kill(m_pid, SIGRTMIN + 1);
    const bool ended = kel_test::WaitFor(
        [&] {
          while (waitpid(-1, nullptr, WNOHANG) > 0) {
          }
          return kill(-m_pid, 0) != 0;  // no process of the group is left
        },
        std::chrono::seconds(kStopLimitS));
    const double took = std::chrono::duration<double>(Clock::now() - start).count();
    if (!ended) {
      Kill();
      return -1;
    }
    m_pid = -1;
    return took;
  }

  // Last resort; safe from the watchdog thread.
  void Kill() {
    if (m_pid <= 0) return;
    kill(-m_pid, SIGKILL);
    while (waitpid(-1, nullptr, 0) > 0) {
    }
    m_pid = -1;
  }

  int port() const { return m_port; }
  std::string OutputTail() const {
    std::string out = kel_test::ReadFile(m_dir.File("kelsrv.out"));
    return out.size() > 2000 ? out.substr(out.size() - 2000) : out;
  }

 private:
  const kel_test::TempDir& m_dir;
  int m_port = -1;
  std::atomic<pid_t> m_pid{-1};
};

// Ends the tool when it runs past its own time limit, taking the service down with it.
class Watchdog {
 public:
  Watchdog(int limitS, const std::atomic<Service*>* service) {
    m_thread = std::thread([this, limitS, service] {
      std::unique_lock<std::mutex> hold(m_mutex);
      if (m_cv.wait_for(hold, std::chrono::seconds(limitS), [this] { return m_done; })) return;
      fprintf(stderr, "pipeline_load: time limit of %d s reached, stopping\n", limitS);
      if (Service* s = service->load(); s != nullptr) s->Kill();
      _exit(2);
    });
  }
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> hold(m_mutex);
      m_done = true;
    }
    m_cv.notify_one();
    m_thread.join();
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  bool m_done = false;  // guarded by m_mutex
  std::thread m_thread;
};

void PrintLine(const char* phase, const char* server, int clients, const PhaseResult& r) {
  printf(
      "%-6s %-6s clients=%-2d replies=%-8ld %.1f s  %9.0f replies/s  p50 %7.1f us  p99 %7.1f "
      "us%s\n",
      phase, server, clients, r.replies, r.seconds, r.rate, r.p50us, r.p99us,
      r.errors != 0 ? "  ERRORS" : "");
  fflush(stdout);
}

std::string Json(const PhaseResult& r) {
  char buf[256];
  snprintf(buf, sizeof(buf),
           "{\"replies\":%ld,\"seconds\":%.3f,\"replies_per_s\":%.1f,\"p50_us\":%.2f,"
           "\"p99_us\":%.2f,\"errors\":%d}",
           r.replies, r.seconds, r.rate, r.p50us, r.p99us, r.errors);
  return buf;
}

bool ParseInt(const char* text, int lo, int hi, int* out) {
  char* end = nullptr;
  long v = strtol(text, &end, 10);
  if (end == text || *end != '\0' || v < lo || v > hi) return false;
  *out = static_cast<int>(v);
  return true;
}

bool ParseArgs(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "--sessions" && hasValue && ParseInt(argv[++i], 1, kMaxSessions, &o->sessions))
      continue;
    if (a == "--seconds" && hasValue && ParseInt(argv[++i], 1, 600, &o->seconds)) continue;
    if (a == "--single-seconds" && hasValue && ParseInt(argv[++i], 1, 600, &o->singleSeconds))
      continue;
    if (a == "--kelsrv" && hasValue) {
      o->kelsrv = argv[++i];
      continue;
    }
    return false;
  }
  if (o->singleSeconds < 0) o->singleSeconds = std::min(o->seconds, 5);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  if (!ParseArgs(argc, argv, &opt)) {
    fprintf(stderr,
            "usage: pipeline_load [--sessions N (1-%d)] [--seconds S] [--single-seconds T] "
            "[--kelsrv PATH]\n",
            kMaxSessions);
    return 2;
  }
  signal(SIGPIPE, SIG_IGN);
  const bool twoPhases = opt.sessions > 1;
  const int measured = (opt.singleSeconds + (twoPhases ? opt.seconds : 0)) * 2;
  std::atomic<Service*> service{nullptr};
  Watchdog watchdog(measured + kStartLimitS + kStopLimitS + 30, &service);

  kel_test::TempDir dir;
  PhaseResult srvSingle, srvLoad, echoSingle, echoLoad;
  double stopSeconds = -1;
  bool ok = true;
  {
    Service srv(opt.kelsrv, dir);
    service = &srv;
    if (!srv.WaitStarted()) {
      fprintf(stderr, "pipeline_load: %s did not start\n%s\n", opt.kelsrv.c_str(),
              srv.OutputTail().c_str());
      service = nullptr;
      return 1;
    }
    std::vector<std::unique_ptr<RawClient>> clients;
    std::vector<int> fds;
    for (int i = 0; i < opt.sessions; ++i) {
      auto c = std::make_unique<RawClient>(srv.port());
      kel_test::Reply r = c->ok() ? c->Login("guest", "rovak") : kel_test::Reply{};
      if (r.result != 0 || r.RetCode() != 0) {
        fprintf(stderr, "pipeline_load: login %d failed (result %d, code %d)\n", i + 1, r.result,
                r.RetCode());
        ok = false;
        break;
      }
      fds.push_back(c->fd());
      clients.push_back(std::move(c));
    }
    if (ok) {
      srvSingle = RunClients({fds[0]}, opt.singleSeconds);
      PrintLine("single", "kelsrv", 1, srvSingle);
      if (twoPhases) {
        srvLoad = RunClients(fds, opt.seconds);
        PrintLine("load", "kelsrv", opt.sessions, srvLoad);
      }
    }
    clients.clear();
    stopSeconds = srv.Stop();
    if (stopSeconds < 0) fprintf(stderr, "pipeline_load: kelsrv did not stop; killed\n");
    service = nullptr;
    if (!ok) fprintf(stderr, "%s\n", srv.OutputTail().c_str());
  }
  if (!ok) return 1;

  {
    EchoServer echo;
    std::vector<int> fds;
    for (int i = 0; i < opt.sessions; ++i) {
      int fd = kel_test::ConnectLoopback(echo.port());
      if (fd < 0) {
        fprintf(stderr, "pipeline_load: cannot reach the echo server\n");
        ok = false;
        break;
      }
      fds.push_back(fd);
    }
    if (ok) {
      echoSingle = RunClients({fds[0]}, opt.singleSeconds);
      PrintLine("single", "echo", 1, echoSingle);
      if (twoPhases) {
        echoLoad = RunClients(fds, opt.seconds);
        PrintLine("load", "echo", opt.sessions, echoLoad);
      }
    }
    for (int fd : fds) close(fd);
  }

  const PhaseResult& srvMain = twoPhases ? srvLoad : srvSingle;
  const PhaseResult& echoMain = twoPhases ? echoLoad : echoSingle;
  const double ratio = echoSingle.p50us > 0 ? srvSingle.p50us / echoSingle.p50us : 0;
  const bool rateJudged = opt.sessions == kMaxSessions;
  const bool rateMet = srvMain.rate >= kTargetRate;
  const bool ratioMet = ratio > 0 && ratio <= kTargetP50Ratio;
  const int errors = srvSingle.errors + srvLoad.errors + echoSingle.errors + echoLoad.errors;
  printf("single-connection p50 kelsrv/echo = %.2f (target <= %.0f: %s)\n", ratio, kTargetP50Ratio,
         ratioMet ? "met" : "missed");
  printf(
      "kelsrv with %d session%s: %.0f replies/s (target >= %.0f with %d sessions: %s); echo "
      "%.0f replies/s\n",
      opt.sessions, opt.sessions > 1 ? "s" : "", srvMain.rate, kTargetRate, kMaxSessions,
      !rateJudged ? "not judged"
      : rateMet   ? "met"
                  : "missed",
      echoMain.rate);
  printf("kelsrv stopped in %.2f s\n", stopSeconds);
  printf(
      "{\"sessions\":%d,\"seconds\":%d,\"single_seconds\":%d,"
      "\"single\":{\"kelsrv\":%s,\"echo\":%s,\"p50_ratio\":%.3f},"
      "\"load\":{\"kelsrv\":%s,\"echo\":%s},"
      "\"targets\":{\"replies_per_s_20000\":%s,\"single_p50_within_3x\":%s},"
      "\"stop_seconds\":%.3f,\"errors\":%d}\n",
      opt.sessions, opt.seconds, opt.singleSeconds, Json(srvSingle).c_str(),
      Json(echoSingle).c_str(), ratio, Json(srvMain).c_str(), Json(echoMain).c_str(),
      !rateJudged ? "null"
      : rateMet   ? "true"
                  : "false",
      ratioMet ? "true" : "false", stopSeconds, errors);
  return errors == 0 && stopSeconds >= 0 ? 0 : 1;
}
