// A migration on the folder's disk images: where a migrating array's sectors are (the view
// the logical-volume commands read through) and the journal that keeps a migration from
// moving a row twice.
//
// A migration reads a row's old place and overwrites places that later rows' old data no
// longer needs; moving a row again after later rows moved would read data already
// overwritten. How far rows really moved is kept in the first VD's record (migMoved), but
// that record reaches the state file only when the sub-command ends. A process killed
// between its image writes and that save would leave a record behind the disks. So before
// writing a batch of rows, the sub-command writes their final content to a journal file
// (migration-NAME-SLOT.journal in the folder, replaced whole by rename); every row before
// a journal's first row has moved, by construction. The next transaction that touches the
// array first settles a journal the record has not caught up with: it writes the batch
// again from the journal (the same bytes, so a half-written batch is completed) and
// advances the record. A journal the record has caught up with is stale and removed. The
// journal is not flushed to the device: it guards against a process dying, which the page
// cache survives; a power cut is the state file's business, and that file is flushed.
#ifndef KEL_SIM_SIM_MIGRATION_H
#define KEL_SIM_SIM_MIGRATION_H

#include <cstdint>
#include <string>
#include <vector>

#include "sim/sim_array.h"
#include "sim/sim_folder.h"
#include "sim/sim_migration_view.h"
#include "sim/sim_state.h"

// One batch of rows, written before the rows themselves.
struct SimMigrationJournal {
  std::string disk;  // the array's first VD
  int slot = 0;
  uint64_t mark = 0;  // the array's mark: a journal of another array is stale
  uint64_t fromRow = 0;
  std::vector<std::vector<unsigned char>> rows;  // content per row; empty: nothing written
};

// Text header and row contents, and back; Decode refuses a torn or foreign file.
std::string SimEncodeJournal(const SimMigrationJournal& j);
bool SimDecodeJournal(const std::string& bytes, SimMigrationJournal* j);

std::string KelSimJournalPath(const KelSimFolder& f, const std::string& disk, int slot);
bool KelSimWriteJournal(const KelSimFolder& f, const SimMigrationJournal& j, std::string* err);

// How far a migration moved belongs to the array that was migrating; once the blocks of a
// VD stop saying "migrating" (finished, deleted, or replaced by another array that may well
// carry the same mark and slot), the record must not follow the next array there. Clears
// the migration part of `d`'s records whose slot in `blocks` (the disk's area just written)
// is not a migrating VD; returns the slots cleared.
std::vector<int> SimForgetEndedMigrations(KelSimDisk& d, const std::vector<SimVdBlock>& blocks);

// --- Inside a transaction (the folder lock held) ---

// The same after `area` was written on `d`; the journals of its VDs not migrating go too.
// Sets *dirty when a record changed.
void KelSimAreaWritten(const KelSimFolder& f, KelSimDisk& d, const unsigned char* area,
                       bool* dirty);

// Where the old data of array `a` (its first member's plain-disk content) is. The readers
// refer to `f` and `s`, which must outlive the result.
SimOldData KelSimOldDataOf(const KelSimFolder& f, const KelSimState& s, const SimArray& a);

// Whether `a` is being migrated; when it is, *view says where its sectors are (readers and
// writers refer to `f` and `s`).
bool KelSimMigrationOf(const KelSimFolder& f, const KelSimState& s, const SimArray& a,
                       SimMigrationView* view);

// Finishes a batch that a killed migration of `a` left in its journal (see above) and
// removes a stale journal. Sets *dirty when the record moved.
bool KelSimSettleMigration(const KelSimFolder& f, KelSimState& s, const SimArray& a,
                           bool* dirty, std::string* err);

// Whether stripe row `row` of `a` covers sectors of a live park on one of its members.
bool KelSimRowHoldsPark(const KelSimState& s, const SimArray& a, uint64_t row);

#endif
