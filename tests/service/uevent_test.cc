// Device events: the message rules on messages in the kernel's format, and the listener
// thread on a datagram socket fed by the simulator's sender.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "driver/host_glue.h"
#include "service/notify/kel_hp_listen.h"
#include "service/notify/kel_pci_fun.h"
#include "service/notify/kel_uevent_parse.h"
#include "sim/sim_uevent.h"
#include "tests/support/temp_dir.h"

namespace {

using V = KelUEventVerdict;
using std::string_literals::operator""s;

const std::string kPath = "/devices/pci0000:00/0000:03:00.0/host2/target2:0:0/2:0:0:0/block/";
// As the kernel sends it: header, then KEY=VALUE fields, each ended by a zero byte.
std::string Event(const std::string& action, const std::string& tail) {
  return action + "@" + kPath + tail + "\0ACTION="s + action + "\0DEVPATH="s + kPath + tail +
         "\0SUBSYSTEM=block\0DEVNAME="s + tail + "\0SEQNUM=2214\0"s;
}

TEST(UEventParse, ActionNodeAndControllerDecideTheVerdict) {
  const struct { std::string msg; V verdict; KelUEventAction action; const char* device; } cases[] = {
      {Event("add", "sdb"), V::kOk, KelUEventAction::kAdd, "/dev/sdb"},
      {Event("remove", "sdc"), V::kOk, KelUEventAction::kRemove, "/dev/sdc"},
      {Event("add", "sdb/sdb1"), V::kOk, KelUEventAction::kAdd, "/dev/sdb"},  // its whole disk
      {Event("add", "sr0"), V::kOk, KelUEventAction::kAdd, "/dev/sr0"},
      {Event("change", "sdb"), V::kOtherAction, KelUEventAction::kNone, ""},
      {Event("change", "sdb") + "MODEL=address\0"s, V::kOtherAction, KelUEventAction::kNone, ""},
      {Event("add", "loop0"), V::kNoDisk, KelUEventAction::kAdd, ""},
      {"add@/devices/pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0/block/sda\0"s,
       V::kOtherDevice, KelUEventAction::kAdd, ""},
      {Event("add", "sdb").replace(kPath.find("0000:03"), 12, "0000:03:00.01"), V::kOtherDevice,
       KelUEventAction::kAdd, ""},
      {Event("add", "sd" + std::string(24, 'z')), V::kOk, KelUEventAction::kAdd,
       "/dev/sdzzzzzzzzzzzzzzzzzzzzzzzz"},  // 31 characters and the terminator: fits
      {Event("add", "sd" + std::string(25, 'z')), V::kNameTooLong, KelUEventAction::kAdd, ""},
      {"libudev\0ACTION=add\0"s, V::kNoHeader, KelUEventAction::kNone, ""},
      {"", V::kEmpty, KelUEventAction::kNone, ""},
  };
  for (const auto& c : cases) {
    KelUEvent ev;
    EXPECT_EQ(KelParseUEvent(c.msg.data(), c.msg.size(), "0000:03:00.0", &ev), c.verdict) << c.msg;
    if (c.verdict == V::kOk) {
      EXPECT_EQ(ev.action, c.action) << c.msg;
    }
    EXPECT_STREQ(ev.device, c.device) << c.msg;
  }
}

TEST(UEventParse, NoBytePastTheLengthIsReadAndNoPciFunctionMatchesNothing) {
  std::string msg = Event("add", "sdb");
  KelUEvent ev;
  // Cut inside the header, before the controller's part of the path: not its disk.
  EXPECT_EQ(KelParseUEvent(msg.data(), std::strlen("add@/devices/pci0000:00/"), "0000:03:00.0", &ev),
            V::kNoDisk);
  EXPECT_EQ(KelParseUEvent(msg.data(), msg.size(), "", &ev), V::kOtherDevice);
}

TEST(UEventParse, TheSimulatorsMessageIsAControllerDisk) {
  std::string msg = KelSimUEventMessage("remove", "sdd", 1, 7);
  KelUEvent ev;
  EXPECT_EQ(KelParseUEvent(msg.data(), msg.size(), kSimPciFunction, &ev), V::kOk);
  EXPECT_STREQ(ev.device, "/dev/sdd");
}

TEST(PciFun, FirstFunctionEntryOfTheDriverFolder) {
  kel_test::TempDir tmp;
  std::string err;
  ASSERT_TRUE(KelSimCreatePciFunction(tmp.path(), &err)) << err;
  mkdir((KelSimPciDriverDir(tmp.path()) + "/module").c_str(), 0755);
  char name[16];
  EXPECT_TRUE(GetPciFun(KelSimPciDriverDir(tmp.path()), name, sizeof name));
  EXPECT_STREQ(name, kSimPciFunction);
  EXPECT_FALSE(GetPciFun(KelSimPciDriverDir(tmp.path()), name, 12));  // does not fit
  EXPECT_FALSE(GetPciFun(tmp.File("missing"), name, sizeof name));
}

TEST(HpListen, EachControllerDiskEventCallsBackOnceAndStopEndsTheThread) {
  kel_test::TempDir tmp;
  std::string err;
  ASSERT_TRUE(KelSimCreatePciFunction(tmp.path(), &err)) << err;
  KelHostPaths saved = KelHostGluePaths();
  KelHostGluePaths().pciDriver = KelSimPciDriverDir(tmp.path());
  std::atomic<int> calls{0};
  {
    KelHpListen listen([&calls] { ++calls; }, KelSimUEventPath(tmp.path()));
    ASSERT_TRUE(listen.StartListen());
    for (const std::string& m : {KelSimUEventMessage("add", "sda", 0, 1), Event("add", "sdb"),
                                 Event("change", "sda"), KelSimUEventMessage("remove", "sda", 0, 2)})
      ASSERT_TRUE(KelSimSendUEvent(tmp.path(), m, &err)) << err;
    // Datagrams keep their order: once the last one counts, the others have been read.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (calls < 3 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    listen.StopListen();
    EXPECT_FALSE(listen.running());
  }
  EXPECT_EQ(calls, 3);  // the change event is read and dropped
  struct stat st;
  EXPECT_NE(stat(KelSimUEventPath(tmp.path()).c_str(), &st), 0);  // the socket file is gone
  KelHostGluePaths() = saved;
}

}  // namespace
