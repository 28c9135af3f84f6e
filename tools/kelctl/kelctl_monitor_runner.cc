// The I/O of `events` and `discover`; what the lines say is kelctl_notice_format's.
#include "tools/kelctl/kelctl_monitor_runner.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

#include "tools/kelctl/kelctl_notice_format.h"
#include "tools/kelctl/kelctl_session.h"
#include "webext/client/client_discovery.h"
#include "webext/client/client_events.h"
#include "webext/client/kelclient.h"

namespace {

using Clock = std::chrono::steady_clock;

// How long one wait for a notice lasts at most: the longest a Ctrl-C or the end of
// --timeout goes unnoticed.
constexpr std::chrono::milliseconds kSlice(500);

volatile sig_atomic_t gInterrupted = 0;

void OnInterrupt(int) { gInterrupted = 1; }

// SIGINT sets gInterrupted while an object lives; the previous handler comes back after.
class InterruptCatcher {
 public:
  InterruptCatcher() {
    gInterrupted = 0;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &m_previous);
  }
  ~InterruptCatcher() { sigaction(SIGINT, &m_previous, nullptr); }
  InterruptCatcher(const InterruptCatcher&) = delete;
  InterruptCatcher& operator=(const InterruptCatcher&) = delete;

 private:
  struct sigaction m_previous {};
};

bool Fail(KelctlOutcome* outcome, int code, const char* stage, const std::string& message = "") {
  if (code == 0) return true;
  outcome->code = code;
  outcome->stage = stage;
  outcome->message = message;
  return false;
}

// Reads notices until a limit, SIGINT or the end of the connection; prints each.
void FollowNotices(CLIENT_INFO* ci, const KelctlOptions& options, const KelctlLineSink& sink,
                   KelctlOutcome* outcome) {
  const bool limited = options.waitSec != 0;
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(options.waitSec);
  unsigned int printed = 0;
  unsigned char data[kClientBufSize];
  while (gInterrupted == 0 && (options.eventCount == 0 || printed < options.eventCount)) {
    auto slice = std::chrono::duration_cast<std::chrono::microseconds>(kSlice);
    if (limited) {
      const Clock::time_point now = Clock::now();
      if (now >= deadline) break;
      slice = std::min(slice, std::chrono::duration_cast<std::chrono::microseconds>(deadline - now));
    }
    int kind = 0;
    unsigned short len = 0;
    int code = CheckRaidEventWithin(ci, &kind, data, &len, 0,
                                    static_cast<unsigned int>(slice.count()));
    // A quiet slice, an answered probe, or a packet that is no notice: nothing to print.
    if (code == KEL_CLIENT_TIMEOUT || code == KEL_CLIENT_UNEXPECTED ||
        (code == KEL_CLIENT_OK && kind == KEL_NOTICE_NONE))
      continue;
    if (code != KEL_CLIENT_OK) {
      Fail(outcome, code, "events", "the service ended the notification connection");
      return;
    }
    const std::time_t now = std::time(nullptr);
    sink(options.json ? FormatNoticeJson(kind, data, len, now)
                      : FormatNoticeLine(kind, data, len, now));
    ++printed;
    if (kind == KEL_NOTICE_KIND_KICKED) {
      Fail(outcome, KEL_SERVICE_LOGIN_KICKED, "events",
           "another login of this user took the session over");
      return;
    }
  }
}

}  // namespace

KelctlOutcome RunKelctlEvents(const KelctlOptions& options, const KelctlSecrets& secrets,
                              const KelctlLineSink& sink) {
  KelctlOutcome outcome;
  InterruptCatcher catcher;
  CLIENT_INFO ci;
  ClientInfoInit(&ci);
  if (!Fail(&outcome, OpenConnect(&ci, options.host.c_str(), options.port), "connect"))
    return outcome;
  // A stored session is followed as it is and stays open afterwards; a fresh login is
  // ended when the follower stops.
  const bool joined = !options.sessionId.empty();
  int code = joined ? UserSessionLogin(&ci, options.sessionId.c_str())
                    : UserLogin(&ci, options.user.c_str(), secrets.password.c_str());
  if (joined && code != 0) outcome.sessionEnded = KelctlSessionEnded(code);
  if (Fail(&outcome, code, joined ? "session login" : "login")) {
    if (joined) snprintf(ci.szClientID, sizeof(ci.szClientID), "%s", options.sessionId.c_str());
    outcome.clientId = ci.szClientID;
    if (Fail(&outcome, InitEventSocket(&ci, nullptr, options.host.c_str(), options.notifyPort),
             "register for notices"))
      FollowNotices(&ci, options, sink, &outcome);
    // A session that another login took over is gone already.
    if (!joined && outcome.code != KEL_SERVICE_LOGIN_KICKED) UserLogout(&ci, nullptr);
  }
  CloseConnect(&ci);
  return outcome;
}

KelctlOutcome RunKelctlDiscover(const KelctlOptions& options, const KelctlLineSink& sink) {
  KelctlOutcome outcome;
  KelDiscoveredServices found;
  if (!Fail(&outcome, DiscoverServices(options.discoverPort, options.waitSec, &found),
            "discover"))
    return outcome;
  std::vector<KelctlService> services;
  for (const auto& [address, name] : found) services.push_back({address, name});
  sink(FormatServices(services, options.json));
  return outcome;
}
