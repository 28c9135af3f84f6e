// The driver layer standing on a simulated controller in a temporary folder: the folder is
// built through the simulator's library, the driver context talks to it through
// KelSimTransport (wrapped so a test can see which nodes carried commands), never sleeps,
// and finds the root device in the folder's own mount table through the host glue paths.
#ifndef KEL_TESTS_INTEGRATION_INTEG_FIXTURE_H
#define KEL_TESTS_INTEGRATION_INTEG_FIXTURE_H

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "driver/drv_interface.h"
#include "driver/host_glue.h"
#include "driver/raid_basic_op.h"
#include "sim/sim_codec.h"
#include "sim/sim_ops.h"
#include "sim/sim_transport.h"
#include "tests/support/temp_dir.h"

// Forwards to the simulator and remembers every command: the node it went through and the
// head of its block as sent. The real-targets answer (0x13) of chosen nodes can be replaced:
// the simulated controller shows every node as a plain disk, while a real one shows arrays
// as logical targets.
class RecordingSimTransport : public KelDrvTransport {
 public:
  static constexpr size_t kHead = 1024;  // bytes of each block kept: header and parameters

  explicit RecordingSimTransport(const std::string& dir) : m_sim(dir) {}

  std::vector<std::string> ListNodes() override { return m_sim.ListNodes(); }
  void WakeNodes() override { ++m_wakes; }
  KelDrvSendResult Send(const std::string& name, const unsigned char cdb[10], unsigned char* buf,
                        size_t len) override {
    {
      std::lock_guard<std::mutex> g(m_lock);
      m_sent.push_back({name, std::vector<uint8_t>(buf, buf + std::min(len, kHead))});
    }
    KelDrvSendResult r = m_sim.Send(name, cdb, buf, len);
    std::lock_guard<std::mutex> g(m_lock);
    auto it = m_targets.find(name);
    if (r == KelDrvSendResult::kOk && len >= 36 + 60 && buf[30] == 0x13 && it != m_targets.end())
      std::memcpy(buf + 36, &it->second, sizeof(it->second));
    return r;
  }
  // (node, head of the block) of every command sent so far.
  std::vector<std::pair<std::string, std::vector<uint8_t>>> Blocks() {
    std::lock_guard<std::mutex> g(m_lock);
    return m_sent;
  }
  // The nodes of every command sent so far.
  std::vector<std::string> Sent() {
    std::vector<std::string> nodes;
    for (const auto& c : Blocks()) nodes.push_back(c.first);
    return nodes;
  }
  // (sub-command, first parameter byte) of every command sent so far (blocks are whole pages).
  std::vector<std::pair<uint8_t, uint8_t>> SentCommands() {
    std::vector<std::pair<uint8_t, uint8_t>> out;
    for (const auto& c : Blocks()) out.push_back({c.second[30], c.second[36]});
    return out;
  }
  void SetTargets(const std::string& node, const _Real_Targets_Pos_Info& info) {
    std::lock_guard<std::mutex> g(m_lock);
    m_targets[node] = info;
  }
  int Wakes() const { return m_wakes; }

 private:
  KelSimTransport m_sim;
  std::mutex m_lock;
  std::vector<std::pair<std::string, std::vector<uint8_t>>> m_sent;  // guarded by m_lock
  std::map<std::string, _Real_Targets_Pos_Info> m_targets;           // guarded by m_lock
  std::atomic<int> m_wakes{0};
};

// ATA identity text back to host order, trailing spaces and zeros dropped.
inline std::string AtaText(const uint8_t* p, size_t width) { return SimGetAtaText(p, 0, width); }

class SimDriverTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(m_dir.path().empty());
    m_savedPaths = KelHostGluePaths();
    std::string err;
    ASSERT_TRUE(KelSimInit(SimDir(), Channels(), &err)) << err;
    m_folder = std::make_unique<KelSimFolder>(SimDir());
    KelHostGluePaths().mtab = m_folder->MtabPath();
    auto t = std::make_unique<RecordingSimTransport>(SimDir());
    m_transport = t.get();
    m_drv = std::make_unique<KelDrvInterface>(std::move(t), m_folder->DevDir());
    m_drv->SetSleep([this](int) { ++m_sleeps; });
    m_op = std::make_unique<KelRaidBasicOp>(*m_drv);
  }

  void TearDown() override {
    m_op.reset();
    m_drv.reset();
    KelHostGluePaths() = m_savedPaths;
  }

  virtual int Channels() { return 2; }
  std::string SimDir() const { return m_dir.File("sim"); }
  KelSimFolder& Folder() { return *m_folder; }

  // Disks are 512 MiB unless said otherwise; port -1: attached directly, not behind a hub.
  std::string AddDisk(int channel, int side, int port = -1, uint64_t sectors = 1 << 20,
                      const std::string& serial = "", const std::string& model = "",
                      const std::string& firmware = "") {
    KelSimDiskSpec spec{channel, side, port, sectors, serial, model, firmware};
    std::string name, err;
    EXPECT_TRUE(KelSimAddDisk(*m_folder, spec, &name, &err)) << err;
    return name;
  }

  void AddHub(int channel, int side, int reportedCount = -1) {
    std::string err;
    EXPECT_TRUE(KelSimAddHub(*m_folder, channel, side, &err, reportedCount)) << err;
  }

  std::vector<uint8_t> Export(const std::string& disk) {
    std::vector<unsigned char> area;
    std::string err;
    EXPECT_TRUE(KelSimAreaExport(*m_folder, disk, &area, &err)) << err;
    return area;
  }

  // Writes an MBR with `parts` primary partitions into sector 0 of the disk with device
  // number `device`, through the driver's raw write as the engine would.
  bool WriteMbr(uint16_t device, int parts = 1) {
    uint8_t mbr[HD_SECTOR_SIZE] = {};
    for (int i = 0; i < parts; ++i) {
      mbr[446 + 16 * i + 4] = 0x83;
      mbr[446 + 16 * i + 8] = static_cast<uint8_t>(63 + i * 64);  // first sector
      mbr[446 + 16 * i + 12] = 0x10;
    }
    mbr[510] = 0x55;
    mbr[511] = 0xAA;
    _DISK_IO_POS_EX pos{};
    pos.wdDeviceNo = device;
    pos.dw64SectorCount = 1;
    _DISK_IO_RESULT res{};
    return m_op->WriteDeviceDataRBOP(&pos, mbr, &res) != 0 && res.dw64SectorsDone == 1;
  }

  kel_test::TempDir m_dir;
  KelHostPaths m_savedPaths;
  std::unique_ptr<KelSimFolder> m_folder;
  RecordingSimTransport* m_transport = nullptr;  // owned by m_drv
  std::unique_ptr<KelDrvInterface> m_drv;
  std::unique_ptr<KelRaidBasicOp> m_op;
  int m_sleeps = 0;
};

#endif
