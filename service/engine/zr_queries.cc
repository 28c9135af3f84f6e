// The engine facade's queries: bounds and pointers checked here, the model read under the
// device manager's read lock.
#include "driver/drv_interface.h"
#include "driver/raid_basic_op.h"
#include "engine/dev_manage.h"
#include "service/engine/zr_facade.h"
#include "service/engine/zr_private.h"
#include "sharedlib/diag.h"

namespace {
constexpr int kMaxArrayPosition = 15;
constexpr int kPlainDiskPosition = 255;
KelDeviceManage* DM() { return g_pKelDM.load(); }
}  // namespace

int zr_get_controller_num(int* count) {
  ZR_CHECK_INIT();
  if (count == nullptr) return ZR_BAD_PARAM;
  return DM()->GetCtrlNumL(count);
}

int zr_get_controller_info(int ctrl, _zr_controller_info* info) {
  ZR_CHECK_INIT();
  if (info == nullptr) return ZR_BAD_PARAM;
  ZR_CHECK_RANGE(ctrl, ZR_MAX_CONTROLLERS);
  return DM()->GetCtrlInfoL(ctrl, info);
}

int zr_get_channel_info(int ctrl, int chan, _zr_channel_info* info) {
  ZR_CHECK_INIT();
  if (info == nullptr) return ZR_BAD_PARAM;
  ZR_CHECK_RANGE(ctrl, ZR_MAX_CONTROLLERS);
  ZR_CHECK_RANGE(chan, MAX_CHANNELS);
  return DM()->GetChanInfoL(ctrl, chan, info);
}

int zr_get_device_hub_Info(int ctrl, int chan, int hub, _zr_device_hub_info_t* info) {
  ZR_CHECK_INIT();
  if (info == nullptr) return ZR_BAD_PARAM;
  ZR_CHECK_RANGE(ctrl, ZR_MAX_CONTROLLERS);
  ZR_CHECK_RANGE(chan, MAX_CHANNELS);
  ZR_CHECK_RANGE(hub, 2);
  return DM()->GetDHInfoL(ctrl, chan, hub, info);
}

int zr_get_device_num_TARVOII(_Kel_Index_Map* map) {
  ZR_CHECK_INIT();
  if (map == nullptr) return ZR_BAD_PARAM;
  return DM()->GetPDNumL(map);
}

int zr_get_device_info(int pd, _zr_device_info* info) {
  ZR_CHECK_INIT();
  if (info == nullptr) return ZR_BAD_PARAM;
  ZR_CHECK_RANGE(pd, ZR_MAX_DEVICES_INDEX);
  return DM()->GetPDInfoL(pd, info);
}

int zr_get_device_info_by_phy_address(int ctrl, int chan, int position, _zr_device_info* info) {
  ZR_CHECK_INIT();
  if (info == nullptr) return ZR_BAD_PARAM;
  ZR_CHECK_RANGE(ctrl, ZR_MAX_CONTROLLERS);
  ZR_CHECK_RANGE(chan, MAX_CHANNELS);
  ZR_CHECK_RANGE(position, 8);
  return DM()->GetPDInfoByPhyAddrL(ctrl, chan, position, info);
}

int zr_get_device_info_by_array_pos(int array, int pos, _zr_device_info* info) {
  ZR_CHECK_INIT();
  if (info == nullptr) return ZR_BAD_PARAM;
  ZR_CHECK_RANGE(array, MAX_ARRAY_SLOTS);
  if (pos != kPlainDiskPosition) ZR_CHECK_RANGE(pos, kMaxArrayPosition + 1);
  return DM()->GetPDInfoByArrayPosL(array, pos, info);
}

int zr_get_array_num_TARVOII(_Kel_Index_Map* map) {
  ZR_CHECK_INIT();
  if (map == nullptr) return ZR_BAD_PARAM;
  return DM()->GetArrayMapL(map);
}

int zr_get_array_info(int array, _zr_array_info* info) {
  ZR_CHECK_INIT();
  if (info == nullptr) return ZR_BAD_PARAM;
  ZR_CHECK_RANGE(array, MAX_ARRAY_SLOTS);
  return DM()->GetArrayInfoL(array, info);
}

int zr_get_sorted_array_index(int* count, unsigned char* indexes) {
  ZR_CHECK_INIT();
  if (count == nullptr || indexes == nullptr) return ZR_BAD_PARAM;
  return DM()->GetSortedArrayIndex(count, indexes);
}

int zr_get_vd_info_by_pd_logic_index(int pd, int slot, _zr_vd_info* info) {
  ZR_CHECK_INIT();
  if (info == nullptr) return ZR_BAD_PARAM;
  ZR_CHECK_RANGE(pd, ZR_MAX_DEVICES_INDEX);
  ZR_CHECK_RANGE(slot, MAX_VD_PER_PD);
  return DM()->GetVDInfoByPDLogicIndexL(pd, slot, info);
}

int zr_get_vd_info_by_array_pos(int array, int pos, _zr_vd_info* info) {
  ZR_CHECK_INIT();
  if (info == nullptr) return ZR_BAD_PARAM;
  ZR_CHECK_RANGE(array, MAX_ARRAY_SLOTS);
  ZR_CHECK_RANGE(pos, kMaxArrayPosition + 1);
  return DM()->GetVDInfoByArrayPosL(array, pos, info);
}

int zr_get_protect_free_info_by_pd(int pd, _zr_protect_free_info_t** table) {
  ZR_CHECK_INIT();
  if (table == nullptr) return ZR_BAD_PARAM;
  ZR_CHECK_RANGE(pd, ZR_MAX_DEVICES_INDEX);
  return DM()->GetPDProtectFreeInfoL(pd, table);
}

int zr_get_partition_info(int kind, _Index_Plus_t ref, _zr_partition_info* info) {
  ZR_CHECK_INIT();
  if (info == nullptr || (kind != 0 && kind != 1)) return ZR_BAD_PARAM;
  ZR_CHECK_RANGE(ref.nIndex, kind == 0 ? ZR_MAX_DEVICES_INDEX : MAX_ARRAY_SLOTS);
  return DM()->GetPartInfoL(kind, ref, info);
}

int zr_get_Array_magicNum(int array, uint16_t* magic) {
  ZR_CHECK_INIT();
  if (magic == nullptr) return ZR_BAD_PARAM;
  ZR_CHECK_RANGE(array, MAX_ARRAY_SLOTS);
  return DM()->GetRAMagicNumL(array, magic);
}

int zr_get_PD_magicNum(int pd, uint16_t* magic) {
  ZR_CHECK_INIT();
  if (magic == nullptr) return ZR_BAD_PARAM;
  ZR_CHECK_RANGE(pd, ZR_MAX_DEVICES_INDEX);
  return DM()->GetPDMagicNumL(pd, magic);
}

int zr_get_SMR_Handles(_LIB_Need_SMR_Info_t* info) {
  ZR_CHECK_INIT();
  if (info == nullptr) return ZR_BAD_PARAM;
  return DM()->GetLIBNeedSMRInfoL(info);
}

int zr_check_hotplug_byctlIndex(int ctrl, _CHECK_CTLER_HOTPLUG_EVENT_IOBUFFER* info) {
  ZR_CHECK_INIT();
  if (info == nullptr) return ZR_BAD_PARAM;
  ZR_CHECK_RANGE(ctrl, ZR_MAX_CONTROLLERS);
  KelDrvInterface* drv = KelDrvGlobal();
  std::vector<uint8_t> indexes = drv != nullptr ? drv->ControllerIndexes() : std::vector<uint8_t>{};
  if (indexes.size() <= static_cast<size_t>(ctrl)) {
    KEL_PRINT(ZEP_DBG_ERROR, "hot-plug check: controller %d not found\n", ctrl);
    return ZR_HOTPLUG_FAILED;
  }
  KelRaidBasicOp op(*drv);
  if (op.CheckControllerHotplugInfo(indexes[static_cast<size_t>(ctrl)], info) == 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "hot-plug check of controller %d failed\n", ctrl);
    return ZR_HOTPLUG_FAILED;
  }
  return ZR_OK;
}
