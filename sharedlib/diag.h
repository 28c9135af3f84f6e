// Diagnostic output shared by every component: one printf-style entry point with a level,
// and the macros that stamp each line with its call site. Output goes to standard output;
// the user-visible event log is a different record.
#ifndef KEL_SHAREDLIB_DIAG_H
#define KEL_SHAREDLIB_DIAG_H

enum ZEP_DEBUG_LEVEL {
  ZEP_DBG_ASSERT = 1,   // failed assertions, states that should never occur
  ZEP_DBG_ERROR = 2,    // an operation failed
  ZEP_DBG_WARN = 3,     // refusals and notable events
  ZEP_DBG_INFO = 4,     // progress and tracing
  ZEP_DBG_VERBOSE = 5,  // chatter, never printed
};

// Prints when level < ZEP_DBG_VERBOSE. Lines of different threads never interleave.
void ZepPrint(ZEP_DEBUG_LEVEL level, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// Where both print functions write. Standard output unless changed: a module loaded into
// an interpreter whose own output is standard output sends them to standard error, or
// drops them.
enum ZepPrintSink { ZEP_SINK_STDOUT, ZEP_SINK_STDERR, ZEP_SINK_NONE };
void ZepPrintSetSink(ZepPrintSink sink);

// Unfiltered and unlocked variant used by the engine and driver layers.
void ZEPPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Every diagnostic carries its call site through this prefix.
#define KEL_DIAG_PREFIX "$$$$ File[%s], Function[%s], Line[%d]: "

// KEL_PRINT(ZEP_DBG_ERROR, "Open file %s failed\n", path);
#define KEL_PRINT(level, format, ...) \
  ZepPrint((level), KEL_DIAG_PREFIX format, __FILE__, __func__, __LINE__ __VA_OPT__(, ) __VA_ARGS__)

// Same for the unfiltered variant.
#define KEL_RAWPRINT(format, ...) \
  ZEPPrint(KEL_DIAG_PREFIX format, __FILE__, __func__, __LINE__ __VA_OPT__(, ) __VA_ARGS__)

// A failed assertion prints one line and execution carries on with the next statement.
#define KEL_ASSERT(cond)                                                                      \
  do {                                                                                        \
    if (!(cond))                                                                              \
      ZepPrint(ZEP_DBG_ASSERT, "$$$$ File[%s], Line[%d]:  Assersion [%s] failed\n", __FILE__, \
               __LINE__, #cond);                                                              \
  } while (0)

// Prints the assertion line for a condition text that is not an expression in scope.
#define KEL_ASSERT_TEXT(text) \
  ZepPrint(ZEP_DBG_ASSERT, "$$$$ File[%s], Line[%d]:  Assersion [%s] failed\n", __FILE__, __LINE__, text)

#endif
