// KelStack<T>: a growable stack of plain values (tree-node pointers) whose array comes from
// the memory pool; the in-order walks of RedBlackTree use it instead of recursion. It takes
// no lock. Growth is capped at kMaxCapacity entries; pushes beyond it are reported and
// dropped.
#ifndef KEL_SHAREDLIB_KEL_STACK_H
#define KEL_SHAREDLIB_KEL_STACK_H

#include <cstring>
#include <new>
#include <type_traits>

#include "sharedlib/diag.h"
#include "sharedlib/mem_pool.h"

template <typename T>
class KelStack {
  static_assert(std::is_trivially_copyable_v<T>, "KelStack holds plain values only");

 public:
  static constexpr int kMaxCapacity = 1024;

  // Allocates `n` entries; `n` is also the growth step. A failed allocation prints
  // "Allocate memory failed\n" and leaves an empty stack of capacity 0.
  explicit KelStack(int n) : m_increment(n) {
    if (n < 1) return;
    m_elems = AllocateArray(n);
    if (m_elems != nullptr) m_capacity = n;
  }
  ~KelStack() { KelMemPool::operator delete[](m_elems); }
  KelStack(const KelStack&) = delete;
  KelStack& operator=(const KelStack&) = delete;

  // Pushes `val`, growing a full stack by the growth step. When it cannot grow, prints
  // "Expand stack failed\n", drops the value and returns false.
  bool Push(T val) {
    if (m_count == m_capacity && !expand(m_count + m_increment)) {
      KEL_PRINT(ZEP_DBG_ERROR, "Expand stack failed\n");
      return false;
    }
    m_elems[m_count++] = val;
    m_top = &m_elems[m_count - 1];
    return true;
  }

  // Reads the top value into `*out` and moves the top down; false when empty.
  bool Pop(T* out) {
    if (m_top == nullptr) return false;
    *out = *m_top;
    --m_count;
    m_top = m_count > 0 ? m_top - 1 : nullptr;
    return true;
  }

  // Grows the array to `newCapacity` entries, at most kMaxCapacity. Returns 1, or 0 after
  // "Invalid stack size\n" when `newCapacity` is below 1 or not above the capacity, after
  // "Allocate memory failed\n", or silently when the cap leaves no room to grow.
  int expand(int newCapacity) {
    if (newCapacity < 1 || newCapacity <= m_capacity) {
      KEL_PRINT(ZEP_DBG_ERROR, "Invalid stack size\n");
      return 0;
    }
    if (newCapacity > kMaxCapacity) newCapacity = kMaxCapacity;
    if (newCapacity <= m_capacity) return 0;
    T* elems = AllocateArray(newCapacity);
    if (elems == nullptr) return 0;
    if (m_count > 0) std::memcpy(elems, m_elems, sizeof(T) * static_cast<unsigned>(m_count));
    KelMemPool::operator delete[](m_elems);
    m_elems = elems;
    m_capacity = newCapacity;
    m_top = m_count > 0 ? &m_elems[m_count - 1] : nullptr;
    return 1;
  }

  const T* Top() const { return m_top; }
  int Count() const { return m_count; }
  int Capacity() const { return m_capacity; }
  bool Empty() const { return m_top == nullptr; }

 private:
  static T* AllocateArray(int n) {
    try {
      return static_cast<T*>(KelMemPool::operator new[](sizeof(T) * static_cast<unsigned>(n)));
    } catch (const std::bad_alloc&) {
      KEL_PRINT(ZEP_DBG_ERROR, "Allocate memory failed\n");
      return nullptr;
    }
  }

  int m_increment;       // the initial capacity, also the growth step
  int m_capacity = 0;    // entries allocated
  int m_count = 0;       // entries in use
  T* m_elems = nullptr;  // the array, from the pool
  T* m_top = nullptr;    // the top entry, null when empty
};

#endif
