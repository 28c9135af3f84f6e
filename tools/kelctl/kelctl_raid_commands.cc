// The RAID commands of kelctl: table entries with their help, and argument resolution.
#include "tools/kelctl/kelctl_raid_commands.h"

#include "tools/kelctl/kelctl_args.h"
#include "tools/kelctl/kelctl_change_commands.h"
#include "webext/client/client_raid_query.h"

namespace {

// Indexes, positions and addresses travel as single bytes; which of them exist is the
// service's to say.
constexpr unsigned long long kMaxByte = 255;

constexpr KelctlNamedCommand kNames[] = {
    {"controllers", KelctlCommand::kControllers},
    {"channels", KelctlCommand::kChannels},
    {"hubs", KelctlCommand::kHubs},
    {"disks", KelctlCommand::kDisks},
    {"disk", KelctlCommand::kDisk},
    {"arrays", KelctlCommand::kArrays},
    {"array", KelctlCommand::kArray},
    {"vds", KelctlCommand::kVds},
    {"free", KelctlCommand::kFree},
    {"partitions", KelctlCommand::kPartitions},
    {"smart status", KelctlCommand::kSmartStatus},
    {"smart values", KelctlCommand::kSmartValues},
    {"smart thresholds", KelctlCommand::kSmartThresholds},
    {"smart check", KelctlCommand::kSmartCheck},
    {"rescan", KelctlCommand::kRescan},
    {"reload-driver", KelctlCommand::kReloadDriver},
};

bool ParseByte(const std::string& text, const char* what, unsigned int* out, std::string* error) {
  unsigned long long value = 0;
  if (!ParseDecimal(text, kMaxByte, &value)) {
    *error = std::string(what) + " must be a number from 0 to 255, not '" + text + "'";
    return false;
  }
  *out = static_cast<unsigned int>(value);
  return true;
}

// CTRL:CHAN:POS, three numbers.
bool ParsePhy(const std::string& text, KelctlOptions* out, std::string* error) {
  size_t first = text.find(':');
  size_t second = first == std::string::npos ? first : text.find(':', first + 1);
  if (second == std::string::npos || text.find(':', second + 1) != std::string::npos) {
    *error = "--phy takes CTRL:CHAN:POS, not '" + text + "'";
    return false;
  }
  return ParseByte(text.substr(0, first), "the controller", &out->controller, error) &&
         ParseByte(text.substr(first + 1, second - first - 1), "the channel", &out->channel,
                   error) &&
         ParseByte(text.substr(second + 1), "the position", &out->position, error);
}

const std::string* Find(const std::map<std::string, std::string>& values, const char* name) {
  auto it = values.find(name);
  return it == values.end() ? nullptr : &it->second;
}

bool ResolveDisk(const std::vector<std::string>& rest,
                 const std::map<std::string, std::string>& values, KelctlOptions* out,
                 std::string* error) {
  const std::string* phy = Find(values, "--phy");
  const std::string* array = Find(values, "--array");
  const std::string* pos = Find(values, "--pos");
  const int forms = (rest.empty() ? 0 : 1) + (phy != nullptr ? 1 : 0) +
                    (array != nullptr || pos != nullptr ? 1 : 0);
  if (forms != 1 || (array != nullptr) != (pos != nullptr)) {
    *error = "disk takes a disk index N, --phy CTRL:CHAN:POS, or --array A --pos P";
    return false;
  }
  if (!rest.empty()) {
    out->target = KelctlTarget::kDisk;
    return ParseByte(rest[0], "the disk index", &out->disk, error);
  }
  if (phy != nullptr) {
    out->target = KelctlTarget::kPhy;
    return ParsePhy(*phy, out, error);
  }
  out->target = KelctlTarget::kArrayPos;
  return ParseByte(*array, "the array index", &out->array, error) &&
         ParseByte(*pos, "the position", &out->position, error);
}

// `vds` and `partitions`: --disk D or --array A, exactly one.
bool ResolveOwner(const char* words, const std::map<std::string, std::string>& values,
                  KelctlOptions* out, std::string* error) {
  const std::string* disk = Find(values, "--disk");
  const std::string* array = Find(values, "--array");
  if ((disk == nullptr) == (array == nullptr)) {
    *error = std::string(words) + " takes either --disk D or --array A";
    return false;
  }
  if (disk != nullptr) {
    out->target = KelctlTarget::kDisk;
    return ParseByte(*disk, "the disk index", &out->disk, error);
  }
  out->target = KelctlTarget::kArray;
  return ParseByte(*array, "the array index", &out->array, error);
}

bool ResolveVds(const std::map<std::string, std::string>& values, KelctlOptions* out,
                std::string* error) {
  if (!ResolveOwner("vds", values, out, error)) return false;
  const std::string* slot = Find(values, "--slot");
  if (slot == nullptr) return true;
  if (out->target != KelctlTarget::kDisk) {
    *error = "--slot goes with --disk";
    return false;
  }
  if (*slot != "0" && *slot != "1") {
    *error = "--slot takes 0 or 1, not '" + *slot + "'";
    return false;
  }
  out->slot = *slot == "1" ? 1 : 0;
  out->slotGiven = true;
  return true;
}

bool ResolveReload(const std::map<std::string, std::string>& values,
                   const std::set<std::string>& flags, KelctlOptions* out, std::string* error) {
  out->reboot = flags.count("--reboot") != 0;
  const std::string* user = Find(values, "--host-user");
  const std::string* file = Find(values, "--host-password-file");
  if (!out->reboot && (user != nullptr || file != nullptr)) {
    *error = "--host-user and --host-password-file go with --reboot";
    return false;
  }
  if (user != nullptr) out->hostUser = *user;
  if (file != nullptr) out->hostPasswordFile = *file;
  if (out->reboot && (out->hostUser.empty() || out->hostUser.size() >= kRaidReloadTextSize)) {
    *error = "--host-user needs a name of 1 to " + std::to_string(kRaidReloadTextSize - 1) +
             " bytes";
    return false;
  }
  return true;
}

}  // namespace

std::vector<KelctlCommandSpec> KelctlRaidCommands() {
  return {
      {"controllers", "controllers", "list the RAID controllers",
       "Lists the controllers the service found: chip, maker, PCI device id, usable\n"
       "channels, transfer modes and RAID 5 / RAID 6 support.\n",
       0, 0, {}, {}},
      {"channels", "channels", "list the channels of every controller",
       "Lists every usable channel: its port addresses, cable type and what sits on its\n"
       "master and slave positions (nothing, a disk or a device hub).\n",
       0, 0, {}, {}},
      {"hubs", "hubs", "list the device hubs (port multipliers)",
       "Lists the device hubs on the channels' master and slave positions with their\n"
       "type, vendor id, revision and number of disks behind them.\n",
       0, 0, {}, {}},
      {"disks", "disks", "list the disks",
       "Lists every disk: index, model, serial number, capacity, location, number of\n"
       "virtual devices, status flags and magic number.\n",
       0, 0, {}, {}},
      {"disk", "disk N | --phy CTRL:CHAN:POS | --array A --pos P", "show one disk",
       "Shows every field of one disk, named by its index N, by its physical address\n"
       "(controller, channel, position on the channel: 0 master, 4 slave; a disk behind\n"
       "a device hub adds its hub port, so 0..3 master side, 4..7 slave side), or by its\n"
       "position P in array A (P 255: the disk of a plain-disk entry).\n",
       0, 1, {"--phy", "--array", "--pos"}, {}},
      {"arrays", "arrays", "list the arrays, RAID arrays by name, then plain disks",
       "Lists the arrays in the service's order: RAID arrays by name, then the disks\n"
       "without RAID configuration. Shows type, member count, capacity, stripe size,\n"
       "status, background task and magic number.\n",
       0, 0, {}, {}},
      {"array", "array N", "show one array and its member disks",
       "Shows every field of array N and the disk at each of its positions.\n", 1, 1, {}, {}},
      {"vds", "vds --disk D [--slot S] | --array A", "show virtual devices",
       "With --disk shows the virtual devices on disk D (VD slots 0 and 1, or slot S\n"
       "only); with --array the virtual devices of array A in position order.\n",
       0, 0, {"--disk", "--slot", "--array"}, {}},
      {"free", "free DISK", "show the layout and free space of a disk",
       "Shows how disk DISK is used: its virtual devices, the free areas between them and\n"
       "the protected areas (free space kept for a running migration). The last 32\n"
       "sectors of a disk are reserved and never free.\n",
       1, 1, {}, {}},
      {"partitions", "partitions --disk D | --array A", "list the host's partitions",
       "Lists the partitions the service host sees on disk D or on array A.\n", 0, 0,
       {"--disk", "--array"}, {}},
      {"smart status", "smart status DISK", "show a disk's SMART health",
       "Evaluates disk DISK's health: healthy, an attribute below its threshold, or the\n"
       "disk reports failure.\n",
       1, 1, {}, {}},
      {"smart values", "smart values DISK", "show a disk's SMART attribute values",
       "Shows the SMART attributes of disk DISK: id, flags, current and worst value and\n"
       "the raw value.\n",
       1, 1, {}, {}},
      {"smart thresholds", "smart thresholds DISK", "show a disk's SMART thresholds",
       "Shows the SMART attribute thresholds of disk DISK.\n", 1, 1, {}, {}},
      {"smart check", "smart check", "check the health of every disk",
       "Evaluates the health of every disk and shows each disk's status. Exits with 1\n"
       "when at least one disk is not healthy (return code 803).\n",
       0, 0, {}, {}},
      {"rescan", "rescan", "rescan the hardware",
       "Makes the service rebuild its view of controllers, disks and arrays from a fresh\n"
       "hardware scan. Magic numbers read before may no longer be valid afterwards.\n",
       0, 0, {}, {}},
      {"reload-driver", "reload-driver [--reboot [--host-user U] [--host-password-file F]]",
       "reload the RAID driver, or restart the service host",
       "Unloads and loads the RAID driver again and restarts the service's RAID engine.\n"
       "With --reboot restarts the service host instead; that needs the host account\n"
       "--host-user (default root) and its password: the first line of\n"
       "--host-password-file, else $KEL_HOST_PASSWORD, else asked on the terminal. Name\n"
       "and password travel in the clear and may have at most 19 bytes each.\n",
       0, 0, {"--host-user", "--host-password-file"}, {"--reboot"}},
  };
}

bool ResolveKelctlRaidCommand(const KelctlCommandSpec& spec, const std::vector<std::string>& rest,
                              const std::map<std::string, std::string>& values,
                              const std::set<std::string>& flags, KelctlOptions* out,
                              std::string* error) {
  const std::string words = spec.words;
  const bool known = FindKelctlNamedCommand(kNames, words, &out->command);
  if (!known) return ResolveKelctlChangeCommand(spec, rest, values, flags, out, error);
  switch (out->command) {
    case KelctlCommand::kDisk:
      return ResolveDisk(rest, values, out, error);
    case KelctlCommand::kArray:
      return ParseByte(rest[0], "the array index", &out->array, error);
    case KelctlCommand::kVds:
      return ResolveVds(values, out, error);
    case KelctlCommand::kPartitions:
      return ResolveOwner("partitions", values, out, error);
    case KelctlCommand::kFree:
    case KelctlCommand::kSmartStatus:
    case KelctlCommand::kSmartValues:
    case KelctlCommand::kSmartThresholds:
      return ParseByte(rest[0], "the disk index", &out->disk, error);
    case KelctlCommand::kReloadDriver:
      return ResolveReload(values, flags, out, error);
    default:
      return true;
  }
}

std::string KelctlRaidCommandName(KelctlCommand command) {
  for (const KelctlNamedCommand& n : kNames)
    if (n.command == command) return n.words;
  return KelctlChangeCommandName(command);
}
