// kelctl's RAID commands: their help and usage errors, and whole invocations against a
// fake service holding three disks and two arrays, in readable and JSON form.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <memory>
#include <tuple>

#include "tests/client/raid_replies.h"
#include "tests/client/kelctl_in_process.h"
#include "tools/kelctl/kelctl_app.h"
#include "tools/kelctl/kelctl_raid_commands.h"
#include "webext/client/client_info.h"
#include "webext/client/client_raid_query.h"

using namespace kel_test;

namespace {

_zr_device_info Disk(unsigned int index, const char* model, uint64_t sectors, uint16_t magic) {
  _zr_device_info d{};
  d.index = index;
  strcpy(d.modelName, model);
  memset(d.serialNumber, 'A' + index, sizeof(d.serialNumber));  // full width, no zero byte
  d.SetCapacity(sectors);
  d.SetRealCapacity(sectors);
  d.bytesPerSector = 512;
  d.chan_index = static_cast<uint8_t>(index / 2);
  d.master = index % 2 == 0;
  d.PortNum = 255;
  d.magicNum = magic;
  d.array_index = 255;
  d.array_position = 255;
  return d;
}

_zr_array_info Array(unsigned int index, uint8_t type, uint8_t disks, const char* name,
                     uint64_t sectors, uint16_t magic) {
  _zr_array_info a{};
  a.index = index;
  a.raidType = type;
  a.diskNum = disks;
  strcpy(a.arrayName, name);
  a.SetCapacity(sectors);
  a.magicNum = magic;
  a.version = type == KEL_RAID_PD ? 255 : 16;
  return a;
}

class KelctlRaid : public ::testing::Test {
 protected:
  void SetUp() override {
    bClearRevBuf = false;
    disks[0] = Disk(0, "KELSIM A", 2097152, 0x0101);  // 1 GiB
    disks[2] = Disk(2, "KELSIM B", 2097152, 0x0202);
    disks[4] = Disk(4, "KELSIM C", 4194304, 0x0404);  // 2 GiB
    disks[2].status = KEL_PD_FLAG_HEALTH_BAD;
    arrays[5] = Array(5, KEL_RAID_1, 2, "mirror", 2097152 - 4096, 0x0505);
    arrays[5].status = KEL_RA_STATUS_MISSING | KEL_RA_STATUS_NEED_SYNC;
    arrays[5].nSyncMigReplacing = 1;
    arrays[7] = Array(7, KEL_RAID_PD, 1, "", 4194304, 0x0707);
    members[{5, 0}] = 0;
    members[{5, 1}] = 2;
    members[{7, 255}] = 4;
    vds[{3, 0, 1}] = {2048, 1048576};  // disk 0 holds its VD in slot 1
    vds[{4, 5, 0}] = {2048, 1048576};
    vds[{4, 5, 1}] = {0, 1048576};
  }
  void TearDown() override { server.reset(); }

  // The fake service: a login, then the RAID queries answered from the tables above, until
  // the client logs its session out.
  void Serve() {
    server = std::make_unique<FakeServer>([this](FakeConn& conn) {
      conn.SendWelcome();
      Packet p;
      while (conn.Receive(&p, std::chrono::seconds(5))) {
        requests.push_back(p);
        if (p.code == 250) {
          Bytes id(21, 0);
          id[0] = '5';
          id[20] = 0x15;
          conn.Send(250, Reply(p.payload.at(0), 0, id));
        } else if (p.code == 255) {
          return;  // the logout of the own session
        } else {
          conn.Send(p.code, Answer(p.code, p.payload));
        }
      }
    });
  }

  Bytes Answer(unsigned char code, const Bytes& req) {
    const unsigned char sub = req.at(0), a = req.at(1), b = req.at(2);
    if (code == 10 && sub == 1) {
      _Kel_Index_Map map{};
      for (const auto& [i, d] : disks) map.map_Low64 |= 1ull << i;
      return MovedReply(req, 4, &map.map_Low64, 8);
    }
    if (code == 10 && sub == 2 && disks.count(a)) return MovedReply(req, 20, disks[a]);
    if (code == 10 && sub == 4 && members.count({a, b}))
      return MovedReply(req, 20, disks[members[{a, b}]]);
    if (code == 11 && sub == 2) {
      Bytes out = Reply(sub, 0, req);
      out[9] = 2;
      out[10] = 5;
      out[11] = 7;
      return out;
    }
    if (code == 11 && sub == 3 && arrays.count(a)) return MovedReply(req, 4, arrays[a]);
    if (code == 12 && vds.count({sub, a, b})) {
      KelVDInfo v{};
      v.SetStartSector(vds[{sub, a, b}].first);
      v.SetCapacity(vds[{sub, a, b}].second);
      v.pd_index = sub == 3 ? a : 0;
      v.vd_index_on_pd = sub == 3 ? b : 0;
      v.array_index = 5;
      v.array_position = sub == 4 ? b : 0;
      return MovedReply(req, 4, v);
    }
    if (code == 17) return CodeReply(req, 0);
    if (code == 13) return CodeReply(req, partitionCode);
    if (code == 16 && sub == 5) return Reply(sub, 803, req);
    if (code == 16 && sub == 4) {
      Bytes out = Reply(sub, 0, req);
      out[17] = req.at(4) == 2 ? KEL_SMART_BELOW_THRESHOLD : KEL_SMART_HEALTHY;
      return out;
    }
    return CodeReply(req, 200);
  }

  int Run(std::vector<std::string> args) {
    int status = RunKelctlInProcess(server ? server->port() : 1, args,
                                    {{"KEL_PASSWORD", "pelum"}}, &out, &err);
    if (server) {
      EXPECT_TRUE(server->Join());
    }
    return status;
  }

  // The RAID requests as "code/sub" words.
  std::string Queries() const {
    std::string text;
    for (const Packet& p : requests) {
      if (p.code == 250 || p.code == 255) continue;
      text += (text.empty() ? "" : " ") + std::to_string(p.code) + "/" +
              std::to_string(p.payload.at(0));
    }
    return text;
  }

  std::map<unsigned int, _zr_device_info> disks;
  std::map<unsigned int, _zr_array_info> arrays;
  std::map<std::pair<unsigned int, unsigned int>, unsigned int> members;  // (array, pos) -> disk
  // (sub-code, disk or array, slot or position) -> first sector and length of the VD
  std::map<std::tuple<unsigned, unsigned, unsigned>, std::pair<uint64_t, uint64_t>> vds;
  int partitionCode = 0;
  std::unique_ptr<FakeServer> server;
  std::vector<Packet> requests;  // written by the script; read after Join
  std::string out, err;
};

TEST_F(KelctlRaid, EveryRaidCommandHasItsHelp) {
  for (const KelctlCommandSpec& spec : KelctlRaidCommands()) {
    std::vector<std::string> args;
    for (const char* p = spec.words; *p;) {
      const char* end = strchr(p, ' ');
      args.emplace_back(p, end ? end : p + strlen(p));
      p = end ? end + 1 : p + strlen(p);
    }
    args.push_back("--help");
    EXPECT_EQ(Run(args), 0) << spec.words;
    EXPECT_EQ(out.rfind(std::string("Usage: kelctl [OPTIONS] ") + spec.synopsis + "\n", 0), 0u)
        << out;
  }
  EXPECT_EQ(Run({"smart", "--help"}), 0);
  EXPECT_NE(out.find("kelctl smart check"), std::string::npos) << out;
}

TEST_F(KelctlRaid, UsageErrorsExitWithTwo) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"disk"}, "disk takes a disk index N, --phy CTRL:CHAN:POS, or --array A --pos P"},
      {{"disk", "1", "--phy", "0:0:0"}, "disk takes a disk index N"},
      {{"disk", "--array", "1"}, "disk takes a disk index N"},
      {{"disk", "--phy", "0:1"}, "--phy takes CTRL:CHAN:POS, not '0:1'"},
      {{"disk", "256"}, "the disk index must be a number from 0 to 255, not '256'"},
      {{"array", "x"}, "the array index must be a number from 0 to 255, not 'x'"},
      {{"vds"}, "vds takes either --disk D or --array A"},
      {{"vds", "--array", "1", "--slot", "0"}, "--slot goes with --disk"},
      {{"vds", "--disk", "1", "--slot", "2"}, "--slot takes 0 or 1, not '2'"},
      {{"partitions", "--disk", "1", "--array", "2"}, "partitions takes either --disk D or"},
      {{"free"}, "wrong number of arguments for 'free'; usage: kelctl free DISK"},
      {{"smart", "status"}, "wrong number of arguments for 'smart status'"},
      {{"smart", "heat"}, "unknown command 'smart heat'"},
      {{"disks", "--slot", "1"}, "option --slot does not apply to 'disks'"},
      {{"reload-driver", "--host-user", "root"},
       "--host-user and --host-password-file go with --reboot"},
      {{"reload-driver", "--reboot", "--host-user", std::string(20, 'r')},
       "--host-user needs a name of 1 to 19 bytes"},
  };
  for (const auto& [args, message] : cases) {
    EXPECT_EQ(Run(args), 2) << args[0];
    EXPECT_EQ(err.rfind("kelctl: " + message, 0), 0u) << err;
    EXPECT_EQ(out, "");
  }
}

TEST_F(KelctlRaid, LongHostPasswordIsAUsageErrorBeforeAnyConnection) {
  char path[] = "/tmp/kelctl_raid_pw_XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  const std::string pw(20, 'p');
  ASSERT_EQ(write(fd, pw.data(), pw.size()), static_cast<ssize_t>(pw.size()));
  close(fd);
  EXPECT_EQ(Run({"reload-driver", "--reboot", "--host-password-file", path}), 2);
  EXPECT_EQ(err, "kelctl: the host password is longer than 19 bytes\n");
  unlink(path);
}

TEST_F(KelctlRaid, DisksReadable) {
  Serve();
  EXPECT_EQ(Run({"disks"}), 0) << err;
  EXPECT_EQ(Queries(), "10/1 10/2 10/2 10/2");
  EXPECT_EQ(out,
            "DISK  MODEL     SERIAL                            SIZE     SECTORS  LOCATION    VDS  "
            "STATUS      MAGIC\n"
            "0     KELSIM A  " + std::string(32, 'A') +
            "  1.0 GiB  2097152  0:0 master  0    ok          0x0101\n"
            "2     KELSIM B  " + std::string(32, 'C') +
            "  1.0 GiB  2097152  0:1 master  0    health bad  0x0202\n"
            "4     KELSIM C  " + std::string(32, 'E') +
            "  2.0 GiB  4194304  0:2 master  0    ok          0x0404\n");
}

TEST_F(KelctlRaid, DisksJsonCarriesEveryFieldAndTheMagic) {
  Serve();
  EXPECT_EQ(Run({"--json", "disks"}), 0) << err;
  EXPECT_EQ(out.rfind(R"({"command":"disks","ok":true,"map_Low64":21,"map_High64":0,"disks":[)",
                      0),
            0u)
      << out;
  EXPECT_NE(out.find(R"("index":2,"magicNum":514,"serialNumber":")" + std::string(32, 'C') +
                     R"(","firmwareRevison":"","modelName":"KELSIM B")"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find(R"("capacityLow":4194304,"capacityHigh":0,"capacity":4194304,)"),
            std::string::npos);
  EXPECT_NE(out.find(R"("status":4,)"), std::string::npos);
  EXPECT_EQ(out.find('\n'), out.size() - 1);  // one document, one line
  EXPECT_EQ(out.back(), '\n');
}

TEST_F(KelctlRaid, ArraysInTheServicesOrder) {
  Serve();
  EXPECT_EQ(Run({"arrays"}), 0) << err;
  EXPECT_EQ(Queries(), "11/2 11/3 11/3");
  EXPECT_EQ(out,
            "ARRAY  NAME    TYPE        DISKS  SIZE        SECTORS  STRIPE  STATUS            "
            "               TASK           MAGIC\n"
            "5      mirror  RAID 1      2      1022.0 MiB  2093056  -       degraded, needs "
            "synchronisation  synchronising  0x0505\n"
            "7      -       plain disk  1      2.0 GiB     4194304  -       normal            "
            "               none           0x0707\n");
}

TEST_F(KelctlRaid, ArraysJson) {
  Serve();
  EXPECT_EQ(Run({"arrays", "--json"}), 0) << err;
  EXPECT_EQ(out.rfind(R"({"command":"arrays","ok":true,"order":[5,7],"arrays":[{"index":5,)"
                      R"("magicNum":1285,"arrayName":"mirror","status":5,"raidType":1,)"
                      R"("diskNum":2,)",
                      0),
            0u)
      << out;
  EXPECT_NE(out.find(R"("GUID":[0,0,0,0,0,0,0,0],"nSyncMigReplacing":1})"), std::string::npos);
}

TEST_F(KelctlRaid, ArrayShowsItsFieldsAndMembers) {
  Serve();
  EXPECT_EQ(Run({"array", "5"}), 0) << err;
  EXPECT_EQ(Queries(), "11/3 10/4 10/4");
  EXPECT_NE(out.find("array 5\n  name:                  mirror\n  type:                  RAID 1\n"
                     "  status:                degraded, needs synchronisation (0x0005)\n"
                     "  task:                  synchronising\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("  magic number:          0x0505 (1285)\n"), std::string::npos) << out;
  EXPECT_NE(out.find("POSITION  DISK  MODEL     SERIAL"), std::string::npos) << out;
  EXPECT_NE(out.find("\n1         2     KELSIM B  "), std::string::npos) << out;
}

TEST_F(KelctlRaid, ADegradedArrayShowsItsMissingMember) {
  members.erase({5, 0});
  Serve();
  EXPECT_EQ(Run({"array", "5"}), 0) << err;
  EXPECT_NE(out.find("\n0         -     -         -"), std::string::npos) << out;
  EXPECT_NE(out.find("missing"), std::string::npos) << out;
  EXPECT_NE(out.find("\n1         2     KELSIM B  "), std::string::npos) << out;
}

TEST_F(KelctlRaid, ArrayOfAPlainDiskAsksForPosition255) {
  Serve();
  EXPECT_EQ(Run({"--json", "array", "7"}), 0) << err;
  EXPECT_EQ(Queries(), "11/3 10/4");
  EXPECT_EQ(Hex(Bytes(requests[2].payload.begin(), requests[2].payload.begin() + 3)), "04 07 ff");
  EXPECT_NE(out.find(R"("members":[{"position":255,"disk":{"index":4,"magicNum":1028,)"),
            std::string::npos)
      << out;
}

TEST_F(KelctlRaid, MissingArrayNamesTheCode) {
  Serve();
  EXPECT_EQ(Run({"array", "9"}), 1);
  EXPECT_EQ(err,
            "kelctl: array: array 9 failed: 200 (no such disk or array, or index out of range)\n");
  EXPECT_EQ(out, "");
}

TEST_F(KelctlRaid, StaleMagicIsSaidSo) {
  partitionCode = 2;
  Serve();
  EXPECT_EQ(Run({"partitions", "--disk", "2"}), 1);
  EXPECT_EQ(Queries(), "10/2 13/0");
  // The reference carries the magic just read.
  EXPECT_EQ(Hex(Bytes(requests[2].payload.begin(), requests[2].payload.begin() + 12)),
            "00 00 00 00 02 00 00 00 02 02 00 00");
  EXPECT_NE(err.find("partitions failed: 2 (stale magic number"), std::string::npos) << err;
}

TEST_F(KelctlRaid, SmartCheckShowsTheUnhealthyDiskAndExitsWithOne) {
  Serve();
  EXPECT_EQ(Run({"smart", "check"}), 1);
  EXPECT_EQ(Queries(), "16/5 10/1 10/2 16/4 10/2 16/4 10/2 16/4");
  EXPECT_NE(out.find("2     KELSIM B  " + std::string(32, 'C') + "  attribute below threshold\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("at least one disk is unhealthy\n"), std::string::npos);
  EXPECT_EQ(err, "kelctl: smart check failed: 803 (at least one disk is unhealthy)\n");
}

TEST_F(KelctlRaid, SmartCheckJsonIsOneDocumentWithTheDisks) {
  Serve();
  EXPECT_EQ(Run({"--json", "smart", "check"}), 1);
  EXPECT_EQ(out.rfind(R"({"command":"smart check","ok":false,"stage":"smart check","code":803,)",
                      0),
            0u)
      << out;
  EXPECT_NE(out.find(R"("healthy":false,"disks":[{"index":0,"code":0,"magicNum":257,"status":0,)"),
            std::string::npos)
      << out;
}

TEST_F(KelctlRaid, FreeReadsTheDiskBothVdSlotsAndTheProtectedAreas) {
  Serve();
  EXPECT_EQ(Run({"free", "0"}), 0) << err;
  EXPECT_EQ(Queries(), "10/2 12/3 12/3 17/17");
  EXPECT_EQ(Hex(requests[3].payload).substr(0, 8), "03 00 01");  // slot 1 of disk 0
  EXPECT_NE(out.find("0        2047     2048     1.0 MiB    free\n"
                     "2048     1050623  1048576  512.0 MiB  VD 0 (slot 1, array 5 position 0)\n"
                     "1050624  2097119  1046496  511.0 MiB  free\n"),
            std::string::npos)
      << out;
}

TEST_F(KelctlRaid, VdsOfAnArrayWalkPositionsUntilEveryMemberIsFound) {
  Serve();
  EXPECT_EQ(Run({"--json", "vds", "--array", "5"}), 0) << err;
  EXPECT_EQ(Queries(), "11/3 12/4 12/4");
  EXPECT_NE(out.find(R"("target":"array","index":5,"vds":[{"VDName":"",)"), std::string::npos)
      << out;
  EXPECT_NE(out.find(R"("array_position":1,"array_index":5,"Capacity":1048576,"StartSector":0})"),
            std::string::npos)
      << out;
}

TEST_F(KelctlRaid, DiskByPhysicalAddressSendsItsThreeBytes) {
  Serve();
  EXPECT_EQ(Run({"disk", "--phy", "0:1:1"}), 1);
  EXPECT_EQ(Hex(requests[1].payload).substr(0, 11), "03 00 01 01");
  EXPECT_EQ(err, "kelctl: disk failed: 200 (no such disk or array, or index out of range)\n");
}

}  // namespace
