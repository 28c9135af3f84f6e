#include "service/task/task_record.h"

#include <cstring>

int KelTaskCompletionCode(uint8_t code) {
  switch (code) {
    case KEL_TASK_SYNC_RAID1:
    case KEL_TASK_SYNC_RAID01:
    case KEL_TASK_SYNC_RAID5:
      return kKelSyncFinished;
    case KEL_TASK_MIGRATE_ARRAY:
      return kKelMigFinished;
    case KEL_TASK_REPLACE_PD:
      return kKelReplaceFinished;
    default:
      return 0;
  }
}

const char* KelTaskWorkName(uint8_t code) {
  switch (KelTaskCompletionCode(code)) {
    case kKelSyncFinished:
      return "synchronization";
    case kKelMigFinished:
      return "migration";
    case kKelReplaceFinished:
      return "replace";
    default:
      return nullptr;
  }
}

uint16_t KelRaid01Progress(uint16_t mask, const uint16_t (&slots)[kKelRaid01Slots], bool complete) {
  if (complete) return 100;
  uint16_t least = 255;
  for (int i = 0; i < kKelRaid01Slots; ++i)
    if ((mask & (1u << i)) != 0 && slots[i] < least) least = slots[i];
  return least == 255 ? 0 : least;
}

bool KelTaskMatches(const KelAsyncTaskData& task, const KelAsyncTaskData& request) {
  if (task.uTaskCode != request.uTaskCode) return false;
  const auto* a = reinterpret_cast<const uint8_t*>(&task);
  const auto* b = reinterpret_cast<const uint8_t*>(&request);
  const bool maskFree = request.uTaskCode == KEL_TASK_SYNC_RAID01 && request.uOp != KEL_TASK_OP_START;
  if (memcmp(a + 2, b + 2, maskFree ? 4 : 6) == 0) return true;
  return request.uOp == KEL_TASK_OP_QUERY && task.uIndex1 == request.uIndex1 &&
         task.uIndex2 == request.uIndex2;
}
