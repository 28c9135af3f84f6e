// The journal of a write-back of parked sectors (0x52). The write-back puts the parked
// sectors into the array and then rewrites the rows around the park so that copies and
// parity agree, which may overwrite the park itself. The state file forgets the park only
// when the sub-command ends; a process killed in between would leave a live park whose
// sectors are gone, and a retried write-back would put garbage into the array. So the parked
// content is written to park-DISK-SECTOR.journal (replaced whole by rename) before anything
// is written, and a write-back of a park that is still live takes its content from a
// matching journal. A new park on the same spot (0x51) removes the journal; one whose park
// was released is removed by the next write-back there.
#ifndef KEL_SIM_SIM_PARK_JOURNAL_H
#define KEL_SIM_SIM_PARK_JOURNAL_H

#include <cstdint>
#include <string>
#include <vector>

#include "sim/sim_folder.h"
#include "sim/sim_state.h"

struct SimParkJournal {
  KelSimPark park;
  uint64_t position = 0;  // logical sector the content goes to
  std::vector<unsigned char> content;
};

std::string SimEncodeParkJournal(const SimParkJournal& j);
bool SimDecodeParkJournal(const std::string& bytes, SimParkJournal* j);  // refuses a torn file

std::string KelSimParkJournalPath(const KelSimFolder& f, const std::string& disk, uint64_t at);
bool KelSimWriteParkJournal(const KelSimFolder& f, const SimParkJournal& j, std::string* err);
// The journal of park `p`, when one is there for exactly this write-back.
bool KelSimReadParkJournal(const KelSimFolder& f, const KelSimPark& p, uint64_t position,
                           SimParkJournal* j);
void KelSimDropParkJournal(const KelSimFolder& f, const std::string& disk, uint64_t at);

#endif
