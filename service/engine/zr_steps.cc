// The engine facade's background steps: synchronisation, migration and replacement, one
// chunk per call, driven by the task manager.
#include "engine/dev_manage.h"
#include "service/engine/zr_facade.h"
#include "service/engine/zr_private.h"

namespace {
KelDeviceManage* DM() { return g_pKelDM.load(); }
}  // namespace

int zr_sync_mirror_TARVOII(_Index_Plus_t array, uint64_t* pos, uint16_t* percent) {
  ZR_CHECK_INIT();
  ZR_CHECK_RANGE(array.nIndex, MAX_ARRAY_SLOTS);
  return DM()->SyncMirrorL(array, pos, percent);
}

int zr_sync_raid5_TARVOII(_Index_Plus_t array, uint64_t* pos, uint16_t* percent) {
  ZR_CHECK_INIT();
  ZR_CHECK_RANGE(array.nIndex, MAX_ARRAY_SLOTS);
  return DM()->SyncRaid5L(array, pos, percent);
}

int zr_sync_RAID01_TARVOII(_Index_Plus_t array, uint64_t* pos, uint16_t* percent, uint16_t flag) {
  ZR_CHECK_INIT();
  if (flag < 1 || flag > 3) return ZR_BAD_PARAM;
  ZR_CHECK_RANGE(array.nIndex, MAX_ARRAY_SLOTS);
  return DM()->SyncRaid01L(array, pos, percent, flag);
}

int zr_migration_raid_TARVOII(_Index_Plus_t array, uint64_t* pos, uint16_t* percent) {
  ZR_CHECK_INIT();
  ZR_CHECK_RANGE(array.nIndex, MAX_ARRAY_SLOTS);
  return DM()->MigRateArrayL(array, pos, percent);
}

int zr_replace_pd_init_TARVOII(_Index_Plus_t src, _Index_Plus_t tgt) {
  ZR_CHECK_INIT();
  ZR_CHECK_RANGE(src.nIndex, MAX_PDS);
  ZR_CHECK_RANGE(tgt.nIndex, MAX_PDS);
  return DM()->ReplacePDCreateReltL(src, tgt);
}

int zr_replace_pd_TARVOII(_Index_Plus_t src, _Index_Plus_t tgt, uint16_t* percent) {
  ZR_CHECK_INIT();
  ZR_CHECK_RANGE(src.nIndex, MAX_PDS);
  ZR_CHECK_RANGE(tgt.nIndex, MAX_PDS);
  return DM()->ReplacePDDoOnceL(src, tgt, percent);
}

int zr_replace_pd_remove_TARVOII(_Index_Plus_t src, _Index_Plus_t tgt) {
  ZR_CHECK_INIT();
  const auto ok = [](int i) { return (i >= 0 && i < MAX_PDS) || i == 255; };
  if (!ok(src.nIndex) || !ok(tgt.nIndex)) return ZR_NO_OBJECT;
  return DM()->ReplacePDRemoveReltL(src, tgt);
}
