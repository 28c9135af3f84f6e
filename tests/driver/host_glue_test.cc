// Host glue with every path pointed into a temporary folder: shell scripts stand in for
// rmmod, modprobe and reboot and edit a fake modules list; the real tools never run.
#include "driver/host_glue.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

struct HostGlueFixture : testing::Test {
  std::string dir;
  KelHostPaths saved;

  void SetUp() override {
    char tmpl[] = "/tmp/kel_hostglue_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    saved = KelHostGluePaths();
    KelHostPaths& p = KelHostGluePaths();
    p.conf = dir + "/zepraid.conf";
    p.modules = dir + "/modules";
    p.rmmod = dir + "/rmmod";
    p.modprobe = dir + "/modprobe";
    p.reboot = dir + "/reboot";
    p.mtab = dir + "/mtab";
    p.devnull = "/dev/null";
    KelHostGlueSetSleep([](unsigned int) {});
    // rmmod drops the module's line; modprobe appends one unless the name is "broken".
    Script("rmmod", "grep -v \"^$1 \" " + p.modules + " > " + p.modules + ".new; mv " +
                        p.modules + ".new " + p.modules);
    Script("modprobe", "[ \"$1\" = broken ] || echo \"$1 1234 0 - Live 0x0\" >> " + p.modules);
    Script("reboot", "echo \"args=$#\" > " + dir + "/rebooted");
    Write("modules", "");
    cli_init_module_names();  // no file: back to the default list
  }
  void TearDown() override {
    KelHostGluePaths() = saved;
    cli_init_module_names();
    std::filesystem::remove_all(dir);
  }
  void Write(const std::string& name, const std::string& text) {
    std::ofstream(dir + "/" + name) << text;
  }
  void Script(const std::string& name, const std::string& body) {
    Write(name, "#!/bin/sh\n" + body + "\n");
    chmod((dir + "/" + name).c_str(), 0755);
  }
  std::string Read(const std::string& name) {
    std::ifstream f(dir + "/" + name);
    return std::string(std::istreambuf_iterator<char>(f), {});
  }
};

TEST_F(HostGlueFixture, MissingConfigGivesDefaultNameSilently) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(cli_init_module_names(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(cli_module_names(), std::vector<std::string>{"ZKELLDC"});
}

TEST_F(HostGlueFixture, ColonAndBlankSeparatedKeysBothAddNamesCommentsDoNot) {
  Write("zepraid.conf",
        "raid_driver: modA\n"
        "  raid_driver\tmodB # trailing\n"
        "# raid_driver: modC\n"
        "\n"
        "other_key: modD\n"
        "raid_driverX modE\n"
        "raid modF\n");
  EXPECT_EQ(cli_init_module_names(), 3);
  EXPECT_EQ(cli_module_names(), (std::vector<std::string>{"modA", "modB", "modF"}));
}

TEST_F(HostGlueFixture, AtMost31NamesAreKept) {
  std::string text;
  for (int i = 0; i < 40; ++i) text += "raid_driver m" + std::to_string(i) + "\n";
  Write("zepraid.conf", text);
  EXPECT_EQ(cli_init_module_names(), 31);
  EXPECT_EQ(cli_module_names().back(), "m30");
}

TEST_F(HostGlueFixture, UseCountComesFromTheModuleLine) {
  Write("modules", "ZKELLDCX 10 7 - Live\nZKELLDC 4096 3 - Live 0x0\n");
  EXPECT_EQ(cli_check_raid_mod("ZKELLDC"), 3);
  EXPECT_EQ(cli_check_raid_mod("ZKEL"), -1);
  std::filesystem::remove(dir + "/modules");
  testing::internal::CaptureStdout();
  EXPECT_EQ(cli_check_raid_mod("ZKELLDC"), 0);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("open file"), std::string::npos);
}

TEST_F(HostGlueFixture, UninstallRemovesModuleThroughRmmod) {
  Write("modules", "ZKELLDC 4096 0 - Live 0x0\nother 1 0 - Live\n");
  EXPECT_EQ(cli_uninstall_module(), 1);
  EXPECT_EQ(Read("modules"), "other 1 0 - Live\n");
}

TEST_F(HostGlueFixture, ModuleThatStaysLoadedFailsRemoval) {
  Script("rmmod", "true");
  Write("modules", "ZKELLDC 4096 0 - Live 0x0\n");
  testing::internal::CaptureStdout();
  EXPECT_EQ(cli_uninstall_module(), 0);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("Remove driver failed: "),
            std::string::npos);
}

TEST_F(HostGlueFixture, InstallLoadsMissingModuleAndSkipsLoadedOnes) {
  Write("zepraid.conf", "raid_driver: modA\nraid_driver: modB\n");
  cli_init_module_names();
  Write("modules", "modB 1 0 - Live\n");
  EXPECT_EQ(cli_install_module(), 1);
  EXPECT_EQ(Read("modules"), "modB 1 0 - Live\nmodA 1234 0 - Live 0x0\n");
}

TEST_F(HostGlueFixture, InstallFailsWhenNothingLoads) {
  Write("zepraid.conf", "raid_driver broken\n");
  cli_init_module_names();
  testing::internal::CaptureStdout();
  EXPECT_EQ(cli_install_module(), 0);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("Load driver failed: "),
            std::string::npos);
}

TEST_F(HostGlueFixture, RebootRunsTheRebootProgramAndWaits) {
  EXPECT_EQ(TarvoRebootOS(), 1);
  EXPECT_EQ(Read("rebooted"), "args=0\n");
}

TEST_F(HostGlueFixture, RootDeviceIsTheDeviceOnTheSlashLine) {
  Write("mtab", "proc /proc proc rw 0 0\n/dev/sda1 / ext4 rw 0 0\n/dev/sdb1 /home ext4 rw\n");
  char dev[64] = {0};
  EXPECT_NE(GetLinuxDirectory(dev, sizeof(dev)), 0);
  EXPECT_STREQ(dev, "/dev/sda1");
  char small[6] = {0};
  EXPECT_NE(GetLinuxDirectory(small, sizeof(small)), 0);
  EXPECT_STREQ(small, "/dev/");
}

TEST_F(HostGlueFixture, NoSlashAmongFirstThreeWordsGivesZero) {
  Write("mtab", "/dev/sda1 /boot ext4 /\nproc /proc proc rw\n");
  char dev[64] = {0};
  EXPECT_EQ(GetLinuxDirectory(dev, sizeof(dev)), 0);
  std::filesystem::remove(dir + "/mtab");
  testing::internal::CaptureStdout();
  EXPECT_EQ(GetLinuxDirectory(dev, sizeof(dev)), 0);
  EXPECT_NE(testing::internal::GetCapturedStdout().find(
                "GetLinuxDirectory: Can not open mount table </etc/mtab>. Pls check your OS"),
            std::string::npos);
}

}  // namespace
