// Background tasks (command code 1) as seen from the client: start, stop and query one
// synchronisation, migration or replacement, list them all, and prepare or withdraw the
// new disk of a replacement. Each call is one exchange on a logged-in command connection.
//
// A task is named by a 16-byte record, little-endian, that the service returns filled in:
//
//   0 u8  task code (KEL_TASK_CODE_*)        8 i32 result
//   1 u8  operation (KEL_TASK_OPERATION_*)  12 u16 progress, 0..100
//   2 u8  the array, or the disk replaced   14 u8  state (KEL_TASK_STATE_*)
//   3 u8  the new disk of a replacement     15 u8  originator: 1 a client, 2 the service
//   4 u16 magic number of byte 2's object
//   6 u16 magic number of the new disk; RAID 0+1 synchronisation: which halves (1..3)
//
// Results: 0 or the service's return code (1112 a finished task counts as success, see
// KelTaskCallSucceeded); 2000 a null pointer; the exchange's codes (2001, 2002, 1002);
// 2003 a reply that is too short or names another task than the one asked about.
#ifndef KEL_WEBEXT_CLIENT_CLIENT_TASK_H
#define KEL_WEBEXT_CLIENT_CLIENT_TASK_H

#include <cstddef>
#include <cstdint>

struct KelTaskRecord {
  uint8_t code = 0;
  uint8_t op = 0;
  uint8_t first = 0;
  uint8_t second = 0;
  uint16_t firstMagic = 0;
  uint16_t secondMagic = 0;
  int32_t result = 0;
  uint16_t percent = 0;
  uint8_t state = 0;
  uint8_t origin = 0;
};
static_assert(sizeof(KelTaskRecord) == 16);
static_assert(offsetof(KelTaskRecord, result) == 8);
static_assert(offsetof(KelTaskRecord, percent) == 12);
static_assert(offsetof(KelTaskRecord, state) == 14);

enum : uint8_t {
  KEL_TASK_CODE_SYNC_RAID1 = 1,
  KEL_TASK_CODE_SYNC_RAID01 = 2,
  KEL_TASK_CODE_SYNC_RAID5 = 3,
  KEL_TASK_CODE_MIGRATE = 4,
  KEL_TASK_CODE_REPLACE = 5,
  KEL_TASK_CODE_LIST = 6,
};

enum : uint8_t {
  KEL_TASK_OPERATION_START = 1,
  KEL_TASK_OPERATION_STOP = 2,
  KEL_TASK_OPERATION_QUERY = 3,
  KEL_TASK_OPERATION_PREPARE = 4,   // replacement: prepare the new disk
  KEL_TASK_OPERATION_WITHDRAW = 5,  // replacement: give the prepared disk up again
};

enum : uint8_t {
  KEL_TASK_STATE_UNKNOWN = 0,  // the service could not lock its task lists
  KEL_TASK_STATE_NEW = 1,      // new, or no such task
  KEL_TASK_STATE_STARTING = 2,
  KEL_TASK_STATE_STOPPED = 3,
  KEL_TASK_STATE_COMPLETED = 4,
  KEL_TASK_STATE_RUNNING = 5,
  KEL_TASK_STATE_BROKEN = 6,
};

// Return codes of the task manager.
inline constexpr int KEL_TASK_RC_FINISHED = 1112;
inline constexpr int KEL_TASK_RC_NO_SUCH = 1111;

// RAID 0+1 synchronisation: both halves.
inline constexpr uint16_t kTaskBothHalves = 3;
// A start waits for the service to confirm the task's first step (up to 5 s); a
// replacement's preparation checks and writes the new disk.
inline constexpr unsigned int kTaskReplyTimeoutSec = 60;
// The most records one list reply carries.
inline constexpr unsigned int kTaskMaxListed = 32;

// Whether a return code means the call did what was asked (0, or 1112: done already).
inline bool KelTaskCallSucceeded(int code) { return code == 0 || code == KEL_TASK_RC_FINISHED; }

// A record naming a task: an array task (codes 1..4) of `array` as last seen with `magic`,
// or a replacement of disk `from` by disk `to`. For RAID 0+1 the halves are both.
KelTaskRecord KelArrayTask(uint8_t code, unsigned int array, uint16_t magic);
KelTaskRecord KelReplaceTask(unsigned int from, uint16_t fromMagic, unsigned int to,
                             uint16_t toMagic);

// Sends `record` with operation `op` (start, stop, query, prepare, withdraw); the record
// comes back as the service left it - result, progress and state - also when the service
// refused (its state tells why), as long as the reply carries it.
int KelTaskCall(int sock, uint8_t op, KelTaskRecord* record);

// Every running and stopped task: *count records copied to `tasks`, which holds
// kTaskMaxListed.
int KelTaskList(int sock, KelTaskRecord* tasks, unsigned int* count);

// Whether `task` (a listed record or a notice) is the task `wanted` names: the same code
// and the same objects; magic numbers and halves are left out, since the service renews
// them while the task runs.
bool KelTaskSame(const KelTaskRecord& task, const KelTaskRecord& wanted);

// The record of a task notice's 16 data bytes.
KelTaskRecord KelTaskFromBytes(const unsigned char* bytes);

#endif
