// kelsim through the real binary: the commands a script would run, their output, exit
// codes and single error lines, in a temporary folder.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "sim/sim_ops.h"
#include "sim/sim_transport.h"
#include "tests/sim/sim_test_dir.h"

namespace {

struct ToolRun {
  int code;
  std::string out;  // standard output and error together
};

class KelsimTool : public ::testing::Test {
 protected:
  ToolRun Kelsim(const std::string& args) {
    std::string cmd = std::string(KELSIM_BIN) + " --dir " + m_dir.Sim() + " " + args + " 2>&1";
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

  SimTestDir m_dir;
};

}  // namespace

TEST_F(KelsimTool, AddDiskPrintsNamesInAttachOrder) {
  ASSERT_EQ(Kelsim("init --channels 2").code, 0);
  ToolRun a = Kelsim("add-disk --channel 0 --position master --size 1G");
  EXPECT_EQ(a.code, 0);
  EXPECT_EQ(a.out, "sda\n");
  ASSERT_EQ(Kelsim("add-hub --channel 1 --position slave").code, 0);
  ToolRun b = Kelsim("add-disk --channel 1 --position slave --hub-port 3 --size 2048 --serial S2");
  EXPECT_EQ(b.out, "sdb\n");
  KelSimState s;
  std::string err;
  ASSERT_TRUE(KelSimSnapshot(KelSimFolder(m_dir.Sim()), &s, &err));
  ASSERT_EQ(s.disks.size(), 2u);
  EXPECT_EQ(s.disks[0].capacity, 2097152u);
  EXPECT_EQ(s.disks[1].serial, "S2");
  EXPECT_EQ(s.disks[1].port, 3);
}

TEST_F(KelsimTool, ErrorsExitNonZeroWithOneLine) {
  ToolRun r = Kelsim("list");
  EXPECT_NE(r.code, 0);
  EXPECT_EQ(r.out.find("kelsim: "), 0u);
  ASSERT_EQ(Kelsim("init").code, 0);
  r = Kelsim("add-disk --channel 0 --position middle --size 1M");
  EXPECT_NE(r.code, 0);
  EXPECT_EQ(r.out, "kelsim: --position must be master or slave\n");
  r = Kelsim("unplug sdq");
  EXPECT_EQ(r.out, "kelsim: no disk sdq\n");
  EXPECT_NE(Kelsim("frobnicate").code, 0);
  EXPECT_NE(Kelsim("fail sda area").code, 0);
}

TEST_F(KelsimTool, HelpIsAvailableForToolAndCommands) {
  ToolRun r = Kelsim("--help");
  EXPECT_EQ(r.code, 0);
  for (const char* c : {"init", "add-disk", "add-hub", "unplug", "plug", "list", "area-export",
                        "area-import", "smart", "fail", "root"})
    EXPECT_NE(r.out.find(c), std::string::npos) << c;
  r = Kelsim("fail --help");
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("--always"), std::string::npos);
}

TEST_F(KelsimTool, ListJsonShowsPlugState) {
  ASSERT_EQ(Kelsim("init").code, 0);
  ASSERT_EQ(Kelsim("add-disk --channel 0 --position slave --size 64M").code, 0);
  ASSERT_EQ(Kelsim("unplug sda").code, 0);
  ToolRun r = Kelsim("list --json");
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("\"name\":\"sda\",\"attached\":false"), std::string::npos) << r.out;
  ASSERT_EQ(Kelsim("plug sda --channel 1 --position master").code, 0);
  r = Kelsim("list --json");
  EXPECT_NE(r.out.find("\"attached\":true,\"channel\":1,\"position\":\"master\""), std::string::npos)
      << r.out;
}

TEST_F(KelsimTool, AreaFileRoundTripsThroughTheDisk) {
  ASSERT_EQ(Kelsim("init").code, 0);
  ASSERT_EQ(Kelsim("add-disk --channel 0 --position master --size 1M").code, 0);
  std::string in = m_dir.Path() + "/in.bin", out = m_dir.Path() + "/out.bin";
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

TEST_F(KelsimTool, FaultSmartAndRootReachTheState) {
  ASSERT_EQ(Kelsim("init").code, 0);
  ASSERT_EQ(Kelsim("add-disk --channel 0 --position master --size 1M").code, 0);
  ASSERT_EQ(Kelsim("fail sda identity --count 2").code, 0);
  ASSERT_EQ(Kelsim("fail sda 0x0C --always").code, 0);
  ASSERT_EQ(Kelsim("smart sda --status 1 --attr 5=10/36 --attr 194=40/0").code, 0);
  ASSERT_EQ(Kelsim("root sda").code, 0);
  KelSimState s;
  std::string err;
  ASSERT_TRUE(KelSimSnapshot(KelSimFolder(m_dir.Sim()), &s, &err));
  const KelSimDisk* d = s.FindDisk("sda");
  EXPECT_EQ(d->faults.at(0x04), 2);
  EXPECT_EQ(d->faults.at(0x0C), -1);
  EXPECT_EQ(d->smartStatus, 1);
  EXPECT_EQ(s.root, "sda");
  ASSERT_EQ(Kelsim("fail sda area --clear").code, 0);
  ASSERT_TRUE(KelSimSnapshot(KelSimFolder(m_dir.Sim()), &s, &err));
  EXPECT_EQ(s.FindDisk("sda")->faults.count(0x0C), 0u);
}

TEST_F(KelsimTool, ChannelHubCountAndCapabilityReachTheState) {
  ASSERT_EQ(Kelsim("init --channels 3").code, 0);
  ASSERT_EQ(Kelsim("add-hub --channel 0 --position master --report-count 3").code, 0);
  ASSERT_EQ(Kelsim("channel 2 --usable 0 --cable 5").code, 0);
  ASSERT_EQ(Kelsim("capability 0x6").code, 0);
  EXPECT_NE(Kelsim("channel 0 --usable 0").code, 0);  // the hub is in the way
  EXPECT_NE(Kelsim("add-disk --channel 2 --position master --size 1M").code, 0);
  KelSimState s;
  std::string err;
  ASSERT_TRUE(KelSimSnapshot(KelSimFolder(m_dir.Sim()), &s, &err));
  EXPECT_EQ(s.hubs[0].reportedCount, 3);
  EXPECT_FALSE(s.channels[2].usable);
  EXPECT_EQ(s.channels[2].cable, 5);
  EXPECT_TRUE(s.channels[0].usable);
  EXPECT_EQ(s.capability, 6u);
}
