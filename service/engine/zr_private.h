// State shared by the facade's source files: the one device manager and the start flag.
#ifndef KEL_SERVICE_ENGINE_ZR_PRIVATE_H
#define KEL_SERVICE_ENGINE_ZR_PRIVATE_H

#include <atomic>

#include "sharedlib/kel_mutex.h"

class KelDeviceManage;

extern std::atomic<KelDeviceManage*> g_pKelDM;  // null while the engine is not running
extern std::atomic<int> g_bLibInit;              // 1 while the engine is initialised
extern KelMutex g_LibInitLock;

// Every facade entry but zr_init refuses while the engine is not running.
#define ZR_CHECK_INIT()                                          \
  do {                                                           \
    if (g_bLibInit != 1 || g_pKelDM.load() == nullptr) return ZR_NOT_INIT; \
  } while (0)

// Index bounds of the facade. A table of N entries takes indexes 0..N-1.
#define ZR_CHECK_RANGE(v, n)                                     \
  do {                                                           \
    if ((v) < 0 || (v) >= (n)) return ZR_NO_OBJECT;             \
  } while (0)

#endif
