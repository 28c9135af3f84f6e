// Status codes that the extension's script functions add to the client library's own
// (webext/client/client_codes.h) and the service's.
#ifndef KEL_WEBEXT_VOLMOD_CORE_VOLMOD_CODES_H
#define KEL_WEBEXT_VOLMOD_CORE_VOLMOD_CODES_H

// Arguments that could not be parsed, a result variable that is not a reference, or a
// request the record cannot hold (too many disks or arrays, a name too long, a list whose
// element count differs from the count given): device, array and task functions.
inline constexpr int kVolmodBadArgs = 201;
// The same for connection, event-log and settings functions.
inline constexpr int kVolmodBadArgsLocal = 900;
// The function belongs to the older direct-access library, which this system does not
// have, or has no body; nothing was done.
inline constexpr int kVolmodNotAvailable = 2011;
// The PC speaker is off unless the ini setting volmod.speaker is 1.
inline constexpr int kVolmodSpeakerDisabled = 2016;

#endif
