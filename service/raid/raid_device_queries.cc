// Queries of the device tree: the controller, its channels, device hubs, disks and the
// protected free areas of a disk. Each copies the client's record out of the data area,
// lets the engine fill it and copies it back before the reply is built.
#include "driver/drv_le.h"
#include "service/raid/raid_engine_ops.h"
#include "service/raid/raid_handlers.h"
#include "service/raid/raid_reply.h"
#include "service/session/kel_user_cmd.h"
#include "sharedlib/diag.h"

namespace {

constexpr int kRecordAt = 4;
constexpr int kDevRecordAt = 20;
constexpr int kMapAttempts = 2;
// The protected-area table and its 4-byte head must stay below this to fit one reply.
constexpr int kProtectPayloadLimit = 2052;
constexpr int kProtectRecordLen = sizeof(_zr_protect_free_info_t);
// More areas than this are refused by the limit above before any table is built.
constexpr int kMaxProtectAreas = 128;
static_assert(4 + kMaxProtectAreas * kProtectRecordLen >= kProtectPayloadLimit);

bool MapEmpty(const _Kel_Index_Map& map) { return map.map_High64 == 0 && map.map_Low64 == 0; }

}  // namespace

int RaidQueryIndexMap(KelUserCmd* pCmd, int (*fetch)(_Kel_Index_Map*)) {
  _Kel_Index_Map map{};
  int ret = ZR_NOT_INIT;
  for (int attempt = 0; attempt < kMapAttempts; ++attempt) {
    map = {};
    ret = fetch(&map);
    if (ret == ZR_OK && !MapEmpty(map)) break;
    KelRaidEngine().update_hardware_info();
  }
  // The record keeps the high half first; the client reads one little-endian 128-bit map.
  KelStoreLe32(pCmd->data + 4, static_cast<uint32_t>(map.map_Low64));
  KelStoreLe32(pCmd->data + 8, static_cast<uint32_t>(map.map_Low64 >> 32));
  KelStoreLe32(pCmd->data + 12, static_cast<uint32_t>(map.map_High64));
  KelStoreLe32(pCmd->data + 16, static_cast<uint32_t>(map.map_High64 >> 32));
  return ret;
}

int NetKelGetClterInfo(KelSrvPrivate*, KelUserCmd* pCmd, std::string& logText) {
  logText.clear();
  if (!RaidRequestFits(pCmd, kClterInfoLen)) return ZR_BAD_PARAM;
  int ret = kRaidUnknownSubCode;
  switch (pCmd->data[0]) {
    case 1: {
      int count = 0;
      ret = KelRaidEngine().get_controller_num(&count);
      if (ret == ZR_OK) pCmd->data[1] = static_cast<unsigned char>(count);
      // A first query may come before the first scan found anything.
      if (ret != ZR_OK || count == 0) KelRaidEngine().update_hardware_info();
      break;
    }
    case 2: {
      _zr_controller_info info;
      RaidLoadRecord(pCmd->data + kRecordAt, &info);
      ret = KelRaidEngine().get_controller_info(pCmd->data[1], &info);
      RaidStoreRecord(info, pCmd->data + kRecordAt);
      if (ret != ZR_OK) KelRaidEngine().update_hardware_info();
      break;
    }
    default:
      break;
  }
  return RaidPayloadReply(pCmd, kClterInfoLen, ret);
}

int NetKelGetChnlInfo(KelSrvPrivate*, KelUserCmd* pCmd, std::string& logText) {
  logText.clear();
  if (!RaidRequestFits(pCmd, kChnlInfoLen)) return ZR_BAD_PARAM;
  _zr_channel_info info;
  RaidLoadRecord(pCmd->data + kRecordAt, &info);
  int ret = KelRaidEngine().get_channel_info(pCmd->data[1], pCmd->data[2], &info);
  RaidStoreRecord(info, pCmd->data + kRecordAt);
  return RaidPayloadReply(pCmd, kChnlInfoLen, ret);
}

int NetKelGetDHubInfo(KelSrvPrivate*, KelUserCmd* pCmd, std::string& logText) {
  logText.clear();
  if (!RaidRequestFits(pCmd, kDHubInfoLen)) return ZR_BAD_PARAM;
  _zr_device_hub_info_t info;
  RaidLoadRecord(pCmd->data + kRecordAt, &info);
  int ret = KelRaidEngine().get_device_hub_Info(pCmd->data[1], pCmd->data[2], pCmd->data[3], &info);
  RaidStoreRecord(info, pCmd->data + kRecordAt);
  return RaidPayloadReply(pCmd, kDHubInfoLen, ret);
}

int NetKelGetDevInfo(KelSrvPrivate*, KelUserCmd* pCmd, std::string& logText) {
  logText.clear();
  if (!RaidRequestFits(pCmd, kDevInfoLen)) return ZR_BAD_PARAM;
  const unsigned char* d = pCmd->data;
  int ret = kRaidUnknownSubCode;
  const int sub = d[0];
  if (sub == 1) {
    ret = RaidQueryIndexMap(pCmd, KelRaidEngine().get_device_num_TARVOII);
  } else if (sub >= 2 && sub <= 4) {
    _zr_device_info info;
    RaidLoadRecord(d + kDevRecordAt, &info);
    if (sub == 2)
      ret = KelRaidEngine().get_device_info(d[1], &info);
    else if (sub == 3)
      ret = KelRaidEngine().get_device_info_by_phy_address(d[1], d[2], d[3], &info);
    else
      ret = KelRaidEngine().get_device_info_by_array_pos(d[1], d[2], &info);
    RaidStoreRecord(info, pCmd->data + kDevRecordAt);
  }
  return RaidPayloadReply(pCmd, kDevInfoLen, ret);
}

int NetKelGetProtectInfo(KelSrvPrivate*, KelUserCmd* pCmd, std::string& logText) {
  logText.clear();
  if (!RaidRequestFits(pCmd, kProtectInfoLen)) return ZR_BAD_PARAM;
  const int pd = pCmd->data[1];
  _zr_device_info info{};
  int ret = KelRaidEngine().get_device_info(pd, &info);
  if (ret != ZR_OK) return RaidShortReply(pCmd, ret);
  const int n = info.freeProtectNum;
  pCmd->data[2] = static_cast<unsigned char>(n);
  if (n == 0) return RaidShortReply(pCmd, ZR_OK);
  const int payload = kRecordAt + n * kProtectRecordLen;
  if (payload >= kProtectPayloadLimit) {
    KEL_PRINT(ZEP_DBG_ERROR, "Too many protected area. Beyond the capacity of one packet\n");
    return RaidShortReply(pCmd, ZR_OK);
  }
  _zr_protect_free_info_t areas[kMaxProtectAreas] = {};
  _zr_protect_free_info_t* table[kMaxProtectAreas];
  for (int i = 0; i < n; ++i) table[i] = &areas[i];
  ret = KelRaidEngine().get_protect_free_info_by_pd(pd, table);
  for (int i = 0; i < n; ++i)
    RaidStoreRecord(areas[i], pCmd->data + kRecordAt + i * kProtectRecordLen);
  return RaidPayloadReply(pCmd, payload, ret);
}
