// SimVolumeIo: reads and writes an array's logical sectors through its layout, the way a
// controller does for the logical disk it shows the host. Reads go through the redundancy
// when a member is missing or not yet synchronised; writes keep mirrors and RAID 5 parity
// right (a RAID 5 write rewrites whole stripe rows). Member I/O comes through SimMemberIo,
// so the same code runs on disk images and, in tests, on memory.
#ifndef KEL_SIM_SIM_VOLUME_H
#define KEL_SIM_SIM_VOLUME_H

#include <cstdint>
#include <string>

#include "sim/sim_array.h"

class SimMemberIo {
 public:
  virtual ~SimMemberIo() = default;
  // Sectors of member `member` (layout index), `phys` counted from the VD's first sector.
  virtual bool Read(int member, uint64_t phys, uint64_t count, unsigned char* out,
                    std::string* err) = 0;
  virtual bool Write(int member, uint64_t phys, uint64_t count, const unsigned char* in,
                     std::string* err) = 0;
};

class SimVolumeIo {
 public:
  // Both must outlive the object.
  SimVolumeIo(const SimArray& a, SimMemberIo& io) : m_a(a), m_io(io) {}

  // Logical sectors [lba, lba + count), within the capacity. False with `err` set when a
  // range is outside it or the data cannot be reached (no copy left, I/O failed).
  bool Read(uint64_t lba, uint64_t count, unsigned char* out, std::string* err);
  bool Write(uint64_t lba, uint64_t count, const unsigned char* in, std::string* err);

  // Verifies the redundancy: every readable copy equal, every RAID 5 row XORing to zero.
  // *bad is the first logical sector found wrong, or UINT64_MAX when all agree (also for
  // levels without redundancy). False with `err` set when a member needed for the
  // comparison is missing or unreadable.
  bool Check(uint64_t* bad, std::string* err);

 private:
  bool InRange(uint64_t lba, uint64_t count, std::string* err) const;
  bool ReadPiece(int column, int parity, uint64_t phys, uint64_t count, unsigned char* out,
                 std::string* err);
  bool WriteRows(uint64_t lba, uint64_t count, const unsigned char* in, std::string* err);
  bool CheckMirrors(uint64_t* bad, std::string* err);
  bool CheckParity(uint64_t* bad, std::string* err);

  const SimArray& m_a;
  SimMemberIo& m_io;
};

#endif
