// The simulator's folder: sparse images, refused positions, and operations from two
// processes that never lose one another's changes. Device nodes, unplugging, plugging and
// the mount table are checked through the driver in tests/integration and tests/engine.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "sim/sim_ops.h"
#include "tests/support/temp_dir.h"

namespace {

class SimFolder : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(KelSimInit(m_sim, 2, &m_err)) << m_err; }

  std::string AddDisk(uint64_t sectors = 4096) {
    KelSimDiskSpec spec;
    spec.sectors = sectors;
    std::string name;
    EXPECT_TRUE(KelSimAddDisk(m_f, spec, &name, &m_err)) << m_err;
    return name;
  }

  kel_test::TempDir m_dir;
  const std::string m_sim = m_dir.File("sim");
  KelSimFolder m_f{m_sim};
  std::string m_err;
};

TEST_F(SimFolder, InitRefusesAFolderThatHoldsAControllerAndImagesAreSparse) {
  EXPECT_FALSE(KelSimInit(m_sim, 2, &m_err));
  EXPECT_NE(m_err.find("already"), std::string::npos);
  std::string name = AddDisk(4ull << 30 >> 9);  // 4 GiB
  struct stat st;
  ASSERT_EQ(stat(m_f.ImagePath(name).c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 4ll << 30);
  EXPECT_LT(st.st_blocks * 512, 1 << 20);
}

TEST_F(SimFolder, TakenPositionsAndMissingHubsAreRefused) {
  AddDisk();
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
  std::string sda = AddDisk();
  constexpr int kRounds = 40;
  // Each process bumps its own attribute's value once per round; a lost update shows as a
  // value short of the number of rounds.
  auto work = [&](uint8_t id) {
    for (int i = 0; i < kRounds; ++i) {
      auto bump = [&](KelSimState& s, bool* dirty, std::string*) {
        auto& attrs = s.FindDisk(sda)->attrs;
        auto a = std::find_if(attrs.begin(), attrs.end(), [&](auto& x) { return x.id == id; });
        if (a == attrs.end()) attrs.push_back({id, 1, 0});
        else a->value++;
        *dirty = true;
        return true;
      };
      if (!m_f.Transact(bump, &m_err)) return false;
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
