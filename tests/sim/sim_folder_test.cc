// The simulator's folder: sparse images, device nodes that follow the partition table and
// plugging, and operations from two processes that never lose one another's changes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

#include "sim/sim_ops.h"
#include "sim/sim_transport.h"
#include "tests/sim/sim_test_dir.h"

namespace {

std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

std::string AddDisk(const KelSimFolder& f, int channel, int side, uint64_t sectors, int port = -1) {
  KelSimDiskSpec spec;
  spec.channel = channel;
  spec.side = side;
  spec.port = port;
  spec.sectors = sectors;
  std::string name, err;
  EXPECT_TRUE(KelSimAddDisk(f, spec, &name, &err)) << err;
  return name;
}

}  // namespace

TEST(SimFolder, DiskImagesAreSparseAndSizedToCapacity) {
  SimTestDir t;
  std::string err;
  ASSERT_TRUE(KelSimInit(t.Sim(), 2, &err)) << err;
  KelSimFolder f(t.Sim());
  std::string name = AddDisk(f, 0, 0, 4ull << 30 >> 9);  // 4 GiB
  struct stat st;
  ASSERT_EQ(stat(f.ImagePath(name).c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 4ll << 30);
  EXPECT_LT(st.st_blocks * 512, 1 << 20);
}

TEST(SimFolder, InitRefusesAFolderThatHoldsAController) {
  SimTestDir t;
  std::string err;
  ASSERT_TRUE(KelSimInit(t.Sim(), 2, &err));
  EXPECT_FALSE(KelSimInit(t.Sim(), 2, &err));
  EXPECT_NE(err.find("already"), std::string::npos);
}

TEST(SimFolder, PartitionNodesFollowTheFirstSector) {
  SimTestDir t;
  std::string err;
  ASSERT_TRUE(KelSimInit(t.Sim(), 2, &err));
  KelSimFolder f(t.Sim());
  KelSimTransport tr(t.Sim());
  std::string sda = AddDisk(f, 0, 0, 4096);
  EXPECT_EQ(tr.ListNodes(), std::vector<std::string>{"sda"});

  unsigned char mbr[512] = {};
  mbr[446 + 4] = 0x83;       // first primary entry
  mbr[446 + 2 * 16 + 4] = 0x07;  // third
  mbr[510] = 0x55;
  mbr[511] = 0xAA;
  {
    std::fstream img(f.ImagePath(sda), std::ios::in | std::ios::out | std::ios::binary);
    img.write(reinterpret_cast<char*>(mbr), 512);
  }
  ASSERT_TRUE(KelSimSetRoot(f, sda, &err));  // any operation refreshes the nodes
  EXPECT_EQ(Sorted(tr.ListNodes()), (std::vector<std::string>{"sda", "sda1", "sda3"}));

  std::memset(mbr, 0, sizeof mbr);
  {
    std::fstream img(f.ImagePath(sda), std::ios::in | std::ios::out | std::ios::binary);
    img.write(reinterpret_cast<char*>(mbr), 512);
  }
  ASSERT_TRUE(KelSimSetRoot(f, sda, &err));
  EXPECT_EQ(tr.ListNodes(), std::vector<std::string>{"sda"});
}

TEST(SimFolder, UnplugRemovesTheNodeAndPlugBringsItBack) {
  SimTestDir t;
  std::string err;
  ASSERT_TRUE(KelSimInit(t.Sim(), 2, &err));
  KelSimFolder f(t.Sim());
  KelSimTransport tr(t.Sim());
  AddDisk(f, 0, 0, 4096);
  ASSERT_TRUE(KelSimAddHub(f, 1, 0, &err)) << err;
  std::string sdb = AddDisk(f, 1, 0, 4096, 3);
  ASSERT_TRUE(KelSimUnplug(f, sdb, &err)) << err;
  EXPECT_EQ(tr.ListNodes(), std::vector<std::string>{"sda"});
  EXPECT_FALSE(KelSimUnplug(f, sdb, &err));
  ASSERT_TRUE(KelSimPlug(f, sdb, 0, 1, -1, &err)) << err;
  EXPECT_EQ(Sorted(tr.ListNodes()), (std::vector<std::string>{"sda", "sdb"}));
}

TEST(SimFolder, TakenPositionsAndMissingHubsAreRefused) {
  SimTestDir t;
  std::string err;
  ASSERT_TRUE(KelSimInit(t.Sim(), 2, &err));
  KelSimFolder f(t.Sim());
  AddDisk(f, 0, 0, 4096);
  KelSimDiskSpec spec;
  spec.sectors = 4096;
  std::string name;
  EXPECT_FALSE(KelSimAddDisk(f, spec, &name, &err));  // channel 0 master taken
  EXPECT_FALSE(KelSimAddHub(f, 0, 0, &err));
  spec.channel = 1;
  spec.port = 0;
  EXPECT_FALSE(KelSimAddDisk(f, spec, &name, &err));
  EXPECT_NE(err.find("no device hub"), std::string::npos);
  spec.channel = 2;
  spec.port = -1;
  EXPECT_FALSE(KelSimAddDisk(f, spec, &name, &err));
}

TEST(SimFolder, TwoProcessesActingAtOnceLoseNoOperation) {
  SimTestDir t;
  std::string err;
  ASSERT_TRUE(KelSimInit(t.Sim(), 2, &err));
  KelSimFolder f(t.Sim());
  std::string sda = AddDisk(f, 0, 0, 4096);
  constexpr int kRounds = 40;
  // Each process bumps its own attribute's value once per round; a lost update shows as a
  // value short of the number of rounds.
  auto work = [&](uint8_t id) {
    for (int i = 0; i < kRounds; ++i) {
      bool ok = f.Transact(
          [&](KelSimState& s, bool* dirty, std::string*) {
            KelSimDisk* d = s.FindDisk(sda);
            bool found = false;
            for (auto& a : d->attrs)
              if (a.id == id) {
                a.value++;
                found = true;
              }
            if (!found) d->attrs.push_back({id, 1, 0});
            *dirty = true;
            return true;
          },
          &err);
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
  ASSERT_TRUE(KelSimSnapshot(f, &s, &err));
  int seen = 0;
  for (const auto& a : s.FindDisk(sda)->attrs)
    if (a.id == 200 || a.id == 201) {
      EXPECT_EQ(a.value, kRounds) << "attribute " << int(a.id);
      ++seen;
    }
  EXPECT_EQ(seen, 2);
}

TEST(SimFolder, MountTableNamesTheRootDisksFirstPartition) {
  SimTestDir t;
  std::string err;
  ASSERT_TRUE(KelSimInit(t.Sim(), 2, &err));
  KelSimFolder f(t.Sim());
  AddDisk(f, 0, 0, 4096);
  std::string sdb = AddDisk(f, 0, 1, 4096);
  ASSERT_TRUE(KelSimSetRoot(f, sdb, &err));
  std::ifstream in(f.MtabPath());
  std::string first;
  std::getline(in, first);
  EXPECT_EQ(first.rfind("/dev/sdb1 / ", 0), 0u) << first;
}
