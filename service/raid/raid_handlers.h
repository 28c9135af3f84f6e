// The RAID command handlers run by KelExecuteRaidCmd, one per command code. Each takes the
// service context, the command (request in, reply out, in place) and the event-log text
// (the client description in, the line to record or empty out), and returns the engine's
// result, which the dispatcher turns into the command's status. Query handlers log nothing.
//
// Every handler checks that the client sent the bytes it reads and that the reply fits the
// data area; a short request is answered 201 with a 5-byte reply.
#ifndef KEL_SERVICE_RAID_RAID_HANDLERS_H
#define KEL_SERVICE_RAID_RAID_HANDLERS_H

#include <string>

#include "sharedlib/raid_records.h"

class KelUserCmd;
struct KelSrvPrivate;

// Request lengths of the fixed-size queries: the sub-code word, then the client's record.
inline constexpr int kClterInfoLen = 92;    // record at data[4]
inline constexpr int kChnlInfoLen = 32;     // record at data[4]
inline constexpr int kDHubInfoLen = 52;     // record at data[4]
inline constexpr int kDevInfoLen = 296;     // map at data[4], record at data[20]
inline constexpr int kArrInfoLen = 120;     // map, sorted list or record at data[4]
inline constexpr int kVDInfoLen = 64;       // KelVDInfo at data[4]
inline constexpr int kPartInfoLen = 172;    // reference at data[4], record at data[12]
inline constexpr int kReloadDriverLen = 44; // user at data[4], password at data[24]
inline constexpr int kSmartHeadLen = 12;    // size at data[2], reference at data[4]
inline constexpr int kProtectInfoLen = 4;   // disk at data[1]

int NetKelGetClterInfo(KelSrvPrivate* priv, KelUserCmd* pCmd, std::string& logText);
int NetKelGetChnlInfo(KelSrvPrivate* priv, KelUserCmd* pCmd, std::string& logText);
int NetKelGetDHubInfo(KelSrvPrivate* priv, KelUserCmd* pCmd, std::string& logText);
int NetKelGetDevInfo(KelSrvPrivate* priv, KelUserCmd* pCmd, std::string& logText);
int NetKelGetProtectInfo(KelSrvPrivate* priv, KelUserCmd* pCmd, std::string& logText);

int NetKelGetArrInfo(KelSrvPrivate* priv, KelUserCmd* pCmd, std::string& logText);
int NetKelGetVDInfo(KelSrvPrivate* priv, KelUserCmd* pCmd, std::string& logText);
int NetKelGetPartInfo(KelSrvPrivate* priv, KelUserCmd* pCmd, std::string& logText);

int NetKelUpdateHardwareInfo(KelSrvPrivate* priv, KelUserCmd* pCmd, std::string& logText);
int NetKelReloadDriver(KelSrvPrivate* priv, KelUserCmd* pCmd, std::string& logText);
int NetKelGetSmartStatus(KelSrvPrivate* priv, KelUserCmd* pCmd, std::string& logText);

// Fetches a 128-slot presence map with `fetch` (two attempts, a rescan after each that
// fails or finds nothing) and stores it at data[4..19] as one little-endian 128-bit map,
// bit n for slot n. Returns the last attempt's result.
int RaidQueryIndexMap(KelUserCmd* pCmd, int (*fetch)(_Kel_Index_Map*));

#endif
