// The engine on a simulated controller whose data-moving sub-commands (0x09, 0x15, 0x16,
// 0x17, 0x28, 0x52) are answered by the test: each is recorded with its parameters, in order
// with the configuration writes (0x11), and can be made to fail. Everything else goes to the
// simulator.
#ifndef KEL_TESTS_ENGINE_STEP_FIXTURE_H
#define KEL_TESTS_ENGINE_STEP_FIXTURE_H

#include <atomic>
#include <mutex>
#include <set>

#include "driver/drv_ucmd.h"
#include "engine_fixture.h"

struct StepCmd {
  uint8_t code;
  std::vector<uint8_t> param;  // the parameter area as sent (64 bytes)
  uint64_t U64(size_t off) const { return KelLoadLe64(param.data() + off); }
};

class StepTransport : public KelDrvTransport {
 public:
  explicit StepTransport(const std::string& dir) : m_sim(dir) {}
  std::vector<std::string> ListNodes() override { return m_sim.ListNodes(); }
  KelDrvSendResult Send(const std::string& name, const unsigned char cdb[10], unsigned char* buf,
                        size_t len) override {
    const uint8_t code = buf[30];
    std::lock_guard<std::mutex> g(m_lock);
    const bool faked = kFaked.count(code) != 0;
    if (faked || code == KEL_UCMD_WRITE_MULTI_CONF)
      m_cmds.push_back({code, std::vector<uint8_t>(buf + KEL_UCMD_HEADER, buf + KEL_UCMD_HEADER + 64)});
    if (!faked) return m_sim.Send(name, cdb, buf, len);
    return m_failCode == code ? KelDrvSendResult::kFailed : KelDrvSendResult::kOk;
  }
  // Fails every command `code` from now on (0: none).
  void Fail(uint8_t code) { m_failCode = code; }
  std::vector<StepCmd> Cmds() {
    std::lock_guard<std::mutex> g(m_lock);
    return m_cmds;
  }
  std::vector<StepCmd> Cmds(uint8_t code) {
    std::vector<StepCmd> out;
    for (const StepCmd& c : Cmds())
      if (c.code == code) out.push_back(c);
    return out;
  }

 private:
  inline static const std::set<uint8_t> kFaked = {0x09, 0x15, 0x16, 0x17, 0x28, 0x52};
  KelSimTransport m_sim;
  std::mutex m_lock;
  std::vector<StepCmd> m_cmds;  // guarded by m_lock
  std::atomic<uint8_t> m_failCode{0};
};

class StepSimTest : public EngineSimTest {
 protected:
  void SetUp() override {
    EngineSimTest::SetUp();
    m_op.reset();
    m_transport = nullptr;
    auto t = std::make_unique<StepTransport>(SimDir());
    m_steps = t.get();
    m_drv = std::make_unique<KelDrvInterface>(std::move(t), m_folder->DevDir());
    m_drv->SetSleep([](int) {});
    m_op = std::make_unique<KelRaidBasicOp>(*m_drv);
    KelDrvSetGlobal(m_drv.get());
  }

  static _Index_Plus_t Ref(const KelRaidArray* ra) { return {ra->m_nIndex, ra->m_wdMagicNum, 0}; }
  KelRaidArray* OnlyArray() { return RaidArrays().at(0); }

  StepTransport* m_steps = nullptr;  // owned by m_drv
};

#endif
