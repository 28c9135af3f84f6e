// Fuzz target for configuration areas as the engine reads them from disks: a hostile or
// damaged disk can carry any 3072 bytes. The input is cut into one or two areas (the second
// starts at byte 3072; a short one is padded with zeros) and each goes through what a scan
// does with it:
//   - the area functions alone: parsing (with the conversion of the older layout), the
//     conversion on its own, slot listing, positions, write preparation, slot deletion;
//   - the model: each area on a disk of its own in a device manager without a driver, its
//     VDs and arrays built as a scan builds them, every array validated and judged, every
//     disk's space analysed, and the info records and queries read back.
// Bytes 0..4 of each area lie in the unused head of the layout; they choose the disk's size
// (zero means 512 MiB), so that VD extents meet disks of every size; byte 8 picks the slot
// that is deleted.
// The target must not crash, read out of bounds or loop, and every free area the engine
// offers must lie inside the disk.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "engine/conf_area.h"
#include "engine/dev_manage.h"
#include "engine/phy_device.h"
#include "engine/raid_array.h"
#include "engine/vir_device.h"

namespace {

constexpr size_t kArea = sizeof(_PD_Config_sector_);

[[noreturn]] void Fail(const char* what, unsigned long long a = 0, unsigned long long b = 0) {
  fprintf(stderr, "conf_area_fuzz: %s (%llu, %llu)\n", what, a, b);
  abort();
}

// The area functions on their own, on copies of the raw bytes.
void AreaFunctions(const _PD_Config_sector_& raw) {
  _PD_Config_sector_ converted = raw;
  KelConfigDataZRaid2Tarvo(&converted);

  _PD_Config_sector_ area = raw;
  ParsePDConfigData(&area);
  int slots[MAX_VD_PER_PD];
  int used = KelListUsedSlots(&area, slots);
  if (used < 0 || used > MAX_VD_PER_PD) Fail("slot count", static_cast<unsigned>(used));
  for (int i = 0; i < used; ++i) {
    const _VD_Config_sector_* vd = area.Vd(slots[i]);
    int pos = vd->ArrayPosition(vd->RaidType());
    if (pos < 0 || pos > 15) Fail("array position", static_cast<unsigned>(pos));
  }
  bool changed[MAX_VD_PER_PD];
  KelPrepareAreaForWrite(&area, raw, changed);
  DeleteVDInPDConfSect(&area, raw.b[8] % (MAX_VD_PER_PD + 1));
}

uint64_t DiskSectors(const _PD_Config_sector_& raw) {
  uint64_t v = 0;
  for (int i = 4; i >= 0; --i) v = v << 8 | raw.b[i];
  return v != 0 ? v : (1u << 20);
}

// The space queries; every free area lies inside the disk's usable space.
void CheckSpace(const KelPhyDevice* pd) {
  const uint64_t usable = pd->UsableSectors();
  _FRAGMENT_INFO f[MAX_FREE_SPACE_PER_PD] = {};
  _FRAGMENT_INFO* out[MAX_FREE_SPACE_PER_PD];
  for (int i = 0; i < MAX_FREE_SPACE_PER_PD; ++i) out[i] = &f[i];
  int n = pd->GetFreeInfo(out);
  if (n < 0 || n > MAX_FREE_SPACE_PER_PD) Fail("free area count", static_cast<unsigned>(n));
  for (int i = 0; i < n; ++i)
    if (f[i].dw64StartSector > usable || f[i].dw64SectorLength > usable - f[i].dw64StartSector)
      Fail("free area outside the disk", f[i].dw64StartSector, f[i].dw64SectorLength);
  _zr_protect_free_info_t p[16] = {};
  _zr_protect_free_info_t* table[16];
  for (int i = 0; i < 16; ++i) table[i] = &p[i];
  if (pd->m_nProtectFreeNum <= 16) pd->GetProtectFreeInfo(table);
  _PD_Area_Addr_t addr{};
  pd->GetVDAreaBySize(&addr, 1);
}

// The model over one or two disks carrying the areas.
void Model(const _PD_Config_sector_* raw, int disks) {
  KelDeviceManage dm;
  if (!dm.WLock()) Fail("model lock");
  for (int d = 0; d < disks; ++d) {
    auto* pd = new KelPhyDevice(&dm, nullptr, nullptr, 0, d, 0, false, -1);
    pd->m_DevInfo.SetCapacity(DiskSectors(raw[d]));
    pd->m_PDConfigSector = raw[d];
    pd->ParsePDConfigData();
    pd->m_PDConfigSectorSaved = pd->m_PDConfigSector;
    if (dm.RegisterPD(pd) == 0) Fail("disk refused");
    pd->BuildVDArray(1);
  }
  for (int i = 0; i < MAX_ARRAY_SLOTS; ++i)
    if (KelRaidArray* ra = dm.RA(i)) ra->ValidateRaidArray();
  for (int i = 0; i < MAX_PDS; ++i)
    if (KelPhyDevice* pd = dm.PD(i)) pd->AnalyzePDFragInfo();
  dm.SortArraysByName();
  // Nothing else runs here; the arrays are listed under the lock only to keep the analysis
  // of the lock annotations exact.
  std::vector<std::pair<int, KelRaidArray*>> arrays;
  for (int i = 0; i < MAX_ARRAY_SLOTS; ++i)
    if (KelRaidArray* ra = dm.RA(i)) arrays.emplace_back(i, ra);
  dm.WUnlock();

  for (auto [i, ra] : arrays) {
    _zr_array_info info;
    if (dm.GetArrayInfoL(i, &info) != ZR_OK) Fail("array info", static_cast<unsigned>(i));
    unsigned short sync = 0;
    ra->GetRASyncStatus(&sync);
    ra->CanbeRepair();
    ra->GetRAMigStatus();
    for (int pos = 0; pos < 16; ++pos) {
      _zr_vd_info vd;
      _zr_device_info dev;
      dm.GetVDInfoByArrayPosL(i, pos, &vd);
      dm.GetPDInfoByArrayPosL(i, pos, &dev);
    }
  }
  for (int i = 0; i < MAX_PDS; ++i) {
    KelPhyDevice* pd = dm.PD(i);
    if (pd == nullptr) continue;
    CheckSpace(pd);
    _zr_device_info dev;
    if (dm.GetPDInfoL(i, &dev) != ZR_OK) Fail("disk info", static_cast<unsigned>(i));
    for (int slot = 0; slot < MAX_VD_PER_PD; ++slot) {
      _zr_vd_info vd;
      dm.GetVDInfoByPDLogicIndexL(i, slot, &vd);
    }
  }
  int count = 0;
  unsigned char order[MAX_ARRAYS];
  dm.GetSortedArrayIndex(&count, order);
  _LIB_Need_SMR_Info_t smr;
  dm.GetLIBNeedSMRInfoL(&smr);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The engine's diagnostics go to standard output; libFuzzer reports on standard error.
  int devnull = open("/dev/null", O_WRONLY);
  if (devnull >= 0) {
    dup2(devnull, STDOUT_FILENO);
    close(devnull);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int disks = size > kArea ? 2 : 1;
  _PD_Config_sector_ raw[2];
  for (int d = 0; d < disks; ++d) {
    std::memset(raw[d].b, 0, kArea);
    const size_t from = d * kArea;
    if (size > from) std::memcpy(raw[d].b, data + from, size - from < kArea ? size - from : kArea);
    AreaFunctions(raw[d]);
  }
  Model(raw, disks);
  return 0;
}
