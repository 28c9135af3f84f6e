// The operator's actions on a simulated controller (contracts in sim_ops.h).
#include "sim/sim_ops.h"

#include <cstdio>
#include <cstdlib>

#include "sim/sim_migration.h"
#include "sim/sim_uevent.h"

namespace {

// Smallest disk: the reserved sectors plus room for a partition table and some data.
constexpr uint64_t kMinSectors = 2 * kSimReservedSectors;

bool Fail(std::string* err, const std::string& msg) {
  *err = msg;
  return false;
}

const char* SideName(int side) { return side ? "slave" : "master"; }

std::string Where(int channel, int side, int port) {
  std::string w = "channel " + std::to_string(channel) + " " + SideName(side);
  if (port >= 0) w += " hub port " + std::to_string(port);
  return w;
}

// Whether a disk may go to the position; fills `err` with the reason when not.
bool PlaceIsFree(const KelSimState& s, int channel, int side, int port, std::string* err) {
  if (channel < 0 || channel >= static_cast<int>(s.channels.size()))
    return Fail(err, "no channel " + std::to_string(channel));
  if (side != 0 && side != 1) return Fail(err, "position must be master or slave");
  if (!s.channels[channel].usable) return Fail(err, "channel " + std::to_string(channel) + " is not usable");
  if (side == 1 && !s.channels[channel].slaveValid)
    return Fail(err, "channel " + std::to_string(channel) + " has no slave position");
  const KelSimHub* hub = s.HubAt(channel, side);
  if (port < 0) {
    if (hub) return Fail(err, Where(channel, side, -1) + " holds a device hub");
    if (s.DiskAt(channel, side, -1)) return Fail(err, Where(channel, side, -1) + " is taken");
    return true;
  }
  if (port >= kSimHubPorts) return Fail(err, "hub port must be 0 to 3");
  if (!hub) return Fail(err, "no device hub at " + Where(channel, side, -1));
  if (s.DiskAt(channel, side, port)) return Fail(err, Where(channel, side, port) + " is taken");
  return true;
}

bool FindDisk(KelSimState& s, const std::string& name, KelSimDisk** d, std::string* err) {
  *d = s.FindDisk(name);
  return *d ? true : Fail(err, "no disk " + name);
}

}  // namespace

bool KelSimParseSize(const std::string& text, uint64_t* sectors) {
  if (text.empty()) return false;
  char* end = nullptr;
  unsigned long long n = std::strtoull(text.c_str(), &end, 10);
  if (end == text.c_str() || text[0] == '-') return false;
  std::string suffix(end);
  uint64_t unit;  // bytes per unit, 0 for plain sectors
  if (suffix.empty()) unit = 0;
  else if (suffix == "K" || suffix == "k") unit = 1ull << 10;
  else if (suffix == "M" || suffix == "m") unit = 1ull << 20;
  else if (suffix == "G" || suffix == "g") unit = 1ull << 30;
  else if (suffix == "T" || suffix == "t") unit = 1ull << 40;
  else return false;
  *sectors = unit ? n * unit / kSimSectorSize : n;
  return *sectors > 0;
}

bool KelSimInit(const std::string& dir, int channels, std::string* err) {
  if (channels < 1 || channels > 8) return Fail(err, "channel count must be 1 to 8");
  KelSimState s;
  static const uint32_t kIo[2] = {0x1F0, 0x170}, kCtl[2] = {0x3F6, 0x376};
  for (int i = 0; i < channels; ++i) {
    KelSimChannel c;
    c.ioBase = i < 2 ? kIo[i] : 0xE000 + 0x10 * i;
    c.controlBase = i < 2 ? kCtl[i] : 0xE800 + 0x10 * i;
    c.busMasterBase = 0xC000 + 8 * i;
    s.channels.push_back(c);
  }
  KelSimFolder f(dir);
  return f.Create(s, err) && KelSimCreatePciFunction(dir, err);
}

bool KelSimAddDisk(const KelSimFolder& f, const KelSimDiskSpec& spec, std::string* name,
                   std::string* err) {
  if (spec.sectors < kMinSectors)
    return Fail(err, "disk size must be at least " + std::to_string(kMinSectors) + " sectors");
  return f.Transact(
      [&](KelSimState& s, bool* dirty, std::string* e) {
        if (!PlaceIsFree(s, spec.channel, spec.side, spec.port, e)) return false;
        KelSimDisk d;
        while (s.FindVolume(KelSimDiskName(s.nextDisk))) s.nextDisk++;  // taken by a volume
        d.name = KelSimDiskName(s.nextDisk);
        char serial[24];
        std::snprintf(serial, sizeof serial, "ZEPSIM%08d", s.nextDisk + 1);
        d.serial = spec.serial.empty() ? serial : spec.serial;
        if (!spec.model.empty()) d.model = spec.model;
        if (!spec.firmware.empty()) d.firmware = spec.firmware;
        d.capacity = spec.sectors;
        uint64_t cyl = spec.sectors / (uint64_t{d.heads} * d.sectors);
        d.cylinders = static_cast<uint16_t>(cyl > 16383 ? 16383 : cyl);
        d.channel = spec.channel;
        d.side = spec.side;
        d.port = spec.port;
        d.attrs = KelSimDefaultAttrs();
        if (!f.CreateImage(d, e)) return false;
        s.disks.push_back(d);
        s.nextDisk++;
        s.hotplug = true;
        *name = d.name;
        *dirty = true;
        return true;
      },
      err);
}

bool KelSimAddHub(const KelSimFolder& f, int channel, int side, std::string* err,
                  int reportedCount) {
  return f.Transact(
      [&](KelSimState& s, bool* dirty, std::string* e) {
        if (!PlaceIsFree(s, channel, side, -1, e)) return false;
        KelSimHub h;
        h.channel = channel;
        h.side = side;
        h.reportedCount = reportedCount;
        s.hubs.push_back(h);
        *dirty = true;
        return true;
      },
      err);
}

bool KelSimSetChannel(const KelSimFolder& f, int channel, bool usable, int cable,
                      bool slaveValid, std::string* err) {
  if (cable < 0 || cable > 255) return Fail(err, "cable type must be 0 to 255");
  return f.Transact(
      [&](KelSimState& s, bool* dirty, std::string* e) {
        if (channel < 0 || channel >= static_cast<int>(s.channels.size()))
          return Fail(e, "no channel " + std::to_string(channel));
        for (int side = 0; side < 2; ++side) {
          bool taken = s.HubAt(channel, side) != nullptr;
          for (const auto& d : s.disks) taken |= d.Attached() && d.channel == channel && d.side == side;
          if (taken && (!usable || (side == 1 && !slaveValid)))
            return Fail(e, Where(channel, side, -1) + " is in use");
        }
        KelSimChannel& c = s.channels[channel];
        c.usable = usable;
        c.cable = static_cast<uint8_t>(cable);
        c.slaveValid = slaveValid;
        *dirty = true;
        return true;
      },
      err);
}

bool KelSimSetCapability(const KelSimFolder& f, uint32_t capability, std::string* err) {
  return f.Transact(
      [&](KelSimState& s, bool* dirty, std::string*) {
        s.capability = capability;
        *dirty = true;
        return true;
      },
      err);
}

bool KelSimUnplug(const KelSimFolder& f, const std::string& disk, std::string* err) {
  return f.Transact(
      [&](KelSimState& s, bool* dirty, std::string* e) {
        KelSimDisk* d;
        if (!FindDisk(s, disk, &d, e)) return false;
        if (!d->Attached()) return Fail(e, "disk " + disk + " is not plugged in");
        d->channel = -1;
        d->port = -1;
        s.hotplug = true;
        *dirty = true;
        return true;
      },
      err);
}

bool KelSimPlug(const KelSimFolder& f, const std::string& disk, int channel, int side,
                int port, std::string* err) {
  return f.Transact(
      [&](KelSimState& s, bool* dirty, std::string* e) {
        KelSimDisk* d;
        if (!FindDisk(s, disk, &d, e)) return false;
        if (d->Attached()) return Fail(e, "disk " + disk + " is already plugged in");
        if (!PlaceIsFree(s, channel, side, port, e)) return false;
        d->channel = channel;
        d->side = side;
        d->port = port;
        s.hotplug = true;
        *dirty = true;
        return true;
      },
      err);
}

bool KelSimSetSmart(const KelSimFolder& f, const std::string& disk, int status,
                    const std::vector<KelSimSmartAttr>& attrs, std::string* err) {
  if (status > 255) return Fail(err, "SMART status must be 0 to 255");
  return f.Transact(
      [&](KelSimState& s, bool* dirty, std::string* e) {
        KelSimDisk* d;
        if (!FindDisk(s, disk, &d, e)) return false;
        if (status >= 0) d->smartStatus = static_cast<uint8_t>(status);
        for (const auto& a : attrs) {
          bool found = false;
          for (auto& have : d->attrs)
            if (have.id == a.id) {
              have = a;
              found = true;
            }
          if (!found) {
            if (d->attrs.size() >= kSimSmartAttrSlots) return Fail(e, "too many SMART attributes");
            d->attrs.push_back(a);
          }
        }
        *dirty = true;
        return true;
      },
      err);
}

bool KelSimSetFault(const KelSimFolder& f, const std::string& disk, int code, int count,
                    std::string* err) {
  if (code < 0 || code > 255) return Fail(err, "sub-command must be 0x00 to 0xFF");
  if (count < -1) return Fail(err, "fault count must not be negative");
  return f.Transact(
      [&](KelSimState& s, bool* dirty, std::string* e) {
        KelSimDisk* d;
        if (!FindDisk(s, disk, &d, e)) return false;
        if (count == 0)
          d->faults.erase(code);
        else
          d->faults[code] = count;
        *dirty = true;
        return true;
      },
      err);
}

bool KelSimSetPowerLoss(const KelSimFolder& f, int areas, std::string* err) {
  return f.Transact(
      [&](KelSimState& s, bool* dirty, std::string*) {
        s.powerLossAfter = areas < 0 ? -1 : areas;
        if (areas < 0) s.powerDown = false;  // the power is back
        *dirty = true;
        return true;
      },
      err);
}

bool KelSimSetRoot(const KelSimFolder& f, const std::string& disk, std::string* err) {
  return f.Transact(
      [&](KelSimState& s, bool* dirty, std::string* e) {
        KelSimDisk* d;
        if (!FindDisk(s, disk, &d, e)) return false;
        s.root = disk;
        *dirty = true;
        return true;
      },
      err);
}

bool KelSimAreaExport(const KelSimFolder& f, const std::string& disk,
                      std::vector<unsigned char>* area, std::string* err) {
  return f.Transact(
      [&](KelSimState& s, bool*, std::string* e) {
        KelSimDisk* d;
        if (!FindDisk(s, disk, &d, e)) return false;
        area->assign(kSimAreaBytes, 0);
        return f.ReadSectors(*d, KelSimFolder::AreaSector(*d), kSimAreaSectors, area->data(), e);
      },
      err);
}

bool KelSimAreaImport(const KelSimFolder& f, const std::string& disk,
                      const std::vector<unsigned char>& area, std::string* err) {
  if (area.size() != kSimAreaBytes)
    return Fail(err, "a configuration area is exactly " + std::to_string(kSimAreaBytes) +
                         " bytes, not " + std::to_string(area.size()));
  return f.Transact(
      [&](KelSimState& s, bool* dirty, std::string* e) {
        KelSimDisk* d;
        if (!FindDisk(s, disk, &d, e) ||
            !f.WriteSectors(*d, KelSimFolder::AreaSector(*d), kSimAreaSectors, area.data(), e))
          return false;
        KelSimAreaWritten(f, *d, area.data(), dirty);
        return true;
      },
      err);
}

bool KelSimSnapshot(const KelSimFolder& f, KelSimState* out, std::string* err) {
  return f.Transact(
      [&](KelSimState& s, bool*, std::string*) {
        *out = s;
        return true;
      },
      err);
}
