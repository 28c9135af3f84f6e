// The key lists of the record queries. Each list is written out key by key in the order
// consoles read them; the kinds follow what each field can hold on the script side
// (32-bit unsigned capacities and addresses as doubles, 64-bit values as decimal text).
#include "webext/volmod/core/record_fields.h"

#include <algorithm>
#include <cstring>

namespace {

// Appends typed fields to a list.
class FieldList {
 public:
  FieldList& Int(const char* key, int64_t v) {
    ZrField& f = Add(key, ZrField::kInt);
    f.i = v;
    return *this;
  }
  FieldList& Double(const char* key, double v) {
    ZrField& f = Add(key, ZrField::kDouble);
    f.d = v;
    return *this;
  }
  FieldList& Bool(const char* key, uint64_t v) {
    ZrField& f = Add(key, ZrField::kBool);
    f.b = v != 0;
    return *this;
  }
  FieldList& Text(const char* key, std::string v) {
    ZrField& f = Add(key, ZrField::kText);
    f.text = std::move(v);
    return *this;
  }
  // A fixed character array: up to its first zero byte, never past its end.
  template <size_t N>
  FieldList& Chars(const char* key, const char (&chars)[N]) {
    return Text(key, std::string(chars, strnlen(chars, N)));
  }
  ZrFields Take() { return std::move(m_fields); }

 private:
  ZrField& Add(const char* key, ZrField::Kind kind) {
    ZrField& f = m_fields.emplace_back();
    f.key = key;
    f.kind = kind;
    return f;
  }
  ZrFields m_fields;
};

}  // namespace

ZrFields ControllerFields(const _zr_controller_info& c) {
  return FieldList()
      .Double("deviceID", c.deviceID)
      .Chars("chipName", c.chipName)
      .Chars("manufactory", c.manufactory)
      .Int("support_PIO", c.support_PIO)
      .Int("support_MutiDMA", c.support_MutiDMA)
      .Int("support_UltraDMA", c.support_UltraDMA)
      .Int("channel_Num", c.channel_Num)
      .Bool("bSupportRaid0Migration", c.bSupportRaid0Migration)
      .Bool("bSupportRAID5", c.bSupportRAID5)
      .Bool("bSupportRAID6", c.bSupportRAID6)
      .Int("index", c.index)
      .Take();
}

ZrFields ChannelFields(const _zr_channel_info& c) {
  return FieldList()
      .Double("index", c.index)
      .Double("ctrlerIndex", c.ctrlerIndex)
      .Double("io_Base", c.io_Base)
      .Double("control_Base", c.control_Base)
      .Double("BusMaster_Base", c.BusMaster_Base)
      .Int("cableType", c.cableType)
      .Int("bMaster_Exist", c.bMaster_Exist)
      .Int("bSlave_Exist", c.bSlave_Exist)
      .Bool("bSlaveValid", c.bSlaveValid)
      .Take();
}

ZrFields HubFields(const _zr_device_hub_info_t& h) {
  return FieldList()
      .Chars("DeviceHubName", h.DeviceHubName)
      .Int("controllerindex", h.controllerindex)
      .Int("channelindex", h.channelindex)
      .Double("ismaster", h.ismaster)
      .Double("hubType", h.hubType)
      .Int("nValidDeviceNum", h.nValidDeviceNum)
      .Int("deviceVenderID", h.deviceVenderID)
      .Int("revisionInfo", h.revisionInfo)
      .Int("nMaxDeviceNum", h.nMaxDeviceNum)
      .Take();
}

ZrFields DiskFields(const _zr_device_info& d, ZrDiskQuery query) {
  FieldList f;
  f.Chars("serialNumber", d.serialNumber)
      .Chars("firmwareRevison", d.firmwareRevison)
      .Chars("modelName", d.modelName)
      .Chars("minorRevisonNumber", d.minorRevisonNumber)
      .Double("cylinderNumber", d.cylinderNumber)
      .Double("headNumber", d.headNumber)
      .Double("sectorNumberPerTrack", d.sectorNumberPerTrack)
      .Double("capacityLow", d.capacityLow)
      .Double("capacityHigh", d.capacityHigh)
      .Int("supportPIOTransferMode", d.supportPIOTransferMode)
      .Int("supportMultiDMAMode", d.supportMultiDMAMode)
      .Int("supportUltraDMAMode", d.supportUltraDMAMode)
      .Int("currentTransferMode", d.currentTransferMode)
      .Int("deviceType", d.deviceType)
      .Int("status", d.status)
      .Int("ctrler_index", d.ctrler_index)
      .Int("chan_index", d.chan_index)
      .Bool("master", d.master)
      .Int("index", d.index)
      .Int("systemDisk", d.systemDisk)
      .Int("bDevInRaid", d.bDevInRaid)
      .Int("array_position", d.array_position)
      .Int("array_index", d.array_index);
  const bool byIndex = query == ZrDiskQuery::kByIndex;
  if (byIndex)
    f.Int("realCapacityLow", d.realCapacityLow).Int("realCapacityHigh", d.realCapacityHigh);
  else
    f.Double("realCapacityLow", d.realCapacityLow).Double("realCapacityHigh", d.realCapacityHigh);
  return f.Int("deviceRoot", d.deviceRoot)
      .Int("PortNum", d.PortNum)
      .Int("VendorAcoustic", d.VendorAcoustic)
      .Int("CurrentAcoustic", d.CurrentAcoustic)
      .Int(byIndex ? "bytesPerSector" : " bytesPerSector", d.bytesPerSector)
      .Bool("bInReplacement", d.bInReplacement)
      .Int("replaceID", d.replaceID)
      .Bool("bReplacedSrcPD", d.bReplacedSrcPD)
      .Int("freeProtectNum", d.freeProtectNum)
      .Bool("bInReplacing", d.bInReplacing)
      .Int("magicNum", d.magicNum)
      .Int("vdNum", d.vdNum)
      .Bool("bConfigTarvo", d.bConfigTarvo)
      .Bool("bSupportNCQ", d.bSupportNCQ)
      .Int("byNCQMode", d.byNCQMode)
      .Take();
}

// The member VD ids in array order, as one run of decimal numbers.
static std::string GuidText(const _zr_array_info& a) {
  constexpr size_t kSlots = sizeof a.GUID / sizeof a.GUID[0];
  const size_t n = std::min<size_t>(a.diskNum, kSlots);
  std::string text;
  for (size_t i = 0; i < n; ++i) text += std::to_string(a.GUID[i]);
  return text;
}

ZrFields ArrayFields(const _zr_array_info& a) {
  return FieldList()
      .Int("status", a.status)
      .Int("raidType", a.raidType)
      .Int("diskNum", a.diskNum)
      .Double("capacityLow", a.capacityLow)
      .Double("capacityHigh", a.capacityHigh)
      .Double("realCapacityLow", a.realCapacityLow)
      .Double("stripeSize", a.stripeSize)
      .Double("blockSize", a.blockSize)
      .Bool("bNeedMigration", a.bNeedMigration)
      .Bool("bNeedInit", a.bNeedInit)
      .Bool("bOptimized", a.bOptimized)
      .Int("systemDisk", a.systemDisk)
      .Int("raid_index", a.raid_index)
      .Int("index", a.index)
      .Int("version", a.version)
      .Chars("arrayName", a.arrayName)
      .Bool("bInReplacement", a.bInReplacement)
      .Text("GUID", GuidText(a))
      .Int("nSyncMigReplacing", a.nSyncMigReplacing)
      .Int("magicNum", a.magicNum)
      .Take();
}

ZrFields VdFields(const KelVDInfo& v) {
  return FieldList()
      .Chars("VDName", v.VDName)
      .Int("status", v.Status())
      .Int("ctrler_index", v.ctrler_index)
      .Int("chan_index", v.chan_index)
      .Bool("master", v.master)
      .Int("vd_index_on_pd", v.vd_index_on_pd)
      .Int("pd_index", v.pd_index)
      .Int("index", v.Index())
      .Int("systemVD", v.systemVD)
      .Bool("bVDInRaid", v.bVDInRaid)
      .Int("array_position", v.array_position)
      .Int("array_index", v.array_index)
      .Text("Capacity", U64Text(v.CapacityValue()))
      .Text("StartSector", U64Text(v.StartSectorValue()))
      .Take();
}

ZrFields TaskListFields(const KelTaskRecord& t) {
  FieldList f;
  if (t.code >= KEL_TASK_CODE_SYNC_RAID1 && t.code <= KEL_TASK_CODE_MIGRATE)
    f.Int("uTaskCode", t.code).Int("uOpCode", t.op).Int("uArrayIndex", t.first);
  else if (t.code == KEL_TASK_CODE_REPLACE)
    f.Int("uTaskCode", t.code).Int("uOpCode", t.op).Int("uSrcPD", t.first).Int("uTgtPD", t.second);
  else
    return {};
  // The progress comes last so that pages written for the four keys keep working.
  return f.Int("uStatus", t.state).Int("uProgress", t.percent).Take();
}

ZrFields IndexMapFields(const _Kel_Index_Map& m) {
  return FieldList()
      .Text("map_High64", U64Text(m.map_High64))
      .Text("map_Low64", U64Text(m.map_Low64))
      .Take();
}

ZrFields ProtectedAreaFields(const _zr_protect_free_info_t& a) {
  return FieldList()
      .Text("StartSector", U64Text(a.startSector))
      .Text("SectorLengh", U64Text(a.length))
      .Take();
}

ZrFields CreateRangeFields(const _Array_Create_Info_t& r) {
  return FieldList()
      .Text("nMinArraySize", U64Text(r.nMinArraySize))
      .Text("nMaxArraySize", U64Text(r.nMaxArraySize))
      .Take();
}
