// Time of one full driver scan over a simulated controller with 16 disks: two channels,
// a device hub on all four positions and four disks on every hub. One scan is what the
// engine does to build its model: a fresh node search, the controller, both channels,
// the four hubs, the disk at every position, and the configuration area of every disk.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "driver/drv_interface.h"
#include "driver/raid_basic_op.h"
#include "sim/sim_ops.h"
#include "sim/sim_transport.h"

namespace {

class ScanFolder {
 public:
  ScanFolder() {
    char tmpl[] = "/tmp/kel_scan_bench.XXXXXX";
    if (mkdtemp(tmpl) == nullptr) return;
    m_tmp = tmpl;
    std::string err;
    m_ok = Build(&err);
    if (!m_ok) std::fprintf(stderr, "scan bench setup: %s\n", err.c_str());
  }
  ~ScanFolder() {
    std::error_code ec;
    if (!m_tmp.empty()) std::filesystem::remove_all(m_tmp, ec);
  }
  bool Ok() const { return m_ok; }
  std::string Dir() const { return m_tmp + "/sim"; }

 private:
  bool Build(std::string* err) {
    if (!KelSimInit(Dir(), 2, err)) return false;
    KelSimFolder f(Dir());
    for (int ch = 0; ch < 2; ++ch)
      for (int side = 0; side < 2; ++side) {
        if (!KelSimAddHub(f, ch, side, err)) return false;
        for (int port = 0; port < 4; ++port) {
          KelSimDiskSpec spec;
          spec.channel = ch;
          spec.side = side;
          spec.port = port;
          spec.sectors = 1 << 21;  // 1 GiB, sparse
          std::string name;
          if (!KelSimAddDisk(f, spec, &name, err)) return false;
          std::vector<unsigned char> area(KEL_CONF_BYTES, static_cast<unsigned char>(port + 1));
          if (!KelSimAreaImport(f, name, area, err)) return false;
        }
      }
    return true;
  }

  std::string m_tmp;
  bool m_ok = false;
};

// One full scan; returns the number of disks whose area was read, -1 on any failure.
int FullScan(const std::string& dir) {
  KelDrvInterface drv(std::make_unique<KelSimTransport>(dir), dir + "/dev");
  drv.SetSleep([](int) {});
  drv.SetRootLookup([](char*, int) { return 0; });
  if (drv.GetIoCtlFileNames() != 1) return -1;
  KelRaidBasicOp op(drv);
  _Controller_Info ctl;
  if (!op.GetIDEControllerInformation(0, &ctl)) return -1;
  int areas = 0;
  std::vector<uint8_t> area(KEL_CONF_BYTES);
  for (uint8_t ch = 0; ch < 2 && ch < ctl.byChannelNum; ++ch) {
    _Channel_Info ci;
    if (!op.GetChannelInformation(0, ch, &ci)) return -1;
    for (uint8_t side = 0; side < 2; ++side) {
      uint8_t nibbles = side == 0 ? ci.byMaster : ci.bySlave;
      if ((nibbles & 0x0F) == 0) continue;
      uint32_t ports = 1;
      if (nibbles & 0xF0) {
        _DeviceHub_Info hub;
        if (!op.GetDeviceHubInformation(0, ch, side, &hub)) return -1;
        ports = hub.PortMap();
      }
      for (uint8_t port = 0; port < 4; ++port) {
        if (!(ports & (1u << port))) continue;
        _Device_Info dev;
        if (!op.GetDeviceInformation(0, ch, static_cast<uint8_t>(side * 4 + port), &dev))
          return -1;
        if (!op.ReadConfigData(0, 0, dev.DeviceNo(), area.data(), KEL_CONF_BYTES)) return -1;
        ++areas;
      }
    }
  }
  return areas;
}

void BM_DriverFullScan16Disks(benchmark::State& state) {
  ScanFolder folder;
  if (!folder.Ok()) {
    state.SkipWithError("simulated controller could not be built");
    return;
  }
  for (auto _ : state) {
    int areas = FullScan(folder.Dir());
    if (areas != 16) {
      state.SkipWithError("scan did not reach all 16 disks");
      return;
    }
    benchmark::DoNotOptimize(areas);
  }
  state.counters["disks"] = 16;
}
BENCHMARK(BM_DriverFullScan16Disks)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
