// Event log: queueing, the timed flush into the ring file, clearing and reading back.
#include "service/eventlog/kel_event_log.h"

#include <sys/stat.h>

#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <new>

#include "service/eventlog/event_ring.h"
#include "sharedlib/diag.h"
#include "sharedlib/kel_clock.h"

namespace {

constexpr int kHeaderBytes = 8;

}  // namespace

void KelEventLogTimerCallback::TimerCallbackFn() { m_pEventLog->FlushLogQueue(); }

bool KelEventLogTimerCallback::IsNeedToTrig() { return m_pEventLog->HasQueuedItems(); }

KelEventLog::KelEventLog(const char* path, unsigned long long maxSize, int bytesPerItem)
    : m_strPath(path != nullptr ? path : ""), m_u64MaxSize(maxSize), m_nBytesPerItem(bytesPerItem) {
  // The header needs its two indexes, and a record must hold at least one character.
  if (m_nBytesPerItem < kHeaderBytes) {
    KEL_ASSERT(bytesPerItem >= kHeaderBytes);
    m_nBytesPerItem = kHeaderBytes;
  }
  {
    std::ofstream create(m_strPath, std::ios::app | std::ios::binary);
    if (!create) KEL_PRINT(ZEP_DBG_ERROR, "Open log file %s failed\n", m_strPath.c_str());
  }
  m_u64FileSize = GetSize(m_strPath.c_str());
  KEL_PRINT(ZEP_DBG_VERBOSE, "Current size of Log: %d\n", static_cast<int>(m_u64FileSize));

  const unsigned long long lines = maxSize / static_cast<unsigned long long>(m_nBytesPerItem);
  KEL_ASSERT(lines >= 1);
  m_nMaxLines = lines < 1 ? 1 : lines > INT_MAX - 1 ? INT_MAX - 1 : static_cast<int>(lines);
  m_pLineBuf = new (std::nothrow) char[m_nBytesPerItem];
  if (m_pLineBuf == nullptr) KEL_PRINT(ZEP_DBG_ERROR, "Allocate line buf failed\n");

  if (m_u64FileSize > 0) {
    std::ifstream in(m_strPath, std::ios::binary);
    int head = -1, tail = -1;
    if (!ReadHeader(in, &head, &tail) || !RingIndexesValid(m_nMaxLines, head, tail)) {
      KEL_PRINT(ZEP_DBG_WARN, "Invalid log file format. Clear it!\n");
      ClearLog();
    } else {
      m_nHead = head;
      m_nTail = tail;
    }
  } else {
    m_nHead = m_nTail = 0;
    std::ofstream out(m_strPath, std::ios::trunc | std::ios::binary);
    if (!out)
      KEL_PRINT(ZEP_DBG_ERROR, "Open log file %s failed\n", m_strPath.c_str());
    else
      WriteHeader(out);
  }
  KEL_PRINT(ZEP_DBG_VERBOSE, "StLine = %d, EdLIne = %d\n", m_nHead, m_nTail);

  m_pFlushCallback = new KelEventLogTimerCallback(this);
  m_pFlushTimer = new KelTimer(KelTimer::kForever, kFlushPeriodMs, m_pFlushCallback, "EventLogFlushTimer");
  if (m_pFlushTimer == NULL) {
    KEL_ASSERT_TEXT("m_pFlushTimer != NULL");
    return;
  }
  KelTimer::AddTimer(m_pFlushTimer);
  if (!m_pFlushTimer->Start()) KEL_ASSERT_TEXT("m_pFlushTimer->Start()");
}

KelEventLog::~KelEventLog() {
  // The timer goes first: a flush still running on its thread uses everything below.
  if (m_pFlushTimer != nullptr) {
    KelTimer::DelTimer(m_pFlushTimer);
    delete m_pFlushTimer;
  }
  delete m_pFlushCallback;
  delete[] m_pLineBuf;
  m_kelLogQueueMutex.lock();
  m_logQueue.clear();
  m_kelLogQueueMutex.unlock();
}

void KelEventLog::AddItemToQueue(std::string& line) {
  if (line.empty()) return;
  fprintf(stdout, "%s\n", line.c_str());
  fflush(stdout);

  std::string item = KelClock::GetLocalTime();
  if (!item.empty() && item.back() == '\n') item.pop_back();
  item += '~';
  for (char c : line)
    if (c != '\r' && c != '\n') item += c;
  item += '\n';
  line = item;

  if (!m_kelLogQueueMutex.lock()) KEL_ASSERT_TEXT("m_kelLogQueueMutex.lock()");
  m_logQueue.push_front(item);
  if (!m_kelLogQueueMutex.unlock()) KEL_ASSERT_TEXT("m_kelLogQueueMutex.unlock()");
}

bool KelEventLog::HasQueuedItems() {
  m_kelLogQueueMutex.lock();
  const bool pending = !m_logQueue.empty();
  m_kelLogQueueMutex.unlock();
  return pending;
}

void KelEventLog::FlushLogQueue() {
  m_flushMutex.lock();
  std::list<std::string> items;
  m_kelLogQueueMutex.lock();
  items.swap(m_logQueue);
  m_kelLogQueueMutex.unlock();
  if (!items.empty()) {
    std::fstream file(m_strPath, std::ios::in | std::ios::out | std::ios::binary | std::ios::ate);
    if (!file)
      KEL_PRINT(ZEP_DBG_ERROR, "Open log file %s failed\n", m_strPath.c_str());  // the lines are lost
    else
      WriteLines(file, items);
  }
  m_flushMutex.unlock();
}

bool KelEventLog::WriteLines(std::fstream& file, const std::list<std::string>& items) {
  if (!WLock()) {
    KEL_PRINT(ZEP_DBG_ERROR, "Get EventLog W lock failed\n");
    return false;
  }
  bool ok = true;
  for (const std::string& item : items) ok = WriteLine(file, item) && ok;
  // Readers open the file on their own: the records must be there once the lock is free.
  file.flush();
  WUnlock();
  return ok;
}

bool KelEventLog::WriteLine(std::fstream& file, const std::string& item) {
  if (m_pLineBuf == nullptr) return false;
  const size_t recordSize = static_cast<size_t>(m_nBytesPerItem);
  memset(m_pLineBuf, 0, recordSize);
  if (item.size() >= recordSize) {
    KEL_PRINT(ZEP_DBG_WARN, "The length of this log item is too long\n");
    memcpy(m_pLineBuf, item.data(), recordSize - 1);
    KEL_PRINT(ZEP_DBG_WARN, "Cut the string as %s\n", m_pLineBuf);
    m_pLineBuf[recordSize - 1] = '\n';
  } else {
    memcpy(m_pLineBuf, item.data(), item.size());
  }
  file.clear();
  file.seekp(RingSlotOffset(m_nTail, m_nBytesPerItem));
  file.write(m_pLineBuf, m_nBytesPerItem);
  if (!file) {
    KEL_PRINT(ZEP_DBG_ERROR, "Write log item[%d] failed\n", m_nTail);
    return false;
  }
  KelRingPos ring{m_nMaxLines, m_nHead, m_nTail};
  RingAdvance(&ring);
  m_nHead = ring.head;
  m_nTail = ring.tail;
  file.seekp(0);
  return WriteHeader(file);
}

bool KelEventLog::WriteHeader(std::ostream& file) {
  std::vector<char> record(static_cast<size_t>(m_nBytesPerItem), '\0');
  RingEncodeHeader(m_nHead, m_nTail, reinterpret_cast<unsigned char*>(record.data()));
  file.write(record.data(), static_cast<std::streamsize>(record.size()));
  if (!file) {
    KEL_PRINT(ZEP_DBG_ERROR, "Write log header failed\n");
    return false;
  }
  return true;
}

bool KelEventLog::ReadHeader(std::istream& file, int* head, int* tail) {
  unsigned char bytes[kHeaderBytes];
  file.clear();
  file.seekg(0);
  file.read(reinterpret_cast<char*>(bytes), kHeaderBytes);
  if (file.gcount() != kHeaderBytes) return false;
  int32_t h, t;
  RingDecodeHeader(bytes, &h, &t);
  *head = h;
  *tail = t;
  return true;
}

bool KelEventLog::ClearLog() {
  if (!WLock()) {
    KEL_PRINT(ZEP_DBG_ERROR, "Get EventLog W lock failed\n");
    return false;
  }
  m_nHead = m_nTail = 0;
  std::ofstream out(m_strPath, std::ios::trunc | std::ios::binary);
  bool ok = false;
  if (!out)
    KEL_PRINT(ZEP_DBG_ERROR, "Open log file %s failed\n", m_strPath.c_str());
  else
    ok = WriteHeader(out);
  out.close();
  WUnlock();
  return ok;
}

bool KelEventLog::ReadLines(std::ifstream& file, std::vector<std::string>& out, int offset, int& count) {
  out.clear();
  // Both directions read under the lock: the indexes must not move during the read.
  if (!RLock()) {
    KEL_PRINT(ZEP_DBG_ERROR, "Get Log file R lock failed\n");
    return false;
  }
  const KelRingReadPlan plan = RingPlanRead(KelRingPos{m_nMaxLines, m_nHead, m_nTail}, offset, count);
  switch (plan.status) {
    case KelRingReadStatus::kBadOffset:
      KEL_PRINT(ZEP_DBG_WARN, "Given offset is invalid\n");
      RUnlock();
      return false;
    case KelRingReadStatus::kZeroCount:
    case KelRingReadStatus::kNothingOlder:
      KEL_PRINT(ZEP_DBG_WARN, "Given count is invalid\n");
      RUnlock();
      return false;
    case KelRingReadStatus::kOk:
      break;
  }
  if (plan.clipped) KEL_PRINT(ZEP_DBG_WARN, "Can not fetch so many new lines\n");
  for (int i = 0; i < plan.positions; ++i) {
    const int index = plan.firstItem + i * plan.step;
    std::string item;
    if (ReadLine(file, item, m_nHead, index))
      out.push_back(item);
    else
      KEL_PRINT(ZEP_DBG_WARN, "Read log item [%d] failed\n", index);
  }
  RUnlock();
  count = plan.positions;
  return true;
}

bool KelEventLog::ReadLine(std::ifstream& file, std::string& out, int head, int index) {
  const int pos = RingSlotOfItem(m_nMaxLines, head, index);
  if (!RingIsOccupied(KelRingPos{m_nMaxLines, head, m_nTail}, pos)) {
    KEL_PRINT(ZEP_DBG_WARN, "Overlapped log item, skip\n");
    return false;
  }
  const int64_t where = RingSlotOffset(pos, m_nBytesPerItem);
  file.clear();
  file.seekg(0, std::ios::end);
  const std::streamoff size = file.tellg();
  if (!file || size < where + m_nBytesPerItem) {
    KEL_PRINT(ZEP_DBG_ERROR, "Read log item[%d] pos[%d] whole[%d]failed. Reach the end of the file\n", index,
              pos, m_nMaxLines);
    return false;
  }
  file.seekg(where);
  std::string record(static_cast<size_t>(m_nBytesPerItem), '\0');
  file.read(record.data(), m_nBytesPerItem);
  if (!file || file.gcount() != m_nBytesPerItem) {
    KEL_PRINT(ZEP_DBG_ERROR, "Read log item[%d] failed. pos[%d]\n", index, pos);
    return false;
  }
  out.assign(record.data(), strnlen(record.data(), record.size()));
  return true;
}

int KelEventLog::GetCurLineNum() {
  if (!RLock()) {
    KEL_PRINT(ZEP_DBG_ERROR, "Get Log file R lock failed\n");
    return 0;
  }
  const int lines = RingItemCount(KelRingPos{m_nMaxLines, m_nHead, m_nTail});
  RUnlock();
  return lines;
}

unsigned long long KelEventLog::GetSize(const char* path) {
  struct stat st;
  if (path == nullptr || stat(path, &st) != 0) return 0;
  return static_cast<unsigned long long>(st.st_size);
}
