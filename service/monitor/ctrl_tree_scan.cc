#include "service/monitor/ctrl_tree_scan.h"

#include <bit>

#include "service/engine/zr_facade.h"
#include "sharedlib/diag.h"
#include "sharedlib/kel_thread.h"

namespace {

constexpr int kQueryAttempts = 10;
constexpr int kRescanAttempts = 40;

// Repeats `query` until it returns 0, at most kQueryAttempts times, `pauseMs` apart.
template <class Query>
int Retry(Query query, long pauseMs, const char* what) {
  int ret = 0;
  for (int attempt = 0; attempt < kQueryAttempts; ++attempt) {
    ret = query();
    if (ret == 0) return 0;
    KEL_PRINT(ZEP_DBG_ERROR, "%s failed, ret = %d\n", what, ret);
    KelBaseThread::KelThreadSleep(pauseMs);
  }
  return ret;
}

bool FillChannel(int chan, int* disksLeft, KelCtlChannel* out) {
  _zr_channel_info info{};
  if (Retry([&] { return zr_get_channel_info(0, chan, &info); }, 10, "zr_get_channel_info()") != 0)
    return false;
  out->slot_num = info.bSlaveValid != 0 ? 2 : 1;
  const uint8_t kinds[kKelTreeMaxSlots] = {info.bMaster_Exist, info.bSlave_Exist};
  for (int s = 0; s < out->slot_num; ++s) {
    KelCtlSlot& slot = out->slots[s];
    const bool hub = kinds[s] == KEL_CHAN_POS_HUB;
    if (hub) {
      slot.type = KEL_SLOT_HUB;
      if (Retry([&] { return zr_get_device_hub_Info(0, chan, s, &slot.hub); }, 10,
                "zr_get_device_hub_Info()") != 0)
        return false;
    }
    const int ports = hub ? kKelHubPorts : 1;
    for (int p = 0; p < ports && 0 < *disksLeft; ++p) {
      _zr_device_info dev{};
      if (zr_get_device_info_by_phy_address(0, chan, s * kKelHubPorts + p, &dev) != 0) continue;
      slot.ports[p] = dev;
      --*disksLeft;
      if (!hub) slot.type = KEL_SLOT_DISK;
    }
  }
  return true;
}

}  // namespace

int CalcDevNum(const _Kel_Index_Map* map) {
  if (map == nullptr) return 16;
  return std::popcount(map->map_Low64) + std::popcount(map->map_High64);
}

bool CreateCtlerTree(KelCtlTree* tree) {
  *tree = KelCtlTree{};
  int count = 0;
  for (int attempt = 0; attempt < kQueryAttempts; ++attempt) {
    const int ret = zr_get_controller_num(&count);
    // An engine that is not running does not start by asking again.
    if ((ret == 0 && count > 0) || ret == ZR_NOT_INIT) break;
    KEL_PRINT(ZEP_DBG_ERROR, "zr_get_controller_num() failed, ret = %d, ctler_num = %d\n", ret,
              count);
    KelBaseThread::KelThreadSleep(100);
  }
  if (count <= 0) {
    KEL_PRINT(ZEP_DBG_ERROR,
              "Get ctler info failed, check whether there is a controller on your PC\n");
    return false;
  }
  _zr_controller_info ctl{};
  if (Retry([&] { return zr_get_controller_info(0, &ctl); }, 100, "zr_get_controller_info()") != 0)
    return false;
  _Kel_Index_Map map{};
  int disksLeft = CalcDevNum(zr_get_device_num_TARVOII(&map) == 0 ? &map : nullptr);
  tree->chnl_num = ctl.channel_Num < kKelTreeMaxChannels ? ctl.channel_Num : kKelTreeMaxChannels;
  for (int c = 0; c < tree->chnl_num; ++c)
    if (!FillChannel(c, &disksLeft, &tree->chnl[c])) return false;
  return true;
}

bool UpdateHardWareInfo() {
  for (int failures = 1; failures <= kRescanAttempts; ++failures) {
    const int ret = zr_update_hardware_info();
    if (ret == 0) return true;
    if (ret == ZR_NOT_INIT) return false;
    KEL_PRINT(ZEP_DBG_ERROR, "zr_update_hardware_info failed, ret = %d\n", ret);
    if (failures > 10)
      KEL_PRINT(ZEP_DBG_ERROR, "zr_update_hardware_info failed, uilib abnormal, ret = %d\n", ret);
    // A busy model clears quickly; anything else gets a longer pause before the next try.
    KelBaseThread::KelThreadSleep(ret == 106 ? 50 : 100);
  }
  return false;
}
