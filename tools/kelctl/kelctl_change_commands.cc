// The change commands of kelctl: table entries with their help, and argument resolution.
#include "tools/kelctl/kelctl_change_commands.h"

#include "sharedlib/raid_records.h"
#include "tools/kelctl/kelctl_args.h"
#include "webext/client/client_raid_change.h"

namespace {

constexpr unsigned long long kMaxIndex = 255;
constexpr unsigned long long kMaxSizeMiB = 0xFFFFFFFFFFFFFFFFull;
const unsigned int kStripes[] = {4, 8, 16, 32, 64, 128};  // KiB; the engine takes no other
constexpr unsigned int kDefaultStripeKiB = 64;

constexpr KelctlNamedCommand kNames[] = {
    {"create-size", KelctlCommand::kCreateSize}, {"create", KelctlCommand::kCreate},
    {"remove", KelctlCommand::kRemove},          {"spare add", KelctlCommand::kSpareAdd},
    {"spare remove", KelctlCommand::kSpareRemove}, {"repair", KelctlCommand::kRepair},
    {"clear-disk", KelctlCommand::kClearDisk},
};

struct Level {
  const char* name;
  unsigned char type;
};

constexpr Level kLevels[] = {{"span", KEL_RAID_SPAN}, {"raid0", KEL_RAID_0}, {"raid1", KEL_RAID_1},
                             {"raid01", KEL_RAID_01}, {"raid5", KEL_RAID_5}};

bool HasStripe(unsigned char type) {
  return type == KEL_RAID_0 || type == KEL_RAID_01 || type == KEL_RAID_5;
}

bool ParseIndex(const std::string& text, const char* what, unsigned int* out, std::string* error) {
  unsigned long long value = 0;
  if (!ParseDecimal(text, kMaxIndex, &value)) {
    *error = std::string(what) + " must be a number from 0 to 255, not '" + text + "'";
    return false;
  }
  *out = static_cast<unsigned int>(value);
  return true;
}

// "0,1,2": distinct disk indexes, at most `max` of them.
bool ParseDiskList(const std::string& text, const char* option, size_t max,
                   std::vector<unsigned int>* out, std::string* error) {
  out->clear();
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    const std::string item = text.substr(start, comma == std::string::npos ? comma : comma - start);
    unsigned long long value = 0;
    if (!ParseDecimal(item, kMaxIndex, &value)) {
      *error = std::string(option) + " takes disk indexes like 0,1,2, not '" + text + "'";
      return false;
    }
    for (unsigned int d : *out) {
      if (d == value) {
        *error = "disk " + item + " is listed twice in " + option;
        return false;
      }
    }
    out->push_back(static_cast<unsigned int>(value));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (out->size() > max) {
    *error = std::string(option) + " takes at most " + std::to_string(max) + " disks";
    return false;
  }
  return true;
}

const std::string* Find(const std::map<std::string, std::string>& values, const char* name) {
  auto it = values.find(name);
  return it == values.end() ? nullptr : &it->second;
}

bool ResolveLevelAndDisks(const std::vector<std::string>& rest,
                          const std::map<std::string, std::string>& values,
                          const std::set<std::string>& flags, KelctlOptions* out,
                          std::string* error) {
  if (!KelctlLevelCode(rest[0], &out->raidType)) {
    *error = "LEVEL is one of span, raid0, raid1, raid01, raid5, not '" + rest[0] + "'";
    return false;
  }
  const std::string* disks = Find(values, "--disks");
  if (disks == nullptr) {
    *error = "--disks is needed: the disks to build on, like --disks 0,1";
    return false;
  }
  out->keepData = flags.count("--keep-data") != 0;
  return ParseDiskList(*disks, "--disks", kRaidMaxCreateDisks, &out->disks, error);
}

bool ResolveCreate(const std::map<std::string, std::string>& values, KelctlOptions* out,
                   std::string* error) {
  const std::string* name = Find(values, "--name");
  if (name == nullptr || name->empty() || name->size() >= kRaidArrayNameSize) {
    *error = "--name needs a name of 1 to " + std::to_string(kRaidArrayNameSize - 1) + " bytes";
    return false;
  }
  out->arrayName = *name;
  unsigned long long value = 0;
  if (const std::string* size = Find(values, "--size")) {
    if (!ParseDecimal(*size, kMaxSizeMiB, &value) || value == 0) {
      *error = "--size takes a size in MiB of at least 1, not '" + *size + "'";
      return false;
    }
    out->sizeMiB = value;
  }
  const std::string* stripe = Find(values, "--stripe");
  if (stripe != nullptr && !HasStripe(out->raidType)) {
    *error = "--stripe goes with raid0, raid01 and raid5";
    return false;
  }
  out->stripeKiB = HasStripe(out->raidType) ? kDefaultStripeKiB : 0;
  if (stripe != nullptr) {
    bool known = false;
    for (unsigned int s : kStripes) known = known || *stripe == std::to_string(s);
    if (!known) {
      *error = "--stripe takes 4, 8, 16, 32, 64 or 128 (KiB), not '" + *stripe + "'";
      return false;
    }
    out->stripeKiB = static_cast<unsigned int>(std::stoul(*stripe));
  }
  return true;
}

bool ResolveRepair(const std::map<std::string, std::string>& values,
                   const std::set<std::string>& flags, KelctlOptions* out, std::string* error) {
  const std::string* disks = Find(values, "--disk");
  out->useSpare = flags.count("--spare") != 0;
  if ((disks != nullptr) == out->useSpare) {
    *error = "repair takes either --disk N[,N...] or --spare";
    return false;
  }
  return disks == nullptr ||
         ParseDiskList(*disks, "--disk", kRaidMaxRepairDisks, &out->disks, error);
}

bool Confirmed(const std::string& words, const std::set<std::string>& flags, KelctlOptions* out,
               std::string* error) {
  out->confirmed = flags.count("--yes") != 0;
  if (!out->confirmed)
    *error = words + " destroys configuration and cannot be undone; add --yes to go ahead";
  return out->confirmed;
}

}  // namespace

bool KelctlLevelCode(const std::string& name, unsigned char* type) {
  for (const Level& l : kLevels) {
    if (name == l.name) {
      *type = l.type;
      return true;
    }
  }
  return false;
}

std::string KelctlLevelName(unsigned char type) {
  for (const Level& l : kLevels)
    if (type == l.type) return l.name;
  return "level " + std::to_string(type);
}

std::vector<KelctlCommandSpec> KelctlChangeCommands() {
  return {
      {"create-size", "create-size LEVEL --disks D[,D...] [--keep-data]",
       "show the size range an array can have on disks",
       "Shows the smallest and the largest size (MiB) an array of LEVEL (span, raid0,\n"
       "raid1, raid01, raid5) can have on the listed disks (at most 8). With --keep-data\n"
       "the range of an array built around the data of the first listed disk.\n",
       1, 1, {"--disks"}, {"--keep-data"}},
      {"create",
       "create LEVEL --name NAME --disks D[,D...] [--size MIB] [--stripe KIB] [--keep-data]",
       "create an array",
       "Creates an array of LEVEL (span, raid0, raid1, raid01, raid5) named NAME (at most\n"
       "23 bytes) on the listed disks (at most 8) and prints its index and magic number.\n"
       "Without --size the array gets the largest size the disks allow. --stripe (4, 8,\n"
       "16, 32, 64 or 128 KiB; default 64) applies to raid0, raid01 and raid5. raid1 on\n"
       "three disks makes the third the spare. --keep-data builds the array around the\n"
       "data of the first listed disk instead of an empty one.\n",
       1, 1, {"--name", "--disks", "--size", "--stripe"}, {"--keep-data"}},
      {"remove", "remove ARRAY... --yes", "remove arrays",
       "Removes the listed arrays (at most 32), each named by its index or its name; their\n"
       "data is lost. Refuses to run without --yes.\n",
       1, static_cast<int>(kRaidMaxRemoveArrays), {}, {"--yes"}},
      {"spare add", "spare add ARRAY --disk N", "give a raid1 array a spare disk",
       "Makes disk N the spare of raid1 array ARRAY (its index or its name).\n", 1, 1,
       {"--disk"}, {}},
      {"spare remove", "spare remove ARRAY", "take the spare out of a raid1 array",
       "Takes the spare disk out of raid1 array ARRAY (its index or its name).\n", 1, 1, {},
       {}},
      {"repair", "repair ARRAY --disk N[,N...] | --spare", "repair a degraded array",
       "Repairs array ARRAY (its index or its name): a raid1 array with its spare\n"
       "(--spare) or with a new disk (--disk N), a raid5 array with a new disk, a raid01\n"
       "array with up to four new disks. The data follows by synchronisation.\n",
       1, 1, {"--disk"}, {"--spare"}},
      {"clear-disk", "clear-disk N... --yes", "wipe the RAID configuration of disks",
       "Wipes the RAID configuration area of the listed disks (at most 16), for disks\n"
       "whose configuration cannot be used as it stands. Arrays on them are lost. Refuses\n"
       "to run without --yes.\n",
       1, static_cast<int>(kRaidMaxClearDisks), {}, {"--yes"}},
  };
}

bool ResolveKelctlChangeCommand(const KelctlCommandSpec& spec,
                                const std::vector<std::string>& rest,
                                const std::map<std::string, std::string>& values,
                                const std::set<std::string>& flags, KelctlOptions* out,
                                std::string* error) {
  const std::string words = spec.words;
  const bool known = FindKelctlNamedCommand(kNames, words, &out->command);
  if (!known) {
    *error = "unknown command '" + words + "'";
    return false;
  }
  switch (out->command) {
    case KelctlCommand::kCreateSize:
      return ResolveLevelAndDisks(rest, values, flags, out, error);
    case KelctlCommand::kCreate:
      return ResolveLevelAndDisks(rest, values, flags, out, error) &&
             ResolveCreate(values, out, error);
    case KelctlCommand::kRemove:
      out->arrayRefs = rest;
      return Confirmed(words, flags, out, error);
    case KelctlCommand::kSpareAdd: {
      out->arrayRefs = rest;
      const std::string* disk = Find(values, "--disk");
      if (disk == nullptr) {
        *error = "spare add needs --disk N";
        return false;
      }
      out->disks.resize(1);
      return ParseIndex(*disk, "the disk index", &out->disks[0], error);
    }
    case KelctlCommand::kRepair:
      out->arrayRefs = rest;
      return ResolveRepair(values, flags, out, error);
    case KelctlCommand::kClearDisk:
      for (const std::string& r : rest) {
        unsigned int d = 0;
        if (!ParseIndex(r, "the disk index", &d, error)) return false;
        out->disks.push_back(d);
      }
      return Confirmed(words, flags, out, error);
    default:
      out->arrayRefs = rest;
      return true;
  }
}

std::string KelctlChangeCommandName(KelctlCommand command) {
  for (const KelctlNamedCommand& n : kNames)
    if (n.command == command) return n.words;
  return "";
}
