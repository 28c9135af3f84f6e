// On a simulator folder the host glue never reaches this host: the driver start points the
// module list, rmmod, modprobe and reboot into DIR/host and creates stand-ins there, which
// the module and reboot operations then drive. (The glue's own rules, names read from a
// configuration and a module that stays loaded, are tests/driver/host_glue_test.cc's.)
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "driver/host_glue.h"
#include "service/core/driver_setup.h"
#include "tests/service/service_test_util.h"
#include "tests/support/temp_dir.h"

namespace {

using kel_test::ReadAll;

class SimHostGlue : public testing::Test {
 protected:
  void SetUp() override {
    saved = KelHostGluePaths();
    KelSetSimDir(dir);
  }
  void TearDown() override {
    KelStopDriver();
    KelSetSimDir("");
    KelHostGluePaths() = saved;
    cli_init_module_names();
  }
  kel_test::TempDir tmp;
  std::string dir = tmp.path();
  KelHostPaths saved;
};

TEST_F(SimHostGlue, StartPointsTheHostProgramsIntoTheFolderWhereReloadAndRebootAct) {
  KelStartDriver();
  const KelHostPaths& p = KelHostGluePaths();
  for (const std::string* path : {&p.conf, &p.modules, &p.rmmod, &p.modprobe, &p.reboot, &p.mtab,
                                  &p.cmdline, &p.sysDevBlock, &p.rootDir, &p.pciDriver})
    EXPECT_EQ(path->rfind(dir + "/", 0), 0u) << *path;
  EXPECT_EQ(ReadAll(p.modules).rfind("ZKELLDC ", 0), 0u);
  EXPECT_TRUE(cli_uninstall_module() == 1 && cli_check_raid_mod("ZKELLDC") == -1);
  EXPECT_TRUE(cli_install_module() == 1 && cli_check_raid_mod("ZKELLDC") >= 0);
  EXPECT_EQ(cli_install_module(), 1);  // already loaded: listed once
  EXPECT_EQ(ReadAll(dir + "/host/modules").find("ZKELLDC", 1), std::string::npos);
  EXPECT_TRUE(TarvoRebootOS() == 1 && TarvoRebootOS() == 1);
  EXPECT_EQ(ReadAll(dir + "/host/reboot.log"), "reboot \nreboot \n");
}

}  // namespace
