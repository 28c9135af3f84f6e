// The background-task requests of the request layer. The task record is built here from
// the script's references; the client library marks it as sent by a client, checks that
// the reply names the same task and copies the service's record back.
#include "webext/volmod/core/zr_args.h"
#include "webext/volmod/core/zr_request.h"

namespace {

constexpr uint8_t kNoObject = 0xFF;

// Byte 2 or 3 of the record and its magic number; false for an index beyond one byte.
bool PutRef(const _Index_Plus_t* ref, uint8_t* index, uint16_t* magic) {
  if (ref == nullptr) {
    *index = kNoObject;
    *magic = 0;
    return true;
  }
  if (!ZrIndexOk(ref->nIndex)) return false;
  *index = static_cast<uint8_t>(ref->nIndex);
  *magic = ref->wdMagicNum;
  return true;
}

}  // namespace

int zr_sync_mig_replace(long taskCode, const _Index_Plus_t* array, const _Index_Plus_t* source,
                        const _Index_Plus_t* target, long extra, long op, KelTaskRecord* record) {
  if (taskCode < KEL_TASK_CODE_SYNC_RAID1 || taskCode > KEL_TASK_CODE_REPLACE)
    return ZrTooMuch(__func__, "that task code");
  if (!ZrFits(op, 0xFF)) return ZrTooMuch(__func__, "that operation");
  KelTaskRecord r;
  r.code = static_cast<uint8_t>(taskCode);
  bool refsOk = true;
  if (taskCode == KEL_TASK_CODE_REPLACE) {
    refsOk = PutRef(source, &r.first, &r.firstMagic) && PutRef(target, &r.second, &r.secondMagic);
  } else {
    refsOk = PutRef(array, &r.first, &r.firstMagic);
    if (taskCode == KEL_TASK_CODE_SYNC_RAID01) {
      if (!ZrFits(extra, 0xFFFF)) return ZrTooMuch(__func__, "those halves");
      r.secondMagic = static_cast<uint16_t>(extra);
    }
  }
  if (!refsOk) return ZrInvalid(__func__, "reference index");
  const int ret =
      ZrExchange([&](int sock) { return KelTaskCall(sock, static_cast<uint8_t>(op), &r); });
  if (KelTaskCallSucceeded(ret) && record != nullptr) *record = r;
  return ret;
}

int zr_async_task_info(std::vector<KelTaskRecord>* tasks) {
  if (tasks == nullptr) return ZrInvalid(__func__, "no list");
  KelTaskRecord got[kTaskMaxListed];
  unsigned int n = 0;
  const int ret = ZrExchange([&](int sock) { return KelTaskList(sock, got, &n); });
  if (ret == 0) tasks->assign(got, got + n);
  return ret;
}
