// The driver context: the transport that reaches the kernel driver, the table of disk nodes
// that belong to the controller (found by asking every whole-disk node for its controller
// identity), sending one command with fail-over between nodes, driver detection and the
// record of the disk that holds the root file system.
//
// One instance serves the whole process; the engine reaches it through KelDrvGlobal() once
// the service has installed it with KelDrvSetGlobal().
#ifndef KEL_DRIVER_DRV_INTERFACE_H
#define KEL_DRIVER_DRV_INTERFACE_H

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "driver/drv_info_records.h"
#include "driver/drv_transport.h"
#include "driver/drv_ucmd.h"
#include "sharedlib/kel_mutex.h"

// The request handed to SendScsiIoctlCmd: the command descriptor block and the UCMD buffer.
struct KelDrvRequest {
  uint8_t cdb[KEL_CDB_LEN];
  uint8_t* buf;
  size_t len;
};

// The request kinds SendScsiIoctlCmd accepts: the SG_IO request code and the legacy kind 1.
constexpr int KEL_REQ_SG_IO = 0x2285;
constexpr int KEL_REQ_LEGACY = 1;

constexpr char KEL_MANUFACTURER[] = "ZEP Technologies";  // 16 bytes, no terminator compared

class KelDrvInterface {
 public:
  using SleepFn = std::function<void(int seconds)>;
  // Finds the device holding the root file system: fills `device` (zeroed by the caller,
  // `size` bytes) and returns non-zero, or returns 0.
  using RootLookupFn = std::function<int(char* device, int size)>;

  // `devDir` names the device folder in messages and is stripped from the root device name.
  explicit KelDrvInterface(std::unique_ptr<KelDrvTransport> transport,
                           std::string devDir = "/dev");
  ~KelDrvInterface() = default;
  KelDrvInterface(const KelDrvInterface&) = delete;
  KelDrvInterface& operator=(const KelDrvInterface&) = delete;

  // Replace the one-second waits of the node search and detection (tests do not sleep).
  void SetSleep(SleepFn fn) { m_sleep = std::move(fn); }
  // Replace the root-device lookup (default: GetLinuxDirectory of the host glue).
  void SetRootLookup(RootLookupFn fn) { m_rootLookup = std::move(fn); }

  // Node search with up to `attempts` passes over the device folder. Returns the number of
  // controllers found (0 when none), or -1 when the entry table could not be locked.
  int GetIoCtlFileNames_timeout(int attempts);
  int GetIoCtlFileNames() { return GetIoCtlFileNames_timeout(3); }

  // Sends `request` (a KelDrvRequest) to controller `ctrl` through its nodes, last node
  // first, two tries per node; nodes that fail are dropped from the table. An empty table
  // triggers a node search of `attempts` passes. Returns true on success.
  bool SendScsiIoctlCmd(unsigned char ctrl, void* request, int kind, int attempts);
  // Frames `buf` with the vendor CDB and sends it as above.
  bool SendUcmd(unsigned char ctrl, KelUcmdBuffer& buf, int attempts = 3);
  // Sends `buf` straight to node `name` (no fail-over); prints nothing.
  KelDrvSendResult SendToNode(const std::string& name, KelUcmdBuffer& buf);

  // Detection: 0 when the driver answers (even with no controller found), 1 when not.
  int Drv_Init();
  // Number of controllers in the controller list (at most 255).
  int GetControllerNum();

  // Refreshes the system-disk record from the root device (all zero when there is none).
  void CheckSystemDisks();
  // 2 when the disk (or the VD) holds the root file system, else 0.
  int IsSystemDisk(uint8_t ctrlInternal, uint16_t device);
  int IsSystemVD(uint8_t ctrlInternal, uint16_t device, uint8_t vdId);
  _Real_Targets_Pos_Info SystemDiskRecord();

  // Sub-command 0x13 sent to `node` (a name, or a path whose folder is ignored).
  bool QueryRealTargetsRBOP(const char* node, _Real_Targets_Pos_Info* info);
  bool CheckSystemDiskRBOP();

  // The device-entry gate: readers share, a writer excludes everyone, and a waiting writer
  // keeps new readers out. False after a 5-second wait.
  bool EntryReaderAccessLock() TRY_ACQUIRE_SHARED(true, m_entryGate) { return m_entryGate.RLock(); }
  bool EntryReaderAccessUnLock() RELEASE_SHARED(m_entryGate) { return m_entryGate.RUnlock(); }
  bool EntryWriterAccessLock() TRY_ACQUIRE(true, m_entryGate) { return m_entryGate.WLock(); }
  bool EntryWriterAccessUnLock() RELEASE(m_entryGate) { return m_entryGate.WUnlock(); }

  // The device folder the nodes are searched in.
  const std::string& DevDir() const { return m_strDevDir; }

  // Snapshots of the tables, for diagnostics and tests.
  std::vector<std::pair<std::string, uint8_t>> Entries();
  std::vector<uint8_t> ControllerIndexes();

 private:
  struct Entry {
    std::string name;  // node name in the device folder
    uint8_t ctrl;      // controller index the node belongs to
  };

  std::string PathOf(const std::string& name) const { return m_strDevDir + "/" + name; }
  bool ProbeNode(const std::string& name, uint8_t* ctrl);
  // These three take m_entryGate themselves.
  void AddEntry(const std::string& name, uint8_t ctrl) EXCLUDES(m_entryGate);
  void dev_ent_del(const std::string& name) EXCLUDES(m_entryGate);
  std::vector<std::string> NodesOf(uint8_t ctrl, bool* locked) EXCLUDES(m_entryGate);

  std::unique_ptr<KelDrvTransport> m_pTransport;  // thread-safe itself
  const std::string m_strDevDir;
  SleepFn m_sleep;            // set before use by other threads
  RootLookupFn m_rootLookup;  // set before use by other threads

  KelRWLock m_entryGate;
  std::list<Entry> m_entries GUARDED_BY(m_entryGate);
  std::vector<uint8_t> m_ctlerIdx GUARDED_BY(m_entryGate);  // g_ctler_idx
  std::atomic<bool> m_bRescan{false};  // set and cleared under m_entryGate's write side

  KelMutex m_sysDiskLock;
  _Real_Targets_Pos_Info m_sysRealTargetsPosInfo GUARDED_BY(m_sysDiskLock){};
};

// Process-wide access for the engine. The service owns the instance.
KelDrvInterface* KelDrvGlobal();
void KelDrvSetGlobal(KelDrvInterface* drv);

#endif
