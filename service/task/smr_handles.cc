#include "service/task/smr_handles.h"

#include "sharedlib/diag.h"

namespace {

constexpr uint8_t kHandleReplace = 5;
constexpr uint16_t kBothHalves = 3;

}  // namespace

std::vector<KelAsyncTaskData> KelTasksFromHandles(const _LIB_Need_SMR_Info_t& info,
                                                  const KelNewDiskFilter& filter) {
  std::vector<KelAsyncTaskData> out;
  const int n = info.Count() < KEL_SMR_MAX_ENTRIES ? info.Count() : KEL_SMR_MAX_ENTRIES;
  for (int i = 0; i < n; ++i) {
    const _LIB_Need_SMR_Entry e = info.Entry(i);
    KelAsyncTaskData r;
    r.uOrigin = KEL_TASK_BY_SERVICE;
    r.uState = KEL_TASK_STOPPED;
    r.uOp = KEL_TASK_OP_START;
    r.uIndex1 = static_cast<uint8_t>(e.index);
    r.wdMagic1 = e.magic;
    if (e.taskType >= KEL_TASK_SYNC_RAID1 && e.taskType <= KEL_TASK_MIGRATE_ARRAY) {
      if (filter.active && !filter.arrayIsNew(static_cast<int>(e.index))) {
        KEL_PRINT(ZEP_DBG_INFO, "Not a new array\n");
        continue;
      }
      r.uTaskCode = e.taskType;
      if (e.taskType == KEL_TASK_SYNC_RAID01) r.wdMagic2 = kBothHalves;
    } else if (e.taskType == kHandleReplace) {
      if (filter.active && !filter.diskIsNew(static_cast<int>(e.index), e.magic) &&
          !filter.diskIsNew(static_cast<int>(e.third), e.targetMagic))
        continue;
      r.uTaskCode = KEL_TASK_REPLACE_PD;
      r.uIndex2 = static_cast<uint8_t>(e.third);
      r.wdMagic2 = e.targetMagic;
    } else {
      continue;
    }
    out.push_back(r);
  }
  return out;
}
