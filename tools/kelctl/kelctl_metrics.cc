// The metrics read and their Prometheus text.
#include "tools/kelctl/kelctl_metrics.h"

#include "tools/kelctl/kelctl_raid_text.h"
#include "webext/client/client_raid_query.h"
#include "webext/client/kelclient.h"

namespace {

constexpr unsigned int kMapSlots = 128;

bool Step(KelctlOutcome* outcome, int code, const std::string& stage) {
  if (code == 0) return true;
  outcome->code = code;
  outcome->stage = stage;
  return false;
}

// A label value: backslash, quote and line feed are the bytes the format escapes; the
// rest was made printable ASCII before.
std::string LabelValue(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

void Header(std::string* out, const char* name, const char* help) {
  *out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " gauge\n";
}

void Sample(std::string* out, const std::string& name, unsigned long long value) {
  *out += name + " " + std::to_string(value) + "\n";
}

bool DiskHealthy(const KelctlDiskHealth& h) {
  return h.code == 0 && h.haveDisk && h.status == KEL_SMART_HEALTHY &&
         (h.disk.status & (KEL_PD_FLAG_HEALTH_BAD | KEL_PD_FLAG_UNREADABLE)) == 0;
}

}  // namespace

void RunKelctlMetrics(CLIENT_INFO* ci, KelctlOutcome* outcome) {
  const int sock = ci->nCmdSock;
  KelctlRaidData& raid = outcome->raid;
  if (!Step(outcome, KelGetDiskMap(sock, &raid.diskMap), "metrics: disk map")) return;
  for (unsigned int i = 0; i < kMapSlots; ++i) {
    if (!KelIndexMapHas(raid.diskMap, i)) continue;
    KelctlDiskHealth h;
    h.index = i;
    if (!Step(outcome, KelGetDiskInfo(sock, static_cast<unsigned char>(i), &h.disk),
              "metrics: disk " + std::to_string(i)))
      return;
    h.haveDisk = true;
    const _Index_Plus_t ref = KelMakeRef(i, h.disk.magicNum);
    // A disk whose SMART status cannot be read is counted as not healthy, not as an error:
    // that is exactly what the metric is for.
    h.code = KelSmartStatus(sock, &ref, &h.status);
    raid.health.push_back(h);
  }
  unsigned char indexes[kRaidMaxSortedArrays] = {};
  unsigned int count = 0;
  if (!Step(outcome, KelGetSortedArrayIndexes(sock, &count, indexes), "metrics: array list"))
    return;
  for (unsigned int k = 0; k < count; ++k) {
    _zr_array_info info{};
    if (!Step(outcome, KelGetArrayInfo(sock, indexes[k], &info),
              "metrics: array " + std::to_string(indexes[k])))
      return;
    raid.arrays.push_back(info);
  }
  unsigned int overLimit = 0;
  if (Step(outcome, UserGetLogStatus(ci, &overLimit, &outcome->logSize, &outcome->logLines),
           "metrics: log status"))
    outcome->overLimit = overLimit != 0;
}

std::string FormatKelctlMetrics(const KelctlOutcome& outcome) {
  const KelctlRaidData& raid = outcome.raid;
  std::string out;
  unsigned long long healthy = 0;
  for (const KelctlDiskHealth& h : raid.health) healthy += DiskHealthy(h) ? 1 : 0;
  Header(&out, "kel_disks_present", "Disks the controller lists.");
  Sample(&out, "kel_disks_present", raid.health.size());
  Header(&out, "kel_disks_healthy",
         "Listed disks with a healthy SMART status and neither the health-bad nor the "
         "unreadable flag.");
  Sample(&out, "kel_disks_healthy", healthy);

  // Every status appears, also at 0, so that an alert sees a series go up rather than
  // appear. An array with several status bits counts under each of them.
  static const struct {
    const char* label;
    unsigned int bit;  // 0: no bit set at all
  } kStatuses[] = {{"normal", 0},
                   {"degraded", KEL_RA_STATUS_MISSING},
                   {"invalid_member", KEL_RA_STATUS_INVALID},
                   {"needs_sync", KEL_RA_STATUS_NEED_SYNC}};
  Header(&out, "kel_arrays", "RAID arrays by status (plain disks are not counted).");
  for (const auto& s : kStatuses) {
    unsigned long long n = 0;
    for (const _zr_array_info& a : raid.arrays)
      if (a.raidType != KEL_RAID_PD && (s.bit == 0 ? a.status == 0 : (a.status & s.bit) != 0))
        ++n;
    Sample(&out, std::string("kel_arrays{status=\"") + s.label + "\"}", n);
  }

  Header(&out, "kel_disk_smart_healthy",
         "1 when the disk's SMART status is healthy, 0 when it is not or cannot be read.");
  for (const KelctlDiskHealth& h : raid.health) {
    const std::string labels = "{disk=\"" + std::to_string(h.index) + "\",model=\"" +
                               LabelValue(Printable(FieldText(h.disk.modelName))) +
                               "\",serial=\"" +
                               LabelValue(Printable(FieldText(h.disk.serialNumber))) + "\"}";
    Sample(&out, "kel_disk_smart_healthy" + labels,
           h.code == 0 && h.status == KEL_SMART_HEALTHY ? 1 : 0);
  }

  Header(&out, "kel_event_log_bytes", "Size of the service's event log file.");
  Sample(&out, "kel_event_log_bytes", outcome.logSize);
  Header(&out, "kel_event_log_lines", "Lines in the service's event log.");
  Sample(&out, "kel_event_log_lines", outcome.logLines);
  Header(&out, "kel_event_log_over_limit",
         "1 when the event log file has outgrown its maximum size and should be cleared.");
  Sample(&out, "kel_event_log_over_limit", outcome.overLimit ? 1 : 0);
  return out;
}
