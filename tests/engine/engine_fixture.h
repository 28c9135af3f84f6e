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

// One VD block as the test wants it on disk (fields in declaration order, so tests can use
// designated initialisers).
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
  std::string arrayName = {};
  std::vector<uint32_t> members = {};
  uint64_t sideValue = 0;
  uint8_t flags2 = 0;
  bool valid = true;
  uint64_t arrayMark = 0;
};

// A 3072-byte configuration area in the current layout (marker version 3), written by the
// engine-independent builder. The VD map names every slot given, whatever its valid bit.
inline std::vector<uint8_t> MakeArea(const std::vector<VDSpec>& vds, uint32_t serialChk = 0x1234) {
  kel_test::ConfAreaBuilder area;
  area.Pd(serialChk);
  for (const VDSpec& v : vds)
    area.Vd(v.slot, {.raidType = v.raidType, .vdCount = v.vdNum,
                     .position = uint8_t(v.position & 7), .secondHalf = (v.position & 0x80) != 0,
                     .start = v.start, .length = v.length, .stripeSectors = v.stripe,
                     .levelParam = v.levelParam, .arrayName = v.arrayName, .memberIds = v.members,
                     .sideValue = v.sideValue, .arrayMark = v.arrayMark, .flags105 = v.flags2,
                     .valid = v.valid, .vdId = v.id});
  return area.Bytes();
}

// The blocks of one array with one member per disk, in array order: member i gets id
// firstId + i and position i (RAID 0+1: 0, 1, ... then bit 7 for the second half); the
// other fields come from `v`.
inline std::vector<VDSpec> ArrayMembers(VDSpec v, int count, uint32_t firstId) {
  std::vector<VDSpec> out;
  v.vdNum = static_cast<uint8_t>(count);
  v.members.clear();
  for (int i = 0; i < count; ++i) v.members.push_back(firstId + i);
  for (int i = 0; i < count; ++i) {
    v.id = firstId + i;
    const bool second = v.raidType == KEL_RAID_01 && i >= count / 2;
    v.position = static_cast<uint8_t>(second ? 0x80 | (i - count / 2) : i);
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

  // Disks are attached directly and are 512 MiB unless said otherwise.
  std::string AddDisk(int channel, int side, int port = -1, uint64_t sectors = 1 << 20,
                      const std::string& serial = "") {
    return SimDriverTest::AddDisk(channel, side, port, sectors, serial);
  }

  void Import(const std::string& disk, const std::vector<uint8_t>& area) {
    std::string err;
    ASSERT_TRUE(KelSimAreaImport(*m_folder, disk, area, &err)) << err;
  }
  // One member of the array per disk, in array order (see ArrayMembers).
  void ImportArray(const std::vector<std::string>& disks, const VDSpec& v, uint32_t firstId) {
    std::vector<VDSpec> members = ArrayMembers(v, static_cast<int>(disks.size()), firstId);
    for (size_t i = 0; i < disks.size(); ++i) Import(disks[i], MakeArea({members[i]}));
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

  std::unique_ptr<KelDeviceManage> m_dm;
};

#endif
