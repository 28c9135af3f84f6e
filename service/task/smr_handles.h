// From the engine's list of unfinished work to the task records the service starts on its
// own. Plain computation: the caller answers the two questions about new disks.
#ifndef KEL_SERVICE_TASK_SMR_HANDLES_H
#define KEL_SERVICE_TASK_SMR_HANDLES_H

#include <cstdint>
#include <functional>
#include <vector>

#include "service/task/task_record.h"
#include "sharedlib/raid_records.h"

struct KelNewDiskFilter {
  bool active = false;                       // false: every entry qualifies
  std::function<bool(int array)> arrayIsNew;  // a member is one of the new disks
  std::function<bool(int disk, uint16_t magic)> diskIsNew;
};

// One record per qualifying entry: originator service, operation start, state stopped.
// Synchronisations of RAID 0+1 cover both halves (mask 3): the engine's entry says only
// that the array needs work, not which pair.
std::vector<KelAsyncTaskData> KelTasksFromHandles(const _LIB_Need_SMR_Info_t& info,
                                                  const KelNewDiskFilter& filter);

#endif
