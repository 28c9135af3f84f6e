// Detail views of disks and arrays; see kelctl_raid_details.h.
#include "tools/kelctl/kelctl_raid_details.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "tools/kelctl/kelctl_raid_text.h"

namespace {

constexpr unsigned int kSystemDiskValue = 2;   // systemDisk: holds the root file system
constexpr unsigned int kNoArrayField = 255;    // array_index / array_position not filled
constexpr unsigned int kCurrentLayout = 16;    // array format version
constexpr unsigned int kOlderLayout = 0;

using Fields = std::vector<std::pair<std::string, std::string>>;

std::string Render(const std::string& title, const Fields& fields) {
  size_t width = 0;
  for (const auto& [name, value] : fields) width = std::max(width, name.size());
  std::string out = title + "\n";
  for (const auto& [name, value] : fields)
    out += "  " + name + ":" + std::string(width - name.size() + 2, ' ') + value + "\n";
  return out;
}

std::string ReplacementText(const _zr_device_info& d) {
  if (!d.bInReplacement && !d.bInReplacing) return "none";
  std::string out = d.bInReplacement ? (d.bReplacedSrcPD ? "source" : "target") : "-";
  if (d.bInReplacing) out += ", copying";
  return out + ", id " + std::to_string(d.replaceID);
}

std::string VersionText(unsigned int version) {
  if (version == kCurrentLayout) return "16 (current layout)";
  if (version == kOlderLayout) return "0 (older layout)";
  if (version == KEL_RAID_PD) return "255 (plain disk)";
  return std::to_string(version);
}

}  // namespace

std::string MagicText(unsigned int magic) { return HexText(magic, 4); }

std::string DiskLocation(const _zr_device_info& d) {
  std::string out = std::to_string(d.ctrler_index) + ":" + std::to_string(d.chan_index) + " " +
                    (d.master ? "master" : "slave");
  if (d.deviceRoot != 0) out += ", hub port " + std::to_string(d.PortNum);
  return out;
}

std::string StripeText(const _zr_array_info& a) {
  const bool striped = a.raidType == KEL_RAID_0 || a.raidType == KEL_RAID_5 ||
                       a.raidType == KEL_RAID_01;
  return striped ? std::to_string(a.stripeSize) + " KiB" : "-";
}

std::string DiskDetails(const _zr_device_info& d) {
  Fields f = {
      {"model", Printable(FieldText(d.modelName))},
      {"serial number", Printable(FieldText(d.serialNumber))},
      {"firmware", Printable(FieldText(d.firmwareRevison))},
      {"minor revision", Printable(FieldText(d.minorRevisonNumber))},
      {"capacity", SectorsText(d.Capacity(), d.bytesPerSector)},
      {"real capacity", SectorsText(d.RealCapacity(), d.bytesPerSector)},
      {"bytes per sector", std::to_string(d.bytesPerSector)},
      {"geometry", std::to_string(d.cylinderNumber) + " cylinders, " +
                       std::to_string(d.headNumber) + " heads, " +
                       std::to_string(d.sectorNumberPerTrack) + " sectors per track"},
      {"location", DiskLocation(d)},
      {"attached", d.deviceRoot == 0 ? "directly"
                                     : "behind a hub of type " + std::to_string(d.deviceRoot - 1)},
      {"transfer modes", "PIO " + HexText(d.supportPIOTransferMode, 2) + ", multiword DMA " +
                             HexText(d.supportMultiDMAMode, 2) + ", Ultra DMA " +
                             HexText(d.supportUltraDMAMode, 2) + ", current " +
                             HexText(d.currentTransferMode, 2)},
      {"device type", std::to_string(d.deviceType)},
      {"status", DiskFlagsText(d.status) + " (" + HexText(d.status, 4) + ")"},
      {"RAID configuration", !d.bDevInRaid ? "none"
                             : d.bConfigTarvo ? "yes, current layout"
                                              : "yes, older layout"},
      {"virtual devices", std::to_string(d.vdNum)},
      {"system disk", YesNo(d.systemDisk == kSystemDiskValue)},
      {"replacement", ReplacementText(d)},
      {"NCQ", d.bSupportNCQ ? "supported, mode " + std::to_string(d.byNCQMode) : "not supported"},
      {"acoustic level", "vendor " + std::to_string(d.VendorAcoustic) + ", current " +
                             std::to_string(d.CurrentAcoustic)},
      {"protected areas", std::to_string(d.freeProtectNum)},
      {"magic number", MagicText(d.magicNum) + " (" + std::to_string(d.magicNum) + ")"},
  };
  if (d.array_index != kNoArrayField || d.array_position != kNoArrayField)
    f.push_back({"array position", "array " + std::to_string(d.array_index) + ", position " +
                                       std::to_string(d.array_position)});
  return Render("disk " + std::to_string(d.index), f);
}

std::string ArrayDetails(const _zr_array_info& a) {
  const unsigned long long realCapacity =
      (static_cast<unsigned long long>(a.realCapacityHigh) << 32) | a.realCapacityLow;
  std::string members;
  for (unsigned int i = 0; i < a.diskNum && i < sizeof(a.GUID) / sizeof(a.GUID[0]); ++i)
    members += (members.empty() ? "" : ", ") + std::to_string(a.GUID[i]);
  Fields f = {
      {"name", Printable(FieldText(a.arrayName))},
      {"type", RaidTypeName(a.raidType)},
      {"status", ArrayStatusText(a.status) + " (" + HexText(a.status, 4) + ")"},
      {"task", ArrayTaskText(a.nSyncMigReplacing)},
      {"member disks", std::to_string(a.diskNum)},
      {"capacity", SectorsText(a.Capacity())},
      {"real capacity", SectorsText(realCapacity)},
      {"stripe size", StripeText(a)},
      {"block size", std::to_string(a.blockSize)},
      {"needs migration", YesNo(a.bNeedMigration != 0)},
      {"needs initialisation", YesNo(a.bNeedInit != 0)},
      {"optimised", YesNo(a.bOptimized != 0)},
      {"system disk", YesNo(a.systemDisk == kSystemDiskValue) + " (" +
                          std::to_string(a.systemDisk) + ")"},
      {"RAID index", std::to_string(a.raid_index)},
      {"format version", VersionText(a.version)},
      {"in replacement", YesNo(a.bInReplacement != 0)},
      {"member VD ids", members.empty() ? "-" : members},
      {"magic number", MagicText(a.magicNum) + " (" + std::to_string(a.magicNum) + ")"},
  };
  return Render("array " + std::to_string(a.index), f);
}
