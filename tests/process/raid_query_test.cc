// The RAID queries through the real kelsrv on a simulated controller whose disks carry
// configuration areas written by the reference builder and imported before the start:
// every record decoded field by field, the arrays of each RAID level, name order, protected
// areas, partitions, SMART health, stale magic numbers, rescans and the driver reload.
//
// Topology (device numbers in brackets):
//   channel 0 master: sda [0]            channel 0 slave: hub, sdb..sde on ports 0..3 [4..7]
//   channel 1 master: hub, sdf..sdi [8..11]  channel 1 slave: hub, sdj..sdl on ports 0..2
// Arrays: Tango RAID 0 (sda, sdb), alpha RAID 1 (sda, sdb), Mike RAID 5 (sdc, sdd, sde),
//   bravo RAID 0+1 (sdf, sdg | sdc, sdd), Zulu span (sde), echo RAID 1 with spare
//   (sdf, sdg + sdh); Sierra RAID 0 under migration (sdi, sdj) only where a test asks.
// Plain disks: sdk (MBR with two partitions, SMART failure), sdl (an attribute below its
//   threshold), and sdi, sdj when Sierra is absent.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "sharedlib/raid_records.h"
#include "tests/process/raw_client.h"
#include "tests/process/service_harness.h"
#include "tests/support/conf_area_builder.h"

using namespace kel_test;
using namespace std::chrono_literals;

namespace {

constexpr uint64_t kDiskSectors = 2097152;        // 1 GiB
constexpr uint64_t kUsable = kDiskSectors - 32;   // the reserved tail is never used
constexpr uint64_t kL = 65536;                    // every VD's length
constexpr int kTimeoutMs = 20000;

struct SimDisk {
  std::string name;
  int channel, side, port;  // port -1: attached directly
};

const SimDisk kDisks[] = {
    {"sda", 0, 0, -1}, {"sdb", 0, 1, 0}, {"sdc", 0, 1, 1}, {"sdd", 0, 1, 2}, {"sde", 0, 1, 3},
    {"sdf", 1, 0, 0},  {"sdg", 1, 0, 1}, {"sdh", 1, 0, 2}, {"sdi", 1, 0, 3}, {"sdj", 1, 1, 0},
    {"sdk", 1, 1, 1},  {"sdl", 1, 1, 2}};

std::string SerialOf(const std::string& disk) { return "SIM-" + disk; }

// One VD of the topology: which disk and slot carry it.
struct Member {
  std::string disk;
  int slot;
};

struct ArraySpec {
  std::string name;
  uint8_t raidType;
  std::vector<Member> members;  // in array order
  uint8_t stripe = 0;
  uint64_t capacity;            // what the array info must report
  bool migrating = false;
};

std::vector<ArraySpec> Arrays(bool withMigration) {
  std::vector<ArraySpec> a = {
      {"Tango", 0, {{"sda", 0}, {"sdb", 0}}, 128, 2 * kL},
      {"alpha", 1, {{"sda", 1}, {"sdb", 1}}, 0, kL},
      {"Mike", 5, {{"sdc", 0}, {"sdd", 0}, {"sde", 0}}, 128, 2 * kL},
      {"bravo", 9, {{"sdf", 0}, {"sdg", 0}, {"sdc", 1}, {"sdd", 1}}, 128, 2 * kL},
      {"Zulu", 8, {{"sde", 1}}, 0, kL},
      {"echo", 1, {{"sdf", 1}, {"sdg", 1}, {"sdh", 0}}, 0, kL},
  };
  if (withMigration) a.push_back({"Sierra", 0, {{"sdi", 0}, {"sdj", 0}}, 128, 2 * kL, true});
  return a;
}

// The record a reply carries at `at` of the moved request (the request began at data[5]).
template <typename T>
T RecordOf(const Reply& r, size_t at) {
  T rec{};
  if (r.data.size() >= 5 + at + sizeof(T)) std::memcpy(&rec, r.data.data() + 5 + at, sizeof rec);
  return rec;
}

std::string Text(const char* field, size_t width) {
  std::string s(field, strnlen(field, width));
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

std::vector<uint8_t> Req(size_t len, std::vector<uint8_t> head) {
  head.resize(len, 0);
  return head;
}

// An 8-byte reference: index in the first byte, magic in bytes 4 and 5.
void PutRef(std::vector<uint8_t>& req, size_t at, int index, uint16_t magic) {
  req[at] = static_cast<uint8_t>(index);
  req[at + 4] = static_cast<uint8_t>(magic);
  req[at + 5] = static_cast<uint8_t>(magic >> 8);
}

std::vector<int> Bits(const Reply& r) {
  std::vector<int> out;
  for (int n = 0; n < 128; ++n)
    if (r.data.size() >= 25 && (r.data[9 + n / 8] >> (n % 8) & 1)) out.push_back(n);
  return out;
}

class RaidQuery : public testing::Test {
 protected:
  void SetUp() override {
    port = FreePort();
    sim = dir.File("sim");
  }

  void TearDown() override {
    if (srv) {
      kill(srv->pid(), SIGRTMIN + 1);
      EXPECT_TRUE(srv->WaitExit(30s)) << srv->Output();
      EXPECT_FALSE(srv->OutputContains("Sanitizer")) << srv->Output();
    }
  }

  bool Kelsim(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {KELSIM_BIN, "--dir", sim};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv);
  }

  // The simulated controller with its disks, their areas, an MBR and SMART settings.
  void BuildSim(bool withMigration) {
    ASSERT_TRUE(Kelsim({"init"}));
    int hubs[2][2] = {};
    for (const SimDisk& d : kDisks) {
      if (d.port >= 0 && !hubs[d.channel][d.side]++) {
        ASSERT_TRUE(Kelsim({"add-hub", "--channel", std::to_string(d.channel), "--position",
                            d.side ? "slave" : "master"}));
      }
      std::vector<std::string> add = {"add-disk", "--channel", std::to_string(d.channel),
                                      "--position", d.side ? "slave" : "master", "--size",
                                      std::to_string(kDiskSectors), "--serial", SerialOf(d.name)};
      if (d.port >= 0) add.insert(add.end(), {"--hub-port", std::to_string(d.port)});
      ASSERT_TRUE(Kelsim(add));
    }
    for (const SimDisk& d : kDisks) {
      uint32_t sum = 0;
      ASSERT_TRUE(SimDiskSerialChecksum(KELSIM_BIN, sim, d.name, &sum));
      serials[d.name] = sum;
      ASSERT_EQ(sum, ConfSerialChecksum(SerialOf(d.name), "1.00", "ZEP SimDisk"));
    }
    std::map<std::string, ConfAreaBuilder> areas;
    for (const ArraySpec& a : Arrays(withMigration)) {
      std::vector<uint32_t> ids;
      for (const Member& m : a.members) ids.push_back(ConfAreaBuilder::VdId(serials[m.disk], m.slot));
      for (size_t pos = 0; pos < a.members.size(); ++pos) {
        const Member& m = a.members[pos];
        ConfVd vd{.raidType = a.raidType,
                  .vdCount = static_cast<uint8_t>(a.members.size()),
                  .position = static_cast<uint8_t>(pos),
                  .start = m.slot * kL,
                  .length = kL,
                  .stripeSectors = a.stripe,
                  .name = a.name + "-" + std::to_string(pos),
                  .arrayName = a.name,
                  .memberIds = ids};
        if (a.raidType == 9) {  // second stripe half: positions 0 and 1 again, bit 7 set
          vd.secondHalf = pos >= 2;
          vd.position = static_cast<uint8_t>(pos % 2);
        }
        if (a.migrating) vd.flags104 = 0x20, vd.flags105 = 0x02;
        if (!areas.count(m.disk)) areas[m.disk].Pd(serials[m.disk]);
        areas[m.disk].Vd(m.slot, vd);
      }
    }
    for (const auto& [disk, area] : areas)
      ASSERT_TRUE(ImportConfArea(KELSIM_BIN, sim, disk, area.Bytes(), dir.File(disk + ".area")));
    WriteMbr(sim + "/disks/sdk.img", {0x83, 0x07});
    ASSERT_TRUE(Kelsim({"smart", "sdk", "--status", "1"}));
    ASSERT_TRUE(Kelsim({"smart", "sdl", "--attr", "5=10/36"}));
  }

  // Sector 0 with the boot signature and one primary entry per type.
  static void WriteMbr(const std::string& image, const std::vector<uint8_t>& types) {
    uint8_t sector[512] = {};
    for (size_t i = 0; i < types.size(); ++i) {
      uint8_t* e = sector + 446 + 16 * i;
      e[4] = types[i];
      uint32_t first = 2048 + static_cast<uint32_t>(i) * 4096, count = 4096;
      std::memcpy(e + 8, &first, 4);
      std::memcpy(e + 12, &count, 4);
    }
    sector[510] = 0x55;
    sector[511] = 0xAA;
    std::fstream img(image, std::ios::in | std::ios::out | std::ios::binary);
    img.write(reinterpret_cast<const char*>(sector), sizeof sector);
  }

  void Start(bool withMigration = false) {
    BuildSim(withMigration);
    if (HasFatalFailure()) return;
    WriteFile(dir.File("kel.config"), TestConfig(dir.path(), port));
    srv = std::make_unique<ServiceProcess>(dir.path(), std::vector<std::string>{dir.File("kel.config")});
    ASSERT_TRUE(WaitFor([&] { return ReadFile(dir.File("kel_init.log")) == "success\n"; }))
        << srv->Output();
    client = std::make_unique<RawClient>(port);
    Reply login = client->Login("admin", "pelum");
    ASSERT_EQ(login.result, 0);
    ASSERT_TRUE(login.RetCode() == 0 || login.RetCode() == 1051) << login.RetCode();
    LoadModel();
  }

  Reply Ask(unsigned char code, const std::vector<uint8_t>& req) {
    Reply r = client->Exchange(code, req, kTimeoutMs);
    EXPECT_EQ(r.result, 0) << "code " << int(code);
    EXPECT_EQ(r.code, code);
    return r;
  }

  // Every disk and array as the service reports them, keyed by serial and by name.
  void LoadModel() {
    disks.clear();
    arrays.clear();
    Reply dmap = Ask(10, Req(296, {1}));
    ASSERT_EQ(dmap.RetCode(), 0) << srv->Output();
    for (int pd : Bits(dmap)) {
      Reply r = Ask(10, Req(296, {2, static_cast<uint8_t>(pd)}));
      ASSERT_EQ(r.RetCode(), 0);
      auto info = RecordOf<_zr_device_info>(r, 20);
      disks[Text(info.serialNumber, 32)] = info;
    }
    Reply amap = Ask(11, Req(120, {1}));
    ASSERT_EQ(amap.RetCode(), 0);
    for (int idx : Bits(amap)) {
      Reply r = Ask(11, Req(120, {3, static_cast<uint8_t>(idx)}));
      ASSERT_EQ(r.RetCode(), 0);
      auto info = RecordOf<_zr_array_info>(r, 4);
      std::string key = info.raidType == KEL_RAID_PD ? "pd" + std::to_string(idx)
                                                     : Text(info.arrayName, 24);
      arrays[key] = info;
    }
  }

  const _zr_device_info& Disk(const std::string& name) { return disks[SerialOf(name)]; }
  int Pd(const std::string& name) { return static_cast<int>(Disk(name).index); }

  TempDir dir;
  int port = 0;
  std::string sim;
  std::map<std::string, uint32_t> serials;
  std::unique_ptr<ServiceProcess> srv;
  std::unique_ptr<RawClient> client;
  std::map<std::string, _zr_device_info> disks;   // by serial
  std::map<std::string, _zr_array_info> arrays;   // by name; plain disks as "pd<index>"
};

TEST_F(RaidQuery, ControllerChannelsAndHubsDescribeTheSimulatedTree) {
  Start();
  Reply count = Ask(7, Req(92, {1}));
  EXPECT_EQ(count.RetCode(), 0);
  EXPECT_EQ(count.data.size(), 97u);
  EXPECT_EQ(count.data[6], 1);

  Reply ctl = Ask(7, Req(92, {2, 0}));
  ASSERT_EQ(ctl.RetCode(), 0);
  auto c = RecordOf<_zr_controller_info>(ctl, 4);
  EXPECT_EQ(Text(c.chipName, 32) + "/" + Text(c.manufactory, 32), "ZEP SATA RAID/ZEP Technologies");
  // PIO, multiword DMA, Ultra DMA modes, channels, RAID 0 migration; capability 0x0F sets
  // bits 1 and 2 too.
  EXPECT_EQ(std::make_tuple(c.deviceID, c.support_PIO, c.support_MutiDMA, c.support_UltraDMA,
                            c.channel_Num, c.bSupportRaid0Migration, c.index),
            std::make_tuple(0x3515u, 4, 2, 6, 2, 1u, 0u));
  EXPECT_TRUE(c.bSupportRAID5 != 0 && c.bSupportRAID6 != 0);

  const struct { uint32_t io, control, busMaster; uint8_t master, slave; } kChan[2] = {
      {0x1F0, 0x3F6, 0xC000, KEL_CHAN_POS_DISK, KEL_CHAN_POS_HUB},
      {0x170, 0x376, 0xC008, KEL_CHAN_POS_HUB, KEL_CHAN_POS_HUB}};
  for (int ch = 0; ch < 2; ++ch) {
    Reply r = Ask(8, Req(32, {1, 0, static_cast<uint8_t>(ch)}));
    ASSERT_EQ(r.RetCode(), 0);
    EXPECT_EQ(r.data.size(), 37u);
    auto i = RecordOf<_zr_channel_info>(r, 4);
    EXPECT_EQ(std::make_tuple(i.index, i.ctrlerIndex, i.io_Base, i.control_Base, i.BusMaster_Base,
                              i.cableType, i.bMaster_Exist, i.bSlave_Exist, i.bSlaveValid),
              std::make_tuple(static_cast<uint32_t>(ch), 0u, kChan[ch].io, kChan[ch].control,
                              kChan[ch].busMaster, uint8_t{1}, kChan[ch].master, kChan[ch].slave,
                              1u));
  }

  const struct { int ch, side, devices; } kHubs[] = {{0, 1, 4}, {1, 0, 4}, {1, 1, 3}};
  for (const auto& h : kHubs) {
    Reply r = Ask(9, Req(52, {1, 0, static_cast<uint8_t>(h.ch), static_cast<uint8_t>(h.side)}));
    ASSERT_EQ(r.RetCode(), 0) << h.ch << "/" << h.side;
    EXPECT_EQ(r.data.size(), 57u);
    auto i = RecordOf<_zr_device_hub_info_t>(r, 4);
    EXPECT_EQ(Text(i.DeviceHubName, 32), "ZEP Port Multiplier");
    EXPECT_EQ(std::make_tuple(i.controllerindex, i.channelindex, i.ismaster, i.hubType,
                              i.deviceVenderID, i.revisionInfo, i.nValidDeviceNum, i.nMaxDeviceNum),
              std::make_tuple(0, h.ch, h.side == 0 ? 1 : 0, 1, 0x197Bu, 1u, h.devices, 4));
  }
  Reply noHub = Ask(9, Req(52, {1, 0, 0, 0}));  // channel 0 master is a disk
  EXPECT_NE(noHub.RetCode(), 0);
}

TEST_F(RaidQuery, DisksReportIdentityPlaceAndMembership) {
  Start();
  ASSERT_EQ(disks.size(), std::size(kDisks));
  std::map<std::string, int> vdsOn;
  for (const ArraySpec& a : Arrays(false))
    for (const Member& m : a.members) ++vdsOn[m.disk];
  for (const SimDisk& d : kDisks) {
    SCOPED_TRACE(d.name);
    ASSERT_TRUE(disks.count(SerialOf(d.name)));
    const _zr_device_info& i = Disk(d.name);
    EXPECT_EQ(Text(i.modelName, 64), "ZEP SimDisk");
    EXPECT_EQ(Text(i.firmwareRevison, 16), "1.00");
    EXPECT_EQ(i.Capacity(), kDiskSectors);
    EXPECT_EQ(i.RealCapacity(), kDiskSectors);
    EXPECT_EQ(i.bytesPerSector, 512);
    EXPECT_EQ(i.ctrler_index, 0);
    EXPECT_EQ(i.chan_index, d.channel);
    EXPECT_EQ(i.deviceRoot, d.port < 0 ? 0 : 2);  // behind a hub: its type + 1
    EXPECT_EQ(i.PortNum, d.port < 0 ? 255 : d.port);
    EXPECT_EQ(i.master, d.side == 0 ? 1u : 0u);
    EXPECT_EQ(i.vdNum, vdsOn[d.name]);
    EXPECT_EQ(i.bDevInRaid, vdsOn[d.name] > 0 ? 1u : 0u);
    EXPECT_EQ(i.bConfigTarvo, vdsOn[d.name] > 0 ? 1u : 0u);
    EXPECT_EQ(i.array_index, 255);
    EXPECT_EQ(i.array_position, 255);
    EXPECT_EQ(i.bInReplacement, 0u);
    EXPECT_EQ(i.freeProtectNum, 0);

    // The same disk by its physical address: side × 4 + hub port within the channel.
    const int position = d.side * 4 + (d.port < 0 ? 0 : d.port);
    Reply phy = Ask(10, Req(296, {3, 0, static_cast<uint8_t>(d.channel), static_cast<uint8_t>(position)}));
    ASSERT_EQ(phy.RetCode(), 0);
    EXPECT_EQ(RecordOf<_zr_device_info>(phy, 20).index, i.index);
  }
  // Disk indexes are distinct and below 32.
  std::vector<uint32_t> idx;
  for (const auto& [serial, i] : disks) idx.push_back(i.index);
  std::sort(idx.begin(), idx.end());
  EXPECT_EQ(std::unique(idx.begin(), idx.end()), idx.end());
  EXPECT_LT(idx.back(), 32u);
}

TEST_F(RaidQuery, ArraysOfEveryLevelAreAssembledFromTheirAreas) {
  Start();
  for (const ArraySpec& a : Arrays(false)) {
    SCOPED_TRACE(a.name);
    ASSERT_TRUE(arrays.count(a.name));
    const _zr_array_info& i = arrays[a.name];
    EXPECT_EQ(i.raidType, a.raidType);
    EXPECT_EQ(i.diskNum, static_cast<int>(a.members.size()));
    EXPECT_EQ(i.Capacity(), a.capacity);
    EXPECT_EQ(i.status & (KEL_RA_STATUS_MISSING | KEL_RA_STATUS_INVALID), 0);
    EXPECT_EQ(i.stripeSize, a.stripe / 2u);
    EXPECT_EQ(i.blockSize, a.raidType == 5 ? 256u : 0u);
    EXPECT_EQ(i.version, 16);
    EXPECT_EQ(i.nSyncMigReplacing, 0u);
    EXPECT_EQ(i.bInReplacement, 0u);
    for (size_t m = 0; m < 8; ++m) {
      uint32_t want = m < a.members.size()
                          ? ConfAreaBuilder::VdId(serials[a.members[m].disk], a.members[m].slot)
                          : 0;
      EXPECT_EQ(i.GUID[m], want) << m;
    }
    // The disk at each position (RAID 0+1 positions are left to the level's numbering).
    if (a.raidType == 9) continue;
    for (size_t pos = 0; pos < a.members.size(); ++pos) {
      Reply r = Ask(10, Req(296, {4, static_cast<uint8_t>(i.index), static_cast<uint8_t>(pos)}));
      ASSERT_EQ(r.RetCode(), 0) << pos;
      auto d = RecordOf<_zr_device_info>(r, 20);
      EXPECT_EQ(d.index, Disk(a.members[pos].disk).index) << pos;
      EXPECT_EQ(d.array_index, i.index);
      EXPECT_EQ(d.array_position, pos);
    }
  }
  // Plain disks stand as single-disk entries of type 255.
  int plain = 0;
  for (const auto& [key, i] : arrays)
    if (i.raidType == KEL_RAID_PD) {
      ++plain;
      EXPECT_EQ(i.version, 255) << key;
      Reply r = Ask(10, Req(296, {4, static_cast<uint8_t>(i.index), 255}));
      ASSERT_EQ(r.RetCode(), 0) << key;
      std::string serial = Text(RecordOf<_zr_device_info>(r, 20).serialNumber, 32);
      EXPECT_TRUE(serial == SerialOf("sdi") || serial == SerialOf("sdj") ||
                  serial == SerialOf("sdk") || serial == SerialOf("sdl"))
          << serial;
    }
  EXPECT_EQ(plain, 4);
  EXPECT_EQ(Bits(Ask(11, Req(120, {1}))).size(), arrays.size());
}

TEST_F(RaidQuery, SortedIndexesListArraysByNameCaseInsensitivelyThenPlainDisks) {
  Start();
  Reply r = Ask(11, Req(120, {2}));
  ASSERT_EQ(r.RetCode(), 0);
  ASSERT_EQ(r.data[9], arrays.size());
  std::vector<std::string> order;
  std::vector<int> plainIdx;
  for (int k = 0; k < r.data[9]; ++k) {
    int idx = r.data[10 + k];
    for (const auto& [key, i] : arrays)
      if (static_cast<int>(i.index) == idx) {
        order.push_back(i.raidType == KEL_RAID_PD ? "pd" : key);
        if (i.raidType == KEL_RAID_PD) plainIdx.push_back(idx);
      }
  }
  EXPECT_EQ(order, (std::vector<std::string>{"alpha", "bravo", "echo", "Mike", "Tango", "Zulu",
                                             "pd", "pd", "pd", "pd"}));
  EXPECT_TRUE(std::is_sorted(plainIdx.begin(), plainIdx.end()));
}

TEST_F(RaidQuery, VirtualDevicesByDiskSlotAndByArrayPosition) {
  Start();
  for (const ArraySpec& a : Arrays(false)) {
    const _zr_array_info& arr = arrays[a.name];
    for (size_t pos = 0; pos < a.members.size(); ++pos) {
      SCOPED_TRACE(a.name + " position " + std::to_string(pos));
      const Member& m = a.members[pos];
      const _zr_device_info& d = Disk(m.disk);
      Reply r = Ask(12, Req(64, {3, static_cast<uint8_t>(d.index), static_cast<uint8_t>(m.slot)}));
      ASSERT_EQ(r.RetCode(), 0);
      ASSERT_EQ(r.data.size(), 69u);
      auto vd = RecordOf<KelVDInfo>(r, 4);
      EXPECT_EQ(Text(vd.VDName, 24), a.name + "-" + std::to_string(pos));
      EXPECT_EQ(vd.ctrler_index, 0);
      EXPECT_EQ(vd.chan_index, d.chan_index);
      EXPECT_EQ(vd.master, d.master);
      EXPECT_EQ(vd.vd_index_on_pd, m.slot);
      EXPECT_EQ(vd.pd_index, d.index);
      EXPECT_EQ(vd.bVDInRaid, 1);
      EXPECT_EQ(vd.array_index, arr.index);
      EXPECT_EQ(vd.CapacityValue(), kL);
      EXPECT_EQ(vd.StartSectorValue(), m.slot * kL);
      EXPECT_LT(vd.Index(), 64u);
      if (a.raidType == 9) continue;
      EXPECT_EQ(vd.array_position, pos);
      Reply byPos = Ask(12, Req(64, {4, static_cast<uint8_t>(arr.index), static_cast<uint8_t>(pos)}));
      ASSERT_EQ(byPos.RetCode(), 0);
      EXPECT_EQ(RecordOf<KelVDInfo>(byPos, 4).Index(), vd.Index());
    }
  }
  Reply empty = Ask(12, Req(64, {3, static_cast<uint8_t>(Pd("sdl")), 0}));
  EXPECT_NE(empty.RetCode(), 0);
}

TEST_F(RaidQuery, ThePartitionsOfADiskWithAnMbrAndStaleMagicsAreRefused) {
  Start();
  const _zr_device_info& d = Disk("sdk");
  std::vector<uint8_t> req = Req(172, {0, 0});
  PutRef(req, 4, static_cast<int>(d.index), d.magicNum);
  Reply r = Ask(13, req);
  ASSERT_EQ(r.RetCode(), 0) << srv->Output();
  EXPECT_EQ(r.data.size(), 177u);
  auto parts = RecordOf<_zr_partition_info>(r, 12);
  ASSERT_EQ(parts.count, 2);
  EXPECT_EQ(Text(parts.names[0], 6), "sdk1");
  EXPECT_EQ(Text(parts.names[1], 6), "sdk2");

  PutRef(req, 4, static_cast<int>(d.index), static_cast<uint16_t>(d.magicNum + 1));
  Reply stale = Ask(13, req);
  EXPECT_EQ(stale.RetCode(), 2);
  EXPECT_EQ(stale.data.size(), 172u);

  const _zr_array_info& a = arrays["Tango"];
  std::vector<uint8_t> areq = Req(172, {0, 1});
  PutRef(areq, 4, static_cast<int>(a.index), static_cast<uint16_t>(a.magicNum ^ 0x8000));
  EXPECT_EQ(Ask(13, areq).RetCode(), 2);
}

TEST_F(RaidQuery, SmartHealthOfFailingDisksAndTheBadHealthBit) {
  Start();
  const struct { const char* disk; int status; } kCases[] = {{"sdk", 3}, {"sdl", 2}, {"sdj", 0}};
  for (const auto& k : kCases) {
    SCOPED_TRACE(k.disk);
    const _zr_device_info& d = Disk(k.disk);
    std::vector<uint8_t> req = Req(13, {4, 0, 1, 0});
    PutRef(req, 4, static_cast<int>(d.index), d.magicNum);
    Reply r = Ask(16, req);
    ASSERT_EQ(r.RetCode(), 0);
    ASSERT_EQ(r.data.size(), 18u);
    EXPECT_EQ(r.data[17], k.status);
    EXPECT_EQ((d.status & KEL_PD_FLAG_HEALTH_BAD) != 0, k.status != 0);
  }
  Reply exec = Ask(16, Req(12, {5}));
  EXPECT_EQ(exec.RetCode(), 803);  // some disk is unhealthy; still an answer

  const _zr_device_info& sdj = Disk("sdj");
  std::vector<uint8_t> page = Req(12 + 512, {2, 0, 0x00, 0x02});
  PutRef(page, 4, static_cast<int>(sdj.index), sdj.magicNum);
  Reply values = Ask(16, page);
  ASSERT_EQ(values.RetCode(), 0);
  ASSERT_EQ(values.data.size(), 529u);
  int sum = 0;
  for (size_t i = 17; i < 529; ++i) sum += values.data[i];
  EXPECT_EQ(sum % 256, 0);  // a SMART page sums to zero

  PutRef(page, 4, static_cast<int>(sdj.index), static_cast<uint16_t>(sdj.magicNum + 1));
  EXPECT_EQ(Ask(16, page).RetCode(), 2);
}

TEST_F(RaidQuery, TheFreeSpaceBesideAMigratingFirstMemberIsProtected) {
  Start(/*withMigration=*/true);
  const _zr_device_info& first = Disk("sdi");
  EXPECT_EQ(first.freeProtectNum, 1);
  EXPECT_EQ(Disk("sdj").freeProtectNum, 0);  // position 1: its free space stays free
  Reply r = Ask(17, Req(4, {17, static_cast<uint8_t>(first.index)}));
  ASSERT_EQ(r.RetCode(), 0);
  ASSERT_EQ(r.data.size(), 9u + 16u);
  EXPECT_EQ(r.data[7], 1);
  auto area = RecordOf<_zr_protect_free_info_t>(r, 4);
  EXPECT_EQ(area.startSector, kL);
  EXPECT_EQ(area.length, kUsable - kL);
  Reply none = Ask(17, Req(4, {17, static_cast<uint8_t>(Pd("sdj"))}));
  EXPECT_EQ(none.RetCode(), 0);
  EXPECT_EQ(none.data.size(), 5u);
}

TEST_F(RaidQuery, ARescanKeepsEveryIndexAndMagic) {
  Start();
  auto before = disks;
  auto arraysBefore = arrays;
  Reply rescan = Ask(14, Req(4, {}));
  EXPECT_EQ(rescan.RetCode(), 0);
  EXPECT_EQ(rescan.data.size(), 5u);
  LoadModel();
  for (const auto& [serial, d] : before) {
    EXPECT_EQ(disks[serial].index, d.index) << serial;
    EXPECT_EQ(disks[serial].magicNum, d.magicNum) << serial;
  }
  for (const auto& [name, a] : arraysBefore) {
    EXPECT_EQ(arrays[name].index, a.index) << name;
    EXPECT_EQ(arrays[name].magicNum, a.magicNum) << name;
  }
}

TEST_F(RaidQuery, DriverReloadWithoutRebootRestartsTheEngineOnTheSimulatedHost) {
  Start();
  struct stat before{}, after{};
  ASSERT_EQ(stat((sim + "/host/modules").c_str(), &before), 0);
  std::vector<uint8_t> req = Req(44, {15, 0});
  Reply r = Ask(15, req);
  ASSERT_EQ(stat((sim + "/host/modules").c_str(), &after), 0);
  EXPECT_NE(after.st_ino, before.st_ino);  // the simulated rmmod replaced the list
  EXPECT_EQ(r.RetCode(), 0) << srv->Output();
  EXPECT_EQ(r.data.size(), 5u);
  EXPECT_NE(ReadFile(sim + "/host/modules").find("ZKELLDC "), std::string::npos);
  EXPECT_EQ(access((sim + "/host/reboot.log").c_str(), F_OK), -1);
  Reply count = Ask(7, Req(92, {1}));
  EXPECT_EQ(count.RetCode(), 0);
  EXPECT_EQ(count.data[6], 1);
  LoadModel();
  EXPECT_EQ(disks.size(), std::size(kDisks));
  EXPECT_TRUE(arrays.count("Tango"));
}

TEST_F(RaidQuery, RebootIsRefusedForAnyUserButRoot) {
  Start();
  std::vector<uint8_t> req = Req(44, {15, 1});
  std::memcpy(req.data() + 4, "admin", 5);
  std::memcpy(req.data() + 24, "pelum", 5);
  Reply r = Ask(15, req);
  EXPECT_EQ(r.RetCode(), 201);
  EXPECT_EQ(r.data.size(), 5u);
  EXPECT_EQ(access((sim + "/host/reboot.log").c_str(), F_OK), -1);
  EXPECT_EQ(Ask(7, Req(92, {1})).RetCode(), 0);  // the engine still answers
}

}  // namespace
