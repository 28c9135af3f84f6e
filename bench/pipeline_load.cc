// pipeline_load: load on the command pipeline of a real kelsrv. It starts the service in a
// temporary folder on free loopback ports, logs sessions in as "guest" (a user that may
// hold several sessions), and has every session issue one query back to back on its own
// thread. A plain TCP server inside this tool that answers the same requests with the same
// reply bytes is the baseline: what loopback TCP and the client threads alone cost here.
//
// Queries (--query):
//   test        the test command (code 255, sub-code 9: a 10-byte request, a 128-byte
//               reply); the service on a one-disk simulated controller. Targets: 20,000
//               replies/s with 10 sessions, single-connection p50 within 3x the baseline.
//   array-info  the array-info query (code 11, sub-code 3) cycling over every array of a
//               simulated controller with 16 disks carrying 16 arrays. Target: 10,000
//               replies/s with 10 sessions. Each reply must equal the first reply to the
//               same request (the model does not change during the run).
//
// A single-connection phase always runs first, then the N-session phase (unless N is 1).
// Readable lines go to stdout, the last line is one JSON object for scripts. Exit status:
// 0 when every phase ran without a protocol error, 1 otherwise, 2 on a usage error or when
// the tool's own time limit ended it.
//
//   pipeline_load [--query test|array-info] [--sessions N] [--seconds S]
//                 [--single-seconds T] [--kelsrv PATH]
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
#include "tests/support/sixteen_arrays.h"

namespace {

using Clock = std::chrono::steady_clock;
using kel_test::RawClient;

constexpr int kMaxSessions = 10;  // the service's limit of sessions
// Targets: replies per second with all ten sessions busy, and the single-connection p50
// against the baseline's.
constexpr double kTargetRateTest = 20000;
constexpr double kTargetRateArrayInfo = 10000;
constexpr double kTargetP50Ratio = 3.0;
constexpr unsigned char kLocalCode = 255;
constexpr unsigned char kTestSubCode = 9;
constexpr unsigned short kTestReplyPayload = 119;
constexpr int kReplyTimeoutMs = 5000;  // one missing reply ends that client
constexpr int kStartLimitS = 15;
constexpr int kStopLimitS = 30;

struct Options {
  std::string query = "test";
  int sessions = 10;
  int seconds = 10;
  int singleSeconds = -1;  // -1: min(seconds, 5)
  std::string kelsrv = KELSRV_BIN;
};

// What every client sends, in turn, and what it must get back. In learning mode the first
// reply to each request becomes the expected one.
struct Workload {
  std::vector<std::vector<unsigned char>> requests;       // whole packets
  std::vector<std::vector<unsigned char>> replies;        // expected packets, or empty
  size_t replyLen = 0;
  bool learn = false;
  std::vector<unsigned char> echoReply;  // what the baseline server answers
};
Workload g_work;  // set up in main before any client thread starts; read-only afterwards

std::vector<unsigned char> Packet(unsigned char code, const std::vector<unsigned char>& payload) {
  std::vector<unsigned char> out(payload.size() + kPacketOverhead);
  AssemblePacket(code, payload.data(), static_cast<unsigned short>(payload.size()), out.data());
  return out;
}

bool SetUpTestWorkload() {
  g_work.requests = {Packet(kLocalCode, {kTestSubCode})};
  std::vector<unsigned char> payload(kTestReplyPayload, 0);
  payload[0] = kTestSubCode;  // the sub-code is echoed, return code 0 follows
  payload[6] = 112;           // the test reply announces 112 filler bytes
  g_work.replies = {Packet(kLocalCode, payload)};
  g_work.replyLen = g_work.replies[0].size();
  g_work.echoReply = g_work.replies[0];
  return true;
}

constexpr unsigned char kArrayInfoCode = 11;
constexpr size_t kArrayInfoRequest = 120;
constexpr size_t kArrayInfoReply = 125;

// One request per array of the sorted list the service reports. The session used to ask
// logs out again: the load phases need all ten.
bool SetUpArrayInfoWorkload(int port) {
  RawClient c(port);
  kel_test::Reply login = c.ok() ? c.Login("guest", "rovak") : kel_test::Reply{};
  if (login.result != 0 || login.RetCode() != 0) return false;
  struct LogoutAtEnd {
    RawClient& c;
    std::string id;
    ~LogoutAtEnd() { c.Logout(id); }
  } logout{c, RawClient::IdOf(login)};
  std::vector<unsigned char> ask(kArrayInfoRequest, 0);
  ask[0] = 2;  // sorted array indexes
  kel_test::Reply r = c.Exchange(kArrayInfoCode, ask);
  if (r.result != 0 || r.RetCode() != 0 || r.data.size() < 6 + 32) return false;
  const int count = r.data[9];
  for (int i = 0; i < count; ++i) {
    std::vector<unsigned char> req(kArrayInfoRequest, 0);
    req[0] = 3;
    req[1] = r.data[10 + i];
    g_work.requests.push_back(Packet(kArrayInfoCode, req));
  }
  if (g_work.requests.empty()) return false;
  std::vector<unsigned char> first(g_work.requests[0].begin() + 8, g_work.requests[0].end() - 1);
  kel_test::Reply one = c.Exchange(kArrayInfoCode, first);
  if (one.result != 0 || one.RetCode() != 0 || one.data.size() != kArrayInfoReply) return false;
  g_work.echoReply = Packet(kArrayInfoCode, one.data);
  g_work.replyLen = g_work.echoReply.size();
  g_work.learn = true;
  return true;
}

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

// One client: the requests in turn, back to back on `fd` until `end`; round-trip times in ns.
void ClientLoop(int fd, Clock::time_point end, std::vector<uint32_t>* samples, int* errors) {
  std::vector<unsigned char> reply(g_work.replyLen);
  std::vector<std::vector<unsigned char>> expected = g_work.replies;
  expected.resize(g_work.requests.size());
  for (size_t k = 0; Clock::now() < end; k = (k + 1) % g_work.requests.size()) {
    const std::vector<unsigned char>& request = g_work.requests[k];
    const Clock::time_point t0 = Clock::now();
    if (!SendAll(fd, request.data(), request.size()) ||
        !RecvAll(fd, reply.data(), reply.size(), kReplyTimeoutMs)) {
      ++*errors;
      return;
    }
    const Clock::time_point t1 = Clock::now();
    if (expected[k].empty() && g_work.learn) expected[k] = reply;
    if (reply != expected[k]) {
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

// The baseline server: per connection, read a request of the workload's size and answer
// with the reply bytes the service gave (all requests of a workload have one size).
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
        std::vector<unsigned char> request(g_work.requests[0].size());
        while (RecvAll(fd, request.data(), request.size(), -1) &&
               SendAll(fd, g_work.echoReply.data(), g_work.echoReply.size())) {
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
  Service(const std::string& binary, const kel_test::TempDir& dir, bool sixteenArrays)
      : m_dir(dir) {
    m_port = kel_test::FreePort();
    kel_test::WriteFile(dir.File("kel.config"), kel_test::TestConfig(dir.path(), m_port));
    prctl(PR_SET_CHILD_SUBREAPER, 1);  // the working process comes back to us if orphaned
    const std::string out = dir.File("kelsrv.out");
    const std::string config = dir.File("kel.config");
    // A simulated controller: the tool never reaches the host's disks.
    const std::string simDir = dir.File("sim");
    if (sixteenArrays ? !kel_test::MakeSixteenArraySim(simDir) : !kel_test::MakeSimFolder(simDir)) {
      fprintf(stderr, "pipeline_load: cannot build the simulated controller\n");
      return;
    }
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
    if (a == "--query" && hasValue) {
      o->query = argv[++i];
      if (o->query == "test" || o->query == "array-info") continue;
      return false;
    }
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
            "usage: pipeline_load [--query test|array-info] [--sessions N (1-%d)] [--seconds S] "
            "[--single-seconds T] [--kelsrv PATH]\n",
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
    const bool arrayInfo = opt.query == "array-info";
    Service srv(opt.kelsrv, dir, arrayInfo);
    service = &srv;
    if (!srv.WaitStarted()) {
      fprintf(stderr, "pipeline_load: %s did not start\n%s\n", opt.kelsrv.c_str(),
              srv.OutputTail().c_str());
      service = nullptr;
      return 1;
    }
    const bool ready = arrayInfo ? SetUpArrayInfoWorkload(srv.port()) : SetUpTestWorkload();
    if (!ready) {
      fprintf(stderr, "pipeline_load: the service lists no arrays\n%s\n", srv.OutputTail().c_str());
      ok = false;
    }
    if (ok && arrayInfo) printf("array-info over %zu arrays\n", g_work.requests.size());
    std::vector<std::unique_ptr<RawClient>> clients;
    std::vector<int> fds;
    for (int i = 0; ok && i < opt.sessions; ++i) {
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
  const double targetRate = opt.query == "test" ? kTargetRateTest : kTargetRateArrayInfo;
  const bool rateMet = srvMain.rate >= targetRate;
  const bool ratioMet = ratio > 0 && ratio <= kTargetP50Ratio;
  const int errors = srvSingle.errors + srvLoad.errors + echoSingle.errors + echoLoad.errors;
  printf("single-connection p50 kelsrv/echo = %.2f (target <= %.0f: %s)\n", ratio, kTargetP50Ratio,
         ratioMet ? "met" : "missed");
  printf(
      "kelsrv with %d session%s: %.0f replies/s (target >= %.0f with %d sessions: %s); echo "
      "%.0f replies/s\n",
      opt.sessions, opt.sessions > 1 ? "s" : "", srvMain.rate, targetRate, kMaxSessions,
      !rateJudged ? "not judged"
      : rateMet   ? "met"
                  : "missed",
      echoMain.rate);
  printf("kelsrv stopped in %.2f s\n", stopSeconds);
  printf(
      "{\"query\":\"%s\",\"sessions\":%d,\"seconds\":%d,\"single_seconds\":%d,"
      "\"single\":{\"kelsrv\":%s,\"echo\":%s,\"p50_ratio\":%.3f},"
      "\"load\":{\"kelsrv\":%s,\"echo\":%s},"
      "\"targets\":{\"replies_per_s\":%.0f,\"replies_per_s_met\":%s,\"single_p50_within_3x\":%s},"
      "\"stop_seconds\":%.3f,\"errors\":%d}\n",
      opt.query.c_str(), opt.sessions, opt.seconds, opt.singleSeconds, Json(srvSingle).c_str(),
      Json(echoSingle).c_str(), ratio, Json(srvMain).c_str(), Json(echoMain).c_str(), targetRate,
      !rateJudged ? "null"
      : rateMet   ? "true"
                  : "false",
      ratioMet ? "true" : "false", stopSeconds, errors);
  return errors == 0 && stopSeconds >= 0 ? 0 : 1;
}
