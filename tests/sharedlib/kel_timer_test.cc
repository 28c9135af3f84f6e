// Tests of the timer service: repeat counts, the never-twice-at-once rule with its pending
// trigger, IsNeedToTrig, stopping and the daemon's registry. Intervals are 100 ms, the
// daemon's scan period. That a timer does not fire is shown by waiting for the runs of a
// sentinel timer of the same interval, which the same scans expire.
#include "sharedlib/kel_timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>

#include "sharedlib/kel_wait.h"

namespace {

class CountingCallback : public KelTimerCallback {
 public:
  void TimerCallbackFn() override {
    if (inside.fetch_add(1) > 0) overlapped = true;
    if (blockFirst && fired.load() == 0) {
      started.Complete();
      release.WaitForComplete(-1);
    }
    --inside;
    ++fired;
    firedEvent.Complete();
  }
  bool IsNeedToTrig() override { return wanted.load() && (!onlyFirst || fired.load() == 0); }

  // Waits until at least `n` runs have ended; false when 5 s pass without a run.
  bool WaitForRuns(int n) {
    while (fired.load() < n)
      if (!firedEvent.WaitForComplete(5000)) return fired.load() >= n;
    return true;
  }

  bool blockFirst = false;  // the first run lasts until `release` is completed
  bool onlyFirst = false;   // wanted only until the first run has ended
  std::atomic<bool> wanted{true};
  std::atomic<int> fired{0}, inside{0};
  std::atomic<bool> overlapped{false};  // two runs at once
  KelWait firedEvent, started, release;
};

class KelTimerTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(KelTimer::StartTimerDaemonThread()); }
  void TearDown() override { KelTimer::StopTimerDaemonThread(); }

  // Registers and starts a timer that the test owns.
  static std::unique_ptr<KelTimer> StartTimer(unsigned long repeat, KelTimerCallback* cb,
                                              const char* name) {
    std::unique_ptr<KelTimer> timer(new KelTimer(repeat, 100, cb, name));
    EXPECT_TRUE(KelTimer::AddTimer(timer.get()));
    EXPECT_TRUE(timer->Start());
    return timer;
  }

  // Lets the daemon expire its timers `scans` more times.
  void PassScans(int scans) { ASSERT_TRUE(sentinel.WaitForRuns(sentinel.fired.load() + scans)); }

  CountingCallback sentinel;
};

// The first run is wanted and slow; the expiries during it are postponed into one pending
// run, carried out although the callback no longer wants to run; then nothing more.
TEST_F(KelTimerTest, ExpiryDuringASlowRunIsCarriedOutOnceLaterNeverAtTheSameTime) {
  CountingCallback cb;
  cb.blockFirst = true;
  cb.onlyFirst = true;
  testing::internal::CaptureStdout();
  auto timer = StartTimer(KelTimer::kForever, &cb, "SlowTimer");
  auto guard = StartTimer(KelTimer::kForever, &sentinel, "Sentinel");
  const bool started = cb.started.WaitForComplete(5000);
  PassScans(3);
  cb.release.Complete();
  const bool ranAgain = cb.WaitForRuns(2);
  PassScans(3);
  KelTimer::DelTimer(timer.get());
  timer.reset();
  const std::string out = testing::internal::GetCapturedStdout();
  ASSERT_TRUE(started && ranAgain);
  EXPECT_NE(out.find("This timer[SlowTimer] is still running"), std::string::npos) << out;
  EXPECT_FALSE(cb.overlapped.load());
  EXPECT_EQ(cb.fired.load(), 2);
}

TEST_F(KelTimerTest, TimersFireOnlyWhileRepeatsRemainAndWhileWantedStartedAndRegistered) {
  CountingCallback repeat3, unwanted, stopped, dropped;
  unwanted.wanted = false;
  auto t3 = StartTimer(3, &repeat3, "Repeat3");
  auto a = StartTimer(KelTimer::kForever, &unwanted, "Unwanted");
  auto b = StartTimer(KelTimer::kForever, &stopped, "Stopped");
  auto c = StartTimer(KelTimer::kForever, &dropped, "Dropped");
  auto guard = StartTimer(KelTimer::kForever, &sentinel, "Sentinel");
  EXPECT_TRUE(b->Stop());
  EXPECT_FALSE(b->IsTimeout());
  ASSERT_TRUE(dropped.WaitForRuns(1));
  c.reset();  // leaves the registry while registered
  const int droppedRuns = dropped.fired.load();
  ASSERT_TRUE(repeat3.WaitForRuns(3));
  PassScans(3);
  EXPECT_EQ(repeat3.fired.load(), 3);
  EXPECT_EQ(unwanted.fired.load(), 0);
  EXPECT_EQ(stopped.fired.load(), 0);
  EXPECT_EQ(dropped.fired.load(), droppedRuns);
  unwanted.wanted = true;
  EXPECT_TRUE(unwanted.WaitForRuns(1));
  EXPECT_TRUE(KelTimer::DelTimer(b.get()));
  EXPECT_FALSE(KelTimer::DelTimer(b.get()));
  // Stopping the daemon empties the registry; stopping it twice is harmless.
  KelTimer::StopTimerDaemonThread();
  EXPECT_FALSE(KelTimer::DelTimer(a.get()));
  KelTimer::StopTimerDaemonThread();
}

TEST(KelTimer, RegisteringWithoutADaemonIsRefusedAndLongNamesAreCut) {
  CountingCallback cb;
  const std::string name(200, 'n');
  testing::internal::CaptureStdout();
  KelTimer timer(1, 100, &cb, name.c_str());
  EXPECT_FALSE(KelTimer::AddTimer(&timer));
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Assersion [pkelTimerListMutex != NULL] failed"), std::string::npos) << out;
  EXPECT_EQ(std::string(timer.GetName()), name.substr(0, KelTimer::kNameSize - 1));
}

}  // namespace
