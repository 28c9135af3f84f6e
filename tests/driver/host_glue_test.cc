// Host glue with every path pointed into a temporary folder, for what the simulated host of
// tests/service/sim_host_glue_test.cc does not reach: the configuration file's quirks, the
// module list's use count, a load that fails and the mount table's quirks. A shell script
// stands in for modprobe; the real tools never run.
#include "driver/host_glue.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/temp_dir.h"

namespace {

struct HostGlueFixture : testing::Test {
  kel_test::TempDir tmp;
  KelHostPaths saved;

  void SetUp() override {
    ASSERT_FALSE(tmp.path().empty());
    saved = KelHostGluePaths();
    KelHostPaths& p = KelHostGluePaths();
    p.conf = tmp.File("zepraid.conf");
    p.modules = tmp.File("modules");
    p.modprobe = tmp.File("modprobe");
    p.mtab = tmp.File("mtab");
    p.devnull = "/dev/null";
    KelHostGlueSetSleep([](unsigned int) {});
    // modprobe appends the module's line unless the name is "broken".
    Write("modprobe", "#!/bin/sh\n[ \"$1\" = broken ] || echo \"$1 1234 0 - Live 0x0\" >> " +
                          p.modules + "\n");
    chmod(p.modprobe.c_str(), 0755);
    Write("modules", "");
    cli_init_module_names();  // no file: back to the default list
  }
  void TearDown() override {
    KelHostGluePaths() = saved;
    cli_init_module_names();
  }
  void Write(const std::string& name, const std::string& t) { std::ofstream(tmp.File(name)) << t; }
};

TEST_F(HostGlueFixture, ModuleNamesComeFromRaidDriverLinesOrTheDefault) {
  std::string forty;
  std::vector<std::string> first31;
  for (int i = 0; i < 40; ++i) {
    forty += "raid_driver m" + std::to_string(i) + "\n";
    if (i < 31) first31.push_back("m" + std::to_string(i));
  }
  const struct {
    const char* what;
    std::string text;  // "-" for no file
    int count;
    std::vector<std::string> names;
  } cases[] = {
      {"no file", "-", 0, {"ZKELLDC"}},
      {"colon and blank separated keys, comments and other keys",
       "raid_driver: modA\n  raid_driver\tmodB # trailing\n# raid_driver: modC\n\n"
       "other_key: modD\nraid_driverX modE\nraid modF\n",
       3, {"modA", "modB", "modF"}},
      {"at most 31 names", forty, 31, first31},
      {"no name given", "raid_driver:\n", 0, {"ZKELLDC"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(tmp.File("zepraid.conf"));
    if (c.text != "-") Write("zepraid.conf", c.text);
    testing::internal::CaptureStdout();
    int n = cli_init_module_names();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(n, c.count);
    EXPECT_EQ(cli_module_names(), c.names);
  }
}

TEST_F(HostGlueFixture, UseCountComesFromTheModuleLine) {
  Write("modules", "ZKELLDCX 10 7 - Live\nZKELLDC 4096 3 - Live 0x0\n");
  EXPECT_EQ(cli_check_raid_mod("ZKELLDC"), 3);
  EXPECT_EQ(cli_check_raid_mod("ZKEL"), -1);
  std::filesystem::remove(tmp.File("modules"));
  testing::internal::CaptureStdout();
  EXPECT_EQ(cli_check_raid_mod("ZKELLDC"), 0);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("open file"), std::string::npos);
}

TEST_F(HostGlueFixture, InstallLoadsMissingModulesSkipsLoadedOnesAndFailsWhenNothingLoads) {
  Write("zepraid.conf", "raid_driver: modA\nraid_driver: modB\n");
  cli_init_module_names();
  Write("modules", "modB 1 0 - Live\n");
  EXPECT_EQ(cli_install_module(), 1);
  std::ifstream modules(tmp.File("modules"));
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(modules), {}),
            "modB 1 0 - Live\nmodA 1234 0 - Live 0x0\n");

  Write("zepraid.conf", "raid_driver broken\n");
  cli_init_module_names();
  testing::internal::CaptureStdout();
  EXPECT_EQ(cli_install_module(), 0);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("Load driver failed: "),
            std::string::npos);
}

TEST_F(HostGlueFixture, RootDeviceIsTheDeviceOnTheSlashLine) {
  // /dev/root is looked up in the kernel command line, else through the device numbers of
  // the root folder (here the temporary folder) in the block-device folder.
  KelHostPaths& p = KelHostGluePaths();
  p.cmdline = tmp.File("cmdline");
  p.sysDevBlock = tmp.path();
  p.rootDir = tmp.path();
  struct stat st {};
  ASSERT_EQ(stat(p.rootDir.c_str(), &st), 0);
  const std::string numbers =
      std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
  std::filesystem::create_symlink("../../block/sdq/sdq2", tmp.File(numbers));
  // mtab nullptr: no file.
  const struct { const char* mtab, *cmdline; int size, rc; const char* device; } cases[] = {
      {"proc /proc proc rw 0 0\n/dev/sda1 / ext4 rw 0 0\n/dev/sdb1 /home ext4 rw\n", "", 64, 1,
       "/dev/sda1"},
      {"/dev/sda1 / ext4 rw 0 0\n", "", 6, 1, "/dev/"},                  // cut to the buffer
      {"/dev/sda1 /boot ext4 /\nproc /proc proc rw\n", "", 64, 0, ""},  // "/" as 4th word
      {"/dev/sdb1 /boot ext4 rw\n/dev/sdb2 / ext4 rw\n", "", 64, 1, "/dev/sdb2"},
      {"/dev/root / ext4 rw\n", "ro root=/dev/sdc3 quiet\n", 64, 1, "/dev/sdc3"},
      {"/dev/root / ext4 rw\n", "ro root=UUID=1234 quiet\n", 64, 1, "/dev/sdq2"},
      {nullptr, "", 64, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mtab ? c.mtab : "no file");
    std::filesystem::remove(tmp.File("mtab"));
    if (c.mtab) Write("mtab", c.mtab);
    Write("cmdline", c.cmdline);
    char dev[64] = {0};
    EXPECT_EQ(GetLinuxDirectory(dev, c.size), c.rc);
    EXPECT_STREQ(dev, c.device);
  }
}

}  // namespace
