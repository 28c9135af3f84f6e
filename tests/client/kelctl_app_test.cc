// Whole kelctl invocations (KelctlMain) against a fake service that holds one controller
// with a device hub, four disks and two arrays: the requests each command sends, its
// readable and JSON output, the session every command opens and ends, and the exit
// statuses.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <tuple>

#include "tests/client/fake_server.h"
#include "tools/kelctl/kelctl_app.h"
#include "webext/client/client_info.h"
#include "webext/client/client_raid_query.h"

using namespace kel_test;

namespace {

_zr_device_info Disk(unsigned int index, const char* model, uint64_t sectors, uint16_t magic) {
  _zr_device_info d{};
  d.index = index;
  strcpy(d.modelName, model);
  memset(d.serialNumber, 'A' + index % 26, sizeof(d.serialNumber));  // full width, no zero
  d.SetCapacity(sectors);
  d.bytesPerSector = 512;
  d.chan_index = static_cast<uint8_t>(index / 2);
  d.master = index % 2 == 0;
  d.magicNum = magic;
  d.array_index = d.array_position = 255;
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

// The reply to a RAID query as the service builds it: return code 0 and the request moved
// five bytes up, with `record` written where the request had its byte `at`.
template <typename T>
Bytes MovedReply(const Bytes& request, size_t at, const T& record) {
  Bytes out = Reply(request.at(0), 0, request);
  memcpy(out.data() + 5 + at, &record, sizeof(record));
  return out;
}

Bytes With(Bytes bytes, size_t at, const Bytes& part) {
  std::copy(part.begin(), part.end(), bytes.begin() + static_cast<long>(at));
  return bytes;
}

// A request as "code/length" and its bytes in hex, trailing zero bytes left out and runs
// of zero bytes written as 0*N.
std::string Render(const Packet& p) {
  Bytes b = p.payload;
  while (!b.empty() && b.back() == 0) b.pop_back();
  std::string s = std::to_string(p.code) + "/" + std::to_string(p.payload.size());
  for (size_t i = 0; i < b.size();) {
    size_t zeros = 0;
    while (b[i + zeros] == 0) ++zeros;
    if (zeros > 1) {
      s += " 0*" + std::to_string(zeros);
      i += zeros;
    } else {
      char hex[4];
      snprintf(hex, sizeof(hex), " %02x", b[i++]);
      s += hex;
    }
  }
  return s;
}

class Kelctl : public ::testing::Test {
 protected:
  void SetUp() override {
    bClearRevBuf = false;
    disks[0] = Disk(0, "KELSIM A", 2097152, 0x0101);  // 1 GiB
    disks[2] = Disk(2, "KELSIM B", 2097152, 0x0202);
    disks[4] = Disk(4, "KELSIM C", 4194304, 0x0404);  // 2 GiB
    disks[65] = Disk(65, "KELSIM D", 2097152, 0x4141);
    disks[2].status = KEL_PD_FLAG_HEALTH_BAD;
    disks[65].deviceRoot = 1;
    disks[65].PortNum = 1;
    arrays[5] = Array(5, KEL_RAID_1, 2, "mirror", 2097152 - 4096, 0x0505);
    arrays[5].status = KEL_RA_STATUS_MISSING | KEL_RA_STATUS_NEED_SYNC;
    arrays[5].nSyncMigReplacing = 1;
    arrays[5].GUID[0] = 0x100, arrays[5].GUID[1] = 0x101;
    arrays[7] = Array(7, KEL_RAID_PD, 1, "", 4194304, 0x0707);
    members[{5, 1}] = 2;  // position 0 of the mirror is missing
    members[{7, 255}] = 4;
    auto vd = [](uint64_t start, uint8_t disk, uint8_t slot, uint8_t pos) {
      KelVDInfo v{};
      v.SetStartSector(start);
      v.SetCapacity(1048576);
      v.pd_index = disk;
      v.vd_index_on_pd = slot;
      v.array_index = 5;
      v.array_position = pos;
      return v;
    };
    vds[{3, 0, 1}] = vds[{4, 5, 0}] = vd(2048, 0, 1, 0);  // disk 0 holds its VD in slot 1
    vds[{4, 5, 1}] = vd(0, 2, 0, 1);
    partitions.count = 1;
    strcpy(partitions.names[0], "sdb1");
    controller.deviceID = 0x3114;
    strcpy(controller.chipName, "SiI 3114");
    controller.channel_Num = 2;
    controller.bSupportRAID5 = 1;
    strcpy(hub.DeviceHubName, "PM");
    hub.nValidDeviceNum = 3;
    hub.nMaxDeviceNum = 5;
    const std::string log = "Mon~INFO~a \"b\"\nTue~ERROR~c\n";
    // Over its limit at 5000000000 bytes, nine lines.
    local[1] = Cat({BigEndian32(1), BigEndian32(1), BigEndian32(705032704), BigEndian32(9)});
    local[3] = Cat({BigEndian32(2), BigEndian32(static_cast<unsigned>(log.size())),
                    Bytes(log.begin(), log.end())});
    local[4] = {1};
    local[7] = BigEndian32(71582);
    local[9] = Cat({Bytes{0, 112}, Bytes(112, 0)});
  }

  // The fake service: the welcome, then every request answered until the client ends its
  // own session, which closes the connection as the service does.
  void Serve() {
    requests.clear();
    server = std::make_unique<FakeServer>([this](FakeConn& conn) {
      conn.SendWelcome();
      Packet p;
      while (conn.Receive(&p, std::chrono::seconds(5))) {
        requests.push_back(p);
        if (p.code == 255 && p.payload == Bytes{0, '5', 0}) return;
        conn.Send(p.code, Answer(p.code, p.payload));
      }
    });
  }

  Bytes Answer(unsigned char code, const Bytes& req) {
    Bytes r = req;
    r.resize(std::max<size_t>(r.size(), 8));
    const unsigned char sub = r[0], a = r[1], b = r[2];
    const Bytes moved = Reply(sub, 0, req);
    switch (code) {
      case 250: return Reply(sub, loginCode, Cat({{'5'}, Bytes(19, 0), {0x15}}));
      case 251: return Reply(sub, 0, {0x15});
      case 255: return Reply(sub, 0, local[sub]);
      case 7: return sub == 2 ? MovedReply(req, 4, controller) : With(moved, 6, {1});
      case 8: {
        _zr_channel_info c{};
        c.ctrlerIndex = a;
        c.index = b;
        c.io_Base = 0x170 + b;
        c.bMaster_Exist = b == 1 ? KEL_CHAN_POS_HUB : KEL_CHAN_POS_DISK;
        return MovedReply(req, 4, c);
      }
      case 9: return MovedReply(req, 4, hub);
      case 10:
        if (sub == 1) return With(moved, 9, {0x15, 0, 0, 0, 0, 0, 0, 0, 2});  // 0, 2, 4 and 65
        if (sub == 2 && disks.count(a)) return MovedReply(req, 20, disks[a]);
        if (sub == 4 && members.count({a, b})) return MovedReply(req, 20, disks[members[{a, b}]]);
        break;
      case 11:
        if (sub == 2) return With(moved, 9, {2, 5, 7});  // two arrays: 5, then 7
        if (sub == 3 && arrays.count(a)) return MovedReply(req, 4, arrays[a]);
        break;
      case 12:
        if (vds.count({sub, a, b})) return MovedReply(req, 4, vds[{sub, a, b}]);
        break;
      case 13: return r[4] == 65 ? Reply(sub, 2) : MovedReply(req, 12, partitions);  // 65: stale
      case 14:
      case 15: return Reply(sub, 0);
      case 16:
        if (sub == 5) return Reply(sub, 803, req);
        if (sub == 4)  // disk 2 has an attribute below its threshold
          return With(moved, 17, {r[4] == 2 ? KEL_SMART_BELOW_THRESHOLD : KEL_SMART_HEALTHY});
        // A page of revision 16 with attribute 5: flags 0x33, 100, 99, raw 0x01020304.
        return With(moved, 17, {0x10, 0, 5, 0x33, 0, 100, 99, 4, 3, 2, 1});
      case 17:  // disk 0: one protected area, 524288 (0x80000) sectors from 1050624 (0x100800)
        if (a != 0) return Reply(sub, 0);
        return Reply(sub, 0, {17, 0, 1, 0, 0, 8, 16, 0, 0, 0, 0, 0, 0, 0, 8, 0, 0, 0, 0, 0});
    }
    return Reply(sub, 200);
  }

  // Runs kelctl's main in this process against the fake service (without one, on a port
  // it never reaches), with its environment from `env` and no terminal to prompt on.
  int Run(std::vector<std::string> args) {
    bClearRevBuf = false;  // as in a kelctl process of its own
    args.insert(args.begin(), {"--port", std::to_string(server ? server->port : 1)});
    out.clear();
    err.clear();
    int status = KelctlMain(
        args,
        [this](const char* name) -> const char* {
          auto it = env.find(name);
          return it == env.end() ? nullptr : it->second.c_str();
        },
        [](const std::string&, std::string*, std::string* error) {
          *error = "no terminal to ask for the password on";
          return false;
        },
        &out, &err);
    if (server) server->Join();
    return status;
  }

  // The requests from..to-1 as Render shows them, joined by " | ".
  std::string Requests(size_t from, size_t to) const {
    std::string text;
    for (size_t i = from; i < to && i < requests.size(); ++i)
      text += (text.empty() ? "" : " | ") + Render(requests[i]);
    return text;
  }

  std::map<unsigned int, _zr_device_info> disks;
  std::map<unsigned int, _zr_array_info> arrays;
  std::map<std::pair<unsigned int, unsigned int>, unsigned int> members;  // (array, pos) -> disk
  std::map<std::tuple<unsigned, unsigned, unsigned>, KelVDInfo> vds;  // by (sub-code, a, b)
  _zr_partition_info partitions{};
  _zr_controller_info controller{};
  _zr_device_hub_info_t hub{};
  std::map<unsigned char, Bytes> local;  // results of the local commands by sub-code
  int loginCode = 0;
  std::map<std::string, std::string> env{{"KEL_PASSWORD", "pelum"}, {"KEL_OLD_PASSWORD", "rovak"},
                                         {"KEL_NEW_PASSWORD", "n3w"}, {"KEL_HOST_PASSWORD", "hp"}};
  std::unique_ptr<FakeServer> server;
  std::vector<Packet> requests;  // written by the script; read after Join
  std::string out, err;
};

// Every command logs in first and ends its own session last, whatever it gave; between
// the two, its requests (empty: not checked here) and a part of what it printed. JSON is
// one document on one line.
TEST_F(Kelctl, EachCommandsRequestsAndOutput) {
  // With a member missing, every one of the 16 positions is asked for.
  std::string array5 = "11/120 03 05 | 10/296 04 05";
  for (char pos : std::string("123456789abcdef")) array5 += std::string(" | 10/296 04 05 0") + pos;
  const std::string disk65 = "65    KELSIM D  " + std::string(32, 'N') +
                             "  1.0 GiB  2097152  0:32 slave, hub port 1  0    ok  "
                             "        0x4141\n";
  const struct {
    std::vector<std::string> args;
    int status;
    std::string requests, printed;
  } rows[] = {
      {{"test"}, 0, "255/1 09", "test: the service answered correctly\n"},
      {{"log", "status"}, 0, "255/1 01", "size: 5000000000 bytes\nlines: 9\nover limit: yes\n"},
      {{"--json", "log", "status"}, 0, "",
       R"("size":5000000000,"lines":9,"over_limit":true})"},
      {{"log", "show", "--older", "--count", "4"}, 0, "255/1 01 | 255/10 03 01 0*3 09 0*3 04",
       "Mon~INFO~a \"b\"\nTue~ERROR~c\n"},
      {{"--json", "log", "show", "--first", "7"}, 0, "255/10 03 0*4 07 0*3 14",
       R"("count":2,"lines":["Mon~INFO~a \"b\"","Tue~ERROR~c"]})"},
      {{"log", "clear"}, 0, "255/1 02", "event log cleared\n"},
      {{"beep"}, 0, "255/1 04", "beep: on\n"},
      {{"beep", "on"}, 0, "255/2 05 01", "beep switched on\n"},
      {{"beep", "off"}, 0, "255/2 05", "beep switched off\n"},
      {{"checkdisk"}, 0, "255/1 07", "disk check interval: 71582 minutes\n"},
      // The service caps the interval, so what it kept is read back.
      {{"checkdisk", "100000"}, 0, "255/5 08 00 01 86 a0 | 255/1 07",
       "disk check interval set to 71582 minutes\n"},
      {{"--json", "checkdisk"}, 0, "", R"({"command":"checkdisk","ok":true,"minutes":71582})"},
      {{"passwd", "guest"}, 0, "255/17 06 67 75 65 73 74 00 72 6f 76 61 6b 00 6e 33 77",
       "password of guest changed\n"},
      {{"--json", "controllers"}, 0, "7/92 01 | 7/92 02",
       R"("deviceID":12564,"chipName":"SiI 3114")"},
      {{"channels"}, 0, "7/92 01 | 7/92 02 | 8/32 01 | 8/32 01 00 01", "0x0171  "},
      {{"--json", "hubs"}, 0, "7/92 01 | 7/92 02 | 8/32 01 | 8/32 01 00 01 | 9/52 01 00 01",
       R"("nValidDeviceNum":3,"nMaxDeviceNum":5,"position":0})"},
      {{"disks"}, 0, "10/296 01 | 10/296 02 | 10/296 02 02 | 10/296 02 04 | 10/296 02 41", disk65},
      // Index 65 is bit 1 of the map's second 64-bit word.
      {{"--json", "disks"}, 0, "",
       R"({"command":"disks","ok":true,"map_Low64":21,"map_High64":2,"disks":[{"index":0,)"},
      {{"disk", "2"}, 0, "10/296 02 02", "  status:              health bad (0x0004)\n"},
      {{"--json", "disk", "4"}, 0, "", R"("ok":true,"disk":{"index":4,"magicNum":1028,)"},
      {{"disk", "--phy", "0:1:1"}, 1, "10/296 03 00 01 01",
       "kelctl: disk failed: 200 (no such disk or array, or index out of range)\n"},
      {{"disk", "--array", "7", "--pos", "255"}, 0, "10/296 04 07 ff", "disk 4\n  model:"},
      {{"arrays"}, 0, "11/120 02 | 11/120 03 05 | 11/120 03 07",
       "5      mirror  RAID 1      2      1022.0 MiB  2093056  -       degraded, needs "
       "synchronisation  synchronising  0x0505\n7      -       plain disk  1      2.0 GiB  "},
      {{"--json", "arrays"}, 0, "", R"("order":[5,7],"arrays":[{"index":5,"magicNum":1285,)"},
      {{"array", "5"}, 0, array5,
       "array 5\n  name:                  mirror\n  type:                  RAID 1\n"
       "  status:                degraded, needs synchronisation (0x0005)\n"
       "  task:                  synchronising\n"},
      {{"array", "5"}, 0, "", "  member VD ids:         256, 257\n  magic number:          0x0505 (1285)\n"},
      {{"array", "5"}, 0, "",
       "\n0         -     -         -" + std::string(33, ' ') + "-        missing     -\n"
       "1         2     KELSIM B  "},
      {{"--json", "array", "7"}, 0, "11/120 03 07 | 10/296 04 07 ff",
       R"("members":[{"position":255,"disk":{"index":4,"magicNum":1028,)"},
      {{"array", "9"}, 1, "11/120 03 09",
       "kelctl: array: array 9 failed: 200 (no such disk or array, or index out of range)\n"},
      {{"vds", "--disk", "0"}, 0, "12/64 03 | 12/64 03 00 01", "2048   1048576  512.0 MiB"},
      {{"vds", "--disk", "0", "--slot", "0"}, 1, "12/64 03",
       "vds: VD slot 0 of disk 0 failed: 200"},
      {{"--json", "vds", "--array", "5"}, 0, "11/120 03 05 | 12/64 04 05 | 12/64 04 05 01",
       R"("array_position":1,"array_index":5,"Capacity":1048576,"StartSector":0})"},
      {{"free", "0"}, 0, "10/296 02 | 12/64 03 | 12/64 03 00 01 | 17/4 11",
       "\n0        2047     2048     1.0 MiB    free\n"
       "2048     1050623  1048576  512.0 MiB  VD 0 (slot 1, array 5 position 0)\n"
       "1050624  1574911  524288   256.0 MiB  protected (kept for a migration)\n"
       "1574912  2097119  522208   255.0 MiB  free\nfree: 524256 sectors (256.0 MiB)\n"
       "PROTECTED START  SECTORS  SIZE\n1050624          524288   256.0 MiB\n"},
      {{"free", "4"}, 0, "10/296 02 04 | 12/64 03 04 | 12/64 03 04 01 | 17/4 11 04",
       "0      4194271  4194272  2.0 GiB  free\nfree: 4194272 sectors (2.0 GiB)\n"},
      {{"--json", "free", "0"}, 0, "",
       R"({"kind":"protected","start":1050624,"length":524288})"},
      {{"partitions", "--disk", "2"}, 0, "10/296 02 02 | 13/172 0*4 02 0*3 02 02",
       "disk 2: 1 partition\nsdb1\n"},
      {{"--json", "partitions", "--array", "5"}, 0, "11/120 03 05 | 13/172 00 01 0*2 05 0*3 05 05",
       R"("target":"array","index":5,"magicNum":1285,"count":1,"partitions":["sdb1"]})"},
      {{"partitions", "--disk", "65"}, 1, "10/296 02 41 | 13/172 0*4 41 0*3 41 41",
       "kelctl: partitions failed: 2 (stale magic number"},
      {{"--json", "smart", "status", "2"}, 0, "10/296 02 02 | 16/13 04 00 01 00 02 0*3 02 02",
       R"("index":2,"magicNum":514,"status":2,"health":"attribute below threshold"})"},
      {{"--json", "smart", "values", "0"}, 0, "10/296 02 | 16/524 02 0*2 02 0*4 01 01",
       R"("revision":16,"attributes":[{"id":5,"flags":51,"current":100,"worst":99,)"
       R"("raw":16909060}])"},
      {{"--json", "smart", "thresholds", "0"}, 0, "10/296 02 | 16/524 03 0*2 02 0*4 01 01",
       R"("thresholds":[{"id":5,"threshold":51}])"},
      // The service's verdict first, then every disk's own status.
      {{"smart", "check"}, 1,
       "16/12 05 | 10/296 01 | 10/296 02 | 16/13 04 00 01 0*5 01 01 | 10/296 02 02 | "
       "16/13 04 00 01 00 02 0*3 02 02 | 10/296 02 04 | 16/13 04 00 01 00 04 0*3 04 04 | "
       "10/296 02 41 | 16/13 04 00 01 00 41 0*3 41 41",
       "2     KELSIM B  " + std::string(32, 'C') + "  attribute below threshold\n"},
      {{"--json", "smart", "check"}, 1, "",
       R"("code":803,"message":"at least one disk is unhealthy","healthy":false,"disks":[)"
       R"({"index":0,"code":0,"magicNum":257,"status":0,"health":"healthy"},)"},
      {{"rescan"}, 0, "14/4", "hardware rescanned\n"},
      {{"reload-driver"}, 0, "15/44", "RAID driver reloaded\n"},
      {{"--json", "reload-driver", "--reboot"}, 0, "15/44 00 01 0*2 72 6f 6f 74 0*16 68 70",
       R"("reboot":true})"},
  };
  for (const auto& row : rows) {
    std::string line;
    for (const std::string& a : row.args) line += a + " ";
    Serve();
    EXPECT_EQ(Run(row.args), row.status) << line << err;
    EXPECT_NE((out + err).find(row.printed), std::string::npos) << line << "\n" << out << err;
    if (row.args[0] == "--json") {
      EXPECT_EQ(out.find('\n'), out.size() - 1) << out;
    }
    ASSERT_GE(requests.size(), 2u) << line;
    EXPECT_EQ(requests.front().code, 250) << line;
    EXPECT_EQ(Render(requests.back()), "255/3 00 35") << line;
    if (!row.requests.empty()) {
      EXPECT_EQ(Requests(1, requests.size() - 1), row.requests) << line;
    }
  }
}

// The readable forms are kelctl_e2e_test's part.
TEST_F(Kelctl, LoginLogoutAndARefusedLoginInJson) {
  loginCode = 1051;  // logged in, an older session of the user ended
  Serve();
  EXPECT_EQ(Run({"--json", "login"}), 0) << err;
  EXPECT_EQ(out, R"({"command":"login","ok":true,"user":"admin","client_id":"5",)"
                 R"("session_rights":21})" "\n");
  EXPECT_EQ(requests.size(), 1u);
  env.clear();  // no password needed
  Serve();
  EXPECT_EQ(Run({"--json", "logout", "5"}), 0) << err;
  EXPECT_EQ(out, R"({"command":"logout","ok":true,"client_id":"5"})" "\n");
  EXPECT_EQ(Requests(0, 9), "251/2 35 | 255/3 00 35");
  loginCode = 1050;  // a wrong password: the same message on stderr
  env = {{"KEL_PASSWORD", "nope"}};
  Serve();
  EXPECT_EQ(Run({"--json", "log", "status"}), 1);
  EXPECT_EQ(out, R"({"command":"log status","ok":false,"stage":"login","code":2013,)"
                 R"("message":"wrong user name or password"})" "\n");
  EXPECT_EQ(err, "kelctl: login failed: 2013 (wrong user name or password)\n");
  EXPECT_EQ(requests.size(), 1u);
}

// A missing password for the login and a refused connection are kelctl_e2e_test's part.
TEST_F(Kelctl, UsageErrorsHelpAndMissingSecrets) {
  EXPECT_EQ(Run({"beep", "loud"}), 2);
  EXPECT_EQ(err, "kelctl: beep takes 'on' or 'off', not 'loud'\n");
  EXPECT_EQ(out, "");
  EXPECT_EQ(Run({"checkdisk", "--help"}), 0);
  EXPECT_EQ(out.rfind("Usage: kelctl [OPTIONS] checkdisk [MINUTES]\n", 0), 0u) << out;
  env["KEL_HOST_PASSWORD"] = std::string(20, 'p');
  EXPECT_EQ(Run({"reload-driver", "--reboot"}), 2);
  EXPECT_EQ(err, "kelctl: the host password is longer than 19 bytes\n");
  env.erase("KEL_NEW_PASSWORD");
  EXPECT_EQ(Run({"passwd", "guest"}), 2);
  EXPECT_NE(err.find("(use --new-password-file or KEL_NEW_PASSWORD)\n"), std::string::npos) << err;
  EXPECT_EQ(Run({"test", "--password-file", "/nonexistent/pw"}), 2);
  EXPECT_EQ(err.rfind("kelctl: cannot read /nonexistent/pw: ", 0), 0u) << err;
  env.clear();
  EXPECT_EQ(Run({"passwd", "guest", "--password-file", "/dev/null"}), 2);
  EXPECT_NE(err.find("(use --old-password-file or KEL_OLD_PASSWORD)\n"), std::string::npos) << err;
}

}  // namespace
