// The simulated controller's answers to the driver's vendor commands: framing checks, then
// one handler per sub-command working on the folder's state and images.
#include "sim/sim_transport.h"

#include <dirent.h>
#include <unistd.h>

#include <cstring>

#include "sharedlib/diag.h"
#include "sim/sim_background.h"
#include "sim/sim_call.h"
#include "sim/sim_codec.h"
#include "sim/sim_migration.h"
#include "sim/sim_park_journal.h"
#include "sim/sim_records.h"
#include "sim/sim_volume_ops.h"

namespace {

constexpr size_t kParamOffset = 36;
constexpr uint16_t kUcmdSignature = 0x5A17;
constexpr size_t kMultiItemLen = 3084;

using Call = SimCall;

bool Faulted(Call& c, KelSimDisk* d) { return SimFaulted(c, d); }
bool NeedLen(const Call& c, size_t need) { return SimNeedLen(c, need); }
// The disk addressed by controller-internal index at +off and device number at +off+2.
KelSimDisk* Addressed(Call& c, size_t off) { return SimAddressed(c, off, off + 2); }

bool AnswerChannel(Call& c) {
  if (!NeedLen(c, 2 + kSimChannelInfoLen) || Faulted(c, c.nodeDisk)) return false;
  int ch = c.p[0];
  if (ch >= static_cast<int>(c.s.channels.size())) {
    KEL_PRINT(ZEP_DBG_ERROR, "no channel %d\n", ch);
    return false;
  }
  KelSimEncodeChannel(c.s, ch, c.p + 2);
  return true;
}

bool AnswerHub(Call& c) {
  if (!NeedLen(c, 2 + kSimHubInfoLen) || Faulted(c, c.nodeDisk)) return false;
  const KelSimHub* hub = c.p[1] < 2 ? c.s.HubAt(c.p[0], c.p[1]) : nullptr;
  if (!hub) {
    KEL_PRINT(ZEP_DBG_ERROR, "no device hub at channel %d position %d\n", c.p[0], c.p[1]);
    return false;
  }
  KelSimEncodeHub(c.s, *hub, c.p + 2);
  return true;
}

bool AnswerDevice(Call& c) {
  if (!NeedLen(c, 4 + kSimDeviceInfoLen)) return false;
  int ch = c.p[0], side = c.p[1], port = SimGetU16(c.p, 2);
  const KelSimDisk* d = nullptr;
  if (side < 2) d = c.s.HubAt(ch, side) ? c.s.DiskAt(ch, side, port) : (port == 0 ? c.s.DiskAt(ch, side, -1) : nullptr);
  if (!d) {
    KEL_PRINT(ZEP_DBG_ERROR, "no disk at channel %d side %d port %d\n", ch, side, port);
    return false;
  }
  KelSimDisk* disk = c.s.FindDisk(d->name);
  if (Faulted(c, disk)) return false;
  KelSimEncodeDevice(*disk, c.p + 4);
  return true;
}

bool AnswerWriteData(Call& c) {
  if (!NeedLen(c, 25)) return false;
  KelSimDisk* d = Addressed(c, 0);
  if (!d || Faulted(c, d)) return false;
  uint64_t start = SimGetU64(c.p, 8), count = SimGetU64(c.p, 16);
  uint64_t user = d->capacity - kSimReservedSectors;
  if (count == 0 || start >= user || count > user - start ||
      !NeedLen(c, 24 + count * kSimSectorSize)) {
    KEL_PRINT(ZEP_DBG_ERROR, "write of %llu sectors at %llu outside %s's data area\n",
              static_cast<unsigned long long>(count), static_cast<unsigned long long>(start),
              d->name.c_str());
    return false;
  }
  std::string err;
  if (!c.folder.WriteSectors(*d, start, count, c.p + 24, &err)) {
    KEL_PRINT(ZEP_DBG_ERROR, "%s\n", err.c_str());
    return false;
  }
  return true;
}

bool AnswerReadArea(Call& c) {
  if (!NeedLen(c, 6)) return false;
  KelSimDisk* d = Addressed(c, 0);
  if (!d || Faulted(c, d)) return false;
  int first = c.p[4], count = c.p[5];
  if (count == 0 || first + count > kSimAreaSectors || !NeedLen(c, 6 + count * kSimSectorSize)) {
    KEL_PRINT(ZEP_DBG_ERROR, "area sectors %d+%d out of range\n", first, count);
    return false;
  }
  std::string err;
  if (!c.folder.ReadSectors(*d, KelSimFolder::AreaSector(*d) + first, count, c.p + 6, &err)) {
    KEL_PRINT(ZEP_DBG_ERROR, "%s\n", err.c_str());
    return false;
  }
  return true;
}

bool AnswerWriteAreas(Call& c) {
  if (!NeedLen(c, 2)) return false;
  int items = c.p[0];
  if (!NeedLen(c, 2 + items * kMultiItemLen)) return false;
  int stopAfter = c.s.powerLossAfter;
  if (stopAfter >= 0) {
    c.s.powerLossAfter = -1;  // one power loss per setting
    *c.dirty = true;
  }
  for (int i = 0; i < items; ++i) {
    if (i == stopAfter) {
      KEL_PRINT(ZEP_DBG_ERROR, "simulated power loss after %d of %d areas\n", i, items);
      // A retry must not finish the write: the controller stays dark until the power is back.
      c.s.powerDown = true;
      return false;
    }
    unsigned char* item = c.p + 2 + i * kMultiItemLen;
    if (SimGetU32(item, 0) != kMultiItemLen || item[8] != 0 || item[9] != kSimAreaSectors) {
      KEL_PRINT(ZEP_DBG_ERROR, "area item %d malformed\n", i);
      return false;
    }
    Call sub = c;
    sub.p = item + 4;
    KelSimDisk* d = Addressed(sub, 0);
    if (!d || Faulted(c, d)) return false;
    std::string err;
    if (!c.folder.WriteSectors(*d, KelSimFolder::AreaSector(*d), kSimAreaSectors, item + 10, &err)) {
      KEL_PRINT(ZEP_DBG_ERROR, "%s\n", err.c_str());
      return false;
    }
    KelSimAreaWritten(c.folder, *d, item + 10, c.dirty);
  }
  return true;
}

bool AnswerAck(Call& c, size_t need, bool addressed) {
  if (!NeedLen(c, need)) return false;
  KelSimDisk* d = addressed ? Addressed(c, 0) : c.nodeDisk;
  if (addressed && !d) return false;
  return !Faulted(c, d);
}

bool AnswerRealTargets(Call& c) {
  if (!NeedLen(c, 60) || Faulted(c, c.nodeDisk)) return false;
  std::memset(c.p, 0, 60);
  c.p[0] = 1;
  for (int i = 0; i < 8; ++i) SimPutU16(c.p, 2 + 2 * i, 0xFFFF);
  std::memset(c.p + 18, 0xFF, 8);
  c.p[26] = static_cast<unsigned char>(c.s.controllerIndex);
  if (!c.volume) {
    SimPutU16(c.p, 2, static_cast<uint16_t>(KelSimDeviceNumber(*c.nodeDisk)));
    return true;
  }
  // A logical target names its members present, in layout order; a volume whose blocks
  // are gone (until the next bus-changed notice removes it) names none.
  c.p[1] = 1;
  std::vector<SimArray> arrays = KelSimFindArrays(c.folder, c.s);
  const SimArray* a = KelSimArrayOf(arrays, *c.volume);
  int k = 0;
  for (size_t i = 0; a && i < a->members.size(); ++i) {
    const KelSimDisk* d = a->members[i].present ? c.s.FindDisk(a->members[i].disk) : nullptr;
    if (!d) continue;
    SimPutU16(c.p, 2 + 2 * k, static_cast<uint16_t>(KelSimDeviceNumber(*d)));
    c.p[18 + k] = static_cast<unsigned char>(a->members[i].slot);
    ++k;
  }
  return true;
}

bool AnswerBusChanged(Call& c) {
  if (!AnswerAck(c, 1, false)) return false;
  KelSimSyncVolumes(c.folder, c.s, c.dirty);
  return true;
}

// +0 u32 controller-internal index | VD id << 8, +4 u16 device number; the second entry
// at +6 is not used by this controller.
bool AnswerKeepTarget(Call& c) {
  if (!AnswerAck(c, 12, false)) return false;
  uint32_t pos = SimGetU32(c.p, 0);
  Call first = c;
  unsigned char addr[4] = {static_cast<unsigned char>(pos & 0xFF), 0, c.p[4], c.p[5]};
  first.p = addr;
  KelSimDisk* d = Addressed(first, 0);
  std::string err;
  if (!d) return false;
  if (!KelSimKeepVolume(c.folder, c.s, d->name, static_cast<int>((pos >> 8) & 0xFF), c.dirty,
                        &err)) {
    KEL_PRINT(ZEP_DBG_ERROR, "%s\n", err.c_str());
    return false;
  }
  return true;
}

// +0 u16 device number, +2 source and +18 target position records: +0 u8 controller-
// internal index, +1 u8 VD id, +2 u16 device number, +4 u32 sector count, +8 u64 start.
bool AnswerMoveLastData(Call& c) {
  if (!NeedLen(c, 34)) return false;
  KelSimDisk* from = Addressed(c, 2);
  KelSimDisk* to = from ? Addressed(c, 18) : nullptr;
  if (!to || Faulted(c, from)) return false;
  uint64_t count = SimGetU32(c.p, 6), fromStart = SimGetU64(c.p, 10),
           toStart = SimGetU64(c.p, 26);
  if (fromStart > from->capacity || count > from->capacity - fromStart ||
      toStart > to->capacity || count > to->capacity - toStart) {
    KEL_PRINT(ZEP_DBG_ERROR, "moving %llu sectors from %s:%llu to %s:%llu runs past an image\n",
              static_cast<unsigned long long>(count), from->name.c_str(),
              static_cast<unsigned long long>(fromStart), to->name.c_str(),
              static_cast<unsigned long long>(toStart));
    return false;
  }
  std::string err;
  if (!KelSimCopySectors(c.folder, *from, fromStart, *to, toStart, count, &err)) {
    KEL_PRINT(ZEP_DBG_ERROR, "%s\n", err.c_str());
    return false;
  }
  KelSimDropParkJournal(c.folder, to->name, toStart);  // a journal of an earlier park there
  KelSimNotePark(c.s, {from->name, fromStart, count, to->name, toStart});
  *c.dirty = true;
  return true;
}

bool AnswerSmart(Call& c) {
  if (!NeedLen(c, 8)) return false;
  KelSimDisk* d = Addressed(c, 0);
  if (!d || Faulted(c, d)) return false;
  uint8_t feature = c.p[4];
  size_t dataLen = SimGetU16(c.p, 6);
  if (!NeedLen(c, 8 + dataLen)) return false;
  unsigned char* out = c.p + 8;
  switch (feature) {
    case 0xD0:
    case 0xD1:
      if (dataLen < kSimSmartPageLen) break;
      if (feature == 0xD0) KelSimEncodeSmartValues(*d, out);
      else KelSimEncodeSmartThresholds(*d, out);
      return true;
    case 0xDA:
      if (dataLen < 1) break;
      out[0] = d->smartStatus;
      return true;
    case 0xD5:
      std::memset(out, 0, dataLen);
      return true;
    case 0xD2:
    case 0xD4:
    case 0xD6:
    case 0xD8:
    case 0xD9:
      return true;
    default:
      KEL_PRINT(ZEP_DBG_ERROR, "SMART feature 0x%02X not supported\n", feature);
      return false;
  }
  KEL_PRINT(ZEP_DBG_ERROR, "SMART feature 0x%02X: data length %zu too short\n", feature, dataLen);
  return false;
}

bool AnswerHotplug(Call& c) {
  if (!NeedLen(c, 120) || Faulted(c, c.nodeDisk)) return false;
  std::memset(c.p, 0, 120);
  c.p[109] = c.s.hotplug ? 1 : 0;
  if (c.s.hotplug) {
    c.s.hotplug = false;
    *c.dirty = true;
  }
  return true;
}

bool Answer(Call& c) {
  if (c.s.powerDown) {
    KEL_PRINT(ZEP_DBG_ERROR, "sub-command 0x%02X: the controller has no power\n", c.code);
    return false;
  }
  switch (c.code) {
    case 0x01:
      if (!NeedLen(c, kSimControllerInfoLen) || Faulted(c, c.nodeDisk)) return false;
      KelSimEncodeController(c.s, c.p);
      return true;
    case 0x02: return AnswerChannel(c);
    case 0x03: return AnswerHub(c);
    case 0x04: return AnswerDevice(c);
    case 0x07: return AnswerWriteData(c);
    case 0x0C: return AnswerReadArea(c);
    case 0x0E: return KelSimAnswerClearDirty(c);
    case 0x0F: return AnswerBusChanged(c);
    case 0x11: return AnswerWriteAreas(c);
    case 0x12: return AnswerKeepTarget(c);
    case 0x13: return AnswerRealTargets(c);
    case 0x53: return AnswerSmart(c);
    case 0x51: return AnswerMoveLastData(c);
    case 0x70: return AnswerHotplug(c);
    case 0x09: return KelSimAnswerSync(c);
    case 0x15: return KelSimAnswerMigrate(c);
    case 0x16:
    case 0x28: return KelSimAnswerSavePosition(c);
    case 0x17: return KelSimAnswerReplace(c);
    case 0x52: return KelSimAnswerRecoverParked(c);
    default:
      KEL_PRINT(ZEP_DBG_ERROR, "unknown sub-command 0x%02X\n", c.code);
      return false;
  }
}

// "sda1" -> "sda": partition nodes talk to their disk (or volume).
std::string DiskOfNode(const std::string& node) {
  size_t end = node.size();
  while (end > 0 && node[end - 1] >= '0' && node[end - 1] <= '9') --end;
  return node.substr(0, end);
}

// The disk of a volume's first member present, which carries faults set for commands sent
// through the volume's node; nullptr when none is left.
KelSimDisk* FirstMember(const KelSimFolder& f, KelSimState& s, const KelSimVolume& v) {
  std::vector<SimArray> arrays = KelSimFindArrays(f, s);
  const SimArray* a = KelSimArrayOf(arrays, v);
  for (size_t i = 0; a && i < a->members.size(); ++i)
    if (a->members[i].present) return s.FindDisk(a->members[i].disk);
  return nullptr;
}

}  // namespace

std::vector<std::string> KelSimTransport::ListNodes() {
  std::vector<std::string> names;
  if (DIR* dir = opendir(m_folder.DevDir().c_str())) {
    while (dirent* e = readdir(dir))
      if (e->d_name[0] != '.') names.emplace_back(e->d_name);
    closedir(dir);
  }
  return names;
}

KelDrvSendResult KelSimTransport::Send(const std::string& name, const unsigned char cdb[10],
                                       unsigned char* buf, size_t len) {
  if (cdb[0] != 0xFF || cdb[1] != 0x17 || cdb[2] != 0x5A) {
    KEL_PRINT(ZEP_DBG_ERROR, "not a vendor command block: %02X %02X %02X\n", cdb[0], cdb[1], cdb[2]);
    return KelDrvSendResult::kFailed;
  }
  if (len < kParamOffset || SimGetU16(buf, 28) != kUcmdSignature) {
    KEL_PRINT(ZEP_DBG_ERROR, "buffer of %zu bytes holds no UCMD block\n", len);
    return KelDrvSendResult::kFailed;
  }
  size_t plen = SimGetU32(buf, 32);
  if (plen > len - kParamOffset) {
    KEL_PRINT(ZEP_DBG_ERROR, "parameter length %zu exceeds the buffer of %zu bytes\n", plen, len);
    return KelDrvSendResult::kFailed;
  }
  KelDrvSendResult result = KelDrvSendResult::kFailed;
  std::string err;
  bool ran = m_folder.Transact(
      [&](KelSimState& s, bool* dirty, std::string*) {
        const KelSimVolume* volume = s.FindVolume(DiskOfNode(name));
        KelSimDisk* nodeDisk = volume ? FirstMember(m_folder, s, *volume) : s.FindDisk(DiskOfNode(name));
        if ((!volume && (!nodeDisk || !nodeDisk->Attached())) ||
            access((m_folder.DevDir() + "/" + name).c_str(), F_OK) != 0) {
          KEL_PRINT(ZEP_DBG_ERROR, "no device node %s\n", name.c_str());
          result = KelDrvSendResult::kNoNode;
          return true;
        }
        Call c{m_folder, s, dirty, nodeDisk, volume, buf[30], buf + kParamOffset, plen};
        result = Answer(c) ? KelDrvSendResult::kOk : KelDrvSendResult::kFailed;
        return true;
      },
      &err);
  if (!ran) {
    KEL_PRINT(ZEP_DBG_ERROR, "%s\n", err.c_str());
    return KelDrvSendResult::kNoNode;
  }
  return result;
}
