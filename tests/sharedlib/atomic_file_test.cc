// Whole-file replacement: new and existing files, kept permissions, symbolic links, and
// failures that must leave the old file and no temporary file behind.
#include "sharedlib/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <tuple>

#include "tests/support/temp_dir.h"

namespace {

class AtomicFile : public ::testing::Test {
 protected:
  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
      names.insert(e.path().filename().string());
    return names;
  }
  static std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  static unsigned Mode(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 01000;
  }

  kel_test::TempDir dir;
};

TEST_F(AtomicFile, NewFileGetsItsModeLessTheUmaskAndAReplacedOneKeepsItsModeAndAnyLinkToIt) {
  const std::string text("ab\0cd", 5), real = dir.File("real"), link = dir.File("link");
  const mode_t old = umask(022);
  EXPECT_TRUE(KelReplaceFile(dir.File("f").c_str(), text.data(), text.size(), 0666));
  EXPECT_TRUE(KelReplaceFile(real.c_str(), std::string(5000, 'o').data(), 5000, 0600));
  umask(old);
  EXPECT_EQ(Slurp(dir.File("f")), text);
  EXPECT_EQ(Mode(dir.File("f")), 0644u);
  EXPECT_EQ(Mode(real), 0600u);
  ASSERT_EQ(chmod(real.c_str(), 0640), 0);
  ASSERT_EQ(symlink("real", link.c_str()), 0);
  ASSERT_TRUE(KelReplaceFile(link.c_str(), "new", 3, 0600));
  EXPECT_EQ(Slurp(real), "new");
  EXPECT_EQ(Mode(real), 0640u);
  struct stat st {};
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_TRUE(KelReplaceFile(real.c_str(), nullptr, 0));
  EXPECT_EQ(Slurp(real), "");
  // Skipping the flushes changes nothing that another process can see.
  ASSERT_TRUE(KelReplaceFile(link.c_str(), "fast", 4, 0600, KelReplaceDurability::kRenameOnly));
  EXPECT_TRUE(Slurp(real) == "fast" && Mode(real) == 0640u);
  EXPECT_EQ(Names(), (std::set<std::string>{"f", "link", "real"}));
}

TEST_F(AtomicFile, RefusedArgumentsAndMissingOrWrongTargetsFailWithErrnoAndLeaveNothing) {
  const std::string empty, file = dir.File("f"), missing = dir.File("missing/f"),
                           folder = dir.File("sub");
  const std::tuple<const char*, const char*, int> cases[] = {{nullptr, "x", EINVAL},
                                                             {empty.c_str(), "x", EINVAL},
                                                             {file.c_str(), nullptr, EINVAL},
                                                             {missing.c_str(), "x", ENOENT},
                                                             {folder.c_str(), "x", EISDIR}};
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  for (const auto& [path, data, err] : cases) {
    errno = 0;
    EXPECT_FALSE(KelReplaceFile(path, data, 1));
    EXPECT_EQ(errno, err) << (path != nullptr ? path : "null");
  }
  EXPECT_EQ(Names(), std::set<std::string>{"sub"});
}

// A file-size limit makes the write fail part-way, as a full disk would; it applies to
// privileged processes too.
TEST_F(AtomicFile, WriteFailingPartWayKeepsTheOldFileAndRemovesTheTemporary) {
  const std::string path = dir.File("f");
  std::ofstream(path) << "old contents";
  const std::string big(64 * 1024, 'n');
  struct rlimit saved, small;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  small = {4096, saved.rlim_max};
  auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  errno = 0;
  const bool ok = KelReplaceFile(path.c_str(), big.data(), big.size());
  const int err = errno;
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(ok);
  EXPECT_EQ(err, EFBIG);
  EXPECT_EQ(Slurp(path), "old contents");
  EXPECT_EQ(Names(), std::set<std::string>{"f"});
}

}  // namespace
