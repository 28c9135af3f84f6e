// Lookups on the simulated controller's state and its text form (format in sim_state.h).
#include "sim/sim_state.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

KelSimDisk* KelSimState::FindDisk(const std::string& name) {
  for (auto& d : disks)
    if (d.name == name) return &d;
  return nullptr;
}

const KelSimDisk* KelSimState::FindDisk(const std::string& name) const {
  for (const auto& d : disks)
    if (d.name == name) return &d;
  return nullptr;
}

const KelSimDisk* KelSimState::DiskAt(int channel, int side, int port) const {
  for (const auto& d : disks)
    if (d.Attached() && d.channel == channel && d.side == side && d.port == port) return &d;
  return nullptr;
}

const KelSimDisk* KelSimState::DiskByNumber(int deviceNumber) const {
  for (const auto& d : disks)
    if (d.Attached() && KelSimDeviceNumber(d) == deviceNumber) return &d;
  return nullptr;
}

const KelSimHub* KelSimState::HubAt(int channel, int side) const {
  for (const auto& h : hubs)
    if (h.channel == channel && h.side == side) return &h;
  return nullptr;
}

const KelSimVolume* KelSimState::FindVolume(const std::string& name) const {
  for (const auto& v : volumes)
    if (v.name == name) return &v;
  return nullptr;
}

uint32_t KelSimState::HubPortMap(const KelSimHub& hub) const {
  uint32_t map = 0;
  for (int p = 0; p < kSimHubPorts; ++p)
    if (DiskAt(hub.channel, hub.side, p)) map |= 1u << p;
  return map;
}

int KelSimDeviceNumber(const KelSimDisk& d) {
  return d.channel * 8 + d.side * 4 + (d.port < 0 ? 0 : d.port);
}

std::string KelSimDiskName(int index) {
  std::string suffix;
  int n = index;
  do {
    suffix.insert(suffix.begin(), static_cast<char>('a' + n % 26));
    n = n / 26 - 1;
  } while (n >= 0);
  return "sd" + suffix;
}

std::vector<KelSimSmartAttr> KelSimDefaultAttrs() {
  // Raw read error rate, spin-up time, reallocated sectors, power-on hours, temperature.
  return {{1, 100, 16}, {3, 100, 24}, {5, 100, 36}, {9, 100, 0}, {194, 100, 0}};
}

namespace {

std::string Enc(const std::string& s) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s) {
    if (c <= ' ' || c == '%' || c == '=' || c >= 0x7F) {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out.empty() ? "%00" : out;
}

std::string Dec(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      int v = static_cast<int>(std::strtol(s.substr(i + 1, 2).c_str(), nullptr, 16));
      if (v != 0) out += static_cast<char>(v);
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::string Hex(uint32_t v) {
  std::ostringstream o;
  o << "0x" << std::hex << v;
  return o.str();
}

std::string Side(int side) { return side ? "slave" : "master"; }

std::string AttrsText(const std::vector<KelSimSmartAttr>& attrs) {
  std::string out;
  for (const auto& a : attrs) {
    if (!out.empty()) out += ',';
    out += std::to_string(a.id) + ':' + std::to_string(a.value) + ':' +
           std::to_string(a.threshold);
  }
  return out.empty() ? "-" : out;
}

bool ParseAttrs(const std::string& text, std::vector<KelSimSmartAttr>* attrs) {
  attrs->clear();
  if (text == "-") return true;
  std::istringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    unsigned a, b, c;
    if (std::sscanf(item.c_str(), "%u:%u:%u", &a, &b, &c) != 3 || a > 255 || b > 255 || c > 255)
      return false;
    attrs->push_back({static_cast<uint8_t>(a), static_cast<uint8_t>(b), static_cast<uint8_t>(c)});
  }
  return true;
}

// Splits "key=value" tokens after the leading positional words.
struct Fields {
  std::vector<std::string> words;
  std::map<std::string, std::string> kv;

  long long Num(const std::string& key, long long dflt) const {
    auto it = kv.find(key);
    return it == kv.end() ? dflt : std::strtoll(it->second.c_str(), nullptr, 0);
  }
  uint64_t U64(const std::string& key) const {
    auto it = kv.find(key);
    return it == kv.end() ? 0 : std::strtoull(it->second.c_str(), nullptr, 0);
  }
  std::string Text(const std::string& key, const std::string& dflt) const {
    auto it = kv.find(key);
    return it == kv.end() ? dflt : Dec(it->second);
  }
};

Fields Split(const std::string& line) {
  Fields f;
  std::istringstream in(line);
  std::string tok;
  while (in >> tok) {
    size_t eq = tok.find('=');
    if (eq == std::string::npos)
      f.words.push_back(tok);
    else
      f.kv[tok.substr(0, eq)] = tok.substr(eq + 1);
  }
  return f;
}

}  // namespace

std::string KelSimSerialize(const KelSimState& s) {
  std::ostringstream o;
  o << "kelsim-state " << kSimStateVersion << "\n";
  o << "controller manufacturer=" << Enc(s.manufacturer) << " chip=" << Enc(s.chip)
    << " device_id=" << Hex(s.deviceId) << " capability=" << Hex(s.capability)
    << " channels=" << s.channels.size() << " index=" << s.controllerIndex
    << " next_disk=" << s.nextDisk << " hotplug=" << (s.hotplug ? 1 : 0)
    << " root=" << Enc(s.root) << " power_loss=" << s.powerLossAfter
    << " power_down=" << (s.powerDown ? 1 : 0) << "\n";
  for (size_t i = 0; i < s.channels.size(); ++i) {
    const auto& c = s.channels[i];
    o << "channel " << i << " usable=" << (c.usable ? 1 : 0) << " cable=" << int(c.cable)
      << " io=" << Hex(c.ioBase) << " control=" << Hex(c.controlBase)
      << " busmaster=" << Hex(c.busMasterBase) << " slave_valid=" << (c.slaveValid ? 1 : 0)
      << "\n";
  }
  for (const auto& h : s.hubs)
    o << "hub " << h.channel << ' ' << Side(h.side) << " name=" << Enc(h.name)
      << " type=" << h.type << " vendor=" << Hex(h.vendor) << " revision=" << h.revision
      << " max=" << h.maxDevices << " count=" << h.reportedCount << "\n";
  for (const auto& d : s.disks) {
    o << "disk " << d.name << " serial=" << Enc(d.serial) << " model=" << Enc(d.model)
      << " firmware=" << Enc(d.firmware) << " capacity=" << d.capacity
      << " cylinders=" << d.cylinders << " heads=" << d.heads << " sectors=" << d.sectors
      << " type=" << int(d.type) << " ncq=" << int(d.ncq) << " channel=" << d.channel
      << " side=" << d.side << " port=" << d.port << " smart_status=" << int(d.smartStatus)
      << " attrs=" << AttrsText(d.attrs) << "\n";
    for (const auto& [code, n] : d.faults) o << "fault " << d.name << ' ' << Hex(code) << ' ' << n << "\n";
    for (const auto& [slot, r] : d.records) {
      if (r.Empty()) continue;
      o << "vd " << d.name << ' ' << slot << " sync_saved=" << r.syncSaved
        << " syncing=" << (r.syncing ? 1 : 0) << " mig_saved=" << r.migSaved
        << " moved=" << r.migMoved << " mark=" << r.migMark << " rpl_copied=" << r.rplCopied
        << " rpl_saved=" << r.rplSaved << " dirty=" << (r.dirty ? 1 : 0) << "\n";
    }
  }
  for (const auto& v : s.volumes) {
    o << "volume " << v.name << " type=" << int(v.raidType) << " count=" << v.count
      << " mark=" << v.mark << " ids=";
    for (size_t i = 0; i < v.memberIds.size(); ++i) o << (i ? "," : "") << Hex(v.memberIds[i]);
    o << "\n";
  }
  for (const auto& p : s.parks)
    o << "park " << p.from << ' ' << p.fromStart << ' ' << p.count << ' ' << p.to << ' '
      << p.toStart << "\n";
  return o.str();
}

bool KelSimParse(const std::string& text, KelSimState* s, std::string* err) {
  *s = KelSimState{};
  std::istringstream in(text);
  std::string line;
  int lineNo = 0;
  bool sawHeader = false;
  while (std::getline(in, line)) {
    ++lineNo;
    if (line.empty() || line[0] == '#') continue;
    Fields f = Split(line);
    auto bad = [&](const char* why) {
      *err = "state line " + std::to_string(lineNo) + ": " + why;
      return false;
    };
    if (f.words.empty()) return bad("no record type");
    const std::string& kind = f.words[0];
    if (!sawHeader) {
      if (kind != "kelsim-state" || f.words.size() != 2) return bad("not a simulator state file");
      if (std::atoi(f.words[1].c_str()) != kSimStateVersion) return bad("unsupported version");
      sawHeader = true;
    } else if (kind == "controller") {
      s->manufacturer = f.Text("manufacturer", s->manufacturer);
      s->chip = f.Text("chip", s->chip);
      s->deviceId = static_cast<uint32_t>(f.Num("device_id", s->deviceId));
      s->capability = static_cast<uint32_t>(f.Num("capability", s->capability));
      long long n = f.Num("channels", 0);
      if (n < 0 || n > 8) return bad("channel count out of range");
      s->channels.resize(static_cast<size_t>(n));
      s->controllerIndex = static_cast<int>(f.Num("index", 0));
      s->nextDisk = static_cast<int>(f.Num("next_disk", 0));
      s->hotplug = f.Num("hotplug", 0) != 0;
      s->root = f.Text("root", "");
      s->powerLossAfter = static_cast<int>(f.Num("power_loss", -1));
      s->powerDown = f.Num("power_down", 0) != 0;
    } else if (kind == "channel") {
      if (f.words.size() != 2) return bad("channel without index");
      size_t i = std::strtoul(f.words[1].c_str(), nullptr, 10);
      if (i >= s->channels.size()) return bad("channel index out of range");
      auto& c = s->channels[i];
      c.usable = f.Num("usable", 1) != 0;
      c.cable = static_cast<uint8_t>(f.Num("cable", 1));
      c.ioBase = static_cast<uint32_t>(f.Num("io", 0));
      c.controlBase = static_cast<uint32_t>(f.Num("control", 0));
      c.busMasterBase = static_cast<uint32_t>(f.Num("busmaster", 0));
      c.slaveValid = f.Num("slave_valid", 1) != 0;
    } else if (kind == "hub") {
      if (f.words.size() != 3) return bad("hub without channel and side");
      KelSimHub h;
      h.channel = std::atoi(f.words[1].c_str());
      h.side = f.words[2] == "slave" ? 1 : 0;
      h.name = f.Text("name", h.name);
      h.type = static_cast<uint32_t>(f.Num("type", h.type));
      h.vendor = static_cast<uint32_t>(f.Num("vendor", h.vendor));
      h.revision = static_cast<uint32_t>(f.Num("revision", h.revision));
      h.maxDevices = static_cast<uint16_t>(f.Num("max", h.maxDevices));
      h.reportedCount = static_cast<int>(f.Num("count", -1));
      s->hubs.push_back(h);
    } else if (kind == "disk") {
      if (f.words.size() != 2) return bad("disk without name");
      KelSimDisk d;
      d.name = f.words[1];
      d.serial = f.Text("serial", "");
      d.model = f.Text("model", d.model);
      d.firmware = f.Text("firmware", d.firmware);
      d.capacity = static_cast<uint64_t>(f.Num("capacity", 0));
      d.cylinders = static_cast<uint16_t>(f.Num("cylinders", 0));
      d.heads = static_cast<uint16_t>(f.Num("heads", 16));
      d.sectors = static_cast<uint16_t>(f.Num("sectors", 63));
      d.type = static_cast<uint8_t>(f.Num("type", 0));
      d.ncq = static_cast<uint8_t>(f.Num("ncq", 1));
      d.channel = static_cast<int>(f.Num("channel", -1));
      d.side = static_cast<int>(f.Num("side", 0));
      d.port = static_cast<int>(f.Num("port", -1));
      d.smartStatus = static_cast<uint8_t>(f.Num("smart_status", 0));
      if (!ParseAttrs(f.Text("attrs", "-"), &d.attrs)) return bad("bad SMART attributes");
      s->disks.push_back(d);
    } else if (kind == "fault") {
      if (f.words.size() != 4) return bad("fault needs disk, code and count");
      KelSimDisk* d = s->FindDisk(f.words[1]);
      if (!d) return bad("fault for an unknown disk");
      d->faults[static_cast<int>(std::strtol(f.words[2].c_str(), nullptr, 0))] =
          std::atoi(f.words[3].c_str());
    } else if (kind == "volume") {
      if (f.words.size() != 2) return bad("volume without name");
      KelSimVolume v;
      v.name = f.words[1];
      v.raidType = static_cast<uint8_t>(f.Num("type", 0));
      v.count = static_cast<int>(f.Num("count", 0));
      v.mark = std::strtoull(f.Text("mark", "0").c_str(), nullptr, 0);
      std::istringstream ids(f.Text("ids", ""));
      for (std::string id; std::getline(ids, id, ',');)
        v.memberIds.push_back(static_cast<uint32_t>(std::strtoull(id.c_str(), nullptr, 0)));
      s->volumes.push_back(v);
    } else if (kind == "vd") {
      if (f.words.size() != 3) return bad("vd record needs disk and slot");
      KelSimDisk* d = s->FindDisk(f.words[1]);
      if (!d) return bad("vd record for an unknown disk");
      KelSimVdRecord& r = d->records[std::atoi(f.words[2].c_str())];
      r.syncSaved = f.U64("sync_saved");
      r.syncing = f.U64("syncing") != 0;
      r.migSaved = f.U64("mig_saved");
      r.migMoved = f.U64("moved");
      r.migMark = f.U64("mark");
      r.rplCopied = f.U64("rpl_copied");
      r.rplSaved = f.U64("rpl_saved");
      r.dirty = f.U64("dirty") != 0;
    } else if (kind == "park") {
      if (f.words.size() != 6) return bad("park needs disk, start, count, disk and start");
      s->parks.push_back({f.words[1], std::strtoull(f.words[2].c_str(), nullptr, 10),
                          std::strtoull(f.words[3].c_str(), nullptr, 10), f.words[4],
                          std::strtoull(f.words[5].c_str(), nullptr, 10)});
    }
  }
  if (!sawHeader) {
    *err = "state file is empty";
    return false;
  }
  return true;
}
