// What the task manager needs from the RAID engine, as one interface: the service runs on
// the engine facade (ZrTaskEngine), tests on a fake. Every method may be called from any
// thread; implementations serialise their own engine access.
#ifndef KEL_SERVICE_TASK_TASK_ENGINE_H
#define KEL_SERVICE_TASK_TASK_ENGINE_H

#include <cstdint>
#include <string>
#include <vector>

#include "service/task/task_record.h"
#include "sharedlib/raid_records.h"

class KelTaskEngine {
 public:
  virtual ~KelTaskEngine() = default;

  // One step of the work `task` names (its code, indexes, magic numbers, RAID 0+1 mask).
  // `percent` receives the progress; null asks the engine to cancel the work instead, which
  // it does in that one call. Returns the engine's result: 0 or the task's completion code
  // after progress, 500 when the work is complete, 106 busy, 216 a magic number changed,
  // anything else a failure.
  virtual int Step(const KelAsyncTaskData& task, uint16_t* percent) = 0;
  // The keys ("model name" + "serial number") of every disk the task works on. False when
  // the engine could not tell (a diagnostic line is printed); `keys` then holds what was found.
  virtual bool DiskKeys(const KelAsyncTaskData& task, std::vector<std::string>* keys) = 0;
  // Current magic number of array `index` (`disk` false) or disk `index`; false when there
  // is no such object.
  virtual bool Magic(bool disk, int index, uint16_t* magic) = 0;
  // The array's capacity (codes 1 to 4) or the first disk's (code 5), in sectors; 0 unknown.
  virtual uint64_t Capacity(const KelAsyncTaskData& task) = 0;
  // Unfinished work recorded on the disks.
  virtual int GetSMRHandles(_LIB_Need_SMR_Info_t* info) = 0;
  // Prepares (`withdraw` false) or withdraws a replacement of disk uIndex1 by uIndex2.
  virtual int PrepareReplace(const KelAsyncTaskData& task, bool withdraw) = 0;
  // Whether a member disk of `array` has the index and magic number of one of `disks`.
  virtual bool ArrayHasDisk(int array, const std::vector<_Index_Plus_t>& disks) = 0;
  // Whether the array of a synchronisation or migration (codes 1 to 4) needs that work.
  // True for a replacement, and whenever the engine cannot tell: the step then decides.
  virtual bool NeedsWork(const KelAsyncTaskData& task) = 0;
};

// The engine facade: every step, and the replacement's set-up, is one facade call.
class ZrTaskEngine : public KelTaskEngine {
 public:
  int Step(const KelAsyncTaskData& task, uint16_t* percent) override;
  bool DiskKeys(const KelAsyncTaskData& task, std::vector<std::string>* keys) override;
  bool Magic(bool disk, int index, uint16_t* magic) override;
  uint64_t Capacity(const KelAsyncTaskData& task) override;
  int GetSMRHandles(_LIB_Need_SMR_Info_t* info) override;
  int PrepareReplace(const KelAsyncTaskData& task, bool withdraw) override;
  bool ArrayHasDisk(int array, const std::vector<_Index_Plus_t>& disks) override;
  bool NeedsWork(const KelAsyncTaskData& task) override;

 private:
  // `mask` selects the mirror pairs; `percent` becomes the least progress among them.
  static int StepRaid01(_Index_Plus_t array, uint16_t mask, uint16_t* percent);
  static int StepReplace(const KelAsyncTaskData& task, uint16_t* percent);
};

#endif
