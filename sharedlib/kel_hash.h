// KelHash<V, K>: a keyed table with unique keys, built from a RedBlackTree (lookups and
// ascending walks) plus a KelList of the keys in insertion order. Nodes come from the memory
// pool. It takes no lock; every owner guards its instance with its own.
#ifndef KEL_SHAREDLIB_KEL_HASH_H
#define KEL_SHAREDLIB_KEL_HASH_H

#include <new>

#include "sharedlib/diag.h"
#include "sharedlib/kel_list.h"
#include "sharedlib/red_black_tree.h"

template <typename V, typename K>
class KelHash {
 public:
  using Node = RedBlackTreeNode<V, K>;

  KelHash() = default;
  ~KelHash() { Clear(); }
  KelHash(const KelHash&) = delete;
  KelHash& operator=(const KelHash&) = delete;

  // Adds `value` under `key`: 1. A key already present prints "The key exists in the Hash
  // Table\n" and returns 0 leaving the table unchanged; a failed allocation prints "Insert
  // element in the Hash Table failed\n" and returns 0.
  int Insert(const V& value, const K& key) {
    if (m_tree.TreeSearchInternal(key) != nullptr) {
      KEL_PRINT(ZEP_DBG_ERROR, "The key exists in the Hash Table\n");
      return 0;
    }
    Node* node = nullptr;
    try {
      node = new Node(key, value);
    } catch (const std::bad_alloc&) {
      node = nullptr;
    }
    if (m_tree.TreeInsertInternal(node) == 0) {
      KEL_PRINT(ZEP_DBG_ERROR, "Insert element in the Hash Table failed\n");
      return 0;
    }
    try {
      m_keys.Insert(key);
    } catch (const std::bad_alloc&) {
      delete m_tree.TreeDelete(node);
      KEL_PRINT(ZEP_DBG_ERROR, "Insert element in the Hash Table failed\n");
      return 0;
    }
    ++m_nInserted;
    ++m_nCurElems;
    return 1;
  }

  // Removes the element under `key`: 1. An absent key prints "The key to remove does not
  // exist in the Hash Table\n" and returns 0.
  int Remove(const K& key) {
    Node* node = m_tree.TreeSearchInternal(key);
    if (node == nullptr) {
      KEL_PRINT(ZEP_DBG_ERROR, "The key to remove does not exist in the Hash Table\n");
      return 0;
    }
    delete m_tree.TreeDelete(node);
    m_keys.Remove(key);
    --m_nCurElems;
    return 1;
  }

  // Empties the table and resets both counters.
  void Clear() {
    m_tree.Destroy();
    m_keys.Clear();
    m_nInserted = 0;
    m_nCurElems = 0;
  }

  // Copies the value under `key` into `*value` (when not null): true, or false when absent.
  bool Find(const K& key, V* value) const {
    const Node* node = m_tree.TreeSearchInternal(key);
    if (node == nullptr) return false;
    if (value != nullptr) *value = node->value;
    return true;
  }

  // Keys and values in ascending key order into whichever array is not null; the number of
  // elements.
  int GetAllElems(K* keys, V* values) const { return m_tree.GetAscendingElems(keys, values); }

  // Keys in insertion order into `keys`; their number.
  int GetAllKeys(K* keys) const {
    int n = 0;
    m_keys.ForEach([&](const K& key) { keys[n++] = key; });
    return n;
  }

  int GetCurElemNum() const { return m_nCurElems; }   // elements now
  int GetInsertedNum() const { return m_nInserted; }  // insertions since the last Clear
  const KelList<K>& Keys() const { return m_keys; }   // insertion order
  const RedBlackTree<V, K>& Tree() const { return m_tree; }

 private:
  RedBlackTree<V, K> m_tree;
  KelList<K> m_keys;    // the same keys, in insertion order
  int m_nInserted = 0;  // insertions since the last Clear
  int m_nCurElems = 0;  // current number of elements
};

#endif
