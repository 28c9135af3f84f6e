// Tests of the timer service: repeat counts, the never-twice-at-once rule with its pending
// trigger, IsNeedToTrig and stopping the daemon. Intervals are short (100 ms, the daemon's
// scan period) so the program finishes in a few seconds.
#include "sharedlib/kel_timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include "sharedlib/kel_wait.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

class CountingCallback : public KelTimerCallback {
 public:
  void TimerCallbackFn() override {
    const int now = ++inside;
    int seen = maxInside.load();
    while (now > seen && !maxInside.compare_exchange_weak(seen, now)) {
    }
    KelBaseThread::KelThreadSleep(workMs);
    --inside;
    ++fired;
    firedEvent.Complete();
  }
  bool IsNeedToTrig() override { return wanted.load(); }

  // Waits until at least `n` runs have ended; false after `limitMs`.
  bool WaitForRuns(int n, long limitMs) {
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(limitMs);
    while (fired.load() < n) {
      const long left = static_cast<long>(
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count());
      if (left <= 0) return false;
      firedEvent.WaitForComplete(left);
    }
    return true;
  }

  long workMs = 0;
  std::atomic<bool> wanted{true};
  std::atomic<int> fired{0};
  std::atomic<int> inside{0};
  std::atomic<int> maxInside{0};
  KelWait firedEvent;
};

// Wants to run only until its first run has finished.
class WantedUntilFirstRunCallback : public CountingCallback {
 public:
  bool IsNeedToTrig() override { return fired.load() == 0; }
};

class KelTimerTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(KelTimer::StartTimerDaemonThread()); }
  void TearDown() override { KelTimer::StopTimerDaemonThread(); }

  // Registers and starts a timer that the test owns.
  static std::unique_ptr<KelTimer> StartTimer(unsigned long repeat, unsigned long intervalMs,
                                              KelTimerCallback* cb, const char* name) {
    std::unique_ptr<KelTimer> timer(new KelTimer(repeat, intervalMs, cb, name));
    EXPECT_TRUE(KelTimer::AddTimer(timer.get()));
    EXPECT_TRUE(timer->Start());
    return timer;
  }
};

TEST_F(KelTimerTest, RepeatCountThreeFiresExactlyThreeTimes) {
  CountingCallback cb;
  auto timer = StartTimer(3, 100, &cb, "Repeat3");
  ASSERT_TRUE(cb.WaitForRuns(3, 5000));
  KelBaseThread::KelThreadSleep(600);  // six more expiries' worth
  EXPECT_EQ(cb.fired.load(), 3);
  EXPECT_TRUE(KelTimer::DelTimer(timer.get()));
}

TEST_F(KelTimerTest, SlowCallbackIsPostponedAndNeverRunsTwiceAtOnce) {
  CountingCallback cb;
  cb.workMs = 350;
  testing::internal::CaptureStdout();
  auto timer = StartTimer(KelTimer::kForever, 100, &cb, "SlowTimer");
  const bool ran = cb.WaitForRuns(2, 5000);
  KelTimer::DelTimer(timer.get());
  timer.reset();  // waits for a run still in progress
  const std::string out = testing::internal::GetCapturedStdout();
  ASSERT_TRUE(ran);
  EXPECT_NE(out.find("This timer[SlowTimer] is still running, trigger it later\n"), std::string::npos) << out;
  EXPECT_EQ(cb.maxInside.load(), 1);
}

TEST_F(KelTimerTest, ExpiryDuringARunIsCarriedOutEvenWhenNoLongerWanted) {
  WantedUntilFirstRunCallback cb;
  cb.workMs = 350;
  testing::internal::CaptureStdout();
  auto timer = StartTimer(KelTimer::kForever, 100, &cb, "PendingTimer");
  const bool ran = cb.WaitForRuns(2, 5000);
  KelBaseThread::KelThreadSleep(600);
  KelTimer::DelTimer(timer.get());
  timer.reset();
  testing::internal::GetCapturedStdout();
  ASSERT_TRUE(ran);
  // The first run was wanted; the expiries during it left one pending run; then no more.
  EXPECT_EQ(cb.fired.load(), 2);
}

TEST_F(KelTimerTest, CallbackThatDoesNotWantToRunIsNotFired) {
  CountingCallback cb;
  cb.wanted = false;
  auto timer = StartTimer(KelTimer::kForever, 100, &cb, "Unwanted");
  KelBaseThread::KelThreadSleep(500);
  EXPECT_EQ(cb.fired.load(), 0);
  cb.wanted = true;
  EXPECT_TRUE(cb.WaitForRuns(1, 5000));
  KelTimer::DelTimer(timer.get());
}

TEST_F(KelTimerTest, StoppedTimerDoesNotFire) {
  CountingCallback cb;
  auto timer = StartTimer(KelTimer::kForever, 100, &cb, "Stopped");
  EXPECT_TRUE(timer->Stop());
  EXPECT_FALSE(timer->IsTimeout());
  KelBaseThread::KelThreadSleep(400);
  EXPECT_EQ(cb.fired.load(), 0);
  EXPECT_TRUE(KelTimer::DelTimer(timer.get()));
  EXPECT_FALSE(KelTimer::DelTimer(timer.get()));
}

TEST_F(KelTimerTest, StoppingTheDaemonStopsEveryTimer) {
  CountingCallback cbA, cbB;
  auto timerA = StartTimer(KelTimer::kForever, 100, &cbA, "A");
  auto timerB = StartTimer(KelTimer::kForever, 100, &cbB, "B");
  ASSERT_TRUE(cbA.WaitForRuns(1, 5000));
  ASSERT_TRUE(cbB.WaitForRuns(1, 5000));
  KelTimer::StopTimerDaemonThread();
  KelBaseThread::KelThreadSleep(100);  // a run started by the last scan may still finish
  const int a = cbA.fired.load(), b = cbB.fired.load();
  KelBaseThread::KelThreadSleep(500);
  EXPECT_EQ(cbA.fired.load(), a);
  EXPECT_EQ(cbB.fired.load(), b);
  // The registry is empty now, and stopping twice is harmless.
  EXPECT_FALSE(KelTimer::DelTimer(timerA.get()));
  KelTimer::StopTimerDaemonThread();
}

TEST_F(KelTimerTest, TimerDestroyedWhileRegisteredLeavesTheRegistry) {
  CountingCallback cb;
  auto timer = StartTimer(KelTimer::kForever, 100, &cb, "Dropped");
  ASSERT_TRUE(cb.WaitForRuns(1, 5000));
  timer.reset();
  KelBaseThread::KelThreadSleep(300);  // the daemon keeps scanning without it
  SUCCEED();
}

TEST(KelTimer, RegisteringWithoutADaemonIsRefused) {
  CountingCallback cb;
  KelTimer timer(1, 100, &cb, "Orphan");
  testing::internal::CaptureStdout();
  EXPECT_FALSE(KelTimer::AddTimer(&timer));
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Assersion"), std::string::npos) << out;
}

TEST(KelTimer, OverlongNameIsCutToTheField) {
  CountingCallback cb;
  const std::string name(200, 'n');
  testing::internal::CaptureStdout();
  KelTimer timer(1, 100, &cb, name.c_str());
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(std::string(timer.GetName()), name.substr(0, KelTimer::kNameSize - 1));
}

}  // namespace
