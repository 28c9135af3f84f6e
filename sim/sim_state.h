// The simulated controller's whole state as one value: controller identity, channels, device
// hubs, disks with their identity, SMART pages and fault settings. It is loaded from and
// saved to the folder's text state file on every operation (KelSimFolder); the disk
// contents live in the image files, never here.
//
// State file format (line oriented, one record per line, '#' lines ignored):
//   kelsim-state 1
//   controller key=value ...       manufacturer, chip, device_id, capability, channels,
//                                  index, next_disk, hotplug, root, power_loss
//   channel N key=value ...        usable, cable, io, control, busmaster, slave_valid
//   hub C SIDE key=value ...       a device hub on channel C, SIDE master|slave: name, type,
//                                  vendor, revision, max, count (-1: the real port count)
//   disk NAME key=value ...        serial, model, firmware, capacity, cylinders, heads,
//                                  sectors, type, ncq, channel (-1 when unplugged), side,
//                                  port (-1 when attached directly), smart_status, attrs
//                                  (ID:VALUE:THRESHOLD,...)
//   fault NAME CODE N              sub-command CODE fails on disk NAME N more times
//                                  (-1: always)
//   volume NAME key=value ...      an array shown to the host as logical target NAME: type,
//                                  count, mark, ids (member VD ids, comma separated)
//   vd NAME SLOT key=value ...     the controller's own record of a VD's background work:
//                                  sync_saved, syncing, mig_saved, moved, mark, rpl_copied,
//                                  rpl_saved, dirty (KelSimVdRecord)
//   park FROM START COUNT TO TSTART  COUNT sectors of disk FROM at START were parked on disk
//                                  TO at TSTART and are not back yet (KelSimPark)
// Values are percent-encoded (%20 for a space); numbers are decimal or 0x hexadecimal.
// A reader refuses another version number; unknown keys are ignored so that a newer
// writer's extra fields do not break an older reader.
#ifndef KEL_SIM_SIM_STATE_H
#define KEL_SIM_SIM_STATE_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

constexpr int kSimStateVersion = 1;
constexpr int kSimSectorSize = 512;
constexpr int kSimReservedSectors = 32;  // at the end of every disk, not user data
constexpr int kSimAreaSectors = 6;
constexpr int kSimAreaBytes = kSimAreaSectors * kSimSectorSize;
constexpr int kSimHubPorts = 4;
constexpr int kSimSmartAttrSlots = 30;

struct KelSimChannel {
  bool usable = true;
  uint8_t cable = 1;
  uint32_t ioBase = 0;
  uint32_t controlBase = 0;
  uint32_t busMasterBase = 0;
  bool slaveValid = true;
};

struct KelSimHub {
  int channel = 0;
  int side = 0;  // 0 master, 1 slave
  std::string name = "ZEP Port Multiplier";
  uint32_t type = 1;
  uint32_t vendor = 0x197B;
  uint32_t revision = 1;
  uint16_t maxDevices = kSimHubPorts;
  int reportedCount = -1;  // -1: report the number of occupied ports
};

struct KelSimSmartAttr {
  uint8_t id = 0;
  uint8_t value = 0;
  uint8_t threshold = 0;
};

// What the controller remembers about one VD's background work, as a real controller keeps
// it in its own metadata: the positions the host asked it to save, how far a migration has
// really moved rows (so a replayed range is never moved twice), and the dirty flag.
struct KelSimVdRecord {
  uint64_t syncSaved = 0;  // 0x28: synchronised up to here (all ones: finished)
  bool syncing = false;    // 0x09 chunks sent since the last finish or cancel
  uint64_t migSaved = 0;   // 0x16
  uint64_t migMoved = 0;   // 0x15: member sectors whose rows are in the new layout
  uint64_t migMark = 0;    // array mark of the array migrating; another mark starts afresh
  uint64_t rplCopied = 0;  // 0x17: end of the last range copied from this VD
  uint64_t rplSaved = 0;   // 0x17 with position all ones: rplCopied at that moment
  bool dirty = false;      // written by a synchronisation and not yet cleared by 0x0E

  bool Empty() const {
    return !syncing && !dirty && syncSaved == 0 && migSaved == 0 && migMoved == 0 &&
           migMark == 0 && rplCopied == 0 && rplSaved == 0;
  }
};

// The last user sectors of a disk joining an array with its data kept, parked by 0x51 until
// 0x52 writes them back into the array. Where they were is no longer theirs: the migration
// leaves those logical sectors to the write-back and never overwrites the parked copy.
struct KelSimPark {
  std::string from;
  uint64_t fromStart = 0;
  uint64_t count = 0;
  std::string to;
  uint64_t toStart = 0;
};

struct KelSimDisk {
  std::string name;
  std::string serial;
  std::string model = "ZEP SimDisk";
  std::string firmware = "1.00";
  uint64_t capacity = 0;  // sectors of 512 bytes, reserved sectors included
  uint16_t cylinders = 0;
  uint16_t heads = 16;
  uint16_t sectors = 63;
  uint8_t type = 0;  // 1: not a configurable disk
  uint8_t ncq = 1;
  int channel = -1;  // -1: unplugged
  int side = 0;
  int port = -1;     // hub port, -1 when attached directly
  uint8_t smartStatus = 0;
  std::vector<KelSimSmartAttr> attrs;
  std::map<int, int> faults;  // sub-command code -> remaining failures, -1 always
  std::map<int, KelSimVdRecord> records;  // by VD slot; empty records are not kept

  bool Attached() const { return channel >= 0; }
};

// An array the controller shows the host as a logical disk (node NAME in dev/), known by
// the identity its VD blocks share. Added and removed only when the host is told that the
// bus changed, as a real controller's logical targets come and go.
struct KelSimVolume {
  std::string name;  // named like a disk: "sdc", the first free letter
  uint8_t raidType = 0;
  int count = 0;
  uint64_t mark = 0;
  std::vector<uint32_t> memberIds;
};

struct KelSimState {
  std::string manufacturer = "ZEP Technologies";
  std::string chip = "ZEP SATA RAID";
  uint32_t deviceId = 0x3515;
  uint32_t capability = 0x0F;
  int controllerIndex = 0;  // the driver's index; the identity record reports it plus one
  int nextDisk = 0;         // letters already handed out: 0 -> "sda"
  bool hotplug = false;
  std::string root;         // disk holding the root file system, "" none
  int powerLossAfter = -1;  // next multi-area write stops after this many areas, -1 never
  // The power went at that point: the controller answers nothing until it is restored.
  bool powerDown = false;
  std::vector<KelSimChannel> channels;
  std::vector<KelSimHub> hubs;
  std::vector<KelSimDisk> disks;  // in attach order
  std::vector<KelSimVolume> volumes;
  std::vector<KelSimPark> parks;

  KelSimDisk* FindDisk(const std::string& name);
  const KelSimDisk* FindDisk(const std::string& name) const;
  // The attached disk at a position; port -1 asks for a directly attached disk.
  const KelSimDisk* DiskAt(int channel, int side, int port) const;
  const KelSimDisk* DiskByNumber(int deviceNumber) const;
  const KelSimHub* HubAt(int channel, int side) const;
  const KelSimVolume* FindVolume(const std::string& name) const;
  uint32_t HubPortMap(const KelSimHub& hub) const;
};

// Within a channel positions are 0..7: master 0..3, slave 4..7, the hub port in the low
// two bits; the device number adds eight per channel.
int KelSimDeviceNumber(const KelSimDisk& d);

// "sda", "sdb", ... "sdz", "sdaa", ...
std::string KelSimDiskName(int index);

// The default SMART attributes of a new disk: all healthy.
std::vector<KelSimSmartAttr> KelSimDefaultAttrs();

// Text form of the state. Parse returns false and fills `err` with the line at fault.
std::string KelSimSerialize(const KelSimState& s);
bool KelSimParse(const std::string& text, KelSimState* s, std::string* err);

#endif
