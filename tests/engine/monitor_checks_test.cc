// The watchdog's hot-plug and disk-health checks against the engine on a simulated
// controller: what they log and which signal they post.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine_fixture.h"
#include "service/engine/zr_facade.h"
#include "service/eventlog/kel_event_log.h"
#include "service/monitor/kel_watchdog_cbs.h"
#include "sharedlib/kel_timer.h"
#include "tests/service/service_test_util.h"

namespace {

class MonitorChecks : public EngineSimTest {
 protected:
  void SetUp() override {
    EngineSimTest::SetUp();
    KelTimer::StartTimerDaemonThread();
    m_log = std::make_unique<KelEventLog>(m_dir.File("events").c_str(), 1 << 20, 200);
  }
  void TearDown() override {
    KelSignal::ClearSigQueue();
    m_log.reset();
    KelTimer::StopTimerDaemonThread();
    if (zr_is_initialised()) zr_exit();
    EngineSimTest::TearDown();
  }
  // The codes and payload sizes of the queued signals, "code:size" each.
  std::string Signals() {
    std::string out;
    for (auto* n = KelSignal::Queue().Head(); n != nullptr; n = n->next)
      out += std::to_string(n->m_val->code) + ":" + std::to_string(n->m_val->DataLen()) + " ";
    return out;
  }
  std::unique_ptr<KelEventLog> m_log;
};

TEST_F(MonitorChecks, DiskPulledAndDiskMovedOnAHubAreLoggedRemovalsFirstWithOneSignal) {
  const std::string direct = AddDisk(0, 0, -1, 1 << 20, "SER1", "MODEL-A");
  AddHub(1, 0);
  const std::string onHub = AddDisk(1, 0, 1, 1 << 20, "SER2", "MODEL-B");
  ASSERT_EQ(zr_init(), ZR_OK);
  Unplug(direct);
  Unplug(onHub);
  Plug(onHub, 1, 0, 3);
  KelHotplugTimerCb cb(m_log.get(), nullptr);
  const std::string out = kel_test::Captured([&] {
    cb.SetHotplug();
    ASSERT_TRUE(cb.IsNeedToTrig());
    cb.TimerCallbackFn();
  });
  const auto in = out.find("WARNING~MODEL-B SER2: pluged in\n");
  ASSERT_NE(in, std::string::npos) << out;
  EXPECT_LT(out.find("WARNING~MODEL-A SER1: pluged out\n"), in) << out;
  EXPECT_LT(out.find("WARNING~MODEL-B SER2: pluged out\n"), in) << out;
  EXPECT_EQ(Signals(), "0:4 ");
  EXPECT_FALSE(cb.IsNeedToTrig());
}

TEST_F(MonitorChecks, AFailingDiskIsLoggedAndReportedWithItsIndexAndStatus) {
  AddDisk(0, 0, -1, 1 << 20, "SER1", "MODEL-A");
  const std::string bad = AddDisk(1, 0, -1, 1 << 20, "SER2", "MODEL-B");
  std::string err;
  ASSERT_TRUE(KelSimSetSmart(Folder(), bad, 3, {}, &err)) << err;
  ASSERT_EQ(zr_init(), ZR_OK);
  KelDiskStatusTimerCb cb(m_log.get());
  const std::string out = kel_test::Captured([&] { cb.TimerCallbackFn(); });
  EXPECT_NE(out.find("Total Disk[1] is abnormal"), std::string::npos) << out;
  EXPECT_NE(out.find("WARNING~Disk MODEL-B SER2 abnormal!!\n"), std::string::npos) << out;
  ASSERT_EQ(Signals(), "1:516 ");
  const uint8_t* data = KelSignal::Queue().Head()->m_val->data;
  _zr_device_info dev{};
  ASSERT_EQ(zr_get_device_info(data[5], &dev), ZR_OK);
  EXPECT_EQ(std::string(dev.serialNumber, 4), "SER2");
  EXPECT_EQ(data[4], 1);  // one disk
  EXPECT_EQ(data[6], 3);  // its status
}

}  // namespace
