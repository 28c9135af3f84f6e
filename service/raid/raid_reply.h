// Request checks and reply building shared by the RAID command handlers. Every handler
// answers in place in the command's data area: data[0] keeps the sub-code, data[1..4] carry
// the return code (big-endian), and handlers with a payload move the request record five
// bytes up so the client reads it back, as updated, from data[5].
//
// Records inside the payloads are little-endian and may sit at any offset, so handlers copy
// them through aligned locals instead of handing the engine pointers into the data area.
#ifndef KEL_SERVICE_RAID_RAID_REPLY_H
#define KEL_SERVICE_RAID_RAID_REPLY_H

#include <cstdint>
#include <cstring>

#include "sharedlib/raid_records.h"

class KelUserCmd;

inline constexpr uint16_t kRaidShortReplyLen = 5;
// The reply is framed in place over the data area (9 bytes of framing around the payload in
// a 2065-byte buffer), so no reply may be longer than this.
inline constexpr int kRaidMaxReplyLen = 2056;
// A sub-code the handler does not know.
inline constexpr int kRaidUnknownSubCode = 1002;

// Sets the reply to its bare return code (length 5). Returns `ret`.
int RaidShortReply(KelUserCmd* cmd, int ret);

// True when the client sent at least `need` bytes and a reply built from them fits the data
// area. Otherwise prints one diagnostic and answers 201 with a 5-byte reply: a handler must
// never read what the client did not send.
bool RaidRequestFits(KelUserCmd* cmd, int need);

// Moves the first `reqLen` bytes five up, writes `ret` as the return code and sets the reply
// length to reqLen + 5. `reqLen` must have passed RaidRequestFits. Returns `ret`.
int RaidPayloadReply(KelUserCmd* cmd, int reqLen, int ret);

// The 8-byte device reference at `at` (index in its first byte, magic at bytes 4 and 5).
_Index_Plus_t RaidIndexAt(const KelUserCmd* cmd, int at);

// Copies a record out of the data area into an aligned local and back.
template <typename T>
void RaidLoadRecord(const unsigned char* from, T* to) {
  std::memcpy(to, from, sizeof(T));
}
template <typename T>
void RaidStoreRecord(const T& from, unsigned char* to) {
  std::memcpy(to, &from, sizeof(T));
}

#endif
