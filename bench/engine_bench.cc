// The engine's model over the simulated controller of tests/support/sixteen_arrays.h: 16
// disks behind four device hubs carrying 16 arrays in 32 VDs. Timed: a full rebuild of the model from a fresh scan (UpdateDML: driver probe, scan,
// 16 configuration areas, assembly, merge, analysis, sort) and the array info query.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "driver/drv_interface.h"
#include "engine/dev_manage.h"
#include "sim/sim_transport.h"
#include "tests/support/sixteen_arrays.h"

namespace {

// The shared 16-disk, 16-array controller in a temporary folder.
class ModelFolder {
 public:
  ModelFolder() {
    char tmpl[] = "/tmp/kel_engine_bench.XXXXXX";
    if (mkdtemp(tmpl) == nullptr) return;
    m_tmp = tmpl;
    m_ok = kel_test::MakeSixteenArraySim(Dir());
    if (!m_ok) std::fprintf(stderr, "engine bench setup failed in %s\n", m_tmp.c_str());
  }
  ~ModelFolder() {
    std::error_code ec;
    if (!m_tmp.empty()) std::filesystem::remove_all(m_tmp, ec);
  }
  bool Ok() const { return m_ok; }
  std::string Dir() const { return m_tmp + "/sim"; }

 private:
  std::string m_tmp;
  bool m_ok = false;
};

// The engine over the folder, installed as the process's driver context.
class Engine {
 public:
  explicit Engine(const std::string& dir)
      : m_drv(std::make_unique<KelSimTransport>(dir), dir + "/dev") {
    m_drv.SetSleep([](int) {});
    m_drv.SetRootLookup([](char*, int) { return 0; });
    KelDrvSetGlobal(&m_drv);
    m_ok = m_drv.Drv_Init() == 0 && m_dm.InitDML() == 1;
  }
  ~Engine() { KelDrvSetGlobal(nullptr); }
  bool Ok() const { return m_ok; }
  KelDeviceManage& DM() { return m_dm; }

 private:
  KelDrvInterface m_drv;
  KelDeviceManage m_dm;
  bool m_ok = false;
};

bool ModelComplete(KelDeviceManage& dm) {
  return dm.PDNum() == 16 && dm.VDNum() == 32 && dm.RaidArrayNum() == 16;
}

void BM_UpdateDML16Disks16Arrays(benchmark::State& state) {
  ModelFolder folder;
  if (!folder.Ok()) {
    state.SkipWithError("simulated controller could not be built");
    return;
  }
  Engine engine(folder.Dir());
  if (!engine.Ok() || !ModelComplete(engine.DM())) {
    state.SkipWithError("first build did not find 16 disks, 32 VDs and 16 arrays");
    return;
  }
  for (auto _ : state) {
    int rc = engine.DM().UpdateDML();
    benchmark::DoNotOptimize(rc);
  }
  if (!ModelComplete(engine.DM())) state.SkipWithError("rebuild lost part of the model");
  state.counters["arrays"] = engine.DM().RaidArrayNum();
}
BENCHMARK(BM_UpdateDML16Disks16Arrays)->Unit(benchmark::kMillisecond);

void BM_GetArrayInfoL16Arrays(benchmark::State& state) {
  ModelFolder folder;
  if (!folder.Ok()) {
    state.SkipWithError("simulated controller could not be built");
    return;
  }
  Engine engine(folder.Dir());
  if (!engine.Ok() || !ModelComplete(engine.DM())) {
    state.SkipWithError("first build did not find 16 disks, 32 VDs and 16 arrays");
    return;
  }
  std::vector<int> indexes;
  for (int i = 0; i < MAX_ARRAY_SLOTS; ++i)
    if (engine.DM().RA(i) != nullptr) indexes.push_back(i);
  _zr_array_info info{};
  for (auto _ : state) {
    for (int i : indexes) {
      int rc = engine.DM().GetArrayInfoL(i, &info);
      benchmark::DoNotOptimize(rc);
    }
    benchmark::DoNotOptimize(info);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(indexes.size()));
}
BENCHMARK(BM_GetArrayInfoL16Arrays)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
