// Internal signal queue: posting order, removal without deletion, misuse reports, the
// refusal when the writer lock stays taken, use before main and from several threads.
#include "sharedlib/kel_signal.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string Captured(const std::function<void()>& fn) {
  testing::internal::CaptureStdout();
  fn();
  return testing::internal::GetCapturedStdout();
}

std::vector<KelSignal*> Queued() {
  std::vector<KelSignal*> out;
  KelSignal::Queue().ForEach([&](KelSignal* s) { out.push_back(s); });
  return out;
}

// A producer that posts while static objects are being built.
KelSignal* g_early = nullptr;
const bool kPostedBeforeMain = [] {
  g_early = new KelSignal(Kel_Signal_Hotplug, 0);
  return KelSignal::Insert(g_early);
}();
const bool kEarlyWasQueued =
    !KelSignal::Queue().Empty() && KelSignal::Queue().Head()->m_val == g_early;

class SignalQueue : public testing::Test {
 protected:
  void SetUp() override { KelSignal::ClearSigQueue(); }
  void TearDown() override { KelSignal::ClearSigQueue(); }
};

TEST(SignalQueueBeforeMain, ProducersCanPostDuringStaticInitialisation) {
  EXPECT_TRUE(kPostedBeforeMain);
  EXPECT_TRUE(kEarlyWasQueued);
}

TEST(Signal, CodesHaveTheirFixedValues) {
  EXPECT_EQ(Kel_Signal_Hotplug, 0);
  EXPECT_EQ(Kel_Signal_DiskStatus, 1);
  EXPECT_EQ(Kel_Signal_SMR, 2);
}

TEST(Signal, PayloadIsZeroedAndOwnedBySignal) {
  KelSignal sig(Kel_Signal_SMR, 20);
  EXPECT_EQ(sig.code, Kel_Signal_SMR);
  ASSERT_NE(sig.data, nullptr);
  EXPECT_EQ(sig.DataLen(), 20);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(sig.data[i], 0);
  sig.data[19] = 7;  // the whole length is writable
}

TEST(Signal, EmptyPayloadHasNoData) {
  KelSignal sig(Kel_Signal_Hotplug, 0);
  EXPECT_EQ(sig.data, nullptr);
  EXPECT_EQ(sig.DataLen(), 0);
}

TEST(Signal, NegativeLengthReportsAndHasNoData) {
  KelSignal* sig = nullptr;
  std::string out = Captured([&] { sig = new KelSignal(Kel_Signal_DiskStatus, -4); });
  EXPECT_NE(out.find("nDataLen >= 0"), std::string::npos);
  EXPECT_EQ(sig->data, nullptr);
  EXPECT_EQ(sig->DataLen(), 0);
  delete sig;
}

TEST_F(SignalQueue, InsertAppendsInPostingOrder) {
  KelSignal* a = new KelSignal(Kel_Signal_Hotplug, 0);
  KelSignal* b = new KelSignal(Kel_Signal_DiskStatus, 8);
  KelSignal* c = new KelSignal(Kel_Signal_SMR, 20);
  EXPECT_TRUE(KelSignal::Insert(a));
  EXPECT_TRUE(KelSignal::Insert(b));
  EXPECT_TRUE(KelSignal::Insert(c));
  EXPECT_EQ(Queued(), (std::vector<KelSignal*>{a, b, c}));
}

TEST_F(SignalQueue, RemoveUnlinksWithoutDeleting) {
  KelSignal* a = new KelSignal(Kel_Signal_Hotplug, 0);
  KelSignal* b = new KelSignal(Kel_Signal_DiskStatus, 4);
  KelSignal::Insert(a);
  KelSignal::Insert(b);
  std::string out = Captured([&] { KelSignal::Remove(b); });
  EXPECT_EQ(out, "");
  EXPECT_EQ(Queued(), (std::vector<KelSignal*>{a}));
  b->data[3] = 1;  // still alive: the caller owns it now
  delete b;
}

TEST_F(SignalQueue, RemovingAnUnqueuedSignalReportsAndLeavesTheQueue) {
  KelSignal* a = new KelSignal(Kel_Signal_Hotplug, 0);
  KelSignal::Insert(a);
  KelSignal stranger(Kel_Signal_SMR, 0);
  std::string out = Captured([&] { KelSignal::Remove(&stranger); });
  EXPECT_NE(out.find("kelSignalQueue.Remove(pSignal)"), std::string::npos);
  EXPECT_EQ(Queued(), (std::vector<KelSignal*>{a}));
}

TEST_F(SignalQueue, ClearDeletesEverySignalAndEmptiesTheQueue) {
  for (int i = 0; i < 5; ++i) KelSignal::Insert(new KelSignal(Kel_Signal_DiskStatus, 16));
  KelSignal::ClearSigQueue();  // the leak checker of the sanitizer build sees any survivor
  EXPECT_TRUE(KelSignal::Queue().Empty());
  EXPECT_EQ(KelSignal::Queue().Count(), 0);
}

TEST_F(SignalQueue, InsertGivesUpWhenTheWriterLockStaysTakenAndTheProducerKeepsTheSignal) {
  KelSignal* queued = new KelSignal(Kel_Signal_Hotplug, 0);
  KelSignal::Insert(queued);
  ASSERT_TRUE(KelSignal::QueueLock().RLock());  // a parser walking the queue
  KelSignal* sig = new KelSignal(Kel_Signal_DiskStatus, 4);
  bool ok = true;
  auto start = std::chrono::steady_clock::now();
  std::string out = Captured([&] { ok = KelSignal::Insert(sig); });
  double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  KelSignal::QueueLock().RUnlock();
  EXPECT_FALSE(ok);
  EXPECT_GE(waited, 4.9);
  EXPECT_NE(out.find("WLock the global sig queue failed\n"), std::string::npos);
  EXPECT_EQ(Queued(), (std::vector<KelSignal*>{queued}));
  EXPECT_TRUE(KelSignal::Insert(sig));  // once the lock is free the producer can retry
  EXPECT_EQ(Queued(), (std::vector<KelSignal*>{queued, sig}));
}

TEST_F(SignalQueue, ProducersOnSeveralThreadsLoseNothing) {
  constexpr int kThreads = 4;
  constexpr int kEach = 300;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([] {
      for (int i = 0; i < kEach; ++i) {
        KelSignal* sig = new KelSignal(Kel_Signal_SMR, 20);
        if (!KelSignal::Insert(sig)) delete sig;
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(KelSignal::Queue().Count(), kThreads * kEach);
}

}  // namespace
