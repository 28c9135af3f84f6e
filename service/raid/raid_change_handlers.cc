// The commands that change the RAID configuration: array creation (and its size query),
// removal, repair, spares, and wiping the configuration area of disks.
//
// Every one of them refuses a request computed from a stale view (a magic number that is
// no longer current) before it touches the engine, and writes one event-log line. Once the
// engine call has run, the command must not be run again by the pipeline's retry: a second
// creation would build another array over the same sectors, a second removal or repair
// would act on what the first one left. Refusals before the engine call keep their retry.
#include "service/raid/raid_change_handlers.h"

#include <cstring>

#include "service/raid/raid_engine_ops.h"
#include "service/raid/raid_handlers.h"
#include "service/raid/raid_magic.h"
#include "service/raid/raid_reply.h"
#include "service/session/kel_user_cmd.h"
#include "sharedlib/diag.h"
#include "sharedlib/kel_thread.h"

namespace {

constexpr int kRefSize = 8;  // one _Index_Plus_t on the wire

// Create request.
constexpr int kCreateStripeAt = 8;
constexpr int kCreateParamAt = 12;
constexpr int kCreateSizeAt = 16;
constexpr int kCreateNameAt = 24;
constexpr int kCreateNameLen = 24;
constexpr int kCreateLevelAt = 24;  // size query: the RAID type asked about
constexpr int kCreateRangeAt = 32;  // size query: the answer
constexpr int kCreateDisksAt = 48;

// Remove request.
constexpr int kRemoveRefsAt = 8;
constexpr int kRemoveResultsAt = 264;
constexpr int kMaxRemove = 32;
// What a removal slot holds until the engine reports on it: never a success.
constexpr int kRemoveUnreported = ZR_BAD_PARAM;

// Repair, spare and clear requests.
constexpr int kRepairArrayAt = 8;
constexpr int kRepairDisksAt = 16;
constexpr int kMaxRepairDisks = (kRepairLen - kRepairDisksAt) / kRefSize;  // 4
constexpr int kSpareArrayAt = 8;
constexpr int kSpareDiskAt = 16;
constexpr int kClearDisksAt = 8;
constexpr int kMaxClearDisks = (kClearDiskLen - kClearDisksAt) / kRefSize;  // 16

// A rescan after a change may find the hardware busy; it is tried a few times.
constexpr int kRescanTries = 5;
constexpr long kRescanPauseMs = 100;

enum CreateKind {
  kCreateSpan = 1,
  kCreateRaid0 = 2,
  kCreateRaid1 = 3,
  kCreateRaid01 = 4,
  kCreateRaid5 = 5,
  kCreateSizeQuery = 6,
};

enum RepairKind {
  kRepairMirrorSpare = 1,
  kRepairMirrorNewDisk = 2,
  kRepairRaid01 = 3,
  kRepairRaid5 = 4,
};

const char* CreateKindName(int kind) {
  static const char* const names[] = {"span", "raid0", "raid1", "raid01", "raid5"};
  return kind >= kCreateSpan && kind <= kCreateRaid5 ? names[kind - kCreateSpan] : "";
}

const char* RepairKindName(int kind) {
  static const char* const names[] = {"raid1 with spare HD", "raid1 with new HD", "raid01",
                                      "raid5"};
  return kind >= kRepairMirrorSpare && kind <= kRepairRaid5 ? names[kind - kRepairMirrorSpare]
                                                            : "";
}

std::string LogLine(const char* level, const std::string& text) {
  return std::string(level) + "~" + text;
}

uint32_t Le32At(const unsigned char* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// The `n` references from `at` on, copied into aligned records.
void LoadRefs(const KelUserCmd* cmd, int at, int n, _Index_Plus_t* refs) {
  for (int i = 0; i < n; ++i) refs[i] = RaidIndexAt(cmd, at + i * kRefSize);
}

// Index of the first listed disk whose magic number is not current, or -1.
int FirstStaleDisk(const _Index_Plus_t* refs, int n) {
  for (int i = 0; i < n; ++i)
    if (!CheckPDMagic(static_cast<uint8_t>(refs[i].nIndex), refs[i].wdMagicNum)) return i;
  return -1;
}

bool CurrentArray(const _Index_Plus_t& ref) {
  return CheckArrayMagic(static_cast<uint8_t>(ref.nIndex), ref.wdMagicNum);
}

bool CurrentDisk(const _Index_Plus_t& ref) {
  return CheckPDMagic(static_cast<uint8_t>(ref.nIndex), ref.wdMagicNum);
}

// A stale reference: return code 2 in place, the failure line, no engine call.
int Stale(KelUserCmd* cmd, std::string& logText, const std::string& failed) {
  cmd->SetRetCode(KEL_RET_STALE_MAGIC);
  logText = LogLine("ERROR", logText + failed);
  return KEL_RET_STALE_MAGIC;
}

// A request the engine must never see (counts beyond its slots, an unterminated name).
int Malformed(KelUserCmd* cmd, std::string& logText, const std::string& failed,
              const char* why) {
  KEL_PRINT(ZEP_DBG_ERROR, "cmd[%d]-task[%d]: %s\n", cmd->code, cmd->data[0], why);
  logText = LogLine("ERROR", logText + failed);
  return RaidShortReply(cmd, ZR_BAD_PARAM);
}

// False, with the 201 reply and the failure line, when the client sent less than `len`.
bool WholeRequest(KelUserCmd* cmd, int len, std::string& logText, const std::string& failed) {
  if (RaidRequestFits(cmd, len)) return true;
  logText = LogLine("ERROR", logText + failed);
  return false;
}

// From here on the engine acts; whatever it answers, the command is not run again.
void EngineCallFollows(KelUserCmd* cmd) { cmd->retriesLeft = 0; }

// The model is rebuilt after a change; the change's own result stands whatever this gives.
void Rescan() {
  int ret = ZR_OK;
  for (int i = 0; i < kRescanTries; ++i) {
    ret = KelRaidEngine().update_hardware_info();
    if (ret == ZR_OK) return;
    if (i + 1 < kRescanTries) KelThread::KelThreadSleep(kRescanPauseMs);
  }
  KEL_PRINT(ZEP_DBG_ERROR, "Rescan after a configuration change failed. Ret [%d]\n", ret);
}

int CallCreate(int kind, const KelUserCmd* cmd, int n, const _Index_Plus_t* disks) {
  const unsigned char* d = cmd->data;
  const uint32_t sizeLow = Le32At(d + kCreateSizeAt);
  const uint32_t sizeHigh = Le32At(d + kCreateSizeAt + 4);
  const int stripe = d[kCreateStripeAt];
  const int option = d[2];
  const char* name = reinterpret_cast<const char*>(d + kCreateNameAt);
  const KelRaidEngineOps& e = KelRaidEngine();
  switch (kind) {
    case kCreateSpan:
      return e.create_span_TARVOII(n, disks, sizeLow, sizeHigh, name, option);
    case kCreateRaid0:
      return e.create_stripe_TARVOII(n, disks, sizeLow, sizeHigh, stripe, name, option);
    case kCreateRaid1:
      return e.create_mirror_TARVOII(n, disks, sizeLow, sizeHigh, name, option);
    case kCreateRaid01:
      return e.create_raid01_TARVOII(n, disks, sizeLow, sizeHigh, stripe, name, option);
    case kCreateRaid5:
      return e.create_raid5_TARVOII(n, disks, sizeLow, sizeHigh, stripe,
                                    static_cast<int>(Le32At(d + kCreateParamAt)), name, option,
                                    d[3]);
    default:
      return KEL_RET_INVALID_CMD;
  }
}

}  // namespace

int NetKelCreateRaid(KelSrvPrivate*, KelUserCmd* pCmd, std::string& logText) {
  const std::string client = logText;
  const std::string failed = " create raid failed";
  if (!WholeRequest(pCmd, kCreateLen, logText, failed)) return ZR_BAD_PARAM;
  if (pCmd->m_CmdDataLen != kCreateLen) KEL_ASSERT_TEXT("pCmd->m_CmdDataLen == sizeof(*pTaskData)");
  KEL_PRINT(ZEP_DBG_INFO, "Enter\n");
  const int kind = pCmd->data[0];
  const int n = pCmd->data[1];
  if (n > KEL_MAX_CREATE_DISKS)
    return Malformed(pCmd, logText, failed, "more disks than a creation can name");
  if (kind != kCreateSizeQuery &&
      std::memchr(pCmd->data + kCreateNameAt, 0, kCreateNameLen) == nullptr)
    return Malformed(pCmd, logText, failed, "array name without terminator");

  _Index_Plus_t disks[KEL_MAX_CREATE_DISKS] = {};
  LoadRefs(pCmd, kCreateDisksAt, n, disks);
  if (FirstStaleDisk(disks, n) >= 0) {
    KEL_PRINT(ZEP_DBG_WARN, "Check PD magic failed\n");
    return Stale(pCmd, logText, failed);
  }

  const bool known = kind >= kCreateSpan && kind <= kCreateSizeQuery;
  if (known) EngineCallFollows(pCmd);
  int ret;
  if (kind == kCreateSizeQuery) {
    _Array_Create_Info_t range{};
    ret = KelRaidEngine().get_array_create_info_by_pds(n, disks, pCmd->data[kCreateLevelAt],
                                                       pCmd->data[2], &range);
    RaidStoreRecord(range, pCmd->data + kCreateRangeAt);
    logText.clear();
  } else {
    ret = CallCreate(kind, pCmd, n, disks);
    if (!known)
      logText = LogLine("WARNING", "received invalid create cmd for client");
    else if (ret == ZR_OK)
      logText = LogLine("INFO", client + " create " + CreateKindName(kind) + " succeed");
    else
      logText = LogLine("WARNING", client + " create " + CreateKindName(kind) + " failed");
  }
  RaidPayloadReply(pCmd, kCreateLen, ret);
  // Asking for a size range changes nothing, and a rescan would renew the magic numbers the
  // client is about to quote.
  if (known && kind != kCreateSizeQuery) Rescan();
  KEL_PRINT(ZEP_DBG_INFO, "Exit\n");
  return ret;
}

int NetKelRemoveRaid(KelSrvPrivate*, KelUserCmd* pCmd, std::string& logText) {
  const std::string failed = " remove raid failed";
  if (!WholeRequest(pCmd, kRemoveLen, logText, failed)) return ZR_BAD_PARAM;
  const int n = pCmd->data[1];
  if (n > kMaxRemove) return Malformed(pCmd, logText, failed, "more arrays than a removal holds");
  _Index_Plus_t arrays[kMaxRemove] = {};
  LoadRefs(pCmd, kRemoveRefsAt, n, arrays);
  for (int i = 0; i < n; ++i) {
    if (!CurrentArray(arrays[i])) {
      KEL_PRINT(ZEP_DBG_WARN, "Check Array[%d] magic failed\n", arrays[i].nIndex & 0xFF);
      return Stale(pCmd, logText, failed);
    }
  }

  EngineCallFollows(pCmd);
  int results[kMaxRemove];
  for (int& r : results) r = kRemoveUnreported;
  const int ret = KelRaidEngine().remove_raid_TARVOII(n, arrays, results);
  for (int i = 0; i < n; ++i)
    std::memcpy(pCmd->data + kRemoveResultsAt + 4 * i, &results[i], sizeof results[i]);
  logText = LogLine(ret == ZR_OK ? "INFO" : "ERROR",
                    logText + (ret == ZR_OK ? " remove raid succeed" : failed));
  RaidPayloadReply(pCmd, kRemoveLen, ret);
  Rescan();
  return ret;
}

int NetKelRepairRaid(KelSrvPrivate*, KelUserCmd* pCmd, std::string& logText) {
  const std::string client = logText;
  const std::string failed = " repair raid failed";
  if (!WholeRequest(pCmd, kRepairLen, logText, failed)) return ZR_BAD_PARAM;
  const int kind = pCmd->data[0];
  const int n = pCmd->data[1];
  if (n > kMaxRepairDisks)
    return Malformed(pCmd, logText, failed, "more disks than a repair holds");
  const _Index_Plus_t array = RaidIndexAt(pCmd, kRepairArrayAt);
  _Index_Plus_t disks[kMaxRepairDisks] = {};
  LoadRefs(pCmd, kRepairDisksAt, n, disks);
  if (!CurrentArray(array)) return Stale(pCmd, logText, failed);
  if (FirstStaleDisk(disks, n) >= 0) {
    KEL_PRINT(ZEP_DBG_WARN, "Check PD magic failed\n");
    return Stale(pCmd, logText, failed);
  }

  const KelRaidEngineOps& e = KelRaidEngine();
  const _Index_Plus_t disk = RaidIndexAt(pCmd, kRepairDisksAt);
  int ret = KEL_RET_INVALID_CMD;
  if (kind >= kRepairMirrorSpare && kind <= kRepairRaid5) EngineCallFollows(pCmd);
  switch (kind) {
    case kRepairMirrorSpare: ret = e.repair_mirror_with_spare_TARVOII(array); break;
    case kRepairMirrorNewDisk: ret = e.repair_mirror_with_new_disk_TARVOII(array, disk); break;
    case kRepairRaid01: ret = e.repair_broken_raid01_TARVOII(array, n, disks); break;
    case kRepairRaid5: ret = e.repair_raid5_with_new_disk_TARVOII(array, disk); break;
    default: break;
  }
  if (ret == ZR_OK)
    logText = LogLine("INFO", client + " repair " + RepairKindName(kind) + " succeed");
  else if (ret == KEL_RET_INVALID_CMD)
    logText = LogLine("WARNING", client + " repair failed, undefined command!");
  else
    logText = LogLine("WARNING", client + " repair " + RepairKindName(kind) + " failed");
  pCmd->SetRetCode(ret);
  return ret;
}

int NetKelAddSpare(KelSrvPrivate*, KelUserCmd* pCmd, std::string& logText) {
  const std::string failed = " add spare failed";
  if (!WholeRequest(pCmd, kAddSpareLen, logText, failed)) return ZR_BAD_PARAM;
  const _Index_Plus_t array = RaidIndexAt(pCmd, kSpareArrayAt);
  const _Index_Plus_t disk = RaidIndexAt(pCmd, kSpareDiskAt);
  if (!CurrentDisk(disk) || !CurrentArray(array)) {
    KEL_PRINT(ZEP_DBG_WARN, "Check Array magic failed\n");
    return Stale(pCmd, logText, failed);
  }
  EngineCallFollows(pCmd);
  const int ret = KelRaidEngine().mirror_add_spare_TARVOII(array, disk);
  logText = LogLine(ret == ZR_OK ? "INFO" : "ERROR",
                    logText + (ret == ZR_OK ? " add spare succeed" : failed));
  pCmd->SetRetCode(ret);
  return ret;
}

int NetKelRemoveSpare(KelSrvPrivate*, KelUserCmd* pCmd, std::string& logText) {
  const std::string failed = " remove spare failed";
  if (!WholeRequest(pCmd, kRemoveSpareLen, logText, failed)) return ZR_BAD_PARAM;
  const _Index_Plus_t array = RaidIndexAt(pCmd, kSpareArrayAt);
  if (!CurrentArray(array)) {
    KEL_PRINT(ZEP_DBG_WARN, "Check Array magic failed\n");
    return Stale(pCmd, logText, failed);
  }
  EngineCallFollows(pCmd);
  const int ret = KelRaidEngine().mirror_remove_spare_TARVOII(array);
  logText = LogLine(ret == ZR_OK ? "INFO" : "ERROR",
                    logText + (ret == ZR_OK ? " remove spare succeed" : failed));
  pCmd->SetRetCode(ret);
  return ret;
}

int NetKelClearDiskConf(KelSrvPrivate*, KelUserCmd* pCmd, std::string& logText) {
  const std::string failed = " clear disk configuration failed";
  if (!WholeRequest(pCmd, kClearDiskLen, logText, failed)) return ZR_BAD_PARAM;
  const int n = pCmd->data[1];
  if (n < 1 || n > kMaxClearDisks)
    return Malformed(pCmd, logText, failed, "disk count out of range");
  _Index_Plus_t disks[kMaxClearDisks] = {};
  LoadRefs(pCmd, kClearDisksAt, n, disks);
  if (FirstStaleDisk(disks, n) >= 0) {
    KEL_PRINT(ZEP_DBG_WARN, "Check PD magic failed\n");
    Stale(pCmd, logText, failed);
    return RaidShortReply(pCmd, KEL_RET_STALE_MAGIC);
  }
  EngineCallFollows(pCmd);
  const int ret = KelRaidEngine().clear_PD_Conf(n, disks);
  logText = LogLine(ret == ZR_OK ? "INFO" : "ERROR",
                    logText + (ret == ZR_OK ? " clear disk configuration succeed" : failed));
  RaidShortReply(pCmd, ret);
  Rescan();
  return ret;
}
