// The notification connection: registering it for a logged-in session, and reading the
// notices the service pushes on it, answering its liveness probes on the way.
#ifndef KEL_WEBEXT_CLIENT_CLIENT_EVENTS_H
#define KEL_WEBEXT_CLIENT_CLIENT_EVENTS_H

#include "webext/client/client_info.h"

// Kinds of notice as CheckRaidEvent reports them in *type.
enum KelNoticeKind : int {
  KEL_NOTICE_NONE = 0,         // nothing for the caller (a probe was answered)
  KEL_NOTICE_KIND_HOTPLUG = 3,     // disks or hubs were plugged in or pulled out
  KEL_NOTICE_KIND_DISK_STATUS = 4, // count byte n, then n pairs (disk index, SMART status)
  KEL_NOTICE_KIND_TASK = 5,        // the 16-byte record of a task whose state changed
  KEL_NOTICE_KIND_OTHER = 6,       // a kind without data that this library does not name
  KEL_NOTICE_KIND_KICKED = 7,      // another login of the same user took the session over
};

inline constexpr unsigned char kNoticeRegister = 1;  // registration, and its confirmation
inline constexpr unsigned char kNoticeProbe = 2;     // liveness probe, answered by echo
inline constexpr unsigned short kNoticeTaskSize = 16;
inline constexpr unsigned int kNoticeWaitSec = 3;

// Opens the notification connection to host:port and registers it for the session
// `clientIdText` (null: ci's stored ID); the service confirms within 15 s. On 0, ci owns
// the connection. Otherwise ci's notice fields are -1/null again: 2000 null argument or an
// ID of 20 characters or more, 2004 no memory, 2010 no connection, or the exchange's code.
int InitEventSocket(CLIENT_INFO* ci, const char* clientIdText, const char* host,
                    unsigned short port);

// What one notice packet means for the caller. `payload`/`payloadLen` are the packet's data
// area; for a notice with data, *len and `data` (kClientBufSize bytes) receive it. Pure: the
// probe is only recognised here (*type 0, result 0, *echo true), CheckRaidEvent answers it.
// 2003 for any code but 252, an empty data area, a kind of 8 or more, kinds 0 and 1, and a
// task notice shorter than its record.
int DecodeNotice(unsigned char code, const unsigned char* payload, unsigned short payloadLen,
                 int* type, unsigned char* data, unsigned short* len, bool* echo);

// Waits up to 3 s for one packet on ci's notification connection and decodes it; a probe
// is echoed back unchanged and reported as type 0. `data` must hold kClientBufSize bytes
// and `len` must not be null when the notice may carry data. 0, or 2000 null argument,
// 2002 nothing within the wait, 2001 the connection closed or failed or the echo could not
// be sent, 2003 a packet that is no notice.
int CheckRaidEvent(CLIENT_INFO* ci, int* type, unsigned char* data, unsigned short* len);

// The same with the wait given in seconds and microseconds (a follower that must also
// notice a stop request waits in short slices).
int CheckRaidEventWithin(CLIENT_INFO* ci, int* type, unsigned char* data, unsigned short* len,
                         unsigned int sec, unsigned int usec);

#endif
