// SimVolumeIo: reads and writes an array's logical sectors through its layout, the way a
// controller does for the logical disk it shows the host. Reads go through the redundancy
// when a member is missing or not yet synchronised; writes keep mirrors and RAID 5 parity
// right (a RAID 5 write rewrites whole stripe rows). Member I/O comes through SimMemberIo,
// so the same code runs on disk images and, in tests, on memory. While a migration runs,
// the sectors it has not reached are read and written where they still are.
#ifndef KEL_SIM_SIM_VOLUME_H
#define KEL_SIM_SIM_VOLUME_H

#include <cstdint>
#include <string>

#include "sim/sim_array.h"
#include "sim/sim_migration_view.h"

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
  // An array being migrated, as `mig` says (which must outlive the object too).
  SimVolumeIo(const SimArray& a, SimMemberIo& io, const SimMigrationView* mig)
      : m_a(a), m_io(io), m_mig(mig) {}

  // Logical sectors [lba, lba + count), within the capacity. False with `err` set when a
  // range is outside it or the data cannot be reached (no copy left, I/O failed). During a
  // migration a write is refused where the data has no place yet: new space of rows not
  // moved (its layout place may still hold old data) and parked sectors.
  bool Read(uint64_t lba, uint64_t count, unsigned char* out, std::string* err);
  bool Write(uint64_t lba, uint64_t count, const unsigned char* in, std::string* err);

  // Verifies the redundancy: every readable copy equal, every RAID 5 row XORing to zero.
  // *bad is the first logical sector found wrong, or UINT64_MAX when all agree (also for
  // levels without redundancy). False with `err` set when a member needed for the
  // comparison is missing or unreadable, or a migration is still running.
  bool Check(uint64_t* bad, std::string* err);

 private:
  bool InRange(uint64_t lba, uint64_t count, std::string* err) const;
  bool ReadLayout(uint64_t lba, uint64_t count, unsigned char* out, std::string* err);
  bool WriteLayout(uint64_t lba, uint64_t count, const unsigned char* in, std::string* err);
  bool ReadMigrating(uint64_t lba, uint64_t count, unsigned char* out, std::string* err);
  bool WriteMigrating(uint64_t lba, uint64_t count, const unsigned char* in, std::string* err);
  bool ReadPiece(int column, int parity, uint64_t phys, uint64_t count, unsigned char* out,
                 std::string* err);
  bool WriteRows(uint64_t lba, uint64_t count, const unsigned char* in, std::string* err);
  bool CheckMirrors(uint64_t* bad, std::string* err);
  bool CheckParity(uint64_t* bad, std::string* err);

  const SimArray& m_a;
  SimMemberIo& m_io;
  const SimMigrationView* m_mig = nullptr;
};

#endif
