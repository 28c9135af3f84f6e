// KelList<T>: a singly linked list whose nodes come from the memory pool. It takes no lock;
// every owner guards its instance with a lock of its own.
#ifndef KEL_SHAREDLIB_KEL_LIST_H
#define KEL_SHAREDLIB_KEL_LIST_H

#include "sharedlib/diag.h"
#include "sharedlib/mem_pool.h"

template <typename T>
class KelList {
 public:
  struct Node : public KelMemPool {
    explicit Node(const T& v) : m_val(v) {}
    T m_val;
    Node* next = nullptr;
  };

  KelList() = default;
  ~KelList() { Clear(); }
  KelList(const KelList&) = delete;
  KelList& operator=(const KelList&) = delete;

  // Appends at the tail.
  void Insert(const T& val) {
    Node* node = new Node(val);
    if (m_head == nullptr) {
      m_head = node;
    } else {
      Node* last = m_head;
      while (last->next != nullptr) last = last->next;
      last->next = node;
    }
    ++m_count;
  }

  // Puts a value in front of every other.
  void InsertHead(const T& val) {
    Node* node = new Node(val);
    node->next = m_head;
    m_head = node;
    ++m_count;
  }

  // Unlinks the first node whose value equals `val`: 1, or 0 when there is none. A count
  // that reaches 0 while nodes remain means the list is corrupt, which throws -1.
  int Remove(const T& val) {
    Node* prev = nullptr;
    for (Node* cur = m_head; cur != nullptr; prev = cur, cur = cur->next) {
      if (!(cur->m_val == val)) continue;
      if (prev == nullptr)
        m_head = cur->next;
      else
        prev->next = cur->next;
      --m_count;
      if (m_count == 0 && m_head != nullptr) {
        KEL_PRINT(ZEP_DBG_ERROR, "List corrupt!!!\n");
        throw -1;
      }
      delete cur;
      return 1;
    }
    return 0;
  }

  // Unlinks and returns the first node's value; false when empty.
  bool PopFront(T* out) {
    if (m_head == nullptr) return false;
    Node* node = m_head;
    m_head = node->next;
    --m_count;
    *out = node->m_val;
    delete node;
    return true;
  }

  void Clear() {
    while (m_head != nullptr) {
      Node* next = m_head->next;
      delete m_head;
      m_head = next;
    }
    m_count = 0;
  }

  Node* Head() const { return m_head; }
  int Count() const { return m_count; }
  bool Empty() const { return m_head == nullptr; }

  template <typename Fn>
  void ForEach(Fn fn) const {
    for (Node* n = m_head; n != nullptr; n = n->next) fn(n->m_val);
  }

 private:
  Node* m_head = nullptr;
  int m_count = 0;
};

#endif
