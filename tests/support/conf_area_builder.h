// ConfAreaBuilder: writes the 3072-byte configuration area a member disk carries, byte by
// byte from its documented layout, for tests that import areas into a simulated disk and
// check what the engine makes of them. It deliberately shares no code or header with the
// engine: it is the independent reference the engine is tested against. Header-only.
//
// Area layout (all fields little-endian):
//   0     1536  unused (zero)
//   1536  256   VD block of slot 1          (slot s at (7 - s) * 256)
//   1792  256   VD block of slot 0
//   2048  512   PD sector: +0 u16 0xE2E4, +2 version 3, +3 VD count, +4 u32 VD map,
//               +8 u32 serial checksum, +12 status, +14 origin (32 this system, 1 converted),
//               +16 u64 replacement position, +511 XOR of bytes 0..510
//   2560  512   marker: +0 u16 0xAA55, +2 layout version (3), +10 cleared by the parser;
//               below version 3 the marker sector itself holds an older one-VD layout
// VD block: +0 u16 0xD4D6, +2 slot, +4 u32 VD id (serial checksum + slot), +8 u64 first
//   sector, +16 u64 end, +24 u64 length, +32 u16 state (bit 0 valid), +36 u64 array mark,
//   +44 u64 side value, +52 name[24], +76 u64 replacement position, +100 RAID type, +101 VD
//   count, +104 flags (bit 0 created, bit 1 array name valid), +105 flags, +108 stripe
//   sectors, +109 level parameter, +112 position (RAID 0+1 second half: bit 7), +113 XOR of
//   212..243, +115 init/migration bits, +116 u64 migration position, +172 u64 sync position,
//   +180 u64 length copy, +188 array name[24], +212 u32[8] member VD ids, +255 XOR of 0..254.
//
// Usage:
//   ConfAreaBuilder area;
//   area.Pd(serial).Vd(0, {.raidType = 1, .vdCount = 2, .position = 0, .length = L,
//                          .name = "m1", .arrayName = "mirror", .memberIds = {a, b}});
//   std::vector<uint8_t> bytes = area.Bytes();
#ifndef KEL_TESTS_SUPPORT_CONF_AREA_BUILDER_H
#define KEL_TESTS_SUPPORT_CONF_AREA_BUILDER_H

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace kel_test {

// One VD block. Fields left at their defaults are written as zero (or as stated).
struct ConfVd {
  uint8_t raidType = 0;       // 0 RAID 0, 1 RAID 1, 5 RAID 5, 8 span, 9 RAID 0+1
  uint8_t vdCount = 1;        // VDs of the array
  uint8_t position = 0;       // position in the array (within its half for RAID 0+1)
  bool secondHalf = false;    // RAID 0+1: the VD belongs to the second (mirror) half
  uint64_t start = 0;         // first sector on the disk
  uint64_t length = 0;        // sectors
  uint8_t stripeSectors = 0;  // twice the stripe size in KiB
  uint8_t levelParam = 0;     // RAID 5 parameter
  std::string name = {};      // VD name, at most 24 bytes
  std::string arrayName = {}; // non-empty: written with the "array name valid" flag
  std::vector<uint32_t> memberIds = {};  // member VD ids in array order, at most 8
  uint64_t sideValue = 0;     // synchronisation side value (byte 44)
  uint64_t arrayMark = 0;     // byte 36
  uint64_t syncPosition = 0;  // byte 172
  uint16_t extraState = 0;    // ORed into the state word after the valid bit
  uint8_t flags104 = 0;       // ORed into byte 104 after the creation bit
  uint8_t flags105 = 0;
  bool valid = true;          // false: state bit 0 clear (the parser drops the slot)
  uint32_t vdId = 0;          // 0: the disk's serial checksum plus the slot
};

// The older one-VD layout held in the marker sector (version below 3).
struct ConfOldVd {
  uint8_t version = 2;
  bool flagA = false;          // 2563 bit 0
  uint8_t raidType = 0;        // 2563 bits 3..6
  uint8_t positionField = 0;   // 2564 bits 2..7
  uint8_t vdCount = 1;         // 2565 bits 0..2
  bool flagB = false;          // 2565 bit 3
  uint8_t stripeExponent = 0;  // 2565 bits 4..7: stripe = 2^(e+3) sectors
  uint64_t length = 0;         // 2566, two u32
  uint32_t serialChecksum = 0; // 2574
  std::vector<uint32_t> memberIds = {};  // 2578, 8 x u32
  bool flagC = false;          // 2622 bit 0
  uint8_t pending = 0;         // 2623: initialisation or migration pending
  uint32_t pendingValue1 = 0;  // 2624
  uint32_t pendingValue2 = 0;  // 2628
  uint8_t levelParam = 0;      // 2632
  uint64_t syncPosition = 0;   // 2633, two u32
};

class ConfAreaBuilder {
 public:
  ConfAreaBuilder() : m_area(3072, 0) { Marker(3); }

  // The marker sector (2560): signature and layout version.
  ConfAreaBuilder& Marker(uint8_t version) {
    Put(2560, 0xAA55, 2);
    m_area[2562] = version;
    return *this;
  }

  // The PD sector (2048) of a disk whose identity sums to `serialChecksum`. VD blocks added
  // later take their ids from it.
  ConfAreaBuilder& Pd(uint32_t serialChecksum, uint8_t status = 0, uint8_t origin = 32) {
    m_serial = serialChecksum;
    m_hasPd = true;
    Put(2048, 0xE2E4, 2);
    m_area[2050] = 3;
    Put(2056, serialChecksum, 4);
    m_area[2060] = status;
    m_area[2062] = origin;
    return *this;
  }

  // The VD block of `slot`; also sets the slot's bit in the VD map and counts it.
  ConfAreaBuilder& Vd(int slot, const ConfVd& vd) {
    const size_t b = static_cast<size_t>(7 - slot) * 256;
    std::fill_n(m_area.begin() + static_cast<long>(b), 256, 0);
    Put(b, 0xD4D6, 2);
    m_area[b + 2] = static_cast<uint8_t>(slot);
    Put(b + 4, vd.vdId != 0 ? vd.vdId : VdId(m_serial, slot), 4);
    Put(b + 8, vd.start, 8);
    Put(b + 16, vd.start + vd.length, 8);
    Put(b + 24, vd.length, 8);
    Put(b + 32, (vd.valid ? 1 : 0) | vd.extraState, 2);
    Put(b + 36, vd.arrayMark, 8);
    Put(b + 44, vd.sideValue, 8);
    PutText(b + 52, vd.name);
    m_area[b + 100] = vd.raidType;
    m_area[b + 101] = vd.vdCount;
    m_area[b + 104] = static_cast<uint8_t>(1 | (vd.arrayName.empty() ? 0 : 2) | vd.flags104);
    m_area[b + 105] = vd.flags105;
    m_area[b + 108] = vd.stripeSectors;
    m_area[b + 109] = vd.levelParam;
    m_area[b + 112] = static_cast<uint8_t>((vd.position & 7) | (vd.secondHalf ? 0x80 : 0));
    Put(b + 172, vd.syncPosition, 8);
    Put(b + 180, vd.length, 8);
    PutText(b + 188, vd.arrayName);
    for (size_t i = 0; i < vd.memberIds.size() && i < 8; ++i)
      Put(b + 212 + 4 * i, vd.memberIds[i], 4);
    if (m_vdSlots.insert(slot).second) {
      m_area[2052 + slot / 8] |= static_cast<uint8_t>(1 << slot % 8);
      ++m_area[2051];
    }
    return *this;
  }

  // An area in the older layout: the marker sector alone carries the one VD.
  ConfAreaBuilder& OldLayout(const ConfOldVd& vd) {
    const size_t m = 2560;
    Marker(vd.version);
    m_area[m + 3] = static_cast<uint8_t>((vd.flagA ? 1 : 0) | (vd.raidType & 0x0F) << 3);
    m_area[m + 4] = static_cast<uint8_t>(vd.positionField << 2);
    m_area[m + 5] = static_cast<uint8_t>((vd.vdCount & 7) | (vd.flagB ? 8 : 0) |
                                         (vd.stripeExponent & 0x0F) << 4);
    Put(m + 6, vd.length, 8);  // two u32, low first
    Put(m + 14, vd.serialChecksum, 4);
    for (size_t i = 0; i < vd.memberIds.size() && i < 8; ++i)
      Put(m + 18 + 4 * i, vd.memberIds[i], 4);
    m_area[m + 62] = vd.flagC ? 1 : 0;
    m_area[m + 63] = vd.pending;
    Put(m + 64, vd.pendingValue1, 4);
    Put(m + 68, vd.pendingValue2, 4);
    m_area[m + 72] = vd.levelParam;
    Put(m + 73, vd.syncPosition, 8);
    return *this;
  }

  // A byte to overwrite after the checksums are computed (corruption tests).
  ConfAreaBuilder& Poke(size_t offset, uint8_t value) {
    m_pokes[offset] = value;
    return *this;
  }

  // The finished area: PD sector and VD block checksums computed, then the pokes applied.
  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> out = m_area;
    if (m_hasPd) out[2048 + 511] = Xor(out, 2048, 511);
    for (int slot : m_vdSlots) {
      const size_t b = static_cast<size_t>(7 - slot) * 256;
      out[b + 113] = Xor(out, b + 212, 32);
      out[b + 255] = Xor(out, b, 255);
    }
    for (const auto& [offset, value] : m_pokes) out[offset] = value;
    return out;
  }

  // The VD id of a disk's slot: its serial checksum plus the slot.
  static uint32_t VdId(uint32_t serialChecksum, int slot) {
    return serialChecksum + static_cast<uint32_t>(slot);
  }

  static uint8_t Xor(const std::vector<uint8_t>& a, size_t from, size_t n) {
    uint8_t x = 0;
    for (size_t i = 0; i < n; ++i) x ^= a[from + i];
    return x;
  }

 private:
  // `width` bytes of `v` at `at`, little-endian.
  void Put(size_t at, uint64_t v, int width) {
    for (int i = 0; i < width; ++i) m_area[at + i] = static_cast<uint8_t>(v >> (8 * i));
  }
  void PutText(size_t at, const std::string& s) {  // at most 24 bytes
    std::memcpy(&m_area[at], s.data(), std::min<size_t>(s.size(), 24));
  }

  std::vector<uint8_t> m_area;
  uint32_t m_serial = 0;
  bool m_hasPd = false;
  std::set<int> m_vdSlots;
  std::map<size_t, uint8_t> m_pokes;
};

// The serial checksum of a disk's identity: the serial number (20 bytes), firmware revision
// (8) and model name (40), each as readable text padded with blanks, summed as little-endian
// 32-bit words with wrap-around. (The identity record keeps the texts in ATA order, byte
// pairs swapped; the sum is taken after swapping them back, i.e. over the plain text.)
inline uint32_t ConfSerialChecksum(const std::string& serial, const std::string& firmware,
                                   const std::string& model) {
  auto sum = [](std::string text, size_t width) {
    text.resize(width, ' ');
    uint32_t s = 0;  // byte i is bits 8 * (i % 4) of its word
    for (size_t i = 0; i < width; ++i) s += static_cast<uint32_t>(uint8_t(text[i])) << 8 * (i % 4);
    return s;
  };
  return sum(serial, 20) + sum(firmware, 8) + sum(model, 40);
}

namespace conf_detail {

// Runs a program (no shell), its standard output into `out` when given; true on exit 0.
inline bool Run(const std::vector<std::string>& argv, std::string* out = nullptr) {
  int fd[2] = {-1, -1};
  if (out != nullptr && pipe(fd) != 0) return false;
  const pid_t pid = fork();
  if (pid == 0) {
    const int devnull = open("/dev/null", O_WRONLY);
    dup2(out != nullptr ? fd[1] : devnull, STDOUT_FILENO);
    dup2(devnull, STDERR_FILENO);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  if (out != nullptr) {
    close(fd[1]);
    char buf[4096];
    for (ssize_t n; (n = read(fd[0], buf, sizeof buf)) > 0;) out->append(buf, size_t(n));
    close(fd[0]);
  }
  int status = 0;
  while (pid > 0 && waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return false;
  return pid > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The string value of `key` in the object that starts at `from`, unescaped (kelsim escapes
// '"' and '\\' with a backslash, control characters as \u00XX).
inline bool JsonField(const std::string& j, size_t from, const std::string& key,
                      std::string* value) {
  size_t at = j.find("\"" + key + "\":\"", from);
  if (at == std::string::npos || at > j.find('}', from)) return false;
  value->clear();
  for (at += key.size() + 4; at < j.size() && j[at] != '"'; ++at) {
    if (j[at] == '\\' && j[++at] == 'u') {
      *value += static_cast<char>(std::stoi(j.substr(at + 1, 4), nullptr, 16));
      at += 4;
    } else {
      *value += j[at];
    }
  }
  return at < j.size();
}

}  // namespace conf_detail

// The serial checksum of simulated disk `disk` (for example "sda"), from the texts that
// `kelsim list --json` reports for it. False when kelsim fails or does not list the disk.
inline bool SimDiskSerialChecksum(const std::string& kelsim, const std::string& simDir,
                                  const std::string& disk, uint32_t* checksum) {
  std::string json;
  if (!conf_detail::Run({kelsim, "--dir", simDir, "list", "--json"}, &json)) return false;
  size_t at = json.find("{\"name\":\"" + disk + "\"");
  if (at == std::string::npos) return false;
  std::string serial, model, firmware;
  if (!conf_detail::JsonField(json, at, "serial", &serial) ||
      !conf_detail::JsonField(json, at, "model", &model) ||
      !conf_detail::JsonField(json, at, "firmware", &firmware))
    return false;
  *checksum = ConfSerialChecksum(serial, firmware, model);
  return true;
}

// Writes `area` to `file` and imports it into simulated disk `disk` with kelsim (which
// refuses a file cut short).
inline bool ImportConfArea(const std::string& kelsim, const std::string& simDir,
                           const std::string& disk, const std::vector<uint8_t>& area,
                           const std::string& file) {
  std::ofstream(file, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(area.data()), static_cast<std::streamsize>(area.size()));
  return conf_detail::Run({kelsim, "--dir", simDir, "area-import", disk, file});
}

}  // namespace kel_test

#endif
