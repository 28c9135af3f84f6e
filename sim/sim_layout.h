// Where a logical sector of an array lives on its members: the layout maths, pure. The
// layouts and worked examples are in sim/README.md ("Arrays as logical volumes").
//
//   span     members concatenated in position order
//   RAID 0   stripes of S sectors round-robin over the n members
//   RAID 1   every member a whole copy (a position-2 member is a spare: no copy yet)
//   RAID 5   left-symmetric: row r keeps its parity on member n-1-(r mod n), its data
//            stripes on the members after it, wrapping round
//   RAID 0+1 RAID 0 over the first half; second-half member i mirrors first-half member i
#ifndef KEL_SIM_SIM_LAYOUT_H
#define KEL_SIM_SIM_LAYOUT_H

#include <cstdint>
#include <vector>

#include "sim/sim_array.h"

struct SimPlace {
  int column = 0;     // member index (RAID 0, 5, span) or mirror set (RAID 1: 0; RAID 0+1: i)
  uint64_t phys = 0;  // sector within the member's VD
  uint64_t run = 0;   // sectors that follow on in the same place (to the stripe or member end)
  int parity = -1;    // RAID 5: the member holding this row's parity
};

// The place of logical sector `lba` (below the capacity).
SimPlace SimLocate(const SimArray& a, uint64_t lba);

// RAID 5: the member holding the parity of stripe row `row`.
int SimParityMember(int count, uint64_t row);

// The members a column's data is written to: the column itself, or every copy of it.
std::vector<int> SimCopies(const SimArray& a, int column);

// The logical sector held at `phys` by mirror set `column` (RAID 1, RAID 0+1), or by the
// first data stripe of the row that `phys` lies in (RAID 5).
uint64_t SimLogicalOf(const SimArray& a, int column, uint64_t phys);

// Sectors of each member the layout uses: the part of L that holds logical data or parity.
uint64_t SimUsedLength(const SimArray& a);

#endif
