// The engine's model over a simulated controller with 16 disks (two channels, a device hub
// on all four positions, four disks on every hub) carrying 16 arrays in 32 VDs: four RAID 1,
// two RAID 0, two RAID 5, six two-disk spans and two one-disk spans, every disk holding two
// VDs. Timed: a full rebuild of the model from a fresh scan (UpdateDML: driver probe, scan,
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
#include "engine/conf_area.h"
#include "engine/dev_manage.h"
#include "engine/partitions.h"
#include "sim/sim_ops.h"
#include "sim/sim_transport.h"

namespace {

constexpr uint64_t kVDLength = 100000;

struct Part {
  int disk;
  int slot;
};

struct ArrayPlan {
  uint8_t type;
  std::vector<Part> parts;
  uint8_t stripe;
};

std::vector<ArrayPlan> Plan() {
  std::vector<ArrayPlan> p;
  for (int i = 0; i < 4; ++i) p.push_back({KEL_RAID_1, {{2 * i, 0}, {2 * i + 1, 0}}, 0});
  p.push_back({KEL_RAID_0, {{8, 0}, {9, 0}}, 128});
  p.push_back({KEL_RAID_0, {{10, 0}, {11, 0}}, 128});
  p.push_back({KEL_RAID_5, {{12, 0}, {13, 0}, {14, 0}}, 64});
  p.push_back({KEL_RAID_5, {{15, 0}, {0, 1}, {1, 1}}, 64});
  for (int d = 2; d < 14; d += 2) p.push_back({KEL_RAID_SPAN, {{d, 1}, {d + 1, 1}}, 0});
  p.push_back({KEL_RAID_SPAN, {{14, 1}}, 0});
  p.push_back({KEL_RAID_SPAN, {{15, 1}}, 0});
  return p;
}

class ModelFolder {
 public:
  ModelFolder() {
    char tmpl[] = "/tmp/kel_engine_bench.XXXXXX";
    if (mkdtemp(tmpl) == nullptr) return;
    m_tmp = tmpl;
    std::string err;
    m_ok = Build(&err);
    if (!m_ok) std::fprintf(stderr, "engine bench setup: %s\n", err.c_str());
  }
  ~ModelFolder() {
    std::error_code ec;
    if (!m_tmp.empty()) std::filesystem::remove_all(m_tmp, ec);
  }
  bool Ok() const { return m_ok; }
  std::string Dir() const { return m_tmp + "/sim"; }

 private:
  bool Build(std::string* err) {
    if (!KelSimInit(Dir(), 2, err)) return false;
    KelSimFolder f(Dir());
    std::vector<std::string> names;
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
          names.push_back(name);
        }
      }
    std::vector<_PD_Config_sector_> areas(names.size());
    for (size_t d = 0; d < names.size(); ++d) InitPDConfSect(&areas[d], 0x1000u * (d + 1));
    uint32_t nextId = 0x100;
    for (const ArrayPlan& a : Plan()) {
      uint32_t ids[8] = {};
      for (size_t i = 0; i < a.parts.size(); ++i) ids[i] = nextId++;
      for (size_t i = 0; i < a.parts.size(); ++i) {
        const Part& p = a.parts[i];
        _PD_Config_sector_& area = areas[static_cast<size_t>(p.disk)];
        _VD_Config_sector_* vd = area.Vd(p.slot);
        std::memset(vd->b, 0, sizeof(vd->b));
        vd->SetU16(vdoff::kSignature, SIGNATURE_VD);
        vd->SetU8(vdoff::kSlot, static_cast<uint8_t>(p.slot));
        vd->SetU32(vdoff::kVDId, ids[i]);
        const uint64_t start = p.slot == 0 ? 0 : 2 * kVDLength;
        vd->SetU64(vdoff::kStart, start);
        vd->SetU64(vdoff::kEnd, start + kVDLength);
        vd->SetU64(vdoff::kLength, kVDLength);
        vd->SetU64(vdoff::kLengthCopy, kVDLength);
        vd->SetU16(vdoff::kState, KEL_VD_STATE_VALID);
        vd->SetU8(vdoff::kRaidType, a.type);
        vd->SetU8(vdoff::kArrayVDNum, static_cast<uint8_t>(a.parts.size()));
        vd->SetU8(vdoff::kFlags, KEL_VD_FLAG_CREATED | KEL_VD_FLAG_NAME_VALID);
        vd->SetU8(vdoff::kStripe, a.stripe);
        vd->SetU8(vdoff::kPosition, static_cast<uint8_t>(i));
        std::snprintf(reinterpret_cast<char*>(vd->b + vdoff::kArrayName), 24, "array%02u",
                      ids[0] & 0xFF);
        SetPDConfigVDGUIDs(&area, p.slot, ids);
        area.SetCountOfVDs(static_cast<uint8_t>(area.CountOfVDs() + 1));
        area.SetVDMap(area.VDMap() | (1u << p.slot));
      }
    }
    for (size_t d = 0; d < names.size(); ++d) {
      MakePDConfigSectorCheckSum(&areas[d]);
      std::vector<unsigned char> bytes(areas[d].b, areas[d].b + sizeof(areas[d].b));
      if (!KelSimAreaImport(f, names[d], bytes, err)) return false;
    }
    return true;
  }

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
