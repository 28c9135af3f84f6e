// Placeholder until the pool allocator lands: forwards to the global heap.
#include "sharedlib/mem_pool.h"

#include <new>

void* KelMemPool::operator new(std::size_t size) { return ::operator new(size); }
void* KelMemPool::operator new[](std::size_t size) { return ::operator new(size); }
void KelMemPool::operator delete(void* p) noexcept { ::operator delete(p); }
void KelMemPool::operator delete[](void* p) noexcept { ::operator delete(p); }
