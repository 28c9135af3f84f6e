// Whole-file replacement: new and existing files, kept permissions, symbolic links, and
// failures that must leave the old file and no temporary file behind.
#include "sharedlib/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

class AtomicFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kel_atomic_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    chmod(dir_.c_str(), 0700);
    for (const std::string& name : Names()) unlink((dir_ + "/" + name).c_str());
    rmdir(dir_.c_str());
  }

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    DIR* d = opendir(dir_.c_str());
    if (d == nullptr) return names;
    while (dirent* e = readdir(d)) {
      std::string n = e->d_name;
      if (n != "." && n != "..") names.push_back(n);
    }
    closedir(d);
    return names;
  }

  static std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  static void Put(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }

  std::string dir_;
};

TEST_F(AtomicFile, CreatesANewFileWithTheGivenContents) {
  std::string path = dir_ + "/f";
  std::string text("ab\0cd", 5);
  ASSERT_TRUE(KelReplaceFile(path.c_str(), text.data(), text.size()));
  EXPECT_EQ(Slurp(path), text);
  EXPECT_EQ(Names(), std::vector<std::string>{"f"});
}

TEST_F(AtomicFile, NewFileModeIsLimitedByTheUmask) {
  std::string path = dir_ + "/f";
  mode_t old = umask(022);
  bool ok = KelReplaceFile(path.c_str(), "x", 1, 0666);
  umask(old);
  ASSERT_TRUE(ok);
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);

  std::string secret = dir_ + "/s";
  ASSERT_TRUE(KelReplaceFile(secret.c_str(), "x", 1, 0600));
  ASSERT_EQ(stat(secret.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(AtomicFile, ReplacesLongerContentsCompletelyAndKeepsTheMode) {
  std::string path = dir_ + "/f";
  Put(path, std::string(5000, 'o'));
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  ASSERT_TRUE(KelReplaceFile(path.c_str(), "new", 3, 0600));
  EXPECT_EQ(Slurp(path), "new");
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(Names().size(), 1u);
}

TEST_F(AtomicFile, EmptyContentsGiveAnEmptyFile) {
  std::string path = dir_ + "/f";
  Put(path, "old");
  ASSERT_TRUE(KelReplaceFile(path.c_str(), nullptr, 0));
  EXPECT_EQ(Slurp(path), "");
}

TEST_F(AtomicFile, ASymbolicLinkStaysAndItsTargetIsReplaced) {
  std::string real = dir_ + "/real";
  std::string link = dir_ + "/link";
  Put(real, "old");
  ASSERT_EQ(symlink("real", link.c_str()), 0);
  ASSERT_TRUE(KelReplaceFile(link.c_str(), "new", 3));
  struct stat st;
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(Slurp(real), "new");
}

TEST_F(AtomicFile, MissingFolderFailsWithErrnoSet) {
  std::string path = dir_ + "/missing/f";
  errno = 0;
  EXPECT_FALSE(KelReplaceFile(path.c_str(), "x", 1));
  EXPECT_EQ(errno, ENOENT);
  EXPECT_TRUE(Names().empty());
}

TEST_F(AtomicFile, NullOrEmptyPathIsRefused) {
  errno = 0;
  EXPECT_FALSE(KelReplaceFile(nullptr, "x", 1));
  EXPECT_EQ(errno, EINVAL);
  EXPECT_FALSE(KelReplaceFile("", "x", 1));
  EXPECT_FALSE(KelReplaceFile((dir_ + "/f").c_str(), nullptr, 1));
}

TEST_F(AtomicFile, ReadOnlyFolderFailsAndKeepsTheOldFile) {
  std::string path = dir_ + "/f";
  Put(path, "old");
  ASSERT_EQ(chmod(dir_.c_str(), 0555), 0);
  int probe = open((dir_ + "/probe").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
  if (probe >= 0) {
    close(probe);
    GTEST_SKIP() << "running with the right to write into read-only folders";
  }
  errno = 0;
  EXPECT_FALSE(KelReplaceFile(path.c_str(), "new", 3));
  EXPECT_EQ(errno, EACCES);
  EXPECT_EQ(Slurp(path), "old");
}

// A file-size limit makes the write fail part-way, as a full disk would; it applies to
// privileged processes too.
TEST_F(AtomicFile, WriteFailingPartWayKeepsTheOldFileAndRemovesTheTemporary) {
  std::string path = dir_ + "/f";
  Put(path, "old contents");
  std::string big(64 * 1024, 'n');

  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct rlimit small = saved;
  small.rlim_cur = 4096;
  auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  errno = 0;
  bool ok = KelReplaceFile(path.c_str(), big.data(), big.size());
  int err = errno;
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(ok);
  EXPECT_EQ(err, EFBIG);
  EXPECT_EQ(Slurp(path), "old contents");
  EXPECT_EQ(Names(), std::vector<std::string>{"f"});
}

TEST_F(AtomicFile, TargetThatIsAFolderFailsAndLeavesNoTemporary) {
  std::string path = dir_ + "/sub";
  ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
  EXPECT_FALSE(KelReplaceFile(path.c_str(), "x", 1));
  EXPECT_EQ(Names(), std::vector<std::string>{"sub"});
  rmdir(path.c_str());
}

}  // namespace
