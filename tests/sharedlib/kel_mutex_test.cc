// Locks: the timed mutex's limits and report, and the reader/writer lock's 5-second give-up,
// its cross-thread resource lock and its preference for a waiting writer.
#include "sharedlib/kel_mutex.h"

#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string Captured(const std::function<void()>& fn) {
  testing::internal::CaptureStdout();
  fn();
  return testing::internal::GetCapturedStdout();
}

// A thread that runs one step at a time on request, so a test can choose which thread
// takes and releases each lock.
class StepThread {
 public:
  StepThread() : m_thread([this] { Loop(); }) {
    std::unique_lock<std::mutex> lk(m_mu);
    m_cv.wait(lk, [this] { return m_tid != 0; });
  }
  ~StepThread() {
    {
      std::lock_guard<std::mutex> lk(m_mu);
      m_quit = true;
    }
    m_cv.notify_all();
    m_thread.join();
  }

  // Starts `fn` on the thread without waiting for it.
  void Start(std::function<bool()> fn) {
    std::lock_guard<std::mutex> lk(m_mu);
    m_job = std::move(fn);
    m_done = false;
    m_cv.notify_all();
  }
  // Waits for the started step and returns its result.
  bool Wait() {
    std::unique_lock<std::mutex> lk(m_mu);
    m_cv.wait(lk, [this] { return m_done; });
    return m_result;
  }
  bool Run(std::function<bool()> fn) {
    Start(std::move(fn));
    return Wait();
  }

  // True once the thread sleeps in the kernel (it blocks only in the lock it waits for).
  bool IsBlocked() const {
    std::ifstream stat("/proc/self/task/" + std::to_string(m_tid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::size_t paren = text.rfind(')');
    return paren != std::string::npos && paren + 2 < text.size() && text[paren + 2] == 'S';
  }

  // Polls until the started step blocks; false after `limit_ms`.
  bool WaitUntilBlocked(int limit_ms) const {
    for (int i = 0; i < limit_ms; ++i) {
      if (m_inStep.load() && IsBlocked()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
  }

 private:
  void Loop() {
    std::unique_lock<std::mutex> lk(m_mu);
    m_tid = static_cast<pid_t>(syscall(SYS_gettid));
    m_cv.notify_all();
    for (;;) {
      m_cv.wait(lk, [this] { return m_quit || m_job != nullptr; });
      if (m_quit) return;
      std::function<bool()> job = std::move(m_job);
      m_job = nullptr;
      lk.unlock();
      m_inStep = true;
      bool result = job();
      m_inStep = false;
      lk.lock();
      m_result = result;
      m_done = true;
      m_cv.notify_all();
    }
  }

  std::mutex m_mu;
  std::condition_variable m_cv;
  std::function<bool()> m_job;  // guarded by m_mu
  bool m_done = false;          // guarded by m_mu
  bool m_result = false;        // guarded by m_mu
  bool m_quit = false;          // guarded by m_mu
  pid_t m_tid = 0;              // guarded by m_mu until the constructor returns
  std::atomic<bool> m_inStep{false};
  std::thread m_thread;
};

TEST(KelMutex, TryLockWithANegativeTimeFailsAtOnceWithoutTrying) {
  KelMutex m;
  auto start = Clock::now();
  std::string out = Captured([&] { EXPECT_FALSE(m.try_lock(-1)); });
  EXPECT_LT(SecondsSince(start), 0.05);
  EXPECT_EQ(out, "");
  EXPECT_TRUE(m.try_lock(0));  // it was not taken
  m.unlock();
}

TEST(KelMutex, TryLockZeroOnAFreeMutexSucceeds) {
  KelMutex m;
  EXPECT_TRUE(m.try_lock(0));
  EXPECT_TRUE(m.unlock());
}

TEST(KelMutex, TimedOutTryLockReportsTheErrorAndTheProcessLives) {
  KelMutex m;
  StepThread holder;
  ASSERT_TRUE(holder.Run([&] { return m.lock(); }));
  auto start = Clock::now();
  std::string out = Captured([&] { EXPECT_FALSE(m.try_lock(100)); });
  EXPECT_GE(SecondsSince(start), 0.099);
  EXPECT_NE(out.find("pthread_mutex_timedlock failed. Ret=110"), std::string::npos);
  ASSERT_TRUE(holder.Run([&] { return m.unlock(); }));
  EXPECT_TRUE(m.try_lock(0));
  m.unlock();
}

TEST(KelMutex, LockAndUnlockWithPositionBehaveLikeThePlainForms) {
  KelMutex m;
  EXPECT_TRUE(m.lock(__FILE__, __LINE__));
  StepThread other;
  Captured([&] { EXPECT_FALSE(other.Run([&] { return m.try_lock(10); })); });
  EXPECT_TRUE(m.unlock(__FILE__, __LINE__));
  EXPECT_TRUE(m.try_lock(0));
  m.unlock();
}

TEST(KelRWLock, WriterHoldingSixSecondsMakesAReaderGiveUpAfterFive) {
  KelRWLock rw;
  StepThread writer;
  std::mutex mu;
  std::condition_variable cv;
  bool reader_done = false;
  ASSERT_TRUE(writer.Run([&] { return rw.WLock(); }));
  // The writer keeps the lock for 6 seconds, or until the reader has given up.
  writer.Start([&] {
    std::unique_lock<std::mutex> lk(mu);
    cv.wait_for(lk, std::chrono::seconds(6), [&] { return reader_done; });
    return rw.WUnlock();
  });
  auto start = Clock::now();
  bool got = true;
  std::string out = Captured([&] { got = rw.RLock(); });
  double waited = SecondsSince(start);
  {
    std::lock_guard<std::mutex> lk(mu);
    reader_done = true;
  }
  cv.notify_all();
  EXPECT_TRUE(writer.Wait());
  EXPECT_FALSE(got);
  EXPECT_GE(waited, 4.9);
  EXPECT_LT(waited, 5.9);
  EXPECT_NE(out.find("Can not get lock after 5 seconds!!!"), std::string::npos);
  EXPECT_TRUE(rw.RLock());  // nothing was left behind
  EXPECT_TRUE(rw.RUnlock());
}

TEST(KelRWLock, LastReaderOnAnotherThreadReleasesTheResourceForAWriter) {
  KelRWLock rw;
  StepThread first, second;
  ASSERT_TRUE(first.Run([&] { return rw.RLock(); }));  // takes the resource lock
  ASSERT_TRUE(second.Run([&] { return rw.RLock(); }));
  Captured([&] { EXPECT_FALSE(rw.WLock_Timeout(50)); });
  ASSERT_TRUE(first.Run([&] { return rw.RUnlock(); }));
  Captured([&] { EXPECT_FALSE(rw.WLock_Timeout(50)); });  // the second is still inside
  ASSERT_TRUE(second.Run([&] { return rw.RUnlock(); }));  // leaves last: frees the resource
  EXPECT_TRUE(rw.WLock_Timeout(50));
  EXPECT_TRUE(rw.WUnlock());
}

TEST(KelRWLock, WaitingWriterHoldsBackLaterReaders) {
  KelRWLock rw;
  StepThread early_reader, writer, late_reader;
  std::atomic<int> order{0};
  std::atomic<int> writer_at{0}, late_at{0};
  std::atomic<bool> late_inside{false}, late_seen_by_writer{false};

  ASSERT_TRUE(early_reader.Run([&] { return rw.RLock(); }));
  writer.Start([&] {
    if (!rw.WLock()) return false;
    writer_at = ++order;
    late_seen_by_writer = late_inside.load();
    return rw.WUnlock();
  });
  ASSERT_TRUE(writer.WaitUntilBlocked(2000)) << "writer never waited for the resource";
  late_reader.Start([&] {
    if (!rw.RLock()) return false;
    late_inside = true;
    late_at = ++order;
    return rw.RUnlock();
  });
  ASSERT_TRUE(late_reader.WaitUntilBlocked(2000)) << "late reader got in past the writer";
  EXPECT_FALSE(late_inside.load());
  ASSERT_TRUE(early_reader.Run([&] { return rw.RUnlock(); }));
  EXPECT_TRUE(writer.Wait());
  EXPECT_TRUE(late_reader.Wait());
  EXPECT_FALSE(late_seen_by_writer.load());
  EXPECT_EQ(writer_at.load(), 1);
  EXPECT_EQ(late_at.load(), 2);
}

}  // namespace
