// The SG_IO transport on a temporary folder: which entries it lists, and how it reports a
// missing node and a node that is not a SCSI device. No real device node is ever opened.
#include "driver/sgio_transport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "tests/support/temp_dir.h"

namespace {

struct SgIoFixture : testing::Test {
  kel_test::TempDir tmp;
  const std::string dir = tmp.path();
  void SetUp() override { ASSERT_FALSE(dir.empty()); }
};

TEST_F(SgIoFixture, ListsFilesButNotDirectories) {
  std::ofstream(dir + "/sda") << "x";
  std::ofstream(dir + "/sda1") << "x";
  std::filesystem::create_directory(dir + "/sdz");
  KelSgIoTransport t(dir);
  std::vector<std::string> names = t.ListNodes();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"sda", "sda1"}));
}

TEST_F(SgIoFixture, MissingNodeIsNoNodeAndPlainFileFailsTheIoctl) {
  std::ofstream(dir + "/sda") << "x";
  KelSgIoTransport t(dir);
  unsigned char cdb[10] = {0xFF, 0x17, 0x5A};
  alignas(4096) static unsigned char buf[4096];
  EXPECT_EQ(t.Send("sdb", cdb, buf, sizeof(buf)), KelDrvSendResult::kNoNode);
  EXPECT_EQ(t.Send("sda", cdb, buf, sizeof(buf)), KelDrvSendResult::kFailed);
  t.WakeNodes();  // opens and closes what exists, nothing else
}

TEST_F(SgIoFixture, UnreadableFolderListsNothing) {
  KelSgIoTransport t(dir + "/missing");
  testing::internal::CaptureStdout();
  EXPECT_TRUE(t.ListNodes().empty());
  testing::internal::GetCapturedStdout();
}

}  // namespace
