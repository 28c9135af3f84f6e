// kelctl's task commands as sequences of library calls. A task record quotes the current
// magic numbers of its array or disks, read just before, as every change does.
#include "tools/kelctl/kelctl_task_runner.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <thread>

#include "tools/kelctl/kelctl_commands.h"
#include "tools/kelctl/kelctl_interrupt.h"
#include "tools/kelctl/kelctl_session.h"
#include "tools/kelctl/kelctl_task_format.h"
#include "webext/client/client_raid_query.h"
#include "webext/client/kelclient.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kNoSuchObject = 200;
constexpr int kWrongLevel = 202;
constexpr uint64_t kSectorBytes = 512;
// Progress changes without a notice, so it is polled this often.
constexpr std::chrono::milliseconds kPollEvery(1000);
// The longest a wait blocks: how late Ctrl-C or --timeout is noticed.
constexpr std::chrono::milliseconds kSlice(250);

bool Fail(KelctlOutcome* outcome, int code, const std::string& stage,
          const std::string& message = "") {
  if (code == 0) return true;
  outcome->code = code;
  outcome->stage = stage;
  outcome->message = message;
  return false;
}

// The array named by index or by RAID array name.
int FindArray(int sock, const std::string& ref, _zr_array_info* info) {
  const bool byIndex = !ref.empty() && ref.size() <= 3 &&
                       ref.find_first_not_of("0123456789") == std::string::npos &&
                       std::stoul(ref) <= 255;
  if (byIndex) return KelGetArrayInfo(sock, static_cast<unsigned char>(std::stoul(ref)), info);
  unsigned char indexes[kRaidMaxSortedArrays] = {};
  unsigned int count = 0;
  if (int code = KelGetSortedArrayIndexes(sock, &count, indexes); code != 0) return code;
  for (unsigned int i = 0; i < count; ++i) {
    _zr_array_info a{};
    if (int code = KelGetArrayInfo(sock, indexes[i], &a); code != 0) return code;
    if (a.raidType != KEL_RAID_PD && strnlen(a.arrayName, sizeof a.arrayName) == ref.size() &&
        ref.compare(0, ref.size(), a.arrayName, ref.size()) == 0) {
      *info = a;
      return 0;
    }
  }
  return kNoSuchObject;
}

uint8_t SyncCodeFor(uint8_t raidType) {
  switch (raidType) {
    case KEL_RAID_1: return KEL_TASK_CODE_SYNC_RAID1;
    case KEL_RAID_01: return KEL_TASK_CODE_SYNC_RAID01;
    case KEL_RAID_5: return KEL_TASK_CODE_SYNC_RAID5;
    default: return 0;
  }
}

// The record that names the task of `o`, with current magic numbers; *bytes the size of
// what the task works through (0 when unknown).
bool TaskRecordFor(int sock, const KelctlOptions& o, KelTaskRecord* record, uint64_t* bytes,
                   KelctlOutcome* outcome) {
  const std::string name = KelctlCommandName(o.command);
  if (o.taskKind == KelctlTaskKind::kReplace) {
    _zr_device_info from{}, to{};
    if (!Fail(outcome, KelGetDiskInfo(sock, static_cast<unsigned char>(o.fromDisk), &from),
              name + ": disk " + std::to_string(o.fromDisk)) ||
        !Fail(outcome, KelGetDiskInfo(sock, static_cast<unsigned char>(o.toDisk), &to),
              name + ": disk " + std::to_string(o.toDisk)))
      return false;
    *record = KelReplaceTask(o.fromDisk, from.magicNum, o.toDisk, to.magicNum);
    *bytes = from.Capacity() * kSectorBytes;
    return true;
  }
  const std::string& ref = o.arrayRefs.front();
  _zr_array_info array{};
  if (!Fail(outcome, FindArray(sock, ref, &array), name + ": array " + ref)) return false;
  uint8_t code = KEL_TASK_CODE_MIGRATE;
  if (o.taskKind == KelctlTaskKind::kSync) {
    code = SyncCodeFor(array.raidType);
    if (code == 0)
      return Fail(outcome, kWrongLevel, name,
                  "only raid1, raid01 and raid5 arrays are synchronised");
  }
  *record = KelArrayTask(code, array.index, array.magicNum);
  *bytes = array.Capacity() * kSectorBytes;
  return true;
}

uint8_t OperationOf(KelctlCommand command) {
  switch (command) {
    case KelctlCommand::kTaskStart: return KEL_TASK_OPERATION_START;
    case KelctlCommand::kTaskStop: return KEL_TASK_OPERATION_STOP;
    case KelctlCommand::kReplacePrepare: return KEL_TASK_OPERATION_PREPARE;
    case KelctlCommand::kReplaceWithdraw: return KEL_TASK_OPERATION_WITHDRAW;
    default: return KEL_TASK_OPERATION_QUERY;
  }
}

// A status query that found the task reports its state, whatever it is.
bool FoundTask(int code) {
  return KelTaskCallSucceeded(code) || code == 1113 || code == 1117;
}

}  // namespace

void RunKelctlTaskCommand(int sock, const KelctlOptions& o, KelctlOutcome* outcome) {
  const std::string name = KelctlCommandName(o.command);
  KelctlTaskData& t = outcome->tasks;
  if (o.command == KelctlCommand::kTasks) {
    KelTaskRecord list[kTaskMaxListed];
    unsigned int count = 0;
    if (Fail(outcome, KelTaskList(sock, list, &count), name)) t.tasks.assign(list, list + count);
    return;
  }
  uint64_t bytes = 0;
  if (!TaskRecordFor(sock, o, &t.task, &bytes, outcome)) return;
  const int code = KelTaskCall(sock, OperationOf(o.command), &t.task);
  t.haveTask = t.task.state != KEL_TASK_STATE_UNKNOWN;
  const bool ok = o.command == KelctlCommand::kTaskStatus ? FoundTask(code)
                                                          : KelTaskCallSucceeded(code);
  if (!ok) {
    Fail(outcome, code, name);
    // The state the service reported says more than the code alone.
    outcome->raid.showOnFailure = t.haveTask && o.command != KelctlCommand::kReplacePrepare &&
                                  o.command != KelctlCommand::kReplaceWithdraw;
  }
}

namespace {

class TaskWait {
 public:
  TaskWait(CLIENT_INFO* ci, const KelctlOptions& o, const KelctlLineSink& sink,
           KelctlOutcome* outcome)
      : m_ci(ci), m_o(o), m_sink(sink), m_out(outcome) {}

  void Run() {
    uint64_t bytes = 0;
    if (!TaskRecordFor(m_ci->nCmdSock, m_o, &m_task, &bytes, m_out)) return;
    const KelctlWaitStyle style = m_o.json       ? KelctlWaitStyle::kJson
                                  : m_o.terminal ? KelctlWaitStyle::kBar
                                                 : KelctlWaitStyle::kLines;
    KelctlTaskWaitView view(style, bytes);
    // Without notices every change is learnt by polling; nothing else differs.
    m_notices = InitEventSocket(m_ci, nullptr, m_o.host.c_str(), m_o.notifyPort) == 0;
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = start + std::chrono::seconds(m_o.waitSec);
    Clock::time_point nextPoll = start;
    while (!view.Ended()) {
      if (KelctlInterruptCatcher::Interrupted())
        return (void)Fail(m_out, KEL_CLIENT_TIMEOUT, "task wait", "interrupted; the task goes on");
      const Clock::time_point now = Clock::now();
      if (m_o.waitSec != 0 && now >= deadline)
        return (void)Fail(m_out, KEL_CLIENT_TIMEOUT, "task wait",
                          "the task did not end within --timeout; it goes on");
      KelTaskRecord seen{};
      if (now >= nextPoll) {
        nextPoll = now + kPollEvery;
        if (!Poll(&seen)) return;
        Show(&view, seen, start);
      } else if (NextNotice(&seen)) {
        Show(&view, seen, start);
      }
    }
    m_out->tasks.task = view.Last();
    m_out->tasks.haveTask = true;
    if (!view.Completed()) {
      const uint8_t state = view.Last().state;
      const int code = state == KEL_TASK_STATE_BROKEN    ? 1113
                       : state == KEL_TASK_STATE_STOPPED ? 1117
                                                         : KEL_TASK_RC_NO_SUCH;
      Fail(m_out, code, "task wait", view.EndReason());
    }
  }

 private:
  void Show(KelctlTaskWaitView* view, const KelTaskRecord& seen, Clock::time_point start) {
    const double sec = std::chrono::duration<double>(Clock::now() - start).count();
    const std::string text = view->Observe(seen, sec, std::time(nullptr));
    if (!text.empty()) m_sink(text);
  }

  bool Poll(KelTaskRecord* seen) {
    *seen = m_task;
    const int code = KelTaskCall(m_ci->nCmdSock, KEL_TASK_OPERATION_QUERY, seen);
    // Any answer with the record tells the state, "no such task" included.
    if (code != 0 && seen->state == KEL_TASK_STATE_UNKNOWN && code != 1103)
      return Fail(m_out, code, "task wait");
    return true;
  }

  // Waits up to one slice for a notice about this task; false when none came.
  bool NextNotice(KelTaskRecord* seen) {
    const auto slice = std::chrono::duration_cast<std::chrono::microseconds>(kSlice);
    if (!m_notices) {
      std::this_thread::sleep_for(slice);
      return false;
    }
    int kind = 0;
    unsigned short len = 0;
    unsigned char data[kClientBufSize];
    const int code = CheckRaidEventWithin(m_ci, &kind, data, &len, 0,
                                          static_cast<unsigned int>(slice.count()));
    if (code == KEL_CLIENT_SEND_FAILED) {
      m_notices = false;  // the notification connection is gone: polling alone from now on
      return false;
    }
    if (code != 0 || kind != KEL_NOTICE_KIND_TASK || len < kNoticeTaskSize) return false;
    *seen = KelTaskFromBytes(data);
    return KelTaskSame(*seen, m_task);
  }

  CLIENT_INFO* m_ci;
  const KelctlOptions& m_o;
  const KelctlLineSink& m_sink;
  KelctlOutcome* m_out;
  KelTaskRecord m_task{};
  bool m_notices = false;
};

}  // namespace

KelctlOutcome RunKelctlTaskWait(const KelctlOptions& options, const KelctlSecrets& secrets,
                                const KelctlLineSink& sink) {
  KelctlOutcome outcome;
  KelctlInterruptCatcher catcher;
  CLIENT_INFO ci;
  ClientInfoInit(&ci);
  if (!Fail(&outcome, OpenConnect(&ci, options.host.c_str(), options.port), "connect"))
    return outcome;
  const bool joined = !options.sessionId.empty();
  const int code = joined ? UserSessionLogin(&ci, options.sessionId.c_str())
                          : UserLogin(&ci, options.user.c_str(), secrets.password.c_str());
  if (joined && code != 0) outcome.sessionEnded = KelctlSessionEnded(code);
  if (Fail(&outcome, code, joined ? "session login" : "login")) {
    if (joined) snprintf(ci.szClientID, sizeof(ci.szClientID), "%s", options.sessionId.c_str());
    outcome.clientId = ci.szClientID;
    TaskWait(&ci, options, sink, &outcome).Run();
    if (!joined) UserLogout(&ci, nullptr);
  }
  CloseConnect(&ci);
  return outcome;
}
