// Meanings of the result codes, kept in one table so that every caller (kelctl, the
// extension, tests) names a code the same way.
#include "webext/client/client_codes.h"

namespace {

struct CodeText {
  int code;
  const char* text;
};

constexpr CodeText kCodeTexts[] = {
    {0, "success"},
    {1, "refused by the service (invalid command, or the session is no longer usable)"},
    {2, "stale magic number: the device or array changed since it was read; read it again"},
    {3, "permission refused"},
    {4, "the command could not be dispatched"},
    // The RAID engine's codes, which the service passes through.
    {100, "the RAID engine is not running"},
    {101, "the RAID engine could not start"},
    {106, "the RAID model is busy"},
    {107, "the RAID model is busy"},
    {200, "no such disk or array, or index out of range"},
    {201, "bad parameter"},
    {202, "not valid for this RAID type"},
    {204, "no such disk"},
    {215, "a disk is busy in a replacement or another task"},
    {205, "the disk is unusable (its configuration cannot be read)"},
    {216, "stale magic number: the device or array changed since it was read; read it again"},
    {300, "the array needs no synchronisation, or its synchronisation command failed"},
    {803, "at least one disk is unhealthy"},
    {804, "not a configurable disk"},
    {805, "the SMART command failed"},
    {809, "the driver reload failed"},
    {900, "a driver command failed"},
    {1001, "the event log file cannot be read"},
    {1002, "malformed request, or wrong replies from the service"},
    {1003, "the service's client registry is busy"},
    {1004, "the session no longer exists"},
    {1005, "the service is out of memory"},
    {1030, "invalid account parameter or empty new password"},
    {1031, "the account file cannot be read"},
    {1032, "the account file cannot be written"},
    {1033, "wrong current password"},
    {1034, "no such user"},
    {1037, "only an administrator may change passwords"},
    {1050, "wrong user name or password"},
    {1051, "logged in, the user's previous session was ended"},
    {1052, "no free client ID"},
    {1053, "the client could not be registered"},
    {1054, "no such session"},
    // The background task manager's codes.
    {1100, "the task could not be started"},
    {1101, "no such task to stop"},
    {1102, "the task's state is not known yet"},
    {1103, "the service's task lists are busy"},
    {1110, "the task is running already or has completed"},
    {1111, "no such task (or it ended more than a few seconds ago)"},
    {1112, "the task has completed"},
    {1113, "the task broke: its steps kept failing"},
    {1114, "not a task the service knows"},
    {1115, "a disk of the task is busy in another task"},
    {1116, "another task is running; one runs at a time"},
    {1117, "the task is stopped"},
    {KEL_CLIENT_INVALID_PARAM, "invalid parameters"},
    {KEL_CLIENT_SEND_FAILED, "the connection failed or was closed"},
    {KEL_CLIENT_TIMEOUT, "no reply within the time allowed"},
    {KEL_CLIENT_UNEXPECTED, "unexpected answer from the service"},
    {KEL_CLIENT_NO_MEMORY, "out of memory"},
    {KEL_CLIENT_CONNECT_FAILED, "the connection could not be opened or was refused"},
    {KEL_CLIENT_BAD_STATE, "the connection is not waiting for a login"},
    {KEL_CLIENT_BAD_LOGIN, "wrong user name or password"},
    {KEL_CLIENT_NO_FREE_ID, "no free client ID, or the user cannot log in more than once"},
    {KEL_CLIENT_TOO_LONG, "the request or the result is too large"},
};

}  // namespace

const char* KelClientResultText(int code) {
  for (const CodeText& c : kCodeTexts)
    if (c.code == code) return c.text;
  return "unknown return code";
}
