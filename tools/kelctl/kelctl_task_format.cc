// Text and JSON renderings of background tasks and of a wait for one.
#include "tools/kelctl/kelctl_task_format.h"

#include <cmath>
#include <cstdio>

#include "tools/kelctl/kelctl_table.h"

namespace {

constexpr double kMiB = 1024.0 * 1024.0;

std::string Stamp(std::time_t when) {
  std::tm tm{};
  gmtime_r(&when, &tm);
  char text[32];
  strftime(text, sizeof(text), "%Y-%m-%dT%H:%M:%SZ", &tm);
  return text;
}

const char* OriginName(unsigned int origin) {
  return origin == 1 ? "client" : origin == 2 ? "service" : "unknown";
}

std::string Duration(double seconds) {
  const long long s = std::llround(seconds);
  char text[32];
  if (s >= 3600)
    snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
  else
    snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
  return text;
}

// "12.5 MiB/s" or "3.0 %/min"; "--" while unknown.
std::string Speed(const KelctlTaskRate& rate, uint64_t totalBytes) {
  if (rate.percentPerSec <= 0) return "--";
  char text[48];
  if (totalBytes != 0)
    snprintf(text, sizeof text, "%.1f MiB/s",
             rate.percentPerSec / 100.0 * static_cast<double>(totalBytes) / kMiB);
  else
    snprintf(text, sizeof text, "%.1f %%/min", rate.percentPerSec * 60.0);
  return text;
}

std::string Left(const KelctlTaskRate& rate) {
  return rate.secondsLeft < 0 ? "--" : Duration(rate.secondsLeft) + " left";
}

bool IsEnd(uint8_t state) {
  return state == KEL_TASK_STATE_COMPLETED || state == KEL_TASK_STATE_BROKEN ||
         state == KEL_TASK_STATE_STOPPED || state == KEL_TASK_STATE_NEW;
}

}  // namespace

const char* KelctlTaskName(unsigned int code) {
  switch (code) {
    case KEL_TASK_CODE_SYNC_RAID1: return "raid1-sync";
    case KEL_TASK_CODE_SYNC_RAID01: return "raid01-sync";
    case KEL_TASK_CODE_SYNC_RAID5: return "raid5-sync";
    case KEL_TASK_CODE_MIGRATE: return "migrate";
    case KEL_TASK_CODE_REPLACE: return "replace";
    default: return "unknown";
  }
}

const char* KelctlTaskStateName(unsigned int state) {
  static const char* const kNames[] = {"unknown",   "new",     "starting", "stopped",
                                       "completed", "running", "broken"};
  return state < sizeof(kNames) / sizeof(kNames[0]) ? kNames[state] : "unknown";
}

std::string KelctlTaskTarget(const KelTaskRecord& t) {
  if (t.code == KEL_TASK_CODE_REPLACE)
    return "disk " + std::to_string(t.first) + " -> disk " + std::to_string(t.second);
  return "array " + std::to_string(t.first);
}

std::string FormatTaskReadable(const KelTaskRecord& t) {
  return std::string(KelctlTaskName(t.code)) + " of " + KelctlTaskTarget(t) + ": " +
         KelctlTaskStateName(t.state) + ", " + std::to_string(t.percent) + "%\n";
}

std::string FormatTaskTable(const std::vector<KelTaskRecord>& tasks) {
  if (tasks.empty()) return "(no tasks)\n";
  TextTable table({"TASK", "TARGET", "STATE", "PERCENT", "STARTED BY"});
  for (const KelTaskRecord& t : tasks)
    table.AddRow({KelctlTaskName(t.code), KelctlTaskTarget(t), KelctlTaskStateName(t.state),
                  std::to_string(t.percent) + "%", OriginName(t.origin)});
  return table.Text();
}

JsonWriter TaskJson(const KelTaskRecord& t) {
  JsonWriter j;
  j.AddString("task", KelctlTaskName(t.code)).AddInt("code", t.code);
  if (t.code == KEL_TASK_CODE_REPLACE)
    j.AddInt("disk", t.first).AddInt("new_disk", t.second);
  else
    j.AddInt("array", t.first);
  j.AddString("state", KelctlTaskStateName(t.state)).AddInt("percent", t.percent);
  j.AddInt("result", t.result).AddString("origin", OriginName(t.origin));
  return j;
}

KelctlTaskRate EstimateTaskRate(unsigned int firstPercent, double firstSec,
                                unsigned int percent, double nowSec) {
  KelctlTaskRate rate;
  if (percent <= firstPercent || nowSec <= firstSec) return rate;
  rate.percentPerSec = (percent - firstPercent) / (nowSec - firstSec);
  rate.secondsLeft = percent >= 100 ? 0 : (100 - percent) / rate.percentPerSec;
  return rate;
}

std::string FormatProgressBar(unsigned int percent, const KelctlTaskRate& rate,
                              uint64_t totalBytes, unsigned int width) {
  const unsigned int shown = percent > 100 ? 100 : percent;
  const unsigned int filled = shown * width / 100;
  char pct[8];
  snprintf(pct, sizeof pct, "%3u%%", shown);
  return "[" + std::string(filled, '#') + std::string(width - filled, '.') + "] " + pct + "  " +
         Speed(rate, totalBytes) + "  " + Left(rate);
}

std::string KelctlTaskWaitView::Bar(double nowSec) const {
  constexpr unsigned int kWidth = 30;
  const KelctlTaskRate rate = EstimateTaskRate(m_firstPercent, m_firstSec, m_last.percent, nowSec);
  // Back to the line's start, and clear what a longer previous drawing left behind.
  return "\r" + FormatProgressBar(m_last.percent, rate, m_totalBytes, kWidth) + "\033[K";
}

std::string KelctlTaskWaitView::Observe(const KelTaskRecord& task, double nowSec,
                                        std::time_t wall) {
  // The service could not look (its lists were busy): nothing learnt.
  if (m_ended || task.state == KEL_TASK_STATE_UNKNOWN) return "";
  const bool changed =
      !m_seen || task.percent != m_last.percent || task.state != m_last.state;
  if (!m_seen) {
    m_firstPercent = task.percent;
    m_firstSec = nowSec;
  }
  m_seen = true;
  m_last = task;
  m_ended = IsEnd(task.state);
  const KelctlTaskRate rate = EstimateTaskRate(m_firstPercent, m_firstSec, task.percent, nowSec);
  switch (m_style) {
    case KelctlWaitStyle::kBar: {
      if (task.state == KEL_TASK_STATE_NEW) return "";  // nothing was drawn for it
      std::string out = Bar(nowSec);
      if (m_ended) out += "\n" + FormatTaskReadable(task);
      return out;
    }
    case KelctlWaitStyle::kLines: {
      if (!changed) return "";
      std::string line = Stamp(wall) + " " + FormatTaskReadable(task);
      if (rate.percentPerSec > 0 && !m_ended) {
        line.pop_back();
        line += ", " + Speed(rate, m_totalBytes) + ", " + Left(rate) + "\n";
      }
      return line;
    }
    case KelctlWaitStyle::kJson: {
      if (!changed) return "";
      JsonWriter j;
      j.AddString("time", Stamp(wall));
      JsonWriter t = TaskJson(task);
      j.AddObject("task", t);
      if (rate.percentPerSec > 0) {
        if (m_totalBytes != 0)
          j.AddInt("bytes_per_second", std::llround(rate.percentPerSec / 100.0 *
                                                    static_cast<double>(m_totalBytes)));
        j.AddInt("seconds_left", std::llround(rate.secondsLeft));
      }
      return j.Text() + "\n";
    }
  }
  return "";
}

std::string KelctlTaskWaitView::EndReason() const {
  switch (m_last.state) {
    case KEL_TASK_STATE_BROKEN:
      return "the task broke: its steps kept failing (result " + std::to_string(m_last.result) +
             ")";
    case KEL_TASK_STATE_STOPPED: return "the task was stopped";
    case KEL_TASK_STATE_NEW:
      return "no such task (not started, or it ended more than a few seconds ago)";
    default: return "";
  }
}
