// kelsim through the real binary: the commands a script would run, their output, exit
// codes and single error lines, in a temporary folder.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "sim/sim_ops.h"
#include "tests/support/conf_area_builder.h"
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

  // Disks of `sectors` each, then one array of `type` over VD slot 0 of every one of them
  // (first sector 64, `length` sectors, stripe 16, member i at position i).
  void MakeArray(uint8_t type, int n, uint64_t sectors, uint64_t length) {
    ASSERT_EQ(Kelsim("init").code, 0);
    for (int i = 0; i < n; ++i)
      ASSERT_EQ(Kelsim("add-disk --channel " + std::to_string(i / 2) + " --position " +
                       (i % 2 ? "slave" : "master") + " --size " + std::to_string(sectors)).code, 0);
    std::vector<uint32_t> ids;
    for (int i = 0; i < n; ++i) ids.push_back(0x1000u * (i + 1));
    for (int i = 0; i < n; ++i) {
      bool mirrored = type == 9;
      auto area = kel_test::ConfAreaBuilder().Pd(ids[i]).Vd(0, {.raidType = type,
          .vdCount = static_cast<uint8_t>(n),
          .position = static_cast<uint8_t>(mirrored ? i % (n / 2) : i),
          .secondHalf = mirrored && i >= n / 2, .start = 64, .length = length,
          .stripeSectors = 16, .memberIds = ids}).Bytes();
      ASSERT_TRUE(kel_test::ImportConfArea(KELSIM_BIN, m_dir.File("sim"),
                                           "sd" + std::string(1, char('a' + i)), area,
                                           m_dir.File("area")));
    }
  }

  kel_test::TempDir m_dir;
};

std::string Program(const char* name) {
  for (const char* dir : {"/usr/sbin/", "/sbin/", "/usr/bin/"})
    if (access((std::string(dir) + name).c_str(), X_OK) == 0) return std::string(dir) + name;
  return "";
}

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

// A service listening on the folder hears of each disk that comes or goes, as the kernel
// would tell it: one datagram per change, sent before kelsim returns.
TEST_F(KelsimTool, AddUnplugAndPlugEachSendOneDeviceEventToTheFolderSocket) {
  using std::string_literals::operator""s;
  ASSERT_EQ(Kelsim("init").code, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const std::string path = m_dir.File("sim") + "/uevent";
  ASSERT_LT(path.size(), sizeof addr.sun_path);
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  int sock = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  const std::string dev = "/devices/pci0000:00/0000:03:00.0/host0/target0:0:1/0:0:1:0/block/sda";
  const struct { const char* args; std::string action; } steps[] = {
      {"add-disk --channel 1 --position master --size 1M", "add"},
      {"unplug sda", "remove"},
      {"plug sda --channel 1 --position slave", "add"},
  };
  for (const auto& s : steps) {
    ASSERT_EQ(Kelsim(s.args).code, 0) << s.args;
    char buf[1024];
    ssize_t n = recv(sock, buf, sizeof buf, MSG_DONTWAIT);
    ASSERT_GT(n, 0) << s.args;
    const std::string got(buf, static_cast<size_t>(n));
    const std::string want = s.action + "@" + dev + "\0ACTION="s + s.action + "\0DEVPATH="s + dev +
                             "\0SUBSYSTEM=block\0DEVNAME=sda\0DEVTYPE=disk\0SEQNUM="s;
    EXPECT_EQ(got.substr(0, want.size()), want) << s.args;
    EXPECT_EQ(got.back(), '\0') << s.args;
    EXPECT_LT(recv(sock, buf, sizeof buf, MSG_DONTWAIT), 0) << s.args;  // only one
  }
  close(sock);
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

TEST_F(KelsimTool, Raid5VolumeReadsThroughParityWithADiskPulledAndCheckNamesACorruptSector) {
  MakeArray(5, 3, 4096, 2000);
  // Row 5 keeps its parity on sda, its first data stripe on sdb: sdb's raw sector
  // 64 + 5 * 16 + 3 is logical sector 5 * 32 + 3.
  const struct { const char* args; int code; const char* out; } steps[] = {
      {"volume sda:0 info --json", 0, "\"level\":\"RAID 5\",\"raid_type\":5,\"stripe\":16,\"capacity\":4000"},
      {"volume sda:1 info", 1, "kelsim: sda:1 is not a VD of an array\n"},
      {"volume sda:0 write --seed 7", 0, ""},
      {"volume sda:0 check", 0, ""},
      {"write sdb --seed 1 --start 147 --count 1", 0, ""},
      {"volume sdc:0 check", 1, "kelsim: redundancy does not match at logical sector 163\n"},
  };
  std::string sum;
  for (const auto& s : steps) {
    if (std::string(s.args).rfind("write sdb", 0) == 0) {
      ToolRun before = Kelsim("volume sda:0 sum --json");
      ASSERT_EQ(Kelsim("unplug sdc").code, 0);
      ToolRun degraded = Kelsim("volume sda:0 sum --json");
      EXPECT_EQ(degraded.code, 0) << degraded.out;
      EXPECT_EQ(degraded.out, before.out);
      EXPECT_EQ(before.out.size(), 78u) << before.out;  // {"sha256":"<64 hex>"}
      ASSERT_EQ(Kelsim("plug sdc --channel 1 --position master").code, 0);
    }
    ToolRun r = Kelsim(s.args);
    EXPECT_EQ(r.code, s.code) << s.args << "\n" << r.out;
    EXPECT_NE(r.out.find(s.out), std::string::npos) << s.args << "\n" << r.out;
  }
}

TEST_F(KelsimTool, FileSystemImportedIntoARaid01VolumeComesBackClean) {
  std::string mke2fs = Program("mke2fs"), e2fsck = Program("e2fsck");
  if (mke2fs.empty() || e2fsck.empty()) GTEST_SKIP() << "mke2fs or e2fsck not installed";
  MakeArray(9, 4, 8192, 8000);
  std::string tree = m_dir.File("tree"), fs = m_dir.File("fs.img"), back = m_dir.File("back.img");
  ASSERT_EQ(mkdir(tree.c_str(), 0755), 0);
  std::ofstream(tree + "/hello.txt") << "written through the layout\n";
  ASSERT_TRUE(kel_test::conf_detail::Run({mke2fs, "-q", "-F", "-t", "ext2", "-b", "1024", "-d",
                                          tree, fs, "7000"}));
  ASSERT_EQ(Kelsim("volume sdb:0 import --file " + fs).code, 0);
  ASSERT_EQ(Kelsim("volume sdd:0 export --count 14000 --file " + back).code, 0);
  EXPECT_TRUE(kel_test::conf_detail::Run({e2fsck, "-f", "-n", back}));
  ASSERT_EQ(Kelsim("volume sda:0 check").code, 0);
}
