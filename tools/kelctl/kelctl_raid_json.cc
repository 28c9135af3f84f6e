// Field-by-field JSON of the RAID records.
#include "tools/kelctl/kelctl_raid_json.h"

#include <vector>

#include "tools/kelctl/kelctl_raid_text.h"

JsonWriter ControllerJson(const _zr_controller_info& c) {
  JsonWriter j;
  j.AddInt("deviceID", c.deviceID)
      .AddString("chipName", FieldText(c.chipName))
      .AddString("manufactory", FieldText(c.manufactory))
      .AddInt("support_PIO", c.support_PIO)
      .AddInt("support_MutiDMA", c.support_MutiDMA)
      .AddInt("support_UltraDMA", c.support_UltraDMA)
      .AddInt("channel_Num", c.channel_Num)
      .AddInt("bSupportRaid0Migration", c.bSupportRaid0Migration)
      .AddInt("bSupportRAID5", c.bSupportRAID5)
      .AddInt("bSupportRAID6", c.bSupportRAID6)
      .AddInt("index", c.index);
  return j;
}

JsonWriter ChannelJson(const _zr_channel_info& c) {
  JsonWriter j;
  j.AddInt("index", c.index)
      .AddInt("ctrlerIndex", c.ctrlerIndex)
      .AddInt("io_Base", c.io_Base)
      .AddInt("control_Base", c.control_Base)
      .AddInt("BusMaster_Base", c.BusMaster_Base)
      .AddInt("cableType", c.cableType)
      .AddInt("bMaster_Exist", c.bMaster_Exist)
      .AddInt("bSlave_Exist", c.bSlave_Exist)
      .AddInt("bSlaveValid", c.bSlaveValid);
  return j;
}

JsonWriter HubJson(const _zr_device_hub_info_t& h) {
  JsonWriter j;
  j.AddString("DeviceHubName", FieldText(h.DeviceHubName))
      .AddInt("controllerindex", h.controllerindex)
      .AddInt("channelindex", h.channelindex)
      .AddInt("ismaster", h.ismaster)
      .AddInt("hubType", h.hubType)
      .AddInt("deviceVenderID", h.deviceVenderID)
      .AddInt("revisionInfo", h.revisionInfo)
      .AddInt("nValidDeviceNum", h.nValidDeviceNum)
      .AddInt("nMaxDeviceNum", h.nMaxDeviceNum);
  return j;
}

JsonWriter DiskJson(const _zr_device_info& d) {
  JsonWriter j;
  j.AddInt("index", d.index)
      .AddInt("magicNum", d.magicNum)
      .AddString("serialNumber", FieldText(d.serialNumber))
      .AddString("firmwareRevison", FieldText(d.firmwareRevison))
      .AddString("modelName", FieldText(d.modelName))
      .AddString("minorRevisonNumber", FieldText(d.minorRevisonNumber))
      .AddInt("cylinderNumber", d.cylinderNumber)
      .AddInt("headNumber", d.headNumber)
      .AddInt("sectorNumberPerTrack", d.sectorNumberPerTrack)
      .AddInt("capacityLow", d.capacityLow)
      .AddInt("capacityHigh", d.capacityHigh)
      .AddUint("capacity", d.Capacity())
      .AddInt("realCapacityLow", d.realCapacityLow)
      .AddInt("realCapacityHigh", d.realCapacityHigh)
      .AddUint("realCapacity", d.RealCapacity())
      .AddInt("bytesPerSector", d.bytesPerSector)
      .AddInt("supportPIOTransferMode", d.supportPIOTransferMode)
      .AddInt("supportMultiDMAMode", d.supportMultiDMAMode)
      .AddInt("supportUltraDMAMode", d.supportUltraDMAMode)
      .AddInt("currentTransferMode", d.currentTransferMode)
      .AddInt("ctrler_index", d.ctrler_index)
      .AddInt("chan_index", d.chan_index)
      .AddInt("deviceRoot", d.deviceRoot)
      .AddInt("PortNum", d.PortNum)
      .AddInt("master", d.master)
      .AddInt("vdNum", d.vdNum)
      .AddInt("deviceType", d.deviceType)
      .AddInt("systemDisk", d.systemDisk)
      .AddInt("status", d.status)
      .AddInt("bConfigTarvo", d.bConfigTarvo)
      .AddInt("bDevInRaid", d.bDevInRaid)
      .AddInt("array_index", d.array_index)
      .AddInt("array_position", d.array_position)
      .AddInt("VendorAcoustic", d.VendorAcoustic)
      .AddInt("CurrentAcoustic", d.CurrentAcoustic)
      .AddInt("bInReplacement", d.bInReplacement)
      .AddInt("bReplacedSrcPD", d.bReplacedSrcPD)
      .AddInt("bInReplacing", d.bInReplacing)
      .AddInt("replaceID", d.replaceID)
      .AddInt("byNCQMode", d.byNCQMode)
      .AddInt("bSupportNCQ", d.bSupportNCQ)
      .AddInt("freeProtectNum", d.freeProtectNum);
  return j;
}

JsonWriter ArrayJson(const _zr_array_info& a) {
  std::vector<long long> guid(a.GUID, a.GUID + sizeof(a.GUID) / sizeof(a.GUID[0]));
  const unsigned long long realCapacity =
      (static_cast<unsigned long long>(a.realCapacityHigh) << 32) | a.realCapacityLow;
  JsonWriter j;
  j.AddInt("index", a.index)
      .AddInt("magicNum", a.magicNum)
      .AddString("arrayName", FieldText(a.arrayName))
      .AddInt("status", a.status)
      .AddInt("raidType", a.raidType)
      .AddInt("diskNum", a.diskNum)
      .AddInt("capacityLow", a.capacityLow)
      .AddInt("capacityHigh", a.capacityHigh)
      .AddUint("capacity", a.Capacity())
      .AddInt("realCapacityLow", a.realCapacityLow)
      .AddInt("realCapacityHigh", a.realCapacityHigh)
      .AddUint("realCapacity", realCapacity)
      .AddInt("stripeSize", a.stripeSize)
      .AddInt("blockSize", a.blockSize)
      .AddInt("bNeedMigration", a.bNeedMigration)
      .AddInt("bNeedInit", a.bNeedInit)
      .AddInt("bOptimized", a.bOptimized)
      .AddInt("systemDisk", a.systemDisk)
      .AddInt("raid_index", a.raid_index)
      .AddInt("version", a.version)
      .AddInt("bInReplacement", a.bInReplacement)
      .AddInts("GUID", guid)
      .AddInt("nSyncMigReplacing", a.nSyncMigReplacing);
  return j;
}

JsonWriter VdJson(const KelVDInfo& v) {
  JsonWriter j;
  j.AddString("VDName", FieldText(v.VDName))
      .AddInt("status", v.Status())
      .AddInt("ctrler_index", v.ctrler_index)
      .AddInt("chan_index", v.chan_index)
      .AddInt("master", v.master)
      .AddInt("vd_index_on_pd", v.vd_index_on_pd)
      .AddInt("pd_index", v.pd_index)
      .AddInt("index", v.Index())
      .AddInt("bVDInRaid", v.bVDInRaid)
      .AddInt("systemVD", v.systemVD)
      .AddInt("array_position", v.array_position)
      .AddInt("array_index", v.array_index)
      .AddUint("Capacity", v.CapacityValue())
      .AddUint("StartSector", v.StartSectorValue());
  return j;
}

JsonWriter ProtectedAreaJson(const _zr_protect_free_info_t& p) {
  JsonWriter j;
  j.AddUint("startSector", p.startSector).AddUint("length", p.length);
  return j;
}
