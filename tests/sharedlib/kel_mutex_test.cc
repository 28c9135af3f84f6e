// Locks: the timed mutex's limits and report, the reader/writer lock's give-up (shortened
// through its test hooks), its cross-thread resource lock, its preference for a waiting
// writer, and the fatal paths.
#include "sharedlib/kel_mutex.h"

#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <future>
#include <string>
#include <thread>

#include "tests/sharedlib/capture.h"

namespace {

using kel_test::Captured;
using kel_test::Reports;

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Takes a lock on a thread of its own and gives it back there on Release (or destruction):
// mutex and writer holds end on the thread that took them.
struct Hold {
  Hold(std::function<bool()> take, std::function<bool()> give)
      : thread([=, this] { taken.set_value(take()), gone.get_future().wait(), give(); }) {}
  ~Hold() { Release(); }
  bool Taken() { return result.get(); }
  void Release() { thread.joinable() ? (gone.set_value(), thread.join()) : void(); }
  std::promise<bool> taken;
  std::future<bool> result = taken.get_future();
  std::promise<void> gone;
  std::thread thread;  // last: starts once the members above exist
};

// Polls until thread `tid` (0 until the thread sets it) sleeps in the kernel
// (it blocks only in the lock it waits for); false after 2 s.
bool BecomesBlocked(const std::atomic<pid_t>& tid) {
  for (int i = 0; i < 2000; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(1))) {
    std::ifstream stat("/proc/self/task/" + std::to_string(tid.load()) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::size_t paren = text.rfind(')');
    if (tid != 0 && paren != std::string::npos && paren + 2 < text.size() && text[paren + 2] == 'S')
      return true;
  }
  return false;
}

TEST(KelMutex, TryLockFailsAtOnceBelowZeroAndReportsATimeOutWithoutEndingTheProcess) {
  KelMutex m;
  EXPECT_FALSE(m.try_lock(-1));  // without trying: the mutex is free
  EXPECT_TRUE(m.try_lock(999));  // free: at once; the deadline's nanoseconds carry into seconds
  EXPECT_TRUE(m.unlock(__FILE__, __LINE__));
  Hold holder([&] { return m.lock(__FILE__, __LINE__); }, [&] { return m.unlock(); });
  ASSERT_TRUE(holder.Taken());
  const auto start = Clock::now();
  EXPECT_TRUE(Reports([&] { EXPECT_FALSE(m.try_lock(100)); }, "timedlock failed. Ret=110"));
  EXPECT_GE(SecondsSince(start), 0.099);
  holder.Release();
  EXPECT_TRUE(m.try_lock(0));
  EXPECT_TRUE(m.unlock());
}

TEST(KelRWLock, ReadersAndWritersGiveUpAfterTheWaitLimitWhileAWriterHolds) {
  KelRWLock rw;
  Hold writer([&] { return rw.WLock(); }, [&] { return rw.WUnlock(); });
  ASSERT_TRUE(writer.Taken());
  rw.TEST_SetWaitMs(100);  // this lock's own limit
  auto start = Clock::now();
  EXPECT_TRUE(Reports([&] { EXPECT_FALSE(rw.RLock()); }, "Can not get lock after 5 seconds"));
  EXPECT_GE(SecondsSince(start), 0.099);
  rw.TEST_SetWaitMs(-1);  // back to the process-wide limit, here shortened for every lock
  const long previous = KelRWLock::TEST_SetDefaultWaitMs(50);
  Captured([&] { EXPECT_FALSE(rw.WLock()); });
  EXPECT_EQ(KelRWLock::TEST_SetDefaultWaitMs(previous), 50);
  EXPECT_EQ(rw.WaitMs(), KelRWLock::kWaitMs);
  writer.Release();
  EXPECT_TRUE(rw.RLock());  // nothing was left behind
  EXPECT_TRUE(rw.RUnlock());
}

TEST(KelRWLock, LastReaderOnAnotherThreadReleasesTheResourceForAWriter) {
  KelRWLock rw;
  ASSERT_TRUE(std::async(std::launch::async, [&] { return rw.RLock(); }).get());  // takes it
  ASSERT_TRUE(rw.RLock());
  Captured([&] { EXPECT_FALSE(rw.WLock_Timeout(50)); });
  ASSERT_TRUE(std::async(std::launch::async, [&] { return rw.RUnlock(); }).get());
  Captured([&] { EXPECT_FALSE(rw.WLock_Timeout(50)); });  // this thread is still inside
  ASSERT_TRUE(rw.RUnlock());  // leaves last: frees what the other thread took
  EXPECT_TRUE(rw.WLock_Timeout(50));
  EXPECT_TRUE(rw.WUnlock());
}

TEST(KelRWLock, WaitingWriterHoldsBackLaterReaders) {
  KelRWLock rw;
  std::atomic<pid_t> writerTid{0}, lateTid{0};
  std::atomic<int> order{0}, writerAt{0}, lateAt{0};
  ASSERT_TRUE(rw.RLock());  // the early reader
  auto enter = [&](std::atomic<pid_t>* tid, std::atomic<int>* at, bool write) {
    *tid = static_cast<pid_t>(syscall(SYS_gettid));
    if (write ? rw.WLock() : rw.RLock()) *at = ++order, write ? rw.WUnlock() : rw.RUnlock();
  };
  std::thread writer(enter, &writerTid, &writerAt, true);
  EXPECT_TRUE(BecomesBlocked(writerTid)) << "writer never waited for the resource";
  std::thread late(enter, &lateTid, &lateAt, false);
  EXPECT_TRUE(BecomesBlocked(lateTid)) << "late reader got in past the writer";
  EXPECT_EQ(order.load(), 0);
  EXPECT_TRUE(rw.RUnlock());
  writer.join();
  late.join();
  EXPECT_EQ(writerAt.load(), 1);
  EXPECT_EQ(lateAt.load(), 2);
}

// IssueSignal raises SIGSEGV; a sanitizer build reports it and aborts or exits instead.
// Either way the statement's own exit (code 0) is never reached.
bool EndedByTheSignal(int status) { return WIFSIGNALED(status) || WEXITSTATUS(status) != 0; }

TEST(KelMutexDeathTest, FailingLockCallEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  KelMutex checked;  // made error-checking, so that locking it twice fails
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_ERRORCHECK);
  pthread_mutex_destroy(checked.native());
  pthread_mutex_init(checked.native(), &attr);
  // Diagnostics go to standard output; the check reads stderr.
  EXPECT_EXIT((dup2(2, 1), checked.lock(), checked.lock(), std::_Exit(0)), EndedByTheSignal,
              "pthread_mutex_lock failed. Ret=35");
}

}  // namespace
