// The handlers of the commands that change the RAID configuration (codes 2 to 6 and 18).
// Same calling convention as the query handlers (raid_handlers.h); in addition each one
// leaves the event-log line of the change in `logText` ("INFO~", "WARNING~" or "ERROR~",
// then the client description it arrived with and what happened), and clears the
// command's retry budget as soon as its engine call has run.
#ifndef KEL_SERVICE_RAID_RAID_CHANGE_HANDLERS_H
#define KEL_SERVICE_RAID_RAID_CHANGE_HANDLERS_H

#include <string>

class KelUserCmd;
struct KelSrvPrivate;

// Request lengths; a shorter request is answered 201 with a 5-byte reply.
inline constexpr int kCreateLen = 112;       // reply: the request moved up, 117
inline constexpr int kRemoveLen = 392;       // reply: the request moved up, 397
inline constexpr int kRepairLen = 48;        // reply: return code only, length kept
inline constexpr int kAddSpareLen = 24;      // reply: return code only, length kept
inline constexpr int kRemoveSpareLen = 16;   // reply: return code only, length kept
inline constexpr int kClearDiskLen = 136;    // reply: 5 bytes

// Creates a span, RAID 0, 1, 0+1 or 5 (kinds 1-5), or answers the size range a creation on
// the listed disks can have (kind 6). The handler result is the engine's.
int NetKelCreateRaid(KelSrvPrivate* priv, KelUserCmd* pCmd, std::string& logText);
// Removes up to 32 arrays; data[264 + 4i] of the request carries array i's own result.
int NetKelRemoveRaid(KelSrvPrivate* priv, KelUserCmd* pCmd, std::string& logText);
int NetKelRepairRaid(KelSrvPrivate* priv, KelUserCmd* pCmd, std::string& logText);
int NetKelAddSpare(KelSrvPrivate* priv, KelUserCmd* pCmd, std::string& logText);
int NetKelRemoveSpare(KelSrvPrivate* priv, KelUserCmd* pCmd, std::string& logText);
// Wipes the configuration area of 1 to 16 disks (code 18).
int NetKelClearDiskConf(KelSrvPrivate* priv, KelUserCmd* pCmd, std::string& logText);

#endif
