// Tests of the completion event, the restartable thread and the stopwatch.
#include "sharedlib/kel_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include "sharedlib/kel_clock.h"
#include "sharedlib/kel_wait.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

long MsSince(SteadyClock::time_point start) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start).count());
}

// Runs until asked to terminate.
class LoopingThread : public KelThread {
 public:
  ~LoopingThread() override { terminate(); }
  void run() override {
    entered.Complete();
    while (!GetTerminateEvent()) KelThreadSleep(5);
    ++returned;
  }
  KelWait entered;
  std::atomic<int> returned{0};
};

// Reports whether it found a termination request at entry, then blocks on a gate.
class GatedThread : public KelThread {
 public:
  ~GatedThread() override {
    gate.Complete();
    terminate();
  }
  void run() override {
    requestAtEntry = GetTerminateEvent();
    entered.Complete();
    gate.WaitForComplete(-1);
    ++runs;
  }
  KelWait entered;
  KelWait gate;
  std::atomic<bool> requestAtEntry{false};
  std::atomic<int> runs{0};
};

class ThrowingThread : public KelThread {
 public:
  void run() override { throw std::runtime_error("disk on fire"); }
};

TEST(KelWait, CompletionIsConsumedByTheFirstTestOnly) {
  KelWait wait;
  EXPECT_TRUE(wait.Complete());
  EXPECT_TRUE(wait.WaitForComplete(0));
  EXPECT_FALSE(wait.WaitForComplete(0));
}

TEST(KelWait, BoundedWaitWithoutCompletionTimesOut) {
  KelWait wait;
  const auto start = SteadyClock::now();
  EXPECT_FALSE(wait.WaitForComplete(500));
  EXPECT_GE(MsSince(start), 450);
}

TEST(KelWait, NegativeLimitOtherThanMinusOneRefusesToWait) {
  KelWait wait;
  EXPECT_FALSE(wait.WaitForComplete(-2));
}

TEST(KelWait, CompletionFromAnotherThreadEndsAnUnlimitedWait) {
  KelWait wait;
  std::thread completer([&] {
    KelBaseThread::KelThreadSleep(50);
    wait.Complete();
  });
  EXPECT_TRUE(wait.WaitForComplete(-1));
  completer.join();
}

// A woken waiter that finds the completion already taken must keep waiting, not report
// success: exactly one of two waiters gets a single completion.
TEST(KelWait, OneCompletionReleasesExactlyOneOfTwoWaiters) {
  KelWait wait;
  std::atomic<int> successes{0};
  std::thread a([&] { successes += wait.WaitForComplete(600) ? 1 : 0; });
  std::thread b([&] { successes += wait.WaitForComplete(600) ? 1 : 0; });
  KelBaseThread::KelThreadSleep(100);
  wait.Complete();
  a.join();
  b.join();
  EXPECT_EQ(successes.load(), 1);
}

TEST(KelThread, StartingARunningThreadIsRefusedWithAMessage) {
  LoopingThread thread;
  ASSERT_TRUE(thread.start());
  ASSERT_TRUE(thread.entered.WaitForComplete(5000));
  testing::internal::CaptureStdout();
  EXPECT_FALSE(thread.start());
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("The thread is running\n"), std::string::npos) << out;
  EXPECT_TRUE(thread.running());
}

TEST(KelThread, TerminateMakesRunReturnThroughTheTerminateEvent) {
  LoopingThread thread;
  ASSERT_TRUE(thread.start());
  ASSERT_TRUE(thread.entered.WaitForComplete(5000));
  EXPECT_TRUE(thread.terminate());
  EXPECT_EQ(thread.returned.load(), 1);
  EXPECT_FALSE(thread.running());
}

TEST(KelThread, TerminatingAThreadThatNeverRanSucceedsAtOnce) {
  LoopingThread thread;
  EXPECT_TRUE(thread.thread_terminate(0));
  EXPECT_FALSE(thread.running());
}

TEST(KelThread, BoundedTerminateReportsAThreadThatKeepsRunning) {
  GatedThread thread;
  ASSERT_TRUE(thread.start());
  ASSERT_TRUE(thread.entered.WaitForComplete(5000));
  EXPECT_FALSE(thread.thread_terminate(50));
  EXPECT_TRUE(thread.running());
  thread.gate.Complete();
  EXPECT_TRUE(thread.terminate());
}

TEST(KelThread, EndedThreadStartsAgainWithoutTheOldRequest) {
  GatedThread thread;
  ASSERT_TRUE(thread.start());
  ASSERT_TRUE(thread.entered.WaitForComplete(5000));
  // Leave a termination request that the first run never consumes.
  EXPECT_FALSE(thread.thread_terminate(0));
  thread.gate.Complete();
  ASSERT_TRUE(thread.terminate());
  ASSERT_FALSE(thread.running());

  ASSERT_TRUE(thread.start());
  ASSERT_TRUE(thread.entered.WaitForComplete(5000));
  EXPECT_FALSE(thread.requestAtEntry.load());
  thread.gate.Complete();
  EXPECT_TRUE(thread.terminate());
  EXPECT_EQ(thread.runs.load(), 2);
}

TEST(KelThread, ExceptionFromRunIsReportedAndEndsOnlyThatRun) {
  ThrowingThread thread;
  testing::internal::CaptureStdout();
  ASSERT_TRUE(thread.start());
  EXPECT_TRUE(thread.terminate());
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("disk on fire"), std::string::npos) << out;
  EXPECT_FALSE(thread.running());
  testing::internal::CaptureStdout();
  EXPECT_TRUE(thread.start());
  EXPECT_TRUE(thread.terminate());
  testing::internal::GetCapturedStdout();
}

TEST(KelThread, ExplicitPriorityStartsUnderTheDefaultPolicy) {
  LoopingThread thread;
  ASSERT_TRUE(thread.thread_start(KelBaseThread::kPriorityMin));
  EXPECT_TRUE(thread.entered.WaitForComplete(5000));
  EXPECT_TRUE(thread.terminate());
}

TEST(KelThread, PriorityClassesMapOntoThePolicyRange) {
  EXPECT_EQ(KelBaseThread::SchedPriority(0, 1, 99), 1);
  EXPECT_EQ(KelBaseThread::SchedPriority(5, 1, 99), 99);
  EXPECT_EQ(KelBaseThread::SchedPriority(3, 1, 99), 50);
  EXPECT_EQ(KelBaseThread::SchedPriority(6, 1, 99), 99);
  EXPECT_EQ(KelBaseThread::SchedPriority(2, 0, 0), 0);
}

TEST(KelThread, SleepLastsAtLeastTheRequestedTime) {
  const auto start = SteadyClock::now();
  KelBaseThread::KelThreadSleep(150);
  EXPECT_GE(MsSince(start), 145);
}

TEST(KelClock, StoppedClockReportsAllOnes) {
  KelClock clock;
  EXPECT_EQ(clock.GetElapsedTime(), KelClock::kStopped);
  clock.start();
  clock.stop();
  EXPECT_EQ(clock.GetElapsedTime(), KelClock::kStopped);
}

TEST(KelClock, ElapsedTimeFollowsTheSleep) {
  KelClock clock;
  clock.start();
  KelBaseThread::KelThreadSleep(120);
  EXPECT_GE(clock.GetElapsedTime(), 115UL);
}

TEST(KelClock, LocalTimeHasTheAsctimeShape) {
  const std::string now = KelClock::GetLocalTime();
  ASSERT_EQ(now.size(), 25u) << now;
  EXPECT_EQ(now[3], ' ');
  EXPECT_EQ(now[7], ' ');
  EXPECT_EQ(now[13], ':');
  EXPECT_EQ(now[16], ':');
  EXPECT_EQ(now.back(), '\n');
}

}  // namespace
