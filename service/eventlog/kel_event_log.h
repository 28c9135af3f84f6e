// KelEventLog: the user-visible history of the service (array operations, hot-plug, SMART
// alarms, background tasks, logins) kept in one file of fixed-size records used as a ring,
// so the file never outgrows its configured size. Producers only queue a line; the
// "EventLogFlushTimer" writes the queue to the file every 3 seconds; the local commands
// read the log back, report its status and clear it.
//
// File format, every record S bytes (S = bytes per item):
//
//   record 0 (header)   bytes 0-3 head index, bytes 4-7 tail index (int32 little-endian),
//                       bytes 8..S-1 zero
//   record 1 + k        slot k (0 <= k < C): one item's text padded with zero bytes
//
// C = maxSize / S records; the file reaches at most (C + 1) * S bytes. An item reads
// "Www Mmm dd hh:mm:ss yyyy~LEVEL~message\n" (asctime without its newline, "~", the line
// that was queued with carriage returns and newlines removed, "\n"). An item of S bytes
// or more is cut to its first S - 1 bytes followed by "\n".
//
// Ring and reading rule (arithmetic in event_ring.h): items occupy the slots from head
// (inclusive) to tail (exclusive), wrapping at C. GetCurLineNum() is tail - head, or C once
// the ring has wrapped (head = (tail + 1) mod C, which includes head 0 / tail C-1). Items are addressed by index from the head; index i lies in slot
// (head + i) mod C. Every slot of the occupied range can be read back, including the
// newest items in slots below the head after a wrap. A position outside the occupied range
// is refused with "Overlapped log item, skip": once the ring has wrapped this is exactly
// index C - 1, the slot `tail` that the next write overwrites. ReadLines returns the items
// it could read and sets `count` to the number of positions it visited, refused ones
// included, so a reader can page through the log by adding `count` to its offset.
//
// Thread-safety: any thread may queue (only the queue mutex is taken, never the file).
// The reader/writer lock this class derives from guards the file and the indexes: flushes
// and ClearLog write, reads and GetCurLineNum read. The queue mutex and the reader/writer
// lock are never held together.
#ifndef KEL_SERVICE_EVENTLOG_KEL_EVENT_LOG_H
#define KEL_SERVICE_EVENTLOG_KEL_EVENT_LOG_H

#include <fstream>
#include <list>
#include <string>
#include <vector>

#include "sharedlib/kel_mutex.h"
#include "sharedlib/kel_timer.h"
#include "sharedlib/mem_pool.h"

class KelEventLog;

// The flush timer's work: runs only while lines wait in the queue.
class KelEventLogTimerCallback : public KelTimerCallback, public KelMemPool {
 public:
  explicit KelEventLogTimerCallback(KelEventLog* log) : m_pEventLog(log) {}
  void TimerCallbackFn() override;
  bool IsNeedToTrig() override;

 private:
  KelEventLog* m_pEventLog;  // not owned; outlives the callback
};

class KelEventLog : public KelRWLock {
 public:
  static constexpr int kFlushPeriodMs = 3000;

  // Opens or creates the file, reads or writes its header (a header whose indexes lie
  // outside 0..C-1 clears the log), then registers and starts the flush timer; the timer
  // daemon must already run for the timer to fire. A file that cannot be opened is
  // reported and does not stop the service: queueing still works and each flush reports.
  KelEventLog(const char* path, unsigned long long maxSize, int bytesPerItem);
  // Stops the flush timer (waiting for a flush in progress), then drops unflushed lines.
  ~KelEventLog() override;

  // Queues `line` (ignored when empty), echoes it to standard output as given, and
  // rewrites it in place into its stored form. Any thread; never touches the file.
  void AddItemToQueue(std::string& line);
  bool HasQueuedItems();

  // Writes every queued line to the file now, newest first. The flush timer calls it;
  // callers that need the lines on disk at once may too. Concurrent flushes are
  // serialised so that batches reach the file in the order they were taken.
  void FlushLogQueue();

  // File helpers. WriteLines takes the write lock; WriteLine and WriteHeader expect the
  // caller to hold it (or to be the constructor). False on a failed lock or write.
  bool WriteLines(std::fstream& file, const std::list<std::string>& items);
  bool WriteLine(std::fstream& file, const std::string& item) REQUIRES(this);
  bool WriteHeader(std::ostream& file) REQUIRES(this);
  static bool ReadHeader(std::istream& file, int* head, int* tail);

  // Empties the log: the file shrinks to the header record with two zero indexes.
  // False (nothing changed) when the write lock cannot be had.
  bool ClearLog();

  // Reads items from `file` (opened by the caller in binary mode); see the reading rule
  // above. count > 0 reads newer items forward from item `offset`; count < 0 reads |count|
  // older items backward from item offset - 1, newest first. False for an offset outside
  // 0..C, for a count of 0, for a backward request that lies wholly above the newest item,
  // and when the read lock cannot be had.
  bool ReadLines(std::ifstream& file, std::vector<std::string>& out, int offset, int& count);
  // Reads item `index` counted from `head`; the caller holds the read lock.
  bool ReadLine(std::ifstream& file, std::string& out, int head, int index) REQUIRES_SHARED(this);

  int GetCurLineNum();
  // The file's size from the file system, 0 when it cannot be read.
  static unsigned long long GetSize(const char* path);

  unsigned long long GetMaxSize() const { return m_u64MaxSize; }
  const std::string& GetPath() const { return m_strPath; }

 private:
  // Set once in the constructor.
  const std::string m_strPath;
  const unsigned long long m_u64MaxSize;
  unsigned long long m_u64FileSize = 0;  // size found at start-up
  int m_nBytesPerItem;                   // S
  int m_nMaxLines = 1;                   // C

  // Guarded by the reader/writer lock (write side to change).
  char* m_pLineBuf PT_GUARDED_BY(this) = nullptr;  // one record, used by WriteLine
  int m_nHead GUARDED_BY(this) = 0;                // oldest slot
  int m_nTail GUARDED_BY(this) = 0;                // next slot to write

  KelMutex m_kelLogQueueMutex;
  std::list<std::string> m_logQueue GUARDED_BY(m_kelLogQueueMutex);  // stored forms, newest first
  KelMutex m_flushMutex;  // serialises FlushLogQueue; taken before either lock above

  KelEventLogTimerCallback* m_pFlushCallback = nullptr;  // owned
  KelTimer* m_pFlushTimer = nullptr;                      // owned
};

#endif
