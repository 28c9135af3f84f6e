// RedBlackTree<V, K>: an ordered tree of key/value nodes taken from the memory pool, the
// backbone of KelHash. It takes no lock; every owner guards its instance with its own.
// A key smaller than a node's key lies to its left, an equal or larger one to its right, so
// equal keys may coexist; KelHash keeps its keys unique.
#ifndef KEL_SHAREDLIB_RED_BLACK_TREE_H
#define KEL_SHAREDLIB_RED_BLACK_TREE_H

#include "sharedlib/kel_stack.h"
#include "sharedlib/mem_pool.h"

template <typename V, typename K>
struct RedBlackTreeNode : public KelMemPool {
  enum { kBlack = 0, kRed = 1 };

  RedBlackTreeNode() = default;
  RedBlackTreeNode(const K& k, const V& v) : key(k), value(v) {}

  K key{};
  V value{};
  int color = kRed;  // 1 red, 0 black
  RedBlackTreeNode* left = nullptr;
  RedBlackTreeNode* right = nullptr;
  RedBlackTreeNode* parent = nullptr;
};

template <typename V, typename K>
class RedBlackTree {
 public:
  using Node = RedBlackTreeNode<V, K>;

  RedBlackTree() {
    m_nilNode.color = Node::kBlack;
    m_nilNode.left = m_nilNode.right = m_nilNode.parent = &m_nilNode;
    m_root = Nil();
  }
  ~RedBlackTree() { Destroy(); }
  RedBlackTree(const RedBlackTree&) = delete;
  RedBlackTree& operator=(const RedBlackTree&) = delete;

  // Links in a node the caller allocated with `new Node(key, value)`; the tree owns it from
  // then on. Returns 1, or 0 for a null node.
  int TreeInsertInternal(Node* z) {
    if (z == nullptr) return 0;
    Node* y = Nil();
    for (Node* x = m_root; x != Nil();) {
      y = x;
      x = z->key < x->key ? x->left : x->right;
    }
    z->parent = y;
    if (y == Nil())
      m_root = z;
    else if (z->key < y->key)
      y->left = z;
    else
      y->right = z;
    z->left = z->right = Nil();
    z->color = Node::kRed;
    InsertFixup(z);
    ++m_nElems;
    return 1;
  }

  // Unlinks `z` (a node of this tree) and returns it; the caller deletes it. Null or nil
  // returns null.
  Node* TreeDelete(Node* z) {
    if (z == nullptr || z == Nil()) return nullptr;
    Node* y = z;
    int y_color = y->color;
    Node* x;
    if (z->left == Nil()) {
      x = z->right;
      Transplant(z, z->right);
    } else if (z->right == Nil()) {
      x = z->left;
      Transplant(z, z->left);
    } else {
      y = Minimum(z->right);
      y_color = y->color;
      x = y->right;
      if (y->parent == z) {
        x->parent = y;  // x may be nil; the fix-up climbs from its parent
      } else {
        Transplant(y, y->right);
        y->right = z->right;
        y->right->parent = y;
      }
      Transplant(z, y);
      y->left = z->left;
      y->left->parent = y;
      y->color = z->color;
    }
    if (y_color == Node::kBlack) TreeDeleteFixup(x);
    m_nilNode.parent = Nil();
    --m_nElems;
    z->left = z->right = z->parent = nullptr;
    return z;
  }

  // The node whose key equals `key` (the first met from the root), or null.
  Node* TreeSearchInternal(const K& key) const {
    Node* x = m_root;
    while (x != Nil()) {
      if (key < x->key)
        x = x->left;
      else if (x->key < key)
        x = x->right;
      else
        return x;
    }
    return nullptr;
  }

  // Writes every element in ascending key order into whichever of `keys` and `values` is not
  // null and returns the number of elements. A walk cut short by a failed stack allocation
  // returns the number written.
  int GetAscendingElems(K* keys, V* values) const {
    if (m_nElems == 0) return 0;
    KelStack<Node*> stack(m_nElems);
    int n = 0;
    Node* x = m_root;
    for (;;) {
      while (x != Nil()) {
        if (!stack.Push(x)) return n;
        x = x->left;
      }
      Node* top = nullptr;
      if (!stack.Pop(&top)) break;
      if (keys != nullptr) keys[n] = top->key;
      if (values != nullptr) values[n] = top->value;
      ++n;
      x = top->right;
    }
    return n;
  }

  // Deletes every node.
  void Destroy() {
    Node* x = m_root;
    while (x != Nil()) {
      if (x->left != Nil()) {
        x = x->left;
      } else if (x->right != Nil()) {
        x = x->right;
      } else {
        Node* parent = x->parent;
        if (parent != Nil()) (parent->left == x ? parent->left : parent->right) = Nil();
        delete x;
        x = parent;
      }
    }
    m_root = Nil();
    m_nElems = 0;
  }

  int Count() const { return m_nElems; }
  Node* Root() const { return m_root; }
  // The sentinel that stands for every absent child and for the root's parent.
  Node* Nil() const { return const_cast<Node*>(&m_nilNode); }

 private:
  static Node* MinimumOf(Node* x, Node* nil) {
    while (x->left != nil) x = x->left;
    return x;
  }
  Node* Minimum(Node* x) const { return MinimumOf(x, Nil()); }

  void LeftRotate(Node* x) {
    Node* y = x->right;
    x->right = y->left;
    if (y->left != Nil()) y->left->parent = x;
    y->parent = x->parent;
    if (x->parent == Nil())
      m_root = y;
    else if (x == x->parent->left)
      x->parent->left = y;
    else
      x->parent->right = y;
    y->left = x;
    x->parent = y;
  }

  void RightRotate(Node* x) {
    Node* y = x->left;
    x->left = y->right;
    if (y->right != Nil()) y->right->parent = x;
    y->parent = x->parent;
    if (x->parent == Nil())
      m_root = y;
    else if (x == x->parent->right)
      x->parent->right = y;
    else
      x->parent->left = y;
    y->right = x;
    x->parent = y;
  }

  void InsertFixup(Node* z) {
    while (z->parent->color == Node::kRed) {
      Node* gp = z->parent->parent;
      if (z->parent == gp->left) {
        Node* uncle = gp->right;
        if (uncle->color == Node::kRed) {
          z->parent->color = Node::kBlack;
          uncle->color = Node::kBlack;
          gp->color = Node::kRed;
          z = gp;
        } else {
          if (z == z->parent->right) {
            z = z->parent;
            LeftRotate(z);
          }
          z->parent->color = Node::kBlack;
          z->parent->parent->color = Node::kRed;
          RightRotate(z->parent->parent);
        }
      } else {
        Node* uncle = gp->left;
        if (uncle->color == Node::kRed) {
          z->parent->color = Node::kBlack;
          uncle->color = Node::kBlack;
          gp->color = Node::kRed;
          z = gp;
        } else {
          if (z == z->parent->left) {
            z = z->parent;
            RightRotate(z);
          }
          z->parent->color = Node::kBlack;
          z->parent->parent->color = Node::kRed;
          LeftRotate(z->parent->parent);
        }
      }
    }
    m_root->color = Node::kBlack;
  }

  // Puts subtree v where subtree u was. The sentinel's parent may be written: the delete
  // fix-up climbs from it.
  void Transplant(Node* u, Node* v) {
    if (u->parent == Nil())
      m_root = v;
    else if (u == u->parent->left)
      u->parent->left = v;
    else
      u->parent->right = v;
    v->parent = u->parent;
  }

  void TreeDeleteFixup(Node* x) {
    while (x != m_root && x->color == Node::kBlack) {
      if (x == x->parent->left) {
        Node* w = x->parent->right;
        if (w->color == Node::kRed) {
          w->color = Node::kBlack;
          x->parent->color = Node::kRed;
          LeftRotate(x->parent);
          w = x->parent->right;
        }
        if (w->left->color == Node::kBlack && w->right->color == Node::kBlack) {
          w->color = Node::kRed;
          x = x->parent;
        } else {
          if (w->right->color == Node::kBlack) {
            w->left->color = Node::kBlack;
            w->color = Node::kRed;
            RightRotate(w);
            w = x->parent->right;
          }
          w->color = x->parent->color;
          x->parent->color = Node::kBlack;
          w->right->color = Node::kBlack;
          LeftRotate(x->parent);
          x = m_root;
        }
      } else {
        Node* w = x->parent->left;
        if (w->color == Node::kRed) {
          w->color = Node::kBlack;
          x->parent->color = Node::kRed;
          RightRotate(x->parent);
          w = x->parent->left;
        }
        if (w->right->color == Node::kBlack && w->left->color == Node::kBlack) {
          w->color = Node::kRed;
          x = x->parent;
        } else {
          if (w->left->color == Node::kBlack) {
            w->right->color = Node::kBlack;
            w->color = Node::kRed;
            LeftRotate(w);
            w = x->parent->left;
          }
          w->color = x->parent->color;
          x->parent->color = Node::kBlack;
          w->left->color = Node::kBlack;
          RightRotate(x->parent);
          x = m_root;
        }
      }
    }
    x->color = Node::kBlack;
  }

  int m_nElems = 0;  // number of nodes
  Node* m_root;      // Nil() when empty
  Node m_nilNode;    // the sentinel, black; its links are scratch space for the fix-ups
};

#endif
