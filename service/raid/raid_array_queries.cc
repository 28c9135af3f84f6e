// Queries of arrays and what lies on them: the array map, the arrays in name order, one
// array, one VD, and the partitions of an array or disk.
#include "service/raid/raid_engine_ops.h"
#include "service/raid/raid_handlers.h"
#include "service/raid/raid_magic.h"
#include "service/raid/raid_reply.h"
#include "service/raid/vd_info_cvt.h"
#include "service/session/kel_user_cmd.h"
#include "sharedlib/diag.h"

namespace {

constexpr int kRecordAt = 4;
constexpr int kPartRefAt = 4;
constexpr int kPartRecordAt = 12;
constexpr int kSortedCountAt = 4;
constexpr int kSortedListAt = 5;
constexpr int kMaxSorted = 32;

// One call of the sorted-index query; true when it gave a usable list.
bool FetchSorted(int* ret, int* count, unsigned char* indexes) {
  *count = 0;
  *ret = KelRaidEngine().get_sorted_array_index(count, indexes);
  return *ret == ZR_OK && *count > 0;
}

// The arrays in name order: data[4] the count, data[5..] the indexes. An empty answer may
// come from a model that has not seen the disks yet, so it is retried once after a rescan;
// a system without arrays therefore rescans twice and answers a count of 0.
int SortedArrayIndexes(KelUserCmd* pCmd) {
  int ret = ZR_OK;
  int count = 0;
  unsigned char indexes[kMaxSorted];
  for (int attempt = 0; attempt < 2; ++attempt) {
    std::memset(indexes, 0xFF, sizeof indexes);
    if (FetchSorted(&ret, &count, indexes)) {
      if (count > kMaxSorted) count = kMaxSorted;
      pCmd->data[kSortedCountAt] = static_cast<unsigned char>(count);
      std::memcpy(pCmd->data + kSortedListAt, indexes, static_cast<size_t>(count));
      return ZR_OK;
    }
    KEL_PRINT(ZEP_DBG_ERROR, "!!!!!Invalid data got from UILib\n");
    pCmd->data[kSortedCountAt] = 0;
    KelRaidEngine().update_hardware_info();
  }
  return ret;
}

}  // namespace

int NetKelGetArrInfo(KelSrvPrivate*, KelUserCmd* pCmd, std::string& logText) {
  logText.clear();
  if (!RaidRequestFits(pCmd, kArrInfoLen)) return ZR_BAD_PARAM;
  int ret = kRaidUnknownSubCode;
  switch (pCmd->data[0]) {
    case 1:
      ret = RaidQueryIndexMap(pCmd, KelRaidEngine().get_array_num_TARVOII);
      break;
    case 2:
      ret = SortedArrayIndexes(pCmd);
      break;
    case 3: {
      _zr_array_info info;
      RaidLoadRecord(pCmd->data + kRecordAt, &info);
      ret = KelRaidEngine().get_array_info(pCmd->data[1], &info);
      RaidStoreRecord(info, pCmd->data + kRecordAt);
      break;
    }
    default:
      break;
  }
  return RaidPayloadReply(pCmd, kArrInfoLen, ret);
}

int NetKelGetVDInfo(KelSrvPrivate*, KelUserCmd* pCmd, std::string& logText) {
  logText.clear();
  if (!RaidRequestFits(pCmd, kVDInfoLen)) return ZR_BAD_PARAM;
  KelVDInfo wire;
  _zr_vd_info info;
  RaidLoadRecord(pCmd->data + kRecordAt, &wire);
  KelVdInfoCvt(&wire, &info, KEL_VD_CVT_FROM_WIRE);
  int ret = kRaidUnknownSubCode;
  if (pCmd->data[0] == 3)
    ret = KelRaidEngine().get_vd_info_by_pd_logic_index(pCmd->data[1], pCmd->data[2], &info);
  else if (pCmd->data[0] == 4)
    ret = KelRaidEngine().get_vd_info_by_array_pos(pCmd->data[1], pCmd->data[2], &info);
  KelVdInfoCvt(&wire, &info, KEL_VD_CVT_TO_WIRE);
  RaidStoreRecord(wire, pCmd->data + kRecordAt);
  return RaidPayloadReply(pCmd, kVDInfoLen, ret);
}

int NetKelGetPartInfo(KelSrvPrivate*, KelUserCmd* pCmd, std::string& logText) {
  logText.clear();
  KEL_PRINT(ZEP_DBG_INFO, "Enter\n");
  if (!RaidRequestFits(pCmd, kPartInfoLen)) return ZR_BAD_PARAM;
  const int kind = pCmd->data[1];  // non-zero: an array, zero: a disk
  const _Index_Plus_t ref = RaidIndexAt(pCmd, kPartRefAt);
  const uint8_t index = pCmd->data[kPartRefAt];
  const bool current = kind != 0 ? CheckArrayMagic(index, ref.wdMagicNum)
                                 : CheckPDMagic(index, ref.wdMagicNum);
  if (!current) {
    KEL_PRINT(ZEP_DBG_WARN, "Check magic failed\n");
    pCmd->SetRetCode(KEL_RET_STALE_MAGIC);
    return KEL_RET_STALE_MAGIC;
  }
  _zr_partition_info info;
  RaidLoadRecord(pCmd->data + kPartRecordAt, &info);
  int ret = KelRaidEngine().get_partition_info(kind, ref, &info);
  RaidStoreRecord(info, pCmd->data + kPartRecordAt);
  return RaidPayloadReply(pCmd, kPartInfoLen, ret);
}
