// The engine facade's changes to existing arrays and disks: removal, spares, repairs of
// the configuration, clearing a disk's area, and the host's names for arrays and disks.
#include "engine/dev_manage.h"
#include "service/engine/zr_facade.h"
#include "service/engine/zr_private.h"
#include "sharedlib/diag.h"

namespace {
KelDeviceManage* DM() { return g_pKelDM.load(); }

constexpr int kMaxRemove = 31;   // arrays one removal request may name
constexpr int kMaxClear = 16;    // disks one clear request may name
constexpr int kNodeNameSize = 32;

void FillResults(int n, int* results, int code) {
  if (results == nullptr) return;
  for (int i = 0; i < n; ++i) results[i] = code;
}
}  // namespace

int zr_remove_raid_TARVOII(int n, const _Index_Plus_t* arrays, int* results) {
  if (n == 0) return ZR_OK;
  // The caller reads one result per entry whatever happens: a refusal of the whole request
  // is every entry's result.
  if (n < 0 || n > kMaxRemove || arrays == nullptr || results == nullptr) {
    KEL_PRINT(ZEP_DBG_ERROR, "bad removal request of %d arrays\n", n);
    // Past the limit the list cannot be trusted to hold n results; the first 31 are written.
    FillResults(n > kMaxRemove ? kMaxRemove : n, results, ZR_BAD_PARAM);
    return ZR_BAD_PARAM;
  }
  if (g_bLibInit != 1 || DM() == nullptr) {
    FillResults(n, results, ZR_NOT_INIT);
    return ZR_NOT_INIT;
  }
  return DM()->RemoveArraysL(n, arrays, results);
}

int zr_clear_PD_Conf(int n, const _Index_Plus_t* pds) {
  ZR_CHECK_INIT();
  if (n < 0 || n > kMaxClear || (n > 0 && pds == nullptr)) return ZR_BAD_PARAM;
  return DM()->ClearPDConfSect(n, pds);
}

int zr_get_PD_Conf(_Index_Plus_t pd, _PD_Config_sector_* out) {
  ZR_CHECK_INIT();
  return DM()->GetPDConfSect(pd, out);
}

int zr_mirror_add_spare_TARVOII(_Index_Plus_t array, _Index_Plus_t pd) {
  ZR_CHECK_INIT();
  return DM()->AddMirrorSpareL(array, pd);
}

int zr_mirror_remove_spare_TARVOII(_Index_Plus_t array) {
  ZR_CHECK_INIT();
  return DM()->RemoveMirrorSpareL(array);
}

int zr_repair_mirror_with_spare_TARVOII(_Index_Plus_t array) {
  ZR_CHECK_INIT();
  return DM()->RepairMirrorWithSpareL(array);
}

int zr_repair_mirror_with_new_disk_TARVOII(_Index_Plus_t array, _Index_Plus_t pd) {
  ZR_CHECK_INIT();
  return DM()->RepairMirrorWithNewPDL(array, pd);
}

int zr_repair_raid5_with_new_disk_TARVOII(_Index_Plus_t array, _Index_Plus_t pd) {
  ZR_CHECK_INIT();
  return DM()->RepairRaid5WithNewPDL(array, pd);
}

int zr_repair_broken_raid01_TARVOII(_Index_Plus_t array, int n, const _Index_Plus_t* pds) {
  ZR_CHECK_INIT();
  if (n > 0 && pds == nullptr) return ZR_BAD_PARAM;
  for (int i = 0; i < n; ++i) ZR_CHECK_RANGE(pds[i].nIndex, ZR_MAX_DEVICES_INDEX);
  return DM()->RepairRaid01WithNewPDL(array, n, pds);
}

// These two answer while the engine is down as well: without a model there is no name.
int zr_Get_RA_INODE_NAME(int array, char* name) {
  if (name == nullptr) return ZR_BAD_PARAM;
  name[0] = '\0';
  ZR_CHECK_RANGE(array, MAX_ARRAY_SLOTS);
  KelDeviceManage* dm = DM();
  if (g_bLibInit != 1 || dm == nullptr) return ZR_NO_OBJECT;
  return dm->GetRAInodeNameL(array, name, kNodeNameSize);
}

int zr_Get_PD_INODE_NAME(int pd, char* name) {
  if (name == nullptr) return ZR_BAD_PARAM;
  name[0] = '\0';
  ZR_CHECK_RANGE(pd, ZR_MAX_DEVICES_INDEX);
  KelDeviceManage* dm = DM();
  if (g_bLibInit != 1 || dm == nullptr) return ZR_NO_OBJECT;
  return dm->GetPDInodeNameL(pd, name, kNodeNameSize);
}
