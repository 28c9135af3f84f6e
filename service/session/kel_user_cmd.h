// KelUserCmd: one client command, request and reply in the same record, and
// KelUserCmdQueue, the FIFO of records that sessions and the worker keep.
//
// Ownership: the connection thread that received a record is its only owner and the only
// code that releases it. It hands the record to the pipeline and waits for its completion;
// whoever holds the record in the pipeline at that moment (a session's waiting queue, the
// parser, the worker) completes it exactly once and never touches it afterwards. Paths
// that end a command early (unknown session, session destroyed, shutdown) complete it
// instead of releasing it, so a record is released once and never under its issuer's
// feet. The running queue of a session is bookkeeping only: the worker holds those records.
#ifndef KEL_SERVICE_SESSION_KEL_USER_CMD_H
#define KEL_SERVICE_SESSION_KEL_USER_CMD_H

#include <cstdint>
#include <string>

#include "sharedlib/cmd_codes.h"
#include "sharedlib/kel_list.h"
#include "sharedlib/kel_mutex.h"
#include "sharedlib/kel_wait.h"
#include "sharedlib/mem_pool.h"
#include "sharedlib/packet.h"

class KelClientThread;
struct KelSrvPrivate;

// Return codes of the pipeline itself.
enum KelPipelineRet {
  KEL_RET_OK = 0,
  KEL_RET_INVALID_CMD = 1,
  KEL_RET_STALE_MAGIC = 2,
  KEL_RET_PERMISSION = 3,
  KEL_RET_NOT_DISPATCHED = 4,
};

enum KelCmdState : uint8_t {
  KEL_CMD_STATE_NEW = 0,
  KEL_CMD_STATE_WAITING = 1,  // in a waiting queue, or about to be
  KEL_CMD_STATE_RUNNING = 2,  // handed to the worker
  KEL_CMD_STATE_DONE = 3,     // executed
};

enum KelCmdStatus : uint8_t {
  KEL_CMD_OK = 0,
  KEL_CMD_REFUSED = 1,  // never retried
  KEL_CMD_FAILED = 2,   // retried while retriesLeft > 0
  KEL_CMD_DEAD = 3,     // the issuing session is gone
  KEL_CMD_RETRY = 4,    // being retried
};

inline constexpr int kCmdDataSize = 2064;
static_assert(kCmdDataSize == kMaxPayload, "a record holds the largest payload received");

class KelUserCmd : public KelMemPool {
 public:
  KelUserCmd();
  ~KelUserCmd();
  KelUserCmd(const KelUserCmd&) = delete;
  KelUserCmd& operator=(const KelUserCmd&) = delete;

  // Wakes the issuing connection thread. Called exactly once by the record's holder.
  bool Complete() { return doneEvent.Complete(); }
  // The issuer's wait, without limit.
  bool WaitForComplete() { return doneEvent.WaitForComplete(-1); }

  // The return code at data[1..4], big-endian.
  void SetRetCode(int code) { ::INT32SToBuf(code, 1, data); }
  int GetRetCode() const { return ::BufToINT32S(1, data); }

  void INT32SToBuf(int value, int index) { ::INT32SToBuf(value, index, data); }
  void INT32UToBuf(unsigned int value, int index) { ::INT32UToBuf(value, index, data); }
  int BufToINT32S(int index) const { return ::BufToINT32S(index, data); }
  unsigned int BufToINT32U(int index) const { return ::BufToINT32U(index, data); }

  // Releases every record still in existence; only at shutdown, when no thread can hold one.
  static void ClearAllCmds();
  // Number of records in existence (tests and diagnostics).
  static int LiveCount();

  unsigned char code = 0;
  uint16_t m_CmdDataLen = 0;  // request length on arrival, reply length after execution
  uint8_t state = KEL_CMD_STATE_NEW;
  uint8_t status = KEL_CMD_OK;
  uint8_t retriesLeft = 2;
  // Frames the reply (code, data, m_CmdDataLen) in place over the data area and sends it;
  // SendPacket's result. A reply length beyond kCmdDataSize is cut to it, with a message.
  int SendReply(int sock);

  // The reply packet is framed in place over the data area, so the area has room for the
  // framing behind the largest payload a request or a reply can carry: whatever arrived, and
  // whatever length a handler or an echo leaves, the packet fits.
  unsigned char data[kCmdDataSize + kPacketOverhead];
  unsigned char* m_pCmdCopy = nullptr;  // saved request for retries: length (2 bytes), bytes
  int clientID = -1;
  KelClientThread* pIssuer = nullptr;  // the connection thread that received the record

 private:
  KelWait doneEvent;
  // Membership in the list of all records, guarded by user_cmd_mutex.
  KelUserCmd* m_prev = nullptr;
  KelUserCmd* m_next = nullptr;
};

// Prepares a received command: its retry budget and, when it may be retried, a copy of the
// request to restore from.
void KelCmdInit(KelUserCmd* cmd);
// Before a rerun (status KEL_CMD_RETRY): restores the request from the saved copy.
void KelCmdRetryPrep(KelUserCmd* cmd);
void KelCmdComplete(KelSrvPrivate* priv, KelUserCmd* cmd);
bool IsSrvLocalCmd(const KelUserCmd* cmd);
bool KelCmdPermissionCheck(KelUserCmd* cmd, std::string& logText);

// FIFO of records; does not own them. Every operation but lock/unlock expects the caller to
// hold the queue's lock.
class KelUserCmdQueue {
 public:
  KelUserCmdQueue() = default;
  explicit KelUserCmdQueue(int owner) : owner(owner) {}

  void SetOwner(int id) { owner = id; }
  int GetOwner() const { return owner; }

  bool lock() ACQUIRE(mutex);  // a failing lock call ends the process
  bool unlock() RELEASE(mutex) { return mutex.unlock(); }

  bool AddToQueue(KelUserCmd* cmd) REQUIRES(mutex);
  bool RemoveFromQueue(KelUserCmd* cmd) REQUIRES(mutex);
  // With `cmd` null (or not queued here) yields the head, else the record after `cmd`.
  bool GetNextCmd(KelUserCmd*& cmd) REQUIRES(mutex);
  // Unlinks and yields the head; false when empty.
  bool PopHead(KelUserCmd*& cmd) REQUIRES(mutex);
  int GetCmdCnt() const REQUIRES(mutex) { return m_nCmds; }
  void DumpQueue() REQUIRES(mutex);

 private:
  KelMutex mutex;
  KelList<KelUserCmd*> cmds GUARDED_BY(mutex);
  int owner = -1;             // client ID, -1 for the worker's queue
  int m_nCmds GUARDED_BY(mutex) = 0;
};

#endif
