// How kelctl shows background tasks: one task, the task list, and the progress of a task
// being waited for - a redrawn bar on a terminal, one line per percent otherwise, one JSON
// object per change with --json. Pure: times come in as arguments.
#ifndef KEL_TOOLS_KELCTL_KELCTL_TASK_FORMAT_H
#define KEL_TOOLS_KELCTL_KELCTL_TASK_FORMAT_H

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "tools/kelctl/json_writer.h"
#include "webext/client/client_task.h"

// "raid1-sync", "raid01-sync", "raid5-sync", "migrate", "replace"; "unknown" otherwise.
const char* KelctlTaskName(unsigned int code);
// "new", "starting", "stopped", "completed", "running", "broken"; "unknown" otherwise.
const char* KelctlTaskStateName(unsigned int state);
// "array 3", or "disk 0 -> disk 2" for a replacement.
std::string KelctlTaskTarget(const KelTaskRecord& task);

// "raid1-sync of array 3: running, 42%" and a newline.
std::string FormatTaskReadable(const KelTaskRecord& task);
// A table of the tasks with state and percent, or "(no tasks)".
std::string FormatTaskTable(const std::vector<KelTaskRecord>& tasks);
// The record's members: task, code, array or disk/new_disk, state, percent, result, origin.
JsonWriter TaskJson(const KelTaskRecord& task);

// Speed and time left, from the first observation of the wait to the latest one.
struct KelctlTaskRate {
  double percentPerSec = 0;  // 0: not known yet
  double secondsLeft = -1;   // -1: not known
};
KelctlTaskRate EstimateTaskRate(unsigned int firstPercent, double firstSec,
                                unsigned int percent, double nowSec);

// "[##########..........]  50%  12.5 MiB/s  0:40 left" - the rate in MiB/s when the
// task's size is known (bytes), else in percent per minute; "--" while unknown.
std::string FormatProgressBar(unsigned int percent, const KelctlTaskRate& rate,
                              uint64_t totalBytes, unsigned int width);

enum class KelctlWaitStyle { kBar, kLines, kJson };

// Turns the observations of a waited-for task (poll answers and notices, in order) into
// output, and knows when and how the wait ends.
class KelctlTaskWaitView {
 public:
  KelctlTaskWaitView(KelctlWaitStyle style, uint64_t totalBytes)
      : m_style(style), m_totalBytes(totalBytes) {}

  // What to print for this observation (often nothing). `nowSec` is a steady clock,
  // `wall` the time stamped on lines and JSON objects.
  std::string Observe(const KelTaskRecord& task, double nowSec, std::time_t wall);

  // The task completed, broke, was stopped, or is not (or no longer) known.
  bool Ended() const { return m_ended; }
  bool Completed() const { return m_ended && m_last.state == KEL_TASK_STATE_COMPLETED; }
  // Why the wait ended without completion, for the error message.
  std::string EndReason() const;
  const KelTaskRecord& Last() const { return m_last; }

 private:
  std::string Bar(double nowSec) const;

  KelctlWaitStyle m_style;
  uint64_t m_totalBytes;
  bool m_seen = false;
  bool m_ended = false;
  KelTaskRecord m_last{};
  unsigned int m_firstPercent = 0;
  double m_firstSec = 0;
};

#endif
