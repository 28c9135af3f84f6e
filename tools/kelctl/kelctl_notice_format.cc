// Text and JSON renderings of notices and discovered services.
#include "tools/kelctl/kelctl_notice_format.h"

#include <cstdint>

#include "tools/kelctl/json_writer.h"
#include "webext/client/client_events.h"

namespace {

// The task record of a task notice, little-endian as the service keeps it.
struct TaskNotice {
  unsigned int code = 0;     // 1 RAID 1, 2 RAID 0+1, 3 RAID 5 synchronisation, 4 migration, 5 replace
  unsigned int first = 0;    // the array, or the disk being replaced
  unsigned int second = 0;   // the new disk of a replace
  int result = 0;
  unsigned int percent = 0;
  unsigned int state = 0;
  unsigned int origin = 0;   // 1 a client, 2 the service
};

TaskNotice DecodeTask(const unsigned char* d) {
  TaskNotice t;
  t.code = d[0];
  t.first = d[2];
  t.second = d[3];
  t.result = static_cast<int32_t>(static_cast<uint32_t>(d[8]) | static_cast<uint32_t>(d[9]) << 8 |
                                  static_cast<uint32_t>(d[10]) << 16 |
                                  static_cast<uint32_t>(d[11]) << 24);
  t.percent = static_cast<unsigned int>(d[12] | d[13] << 8);
  t.state = d[14];
  t.origin = d[15];
  return t;
}

// Short machine names; the readable line uses the same words.
const char* TaskName(unsigned int code) {
  switch (code) {
    case 1: return "raid1-sync";
    case 2: return "raid01-sync";
    case 3: return "raid5-sync";
    case 4: return "migrate";
    case 5: return "replace";
    default: return "unknown";
  }
}

const char* TaskStateName(unsigned int state) {
  static const char* const kNames[] = {"unknown", "new",       "starting", "stopped",
                                       "completed", "running", "broken"};
  return state < sizeof(kNames) / sizeof(kNames[0]) ? kNames[state] : "unknown";
}

const char* OriginName(unsigned int origin) {
  return origin == 1 ? "client" : origin == 2 ? "service" : "unknown";
}

const char* KindName(int kind) {
  switch (kind) {
    case KEL_NOTICE_KIND_HOTPLUG: return "hotplug";
    case KEL_NOTICE_KIND_DISK_STATUS: return "disk-status";
    case KEL_NOTICE_KIND_TASK: return "task";
    case KEL_NOTICE_KIND_KICKED: return "kicked";
    default: return nullptr;
  }
}

// ISO 8601 in UTC, so that lines from several hosts sort together.
std::string Stamp(std::time_t when) {
  std::tm tm{};
  gmtime_r(&when, &tm);
  char text[32];
  strftime(text, sizeof(text), "%Y-%m-%dT%H:%M:%SZ", &tm);
  return text;
}

bool IsTask(int kind, unsigned short len) {
  return kind == KEL_NOTICE_KIND_TASK && len >= kNoticeTaskSize;
}

}  // namespace

std::vector<KelctlDiskStatus> DecodeDiskStatusNotice(const unsigned char* data,
                                                     unsigned short len) {
  std::vector<KelctlDiskStatus> disks;
  if (len == 0) return disks;
  const unsigned int pairs = (len - 1u) / 2u;
  const unsigned int count = data[0] < pairs ? data[0] : pairs;
  for (unsigned int i = 0; i < count; ++i) disks.push_back({data[1 + 2 * i], data[2 + 2 * i]});
  return disks;
}

std::string FormatNoticeLine(int kind, const unsigned char* data, unsigned short len,
                             std::time_t when) {
  std::string line = Stamp(when) + " ";
  if (kind == KEL_NOTICE_KIND_HOTPLUG) {
    line += "hotplug: disks or hubs were plugged in or pulled out";
  } else if (kind == KEL_NOTICE_KIND_DISK_STATUS) {
    line += "disk-status:";
    for (const KelctlDiskStatus& d : DecodeDiskStatusNotice(data, len))
      line += " disk " + std::to_string(d.disk) + (d.smart == 0 ? " healthy" : " abnormal") +
              " (SMART status " + std::to_string(d.smart) + ")";
  } else if (IsTask(kind, len)) {
    const TaskNotice t = DecodeTask(data);
    line += std::string("task: ") + TaskName(t.code) +
            (t.code == 5 ? " of disk " + std::to_string(t.first) + " by disk " +
                               std::to_string(t.second)
                         : " of array " + std::to_string(t.first)) +
            " " + TaskStateName(t.state) + " " + std::to_string(t.percent) + "% result " +
            std::to_string(t.result) + " (started by the " + OriginName(t.origin) + ")";
  } else if (kind == KEL_NOTICE_KIND_KICKED) {
    line += "kicked: another login of this user took the session over";
  } else {
    line += "notice " + std::to_string(kind);
  }
  return line + "\n";
}

std::string FormatNoticeJson(int kind, const unsigned char* data, unsigned short len,
                             std::time_t when) {
  JsonWriter j;
  j.AddString("time", Stamp(when));
  const char* name = KindName(kind);
  j.AddString("event", name != nullptr ? name : "notice");
  j.AddInt("kind", kind);
  if (kind == KEL_NOTICE_KIND_DISK_STATUS) {
    std::vector<JsonWriter> disks;
    for (const KelctlDiskStatus& d : DecodeDiskStatusNotice(data, len)) {
      JsonWriter disk;
      disk.AddInt("disk", d.disk).AddInt("smart", d.smart).AddBool("healthy", d.smart == 0);
      disks.push_back(disk);
    }
    j.AddObjects("disks", disks);
  } else if (IsTask(kind, len)) {
    const TaskNotice t = DecodeTask(data);
    j.AddString("task", TaskName(t.code)).AddInt("code", t.code);
    if (t.code == 5)
      j.AddInt("disk", t.first).AddInt("newDisk", t.second);
    else
      j.AddInt("array", t.first);
    j.AddString("state", TaskStateName(t.state)).AddInt("percent", t.percent);
    j.AddInt("result", t.result).AddString("origin", OriginName(t.origin));
  }
  return j.Text() + "\n";
}

std::string FormatServices(const std::vector<KelctlService>& services, bool json) {
  if (json) {
    std::vector<JsonWriter> list;
    for (const KelctlService& s : services) {
      JsonWriter one;
      one.AddString("address", s.address).AddString("name", s.name);
      list.push_back(one);
    }
    JsonWriter j;
    j.AddString("command", "discover").AddBool("ok", true).AddObjects("services", list);
    return j.Text() + "\n";
  }
  if (services.empty()) return "(no service answered)\n";
  std::string out;
  for (const KelctlService& s : services) out += s.address + "  " + s.name + "\n";
  return out;
}
