// kelsim: the operator's command line for a simulated RAID controller folder. Stable,
// scriptable syntax: `kelsim --dir D COMMAND [ARGS]`; exit 0 on success, 1 with one message
// on standard error otherwise; `--help` after the tool or any command explains it.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "sim/sim_layout.h"
#include "sim/sim_ops.h"
#include "sim/sim_uevent.h"
#include "sim/sim_volume_ops.h"

namespace {

struct Command {
  const char* name;
  const char* usage;
  const char* help;
  int (*run)(const KelSimFolder& f, const std::vector<std::string>& args);
};

// The command's own arguments: positional words and --options (with or without a value).
struct Args {
  std::vector<std::string> words;
  std::multimap<std::string, std::string> opts;
  bool Has(const std::string& k) const { return opts.count(k) != 0; }
  std::string Get(const std::string& k) const {
    auto it = opts.find(k);
    return it == opts.end() ? "" : it->second;
  }
};

int Error(const std::string& msg) {
  std::fprintf(stderr, "kelsim: %s\n", msg.c_str());
  return 1;
}

// Tells a service listening on the folder that a disk came or went, as the kernel would.
// The disk has changed by now whatever happens here, so a failure only warns.
void AnnounceDisk(const KelSimFolder& f, const std::string& action, const std::string& disk,
                  int channel) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  unsigned long seq = static_cast<unsigned long>(now.tv_sec) * 1000000ul +
                      static_cast<unsigned long>(now.tv_nsec / 1000);
  std::string err;
  if (!KelSimSendUEvent(f.Dir(), KelSimUEventMessage(action, disk, channel, seq), &err))
    std::fprintf(stderr, "kelsim: warning: %s\n", err.c_str());
}

// Splits `raw` against the options that take a value; flags stand alone.
bool Split(const std::vector<std::string>& raw, const std::vector<std::string>& valued,
           const std::vector<std::string>& flags, Args* a, std::string* err) {
  for (size_t i = 0; i < raw.size(); ++i) {
    const std::string& t = raw[i];
    if (t.rfind("--", 0) != 0) {
      a->words.push_back(t);
      continue;
    }
    std::string key = t.substr(2);
    bool isValued = false, isFlag = false;
    for (const auto& v : valued) isValued |= v == key;
    for (const auto& v : flags) isFlag |= v == key;
    if (isFlag) {
      a->opts.emplace(key, "");
    } else if (isValued) {
      if (i + 1 >= raw.size()) {
        *err = "option " + t + " needs a value";
        return false;
      }
      a->opts.emplace(key, raw[++i]);
    } else {
      *err = "unknown option " + t;
      return false;
    }
  }
  return true;
}

bool ToInt(const std::string& s, long lo, long hi, long* out) {
  if (s.empty()) return false;
  char* end = nullptr;
  long v = std::strtol(s.c_str(), &end, 0);
  if (*end != '\0' || v < lo || v > hi) return false;
  *out = v;
  return true;
}

bool ToSide(const std::string& s, int* side) {
  if (s == "master" || s == "0") *side = 0;
  else if (s == "slave" || s == "1") *side = 1;
  else return false;
  return true;
}

// --channel, --position and --hub-port, shared by add-disk and plug.
bool Place(const Args& a, int* channel, int* side, int* port, std::string* err) {
  long v;
  if (!ToInt(a.Get("channel"), 0, 7, &v)) return *err = "--channel must be 0 to 7", false;
  *channel = static_cast<int>(v);
  if (!ToSide(a.Get("position"), side)) return *err = "--position must be master or slave", false;
  *port = -1;
  if (a.Has("hub-port")) {
    if (!ToInt(a.Get("hub-port"), 0, 3, &v)) return *err = "--hub-port must be 0 to 3", false;
    *port = static_cast<int>(v);
  }
  return true;
}

#define KELSIM_SPLIT(valued, flags, nwords)                                          \
  Args a;                                                                           \
  std::string err;                                                                  \
  if (!Split(args, valued, flags, &a, &err)) return Error(err);                     \
  if (static_cast<int>(a.words.size()) != (nwords)) return Error("wrong number of arguments (see --help)")

int RunAddDisk(const KelSimFolder& f, const std::vector<std::string>& args) {
  KELSIM_SPLIT((std::vector<std::string>{"channel", "position", "hub-port", "size", "serial", "model", "firmware"}),
               {}, 0);
  KelSimDiskSpec spec;
  if (!Place(a, &spec.channel, &spec.side, &spec.port, &err)) return Error(err);
  if (!KelSimParseSize(a.Get("size"), &spec.sectors))
    return Error("--size must be sectors or a number with K, M, G or T");
  spec.serial = a.Get("serial");
  spec.model = a.Get("model");
  spec.firmware = a.Get("firmware");
  if (spec.serial.size() > 20 || spec.model.size() > 40 || spec.firmware.size() > 8)
    return Error("serial, model and firmware are at most 20, 40 and 8 characters");
  std::string name;
  if (!KelSimAddDisk(f, spec, &name, &err)) return Error(err);
  std::printf("%s\n", name.c_str());
  AnnounceDisk(f, "add", name, spec.channel);
  return 0;
}

int RunAddHub(const KelSimFolder& f, const std::vector<std::string>& args) {
  KELSIM_SPLIT((std::vector<std::string>{"channel", "position", "report-count"}), {}, 0);
  int channel, side, port;
  if (!Place(a, &channel, &side, &port, &err)) return Error(err);
  long count = -1;
  if (a.Has("report-count") && !ToInt(a.Get("report-count"), 0, 32, &count))
    return Error("--report-count must be 0 to 32");
  return KelSimAddHub(f, channel, side, &err, static_cast<int>(count)) ? 0 : Error(err);
}

int RunUnplug(const KelSimFolder& f, const std::vector<std::string>& args) {
  KELSIM_SPLIT({}, {}, 1);
  // The event names where the disk was, so look before pulling it.
  KelSimState s;
  int channel = 0;
  if (KelSimSnapshot(f, &s, &err))
    for (const auto& d : s.disks)
      if (d.name == a.words[0]) channel = d.channel;
  if (!KelSimUnplug(f, a.words[0], &err)) return Error(err);
  AnnounceDisk(f, "remove", a.words[0], channel);
  return 0;
}

int RunPlug(const KelSimFolder& f, const std::vector<std::string>& args) {
  KELSIM_SPLIT((std::vector<std::string>{"channel", "position", "hub-port"}), {}, 1);
  int channel, side, port;
  if (!Place(a, &channel, &side, &port, &err)) return Error(err);
  if (!KelSimPlug(f, a.words[0], channel, side, port, &err)) return Error(err);
  AnnounceDisk(f, "add", a.words[0], channel);
  return 0;
}

std::string JsonText(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char b[8];
      std::snprintf(b, sizeof b, "\\u%04x", c);
      out += b;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

const char* SideName(int side) { return side ? "slave" : "master"; }

void ListJson(const KelSimState& s) {
  std::printf("{\"manufacturer\":%s,\"capability\":%u,\"channel_count\":%zu,\"hotplug\":%s,"
              "\"root\":%s,\"channels\":[",
              JsonText(s.manufacturer).c_str(), s.capability, s.channels.size(),
              s.hotplug ? "true" : "false", s.root.empty() ? "null" : JsonText(s.root).c_str());
  for (size_t i = 0; i < s.channels.size(); ++i)
    std::printf("%s{\"index\":%zu,\"usable\":%s,\"cable\":%d}", i ? "," : "", i,
                s.channels[i].usable ? "true" : "false", s.channels[i].cable);
  std::printf("],\"hubs\":[");
  for (size_t i = 0; i < s.hubs.size(); ++i)
    std::printf("%s{\"channel\":%d,\"position\":\"%s\",\"name\":%s,\"port_map\":%u}", i ? "," : "",
                s.hubs[i].channel, SideName(s.hubs[i].side), JsonText(s.hubs[i].name).c_str(),
                s.HubPortMap(s.hubs[i]));
  std::printf("],\"disks\":[");
  for (size_t i = 0; i < s.disks.size(); ++i) {
    const KelSimDisk& d = s.disks[i];
    std::printf("%s{\"name\":\"%s\",\"attached\":%s", i ? "," : "", d.name.c_str(),
                d.Attached() ? "true" : "false");
    if (d.Attached())
      std::printf(",\"channel\":%d,\"position\":\"%s\",\"hub_port\":%d,\"device_number\":%d",
                  d.channel, SideName(d.side), d.port, KelSimDeviceNumber(d));
    std::printf(",\"serial\":%s,\"model\":%s,\"firmware\":%s,\"sectors\":%llu,\"smart_status\":%d,"
                "\"faults\":{",
                JsonText(d.serial).c_str(), JsonText(d.model).c_str(), JsonText(d.firmware).c_str(),
                static_cast<unsigned long long>(d.capacity), d.smartStatus);
    bool first = true;
    for (const auto& [code, n] : d.faults) {
      std::printf("%s\"0x%02X\":%d", first ? "" : ",", code, n);
      first = false;
    }
    std::printf("},\"vds\":[");
    first = true;
    for (const auto& [slot, r] : d.records) {
      std::printf("%s{\"slot\":%d,\"sync_saved\":%llu,\"syncing\":%s,\"migration_saved\":%llu,"
                  "\"migrated\":%llu,\"replace_copied\":%llu,\"replace_saved\":%llu,\"dirty\":%s}",
                  first ? "" : ",", slot, static_cast<unsigned long long>(r.syncSaved),
                  r.syncing ? "true" : "false", static_cast<unsigned long long>(r.migSaved),
                  static_cast<unsigned long long>(r.migMoved),
                  static_cast<unsigned long long>(r.rplCopied),
                  static_cast<unsigned long long>(r.rplSaved), r.dirty ? "true" : "false");
      first = false;
    }
    std::printf("]}");
  }
  std::printf("],\"parks\":[");
  for (size_t i = 0; i < s.parks.size(); ++i) {
    const KelSimPark& p = s.parks[i];
    std::printf("%s{\"from\":\"%s\",\"from_start\":%llu,\"count\":%llu,\"to\":\"%s\",\"to_start\":%llu}",
                i ? "," : "", p.from.c_str(), static_cast<unsigned long long>(p.fromStart),
                static_cast<unsigned long long>(p.count), p.to.c_str(),
                static_cast<unsigned long long>(p.toStart));
  }
  std::printf("]}\n");
}

void ListText(const KelSimState& s) {
  std::printf("controller %s, %zu channels\n", s.manufacturer.c_str(), s.channels.size());
  for (const auto& h : s.hubs)
    std::printf("hub   channel %d %s  %s\n", h.channel, SideName(h.side), h.name.c_str());
  for (const auto& d : s.disks) {
    std::string where = "unplugged";
    if (d.Attached()) {
      where = "channel " + std::to_string(d.channel) + " " + SideName(d.side);
      if (d.port >= 0) where += " port " + std::to_string(d.port);
    }
    std::printf("%-5s %-26s %12llu sectors  %s  %s  %s%s\n", d.name.c_str(), where.c_str(),
                static_cast<unsigned long long>(d.capacity), d.serial.c_str(), d.model.c_str(),
                d.firmware.c_str(), d.name == s.root ? "  (root)" : "");
  }
}

int RunList(const KelSimFolder& f, const std::vector<std::string>& args) {
  KELSIM_SPLIT({}, (std::vector<std::string>{"json"}), 0);
  KelSimState s;
  if (!KelSimSnapshot(f, &s, &err)) return Error(err);
  if (a.Has("json")) ListJson(s);
  else ListText(s);
  return 0;
}

int RunAreaExport(const KelSimFolder& f, const std::vector<std::string>& args) {
  KELSIM_SPLIT({}, {}, 2);
  std::vector<unsigned char> area;
  if (!KelSimAreaExport(f, a.words[0], &area, &err)) return Error(err);
  std::ofstream out(a.words[1], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(area.data()), static_cast<std::streamsize>(area.size()));
  out.close();
  return out ? 0 : Error("cannot write " + a.words[1]);
}

int RunAreaImport(const KelSimFolder& f, const std::vector<std::string>& args) {
  KELSIM_SPLIT({}, {}, 2);
  std::ifstream in(a.words[1], std::ios::binary);
  if (!in) return Error("cannot read " + a.words[1]);
  std::vector<unsigned char> area((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return KelSimAreaImport(f, a.words[0], area, &err) ? 0 : Error(err);
}

int RunSmart(const KelSimFolder& f, const std::vector<std::string>& args) {
  KELSIM_SPLIT((std::vector<std::string>{"status", "attr"}), {}, 1);
  long status = -1;
  if (a.Has("status") && !ToInt(a.Get("status"), 0, 255, &status))
    return Error("--status must be 0 to 255");
  std::vector<KelSimSmartAttr> attrs;
  auto range = a.opts.equal_range("attr");
  for (auto it = range.first; it != range.second; ++it) {
    unsigned id, value, th;
    char tail;
    if (std::sscanf(it->second.c_str(), "%u=%u/%u%c", &id, &value, &th, &tail) != 3 || id == 0 ||
        id > 255 || value > 255 || th > 255)
      return Error("--attr must be ID=VALUE/THRESHOLD, each 0 to 255 (ID from 1)");
    attrs.push_back({static_cast<uint8_t>(id), static_cast<uint8_t>(value), static_cast<uint8_t>(th)});
  }
  return KelSimSetSmart(f, a.words[0], static_cast<int>(status), attrs, &err) ? 0 : Error(err);
}

int RunFail(const KelSimFolder& f, const std::vector<std::string>& args) {
  KELSIM_SPLIT((std::vector<std::string>{"count"}), (std::vector<std::string>{"always", "clear"}), 2);
  static const std::map<std::string, int> kAliases = {
      {"identity", 0x04}, {"write-data", 0x07}, {"area", 0x0C},  {"write-areas", 0x11},
      {"targets", 0x13},  {"smart", 0x53},      {"hotplug", 0x70}, {"controller", 0x01}};
  long code;
  auto alias = kAliases.find(a.words[1]);
  if (alias != kAliases.end()) code = alias->second;
  else if (!ToInt(a.words[1], 0, 255, &code))
    return Error("sub-command must be a code (0x0C) or one of identity, write-data, area, "
                 "write-areas, targets, smart, hotplug, controller");
  int modes = a.Has("count") + a.Has("always") + a.Has("clear");
  if (modes != 1) return Error("give exactly one of --count N, --always, --clear");
  long count = 0;
  if (a.Has("always")) count = -1;
  else if (a.Has("count") && !ToInt(a.Get("count"), 1, 1000000, &count))
    return Error("--count must be a positive number");
  return KelSimSetFault(f, a.words[0], static_cast<int>(code), static_cast<int>(count), &err)
             ? 0 : Error(err);
}

int RunPowerLoss(const KelSimFolder& f, const std::vector<std::string>& args) {
  KELSIM_SPLIT((std::vector<std::string>{"after"}), (std::vector<std::string>{"clear"}), 0);
  long k = -1;
  if (a.Has("after") == a.Has("clear")) return Error("give exactly one of --after K, --clear");
  if (a.Has("after") && !ToInt(a.Get("after"), 0, 255, &k)) return Error("--after must be 0 to 255");
  return KelSimSetPowerLoss(f, static_cast<int>(k), &err) ? 0 : Error(err);
}

int RunChannel(const KelSimFolder& f, const std::vector<std::string>& args) {
  KELSIM_SPLIT((std::vector<std::string>{"usable", "cable", "slave"}), {}, 1);
  long ch, usable = 1, cable = 1, slave = 1;
  if (!ToInt(a.words[0], 0, 7, &ch)) return Error("channel must be 0 to 7");
  KelSimState s;
  if (!KelSimSnapshot(f, &s, &err)) return Error(err);
  if (ch < static_cast<long>(s.channels.size())) {  // unnamed settings keep their values
    usable = s.channels[ch].usable;
    cable = s.channels[ch].cable;
    slave = s.channels[ch].slaveValid;
  }
  if (a.Has("usable") && !ToInt(a.Get("usable"), 0, 1, &usable)) return Error("--usable must be 0 or 1");
  if (a.Has("cable") && !ToInt(a.Get("cable"), 0, 255, &cable)) return Error("--cable must be 0 to 255");
  if (a.Has("slave") && !ToInt(a.Get("slave"), 0, 1, &slave)) return Error("--slave must be 0 or 1");
  return KelSimSetChannel(f, static_cast<int>(ch), usable != 0, static_cast<int>(cable), slave != 0, &err)
             ? 0 : Error(err);
}

int RunCapability(const KelSimFolder& f, const std::vector<std::string>& args) {
  KELSIM_SPLIT({}, {}, 1);
  char* end = nullptr;
  unsigned long v = std::strtoul(a.words[0].c_str(), &end, 0);
  if (a.words[0].empty() || *end != '\0' || v > 0xFFFFFFFFul) return Error("capability must be a 32-bit number");
  return KelSimSetCapability(f, static_cast<uint32_t>(v), &err) ? 0 : Error(err);
}

int RunRoot(const KelSimFolder& f, const std::vector<std::string>& args) {
  KELSIM_SPLIT({}, {}, 1);
  return KelSimSetRoot(f, a.words[0], &err) ? 0 : Error(err);
}

bool ToU64(const std::string& s, uint64_t* out) {
  if (s.empty() || s[0] == '-') return false;
  char* end = nullptr;
  unsigned long long v = std::strtoull(s.c_str(), &end, 0);
  if (*end != '\0') return false;
  *out = v;
  return true;
}

// --start and --count, as given.
bool Range(const Args& a, KelSimRange* r, std::string* err) {
  if ((r->hasStart = a.Has("start")) && !ToU64(a.Get("start"), &r->start))
    return *err = "--start must be a sector number", false;
  if ((r->hasCount = a.Has("count")) && (!ToU64(a.Get("count"), &r->count) || r->count == 0))
    return *err = "--count must be a positive number of sectors", false;
  return true;
}

bool Seed(const Args& a, uint64_t* seed, std::string* err) {
  if (!ToU64(a.Get("seed"), seed)) return *err = "--seed must be a number", false;
  return true;
}

void PrintSum(const Args& a, const std::string& hex) {
  if (a.Has("json")) std::printf("{\"sha256\":\"%s\"}\n", hex.c_str());
  else std::printf("%s\n", hex.c_str());
}

int RunWrite(const KelSimFolder& f, const std::vector<std::string>& args) {
  KELSIM_SPLIT((std::vector<std::string>{"seed", "start", "count"}), {}, 1);
  uint64_t seed;
  KelSimRange r;
  if (!Seed(a, &seed, &err) || !Range(a, &r, &err)) return Error(err);
  return KelSimDiskWrite(f, a.words[0], seed, r, &err) ? 0 : Error(err);
}

int RunSum(const KelSimFolder& f, const std::vector<std::string>& args) {
  KELSIM_SPLIT((std::vector<std::string>{"start", "count"}), (std::vector<std::string>{"json"}), 1);
  KelSimRange r;
  std::string hex;
  if (!Range(a, &r, &err)) return Error(err);
  if (!KelSimDiskSum(f, a.words[0], r, &hex, &err)) return Error(err);
  PrintSum(a, hex);
  return 0;
}

void VolumeInfo(const SimArray& v, bool json) {
  if (json) {
    std::printf("{\"level\":%s,\"raid_type\":%d,\"stripe\":%u,\"capacity\":%llu,"
                "\"member_length\":%llu,\"members\":[",
                JsonText(SimRaidName(v.raidType)).c_str(), v.raidType, v.stripe,
                static_cast<unsigned long long>(v.capacity),
                static_cast<unsigned long long>(v.memberLength));
    for (size_t i = 0; i < v.members.size(); ++i) {
      const SimMember& m = v.members[i];
      std::printf("%s{\"position\":%zu,\"present\":%s", i ? "," : "", i, m.present ? "true" : "false");
      if (m.present)
        std::printf(",\"disk\":\"%s\",\"slot\":%d,\"first_sector\":%llu,\"length\":%llu,"
                    "\"holds_data\":%s",
                    m.disk.c_str(), m.slot, static_cast<unsigned long long>(m.start),
                    static_cast<unsigned long long>(m.length), m.holdsData ? "true" : "false");
      std::printf("}");
    }
    std::printf("]}\n");
    return;
  }
  std::printf("%s, %d members, stripe %u sectors, capacity %llu sectors\n", SimRaidName(v.raidType),
              v.count, v.stripe, static_cast<unsigned long long>(v.capacity));
  for (size_t i = 0; i < v.members.size(); ++i) {
    const SimMember& m = v.members[i];
    if (!m.present) {
      std::printf("  position %zu  missing\n", i);
      continue;
    }
    std::printf("  position %zu  %s:%d  first sector %llu  length %llu%s\n", i, m.disk.c_str(),
                m.slot, static_cast<unsigned long long>(m.start),
                static_cast<unsigned long long>(m.length), m.holdsData ? "" : "  (holds no data yet)");
  }
}

int RunVolume(const KelSimFolder& f, const std::vector<std::string>& args) {
  KELSIM_SPLIT((std::vector<std::string>{"seed", "start", "count", "file"}),
               (std::vector<std::string>{"json"}), 2);
  const std::string& ref = a.words[0];
  size_t colon = ref.rfind(':');
  long slot;
  if (colon == std::string::npos || !ToInt(ref.substr(colon + 1), 0, 1, &slot))
    return Error("the volume is named DISK:SLOT, SLOT 0 or 1");
  const std::string disk = ref.substr(0, colon), action = a.words[1];
  const int vd = static_cast<int>(slot);
  KelSimRange r;
  uint64_t seed;
  if (!Range(a, &r, &err)) return Error(err);
  if (action == "info") {
    SimArray v;
    if (!KelSimVolumeInfo(f, disk, vd, &v, &err)) return Error(err);
    VolumeInfo(v, a.Has("json"));
    return 0;
  }
  if (action == "sum") {
    std::string hex;
    if (!KelSimVolumeSum(f, disk, vd, r, &hex, &err)) return Error(err);
    PrintSum(a, hex);
    return 0;
  }
  if (action == "write") {
    if (!Seed(a, &seed, &err)) return Error(err);
    return KelSimVolumeWrite(f, disk, vd, seed, r, &err) ? 0 : Error(err);
  }
  if (action == "check") {
    uint64_t bad;
    if (!KelSimVolumeCheck(f, disk, vd, &bad, &err)) return Error(err);
    if (a.Has("json"))
      std::printf(bad == UINT64_MAX ? "{\"consistent\":true}\n" : "{\"consistent\":false,\"bad_sector\":%llu}\n",
                  static_cast<unsigned long long>(bad));
    if (bad == UINT64_MAX) return 0;
    return Error("redundancy does not match at logical sector " + std::to_string(bad));
  }
  if (action == "export" || action == "import") {
    if (!a.Has("file")) return Error("--file F is needed");
    bool ok = action == "export" ? KelSimVolumeExport(f, disk, vd, r, a.Get("file"), &err)
                                 : KelSimVolumeImport(f, disk, vd, r, a.Get("file"), &err);
    return ok ? 0 : Error(err);
  }
  return Error("unknown volume action " + action + " (info, sum, write, check, export, import)");
}

const Command kCommands[] = {
    {"init", "init [--channels N]",
     "Creates a simulated controller (default 2 channels, 1 to 8) in the folder.", nullptr},
    {"add-disk",
     "add-disk --channel C --position master|slave [--hub-port P] --size SIZE [--serial S] "
     "[--model M] [--firmware F]",
     "Attaches a new disk with a sparse image and prints its name. SIZE is in sectors, or\n"
     "bytes with a K, M, G or T suffix (binary units). The last 32 sectors are reserved.",
     RunAddDisk},
    {"add-hub", "add-hub --channel C --position master|slave [--report-count N]",
     "Puts a device hub with four ports at an empty position. --report-count makes it report\n"
     "N devices whatever its ports hold.",
     RunAddHub},
    {"channel", "channel C [--usable 0|1] [--cable N] [--slave 0|1]",
     "Changes a channel: usable or not, its cable type, whether it has a slave position.",
     RunChannel},
    {"capability", "capability WORD", "Sets the controller's capability word (0x0F by default).",
     RunCapability},
    {"unplug", "unplug DISK", "Pulls a disk (it keeps its name and image); flags a hot-plug event.",
     RunUnplug},
    {"plug", "plug DISK --channel C --position master|slave [--hub-port P]",
     "Plugs a pulled disk back at a free position; flags a hot-plug event.", RunPlug},
    {"list", "list [--json]", "Shows the controller, hubs and disks.", RunList},
    {"area-export", "area-export DISK FILE",
     "Copies the disk's raw 3072-byte configuration area into FILE.", RunAreaExport},
    {"area-import", "area-import DISK FILE",
     "Writes FILE (exactly 3072 bytes) as the disk's configuration area.", RunAreaImport},
    {"smart", "smart DISK [--status N] [--attr ID=VALUE/THRESHOLD ...]",
     "Sets the SMART return status and attribute values and thresholds.", RunSmart},
    {"fail", "fail DISK SUBCOMMAND (--count N | --always | --clear)",
     "Makes a sub-command (code such as 0x0C, or identity, write-data, area, write-areas,\n"
     "targets, smart, hotplug, controller) fail on the disk N times, always, or no more.",
     RunFail},
    {"power-loss", "power-loss (--after K | --clear)",
     "The next multi-area configuration write stops after K areas, as a power loss would;\n"
     "the controller then answers nothing until --clear brings the power back.",
     RunPowerLoss},
    {"root", "root DISK", "Marks the disk as holding the root file system (its first partition).",
     RunRoot},
    {"write", "write DISK --seed S [--start LBA] [--count N]",
     "Fills raw sectors of the disk image with a pattern that depends only on the seed and\n"
     "each sector's number. Without a range: the data area (all but the reserved tail); a\n"
     "range given may reach into the reserved tail. --count without --start starts at 0.",
     RunWrite},
    {"sum", "sum DISK [--start LBA] [--count N] [--json]",
     "Prints the SHA-256 of raw sectors of the disk image, in hex. The range defaults as\n"
     "for write.",
     RunSum},
    {"volume",
     "volume DISK:SLOT info|sum|write|check|export|import [--seed S] [--start LBA] "
     "[--count N] [--file F] [--json]",
     "Works on the array that VD slot SLOT of DISK belongs to, as the logical disk the\n"
     "controller shows the host. Sectors are logical; the range defaults to the whole volume.\n"
     "  info    level, members (disk, slot, first sector, length), stripe, capacity\n"
     "  sum     SHA-256 of logical sectors\n"
     "  write   fills logical sectors with the pattern of --seed, mirrors and parity kept right\n"
     "  check   compares mirror copies and RAID 5 parity; exits 1 naming the first bad sector\n"
     "  export  copies logical sectors into --file\n"
     "  import  writes --file's content to logical sectors from --start (default 0) on",
     RunVolume},
};

void ToolHelp() {
  std::printf("usage: kelsim --dir DIR COMMAND [ARGS]   (KEL_SIM_DIR stands in for --dir)\n"
              "       kelsim COMMAND --help\n\ncommands:\n");
  for (const auto& c : kCommands) std::printf("  %s\n", c.usage);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> rest(argv + 1, argv + argc);
  const char* env = std::getenv("KEL_SIM_DIR");
  std::string dir = env ? env : "";
  size_t i = 0;
  for (; i < rest.size() && rest[i].rfind("--", 0) == 0; ++i) {
    if (rest[i] == "--help") {
      ToolHelp();
      return 0;
    }
    if (rest[i] != "--dir" || i + 1 >= rest.size()) return Error("unknown option " + rest[i]);
    dir = rest[++i];
  }
  if (i >= rest.size()) {
    ToolHelp();
    return 1;
  }
  std::string name = rest[i];
  std::vector<std::string> args(rest.begin() + static_cast<long>(i) + 1, rest.end());
  for (const auto& c : kCommands) {
    if (name != c.name) continue;
    for (const auto& arg : args)
      if (arg == "--help") {
        std::printf("usage: kelsim --dir DIR %s\n\n%s\n", c.usage, c.help);
        return 0;
      }
    if (dir.empty()) return Error("no folder given (--dir DIR)");
    if (!c.run) {  // init: the folder does not hold a controller yet
      Args a;
      std::string err;
      if (!Split(args, {"channels"}, {}, &a, &err)) return Error(err);
      if (!a.words.empty()) return Error("wrong number of arguments (see --help)");
      long n = 2;
      if (a.Has("channels") && !ToInt(a.Get("channels"), 1, 8, &n)) return Error("--channels must be 1 to 8");
      return KelSimInit(dir, static_cast<int>(n), &err) ? 0 : Error(err);
    }
    return c.run(KelSimFolder(dir), args);
  }
  return Error("unknown command " + name + " (see --help)");
}
