// The simulator's folder: sparse images, device nodes that follow the partition table,
// refused positions, and operations from two processes that never lose one another's
// changes. Unplugging, plugging and the mount table are checked through the driver in
// tests/integration.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "sim/sim_ops.h"
#include "sim/sim_transport.h"
#include "tests/sim/sim_test_dir.h"

namespace {

class SimFolder : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(KelSimInit(m_dir.Sim(), 2, &m_err)) << m_err; }

  std::string AddDisk(int channel, int side, uint64_t sectors = 4096, int port = -1) {
    KelSimDiskSpec spec;
    spec.channel = channel;
    spec.side = side;
    spec.port = port;
    spec.sectors = sectors;
    std::string name;
    EXPECT_TRUE(KelSimAddDisk(m_f, spec, &name, &m_err)) << m_err;
    return name;
  }
  std::vector<std::string> Nodes() {
    std::vector<std::string> v = KelSimTransport(m_dir.Sim()).ListNodes();
    std::sort(v.begin(), v.end());
    return v;
  }

  SimTestDir m_dir;
  KelSimFolder m_f{m_dir.Sim()};
  std::string m_err;
};

TEST_F(SimFolder, InitRefusesAFolderThatHoldsAControllerAndImagesAreSparse) {
  EXPECT_FALSE(KelSimInit(m_dir.Sim(), 2, &m_err));
  EXPECT_NE(m_err.find("already"), std::string::npos);
  std::string name = AddDisk(0, 0, 4ull << 30 >> 9);  // 4 GiB
  struct stat st;
  ASSERT_EQ(stat(m_f.ImagePath(name).c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 4ll << 30);
  EXPECT_LT(st.st_blocks * 512, 1 << 20);
}

TEST_F(SimFolder, PartitionNodesFollowTheFirstSector) {
  std::string sda = AddDisk(0, 0);
  EXPECT_EQ(Nodes(), std::vector<std::string>{"sda"});
  unsigned char mbr[512] = {};
  mbr[446 + 4] = 0x83;           // first primary entry
  mbr[446 + 2 * 16 + 4] = 0x07;  // third
  mbr[510] = 0x55;
  mbr[511] = 0xAA;
  for (bool partitioned : {true, false}) {
    if (!partitioned) mbr[510] = 0;
    std::fstream img(m_f.ImagePath(sda), std::ios::in | std::ios::out | std::ios::binary);
    img.write(reinterpret_cast<char*>(mbr), 512);
    img.close();
    ASSERT_TRUE(KelSimSetRoot(m_f, sda, &m_err));  // any operation refreshes the nodes
    using Names = std::vector<std::string>;
    EXPECT_EQ(Nodes(), (partitioned ? Names{"sda", "sda1", "sda3"} : Names{"sda"}));
  }
}

TEST_F(SimFolder, TakenPositionsAndMissingHubsAreRefused) {
  AddDisk(0, 0);
  KelSimDiskSpec spec;
  spec.sectors = 4096;
  std::string name;
  EXPECT_FALSE(KelSimAddDisk(m_f, spec, &name, &m_err));  // channel 0 master taken
  EXPECT_FALSE(KelSimAddHub(m_f, 0, 0, &m_err));
  spec.channel = 1;
  spec.port = 0;
  EXPECT_FALSE(KelSimAddDisk(m_f, spec, &name, &m_err));
  EXPECT_NE(m_err.find("no device hub"), std::string::npos);
  spec.channel = 2;
  spec.port = -1;
  EXPECT_FALSE(KelSimAddDisk(m_f, spec, &name, &m_err));
}

TEST_F(SimFolder, TwoProcessesActingAtOnceLoseNoOperation) {
  std::string sda = AddDisk(0, 0);
  constexpr int kRounds = 40;
  // Each process bumps its own attribute's value once per round; a lost update shows as a
  // value short of the number of rounds.
  auto work = [&](uint8_t id) {
    for (int i = 0; i < kRounds; ++i) {
      bool ok = m_f.Transact(
          [&](KelSimState& s, bool* dirty, std::string*) {
            KelSimDisk* d = s.FindDisk(sda);
            auto a = std::find_if(d->attrs.begin(), d->attrs.end(),
                                  [&](const auto& x) { return x.id == id; });
            if (a == d->attrs.end()) d->attrs.push_back({id, 1, 0});
            else a->value++;
            *dirty = true;
            return true;
          },
          &m_err);
      if (!ok) return false;
    }
    return true;
  };
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(work(200) ? 0 : 1);
  EXPECT_TRUE(work(201));
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  KelSimState s;
  ASSERT_TRUE(KelSimSnapshot(m_f, &s, &m_err));
  int seen = 0;
  for (const auto& a : s.FindDisk(sda)->attrs)
    if (a.id == 200 || a.id == 201) {
      EXPECT_EQ(a.value, kRounds) << "attribute " << int(a.id);
      ++seen;
    }
  EXPECT_EQ(seen, 2);
}

}  // namespace
