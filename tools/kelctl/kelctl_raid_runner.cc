// kelctl's RAID commands as sequences of queries. Listing commands first read a map or a
// count and then one record per entry; a record that fails ends the command with that
// step named, since a partial table would pass for a complete one.
#include "tools/kelctl/kelctl_raid_runner.h"

#include "tools/kelctl/kelctl_change_runner.h"
#include "tools/kelctl/kelctl_commands.h"
#include "webext/client/client_raid_query.h"

namespace {

// The service's answer for an empty slot or an index out of range: while walking
// positions and VD slots it only means "nothing here".
constexpr int kNothingThere = 200;
constexpr unsigned int kArrayPositions = 16;  // positions an array member can have
constexpr unsigned int kVdSlots = 2;          // VD slots on one disk
constexpr unsigned int kMapSlots = 128;
constexpr unsigned char kHubPositions = 2;    // master and slave

bool Step(KelctlOutcome* outcome, int code, const std::string& stage) {
  if (code == 0) return true;
  outcome->code = code;
  outcome->stage = stage;
  return false;
}

std::string Num(unsigned int n) { return std::to_string(n); }

class RaidRun {
 public:
  RaidRun(int sock, const KelctlOptions& o, const KelctlSecrets& s, KelctlOutcome* out)
      : m_sock(sock), m_o(o), m_secrets(s), m_out(out), m_raid(out->raid),
        m_name(KelctlCommandName(o.command)) {}

  void Run() {
    switch (m_o.command) {
      case KelctlCommand::kControllers: Controllers(); break;
      case KelctlCommand::kChannels:
        if (Controllers()) Channels();
        break;
      case KelctlCommand::kHubs:
        if (Controllers() && Channels()) Hubs();
        break;
      case KelctlCommand::kDisks: Disks(); break;
      case KelctlCommand::kDisk: OneDisk(); break;
      case KelctlCommand::kArrays: Arrays(); break;
      case KelctlCommand::kArray:
        if (Array(m_o.array)) Members();
        break;
      case KelctlCommand::kVds: Vds(); break;
      case KelctlCommand::kFree: Free(); break;
      case KelctlCommand::kPartitions: Partitions(); break;
      case KelctlCommand::kSmartStatus:
      case KelctlCommand::kSmartValues:
      case KelctlCommand::kSmartThresholds: SmartOfDisk(); break;
      case KelctlCommand::kSmartCheck: SmartCheck(); break;
      case KelctlCommand::kRescan: Step(m_out, KelRescanHardware(m_sock), m_name); break;
      case KelctlCommand::kReloadDriver: Reload(); break;
      default: RunKelctlChangeCommand(m_sock, m_o, m_out); break;
    }
  }

 private:
  bool Fail(int code, const std::string& detail) {
    return Step(m_out, code, detail.empty() ? m_name : m_name + ": " + detail);
  }

  bool Controllers() {
    unsigned char count = 0;
    if (!Fail(KelGetControllerCount(m_sock, &count), "controller count")) return false;
    for (unsigned int i = 0; i < count; ++i) {
      _zr_controller_info info{};
      if (!Fail(KelGetControllerInfo(m_sock, static_cast<unsigned char>(i), &info),
                "controller " + Num(i)))
        return false;
      m_raid.controllers.push_back(info);
    }
    return true;
  }

  // The usable channels of every controller read; the channel query numbers them 0 up.
  bool Channels() {
    for (size_t c = 0; c < m_raid.controllers.size(); ++c) {
      for (unsigned int ch = 0; ch < m_raid.controllers[c].channel_Num; ++ch) {
        _zr_channel_info info{};
        if (!Fail(KelGetChannelInfo(m_sock, static_cast<unsigned char>(c),
                                    static_cast<unsigned char>(ch), &info),
                  "channel " + Num(static_cast<unsigned>(c)) + ":" + Num(ch)))
          return false;
        m_raid.channels.push_back(info);
      }
    }
    return true;
  }

  bool Hubs() {
    for (const _zr_channel_info& ch : m_raid.channels) {
      const unsigned char exist[kHubPositions] = {ch.bMaster_Exist, ch.bSlave_Exist};
      for (unsigned char pos = 0; pos < kHubPositions; ++pos) {
        if (exist[pos] != KEL_CHAN_POS_HUB) continue;
        KelctlHub hub;
        hub.controller = ch.ctrlerIndex;
        hub.channel = ch.index;
        hub.position = pos;
        if (!Fail(KelGetHubInfo(m_sock, static_cast<unsigned char>(ch.ctrlerIndex),
                                static_cast<unsigned char>(ch.index), pos, &hub.info),
                  "hub " + Num(ch.ctrlerIndex) + ":" + Num(ch.index) + ":" + Num(pos)))
          return false;
        m_raid.hubs.push_back(hub);
      }
    }
    return true;
  }

  bool Disk(unsigned int index) {
    _zr_device_info info{};
    if (!Fail(KelGetDiskInfo(m_sock, static_cast<unsigned char>(index), &info),
              "disk " + Num(index)))
      return false;
    m_raid.disks.push_back(info);
    return true;
  }

  bool Disks() {
    if (!Fail(KelGetDiskMap(m_sock, &m_raid.diskMap), "disk map")) return false;
    for (unsigned int i = 0; i < kMapSlots; ++i)
      if (KelIndexMapHas(m_raid.diskMap, i) && !Disk(i)) return false;
    return true;
  }

  void OneDisk() {
    _zr_device_info info{};
    int code = 0;
    if (m_o.target == KelctlTarget::kPhy)
      code = KelGetDiskInfoByPhyAddress(m_sock, static_cast<unsigned char>(m_o.controller),
                                        static_cast<unsigned char>(m_o.channel),
                                        static_cast<unsigned char>(m_o.position), &info);
    else if (m_o.target == KelctlTarget::kArrayPos)
      code = KelGetDiskInfoByArrayPos(m_sock, static_cast<unsigned char>(m_o.array),
                                      static_cast<unsigned char>(m_o.position), &info);
    else
      code = KelGetDiskInfo(m_sock, static_cast<unsigned char>(m_o.disk), &info);
    if (Fail(code, "")) m_raid.disks.push_back(info);
  }

  bool Array(unsigned int index) {
    _zr_array_info info{};
    if (!Fail(KelGetArrayInfo(m_sock, static_cast<unsigned char>(index), &info),
              "array " + Num(index)))
      return false;
    m_raid.arrays.push_back(info);
    return true;
  }

  bool Arrays() {
    unsigned char indexes[kRaidMaxSortedArrays] = {};
    unsigned int count = 0;
    if (!Fail(KelGetSortedArrayIndexes(m_sock, &count, indexes), "array list")) return false;
    m_raid.sortedIndexes.assign(indexes, indexes + count);
    for (unsigned char index : m_raid.sortedIndexes)
      if (!Array(index)) return false;
    return true;
  }

  // The disk at each position of the array read last; a plain-disk entry has its one disk
  // at position 255. Positions are not dense (RAID 0+1 numbers its second half from 8), so
  // they are walked until as many members as the array counts have turned up.
  bool Members() {
    const _zr_array_info& array = m_raid.arrays.back();
    const unsigned char index = static_cast<unsigned char>(m_o.array);
    if (array.raidType == KEL_RAID_PD) {
      KelctlMember m;
      m.position = KEL_PLAIN_DISK_POSITION;
      if (!Fail(KelGetDiskInfoByArrayPos(m_sock, index, KEL_PLAIN_DISK_POSITION, &m.disk),
                "its disk"))
        return false;
      m_raid.members.push_back(m);
      return true;
    }
    for (unsigned int pos = 0; pos < kArrayPositions && m_raid.members.size() < array.diskNum;
         ++pos) {
      KelctlMember m;
      m.position = pos;
      int code = KelGetDiskInfoByArrayPos(m_sock, index, static_cast<unsigned char>(pos), &m.disk);
      if (code == kNothingThere) continue;
      if (!Fail(code, "disk at position " + Num(pos))) return false;
      m_raid.members.push_back(m);
    }
    return true;
  }

  // The VDs of one disk; an empty slot is skipped unless it was asked for by name.
  bool VdsOfDisk(unsigned int disk, bool oneSlot, unsigned int slot) {
    for (unsigned int s = oneSlot ? slot : 0; s < (oneSlot ? slot + 1 : kVdSlots); ++s) {
      KelVDInfo vd{};
      int code = KelGetVdInfoByDiskSlot(m_sock, static_cast<unsigned char>(disk),
                                        static_cast<unsigned char>(s), &vd);
      if (code == kNothingThere && !oneSlot) continue;
      if (!Fail(code, "VD slot " + Num(s) + " of disk " + Num(disk))) return false;
      m_raid.vds.push_back(vd);
    }
    return true;
  }

  void Vds() {
    if (m_o.target == KelctlTarget::kDisk) {
      VdsOfDisk(m_o.disk, m_o.slotGiven, m_o.slot);
      return;
    }
    if (!Array(m_o.array)) return;
    const _zr_array_info& array = m_raid.arrays.back();
    if (array.raidType == KEL_RAID_PD) return;  // a plain disk has no VDs
    for (unsigned int pos = 0; pos < kArrayPositions && m_raid.vds.size() < array.diskNum; ++pos) {
      KelVDInfo vd{};
      int code = KelGetVdInfoByArrayPos(m_sock, static_cast<unsigned char>(m_o.array),
                                        static_cast<unsigned char>(pos), &vd);
      if (code == kNothingThere) continue;
      if (!Fail(code, "VD at position " + Num(pos))) return;
      m_raid.vds.push_back(vd);
    }
  }

  void Free() {
    if (!Disk(m_o.disk) || !VdsOfDisk(m_o.disk, false, 0)) return;
    _zr_protect_free_info_t areas[kRaidMaxProtectedAreas];
    unsigned int count = 0;
    if (!Fail(KelGetProtectedAreas(m_sock, static_cast<unsigned char>(m_o.disk), areas,
                                   kRaidMaxProtectedAreas, &count),
              "protected areas"))
      return;
    m_raid.protectedAreas.assign(areas, areas + count);
  }

  void Partitions() {
    _Index_Plus_t ref{};
    unsigned char kind = KEL_PART_OWNER_DISK;
    if (m_o.target == KelctlTarget::kArray) {
      if (!Array(m_o.array)) return;
      ref = KelMakeRef(m_o.array, m_raid.arrays.back().magicNum);
      kind = KEL_PART_OWNER_ARRAY;
    } else {
      if (!Disk(m_o.disk)) return;
      ref = KelMakeRef(m_o.disk, m_raid.disks.back().magicNum);
    }
    Fail(KelGetPartitionInfo(m_sock, kind, &ref, &m_raid.partitions), "");
  }

  void SmartOfDisk() {
    if (!Disk(m_o.disk)) return;
    const _Index_Plus_t ref = KelMakeRef(m_o.disk, m_raid.disks.back().magicNum);
    if (m_o.command == KelctlCommand::kSmartStatus) {
      Fail(KelSmartStatus(m_sock, &ref, &m_raid.smartStatus), "");
      return;
    }
    std::vector<unsigned char> page(kRaidSmartPageSize);
    int code = m_o.command == KelctlCommand::kSmartValues
                   ? KelSmartReadValues(m_sock, &ref, page.data())
                   : KelSmartReadThresholds(m_sock, &ref, page.data());
    if (Fail(code, "")) m_raid.smartPage = std::move(page);
  }

  // The service's verdict first, then every disk's own status, so that a failed check
  // shows which disks are affected. A disk whose status cannot be read keeps its code.
  void SmartCheck() {
    const int verdict = KelSmartCheckAll(m_sock);
    if (verdict != 0 && verdict != KEL_SMART_SOME_UNHEALTHY) {
      Fail(verdict, "");
      return;
    }
    m_raid.smartCheckCode = verdict;
    if (!Fail(KelGetDiskMap(m_sock, &m_raid.diskMap), "disk map")) return;
    for (unsigned int i = 0; i < kMapSlots; ++i) {
      if (!KelIndexMapHas(m_raid.diskMap, i)) continue;
      KelctlDiskHealth h;
      h.index = i;
      h.code = KelGetDiskInfo(m_sock, static_cast<unsigned char>(i), &h.disk);
      h.haveDisk = h.code == 0;
      if (h.haveDisk) {
        const _Index_Plus_t ref = KelMakeRef(i, h.disk.magicNum);
        h.code = KelSmartStatus(m_sock, &ref, &h.status);
      }
      m_raid.health.push_back(h);
    }
    if (verdict != 0) {
      Fail(verdict, "");
      m_raid.showOnFailure = true;
    }
  }

  void Reload() {
    const std::string user = m_o.reboot ? m_o.hostUser : "";
    const std::string password = m_o.reboot ? m_secrets.hostPassword : "";
    Fail(KelReloadDriver(m_sock, m_o.reboot, user.c_str(), password.c_str()), "");
  }

  int m_sock;
  const KelctlOptions& m_o;
  const KelctlSecrets& m_secrets;
  KelctlOutcome* m_out;
  KelctlRaidData& m_raid;
  const std::string m_name;
};

}  // namespace

void RunKelctlRaidCommand(int sock, const KelctlOptions& options, const KelctlSecrets& secrets,
                          KelctlOutcome* outcome) {
  RaidRun(sock, options, secrets, outcome).Run();
}
