// An in-memory transport for the driver layer's tests: a list of node names, a controller
// that answers the identity command on chosen nodes, nodes that fail or vanish on demand,
// and a record of every command sent (node and the bytes of the UCMD block).
#ifndef KEL_TESTS_DRIVER_FAKE_TRANSPORT_H
#define KEL_TESTS_DRIVER_FAKE_TRANSPORT_H

#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "driver/drv_info_records.h"
#include "driver/drv_transport.h"

struct FakeSent {
  std::string node;
  std::vector<unsigned char> cdb;
  std::vector<unsigned char> block;  // the buffer as sent, before any answer
  size_t len;
};

class FakeTransport : public KelDrvTransport {
 public:
  std::vector<std::string> nodes;
  std::set<std::string> controllerNodes;  // answer 0x01 with the manufacturer text
  std::set<std::string> foreignNodes;     // answer 0x01 with another manufacturer
  std::set<std::string> vanished;         // kNoNode
  std::set<std::string> failing;          // kFailed
  uint8_t ctlerIndexByte = 1;             // byte 76 of the controller identity
  // Fills the parameter area of any other sub-command; returns false to fail it.
  std::function<bool(uint8_t sub, unsigned char* param)> answer;
  int wakeCalls = 0;

  std::vector<FakeSent> Sent() {
    std::lock_guard<std::mutex> g(m_mu);
    return m_sent;
  }
  std::vector<std::string> SentNodes() {
    std::vector<std::string> out;
    for (const FakeSent& s : Sent()) out.push_back(s.node);
    return out;
  }

  std::vector<std::string> ListNodes() override { return nodes; }
  void WakeNodes() override { ++wakeCalls; }
  KelDrvSendResult Send(const std::string& name, const unsigned char cdb[10], unsigned char* buf,
                        size_t len) override {
    {
      std::lock_guard<std::mutex> g(m_mu);
      m_sent.push_back({name, std::vector<unsigned char>(cdb, cdb + 10),
                        std::vector<unsigned char>(buf, buf + len), len});
    }
    if (vanished.count(name)) return KelDrvSendResult::kNoNode;
    if (failing.count(name)) return KelDrvSendResult::kFailed;
    uint8_t sub = buf[30];
    unsigned char* param = buf + 36;
    if (sub == 0x01) {
      _Controller_Info info{};
      if (controllerNodes.count(name))
        memcpy(info.szManufacturer, "ZEP Technologies", 16);
      else if (foreignNodes.count(name))
        memcpy(info.szManufacturer, "ZEP Technologiez", 16);
      else
        return KelDrvSendResult::kFailed;
      info.byCtlerIndex = ctlerIndexByte;
      info.byChannelNum = 2;
      memcpy(param, &info, sizeof(info));
      return KelDrvSendResult::kOk;
    }
    if (answer && !answer(sub, param)) return KelDrvSendResult::kFailed;
    return KelDrvSendResult::kOk;
  }

 private:
  std::mutex m_mu;
  std::vector<FakeSent> m_sent;  // guarded by m_mu
};

#endif
