// kelsim through the real binary: the commands a script would run, their output, exit
// codes and single error lines, in a temporary folder.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "sim/sim_ops.h"
#include "tests/support/temp_dir.h"

namespace {

struct ToolRun {
  int code;
  std::string out;  // standard output and error together
};

class KelsimTool : public ::testing::Test {
 protected:
  ToolRun Kelsim(const std::string& args) {
    std::string cmd =
        std::string(KELSIM_BIN) + " --dir " + m_dir.File("sim") + " " + args + " 2>&1";
    ToolRun r{-1, ""};
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int status = pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
  }

  kel_test::TempDir m_dir;
};

}  // namespace

TEST_F(KelsimTool, ScriptedCommandsGiveTheirOutputExitCodeAndOneErrorLine) {
  // whole: `out` is the whole output, else a part of it.
  const struct { const char* args; int code; const char* out; bool whole; } steps[] = {
      {"--help", 0, "  add-disk --channel C --position master|slave [--hub-port P]", false},
      {"fail --help", 0, "--always", false},
      {"list", 1, "kelsim: ", false},  // no controller yet
      {"frobnicate", 1, "kelsim: unknown command frobnicate (see --help)\n", true},
      {"init --channels 3", 0, "", true},
      {"add-disk --channel 0 --position middle --size 1M", 1,
       "kelsim: --position must be master or slave\n", true},
      {"add-disk --channel 0 --position master --size 1G", 0, "sda\n", true},
      {"add-hub --channel 1 --position master --report-count 3", 0, "", true},
      {"add-hub --channel 0 --position slave", 0, "", true},
      {"add-disk --channel 1 --position master --hub-port 3 --size 2048 --serial S2", 0, "sdb\n",
       true},
      {"list --json", 0, "\"hub_port\":3,\"device_number\":11,\"serial\":\"S2\"", false},
      {"channel 2 --usable 0 --cable 5", 0, "", true},
      {"add-disk --channel 2 --position master --size 1M", 1, "kelsim: channel 2 is not usable\n",
       true},
      {"channel 1 --usable 0", 1, "kelsim: channel 1 master is in use\n", true},  // by the hub
      {"capability 0x6", 0, "", true},
      {"unplug sdq", 1, "kelsim: no disk sdq\n", true},
      {"fail sda area", 1, "kelsim: give exactly one of --count N, --always, --clear\n", true},
      {"fail sda identity --count 2", 0, "", true},
      {"fail sda 0x0C --always", 0, "", true},
      {"smart sda --status 1 --attr 5=10/36 --attr 194=40/0", 0, "", true},
      {"root sda", 0, "", true},
      {"unplug sdb", 0, "", true},
      {"list --json", 0, "\"name\":\"sdb\",\"attached\":false", false},
      {"plug sdb --channel 1 --position slave", 0, "", true},
      {"list --json", 0, "\"name\":\"sdb\",\"attached\":true,\"channel\":1,\"position\":\"slave\"",
       false},
      {"list --json", 0, "\"capability\":6,\"channel_count\":3,\"hotplug\":true,\"root\":\"sda\"",
       false},
      {"list --json", 0, "{\"index\":2,\"usable\":false,\"cable\":5}", false},
      {"list --json", 0,
       "\"sectors\":2097152,\"smart_status\":1,\"faults\":{\"0x04\":2,\"0x0C\":-1}", false},
      {"fail sda area --clear", 0, "", true},
      {"list --json", 0, "\"faults\":{\"0x04\":2}", false},
  };
  for (const auto& s : steps) {
    ToolRun r = Kelsim(s.args);
    EXPECT_EQ(r.code, s.code) << s.args << "\n" << r.out;
    if (s.whole) EXPECT_EQ(r.out, s.out) << s.args;
    else EXPECT_NE(r.out.find(s.out), std::string::npos) << s.args << "\n" << r.out;
  }

  // The one setting a listing does not show.
  KelSimState st;
  std::string err;
  ASSERT_TRUE(KelSimSnapshot(KelSimFolder(m_dir.File("sim")), &st, &err)) << err;
  EXPECT_EQ(st.hubs[0].reportedCount, 3);
}

TEST_F(KelsimTool, AreaFileRoundTripsThroughTheDiskAndAShortFileIsRefused) {
  ASSERT_EQ(Kelsim("init").code, 0);
  ASSERT_EQ(Kelsim("add-disk --channel 0 --position master --size 1M").code, 0);
  std::string in = m_dir.File("in.bin"), out = m_dir.File("out.bin");
  std::string data(3072, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i % 251);
  std::ofstream(in, std::ios::binary) << data;
  ASSERT_EQ(Kelsim("area-import sda " + in).code, 0);
  ASSERT_EQ(Kelsim("area-export sda " + out).code, 0);
  std::ifstream f(out, std::ios::binary);
  std::string back((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  EXPECT_EQ(back, data);
  std::ofstream(in, std::ios::binary | std::ios::trunc) << "short";
  EXPECT_NE(Kelsim("area-import sda " + in).code, 0);
}
