// What kelctl prints for its change commands.
#include "tools/kelctl/kelctl_change_output.h"

#include "tools/kelctl/kelctl_change_commands.h"
#include "tools/kelctl/kelctl_output.h"
#include "tools/kelctl/kelctl_raid_text.h"

namespace {

std::string Num(unsigned long long n) { return std::to_string(n); }

std::string Removed(const KelctlChangeData& c) {
  std::string out;
  for (size_t i = 0; i < c.results.size() && i < c.arrays.size(); ++i)
    out += "array " + Num(c.arrays[i]) +
           (c.results[i] == 0 ? " removed\n"
                              : " not removed: " + std::to_string(c.results[i]) + " (" +
                                    KelctlCodeText(c.results[i]) + ")\n");
  return out;
}

}  // namespace

std::string FormatChangeReadable(const KelctlOptions& o, const KelctlOutcome& outcome) {
  const KelctlChangeData& c = outcome.change;
  switch (o.command) {
    case KelctlCommand::kCreateSize:
      return KelctlLevelName(o.raidType) + " size range: " + Num(c.range.nMinArraySize) + " to " +
             Num(c.range.nMaxArraySize) + " MiB\n";
    case KelctlCommand::kCreate:
      return "created " + KelctlLevelName(o.raidType) + " array '" + o.arrayName + "' of " +
             Num(c.sizeMiB) + " MiB: index " + Num(c.createdIndex) + ", magic " +
             Num(c.created.magicNum) + "\n";
    case KelctlCommand::kRemove: return Removed(c);
    case KelctlCommand::kSpareAdd:
      return "disk " + Num(o.disks.front()) + " is now the spare of array " +
             Num(c.arrays.front()) + "\n";
    case KelctlCommand::kSpareRemove:
      return "spare taken out of array " + Num(c.arrays.front()) + "\n";
    case KelctlCommand::kRepair:
      return "array " + Num(c.arrays.front()) + " repaired; its data follows by synchronisation\n";
    case KelctlCommand::kClearDisk: {
      std::string out;
      for (unsigned int d : o.disks) out += "configuration of disk " + Num(d) + " cleared\n";
      return out;
    }
    default: return "";
  }
}

void AddChangeJson(const KelctlOptions& o, const KelctlOutcome& outcome, JsonWriter* json) {
  const KelctlChangeData& c = outcome.change;
  std::vector<long long> disks(o.disks.begin(), o.disks.end());
  switch (o.command) {
    case KelctlCommand::kCreateSize:
      json->AddString("level", KelctlLevelName(o.raidType))
          .AddInts("disks", disks)
          .AddUint("min_mib", c.range.nMinArraySize)
          .AddUint("max_mib", c.range.nMaxArraySize);
      break;
    case KelctlCommand::kCreate:
      json->AddString("level", KelctlLevelName(o.raidType))
          .AddString("name", o.arrayName)
          .AddInts("disks", disks)
          .AddUint("size_mib", c.sizeMiB)
          .AddInt("index", c.createdIndex)
          .AddInt("magic", c.created.magicNum);
      break;
    case KelctlCommand::kRemove: {
      std::vector<JsonWriter> arrays;
      for (size_t i = 0; i < c.results.size() && i < c.arrays.size(); ++i) {
        JsonWriter a;
        a.AddInt("index", c.arrays[i]).AddInt("code", c.results[i]);
        arrays.push_back(a);
      }
      json->AddObjects("arrays", arrays);
      break;
    }
    case KelctlCommand::kSpareAdd:
    case KelctlCommand::kSpareRemove:
    case KelctlCommand::kRepair:
      json->AddInt("array", c.arrays.front()).AddInts("disks", disks);
      if (o.command == KelctlCommand::kRepair) json->AddInt("repair_kind", c.repairKind);
      break;
    case KelctlCommand::kClearDisk:
      json->AddInts("disks", disks);
      break;
    default: break;
  }
}
