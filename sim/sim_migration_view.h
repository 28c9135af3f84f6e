// Where the logical sectors of an array are while a migration spreads a plain disk's data
// into the level's layout. Pure data plus readers and writers handed in by the caller, so
// that the layout code (sim_volume.h, sim_rebuild.h) runs on memory in tests.
//
// Rows are taken in order, so a migration splits the logical space at one sector: below
// `movedEnd` the level's layout holds the data; above it the old data still lies where the
// plain disk had it (logical x at the first member's sector x) up to `old.length`, and the
// rest, new space, is whatever the layout's places hold. Kept ranges are the exception
// everywhere: their old place was given up before the migration began (parked), and they
// are read from the park until they are written back.
#ifndef KEL_SIM_SIM_MIGRATION_VIEW_H
#define KEL_SIM_SIM_MIGRATION_VIEW_H

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

using SimSectorReader =
    std::function<bool(uint64_t lba, uint64_t n, unsigned char* out, std::string* err)>;
using SimSectorWriter =
    std::function<bool(uint64_t lba, uint64_t n, const unsigned char* in, std::string* err)>;

// Where the old (plain-disk) data of a migrating array is.
struct SimOldData {
  uint64_t length = 0;  // logical sectors [0, length) hold old data
  // Logical ranges [first, second) the migration leaves alone: their old place is no longer
  // theirs (parked elsewhere and written back later). Sorted.
  std::vector<std::pair<uint64_t, uint64_t>> kept;
  SimSectorReader read;  // old logical sectors [lba, lba + n) from their old place
};

struct SimMigrationView {
  uint64_t movedEnd = 0;  // logical sectors below lie in the level's layout
  SimOldData old;
  SimSectorWriter writeOld;  // logical sectors to their old place
  SimSectorReader readKept;  // kept logical sectors from their park
};

#endif
