// On a simulator folder the host glue never reaches this host: the driver start points the
// module list, rmmod, modprobe and reboot into DIR/host and creates stand-ins there, which
// the module and reboot operations then drive.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "driver/host_glue.h"
#include "service/core/driver_setup.h"

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class SimHostGlue : public testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kel_simhost_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    saved = KelHostGluePaths();
    KelSetSimDir(dir);
  }
  void TearDown() override {
    KelStopDriver();
    KelSetSimDir("");
    KelHostGluePaths() = saved;
    cli_init_module_names();
    std::filesystem::remove_all(dir);
  }
  std::string dir;
  KelHostPaths saved;
};

TEST_F(SimHostGlue, StartPointsEveryHostProgramIntoTheFolder) {
  KelStartDriver();
  const KelHostPaths& p = KelHostGluePaths();
  for (const std::string* path : {&p.conf, &p.modules, &p.rmmod, &p.modprobe, &p.reboot, &p.mtab})
    EXPECT_EQ(path->rfind(dir + "/", 0), 0u) << *path;
  for (const std::string* tool : {&p.rmmod, &p.modprobe, &p.reboot})
    EXPECT_EQ(access(tool->c_str(), X_OK), 0) << *tool;
  EXPECT_EQ(ReadAll(p.modules).rfind("ZKELLDC ", 0), 0u);
  EXPECT_GE(cli_check_raid_mod("ZKELLDC"), 0);
}

TEST_F(SimHostGlue, ModuleReloadAndRebootActOnTheSimulatedHost) {
  KelStartDriver();
  EXPECT_EQ(cli_uninstall_module(), 1);
  EXPECT_EQ(cli_check_raid_mod("ZKELLDC"), -1);
  EXPECT_EQ(cli_install_module(), 1);
  EXPECT_GE(cli_check_raid_mod("ZKELLDC"), 0);
  EXPECT_EQ(cli_install_module(), 1);  // already loaded: listed once
  std::string list = ReadAll(dir + "/host/modules");
  EXPECT_EQ(list.find("ZKELLDC", 1), std::string::npos) << list;
  EXPECT_EQ(TarvoRebootOS(), 1);
  EXPECT_EQ(TarvoRebootOS(), 1);
  EXPECT_EQ(ReadAll(dir + "/host/reboot.log"), "reboot \nreboot \n");
}

TEST_F(SimHostGlue, ExistingStandInsAndModuleNamesFromTheFolderAreKept) {
  ASSERT_EQ(mkdir((dir + "/host").c_str(), 0755), 0);
  std::ofstream(dir + "/host/zepraid.conf") << "raid_driver: simmod\n";
  std::ofstream(dir + "/host/rmmod") << "#!/bin/sh\nexit 0\n";  // leaves the module loaded
  chmod((dir + "/host/rmmod").c_str(), 0755);
  KelStartDriver();
  EXPECT_EQ(ReadAll(dir + "/host/modules").rfind("simmod ", 0), 0u);
  testing::internal::CaptureStdout();
  EXPECT_EQ(cli_uninstall_module(), 0);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("Remove driver failed"), std::string::npos);
}

}  // namespace
