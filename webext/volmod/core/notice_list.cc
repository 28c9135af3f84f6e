// What a notice's data becomes for a script: the disk-status pairs as a flat byte list, or
// the few bytes of a task record a console shows.
#include "webext/volmod/core/record_fields.h"
#include "webext/client/client_events.h"

namespace {

constexpr unsigned int kTaskRecordSize = 16;
constexpr int kTaskStateAt = 14;
constexpr int kTaskFirstAt = 2;
constexpr int kTaskSecondAt = 3;

}  // namespace

std::vector<int64_t> NoticeList(int kind, const unsigned char* data, unsigned int len) {
  std::vector<int64_t> list;
  if (data == nullptr) return list;
  if (kind == KEL_NOTICE_KIND_DISK_STATUS) {
    // Everything after the count byte. The bound is signed: an empty payload gives -1
    // entries, which must stay no entries rather than wrap around.
    const int64_t n = static_cast<int64_t>(len) - 1;
    for (int64_t i = 0; i < n; ++i) list.push_back(data[i + 1]);
  } else if (kind == KEL_NOTICE_KIND_TASK && len >= kTaskRecordSize) {
    const unsigned char code = data[0];
    if (code >= 1 && code <= 5)
      list = {code, data[kTaskStateAt], data[kTaskFirstAt]};
    if (code == 5) list.push_back(data[kTaskSecondAt]);
  }
  return list;
}
