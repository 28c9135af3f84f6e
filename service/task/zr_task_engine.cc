// The task manager's view of the engine facade.
#include <cstring>

#include "service/engine/zr_facade.h"
#include "service/task/task_engine.h"
#include "sharedlib/diag.h"

namespace {

constexpr uint8_t kRaid01Type = 9;
constexpr int kRaid01SecondHalf = 6;  // array positions of a RAID 0+1's second half start here

// Strings of the records are NUL-padded and may fill their field.
std::string Field(const char* text, size_t size) { return std::string(text, strnlen(text, size)); }

bool DiskKey(int pd, std::string* key) {
  _zr_device_info info{};
  const int ret = zr_get_device_info(pd, &info);
  if (ret != 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "zr_get_device_info failed, ret = %d\n", ret);
    return false;
  }
  *key = Field(info.modelName, sizeof info.modelName) +
         Field(info.serialNumber, sizeof info.serialNumber);
  return true;
}

// A replacement copies disk uIndex1 onto disk uIndex2; both are quoted with their magic
// numbers so a disk swapped into the same slot is never written.
_Index_Plus_t Source(const KelAsyncTaskData& task) { return {task.uIndex1, task.wdMagic1, 0}; }
_Index_Plus_t Target(const KelAsyncTaskData& task) { return {task.uIndex2, task.wdMagic2, 0}; }

}  // namespace

// The facade cancels when handed neither a position nor a percent, so a null `percent`
// passes straight through as the cancel. The task keeps no sector position: progress is
// what it reports.
int ZrTaskEngine::Step(const KelAsyncTaskData& task, uint16_t* percent) {
  const _Index_Plus_t array{task.uIndex1, task.wdMagic1, 0};
  switch (task.uTaskCode) {
    case KEL_TASK_SYNC_RAID1:
      return zr_sync_mirror_TARVOII(array, nullptr, percent);
    case KEL_TASK_SYNC_RAID5:
      return zr_sync_raid5_TARVOII(array, nullptr, percent);
    case KEL_TASK_SYNC_RAID01:
      return StepRaid01(array, task.wdMagic2, percent);
    case KEL_TASK_MIGRATE_ARRAY:
      return zr_migration_raid_TARVOII(array, nullptr, percent);
    case KEL_TASK_REPLACE_PD:
      return StepReplace(task, percent);
    default:
      KEL_PRINT(ZEP_DBG_ERROR, "no engine step for task code %d\n", task.uTaskCode);
      return ZR_BAD_PARAM;
  }
}

// Every slot starts at the progress already reached, so a step that fails and leaves the
// slots alone reports no change.
int ZrTaskEngine::StepRaid01(_Index_Plus_t array, uint16_t mask, uint16_t* percent) {
  if (percent == nullptr) return zr_sync_RAID01_TARVOII(array, nullptr, nullptr, mask);
  uint16_t slots[kKelRaid01Slots];
  for (uint16_t& slot : slots) slot = *percent;
  const int ret = zr_sync_RAID01_TARVOII(array, nullptr, slots, mask);
  *percent = KelRaid01Progress(mask, slots, ret == kKelSyncFinished);
  return ret;
}

int ZrTaskEngine::StepReplace(const KelAsyncTaskData& task, uint16_t* percent) {
  return zr_replace_pd_TARVOII(Source(task), Target(task), percent);
}

int ZrTaskEngine::PrepareReplace(const KelAsyncTaskData& task, bool withdraw) {
  const int ret = withdraw ? zr_replace_pd_remove_TARVOII(Source(task), Target(task))
                           : zr_replace_pd_init_TARVOII(Source(task), Target(task));
  if (ret != 0)
    KEL_PRINT(ZEP_DBG_ERROR, "%s of disk %d by disk %d failed, ret = %d\n",
              withdraw ? "Withdrawing the replacement" : "Preparing the replacement",
              task.uIndex1, task.uIndex2, ret);
  return ret;
}

bool ZrTaskEngine::DiskKeys(const KelAsyncTaskData& task, std::vector<std::string>* keys) {
  std::string key;
  if (task.uTaskCode == KEL_TASK_REPLACE_PD) {
    for (int pd : {int{task.uIndex1}, int{task.uIndex2}}) {
      if (!DiskKey(pd, &key)) return false;
      keys->push_back(key);
    }
    return true;
  }
  _zr_array_info array{};
  int ret = zr_get_array_info(task.uIndex1, &array);
  if (ret != 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "zr_get_array_info failed, ret = %d\n", ret);
    return false;
  }
  for (int i = 0; i < array.diskNum; ++i) {
    int pos = i;
    if (array.raidType == kRaid01Type && i >= array.diskNum / 2)
      pos = i - array.diskNum / 2 + kRaid01SecondHalf;
    _zr_vd_info vd{};
    ret = zr_get_vd_info_by_array_pos(task.uIndex1, pos, &vd);
    if (ret != 0) {
      KEL_PRINT(ZEP_DBG_ERROR, "zr_get_vd_info_by_array_pos failed, ret = %d, idx = %d\n", ret, pos);
      return false;
    }
    if (!DiskKey(static_cast<int>(vd.pd_index), &key)) return false;
    keys->push_back(key);
  }
  return true;
}

bool ZrTaskEngine::Magic(bool disk, int index, uint16_t* magic) {
  return (disk ? zr_get_PD_magicNum(index, magic) : zr_get_Array_magicNum(index, magic)) == 0;
}

uint64_t ZrTaskEngine::Capacity(const KelAsyncTaskData& task) {
  if (task.uTaskCode == KEL_TASK_REPLACE_PD) {
    _zr_device_info info{};
    if (zr_get_device_info(task.uIndex1, &info) != 0) return 0;
    return (uint64_t{info.capacityHigh} << 32) | info.capacityLow;
  }
  _zr_array_info array{};
  return zr_get_array_info(task.uIndex1, &array) == 0 ? array.Capacity() : 0;
}

int ZrTaskEngine::GetSMRHandles(_LIB_Need_SMR_Info_t* info) { return zr_get_SMR_Handles(info); }

bool ZrTaskEngine::ArrayHasDisk(int array, const std::vector<_Index_Plus_t>& disks) {
  _zr_array_info info{};
  const int ret = zr_get_array_info(array, &info);
  if (ret != 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "zr_get_array_info failed, ret = %d\n", ret);
    return false;
  }
  for (int pos = 0; pos < 16; ++pos) {
    _zr_device_info pd{};
    if (zr_get_device_info_by_array_pos(array, pos, &pd) != 0) continue;
    for (const _Index_Plus_t& d : disks)
      if (d.nIndex == static_cast<int32_t>(pd.index) && d.wdMagicNum == pd.magicNum) return true;
  }
  return false;
}

// The array record carries what the step itself checks first: the needs-synchronisation
// bit of its status, and whether it still needs migrating.
bool ZrTaskEngine::NeedsWork(const KelAsyncTaskData& task) {
  const bool sync = task.uTaskCode >= KEL_TASK_SYNC_RAID1 && task.uTaskCode <= KEL_TASK_SYNC_RAID5;
  if (!sync && task.uTaskCode != KEL_TASK_MIGRATE_ARRAY) return true;
  _zr_array_info array{};
  if (zr_get_array_info(task.uIndex1, &array) != 0) return true;
  return sync ? (array.status & KEL_RA_STATUS_NEED_SYNC) != 0 : array.bNeedMigration != 0;
}
