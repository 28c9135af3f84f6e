// The engine facade: its lifecycle, the checks it makes before reaching the model, and the
// driver reload with every host program replaced by a small script in a temporary folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "engine_fixture.h"
#include "service/engine/zr_facade.h"

namespace {

class Facade : public EngineSimTest {
 protected:
  void SetUp() override {
    EngineSimTest::SetUp();
    KelHostGlueSetSleep([](unsigned int) {});
    // Host programs: rmmod empties the module list, modprobe lists the module again, reboot
    // leaves a mark. Nothing on this host is touched.
    KelHostPaths& p = KelHostGluePaths();
    p.modules = m_dir.File("modules");
    p.conf = m_dir.File("zepraid.conf");
    std::ofstream(p.modules) << "ZKELLDC 16384 0 - Live 0x0\n";
    p.rmmod = Script("rmmod", ": > " + p.modules + "\necho rmmod >> " + m_dir.File("log"));
    p.modprobe = Script("modprobe", "echo \"$1 16384 0 - Live 0x0\" >> " + p.modules +
                                        "\necho modprobe >> " + m_dir.File("log"));
    p.reboot = Script("reboot", "touch " + m_dir.File("rebooted"));
  }
  void TearDown() override {
    if (zr_is_initialised()) zr_exit();
    EngineSimTest::TearDown();
  }

  std::string Script(const std::string& name, const std::string& body) {
    std::ofstream(m_dir.File(name)) << "#!/bin/sh\n" + body + "\n";
    chmod(m_dir.File(name).c_str(), 0755);
    return m_dir.File(name);
  }
};

TEST_F(Facade, StartsOnceOverADriverAndEverythingElseWaitsForIt) {
  int a = 0, b = 0, c = 0;
  _zr_array_info ai{};
  _Kel_Index_Map map{};
  uint8_t st = 0;
  EXPECT_EQ(zr_get_version(&a, &b, &c), ZR_NOT_INIT);
  EXPECT_EQ(zr_get_array_info(0, &ai), ZR_NOT_INIT);
  EXPECT_EQ(zr_get_device_num_TARVOII(&map), ZR_NOT_INIT);
  EXPECT_EQ(zr_get_PD_SMART_status_TARVOII({0, 0, 0}, &st), ZR_NOT_INIT);
  EXPECT_EQ(zr_update_hardware_info(), ZR_NOT_INIT);
  EXPECT_EQ(zr_reload_driver(0, nullptr, nullptr), ZR_NOT_INIT);
  EXPECT_EQ(zr_exit(), ZR_NOT_INIT);
  KelDrvSetGlobal(nullptr);
  EXPECT_EQ(zr_init(), ZR_NO_DRIVER);
  EXPECT_FALSE(zr_is_initialised());
  KelDrvSetGlobal(m_drv.get());

  AddDisk(0, 0);
  ASSERT_EQ(zr_init(), ZR_OK);
  EXPECT_TRUE(zr_is_initialised());
  EXPECT_EQ(zr_init(), ZR_ALREADY_INIT);
  EXPECT_EQ(zr_get_version(nullptr, &b, &c), ZR_BAD_PARAM);
  ASSERT_EQ(zr_get_version(&a, &b, &c), ZR_OK);
  EXPECT_EQ(a * 100 + b * 10 + c, 100);
  int n = 0;
  ASSERT_EQ(zr_get_controller_num(&n), ZR_OK);
  EXPECT_EQ(n, 1);
  KelDrvSetGlobal(nullptr);  // the driver stops answering: a rescan must not report success
  EXPECT_EQ(zr_update_hardware_info(), ZR_DRIVER_FAILED);
  KelDrvSetGlobal(m_drv.get());
  EXPECT_EQ(zr_exit(), ZR_OK);
  EXPECT_FALSE(zr_is_initialised());
  EXPECT_EQ(zr_get_controller_num(&n), ZR_NOT_INIT);
}

TEST_F(Facade, IndexesOneStepPastEveryTableAreRefused) {
  AddDisk(0, 0);
  ASSERT_EQ(zr_init(), ZR_OK);
  _zr_array_info ai{};
  _zr_device_info di{};
  _zr_vd_info vi{};
  _zr_channel_info ci{};
  _zr_device_hub_info_t hi{};
  _zr_controller_info ctl{};
  _zr_partition_info pi{};
  uint16_t magic = 0;
  uint8_t st = 0, page[512];
  EXPECT_EQ(zr_get_array_info(64, &ai), ZR_NO_OBJECT);
  EXPECT_EQ(zr_get_array_info(0, nullptr), ZR_BAD_PARAM);
  EXPECT_EQ(zr_get_Array_magicNum(64, &magic), ZR_NO_OBJECT);
  EXPECT_EQ(zr_get_device_info(32, &di), ZR_NO_OBJECT);
  EXPECT_EQ(zr_get_device_info(-1, &di), ZR_NO_OBJECT);
  EXPECT_EQ(zr_get_PD_magicNum(32, &magic), ZR_NO_OBJECT);
  EXPECT_EQ(zr_get_PD_SMART_status_TARVOII({32, 0, 0}, &st), ZR_NO_OBJECT);
  EXPECT_EQ(zr_exec_SMART_READ_DATA({32, 0, 0}, page), ZR_NO_OBJECT);
  EXPECT_EQ(zr_exec_SMART_READ_DATA({0, 0, 0}, nullptr), ZR_BAD_PARAM);
  EXPECT_EQ(zr_exec_SMART_READ_THRESHOLD({0, 0, 0}, nullptr), ZR_BAD_PARAM);
  EXPECT_EQ(zr_get_vd_info_by_pd_logic_index(0, 2, &vi), ZR_NO_OBJECT);
  EXPECT_EQ(zr_get_vd_info_by_array_pos(0, 16, &vi), ZR_NO_OBJECT);
  EXPECT_EQ(zr_get_device_info_by_array_pos(0, 16, &di), ZR_NO_OBJECT);
  EXPECT_EQ(zr_get_device_info_by_array_pos(0, 255, &di), ZR_OK);
  EXPECT_EQ(zr_get_device_info_by_phy_address(0, 2, 0, &di), ZR_NO_OBJECT);
  EXPECT_EQ(zr_get_device_info_by_phy_address(0, 0, 8, &di), ZR_NO_OBJECT);
  EXPECT_EQ(zr_get_channel_info(1, 0, &ci), ZR_NO_OBJECT);
  EXPECT_EQ(zr_get_channel_info(0, 2, &ci), ZR_NO_OBJECT);
  EXPECT_EQ(zr_get_device_hub_Info(0, 0, 2, &hi), ZR_NO_OBJECT);
  EXPECT_EQ(zr_get_controller_info(1, &ctl), ZR_NO_OBJECT);
  EXPECT_EQ(zr_get_partition_info(0, {32, 0, 0}, &pi), ZR_NO_OBJECT);
  EXPECT_EQ(zr_get_partition_info(1, {64, 0, 0}, &pi), ZR_NO_OBJECT);
  EXPECT_EQ(zr_get_partition_info(3, {0, 0, 0}, &pi), ZR_BAD_PARAM);
  // Entry points the command handlers do not use.
  _LIB_Need_SMR_Info_t smr{};
  ASSERT_EQ(zr_get_SMR_Handles(&smr), ZR_OK);
  EXPECT_EQ(smr.Count(), 0);
  _CHECK_CTLER_HOTPLUG_EVENT_IOBUFFER hp{};
  ASSERT_EQ(zr_check_hotplug_byctlIndex(0, &hp), ZR_OK);
  EXPECT_EQ(hp.byChanged, 1);  // the disk added above
  EXPECT_EQ(zr_check_hotplug_byctlIndex(1, &hp), ZR_NO_OBJECT);
}

TEST_F(Facade, ReloadRunsTheRedirectedProgramsAndOnlyTheHostsRootMayReboot) {
  AddDisk(0, 0);
  ASSERT_EQ(zr_init(), ZR_OK);
  ASSERT_EQ(zr_reload_driver(0, nullptr, nullptr), ZR_OK);
  EXPECT_TRUE(zr_is_initialised());
  std::ifstream log(m_dir.File("log"));
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(log), {}), "rmmod\nmodprobe\n");

  // A module that will not load again: 809, and the engine goes on with its model.
  Script("modprobe", "exit 0");
  EXPECT_EQ(zr_reload_driver(0, nullptr, nullptr), ZR_RELOAD_FAILED);
  EXPECT_TRUE(zr_is_initialised());
  int n = 0;
  EXPECT_EQ(zr_get_controller_num(&n), ZR_OK);

  EXPECT_EQ(zr_reload_driver(1, "admin", "whatever"), ZR_BAD_PARAM);
  EXPECT_EQ(zr_reload_driver(1, nullptr, nullptr), ZR_BAD_PARAM);
  EXPECT_EQ(zr_reload_driver(1, "root", "certainly-not-the-password"), ZR_BAD_PARAM);
  EXPECT_FALSE(std::filesystem::exists(m_dir.File("rebooted")));
  EXPECT_TRUE(zr_is_initialised());
}

}  // namespace
