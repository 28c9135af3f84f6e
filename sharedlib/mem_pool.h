// The process-wide pool allocator for long-lived worker and timer objects and for the nodes
// of the container templates. Classes that derive from KelMemPool take their storage from
// it; KelMemBlock is the allocator itself and may be instantiated on its own (tests).
#ifndef KEL_SHAREDLIB_MEM_POOL_H
#define KEL_SHAREDLIB_MEM_POOL_H

#include <cstddef>

class KelMemBlock;

// Base class whose class-level operators allocate from the process-wide pool, one call at a
// time under the pool's mutex.
class KelMemPool {
 public:
  static void* operator new(std::size_t size);
  static void* operator new[](std::size_t size);
  static void operator delete(void* p) noexcept;
  static void operator delete[](void* p) noexcept;
};

#endif
