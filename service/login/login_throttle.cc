#include "service/login/login_throttle.h"

KelLoginThrottle& KelLoginThrottle::Service() {
  static KelLoginThrottle throttle;
  return throttle;
}

void KelLoginThrottle::CloseEnded(Clock::time_point now, std::vector<std::string>* out) {
  for (auto it = m_peers.begin(); it != m_peers.end();) {
    if (now - it->second.start < kWindow) {
      ++it;
      continue;
    }
    if (it->second.suppressed > 0)
      out->push_back("WARNING~" + std::to_string(it->second.suppressed) +
                     " more failed logins from " + it->first + " suppressed");
    it = m_peers.erase(it);
  }
}

std::vector<std::string> KelLoginThrottle::FailedLogin(const std::string& peer,
                                                       const std::string& line,
                                                       Clock::time_point now) {
  std::vector<std::string> out;
  KelMutexGuard hold(m_mutex);
  CloseEnded(now, &out);
  auto it = m_peers.find(peer);
  if (it == m_peers.end()) {
    // Addresses are only remembered for a minute; a flood of distinct ones is logged as it
    // comes rather than remembered without bound.
    if (m_peers.size() >= kMaxPeers) {
      out.push_back(line);
      return out;
    }
    it = m_peers.emplace(peer, Window{now, 0, 0}).first;
  }
  if (it->second.logged < kLinesPerWindow) {
    ++it->second.logged;
    out.push_back(line);
  } else {
    ++it->second.suppressed;
  }
  return out;
}

std::vector<std::string> KelLoginThrottle::Expired(Clock::time_point now) {
  std::vector<std::string> out;
  KelMutexGuard hold(m_mutex);
  CloseEnded(now, &out);
  return out;
}
