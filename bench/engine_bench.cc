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

// The shared 16-disk, 16-array controller in a temporary folder, and the engine's model
// built over it with a driver context installed as the process's own.
class SixteenArrayEngine {
 public:
  SixteenArrayEngine() {
    char tmpl[] = "/tmp/kel_engine_bench.XXXXXX";
    if (mkdtemp(tmpl) == nullptr) return;
    m_tmp = tmpl;
    const std::string dir = m_tmp + "/sim";
    if (!kel_test::MakeSixteenArraySim(dir)) {
      m_error = "simulated controller could not be built";
      return;
    }
    m_drv = std::make_unique<KelDrvInterface>(std::make_unique<KelSimTransport>(dir), dir + "/dev");
    m_drv->SetSleep([](int) {});
    m_drv->SetRootLookup([](char*, int) { return 0; });
    KelDrvSetGlobal(m_drv.get());
    if (m_drv->Drv_Init() != 0 || m_dm.InitDML() != 1 || !Complete())
      m_error = "first build did not find 16 disks, 32 VDs and 16 arrays";
    else
      m_error = nullptr;
  }
  ~SixteenArrayEngine() {
    KelDrvSetGlobal(nullptr);
    std::error_code ec;
    if (!m_tmp.empty()) std::filesystem::remove_all(m_tmp, ec);
  }
  // Null when the model is ready.
  const char* Error() const { return m_error; }
  KelDeviceManage& DM() { return m_dm; }
  bool Complete() { return m_dm.PDNum() == 16 && m_dm.VDNum() == 32 && m_dm.RaidArrayNum() == 16; }

 private:
  std::string m_tmp;
  std::unique_ptr<KelDrvInterface> m_drv;
  KelDeviceManage m_dm;  // destroyed before the driver context it used
  const char* m_error = "temporary folder could not be made";
};

void BM_UpdateDML16Disks16Arrays(benchmark::State& state) {
  SixteenArrayEngine engine;
  if (engine.Error() != nullptr) {
    state.SkipWithError(engine.Error());
    return;
  }
  for (auto _ : state) {
    int rc = engine.DM().UpdateDML();
    benchmark::DoNotOptimize(rc);
  }
  if (!engine.Complete()) state.SkipWithError("rebuild lost part of the model");
  state.counters["arrays"] = engine.DM().RaidArrayNum();
}
BENCHMARK(BM_UpdateDML16Disks16Arrays)->Unit(benchmark::kMillisecond);

void BM_GetArrayInfoL16Arrays(benchmark::State& state) {
  SixteenArrayEngine engine;
  if (engine.Error() != nullptr) {
    state.SkipWithError(engine.Error());
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
