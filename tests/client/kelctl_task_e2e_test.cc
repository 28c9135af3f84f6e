// Background work end to end: the real kelsrv on a simulated controller with 32 MiB disks,
// driven through kelctl and the raw task command, the data checked through kelsim.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "service/task/task_record.h"
#include "tests/client/kelctl_e2e_fixture.h"
#include "tests/process/raw_client.h"

using namespace kel_test;

namespace {

class TaskE2e : public KelctlE2e {
 protected:
  void MakeSim() override {
    ASSERT_TRUE(Kelsim({"init", "--channels", "2"}));
    // sdd is too small to take the place of a member.
    for (const char* spec : {"sda0master32M", "sdb0slave32M", "sdc1master32M", "sdd1slave16M"}) {
      const std::string s(spec), position = s.substr(4, s.size() - 7);
      ASSERT_TRUE(Kelsim({"add-disk", "--channel", s.substr(3, 1), "--position", position,
                          "--size", s.substr(s.size() - 3), "--serial", "SIM-" + s.substr(0, 3)}));
    }
  }

  // The index the service gives the simulated disk `name` ("sdc").
  std::string DiskIndex(const std::string& name) {
    return std::to_string(FieldOf(Kelctl({"--json", "disks"}).out, "\"SIM-" + name + "\"", "index"));
  }

  // Command code 1 on the logged-in raw client; the record the reply carries.
  KelAsyncTaskData Smr(RawClient& c, uint8_t op, int array, uint16_t magic, int* ret) {
    KelAsyncTaskData r;
    r.uTaskCode = KEL_TASK_SYNC_RAID1;
    r.uOp = op;
    r.uIndex1 = static_cast<uint8_t>(array);
    r.wdMagic1 = magic;
    std::vector<unsigned char> req(sizeof r);
    std::memcpy(req.data(), &r, sizeof r);
    Reply reply = c.Exchange(1, req, 20000);
    *ret = reply.RetCode();
    if (reply.data.size() >= 5 + sizeof r) std::memcpy(&r, reply.data.data() + 5, sizeof r);
    return r;
  }

  // `key` of the JSON object in `json` that contains `marker`; -1 when there is none.
  static long long FieldOf(const std::string& json, const std::string& marker, const char* key) {
    const size_t at = json.find(marker);
    return at == std::string::npos ? -1 : JsonNumber(json.substr(json.rfind('{', at)), key);
  }

  std::string Out(std::vector<std::string> args) {
    std::string out;
    EXPECT_TRUE(Kelsim(args, &out)) << out;
    return out;
  }
};

// A mirror loses a member, is repaired with a blank disk and synchronised by a client's
// task, stopped and started again on the way: the pattern written before is what the array
// holds afterwards, on both copies.
TEST_F(TaskE2e, ARepairedMirrorIsSynchronisedAcrossAStopAndKeepsItsData) {
  // A client stays logged in throughout, so the service leaves the work to its clients.
  RawClient guest(port);
  ASSERT_EQ(guest.Login("guest", "rovak").RetCode(), 0);
  KelctlRun made = Kelctl({"--json", "create", "raid1", "--name", "m", "--disks", "0,1", "--size", "24"});
  ASSERT_EQ(made.status, 0) << made.out << made.err;
  ASSERT_TRUE(Kelsim({"volume", "sda:0", "write", "--seed", "12"}));
  const std::string sum = Out({"volume", "sda:0", "sum"});
  const std::string sectors = std::to_string(JsonNumber(Out({"volume", "sda:0", "info", "--json"}), "capacity"));

  ASSERT_TRUE(Kelsim({"unplug", "sdb"}));
  ASSERT_EQ(Kelctl({"rescan"}).status, 0);
  const std::string blank = DiskIndex("sdc");
  KelctlRun repaired = Kelctl({"repair", "m", "--disk", blank});
  ASSERT_EQ(repaired.status, 0) << repaired.out << repaired.err;
  const auto raw = [&](const char* disk) { return Out({"sum", disk, "--count", sectors}); };
  EXPECT_NE(raw("sda"), raw("sdc")) << "the new member starts blank";

  // The repair rebuilds the model: the array's index and magic number are read anew.
  const std::string info = Kelctl({"--json", "arrays"}).out;
  const int index = static_cast<int>(FieldOf(info, "\"arrayName\":\"m\"", "index"));
  const auto magic = static_cast<uint16_t>(FieldOf(info, "\"arrayName\":\"m\"", "magicNum"));
  ASSERT_GE(index, 0) << info;
  RawClient c(port);  // after the last kelctl call: a second login of the same user ends the first
  ASSERT_EQ(c.Login("admin", "pelum").RetCode(), 0);
  int ret = -1;
  Smr(c, KEL_TASK_OP_START, index, magic, &ret);
  ASSERT_EQ(ret, 0) << info;
  KelAsyncTaskData q;
  // Stopped part-way, the task answers at once; started again it goes on from where it was.
  ASSERT_TRUE(WaitFor([&] { return Smr(c, KEL_TASK_OP_QUERY, index, magic, &ret).uPercent >= 5; }));
  const auto asked = std::chrono::steady_clock::now();
  q = Smr(c, KEL_TASK_OP_STOP, index, magic, &ret);
  EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(2));
  ASSERT_EQ(ret, 0);
  const uint16_t reached = Smr(c, KEL_TASK_OP_QUERY, index, magic, &ret).uPercent;
  EXPECT_EQ(ret, KEL_TASK_IS_STOPPED);
  EXPECT_GE(reached, 5);
  Smr(c, KEL_TASK_OP_START, index, magic, &ret);
  ASSERT_EQ(ret, 0);
  EXPECT_GE(Smr(c, KEL_TASK_OP_QUERY, index, magic, &ret).uPercent, reached);
  ASSERT_TRUE(WaitFor([&] {
    q = Smr(c, KEL_TASK_OP_QUERY, index, magic, &ret);
    return ret != 0;
  }, std::chrono::seconds(120)));
  EXPECT_EQ(ret, KEL_TASK_FINISHED) << srv->Output();
  EXPECT_EQ(q.uPercent, 100);
  std::string check;
  EXPECT_TRUE(Kelsim({"volume", "sda:0", "check"}, &check)) << check;
  EXPECT_EQ(Out({"volume", "sda:0", "sum"}), sum);
  EXPECT_EQ(raw("sda"), raw("sdc"));
}

// A member of a mirror is replaced while the array stays in use: prepared, copied by a
// client's task and waited for through kelctl. The array's data is unchanged and lives on
// the new disk; the old one leaves the array blank.
TEST_F(TaskE2e, AMirrorMemberIsReplacedOnlineOntoAFitBlankDiskOnly) {
  RawClient guest(port);  // a client stays logged in: the service starts no work of its own
  ASSERT_EQ(guest.Login("guest", "rovak").RetCode(), 0);
  KelctlRun made = Kelctl({"create", "raid1", "--name", "m", "--disks", "0,1", "--size", "24"});
  ASSERT_EQ(made.status, 0) << made.out << made.err;
  ASSERT_TRUE(Kelsim({"volume", "sda:0", "write", "--seed", "7"}));
  const std::string sum = Out({"volume", "sda:0", "sum"});
  const std::string from = DiskIndex("sda");
  const std::string failed = "kelctl: replace prepare failed: ";
  const struct {
    const char* to;
    int status;       // 2: kelctl refuses the command line itself
    std::string err;  // the start of stderr
  } refused[] = {{"sdb", 1, failed + "215"},  // a member: in use
                 {"sdd", 1, failed + "208"},  // too small for the source's VD
                 {"sda", 2, "kelctl: --from and --to must name two different disks"}};
  for (const auto& r : refused) {
    const KelctlRun run = Kelctl({"replace", "prepare", "--from", from, "--to", DiskIndex(r.to)});
    EXPECT_EQ(run.status, r.status) << r.to;
    EXPECT_EQ(run.err.rfind(r.err, 0), 0u) << r.to << ": " << run.err;
  }

  const std::string to = DiskIndex("sdc");
  // A prepared replacement can be given up and prepared again.
  for (const char* step : {"prepare", "withdraw", "prepare"}) {
    const KelctlRun run = Kelctl({"replace", step, "--from", from, "--to", to});
    ASSERT_EQ(run.status, 0) << step << ": " << run.out << run.err;
  }
  const KelctlRun run = Kelctl({"task", "start", "replace", "--from", from, "--to", to});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  const KelctlRun wait = Kelctl({"task", "wait", "replace", "--from", from, "--to", to,
                                 "--timeout", "120"});
  ASSERT_EQ(wait.status, 0) << wait.out << wait.err << srv->Output();
  std::string check;
  EXPECT_TRUE(Kelsim({"volume", "sdc:0", "check"}, &check)) << check;
  EXPECT_EQ(Out({"volume", "sdc:0", "sum"}), sum);
  EXPECT_EQ(Out({"volume", "sdb:0", "sum"}), sum);
  EXPECT_FALSE(Kelsim({"volume", "sda:0", "info"})) << "the old member still holds a VD";
}

}  // namespace
