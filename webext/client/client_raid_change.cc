// Request building for the RAID configuration changes. Each request is assembled in a
// zeroed buffer of the command's fixed length; the creation and removal replies carry the
// request moved five bytes up, so a field the request has at data[k] is read back from
// data[k + 5].
#include "webext/client/client_raid_change.h"

#include <cstring>

#include "sharedlib/cmd_codes.h"
#include "sharedlib/diag.h"
#include "webext/client/client_codes.h"
#include "webext/client/client_exchange.h"

namespace {

constexpr unsigned short kMove = 5;
constexpr unsigned int kRefSize = sizeof(_Index_Plus_t);

constexpr unsigned short kCreateLen = 112;
constexpr unsigned short kRemoveLen = 392;
constexpr unsigned short kRepairLen = 48;
constexpr unsigned short kAddSpareLen = 24;
constexpr unsigned short kRemoveSpareLen = 16;
constexpr unsigned short kClearLen = 136;

constexpr int kCreateStripeAt = 8;
constexpr int kCreateParamAt = 12;
constexpr int kCreateSizeAt = 16;
constexpr int kCreateNameAt = 24;
constexpr int kCreateLevelAt = 24;
constexpr int kCreateRangeAt = 32;
constexpr int kCreateDisksAt = 48;
constexpr unsigned char kCreateSizeQuery = 6;
constexpr int kRefsAt = 8;  // removal, clearing: the references; repair, spares: the array
constexpr int kSecondRefAt = 16;  // repair, spares: the disk(s)
constexpr int kRemoveResultsAt = 264;

int InvalidParameters() {
  KEL_PRINT(ZEP_DBG_ERROR, "Invalid parameters\n");
  return KEL_CLIENT_INVALID_PARAM;
}

void PutRefs(unsigned char* data, int at, const _Index_Plus_t* refs, unsigned int n) {
  if (n != 0) memcpy(data + at, refs, n * kRefSize);
}

void PutLe32(unsigned char* data, int at, uint32_t v) {
  for (int i = 0; i < 4; ++i) data[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

// One exchange of `code`; *len gets the reply's length. The service's code is the result.
int Exchange(int sock, unsigned char code, unsigned char* data, unsigned short reqLen,
             unsigned short* len) {
  unsigned char cmd = code;
  *len = reqLen;
  const unsigned char sub = data[0];
  const int ret = KelExecuteCmd(sock, &cmd, data, len, kRaidChangeReplyTimeoutSec, 1);
  if (ret != 0)
    KEL_PRINT(ZEP_DBG_ERROR, "Execute cmd[%d]-task[%d] failed. Ret[%d]\n", code, sub, ret);
  return ret;
}

// An exchange whose successful reply must carry the request moved up.
int ExchangeWithPayload(int sock, unsigned char code, unsigned char* data, unsigned short reqLen) {
  unsigned short len = 0;
  const int ret = Exchange(sock, code, data, reqLen, &len);
  if (ret != 0) return ret;
  if (len < reqLen + kMove) {
    KEL_PRINT(ZEP_DBG_ERROR, "Reply of cmd[%d] has %u bytes, %u expected\n", code, len,
              reqLen + kMove);
    return KEL_CLIENT_UNEXPECTED;
  }
  return KEL_CLIENT_OK;
}

}  // namespace

int KelGetCreateSizeRange(int sock, unsigned char level, unsigned char mode,
                          const _Index_Plus_t* disks, unsigned int n, _Array_Create_Info_t* range) {
  if (range == nullptr || (disks == nullptr && n != 0) || n > kRaidMaxCreateDisks)
    return InvalidParameters();
  unsigned char data[kClientBufSize] = {kCreateSizeQuery, static_cast<unsigned char>(n), mode};
  data[kCreateLevelAt] = level;
  PutRefs(data, kCreateDisksAt, disks, n);
  const int ret = ExchangeWithPayload(sock, KEL_CMD_CREATE_RAID, data, kCreateLen);
  if (ret == 0) memcpy(range, data + kMove + kCreateRangeAt, sizeof(*range));
  return ret;
}

int KelCreateArray(int sock, const KelCreateRequest& r) {
  if (r.name == nullptr || r.diskCount > kRaidMaxCreateDisks) return InvalidParameters();
  const size_t nameLen = strlen(r.name);
  if (nameLen >= kRaidArrayNameSize) {
    KEL_PRINT(ZEP_DBG_ERROR, "The array name is too long\n");
    return KEL_CLIENT_TOO_LONG;
  }
  unsigned char data[kClientBufSize] = {r.kind, static_cast<unsigned char>(r.diskCount), r.mode,
                                        r.secondOption};
  data[kCreateStripeAt] = r.stripeKiB;
  PutLe32(data, kCreateParamAt, r.raid5Parameter);
  PutLe32(data, kCreateSizeAt, static_cast<uint32_t>(r.sizeMiB));
  PutLe32(data, kCreateSizeAt + 4, static_cast<uint32_t>(r.sizeMiB >> 32));
  memcpy(data + kCreateNameAt, r.name, nameLen);
  PutRefs(data, kCreateDisksAt, r.disks, r.diskCount);
  unsigned short len = 0;
  return Exchange(sock, KEL_CMD_CREATE_RAID, data, kCreateLen, &len);
}

int KelRemoveArrays(int sock, const _Index_Plus_t* arrays, unsigned int n, int* results) {
  if (arrays == nullptr || results == nullptr || n == 0 || n > kRaidMaxRemoveArrays)
    return InvalidParameters();
  unsigned char data[kClientBufSize] = {0, static_cast<unsigned char>(n)};
  PutRefs(data, kRefsAt, arrays, n);
  unsigned short len = 0;
  const int ret = Exchange(sock, KEL_CMD_REMOVE_RAID, data, kRemoveLen, &len);
  // The per-array codes come back whenever the service ran the removal.
  if (len >= kRemoveLen + kMove && ret != KEL_CLIENT_SEND_FAILED && ret != KEL_CLIENT_TIMEOUT &&
      ret != KEL_CLIENT_WRONG_REPLY)
    memcpy(results, data + kMove + kRemoveResultsAt, n * sizeof(int));
  else if (ret == 0)
    return KEL_CLIENT_UNEXPECTED;
  return ret;
}

int KelAddSpare(int sock, const _Index_Plus_t* array, const _Index_Plus_t* disk) {
  if (array == nullptr || disk == nullptr) return InvalidParameters();
  unsigned char data[kClientBufSize] = {};
  PutRefs(data, kRefsAt, array, 1);
  PutRefs(data, kSecondRefAt, disk, 1);
  unsigned short len = 0;
  return Exchange(sock, KEL_CMD_ADD_SPARE, data, kAddSpareLen, &len);
}

int KelRemoveSpare(int sock, const _Index_Plus_t* array) {
  if (array == nullptr) return InvalidParameters();
  unsigned char data[kClientBufSize] = {};
  PutRefs(data, kRefsAt, array, 1);
  unsigned short len = 0;
  return Exchange(sock, KEL_CMD_REMOVE_SPARE, data, kRemoveSpareLen, &len);
}

int KelRepairArray(int sock, unsigned char kind, const _Index_Plus_t* array,
                   const _Index_Plus_t* disks, unsigned int n) {
  if (array == nullptr || (disks == nullptr && n != 0) || n > kRaidMaxRepairDisks)
    return InvalidParameters();
  unsigned char data[kClientBufSize] = {kind, static_cast<unsigned char>(n)};
  PutRefs(data, kRefsAt, array, 1);
  PutRefs(data, kSecondRefAt, disks, n);
  unsigned short len = 0;
  return Exchange(sock, KEL_CMD_REPAIR_RAID, data, kRepairLen, &len);
}

int KelClearDisks(int sock, const _Index_Plus_t* disks, unsigned int n) {
  if (disks == nullptr || n == 0 || n > kRaidMaxClearDisks) return InvalidParameters();
  unsigned char data[kClientBufSize] = {0, static_cast<unsigned char>(n)};
  PutRefs(data, kRefsAt, disks, n);
  unsigned short len = 0;
  return Exchange(sock, KEL_CMD_CLEAR_DISK, data, kClearLen, &len);
}
