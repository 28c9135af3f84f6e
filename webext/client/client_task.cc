// Request building for command code 1. The reply of a single task carries the return code
// and the record at data[5..20]; the list reply a count at data[5] and the records from
// data[6].
#include "webext/client/client_task.h"

#include <cstring>

#include "sharedlib/cmd_codes.h"
#include "sharedlib/diag.h"
#include "webext/client/client_codes.h"
#include "webext/client/client_exchange.h"

namespace {

constexpr unsigned short kRecordLen = sizeof(KelTaskRecord);
constexpr unsigned short kRecordAt = 5;
constexpr unsigned short kCountAt = 5;
constexpr unsigned short kListAt = 6;
constexpr uint8_t kByClient = 1;
// The identity bytes a reply must echo: code, operation, objects, magic numbers. A RAID 0+1
// synchronisation may come back with other halves than were asked for.
constexpr size_t kIdentityBytes = 8;
constexpr size_t kIdentityBytesRaid01 = 6;

int InvalidParameters() {
  KEL_PRINT(ZEP_DBG_ERROR, "Invalid parameters\n");
  return KEL_CLIENT_INVALID_PARAM;
}

int Exchange(int sock, unsigned char* data, unsigned short* len) {
  unsigned char cmd = KEL_CMD_SMR;
  const unsigned char sub = data[0];
  *len = kRecordLen;
  const int ret = KelExecuteCmd(sock, &cmd, data, len, kTaskReplyTimeoutSec, 1);
  if (ret != 0) KEL_PRINT(ZEP_DBG_WARN, "Execute cmd[%d]-task[%d] returned %d\n", cmd, sub, ret);
  return ret;
}

// Whether the exchange reached the service and the service answered (any return code).
bool ServiceAnswered(int ret) {
  return ret != KEL_CLIENT_SEND_FAILED && ret != KEL_CLIENT_TIMEOUT &&
         ret != KEL_CLIENT_WRONG_REPLY && ret != KEL_CLIENT_UNEXPECTED &&
         ret != KEL_CLIENT_TOO_LONG;
}

}  // namespace

KelTaskRecord KelArrayTask(uint8_t code, unsigned int array, uint16_t magic) {
  KelTaskRecord r;
  r.code = code;
  r.first = static_cast<uint8_t>(array);
  r.firstMagic = magic;
  if (code == KEL_TASK_CODE_SYNC_RAID01) r.secondMagic = kTaskBothHalves;
  return r;
}

KelTaskRecord KelReplaceTask(unsigned int from, uint16_t fromMagic, unsigned int to,
                             uint16_t toMagic) {
  KelTaskRecord r;
  r.code = KEL_TASK_CODE_REPLACE;
  r.first = static_cast<uint8_t>(from);
  r.second = static_cast<uint8_t>(to);
  r.firstMagic = fromMagic;
  r.secondMagic = toMagic;
  return r;
}

int KelTaskCall(int sock, uint8_t op, KelTaskRecord* record) {
  if (record == nullptr) return InvalidParameters();
  record->op = op;
  record->origin = kByClient;
  unsigned char data[kClientBufSize] = {};
  memcpy(data, record, kRecordLen);
  unsigned short len = 0;
  const int ret = Exchange(sock, data, &len);
  if (!ServiceAnswered(ret)) return ret;
  if (len < kRecordAt + kRecordLen) {
    // A refusal before the task manager (a stale magic number) carries no record.
    if (ret != 0 && ret != KEL_TASK_RC_FINISHED) return ret;
    KEL_PRINT(ZEP_DBG_ERROR, "Reply of an SMR task has %u bytes\n", len);
    return KEL_CLIENT_UNEXPECTED;
  }
  const size_t identity =
      record->code == KEL_TASK_CODE_SYNC_RAID01 ? kIdentityBytesRaid01 : kIdentityBytes;
  if (memcmp(data + kRecordAt, record, identity) != 0) {
    KEL_PRINT(ZEP_DBG_ERROR,
              "Sever returned parameters of SMR task is different from local parameters\n");
    return KEL_CLIENT_UNEXPECTED;
  }
  memcpy(record, data + kRecordAt, kRecordLen);
  return ret;
}

int KelTaskList(int sock, KelTaskRecord* tasks, unsigned int* count) {
  if (tasks == nullptr || count == nullptr) return InvalidParameters();
  unsigned char data[kClientBufSize] = {KEL_TASK_CODE_LIST, KEL_TASK_OPERATION_QUERY};
  data[15] = kByClient;
  unsigned short len = 0;
  const int ret = Exchange(sock, data, &len);
  if (ret != 0) return ret;
  const unsigned int n = len > kCountAt ? data[kCountAt] : 0;
  if (len <= kCountAt || n > kTaskMaxListed || len < kListAt + n * kRecordLen) {
    KEL_PRINT(ZEP_DBG_ERROR, "Task list reply of %u bytes with %u records\n", len, n);
    return KEL_CLIENT_UNEXPECTED;
  }
  memcpy(tasks, data + kListAt, n * kRecordLen);
  *count = n;
  return 0;
}

bool KelTaskSame(const KelTaskRecord& task, const KelTaskRecord& wanted) {
  if (task.code != wanted.code || task.first != wanted.first) return false;
  return task.code != KEL_TASK_CODE_REPLACE || task.second == wanted.second;
}

KelTaskRecord KelTaskFromBytes(const unsigned char* bytes) {
  KelTaskRecord r;
  memcpy(&r, bytes, sizeof r);  // the wire and this host are both little-endian
  return r;
}
