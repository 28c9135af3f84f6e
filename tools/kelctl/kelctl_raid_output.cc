// Readable tables and JSON members of the RAID commands.
#include "tools/kelctl/kelctl_raid_output.h"

#include <map>
#include <vector>

#include "tools/kelctl/kelctl_change_output.h"
#include "tools/kelctl/kelctl_disk_layout.h"
#include "tools/kelctl/kelctl_output.h"
#include "tools/kelctl/kelctl_raid_details.h"
#include "tools/kelctl/kelctl_raid_json.h"
#include "tools/kelctl/kelctl_raid_text.h"
#include "tools/kelctl/kelctl_smart.h"
#include "tools/kelctl/kelctl_table.h"
#include "webext/client/client_raid_query.h"

namespace {

constexpr unsigned int kNoArray = 255;  // a VD's array_index when it belongs to none

std::string Num(unsigned long long n) { return std::to_string(n); }

std::string OrNone(const TextTable& table, const char* none) {
  return table.RowCount() == 0 ? std::string(none) + "\n" : table.Text();
}

uint64_t DiskBytes(const _zr_device_info& d) {
  return d.Capacity() * (d.bytesPerSector == 0 ? 512u : d.bytesPerSector);
}

// --- readable -------------------------------------------------------------------------

std::string Controllers(const KelctlRaidData& r) {
  TextTable t({"CTRL", "CHIP", "MANUFACTURER", "DEVICE ID", "CHANNELS", "PIO", "MDMA", "UDMA",
               "RAID 5", "RAID 6"});
  for (const _zr_controller_info& c : r.controllers)
    t.AddRow({Num(c.index), Printable(FieldText(c.chipName)), Printable(FieldText(c.manufactory)),
              HexText(c.deviceID, 4), Num(c.channel_Num), HexText(c.support_PIO, 2),
              HexText(c.support_MutiDMA, 2), HexText(c.support_UltraDMA, 2),
              YesNo(c.bSupportRAID5 != 0), YesNo(c.bSupportRAID6 != 0)});
  return OrNone(t, "(no controllers)");
}

std::string Channels(const KelctlRaidData& r) {
  TextTable t({"CTRL", "CHAN", "IO BASE", "CONTROL", "BUS MASTER", "CABLE", "MASTER", "SLAVE",
               "SLAVE VALID"});
  for (const _zr_channel_info& c : r.channels)
    t.AddRow({Num(c.ctrlerIndex), Num(c.index), HexText(c.io_Base, 4), HexText(c.control_Base, 4),
              HexText(c.BusMaster_Base, 4), Num(c.cableType), ChannelPositionText(c.bMaster_Exist),
              ChannelPositionText(c.bSlave_Exist), YesNo(c.bSlaveValid != 0)});
  return OrNone(t, "(no channels)");
}

std::string Hubs(const KelctlRaidData& r) {
  TextTable t({"CTRL", "CHAN", "POSITION", "NAME", "TYPE", "VENDOR", "REVISION", "DISKS"});
  for (const KelctlHub& h : r.hubs)
    t.AddRow({Num(h.controller), Num(h.channel), SideText(h.position),
              Printable(FieldText(h.info.DeviceHubName)), Num(h.info.hubType),
              HexText(h.info.deviceVenderID, 4), HexText(h.info.revisionInfo, 4),
              Num(h.info.nValidDeviceNum) + " of " + Num(h.info.nMaxDeviceNum)});
  return OrNone(t, "(no device hubs)");
}

std::string Disks(const KelctlRaidData& r) {
  TextTable t({"DISK", "MODEL", "SERIAL", "SIZE", "SECTORS", "LOCATION", "VDS", "STATUS",
               "MAGIC"});
  for (const _zr_device_info& d : r.disks)
    t.AddRow({Num(d.index), Printable(FieldText(d.modelName)),
              Printable(FieldText(d.serialNumber)), HumanSize(DiskBytes(d)), Num(d.Capacity()),
              DiskLocation(d), Num(d.vdNum), DiskFlagsText(d.status), MagicText(d.magicNum)});
  return OrNone(t, "(no disks)");
}

std::string Arrays(const KelctlRaidData& r) {
  TextTable t({"ARRAY", "NAME", "TYPE", "DISKS", "SIZE", "SECTORS", "STRIPE", "STATUS", "TASK",
               "MAGIC"});
  for (const _zr_array_info& a : r.arrays)
    t.AddRow({Num(a.index), Printable(FieldText(a.arrayName)), RaidTypeName(a.raidType),
              Num(a.diskNum), HumanSize(a.Capacity() * 512), Num(a.Capacity()), StripeText(a),
              ArrayStatusText(a.status), ArrayTaskText(a.nSyncMigReplacing),
              MagicText(a.magicNum)});
  return OrNone(t, "(no arrays)");
}

// The positions an array of this type and member count has: RAID 0+1 numbers its second
// half from 8, every other level counts from 0.
std::vector<unsigned int> ExpectedPositions(const _zr_array_info& a) {
  std::vector<unsigned int> out;
  if (a.raidType == KEL_RAID_PD) return out;
  if (a.raidType == KEL_RAID_01) {
    for (unsigned int i = 0; i < a.diskNum / 2u; ++i) out.push_back(i);
    for (unsigned int i = 0; i < a.diskNum / 2u; ++i) out.push_back(8 + i);
    return out;
  }
  for (unsigned int i = 0; i < a.diskNum; ++i) out.push_back(i);
  return out;
}

std::string Array(const KelctlRaidData& r) {
  const _zr_array_info& array = r.arrays.front();
  std::string out = ArrayDetails(array) + "\n";
  TextTable t({"POSITION", "DISK", "MODEL", "SERIAL", "SIZE", "STATUS", "MAGIC"});
  std::map<unsigned int, const KelctlMember*> byPosition;
  for (const KelctlMember& m : r.members) byPosition[m.position] = &m;
  // A member that is not there is shown as missing: that is what a degraded array lacks.
  for (unsigned int pos : ExpectedPositions(array))
    if (byPosition.count(pos) == 0) byPosition[pos] = nullptr;
  for (const auto& [pos, m] : byPosition) {
    if (m == nullptr) {
      t.AddRow({Num(pos), "-", "-", "-", "-", "missing", "-"});
      continue;
    }
    t.AddRow({pos == KEL_PLAIN_DISK_POSITION ? "-" : Num(pos), Num(m->disk.index),
              Printable(FieldText(m->disk.modelName)), Printable(FieldText(m->disk.serialNumber)),
              HumanSize(DiskBytes(m->disk)), DiskFlagsText(m->disk.status),
              MagicText(m->disk.magicNum)});
  }
  return out + OrNone(t, "(no member disks found)");
}

std::string VdArray(const KelVDInfo& v) {
  return v.array_index == kNoArray ? "-" : Num(v.array_index);
}

std::string Vds(const KelctlRaidData& r) {
  TextTable t({"VD", "NAME", "DISK", "SLOT", "ARRAY", "POSITION", "START", "SECTORS", "SIZE",
               "STATUS", "SYSTEM"});
  for (const KelVDInfo& v : r.vds)
    t.AddRow({Num(v.Index()), Printable(FieldText(v.VDName)), Num(v.pd_index),
              Num(v.vd_index_on_pd), VdArray(v), Num(v.array_position),
              Num(v.StartSectorValue()), Num(v.CapacityValue()),
              HumanSize(v.CapacityValue() * 512), HexText(v.Status(), 4), YesNo(v.systemVD != 0)});
  return OrNone(t, "(no virtual devices)");
}

std::string AreaUse(const KelctlArea& area, const std::vector<KelVDInfo>& vds) {
  if (area.kind == KelctlAreaKind::kFree) return "free";
  if (area.kind == KelctlAreaKind::kProtected) return "protected (kept for a migration)";
  const KelVDInfo& v = vds[static_cast<size_t>(area.vd)];
  std::string out = "VD " + Num(v.Index()) + " (slot " + Num(v.vd_index_on_pd);
  if (v.array_index != kNoArray)
    out += ", array " + Num(v.array_index) + " position " + Num(v.array_position);
  return out + ")";
}

std::string Free(const KelctlRaidData& r) {
  const _zr_device_info& d = r.disks.front();
  const unsigned int unit = d.bytesPerSector == 0 ? 512 : d.bytesPerSector;
  std::string out = "disk " + Num(d.index) + ": " + SectorsText(d.Capacity(), unit) + ", " +
                    Num(UsableSectors(d.Capacity())) + " usable\n";
  TextTable t({"START", "END", "SECTORS", "SIZE", "USE"});
  uint64_t freeSectors = 0;
  for (const KelctlArea& a : DiskLayout(d.Capacity(), r.vds, r.protectedAreas)) {
    if (a.kind == KelctlAreaKind::kFree) freeSectors += a.length;
    t.AddRow({Num(a.start), Num(a.length == 0 ? a.start : a.start + a.length - 1), Num(a.length),
              HumanSize(a.length * unit), AreaUse(a, r.vds)});
  }
  out += OrNone(t, "(no usable space)");
  out += "free: " + SectorsText(freeSectors, unit) + "\n";
  if (!r.protectedAreas.empty()) {
    TextTable p({"PROTECTED START", "SECTORS", "SIZE"});
    for (const _zr_protect_free_info_t& a : r.protectedAreas)
      p.AddRow({Num(a.startSector), Num(a.length), HumanSize(a.length * unit)});
    out += p.Text();
  } else if (d.freeProtectNum != 0) {
    out += "the service did not list the disk's " + Num(d.freeProtectNum) +
           " protected areas (too many for one reply)\n";
  }
  return out;
}

std::string Partitions(const KelctlOptions& o, const KelctlRaidData& r) {
  const bool array = o.target == KelctlTarget::kArray;
  std::string out = (array ? "array " + Num(o.array) : "disk " + Num(o.disk)) + ": ";
  const int count = r.partitions.count;
  if (count == 0) return out + "no partitions\n";
  out += Num(static_cast<unsigned>(count)) + (count == 1 ? " partition\n" : " partitions\n");
  for (int i = 0; i < count; ++i) out += Printable(FieldText(r.partitions.names[i])) + "\n";
  return out;
}

std::string SmartValues(const KelctlOptions& o, const KelctlRaidData& r) {
  TextTable t({"ID", "FLAGS", "CURRENT", "WORST", "RAW"});
  for (const KelctlSmartValue& v : DecodeSmartValues(r.smartPage))
    t.AddRow({Num(v.id), HexText(v.flags, 4), Num(v.current), Num(v.worst), Num(v.raw)});
  return "disk " + Num(o.disk) + ", SMART revision " + Num(SmartRevision(r.smartPage)) + "\n" +
         OrNone(t, "(no attributes)");
}

std::string SmartThresholds(const KelctlOptions& o, const KelctlRaidData& r) {
  TextTable t({"ID", "THRESHOLD"});
  for (const KelctlSmartThreshold& v : DecodeSmartThresholds(r.smartPage))
    t.AddRow({Num(v.id), Num(v.threshold)});
  return "disk " + Num(o.disk) + ", SMART revision " + Num(SmartRevision(r.smartPage)) + "\n" +
         OrNone(t, "(no thresholds)");
}

std::string HealthText(const KelctlDiskHealth& h) {
  if (h.code == 0) return SmartStatusText(h.status);
  return "not read: " + std::to_string(h.code) + " (" + KelctlCodeText(h.code) + ")";
}

std::string SmartCheck(const KelctlRaidData& r) {
  TextTable t({"DISK", "MODEL", "SERIAL", "HEALTH"});
  for (const KelctlDiskHealth& h : r.health)
    t.AddRow({Num(h.index), h.haveDisk ? Printable(FieldText(h.disk.modelName)) : "-",
              h.haveDisk ? Printable(FieldText(h.disk.serialNumber)) : "-", HealthText(h)});
  return OrNone(t, "(no disks)") + (r.smartCheckCode == 0 ? "all disks are healthy\n"
                                                          : "at least one disk is unhealthy\n");
}

// --- JSON -----------------------------------------------------------------------------

template <typename T, typename F>
std::vector<JsonWriter> Each(const std::vector<T>& records, F toJson) {
  std::vector<JsonWriter> out;
  for (const T& r : records) out.push_back(toJson(r));
  return out;
}

void AddTarget(const KelctlOptions& o, JsonWriter* json) {
  const bool array = o.target == KelctlTarget::kArray;
  json->AddString("target", array ? "array" : "disk").AddInt("index", array ? o.array : o.disk);
}

void AddFreeJson(const KelctlRaidData& r, JsonWriter* json) {
  const _zr_device_info& d = r.disks.front();
  std::vector<JsonWriter> areas;
  for (const KelctlArea& a : DiskLayout(d.Capacity(), r.vds, r.protectedAreas)) {
    JsonWriter j;
    j.AddString("kind", a.kind == KelctlAreaKind::kVd     ? "vd"
                        : a.kind == KelctlAreaKind::kFree ? "free"
                                                          : "protected")
        .AddUint("start", a.start)
        .AddUint("length", a.length);
    if (a.kind == KelctlAreaKind::kVd) j.AddObject("vd", VdJson(r.vds[static_cast<size_t>(a.vd)]));
    areas.push_back(j);
  }
  json->AddObject("disk", DiskJson(d))
      .AddUint("usable", UsableSectors(d.Capacity()))
      .AddObjects("areas", areas)
      .AddObjects("protected_areas", Each(r.protectedAreas, ProtectedAreaJson));
}

void AddSmartCheckJson(const KelctlRaidData& r, JsonWriter* json) {
  std::vector<JsonWriter> disks;
  for (const KelctlDiskHealth& h : r.health) {
    JsonWriter j;
    j.AddInt("index", h.index).AddInt("code", h.code);
    if (h.haveDisk) j.AddInt("magicNum", h.disk.magicNum);
    if (h.code == 0) j.AddInt("status", h.status).AddString("health", SmartStatusText(h.status));
    disks.push_back(j);
  }
  json->AddBool("healthy", r.smartCheckCode == 0).AddObjects("disks", disks);
}

}  // namespace

std::string FormatRaidReadable(const KelctlOptions& options, const KelctlOutcome& outcome) {
  const KelctlRaidData& r = outcome.raid;
  switch (options.command) {
    case KelctlCommand::kControllers: return Controllers(r);
    case KelctlCommand::kChannels: return Channels(r);
    case KelctlCommand::kHubs: return Hubs(r);
    case KelctlCommand::kDisks: return Disks(r);
    case KelctlCommand::kDisk: return DiskDetails(r.disks.front());
    case KelctlCommand::kArrays: return Arrays(r);
    case KelctlCommand::kArray: return Array(r);
    case KelctlCommand::kVds: return Vds(r);
    case KelctlCommand::kFree: return Free(r);
    case KelctlCommand::kPartitions: return Partitions(options, r);
    case KelctlCommand::kSmartStatus:
      return "disk " + Num(options.disk) + ": " + SmartStatusText(r.smartStatus) + "\n";
    case KelctlCommand::kSmartValues: return SmartValues(options, r);
    case KelctlCommand::kSmartThresholds: return SmartThresholds(options, r);
    case KelctlCommand::kSmartCheck: return SmartCheck(r);
    case KelctlCommand::kRescan: return "hardware rescanned\n";
    case KelctlCommand::kReloadDriver:
      return options.reboot ? "restart of the service host requested\n" : "RAID driver reloaded\n";
    default: return FormatChangeReadable(options, outcome);
  }
}

void AddRaidJson(const KelctlOptions& options, const KelctlOutcome& outcome, JsonWriter* json) {
  const KelctlRaidData& r = outcome.raid;
  switch (options.command) {
    case KelctlCommand::kControllers:
      json->AddObjects("controllers", Each(r.controllers, ControllerJson));
      break;
    case KelctlCommand::kChannels:
      json->AddObjects("channels", Each(r.channels, ChannelJson));
      break;
    case KelctlCommand::kHubs:
      json->AddObjects("hubs", Each(r.hubs, [](const KelctlHub& h) {
        return HubJson(h.info).AddInt("position", h.position);
      }));
      break;
    case KelctlCommand::kDisks:
      json->AddUint("map_Low64", r.diskMap.map_Low64)
          .AddUint("map_High64", r.diskMap.map_High64)
          .AddObjects("disks", Each(r.disks, DiskJson));
      break;
    case KelctlCommand::kDisk:
      json->AddObject("disk", DiskJson(r.disks.front()));
      break;
    case KelctlCommand::kArrays:
      json->AddInts("order", std::vector<long long>(r.sortedIndexes.begin(), r.sortedIndexes.end()))
          .AddObjects("arrays", Each(r.arrays, ArrayJson));
      break;
    case KelctlCommand::kArray:
      json->AddObject("array", ArrayJson(r.arrays.front()))
          .AddObjects("members", Each(r.members, [](const KelctlMember& m) {
            JsonWriter j;
            j.AddInt("position", m.position).AddObject("disk", DiskJson(m.disk));
            return j;
          }));
      break;
    case KelctlCommand::kVds:
      AddTarget(options, json);
      json->AddObjects("vds", Each(r.vds, VdJson));
      break;
    case KelctlCommand::kFree:
      AddFreeJson(r, json);
      break;
    case KelctlCommand::kPartitions: {
      std::vector<std::string> names;
      for (int i = 0; i < r.partitions.count; ++i)
        names.push_back(FieldText(r.partitions.names[i]));
      AddTarget(options, json);
      json->AddInt("magicNum", options.target == KelctlTarget::kArray ? r.arrays.front().magicNum
                                                                       : r.disks.front().magicNum)
          .AddInt("count", r.partitions.count)
          .AddStrings("partitions", names);
      break;
    }
    case KelctlCommand::kSmartStatus:
      json->AddInt("index", options.disk)
          .AddInt("magicNum", r.disks.front().magicNum)
          .AddInt("status", r.smartStatus)
          .AddString("health", SmartStatusText(r.smartStatus));
      break;
    case KelctlCommand::kSmartValues: {
      std::vector<JsonWriter> list;
      for (const KelctlSmartValue& v : DecodeSmartValues(r.smartPage)) {
        JsonWriter j;
        j.AddInt("id", v.id).AddInt("flags", v.flags).AddInt("current", v.current)
            .AddInt("worst", v.worst).AddUint("raw", v.raw);
        list.push_back(j);
      }
      json->AddInt("index", options.disk)
          .AddInt("magicNum", r.disks.front().magicNum)
          .AddInt("revision", SmartRevision(r.smartPage))
          .AddObjects("attributes", list);
      break;
    }
    case KelctlCommand::kSmartThresholds: {
      std::vector<JsonWriter> list;
      for (const KelctlSmartThreshold& v : DecodeSmartThresholds(r.smartPage)) {
        JsonWriter j;
        j.AddInt("id", v.id).AddInt("threshold", v.threshold);
        list.push_back(j);
      }
      json->AddInt("index", options.disk)
          .AddInt("magicNum", r.disks.front().magicNum)
          .AddInt("revision", SmartRevision(r.smartPage))
          .AddObjects("thresholds", list);
      break;
    }
    case KelctlCommand::kSmartCheck:
      AddSmartCheckJson(r, json);
      break;
    case KelctlCommand::kReloadDriver:
      json->AddBool("reboot", options.reboot);
      break;
    default:
      AddChangeJson(options, outcome, json);
      break;
  }
}
