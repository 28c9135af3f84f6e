// The engine standing on the driver fixture's simulated controller, with its driver context
// installed as the process-wide one. Configuration areas are written byte by byte from the
// on-disk layout by the engine-independent builder, so that the engine's own area code is
// checked against it.
#ifndef KEL_TESTS_ENGINE_ENGINE_FIXTURE_H
#define KEL_TESTS_ENGINE_ENGINE_FIXTURE_H

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/dev_manage.h"
#include "engine/partitions.h"
#include "engine/phy_device.h"
#include "engine/raid_array.h"
#include "engine/vir_device.h"
#include "tests/integration/integ_fixture.h"
#include "tests/support/conf_area_builder.h"

using kel_test::ConfVd;

// A 3072-byte configuration area in the current layout (marker version 3) with VD i in
// slot i, written by the engine-independent builder. The VD map names every slot given,
// whatever its valid bit.
inline std::vector<uint8_t> MakeArea(const std::vector<ConfVd>& vds) {
  kel_test::ConfAreaBuilder area;
  area.Pd(0x1234);
  for (size_t s = 0; s < vds.size(); ++s) area.Vd(static_cast<int>(s), vds[s]);
  return area.Bytes();
}

// The blocks of one array with one member per disk, in array order: member i gets VD id
// firstId + i and position i (RAID 0+1: 0, 1, ... again in the second half); the other
// fields come from `v`.
inline std::vector<ConfVd> ArrayMembers(ConfVd v, int count, uint32_t firstId) {
  std::vector<ConfVd> out;
  v.vdCount = static_cast<uint8_t>(count);
  v.memberIds.clear();
  for (int i = 0; i < count; ++i) v.memberIds.push_back(firstId + i);
  for (int i = 0; i < count; ++i) {
    v.vdId = firstId + i;
    v.secondHalf = v.raidType == KEL_RAID_01 && i >= count / 2;
    v.position = static_cast<uint8_t>(v.secondHalf ? i - count / 2 : i);
    out.push_back(v);
  }
  return out;
}

// The driver fixture with the engine's model on top; the driver context is the process's.
class EngineSimTest : public SimDriverTest {
 protected:
  void SetUp() override {
    SimDriverTest::SetUp();
    KelDrvSetGlobal(m_drv.get());
  }

  void TearDown() override {
    m_dm.reset();
    KelDrvSetGlobal(nullptr);
    SimDriverTest::TearDown();
  }

  void Import(const std::string& disk, const std::vector<uint8_t>& area) {
    std::string err;
    ASSERT_TRUE(KelSimAreaImport(*m_folder, disk, area, &err)) << err;
  }
  // One member of the array per disk, in array order (see ArrayMembers).
  void ImportArray(const std::vector<std::string>& disks, const ConfVd& v, uint32_t firstId) {
    std::vector<ConfVd> members = ArrayMembers(v, static_cast<int>(disks.size()), firstId);
    for (size_t i = 0; i < disks.size(); ++i) Import(disks[i], MakeArea({members[i]}));
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

  // The simulator's device number of disk `disk`, and the live disk that has it.
  uint16_t DevNo(const std::string& disk) {
    KelSimState s;
    std::string err;
    EXPECT_TRUE(KelSimSnapshot(*m_folder, &s, &err)) << err;
    for (const KelSimDisk& d : s.disks)
      if (d.name == disk) return static_cast<uint16_t>(KelSimDeviceNumber(d));
    return 0xFFFF;
  }
  KelPhyDevice* PDOf(const std::string& disk) {
    const uint16_t no = DevNo(disk);
    for (int i = 0; i < MAX_PDS; ++i)
      if (KelPhyDevice* pd = DM().PD(i); pd != nullptr && pd->DeviceNo() == no) return pd;
    return nullptr;
  }

  // The live RAID arrays (not plain-disk entries) in slot order.
  std::vector<KelRaidArray*> RaidArrays() {
    std::vector<KelRaidArray*> out;
    for (int i = 0; i < MAX_ARRAY_SLOTS; ++i)
      if (KelRaidArray* ra = DM().RA(i); ra != nullptr && !ra->IsPseudo()) out.push_back(ra);
    return out;
  }

  _zr_array_info ArrayInfo(const KelRaidArray* ra) {
    _zr_array_info info{};
    EXPECT_EQ(DM().GetArrayInfoL(ra->m_nIndex, &info), ZR_OK);
    return info;
  }

  std::unique_ptr<KelDeviceManage> m_dm;
};

#endif
