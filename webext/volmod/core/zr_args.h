// What every request-layer function shares: the argument checks made before anything is
// sent, each refusal printed as one line, and the exchange on the module's command
// connection under g_ClientInfoLock.
#ifndef KEL_WEBEXT_VOLMOD_CORE_ZR_ARGS_H
#define KEL_WEBEXT_VOLMOD_CORE_ZR_ARGS_H

#include <cstdint>

#include "webext/client/client_info.h"

// Device, array and position indexes travel as one byte.
inline bool ZrIndexOk(long v) { return v >= 0 && v <= 255; }
// A value that must fit `max` (a byte, 16 or 32 bits of the record).
inline bool ZrFits(long v, long max) { return v >= 0 && v <= max; }

// Print why and return 2000: an index out of range or a null required pointer.
int ZrInvalid(const char* function, const char* what);
// Print why and return 201: a request the record cannot hold.
int ZrTooMuch(const char* function, const char* what);

// Runs `call(sock)` with the command connection's descriptor while holding the lock, so
// that no other script function's exchange interleaves with this one.
template <typename Call>
int ZrExchange(Call&& call) {
  KelMutexGuard guard(g_ClientInfoLock);
  return call(g_ClientInfo.nCmdSock);
}

#endif
