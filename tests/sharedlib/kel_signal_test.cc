// Internal signal queue: payloads, posting order, removal without deletion, misuse reports,
// the refusal when the writer lock stays taken, use before main and from several threads.
#include "sharedlib/kel_signal.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "tests/sharedlib/capture.h"

namespace {

using kel_test::Captured;

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

TEST(Signal, PayloadIsZeroedAndOwnedAndANegativeLengthGivesNoneWithAReport) {
  for (int len : {20, 0, -4}) {
    KelSignal* sig = nullptr;
    std::string out = Captured([&] { sig = new KelSignal(Kel_Signal_SMR, len); });
    EXPECT_EQ(out.find("nDataLen >= 0") != std::string::npos, len < 0) << len;
    EXPECT_EQ(sig->code, Kel_Signal_SMR);
    EXPECT_EQ(sig->DataLen(), len > 0 ? len : 0);
    EXPECT_EQ(sig->data == nullptr, len <= 0);
    for (int i = 0; i < sig->DataLen(); ++i) EXPECT_EQ(sig->data[i], 0) << i;
    delete sig;  // the sanitizer build reports a payload that is not freed
  }
}

TEST_F(SignalQueue, InsertAppendsRemoveUnlinksWithoutDeletingAndClearDeletesTheRest) {
  KelSignal* a = new KelSignal(Kel_Signal_Hotplug, 0);
  KelSignal* b = new KelSignal(Kel_Signal_DiskStatus, 4);
  KelSignal* c = new KelSignal(Kel_Signal_SMR, 20);
  for (KelSignal* s : {a, b, c}) EXPECT_TRUE(KelSignal::Insert(s));
  EXPECT_FALSE(Captured([&] { EXPECT_FALSE(KelSignal::Insert(nullptr)); }).empty());
  EXPECT_EQ(Queued(), (std::vector<KelSignal*>{a, b, c}));
  EXPECT_EQ(Captured([&] { KelSignal::Remove(b); }), "");
  EXPECT_EQ(Queued(), (std::vector<KelSignal*>{a, c}));
  b->data[3] = 1;  // still alive: the caller owns it now
  EXPECT_TRUE(kel_test::Reports([&] { KelSignal::Remove(b); }, "kelSignalQueue.Remove(pSignal)"));
  EXPECT_EQ(Queued(), (std::vector<KelSignal*>{a, c}));
  delete b;
  KelSignal::ClearSigQueue();  // the leak checker of the sanitizer build sees any survivor
  EXPECT_TRUE(KelSignal::Queue().Empty() && KelSignal::Queue().Count() == 0);
}

TEST_F(SignalQueue, InsertGivesUpWhenTheWriterLockStaysTakenAndTheProducerKeepsTheSignal) {
  KelSignal* queued = new KelSignal(Kel_Signal_Hotplug, 0);
  KelSignal::Insert(queued);
  ASSERT_TRUE(KelSignal::QueueLock().RLock());  // a parser walking the queue
  KelSignal* sig = new KelSignal(Kel_Signal_DiskStatus, 4);
  KelSignal::QueueLock().TEST_SetWaitMs(100);  // the give-up path without five real seconds
  EXPECT_TRUE(kel_test::Reports([&] { EXPECT_FALSE(KelSignal::Insert(sig)); },
                                "WLock the global sig queue failed\n"));
  KelSignal::QueueLock().TEST_SetWaitMs(-1);
  KelSignal::QueueLock().RUnlock();
  EXPECT_EQ(Queued(), (std::vector<KelSignal*>{queued}));
  EXPECT_TRUE(KelSignal::Insert(sig));  // once the lock is free the producer can retry
  EXPECT_EQ(Queued(), (std::vector<KelSignal*>{queued, sig}));
}

TEST_F(SignalQueue, ProducersOnSeveralThreadsLoseNothing) {
  constexpr int kThreads = 4, kEach = 300;
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
