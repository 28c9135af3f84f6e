// Request building and reply decoding of the RAID queries. Each request is assembled in a
// zeroed buffer of the command's fixed length; a reply that carries a payload holds the
// whole request record five bytes up, so a field the request has at data[k] is read back
// from data[k + 5]. A reply is checked for its full length before anything is read out of
// it: a short reply must not turn into records of stale buffer bytes.
#include "webext/client/client_raid_query.h"

#include <cstring>

#include "sharedlib/cmd_codes.h"
#include "sharedlib/diag.h"
#include "webext/client/client_codes.h"
#include "webext/client/client_exchange.h"

namespace {

constexpr unsigned short kMove = 5;  // the reply's payload starts this far up

// Request lengths of the commands.
constexpr unsigned short kControllerLen = 92;
constexpr unsigned short kChannelLen = 32;
constexpr unsigned short kHubLen = 52;
constexpr unsigned short kDiskLen = 296;
constexpr unsigned short kArrayLen = 120;
constexpr unsigned short kVdLen = 64;
constexpr unsigned short kPartitionLen = 172;
constexpr unsigned short kRescanLen = 4;
constexpr unsigned short kReloadLen = 44;
constexpr unsigned short kSmartHeaderLen = 12;
constexpr unsigned short kProtectLen = 4;

// Where records sit in the request.
constexpr int kRecordAt = 4;      // controller, channel, hub, array, VD records; maps
constexpr int kDiskRecordAt = 20; // disk record
constexpr int kPartRefAt = 4;     // partition owner reference
constexpr int kPartRecordAt = 12; // partition record
constexpr int kReloadUserAt = 4;
constexpr int kReloadPasswordAt = 24;
constexpr int kSmartSizeAt = 2;
constexpr int kSmartRefAt = 4;
constexpr int kSmartDataAt = 12;
constexpr int kProtectCountAt = 2;
constexpr int kProtectRecordsAt = 4;

// Sub-codes.
constexpr unsigned char kControllerCount = 1, kControllerInfo = 2;
constexpr unsigned char kOneChannel = 1, kOneHub = 1;
constexpr unsigned char kDiskMap = 1, kDiskByIndex = 2, kDiskByPhy = 3, kDiskByArrayPos = 4;
constexpr unsigned char kArrayMap = 1, kArraySorted = 2, kArrayInfo = 3;
constexpr unsigned char kVdByDiskSlot = 3, kVdByArrayPos = 4;
constexpr unsigned char kPartitionSub = 0;
constexpr unsigned char kSmartValues = 2, kSmartThresholds = 3, kSmartStatusSub = 4,
                        kSmartAll = 5;
constexpr unsigned char kProtectSub = KEL_CMD_GET_PROTECT;

constexpr unsigned int kProtectRecordSize = sizeof(_zr_protect_free_info_t);

int InvalidParameters() {
  KEL_PRINT(ZEP_DBG_ERROR, "Invalid parameters\n");
  return KEL_CLIENT_INVALID_PARAM;
}

// One exchange of `code` with the request data[0..reqLen-1]. With return code 0 the reply
// must be at least `need` bytes long (0: no payload expected); *len gets its length.
int RunRaidCmd(int sock, unsigned char code, unsigned char* data, unsigned short reqLen,
               unsigned short need, unsigned int timeoutSec, unsigned short* len = nullptr) {
  unsigned char cmd = code;
  unsigned short n = reqLen;
  const unsigned char sub = data[0];
  int ret = KelExecuteCmd(sock, &cmd, data, &n, timeoutSec, 1);
  if (ret != 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "Execute cmd[%d]-task[%d] failed. Ret[%d]\n", code, sub, ret);
    return ret;
  }
  if (n < need) {
    KEL_PRINT(ZEP_DBG_ERROR, "Reply of cmd[%d]-task[%d] has %u bytes, %u expected\n", code, sub,
              n, need);
    return KEL_CLIENT_UNEXPECTED;
  }
  if (len != nullptr) *len = n;
  return KEL_CLIENT_OK;
}

// A query whose reply is the whole request record moved up; the `size` bytes the request
// holds at `at` are copied to `out`.
int RecordQuery(int sock, unsigned char code, unsigned char* data, unsigned short reqLen,
                int at, void* out, size_t size, unsigned int timeoutSec = kRaidReplyTimeoutSec) {
  int ret = RunRaidCmd(sock, code, data, reqLen, reqLen + kMove, timeoutSec);
  if (ret != 0) return ret;
  memcpy(out, data + kMove + at, size);
  return KEL_CLIENT_OK;
}

// The disk and array maps arrive as one little-endian 128-bit number: bit n for index n.
int MapQuery(int sock, unsigned char code, unsigned char sub, unsigned short reqLen,
             _Kel_Index_Map* map) {
  if (map == nullptr) return InvalidParameters();
  unsigned char data[kClientBufSize] = {sub};
  int ret = RunRaidCmd(sock, code, data, reqLen, reqLen + kMove, kRaidLongReplyTimeoutSec);
  if (ret != 0) return ret;
  memcpy(&map->map_Low64, data + kMove + kRecordAt, sizeof(map->map_Low64));
  memcpy(&map->map_High64, data + kMove + kRecordAt + 8, sizeof(map->map_High64));
  return KEL_CLIENT_OK;
}

int DiskQuery(int sock, unsigned char sub, unsigned char a, unsigned char b, unsigned char c,
              _zr_device_info* info) {
  if (info == nullptr) return InvalidParameters();
  unsigned char data[kClientBufSize] = {sub, a, b, c};
  return RecordQuery(sock, KEL_CMD_GET_DEVICE, data, kDiskLen, kDiskRecordAt, info, sizeof(*info));
}

int VdQuery(int sock, unsigned char sub, unsigned char a, unsigned char b, KelVDInfo* info) {
  if (info == nullptr) return InvalidParameters();
  unsigned char data[kClientBufSize] = {sub, a, b};
  return RecordQuery(sock, KEL_CMD_GET_VD, data, kVdLen, kRecordAt, info, sizeof(*info));
}

// A SMART request for one disk (or, for kSmartAll, for none) with a data part of `size`
// bytes; on success the returned data part is copied to `out`.
int SmartQuery(int sock, unsigned char sub, const _Index_Plus_t* disk, unsigned char* out,
               unsigned short size, unsigned int timeoutSec) {
  unsigned char data[kClientBufSize] = {sub};
  data[kSmartSizeAt] = static_cast<unsigned char>(size);
  data[kSmartSizeAt + 1] = static_cast<unsigned char>(size >> 8);
  if (disk != nullptr) memcpy(data + kSmartRefAt, disk, sizeof(*disk));
  const unsigned short reqLen = kSmartHeaderLen + size;
  int ret = RunRaidCmd(sock, KEL_CMD_SMART, data, reqLen, size > 0 ? reqLen + kMove : 0,
                       timeoutSec);
  if (ret != 0) return ret;
  if (out != nullptr) memcpy(out, data + kMove + kSmartDataAt, size);
  return KEL_CLIENT_OK;
}

}  // namespace

int KelGetControllerCount(int sock, unsigned char* count) {
  if (count == nullptr) return InvalidParameters();
  unsigned char data[kClientBufSize] = {kControllerCount};
  int ret = RunRaidCmd(sock, KEL_CMD_GET_CONTROLLER, data, kControllerLen, kControllerLen + kMove,
                       kRaidLongReplyTimeoutSec);
  if (ret != 0) return ret;
  *count = data[kMove + 1];
  return KEL_CLIENT_OK;
}

int KelGetControllerInfo(int sock, unsigned char ctrl, _zr_controller_info* info) {
  if (info == nullptr) return InvalidParameters();
  unsigned char data[kClientBufSize] = {kControllerInfo, ctrl};
  return RecordQuery(sock, KEL_CMD_GET_CONTROLLER, data, kControllerLen, kRecordAt, info,
                     sizeof(*info), kRaidLongReplyTimeoutSec);
}

int KelGetChannelInfo(int sock, unsigned char ctrl, unsigned char chan, _zr_channel_info* info) {
  if (info == nullptr) return InvalidParameters();
  unsigned char data[kClientBufSize] = {kOneChannel, ctrl, chan};
  return RecordQuery(sock, KEL_CMD_GET_CHANNEL, data, kChannelLen, kRecordAt, info, sizeof(*info));
}

int KelGetHubInfo(int sock, unsigned char ctrl, unsigned char chan, unsigned char hub,
                  _zr_device_hub_info_t* info) {
  if (info == nullptr) return InvalidParameters();
  unsigned char data[kClientBufSize] = {kOneHub, ctrl, chan, hub};
  return RecordQuery(sock, KEL_CMD_GET_HUB, data, kHubLen, kRecordAt, info, sizeof(*info));
}

int KelGetDiskMap(int sock, _Kel_Index_Map* map) {
  return MapQuery(sock, KEL_CMD_GET_DEVICE, kDiskMap, kDiskLen, map);
}

int KelGetDiskInfo(int sock, unsigned char disk, _zr_device_info* info) {
  return DiskQuery(sock, kDiskByIndex, disk, 0, 0, info);
}

int KelGetDiskInfoByPhyAddress(int sock, unsigned char ctrl, unsigned char chan,
                               unsigned char pos, _zr_device_info* info) {
  return DiskQuery(sock, kDiskByPhy, ctrl, chan, pos, info);
}

int KelGetDiskInfoByArrayPos(int sock, unsigned char array, unsigned char pos,
                             _zr_device_info* info) {
  return DiskQuery(sock, kDiskByArrayPos, array, pos, 0, info);
}

int KelGetArrayMap(int sock, _Kel_Index_Map* map) {
  return MapQuery(sock, KEL_CMD_GET_ARRAY, kArrayMap, kArrayLen, map);
}

int KelGetSortedArrayIndexes(int sock, unsigned int* count, unsigned char* indexes) {
  if (count == nullptr || indexes == nullptr) return InvalidParameters();
  unsigned char data[kClientBufSize] = {kArraySorted};
  int ret = RunRaidCmd(sock, KEL_CMD_GET_ARRAY, data, kArrayLen, kArrayLen + kMove,
                       kRaidLongReplyTimeoutSec);
  if (ret != 0) return ret;
  const unsigned int n = data[kMove + kRecordAt];
  if (n > kRaidMaxSortedArrays) {
    KEL_PRINT(ZEP_DBG_ERROR, "Sorted array list of %u entries, at most %u expected\n", n,
              kRaidMaxSortedArrays);
    return KEL_CLIENT_UNEXPECTED;
  }
  *count = n;
  memcpy(indexes, data + kMove + kRecordAt + 1, n);
  return KEL_CLIENT_OK;
}

int KelGetArrayInfo(int sock, unsigned char array, _zr_array_info* info) {
  if (info == nullptr) return InvalidParameters();
  unsigned char data[kClientBufSize] = {kArrayInfo, array};
  return RecordQuery(sock, KEL_CMD_GET_ARRAY, data, kArrayLen, kRecordAt, info, sizeof(*info));
}

int KelGetVdInfoByDiskSlot(int sock, unsigned char disk, unsigned char slot, KelVDInfo* info) {
  return VdQuery(sock, kVdByDiskSlot, disk, slot, info);
}

int KelGetVdInfoByArrayPos(int sock, unsigned char array, unsigned char pos, KelVDInfo* info) {
  return VdQuery(sock, kVdByArrayPos, array, pos, info);
}

int KelGetPartitionInfo(int sock, unsigned char ownerKind, const _Index_Plus_t* owner,
                        _zr_partition_info* info) {
  if (owner == nullptr || info == nullptr) return InvalidParameters();
  unsigned char data[kClientBufSize] = {kPartitionSub, ownerKind};
  memcpy(data + kPartRefAt, owner, sizeof(*owner));
  _zr_partition_info got;
  int ret = RecordQuery(sock, KEL_CMD_GET_PARTITION, data, kPartitionLen, kPartRecordAt, &got,
                        sizeof(got));
  if (ret != 0) return ret;
  if (got.count < 0 || got.count > ZR_MAX_PARTITIONS) {
    KEL_PRINT(ZEP_DBG_ERROR, "Partition count %d out of range\n", got.count);
    return KEL_CLIENT_UNEXPECTED;
  }
  *info = got;
  return KEL_CLIENT_OK;
}

int KelRescanHardware(int sock) {
  unsigned char data[kClientBufSize] = {};
  return RunRaidCmd(sock, KEL_CMD_UPDATE_HARDWARE, data, kRescanLen, 0, kRaidLongReplyTimeoutSec);
}

int KelReloadDriver(int sock, bool reboot, const char* user, const char* password) {
  if (user == nullptr || password == nullptr) return InvalidParameters();
  const size_t userLen = strlen(user), passwordLen = strlen(password);
  if (userLen >= kRaidReloadTextSize || passwordLen >= kRaidReloadTextSize) {
    KEL_PRINT(ZEP_DBG_ERROR, "User name or password longer than %u bytes\n",
              kRaidReloadTextSize - 1);
    return KEL_CLIENT_TOO_LONG;
  }
  unsigned char data[kClientBufSize] = {0, static_cast<unsigned char>(reboot ? 1 : 0)};
  memcpy(data + kReloadUserAt, user, userLen);
  memcpy(data + kReloadPasswordAt, password, passwordLen);
  int ret = RunRaidCmd(sock, KEL_CMD_RELOAD_DRIVER, data, kReloadLen, 0, kRaidLongReplyTimeoutSec);
  memset(data, 0, sizeof(data));  // the password does not linger on the stack
  return ret;
}

int KelSmartReadValues(int sock, const _Index_Plus_t* disk, unsigned char* page) {
  if (disk == nullptr || page == nullptr) return InvalidParameters();
  return SmartQuery(sock, kSmartValues, disk, page, kRaidSmartPageSize, kRaidReplyTimeoutSec);
}

int KelSmartReadThresholds(int sock, const _Index_Plus_t* disk, unsigned char* page) {
  if (disk == nullptr || page == nullptr) return InvalidParameters();
  return SmartQuery(sock, kSmartThresholds, disk, page, kRaidSmartPageSize, kRaidReplyTimeoutSec);
}

int KelSmartStatus(int sock, const _Index_Plus_t* disk, unsigned char* status) {
  if (disk == nullptr || status == nullptr) return InvalidParameters();
  return SmartQuery(sock, kSmartStatusSub, disk, status, 1, kRaidReplyTimeoutSec);
}

int KelSmartCheckAll(int sock) {
  return SmartQuery(sock, kSmartAll, nullptr, nullptr, 0, kRaidLongReplyTimeoutSec);
}

int KelGetProtectedAreas(int sock, unsigned char disk, _zr_protect_free_info_t* areas,
                         unsigned int maxAreas, unsigned int* count) {
  if (areas == nullptr || count == nullptr) return InvalidParameters();
  unsigned char data[kClientBufSize] = {kProtectSub, disk};
  unsigned short len = 0;
  int ret = RunRaidCmd(sock, KEL_CMD_GET_PROTECT, data, kProtectLen, 0, kRaidReplyTimeoutSec, &len);
  if (ret != 0) return ret;
  // A reply of the return code alone: no areas, or more than one packet could carry.
  if (len == kMove) {
    *count = 0;
    return KEL_CLIENT_OK;
  }
  const unsigned int n = len > kMove + kProtectCountAt ? data[kMove + kProtectCountAt] : 0;
  if (len < kMove + kProtectRecordsAt + n * kProtectRecordSize) {
    KEL_PRINT(ZEP_DBG_ERROR, "Reply of %u bytes cannot carry %u protected areas\n", len, n);
    return KEL_CLIENT_UNEXPECTED;
  }
  if (n > maxAreas) {
    KEL_PRINT(ZEP_DBG_ERROR, "%u protected areas do not fit %u records\n", n, maxAreas);
    return KEL_CLIENT_TOO_LONG;
  }
  memcpy(areas, data + kMove + kProtectRecordsAt, n * kProtectRecordSize);
  *count = n;
  return KEL_CLIENT_OK;
}

bool KelIndexMapHas(const _Kel_Index_Map& map, unsigned int index) {
  if (index < 64) return (map.map_Low64 >> index) & 1u;
  if (index < 128) return (map.map_High64 >> (index - 64)) & 1u;
  return false;
}

_Index_Plus_t KelMakeRef(unsigned int index, uint16_t magic) {
  _Index_Plus_t ref{};
  ref.nIndex = static_cast<int32_t>(index);
  ref.wdMagicNum = magic;
  return ref;
}
