// The system-disk record from a real-targets answer (0x13) whose unused entries are filled
// with device number 0xFFFF (as the simulator does) or with zeros (as a real driver may).
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "driver/drv_interface.h"

namespace {

// Answers every 0x13 with one fixed record.
class TargetsTransport : public KelDrvTransport {
 public:
  explicit TargetsTransport(const _Real_Targets_Pos_Info& rec) : m_rec(rec) {}
  std::vector<std::string> ListNodes() override { return {}; }
  KelDrvSendResult Send(const std::string&, const unsigned char*, unsigned char* buf,
                        size_t len) override {
    if (len < 36 + sizeof(m_rec) || buf[30] != 0x13) return KelDrvSendResult::kFailed;
    std::memcpy(buf + 36, &m_rec, sizeof(m_rec));
    return KelDrvSendResult::kOk;
  }

 private:
  _Real_Targets_Pos_Info m_rec;
};

TEST(RealTargets, UnusedEntriesNameNoDiskWhateverTheFiller) {
  // The record: kind, then (device, VD id) members; the rest filled. The question: is
  // (device, VD id) a system disk (kind 0) or a system VD (kind 1)?
  const struct {
    uint16_t filler;
    uint8_t kind;
    std::vector<std::pair<uint16_t, uint8_t>> members;
    uint16_t device;
    uint8_t vd;
    int want;
  } kCases[] = {
      {0xFFFF, 0, {{4, 0}}, 4, 0, 2},  {0x0000, 0, {{4, 0}}, 4, 0, 2},
      {0xFFFF, 0, {{4, 0}}, 0, 0, 0},  {0x0000, 0, {{4, 0}}, 0, 0, 0},
      {0x0000, 0, {{0, 0}}, 0, 0, 2},  // device 0 as the node's own disk
      {0xFFFF, 1, {{4, 1}, {5, 0}}, 5, 0, 2}, {0x0000, 1, {{4, 1}, {5, 0}}, 5, 0, 2},
      {0xFFFF, 1, {{4, 1}, {5, 0}}, 0, 0, 0}, {0x0000, 1, {{4, 1}, {5, 0}}, 0, 0, 0},
      {0xFFFF, 1, {{4, 1}, {0, 0}}, 0, 0, 2},  // a real member at device 0, VD 0
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << "filler " << c.filler << " kind " << int(c.kind)
                                    << " device " << c.device);
    _Real_Targets_Pos_Info rec{};
    rec.byValid = 1;
    rec.byIsLogicTarget = c.kind;
    for (int i = 0; i < 8; ++i) {
      const bool member = i < static_cast<int>(c.members.size());
      rec.SetDeviceNo(i, member ? c.members[i].first : c.filler);
      rec.byVDId[i] = member ? c.members[i].second : static_cast<uint8_t>(c.filler);
    }
    KelDrvInterface drv(std::make_unique<TargetsTransport>(rec), "/nonexistent");
    drv.SetRootLookup([](char* dev, int) { return std::strcpy(dev, "/dev/sdz1") != nullptr; });
    drv.CheckSystemDisks();
    EXPECT_EQ(c.kind == 0 ? drv.IsSystemDisk(0, c.device) : drv.IsSystemVD(0, c.device, c.vd),
              c.want);
  }
}

}  // namespace
