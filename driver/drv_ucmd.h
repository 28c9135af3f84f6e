// Framing of one driver command: the vendor UCMD block in a page-aligned data buffer and the
// 10-byte vendor command descriptor block that carries it.
//
// UCMD block at the start of the buffer (the rest of the buffer is zero):
//   +0  28 reserved, 0
//   +28  2 signature 0x5A17 (little-endian)
//   +30  1 sub-command code
//   +31  1 reserved, 0
//   +32  4 parameter length in bytes (little-endian)
//   +36  n parameter area: the sub-command's input, overwritten by its output
#ifndef KEL_DRIVER_DRV_UCMD_H
#define KEL_DRIVER_DRV_UCMD_H

#include <cstddef>
#include <cstdint>

constexpr uint16_t KEL_UCMD_SIGNATURE = 0x5A17;
constexpr size_t KEL_UCMD_HEADER = 36;
constexpr int KEL_CDB_LEN = 10;

// Sub-command codes.
enum : uint8_t {
  KEL_UCMD_CTLER_INFO = 0x01,
  KEL_UCMD_CHANNEL_INFO = 0x02,
  KEL_UCMD_DEVHUB_INFO = 0x03,
  KEL_UCMD_DEVICE_INFO = 0x04,
  KEL_UCMD_WRITE_DATA = 0x07,
  KEL_UCMD_SYNC = 0x09,
  KEL_UCMD_READ_CONF = 0x0C,
  KEL_UCMD_CLEAR_DIRTY = 0x0E,
  KEL_UCMD_BUS_CHANGED = 0x0F,
  KEL_UCMD_WRITE_MULTI_CONF = 0x11,
  KEL_UCMD_KEEP_LOGIC_TARGET = 0x12,
  KEL_UCMD_REAL_TARGETS = 0x13,
  KEL_UCMD_MIGRATE = 0x15,
  KEL_UCMD_MIGRATE_SAVE = 0x16,
  KEL_UCMD_REPLACE = 0x17,
  KEL_UCMD_SYNC_SAVE = 0x28,
  KEL_UCMD_MOVE_LAST_DATA = 0x51,
  KEL_UCMD_RECOVER_LAST_DATA = 0x52,
  KEL_UCMD_SMART = 0x53,
  KEL_UCMD_HOTPLUG = 0x70,
};

// A zero-filled, page-aligned buffer whose length is a whole number of pages, holding one
// UCMD block. Move-only; frees its memory.
class KelUcmdBuffer {
 public:
  KelUcmdBuffer() = default;
  ~KelUcmdBuffer();
  KelUcmdBuffer(KelUcmdBuffer&& other) noexcept;
  KelUcmdBuffer& operator=(KelUcmdBuffer&& other) noexcept;
  KelUcmdBuffer(const KelUcmdBuffer&) = delete;
  KelUcmdBuffer& operator=(const KelUcmdBuffer&) = delete;

  // Allocates 36 + `paramLen` + 1 bytes rounded up to whole pages, zero-fills them and writes
  // the header. False (after "malloc error") when memory runs out.
  bool Build(uint8_t subCmd, uint32_t paramLen);

  uint8_t* data() { return m_pBuf; }
  size_t size() const { return m_nSize; }
  uint8_t* param() { return m_pBuf + KEL_UCMD_HEADER; }
  uint32_t paramLen() const;
  uint16_t signature() const;

 private:
  uint8_t* m_pBuf = nullptr;
  size_t m_nSize = 0;
};

// Size of a buffer for `needed` bytes: rounded up to whole pages of `page` bytes.
size_t KelUcmdRoundToPages(size_t needed, size_t page);

// Fills the vendor command descriptor block: 0xFF, the signature little-endian, then zeros.
void KelBuildUcmdCdb(uint8_t cdb[KEL_CDB_LEN]);

// True when the buffer carries the UCMD signature; prints the assertion otherwise. Checked
// before a block is queued for later delivery.
bool KelCheckUcmdSignature(KelUcmdBuffer& buf);

#endif
