// The typed sub-commands byte by byte, as each wrapper hands its UCMD header and parameters
// to the transport (recorded on their way to the simulated controller): the data-moving ones
// the simulator refuses, the ones it only acknowledges, and the parameter heads of the raw
// write and SMART. What the simulator answers to the other wrappers is checked in
// drv_sim_records_test.cc.
#include <gtest/gtest.h>

#include <functional>

#include "driver/ucmd_packet.h"
#include "tests/integration/integ_fixture.h"

namespace {

class WrapperBytes : public SimDriverTest {
 protected:
  void SetUp() override {
    SimDriverTest::SetUp();
    if (HasFatalFailure()) return;
    AddDisk(0, 0, -1);
    AddDisk(1, 1, -1);  // device number 12
    ASSERT_EQ(m_drv->Drv_Init(), 0);
  }

  // The head of the first block with sub-command `sub` sent after the first `from` ones.
  std::vector<uint8_t> FirstBlock(size_t from, uint8_t sub) {
    auto blocks = m_transport->Blocks();
    for (size_t i = from; i < blocks.size(); ++i)
      if (blocks[i].second[30] == sub) return blocks[i].second;
    ADD_FAILURE() << "no block with sub-command " << int(sub);
    return std::vector<uint8_t>(RecordingSimTransport::kHead, 0);
  }
};

TEST_F(WrapperBytes, EachWrapperSendsItsSubCommandLengthAndParameterBytes) {
  _SYNC_RAID_IOBUFFER sync{};
  sync.byPairNum = 2;
  sync.pairs[1].byCtlerInternalIndex = 7;
  sync.pairs[1].SetDeviceNo(0xBEEF);
  sync.pairs[1].byVDId = 1;
  sync.SetStartLBA(0x0102030405060708ull);
  sync.SetSectorCount(128);
  EXPECT_EQ(sync.StartLBA(), 0x0102030405060708ull);
  _SYNC_SAVESTARTADDR_IOBUFFER syncSave{};
  syncSave.byCtlerInternalIndex = 3;
  syncSave.SetDeviceNo(0x0A0B);
  syncSave.byVDId = 1;
  syncSave.SetPosition(0x1122334455667788ull);
  _MIGRATE_RAID_IOBUFFER mig{};
  mig.SetSectorCount(128);
  _MIGRATE_SAVESTARTADDR_IOBUFFER migSave{};
  migSave.byVDId = 1;
  _LASTUSERDATA_POS_INFO src{}, tgt{};
  src.SetStartLBA(0x10);
  tgt.SetStartLBA(0x20);
  std::vector<uint8_t> data(512, 0x7E);
  _DISK_IO_POS_EX pos{0, 0, 12, 0x40, 1};
  _DISK_IO_RESULT res{};
  const uint8_t smartCmd[8] = {0xD0, 9, 9};
  std::vector<uint8_t> smartOut(512);
  KelUCmdPacket packet(nullptr, m_op.get());

  const struct {
    const char* what;
    std::function<int()> call;
    int result;  // -1: the simulator's answer depends on its disks, only the bytes count
    uint8_t sub;
    uint32_t paramLen;
    std::vector<std::pair<int, int>> bytes;  // (offset in the parameters, value)
  } cases[] = {
      {"sync mirror", [&] { return m_op->SyncMirrorRBOP(0, &sync); }, -1, 0x09, 42,
       {{0, 2}, {8, 7}, {10, 0xEF}, {11, 0xBE}, {12, 1}, {26, 0x08}, {33, 0x01}, {34, 128}}},
      {"sync RAID 5", [&] { return m_op->SyncRaid5RBOP(0, &sync); }, -1, 0x09, 42,
       {{0, 2}, {34, 128}}},
      {"sync save", [&] { return m_op->SyncSaveAddrRBOP(0, &syncSave); }, -1, 0x28, 12,
       {{0, 3}, {1, 0x0B}, {2, 0x0A}, {3, 1}, {4, 0x88}, {11, 0x11}}},
      {"migrate", [&] { return m_op->MigrateArrayRBOP(0, &mig); }, -1, 0x15, 20, {{12, 128}}},
      {"migrate save", [&] { return m_op->MigrateSaveAddrRBOP(0, &migSave); }, -1, 0x16, 12,
       {{3, 1}}},
      {"move last data", [&] { return m_op->MoveLastUserData(0, 0x0304, &src, &tgt); }, -1, 0x51,
       34, {{0, 4}, {1, 3}, {2 + 8, 0x10}, {18 + 8, 0x20}}},
      {"recover last data",
       [&] { return m_op->RecoverLastUserDataRBOP(0, 0x0506, &src, 0x0102030405060708ull); }, -1,
       0x52, 26, {{0, 6}, {1, 5}, {2 + 8, 0x10}, {18, 8}, {25, 1}}},
      {"replace", [&] { return m_op->ReplaceVDRBOP(0, 1, 0x0203, 1, 4, 0x0506, 3, 0x100, 0x80); },
       -1, 0x17, 26,
       {{0, 1}, {1, 0}, {2, 3}, {3, 2}, {4, 1}, {5, 4}, {6, 0}, {7, 6}, {8, 5}, {9, 3}, {11, 1},
        {18, 0x80}}},
      {"clear dirty flag", [&] { return m_op->ClearDeviceDirtyFlagRBOP(0, 0, 12, 1, 5); }, 1, 0x0E,
       6, {{0, 0}, {1, 0}, {2, 12}, {3, 0}, {4, 1}, {5, 5}}},
      {"keep logic target", [&] { return m_op->KeepLogicTargetForVD(0, 3, 0x0009, 1, &packet); },
       -1, 0x12, 12, {{0, 3}, {1, 1}, {2, 0}, {4, 9}, {5, 0}, {6, 0}}},
      {"raw write", [&] { return m_op->WriteDeviceDataRBOP(&pos, data.data(), &res); }, 1, 0x07,
       512 + 25, {{0, 0}, {2, 12}, {3, 0}, {8, 0x40}, {16, 1}, {24, 0x7E}, {535, 0x7E}, {536, 0}}},
      {"SMART", [&] { return m_op->ExecSmartCmdRBOP(0, 0, 12, smartCmd, smartOut.data(), 512); },
       1, 0x53, 512 + 9, {{2, 12}, {3, 0}, {4, 0xD0}, {5, 0}, {6, 0}, {7, 2}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    size_t from = m_transport->Blocks().size();
    testing::internal::CaptureStdout();
    const int result = c.call();
    if (c.result >= 0) {
      EXPECT_EQ(result, c.result);
    }
    testing::internal::GetCapturedStdout();
    std::vector<uint8_t> b = FirstBlock(from, c.sub);
    EXPECT_EQ(b[28] | b[29] << 8, 0x5A17);
    EXPECT_EQ(uint32_t(b[32] | b[33] << 8 | b[34] << 16 | b[35] << 24), c.paramLen);
    for (const auto& [offset, value] : c.bytes)
      EXPECT_EQ(b[36 + offset], value) << "parameter byte " << offset;
  }
  EXPECT_EQ(res.dw64SectorsDone, 1u);
  EXPECT_EQ(packet.Controllers(), std::vector<uint8_t>{0});  // noted by the logic target
  // Without a packet the command goes out at once (the simulator refuses it: disk 9 holds no
  // array).
  const size_t sent = m_transport->Blocks().size();
  m_op->KeepLogicTargetForVD(0, 3, 0x0009, 1, nullptr);
  EXPECT_GT(m_transport->Blocks().size(), sent);
}

TEST_F(WrapperBytes, WrongLengthsAndControllerIndexesPrintAssertions) {
  std::vector<uint8_t> buf(3072);
  testing::internal::CaptureStdout();
  m_op->ReadConfigData(0, 0, 0, buf.data(), 512);
  KelMultiConfFree(PrePareMultiConfData(0, 0, buf.data(), 1024, nullptr));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("numSector*HD_SECTOR_SIZE == dwToRead"), std::string::npos) << out;
  EXPECT_NE(out.find("numSector*HD_SECTOR_SIZE == wdBufSize"), std::string::npos) << out;

  // The bus-changed notice through a packet: sent at once, its controller noted; index 255 is
  // refused with an assertion before anything is sent.
  KelUCmdPacket packet(nullptr, m_op.get());
  packet.StartUcmdPackPro();
  ASSERT_TRUE(packet.UCmdNotifyOsBusChangedEx(0));
  EXPECT_EQ(m_transport->SentCommands().back().first, 0x0F);
  ASSERT_TRUE(packet.UCmdNotifyOsBusChangedEx(0));
  EXPECT_EQ(packet.Controllers(), std::vector<uint8_t>{0});  // noted once
  size_t sent = m_transport->Sent().size();
  testing::internal::CaptureStdout();
  EXPECT_FALSE(packet.UCmdNotifyOsBusChangedEx(255));
  out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("byCtrlIndex < MAX_CONTROLLERS"), std::string::npos);
  EXPECT_EQ(m_transport->Sent().size(), sent);
  EXPECT_TRUE(packet.DeliverUcmdPacket());  // nothing queued
  KelUcmdBuffer block;
  ASSERT_TRUE(block.Build(KEL_UCMD_HOTPLUG, 4));
  ASSERT_TRUE(packet.QueueUcmd(7, std::move(block)));  // a controller that is not there
  EXPECT_FALSE(packet.DeliverUcmdPacket());
  packet.EndUcmdPackPro();
  EXPECT_TRUE(packet.Controllers().empty());
}

}  // namespace
