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
