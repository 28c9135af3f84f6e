// Loading, parsing and rewriting of the settings file. The table of rows drives all three,
// so adding a setting means one new row and one static member.
#include "service/config/kel_remote_config.h"

#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sharedlib/atomic_file.h"
#include "sharedlib/diag.h"

namespace {

// Longest line the reader accepts, newline not counted.
constexpr std::size_t kMaxLineLen = 1023;

const char* const kTrueTexts[] = {"true", "t", "TRUE", "T"};

bool IsTrueText(const char* text) {
  for (const char* t : kTrueTexts)
    if (std::strcmp(text, t) == 0) return true;
  return false;
}

// Signed decimal into 32 bits. The file is written with the 32 bits as unsigned decimal, so
// values up to UINT32_MAX are taken as those 32 bits and a value the service wrote reads back
// unchanged; values further out saturate at the int32 bounds.
int32_t ParseInt32(const std::string& text) {
  long long v = std::strtoll(text.c_str(), nullptr, 10);
  if (v > static_cast<long long>(UINT32_MAX)) return INT32_MAX;
  if (v > INT32_MAX) return static_cast<int32_t>(static_cast<uint32_t>(v));
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(v);
}

// Comment cut and blank removal of one line.
std::string StripLine(const std::string& line) {
  std::string out;
  std::string::size_type end = line.find('#');
  if (end == std::string::npos) end = line.size();
  out.reserve(end);
  for (std::string::size_type i = 0; i < end; ++i)
    if (line[i] != ' ') out.push_back(line[i]);
  return out;
}

// Stores `text` into `row` according to its type. False for an unknown type.
bool StoreValue(const KelCfgArgInfo& row, const std::string& text) {
  switch (row.type) {
    case CFG_BOOL:
      *static_cast<bool*>(row.value) = IsTrueText(text.c_str());
      return true;
    case CFG_INT:
    case CFG_LONG:
      *static_cast<int32_t*>(row.value) = ParseInt32(text);
      return true;
    case CFG_FLOAT:
      *static_cast<float*>(row.value) = static_cast<float>(std::strtod(text.c_str(), nullptr));
      return true;
    case CFG_DOUBLE:
      *static_cast<double*>(row.value) = std::strtod(text.c_str(), nullptr);
      return true;
    case CFG_STRING:
      *static_cast<std::string*>(row.value) = text;
      return true;
    default:
      return false;
  }
}

// Appends "KEY = VALUE\n" for one row.
void FormatRow(const KelCfgArgInfo& row, std::string* out) {
  char number[64];
  out->append(row.name);
  out->append(" = ");
  switch (row.type) {
    case CFG_BOOL:
      out->append(*static_cast<const bool*>(row.value) ? "TRUE" : "FALSE");
      break;
    case CFG_INT:
    case CFG_LONG:
      std::snprintf(number, sizeof(number), "%" PRIu32,
                    static_cast<uint32_t>(*static_cast<const int32_t*>(row.value)));
      out->append(number);
      break;
    case CFG_FLOAT:
      std::snprintf(number, sizeof(number), "%.9g",
                    static_cast<double>(*static_cast<const float*>(row.value)));
      out->append(number);
      break;
    case CFG_DOUBLE:
      std::snprintf(number, sizeof(number), "%.17g", *static_cast<const double*>(row.value));
      out->append(number);
      break;
    case CFG_STRING:
      out->append(*static_cast<const std::string*>(row.value));
      break;
    default:
      break;
  }
  out->push_back('\n');
}

}  // namespace

KelRemoteConfig::KelRemoteConfig(const char* path)
    : m_strCfgFile(path != nullptr ? path : KEL_CFG_DEFAULT_FILE) {
  InitCfgArg();
  bool fixed;
  {
    KelMutexGuard hold(kelCfgLock);
    fixed = FixDefaultArg(m_cfgArgs, KEL_CFG_ARG_COUNT);
  }
  if (!fixed) KEL_PRINT(ZEP_DBG_ERROR, "Fix default configure value failed\n");
  if (!ReadKelConfig()) WriteKelConfig();
}

void KelRemoteConfig::FillCfgTable(KelCfgArgInfo* t) {
  t[0] = {"KEL_CFG_BEEP_ENABLE", CFG_BOOL, &bBeepEnable, "true"};
  t[1] = {"KEL_CFG_HOTPLUG_INTERVAL", CFG_LONG, &nHotplugInterval, &HOTPLUG_TIMER_INTERVAL};
  t[2] = {"KEL_CFG_CHECKDISK_INTERVAL", CFG_LONG, &nCheckDiskStatusInterval,
          &CHECKDISK_TIMER_INTERVAL};
  t[3] = {"KEL_CFG_EVENTLOG_FILE", CFG_STRING, &strEventLogFile, "/var/kel_event.log"};
  t[4] = {"KEL_CFG_ACCOUNT_FILE", CFG_STRING, &strAccountFile, "/var/kel_account"};
  t[5] = {"KEL_CFG_CLIENT_LISTEN_PORT", CFG_INT, &nKelRemoteClientListenPort,
          &KEL_REMOTE_CONFIG_PORT};
  t[6] = {"KEL_CFG_ACK_LISTEN_PORT", CFG_INT, &nKelRemoteEventListenPort,
          &KEL_REMOTE_EVENT_LISTEN_PORT};
  t[7] = {"KEL_CFG_BROADCAST_LISTEN_PORT", CFG_INT, &nKelRemoteBroadcastListenPort,
          &KEL_BROADCAST_LISTEN_PORT};
  t[8] = {"KEL_CFG_MAX_CLIENT_COUNT", CFG_INT, &nKelRemoteMaxClientCount, &KEL_MAX_CLIENT_COUNT};
  t[9] = {"KEL_CFG_MAX_CLIENT_SOCKETS", CFG_INT, &nKelRemoteMaxClientSockets,
          &KEL_MAX_LISTEN_SOCKETS};
  t[10] = {"KEL_CFG_EVENTLOG_MAXSIZE", CFG_LONG, &nKelRemoteEventLogMaxSize,
           &KEL_EVENT_LOG_MAX_LEN};
  t[11] = {"KEL_CFG_EVENTLOG_BYTES_PER_ITEM", CFG_INT, &nKelRemoteEventLogBytesPerItem,
           &KEL_EVENT_LOG_BYTES_PER_ITEM};
  t[12] = {"KEL_CFG_INIT_LOG_FILE", CFG_STRING, &strKelInitLogFile, "/var/kel_init.log"};
  t[13] = {"KEL_CFG_AUTO_SMR", CFG_BOOL, &bAutoSMR, "true"};
}

void KelRemoteConfig::InitCfgArg() { FillCfgTable(m_cfgArgs); }

void KelRemoteConfig::ResetDefaults() {
  KelCfgArgInfo table[KEL_CFG_ARG_COUNT];
  FillCfgTable(table);
  KelMutexGuard hold(kelCfgLock);
  FixDefaultArg(table, KEL_CFG_ARG_COUNT);
}

bool KelRemoteConfig::FixDefaultArg(KelCfgArgInfo* table, int count) {
  if (table == nullptr || count < 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "Invalid parameters\n");
    return false;
  }
  for (int i = 0; i < count; ++i) {
    const KelCfgArgInfo& row = table[i];
    if (row.defaultValue == nullptr) continue;
    switch (row.type) {
      case CFG_BOOL:
        *static_cast<bool*>(row.value) = IsTrueText(static_cast<const char*>(row.defaultValue));
        break;
      case CFG_INT:
      case CFG_LONG:
        *static_cast<int32_t*>(row.value) = *static_cast<const int32_t*>(row.defaultValue);
        break;
      case CFG_FLOAT:
        *static_cast<float*>(row.value) = *static_cast<const float*>(row.defaultValue);
        break;
      case CFG_DOUBLE:
        *static_cast<double*>(row.value) = *static_cast<const double*>(row.defaultValue);
        break;
      case CFG_STRING:
        *static_cast<std::string*>(row.value) = static_cast<const char*>(row.defaultValue);
        break;
      default:
        return false;
    }
  }
  return true;
}

bool KelRemoteConfig::ReadKelConfig() {
  KelMutexGuard hold(kelCfgLock);
  FILE* fp = std::fopen(m_strCfgFile.c_str(), "r");
  if (fp == nullptr) {
    KEL_PRINT(ZEP_DBG_ERROR, "Open configure file %s failed\n", m_strCfgFile.c_str());
    return false;
  }

  // An over-long line ends reading; what came before it still applies.
  std::vector<std::string> lines;
  char* buf = nullptr;
  std::size_t cap = 0;
  ssize_t n;
  while ((n = getline(&buf, &cap, fp)) > 0) {
    std::size_t len = static_cast<std::size_t>(n);
    if (buf[len - 1] == '\n') --len;
    if (len > kMaxLineLen) break;
    if (len > 0) lines.emplace_back(buf, len);
  }
  std::free(buf);

  bool ok = KelParseConfigItems(lines, m_cfgArgs, KEL_CFG_ARG_COUNT);
  if (!ok) KEL_PRINT(ZEP_DBG_ERROR, "Invalid configure file\n");
  std::fclose(fp);
  return ok;
}

bool KelRemoteConfig::KelParseConfigItems(std::vector<std::string>& lines, KelCfgArgInfo* table,
                                          int count) {
  std::vector<int> seen(count > 0 ? static_cast<std::size_t>(count) : 0, 0);
  if (table != nullptr && count > 0) {
    for (const std::string& line : lines) {
      std::string item = StripLine(line);
      std::string::size_type eq = item.find('=');
      if (item.empty() || eq == std::string::npos) {
        KEL_PRINT(ZEP_DBG_WARN, "Invalid configure item\n");
        continue;
      }
      std::string key = item.substr(0, eq);
      std::string value = item.substr(eq + 1);
      if (key.empty() || value.empty()) {
        KEL_PRINT(ZEP_DBG_WARN, "Invalid configure item %s\n", item.c_str());
        continue;
      }
      int row = -1;
      for (int i = 0; i < count; ++i) {
        if (key == table[i].name) {
          row = i;
          break;
        }
      }
      if (row < 0) {
        KEL_PRINT(ZEP_DBG_ERROR, "Unknown option: %s\n", key.c_str());
        continue;
      }
      if (seen[static_cast<std::size_t>(row)]) {
        KEL_PRINT(ZEP_DBG_ERROR, "Multiple configure field %s\n", key.c_str());
        return false;
      }
      seen[static_cast<std::size_t>(row)] = 1;
      if (!StoreValue(table[row], value)) return false;
    }
  }
  return CheckCfgArg(table, seen.data(), count);
}

bool KelRemoteConfig::CheckCfgArg(KelCfgArgInfo* table, const int* seen, int count) {
  if (count == 0) return true;
  if (table == nullptr || seen == nullptr || count < 0) return false;
  bool ok = true;
  for (int i = 0; i < count; ++i) {
    if (table[i].defaultValue == nullptr && !seen[i]) {
      KEL_PRINT(ZEP_DBG_WARN, "Missing arg %s\n", table[i].name);
      ok = false;
    }
  }
  return ok;
}

bool KelRemoteConfig::WriteKelConfig() {
  KelMutexGuard hold(kelCfgLock);
  std::string text;
  for (const KelCfgArgInfo& row : m_cfgArgs) FormatRow(row, &text);
  // A crash or a full disk part-way through must not leave a half-written file behind:
  // the next start would silently fall back to defaults for the lost rows.
  if (!KelReplaceFile(m_strCfgFile.c_str(), text.data(), text.size())) {
    KEL_PRINT(ZEP_DBG_ERROR, "Open configure file %s failed\n", m_strCfgFile.c_str());
    return false;
  }
  return true;
}
