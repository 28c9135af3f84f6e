// Serialised diagnostic output. The mutex is a function-local static so that diagnostics
// printed while other static objects are being built (the memory pool) find it ready.
#include "sharedlib/diag.h"

#include <pthread.h>

#include <cstdarg>
#include <cstdio>

namespace {

// A plain POSIX mutex rather than KelMutex: the lock layer itself reports its failures
// through ZepPrint, and a failing lock here must not recurse.
pthread_mutex_t& DbgMutex() {
  static pthread_mutex_t dbg_mutex = PTHREAD_MUTEX_INITIALIZER;
  return dbg_mutex;
}

}  // namespace

void ZepPrint(ZEP_DEBUG_LEVEL level, const char* format, ...) {
  if (level >= ZEP_DBG_VERBOSE) return;
  pthread_mutex_lock(&DbgMutex());
  va_list args;
  va_start(args, format);
  vfprintf(stdout, format, args);
  va_end(args);
  fflush(stdout);
  pthread_mutex_unlock(&DbgMutex());
}

void ZEPPrint(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vfprintf(stdout, format, args);
  va_end(args);
  fflush(stdout);
}
