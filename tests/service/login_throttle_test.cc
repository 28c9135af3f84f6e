// Failed logins per peer address: ten lines a minute, then one summary of what was left out.
#include "service/login/login_throttle.h"

#include <gtest/gtest.h>

namespace {

using Clock = KelLoginThrottle::Clock;

TEST(LoginThrottle, TenLinesAMinutePerPeerThenOneSummaryOfTheRest) {
  KelLoginThrottle t;
  const Clock::time_point start{};
  int logged = 0;
  for (int i = 0; i < 25; ++i) logged += static_cast<int>(t.FailedLogin("10.0.0.1", "x", start).size());
  EXPECT_EQ(logged, 10);
  // Another peer has its own allowance.
  EXPECT_EQ(t.FailedLogin("10.0.0.2", "y", start).size(), 1u);
  // Nothing to report before the minute is over; then each peer once.
  EXPECT_TRUE(t.Expired(start + std::chrono::seconds(59)).empty());
  auto later = t.FailedLogin("10.0.0.1", "z", start + std::chrono::seconds(60));
  ASSERT_EQ(later.size(), 2u);
  EXPECT_EQ(later[0], "WARNING~15 more failed logins from 10.0.0.1 suppressed");
  EXPECT_EQ(later[1], "z");
  EXPECT_TRUE(t.Expired(start + std::chrono::seconds(119)).empty());
}

TEST(LoginThrottle, APeerNeverHeldBackKeepsNoSummary) {
  KelLoginThrottle t;
  const Clock::time_point start{};
  for (int i = 0; i < 10; ++i) t.FailedLogin("10.0.0.1", "x", start);
  EXPECT_TRUE(t.Expired(start + std::chrono::minutes(5)).empty());
}

}  // namespace
