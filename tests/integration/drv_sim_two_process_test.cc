// Two processes on one simulated controller: a forked child acts as the operator through
// the simulator's library (rewriting a configuration area, pulling and plugging a disk,
// changing SMART pages) while this process scans through the driver layer. Every scan read
// must succeed and every area must come back whole, never half old and half new.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "tests/integration/integ_fixture.h"

namespace {

using SimTwoProcesses = SimDriverTest;

constexpr int kOperatorRounds = 60;

// The operator's loop; returns the child's exit status (0 when every operation worked).
// Each round waits for one token from `scanFd`, written after each finished scan, so the
// operator never runs more than a round ahead of the scanner and every round overlaps a scan.
int Operator(const std::string& dir, const std::string& areaDisk, const std::string& hotDisk,
             int scanFd) {
  KelSimFolder f(dir);
  std::string err;
  for (int i = 0; i < kOperatorRounds; ++i) {
    char token = 0;
    if (read(scanFd, &token, 1) != 1) return 2;
    std::vector<unsigned char> area(KEL_CONF_BYTES, static_cast<unsigned char>(i + 1));
    if (!KelSimAreaImport(f, areaDisk, area, &err)) return 3;
    if (!KelSimUnplug(f, hotDisk, &err)) return 4;
    if (!KelSimSetSmart(f, areaDisk, i & 1, {{194, static_cast<uint8_t>(i), 0}}, &err)) return 5;
    if (!KelSimPlug(f, hotDisk, 1, 0, -1, &err)) return 6;
  }
  return 0;
}

TEST_F(SimTwoProcesses, ScansThroughTheDriverNeverFailOrTearWhileTheOperatorActs) {
  std::string sda = AddDisk(0, 0, -1, 8192, "STEADY");
  std::string sdb = AddDisk(0, 1, -1, 8192, "AREA");
  std::string sdc = AddDisk(1, 0, -1, 8192, "HOT");
  ASSERT_EQ(m_drv->Drv_Init(), 0);

  int pipeFd[2];
  ASSERT_EQ(pipe(pipeFd), 0);
  fflush(stdout);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(pipeFd[1]);
    _exit(Operator(SimDir(), sdb, sdc, pipeFd[0]));
  }
  // The read end stays open here too, so a token written after the child is gone never
  // raises SIGPIPE.

  int scans = 0, failures = 0, torn = 0, status = 0;
  // The pulled disk's node may be tried and dropped along the way; that chatter is expected.
  testing::internal::CaptureStdout();
  do {
    _Controller_Info ctl;
    _Channel_Info ch;
    _Device_Info dev;
    std::vector<uint8_t> area(KEL_CONF_BYTES);
    if (!m_op->GetIDEControllerInformation(0, &ctl)) ++failures;
    if (!m_op->GetChannelInformation(0, 0, &ch)) ++failures;
    if (!m_op->GetDeviceInformation(0, 0, 0, &dev) || AtaText(dev.szSerialNumber, 20) != "STEADY")
      ++failures;
    if (!m_op->ReadConfigData(0, 0, 4, area.data(), KEL_CONF_BYTES))
      ++failures;
    else if (std::count(area.begin(), area.end(), area[0]) != KEL_CONF_BYTES)
      ++torn;
    ++scans;
    char token = 1;
    if (scans <= kOperatorRounds && write(pipeFd[1], &token, 1) != 1) ++failures;
  } while (waitpid(child, &status, WNOHANG) != child);
  close(pipeFd[0]);
  close(pipeFd[1]);
  std::string chatter = testing::internal::GetCapturedStdout();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(failures, 0) << chatter;
  EXPECT_EQ(torn, 0);
  EXPECT_GE(scans, kOperatorRounds);  // the operator needed one finished scan per round

  // The folder is whole afterwards: the last area and the plugged disk are what the
  // operator left.
  std::vector<uint8_t> area(KEL_CONF_BYTES);
  ASSERT_NE(m_op->ReadConfigData(0, 0, 4, area.data(), KEL_CONF_BYTES), 0);
  EXPECT_EQ(area, std::vector<uint8_t>(KEL_CONF_BYTES, kOperatorRounds));
  _Device_Info dev;
  ASSERT_NE(m_op->GetDeviceInformation(0, 1, 0, &dev), 0);
  EXPECT_EQ(AtaText(dev.szSerialNumber, 20), "HOT");
}

}  // namespace
