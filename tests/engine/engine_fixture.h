// The engine standing on a simulated controller in a temporary folder. The fixture builds
// the folder through the simulator's library, installs a driver context over it as the
// process-wide one, points the partition lookup at the folder's dev/ and the root-disk rule
// at its mount table, and writes configuration areas byte by byte from the on-disk layout
// (never through the engine's own area code, so that the two are checked against each
// other).
#ifndef KEL_TESTS_ENGINE_ENGINE_FIXTURE_H
#define KEL_TESTS_ENGINE_ENGINE_FIXTURE_H

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "driver/drv_interface.h"
#include "driver/host_glue.h"
#include "driver/raid_basic_op.h"
#include "engine/dev_manage.h"
#include "engine/partitions.h"
#include "engine/phy_device.h"
#include "engine/raid_array.h"
#include "engine/vir_device.h"
#include "sim/sim_ops.h"
#include "sim/sim_transport.h"
#include "tests/support/conf_area_builder.h"

// The simulator, except that the real-targets answer (0x13) of chosen nodes can be replaced:
// the simulated controller shows every node as a plain disk, while a real one shows arrays
// as logical targets.
class TargetsSimTransport : public KelDrvTransport {
 public:
  explicit TargetsSimTransport(const std::string& dir) : m_sim(dir) {}

  std::vector<std::string> ListNodes() override { return m_sim.ListNodes(); }
  KelDrvSendResult Send(const std::string& name, const unsigned char cdb[10], unsigned char* buf,
                        size_t len) override {
    KelDrvSendResult r = m_sim.Send(name, cdb, buf, len);
    std::lock_guard<std::mutex> g(m_lock);
    if (len > 36) m_sent.push_back({buf[30], buf[36]});
    auto it = m_targets.find(name);
    if (r == KelDrvSendResult::kOk && len >= 36 + 60 && buf[30] == 0x13 && it != m_targets.end())
      std::memcpy(buf + 36, &it->second, sizeof(it->second));
    return r;
  }
  // (sub-command, first parameter byte) of every command sent so far.
  std::vector<std::pair<uint8_t, uint8_t>> Sent() {
    std::lock_guard<std::mutex> g(m_lock);
    return m_sent;
  }
  void SetTargets(const std::string& node, const _Real_Targets_Pos_Info& info) {
    std::lock_guard<std::mutex> g(m_lock);
    m_targets[node] = info;
  }

 private:
  KelSimTransport m_sim;
  std::mutex m_lock;
  std::map<std::string, _Real_Targets_Pos_Info> m_targets;  // guarded by m_lock
  std::vector<std::pair<uint8_t, uint8_t>> m_sent;            // guarded by m_lock
};

// One VD block as the test wants it on disk.
struct VDSpec {
  int slot = 0;
  uint32_t id = 0;
  uint64_t start = 0;
  uint64_t length = 0;
  uint8_t raidType = KEL_RAID_0;
  uint8_t vdNum = 1;
  uint8_t position = 0;  // byte 112: position 0..7, bit 7 for a RAID 0+1 second half
  uint8_t stripe = 0;    // sectors
  uint8_t levelParam = 0;
  std::string arrayName;
  std::vector<uint32_t> members;
  uint64_t sideValue = 0;
  uint8_t flags2 = 0;
  bool valid = true;
};

// A 3072-byte configuration area in the current layout (marker version 3), written by the
// engine-independent builder. The VD map names every slot given, whatever its valid bit.
inline std::vector<uint8_t> MakeArea(const std::vector<VDSpec>& vds, uint32_t serialChk = 0x1234,
                                     uint8_t pdStatus = 0) {
  kel_test::ConfAreaBuilder area;
  area.Pd(serialChk, pdStatus);
  for (const VDSpec& v : vds) {
    kel_test::ConfVd vd;
    vd.vdId = v.id;
    vd.start = v.start;
    vd.length = v.length;
    vd.raidType = v.raidType;
    vd.vdCount = v.vdNum;
    vd.position = v.position & 7;
    vd.secondHalf = (v.position & 0x80) != 0;
    vd.stripeSectors = v.stripe;
    vd.levelParam = v.levelParam;
    vd.arrayName = v.arrayName;
    vd.memberIds = v.members;
    vd.sideValue = v.sideValue;
    vd.flags105 = v.flags2;
    vd.valid = v.valid;
    area.Vd(v.slot, vd);
  }
  return area.Bytes();
}

class EngineSimTest : public testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kel_engine.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    m_tmp = tmpl;
    m_savedPaths = KelHostGluePaths();
    std::string err;
    ASSERT_TRUE(KelSimInit(SimDir(), 2, &err)) << err;
    m_folder = std::make_unique<KelSimFolder>(SimDir());
    KelHostGluePaths().mtab = m_folder->MtabPath();
    auto t = std::make_unique<TargetsSimTransport>(SimDir());
    m_transport = t.get();
    m_drv = std::make_unique<KelDrvInterface>(std::move(t), m_folder->DevDir());
    m_drv->SetSleep([](int) {});
    KelDrvSetGlobal(m_drv.get());
  }

  void TearDown() override {
    m_dm.reset();
    KelDrvSetGlobal(nullptr);
    m_drv.reset();
    KelHostGluePaths() = m_savedPaths;
    std::error_code ec;
    if (!m_tmp.empty()) std::filesystem::remove_all(m_tmp, ec);
  }

  std::string SimDir() const { return m_tmp + "/sim"; }
  KelSimFolder& Folder() { return *m_folder; }

  std::string AddDisk(int channel, int side, int port = -1, uint64_t sectors = 1 << 20,
                      const std::string& serial = "") {
    KelSimDiskSpec spec;
    spec.channel = channel;
    spec.side = side;
    spec.port = port;
    spec.sectors = sectors;
    spec.serial = serial;
    std::string name, err;
    EXPECT_TRUE(KelSimAddDisk(*m_folder, spec, &name, &err)) << err;
    return name;
  }

  void AddHub(int channel, int side, int reportedCount = -1) {
    std::string err;
    EXPECT_TRUE(KelSimAddHub(*m_folder, channel, side, &err, reportedCount)) << err;
  }

  void Import(const std::string& disk, const std::vector<uint8_t>& area) {
    std::string err;
    ASSERT_TRUE(KelSimAreaImport(*m_folder, disk, area, &err)) << err;
  }

  std::vector<uint8_t> Export(const std::string& disk) {
    std::vector<unsigned char> area;
    std::string err;
    EXPECT_TRUE(KelSimAreaExport(*m_folder, disk, &area, &err)) << err;
    return area;
  }

  void Unplug(const std::string& disk) {
    std::string err;
    ASSERT_TRUE(KelSimUnplug(*m_folder, disk, &err)) << err;
  }

  void Plug(const std::string& disk, int channel, int side, int port = -1) {
    std::string err;
    ASSERT_TRUE(KelSimPlug(*m_folder, disk, channel, side, port, &err)) << err;
  }

  // First build of the model, as the engine start does it.
  void Build() {
    ASSERT_EQ(m_drv->Drv_Init(), 0);
    m_dm = std::make_unique<KelDeviceManage>();
    ASSERT_EQ(m_dm->InitDML(), 1);
  }
  void Rescan() { ASSERT_EQ(m_dm->UpdateDML(), ZR_OK); }

  KelDeviceManage& DM() { return *m_dm; }

  // The live disk whose node name in the simulator is `disk`, through its device number.
  KelPhyDevice* PDOf(const std::string& disk) {
    KelSimState s;
    std::string err;
    EXPECT_TRUE(KelSimSnapshot(*m_folder, &s, &err)) << err;
    for (const KelSimDisk& d : s.disks)
      if (d.name == disk)
        for (int i = 0; i < MAX_PDS; ++i)
          if (KelPhyDevice* pd = DM().PD(i))
            if (pd->DeviceNo() == KelSimDeviceNumber(d)) return pd;
    return nullptr;
  }

  // The live RAID arrays (not plain-disk entries) in slot order.
  std::vector<KelRaidArray*> RaidArrays() {
    std::vector<KelRaidArray*> out;
    for (int i = 0; i < MAX_ARRAY_SLOTS; ++i)
      if (KelRaidArray* ra = DM().RA(i))
        if (!ra->IsPseudo()) out.push_back(ra);
    return out;
  }

  _zr_array_info ArrayInfo(const KelRaidArray* ra) {
    _zr_array_info info{};
    EXPECT_EQ(DM().GetArrayInfoL(ra->m_nIndex, &info), ZR_OK);
    return info;
  }

  // An MBR with `parts` primary partitions in sector 0 of the disk with device number
  // `device`, written through the driver's raw write.
  bool WriteMbr(uint16_t device, int parts) {
    uint8_t mbr[HD_SECTOR_SIZE] = {};
    for (int i = 0; i < parts; ++i) {
      mbr[446 + 16 * i + 4] = 0x83;
      mbr[446 + 16 * i + 8] = static_cast<uint8_t>(63 + i * 64);
      mbr[446 + 16 * i + 12] = 0x10;
    }
    mbr[510] = 0x55;
    mbr[511] = 0xAA;
    _DISK_IO_POS_EX pos{};
    pos.wdDeviceNo = device;
    pos.dw64SectorCount = 1;
    _DISK_IO_RESULT res{};
    KelRaidBasicOp op(*m_drv);
    return op.WriteDeviceDataRBOP(&pos, mbr, &res) != 0 && res.dw64SectorsDone == 1;
  }

  std::string m_tmp;
  KelHostPaths m_savedPaths;
  std::unique_ptr<KelSimFolder> m_folder;
  TargetsSimTransport* m_transport = nullptr;  // owned by m_drv
  std::unique_ptr<KelDrvInterface> m_drv;
  std::unique_ptr<KelDeviceManage> m_dm;
};

#endif
