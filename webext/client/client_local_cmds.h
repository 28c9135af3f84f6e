// The service-local commands (code 255 with a sub-code in data[0]) as seen from the client:
// one function per command, each one exchange on ci's logged-in command connection with
// 15 s for the reply. Integers travel big-endian.
//
// Every function returns 0 on success, 2000 for a null ci or a null required pointer
// ("Invalid parameters"), the exchange's failure code (2001, 2002, 1002, 2003), or the
// service's return code; outputs are written only on success.
#ifndef KEL_WEBEXT_CLIENT_CLIENT_LOCAL_CMDS_H
#define KEL_WEBEXT_CLIENT_CLIENT_LOCAL_CMDS_H

#include "sharedlib/cmd_codes.h"
#include "webext/client/client_info.h"

// Event-log status: *overLimit 1 when the log file outgrew its maximum size, *size the
// file's size in bytes, *lines the log's current line number. size and lines may be null.
int UserGetLogStatus(CLIENT_INFO* ci, unsigned int* overLimit, unsigned long long* size,
                     unsigned int* lines);

// Empties the event log.
int UserClearLog(CLIENT_INFO* ci);

// Reads up to *count event-log lines starting at line `first`: newer lines forward when
// `direction` is 0, older lines backward from first - 1 otherwise. On success *count is the
// number of lines returned and *textLen the number of text bytes, which are copied to
// `text` (which must hold kClientBufSize bytes) followed by a zero byte when there is room.
// A null textLen sets *count to 0 and returns 2015 without asking the service; 2015 also
// when the text would not fit.
int UserGetLogItems(CLIENT_INFO* ci, unsigned char direction, unsigned int first,
                    unsigned int* count, void* text, unsigned int* textLen);

// The beeper switch: 1 on, 0 off.
int GetBeepStatus(CLIENT_INFO* ci, unsigned char* on);
int SetBeepStatus(CLIENT_INFO* ci, unsigned char on);

// Sets `user`'s password from `oldPassword` to `newPassword`; the session's own account
// must be an administrator's. The texts travel in the clear. 2015 with "The
// username+passwd is too long" when the three texts do not fit one packet.
int UserChangePasswd(CLIENT_INFO* ci, const char* user, const char* oldPassword,
                     const char* newPassword);

// The interval of the periodic disk check, in whole minutes.
int GetCheckDiskDuration(CLIENT_INFO* ci, unsigned int* minutes);
int SetCheckDiskDuration(CLIENT_INFO* ci, unsigned int minutes);

// The service's self-test command; a reply whose size field (data[5..6]) is not 112 prints
// a failed assertion.
int GetTestData(CLIENT_INFO* ci);

#endif
