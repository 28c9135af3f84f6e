// The engine facade's changes to existing arrays and disks: removal, spares, repairs of
// the configuration, clearing a disk's area, and the host's names for arrays and disks.
#include "engine/dev_manage.h"
#include "service/engine/zr_facade.h"
#include "service/engine/zr_private.h"

namespace {
KelDeviceManage* DM() { return g_pKelDM.load(); }
}  // namespace

// Placeholders until the changes land.
int zr_remove_raid_TARVOII(int, const _Index_Plus_t*, int*) {
  ZR_CHECK_INIT();
  return ZR_WRONG_TYPE;
}
int zr_clear_PD_Conf(int, const _Index_Plus_t*) {
  ZR_CHECK_INIT();
  return ZR_WRONG_TYPE;
}
int zr_get_PD_Conf(_Index_Plus_t pd, _PD_Config_sector_* out) {
  ZR_CHECK_INIT();
  return DM()->GetPDConfSect(pd, out);
}
int zr_mirror_add_spare_TARVOII(_Index_Plus_t, _Index_Plus_t) {
  ZR_CHECK_INIT();
  return ZR_WRONG_TYPE;
}
int zr_mirror_remove_spare_TARVOII(_Index_Plus_t) {
  ZR_CHECK_INIT();
  return ZR_WRONG_TYPE;
}
int zr_repair_mirror_with_spare_TARVOII(_Index_Plus_t) {
  ZR_CHECK_INIT();
  return ZR_WRONG_TYPE;
}
int zr_repair_mirror_with_new_disk_TARVOII(_Index_Plus_t, _Index_Plus_t) {
  ZR_CHECK_INIT();
  return ZR_WRONG_TYPE;
}
int zr_repair_raid5_with_new_disk_TARVOII(_Index_Plus_t, _Index_Plus_t) {
  ZR_CHECK_INIT();
  return ZR_WRONG_TYPE;
}
int zr_repair_broken_raid01_TARVOII(_Index_Plus_t, int, const _Index_Plus_t*) {
  ZR_CHECK_INIT();
  return ZR_WRONG_TYPE;
}
int zr_Get_RA_INODE_NAME(int, char*) { return ZR_NO_OBJECT; }
int zr_Get_PD_INODE_NAME(int, char*) { return ZR_NO_OBJECT; }
