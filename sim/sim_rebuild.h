// The data a controller moves in the background, worked out over an array's layout and
// member I/O (SimMemberIo), pure of the folder so that it runs on memory in tests:
//
// - Synchronisation rebuilds a range of one member's sectors from the others: a mirror
//   copy (RAID 1: any other copy that holds data; RAID 0+1: the member's partner) or, for
//   RAID 5, the XOR of every other member at the same offset (data and parity alike).
// - Migration puts an array whose first member still holds a plain disk's data (logical
//   sector x at member 0's sector x) into the level's layout one stripe row at a time.
//   Row r is member sectors [r*S, (r+1)*S) of every member. Its logical sectors are read
//   first - from the old place where the plain disk had data, through the new layout
//   otherwise - and then written through the new layout (RAID 5 parity recomputed). Rows
//   are taken in order: the old data a row needs lies at member 0 sector r*W*S or later
//   (W data columns per row), which only row r or later ones overwrite, so moving each row
//   exactly once in order never reads overwritten data. Moving a row twice would: the
//   caller keeps count of the rows moved.
#ifndef KEL_SIM_SIM_REBUILD_H
#define KEL_SIM_SIM_REBUILD_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sim/sim_array.h"
#include "sim/sim_migration_view.h"
#include "sim/sim_volume.h"

// Rewrites member `target`'s sectors [phys, phys + count) from the members that hold its
// data. False with `err` set when a member needed is missing or holds no data yet, the
// level has no redundancy, or I/O fails.
bool SimRebuildMember(const SimArray& a, int target, uint64_t phys, uint64_t count,
                      SimMemberIo& io, std::string* err);

// Sectors of each member one migration row covers (the stripe), and the rows of the array.
uint64_t SimRowSectors(const SimArray& a);
uint64_t SimRowCount(const SimArray& a);
// The first logical sector row `row` holds.
uint64_t SimRowFirstLogical(const SimArray& a, uint64_t row);

// The logical content row `row` will hold in the new layout, [first logical, + sectors):
// read from the old place where the plain disk had data, through the new layout otherwise.
// Reading every row of a batch before writing any is the same as moving them one by one:
// a row writes only member sectors that the rows after it no longer read. False with `err`
// set on I/O failure.
bool SimReadMigrationRow(const SimArray& a, uint64_t row, const SimOldData& old,
                         SimMemberIo& io, std::vector<unsigned char>* out, std::string* err);

// Writes `data` (as SimReadMigrationRow gave it) into row `row` through the new layout.
bool SimWriteRow(const SimArray& a, uint64_t row, const std::vector<unsigned char>& data,
                 SimMemberIo& io, std::string* err);

// Rewrites row `row` with what it holds now, so that its copies and parity agree.
bool SimRewriteRow(const SimArray& a, uint64_t row, SimMemberIo& io, std::string* err);

#endif
