// RAID 0: data striped over every member; nothing to synchronise or repair.
#include "engine/raid_array.h"
#include "engine/vir_device.h"

int KelRaid0::ValidateRaidArray() {
  int ok = ValidateCommon(2, "byArrayVDNum > 1");
  AnalyzeVDArrayStatus();
  return ok;
}

int KelRaid0::GetRASyncStatus(unsigned short* s) {
  if (s == nullptr) return ZR_BAD_PARAM;
  *s = KEL_SYNC_NOT_NEEDED;
  return ZR_OK;
}

void KelRaid0::GetArrayInfoLib(_zr_array_info* info) {
  if (info == nullptr) return;
  FillCommonInfo(info);
  info->SetCapacity(uint64_t{m_byDiskNum} * GetArrayVDSize());
  if (const _VD_Config_sector_* blk = FirstBlock()) info->stripeSize = blk->StripeSectors() / 2;
}
