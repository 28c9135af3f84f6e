// Table entries and argument rules of `events` and `discover`.
#include "tools/kelctl/kelctl_monitor_commands.h"

#include "tools/kelctl/kelctl_args.h"

namespace {

// A whole number of seconds or notices, from `min` to 86400000.
bool ParseCount(const std::map<std::string, std::string>& values, const char* option,
                unsigned int min, unsigned int* out, std::string* error) {
  auto it = values.find(option);
  if (it == values.end()) return true;
  unsigned long long number = 0;
  if (!ParseDecimal(it->second, 86400000ULL, &number) || number < min) {
    *error = std::string(option) + " needs a whole number of at least " + std::to_string(min) +
             ", not '" + it->second + "'";
    return false;
  }
  *out = static_cast<unsigned int>(number);
  return true;
}

}  // namespace

std::vector<KelctlCommandSpec> KelctlMonitorCommands() {
  return {
      {"events", "events [--notify-port P] [--count N] [--timeout S]",
       "follow the service's notices (hot-plug, disk status, tasks)",
       "Logs in, registers for the service's notices on its notification port\n"
       "(--notify-port, default 8001) and prints one line per notice as it arrives:\n"
       "hot-plug, disk status, task state, and the end of the session when another\n"
       "login takes it over. With --json each notice is one JSON object on a line of its\n"
       "own. Answers the service's liveness probes, so the session stays. Ends after\n"
       "--count notices, after --timeout seconds, or on Ctrl-C (exit status 0), and with\n"
       "status 1 when the connection ends or the session is taken over.\n",
       0, 0, {"--notify-port", "--count", "--timeout"}, {}},
      {"discover", "discover [--port P] [--timeout S]", "list the services that answer a discovery",
       "Sends a discovery datagram to the discovery port (--port, default 7001) and\n"
       "lists every service that answers within --timeout seconds (default 3) of the\n"
       "last answer, by address and name. The datagram goes to 255.255.255.255 unless\n"
       "$KEL_BROADCAST_ADDR names another IPv4 address. Needs no password.\n",
       0, 0, {"--timeout"}, {}},
  };
}

bool IsKelctlMonitorCommand(const std::string& words) {
  return words == "events" || words == "discover";
}

bool ResolveKelctlMonitorCommand(const std::string& words,
                                 const std::map<std::string, std::string>& values,
                                 KelctlOptions* out, std::string* error) {
  if (words == "discover") {
    out->command = KelctlCommand::kDiscover;
    out->discoverPort = out->portGiven ? out->port : kKelctlDefaultDiscoverPort;
    out->waitSec = kKelctlDefaultDiscoverWaitSec;
    return ParseCount(values, "--timeout", 1, &out->waitSec, error);
  }
  out->command = KelctlCommand::kEvents;
  if (auto it = values.find("--notify-port"); it != values.end() &&
                                              !ParseKelctlPort(it->second, &out->notifyPort)) {
    *error = "invalid port '" + it->second + "' for --notify-port";
    return false;
  }
  return ParseCount(values, "--count", 1, &out->eventCount, error) &&
         ParseCount(values, "--timeout", 1, &out->waitSec, error);
}
