// Node search, command fail-over, detection and the system-disk record.
#include "driver/drv_interface.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <unistd.h>

#include "driver/host_glue.h"
#include "sharedlib/diag.h"

namespace {

std::atomic<KelDrvInterface*> g_drv{nullptr};

// Whole-disk SCSI disk nodes only: "sd" names whose last character is not a digit.
bool IsWholeDiskNode(const std::string& name) {
  return name.size() > 2 && name.compare(0, 2, "sd") == 0 &&
         !isdigit(static_cast<unsigned char>(name.back()));
}

}  // namespace

KelDrvInterface* KelDrvGlobal() { return g_drv.load(); }
void KelDrvSetGlobal(KelDrvInterface* drv) { g_drv.store(drv); }

KelDrvInterface::KelDrvInterface(std::unique_ptr<KelDrvTransport> transport, std::string devDir)
    : m_pTransport(std::move(transport)),
      m_strDevDir(std::move(devDir)),
      m_sleep([](int s) { sleep(static_cast<unsigned>(s)); }),
      m_rootLookup(GetLinuxDirectory) {}

KelDrvSendResult KelDrvInterface::SendToNode(const std::string& name, KelUcmdBuffer& buf) {
  uint8_t cdb[KEL_CDB_LEN];
  KelBuildUcmdCdb(cdb);
  return m_pTransport->Send(name, cdb, buf.data(), buf.size());
}

bool KelDrvInterface::ProbeNode(const std::string& name, uint8_t* ctrl) {
  KelUcmdBuffer buf;
  if (!buf.Build(KEL_UCMD_CTLER_INFO, sizeof(_Controller_Info))) return false;
  KelDrvSendResult r = SendToNode(name, buf);
  if (r == KelDrvSendResult::kNoNode) {
    KEL_PRINT(ZEP_DBG_ERROR, "cannot open raid device\n");
    return false;
  }
  if (r != KelDrvSendResult::kOk) {
    KEL_PRINT(ZEP_DBG_ERROR, "GetBasicCtlerInfoEx: ioctl error on %s\n", PathOf(name).c_str());
    return false;
  }
  _Controller_Info info;
  memcpy(&info, buf.param(), sizeof(info));
  if (memcmp(info.szManufacturer, KEL_MANUFACTURER, sizeof(info.szManufacturer)) != 0)
    return false;
  *ctrl = static_cast<uint8_t>(info.byCtlerIndex - 1);
  return true;
}

void KelDrvInterface::AddEntry(const std::string& name, uint8_t ctrl) {
  if (!m_entryGate.WLock()) {
    KEL_PRINT(ZEP_DBG_ERROR, "Can not get lock after 5 seconds!!!\n");
    return;
  }
  if (std::find(m_ctlerIdx.begin(), m_ctlerIdx.end(), ctrl) == m_ctlerIdx.end())
    m_ctlerIdx.push_back(ctrl);
  bool known = std::any_of(m_entries.begin(), m_entries.end(),
                           [&](const Entry& e) { return e.name == name; });
  if (!known) m_entries.push_back({name, ctrl});
  m_entryGate.WUnlock();
}

void KelDrvInterface::dev_ent_del(const std::string& name) {
  if (!m_entryGate.WLock()) {
    KEL_PRINT(ZEP_DBG_ERROR, "Can not get lock after 5 seconds!!!\n");
    return;
  }
  m_entries.remove_if([&](const Entry& e) { return e.name == name; });
  m_entryGate.WUnlock();
  KEL_PRINT(ZEP_DBG_WARN, "Current dev entry after delete %s\n", PathOf(name).c_str());
}

std::vector<std::string> KelDrvInterface::NodesOf(uint8_t ctrl, bool* locked) {
  std::vector<std::string> nodes;
  *locked = false;
  if (!m_entryGate.RLock()) return nodes;
  *locked = true;
  for (const Entry& e : m_entries)
    if (e.ctrl == ctrl) nodes.push_back(e.name);
  m_entryGate.RUnlock();
  return nodes;
}

int KelDrvInterface::GetIoCtlFileNames_timeout(int attempts) {
  for (;;) {
    if (!m_entryGate.WLock()) {
      KEL_PRINT(ZEP_DBG_ERROR, "Can not get lock after 5 seconds!!!\n");
      return -1;
    }
    if (m_bRescan) {
      m_entryGate.WUnlock();
      KEL_PRINT(ZEP_DBG_INFO, "GetIoCtlFileNames: rescan is in progress\n");
      m_sleep(1);
      continue;
    }
    if (!m_entries.empty() && !m_ctlerIdx.empty()) {
      int n = static_cast<int>(m_ctlerIdx.size());
      m_entryGate.WUnlock();
      return n;
    }
    m_ctlerIdx.clear();
    m_bRescan = true;
    m_entryGate.WUnlock();
    break;
  }

  // The probes go out without the gate held: senders on other threads keep working.
  for (int pass = 0; pass < attempts; ++pass) {
    for (const std::string& name : m_pTransport->ListNodes()) {
      if (!IsWholeDiskNode(name)) continue;
      uint8_t ctrl = 0;
      if (ProbeNode(name, &ctrl)) AddEntry(name, ctrl);
    }
    if (GetControllerNum() > 0) break;
    KEL_PRINT(ZEP_DBG_WARN, "GetIoCtlFileNames: can not find clter\n");
    m_sleep(1);
  }
  m_bRescan = false;
  return GetControllerNum();
}

bool KelDrvInterface::SendScsiIoctlCmd(unsigned char ctrl, void* request, int kind,
                                       int attempts) {
  if (kind != KEL_REQ_SG_IO && kind != KEL_REQ_LEGACY) {
    KEL_PRINT(ZEP_DBG_ERROR, "SendScsiIoctlCmd: unknown request kind %d\n", kind);
    return false;
  }
  auto* req = static_cast<KelDrvRequest*>(request);
  for (int round = 0; round < 2; ++round) {
    bool locked = false;
    std::vector<std::string> nodes = NodesOf(ctrl, &locked);
    if (nodes.empty()) {
      if (GetIoCtlFileNames_timeout(attempts) <= 0) continue;
      nodes = NodesOf(ctrl, &locked);
    }
    for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) {
      const std::string path = PathOf(*it);
      for (int attempt = 0; attempt < 2; ++attempt) {
        KelDrvSendResult r = m_pTransport->Send(*it, req->cdb, req->buf, req->len);
        if (r == KelDrvSendResult::kOk) return true;
        if (r == KelDrvSendResult::kNoNode) {
          KEL_PRINT(ZEP_DBG_ERROR, "Cannot open device %s\n", path.c_str());
          break;
        }
        KEL_PRINT(ZEP_DBG_ERROR, "SendScsiIoctlCmd: Ioctl on device %s failed\n", path.c_str());
      }
      dev_ent_del(*it);
    }
  }
  return false;
}

bool KelDrvInterface::SendUcmd(unsigned char ctrl, KelUcmdBuffer& buf, int attempts) {
  KelDrvRequest req;
  KelBuildUcmdCdb(req.cdb);
  req.buf = buf.data();
  req.len = buf.size();
  return SendScsiIoctlCmd(ctrl, &req, KEL_REQ_SG_IO, attempts);
}

int KelDrvInterface::Drv_Init() {
  m_pTransport->WakeNodes();
  int last = 0;
  for (int i = 0; i < 3; ++i) {
    last = GetIoCtlFileNames();
    if (last > 0) {
      CheckSystemDisks();
      return 0;
    }
    if (last == 0)
      KEL_PRINT(ZEP_DBG_WARN,
                "drv_detect: Can not find any device attached to the controller in this system\n");
    else
      KEL_PRINT(ZEP_DBG_ERROR, "drv_detect: Get ctler File name failed\n");
    m_sleep(1);
  }
  if (last < 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "some error found\n");
    return 1;
  }
  KEL_PRINT(ZEP_DBG_WARN, "Can not find any device attached to the controller in this system\n");
  return 0;
}

int KelDrvInterface::GetControllerNum() {
  if (!m_entryGate.RLock()) return 0;
  int n = static_cast<int>(std::min<size_t>(m_ctlerIdx.size(), 255));
  m_entryGate.RUnlock();
  return n;
}

std::vector<std::pair<std::string, uint8_t>> KelDrvInterface::Entries() {
  std::vector<std::pair<std::string, uint8_t>> out;
  if (!m_entryGate.RLock()) return out;
  for (const Entry& e : m_entries) out.emplace_back(e.name, e.ctrl);
  m_entryGate.RUnlock();
  return out;
}

std::vector<uint8_t> KelDrvInterface::ControllerIndexes() {
  std::vector<uint8_t> out;
  if (!m_entryGate.RLock()) return out;
  out = m_ctlerIdx;
  m_entryGate.RUnlock();
  return out;
}

bool KelDrvInterface::QueryRealTargetsRBOP(const char* node, _Real_Targets_Pos_Info* info) {
  std::string name(node);
  size_t slash = name.rfind('/');
  if (slash != std::string::npos) name = name.substr(slash + 1);
  KelUcmdBuffer buf;
  if (!buf.Build(KEL_UCMD_REAL_TARGETS, sizeof(_Real_Targets_Pos_Info))) return false;
  KelDrvSendResult r = SendToNode(name, buf);
  if (r != KelDrvSendResult::kOk) {
    KEL_PRINT(ZEP_DBG_ERROR, "QueryRealTargetsRBOP: ioctl error on %s\n", PathOf(name).c_str());
    return false;
  }
  memcpy(info, buf.param(), sizeof(*info));
  return true;
}

bool KelDrvInterface::CheckSystemDiskRBOP() {
  _Real_Targets_Pos_Info rec{};
  char device[256] = {0};
  bool ok = false;
  if (m_rootLookup && m_rootLookup(device, sizeof(device)) != 0 && device[0] != 0)
    ok = QueryRealTargetsRBOP(device, &rec);
  if (!ok) rec = _Real_Targets_Pos_Info{};
  KelMutexGuard guard(m_sysDiskLock);
  m_sysRealTargetsPosInfo = rec;
  return ok;
}

void KelDrvInterface::CheckSystemDisks() { CheckSystemDiskRBOP(); }

_Real_Targets_Pos_Info KelDrvInterface::SystemDiskRecord() {
  KelMutexGuard guard(m_sysDiskLock);
  return m_sysRealTargetsPosInfo;
}

int KelDrvInterface::IsSystemDisk(uint8_t ctrlInternal, uint16_t device) {
  _Real_Targets_Pos_Info rec = SystemDiskRecord();
  if (rec.byValid == 0 || rec.byIsLogicTarget == 1 || rec.byCtlerInternalIndex != ctrlInternal)
    return 0;
  for (int i = 0; i < 8; ++i)
    if (rec.EntryUsed(i) && rec.DeviceNo(i) == device) return 2;
  return 0;
}

// The controller-internal index is not compared: a logical target's members are named by
// device number and VD id alone.
int KelDrvInterface::IsSystemVD(uint8_t /*ctrlInternal*/, uint16_t device, uint8_t vdId) {
  _Real_Targets_Pos_Info rec = SystemDiskRecord();
  if (rec.byIsLogicTarget != 1) return 0;
  for (int i = 0; i < 8; ++i)
    if (rec.EntryUsed(i) && rec.DeviceNo(i) == device && rec.byVDId[i] == vdId) return 2;
  return 0;
}
