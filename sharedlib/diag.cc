// Serialised diagnostic output. The mutex is a function-local static so that diagnostics
// printed while other static objects are being built (the memory pool) find it ready.
#include "sharedlib/diag.h"

#include <pthread.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace {

std::atomic<int> g_sink{ZEP_SINK_STDOUT};

// Null when diagnostics are dropped.
FILE* SinkStream() {
  switch (g_sink.load(std::memory_order_relaxed)) {
    case ZEP_SINK_STDERR: return stderr;
    case ZEP_SINK_NONE: return nullptr;
    default: return stdout;
  }
}

// A plain POSIX mutex rather than KelMutex: the lock layer itself reports its failures
// through ZepPrint, and a failing lock here must not recurse.
pthread_mutex_t& DbgMutex() {
  static pthread_mutex_t dbg_mutex = PTHREAD_MUTEX_INITIALIZER;
  return dbg_mutex;
}

}  // namespace

void ZepPrintSetSink(ZepPrintSink sink) { g_sink.store(sink, std::memory_order_relaxed); }

void ZepPrint(ZEP_DEBUG_LEVEL level, const char* format, ...) {
  if (level >= ZEP_DBG_VERBOSE) return;
  FILE* out = SinkStream();
  if (out == nullptr) return;
  pthread_mutex_lock(&DbgMutex());
  va_list args;
  va_start(args, format);
  vfprintf(out, format, args);
  va_end(args);
  fflush(out);
  pthread_mutex_unlock(&DbgMutex());
}

void ZEPPrint(const char* format, ...) {
  FILE* out = SinkStream();
  if (out == nullptr) return;
  va_list args;
  va_start(args, format);
  vfprintf(out, format, args);
  va_end(args);
  fflush(out);
}
