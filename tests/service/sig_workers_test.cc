// From the process-wide signal queue to client notices: hot-plug signals that arrive
// together give one notice, disk-status payloads travel whole, unknown codes are dropped.
#include "service/monitor/kel_sig_parser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

namespace {

struct Recorder : KelNoticeSink {
  bool Broadcast(const _KelHostEventData& n) override {
    notices.push_back({n.type, std::vector<uint8_t>(n.data, n.data + n.len)});
    ++count;
    return true;
  }
  std::atomic<int> count{0};
  std::vector<std::pair<uint16_t, std::vector<uint8_t>>> notices;
};

void Post(KelSignalCode code, std::vector<uint8_t> payload = {0, 0, 0, 0}) {
  auto* s = new KelSignal(code, static_cast<int>(payload.size()));
  memcpy(s->data, payload.data(), payload.size());
  ASSERT_TRUE(KelSignal::Insert(s));
}

TEST(SigWorkers, ThreeHotplugSignalsGiveOneNoticeAndDiskStatusDataArrivesWhole) {
  Recorder sink;
  KelSigParser parser(nullptr, &sink);
  for (int i = 0; i < 3; ++i) Post(Kel_Signal_Hotplug);
  Post(Kel_Signal_DiskStatus, {5, 0, 0, 0, 2, 3, 2, 7, 3, 0xEE});
  Post(static_cast<KelSignalCode>(7));
  testing::internal::CaptureStdout();
  parser.DispatchOnce();
  parser.DispatchOnce();  // the unknown code was dropped, not left to report every round
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(KelSignal::Queue().Count(), 0);
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2) << out;  // assertion + "No worker"
  parser.Worker(Kel_Signal_Hotplug)->RunOnce();
  parser.Worker(Kel_Signal_DiskStatus)->RunOnce();
  ASSERT_EQ(sink.notices.size(), 2U);
  EXPECT_EQ(sink.notices[0].first, KEL_NOTICE_HOTPLUG);
  EXPECT_EQ(sink.notices[1].first, KEL_NOTICE_DISK_STATUS);
  EXPECT_EQ(sink.notices[1].second, (std::vector<uint8_t>{2, 3, 2, 7, 3}));
}

TEST(SigWorkers, RunningThreadsDeliverPostedSignals) {
  Recorder sink;
  KelSigParser parser(nullptr, &sink);
  ASSERT_TRUE(parser.start());
  Post(Kel_Signal_Hotplug);
  for (int i = 0; i < 500 && sink.count == 0; ++i) KelBaseThread::KelThreadSleep(10);
  EXPECT_EQ(sink.count, 1);
}

}  // namespace
