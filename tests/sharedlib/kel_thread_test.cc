// Tests of the completion event and the restartable thread. Every wait is for a condition;
// no test measures how long something took.
#include "sharedlib/kel_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>

#include "sharedlib/kel_wait.h"
#include "tests/sharedlib/capture.h"

namespace {

using kel_test::Reports;

// Reports whether it found a termination request at entry, then waits for its gate.
class TestThread : public KelThread {
 public:
  ~TestThread() override {
    gate.Complete();
    terminate();
  }
  void run() override {
    requestAtEntry = GetTerminateEvent();
    entered.Complete();
    gate.WaitForComplete(-1);
    ++runs;
  }
  KelWait entered, gate;
  std::atomic<bool> requestAtEntry{false};
  std::atomic<int> runs{0};
};

class ThrowingThread : public KelThread {
 public:
  void run() override { throw std::runtime_error("disk on fire"); }
};

TEST(KelWait, CompletionStaysPendingUntilOneWaitConsumesIt) {
  KelWait wait;
  EXPECT_FALSE(wait.WaitForComplete(0));
  EXPECT_FALSE(wait.WaitForComplete(20));  // a bounded wait without completion times out
  EXPECT_TRUE(wait.Complete());
  EXPECT_TRUE(wait.WaitForComplete(0));
  EXPECT_FALSE(wait.WaitForComplete(0));
  EXPECT_FALSE(wait.WaitForComplete(-2));  // a limit below -1 refuses to wait
}

TEST(KelThread, RunningThreadRefusesASecondStartAndARestartDropsTheOldRequest) {
  TestThread thread;
  EXPECT_TRUE(thread.thread_terminate(0));  // nothing runs yet
  ASSERT_TRUE(thread.start());
  ASSERT_TRUE(thread.entered.WaitForComplete(5000));
  EXPECT_TRUE(Reports([&] { EXPECT_FALSE(thread.start()); }, "The thread is running\n"));
  // A bounded terminate of a thread that keeps running reports it, and leaves a
  // termination request that the first run never consumes.
  EXPECT_FALSE(thread.thread_terminate(0));
  EXPECT_TRUE(thread.running());
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
  for (int run = 0; run < 2; ++run) {
    const auto startAndEnd = [&] { EXPECT_TRUE(thread.start() && thread.terminate()); };
    EXPECT_TRUE(Reports(startAndEnd, "disk on fire"));
    EXPECT_FALSE(thread.running());
  }
}

TEST(KelThread, StartsUnderEveryExplicitPriorityClassOfTheDefaultPolicy) {
  for (KelBaseThread::Priority priority :
       {KelBaseThread::kPriorityMin, 3, KelBaseThread::kPriorityMax, 6}) {
    TestThread thread;
    thread.gate.Complete();
    ASSERT_TRUE(thread.thread_start(priority)) << priority;
    EXPECT_TRUE(thread.entered.WaitForComplete(5000) && thread.terminate()) << priority;
  }
}

}  // namespace
