// Container templates, driven by one random workload against standard containers as models:
// the list, the red-black tree with its invariants and the keyed table with its refusals and
// counters; then the stack with its growth cap.
#include <gtest/gtest.h>

#include <algorithm>
#include <list>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "sharedlib/kel_hash.h"
#include "sharedlib/kel_list.h"
#include "sharedlib/kel_stack.h"
#include "sharedlib/red_black_tree.h"
#include "tests/sharedlib/capture.h"

namespace {

using kel_test::Captured;
using kel_test::Occurrences;
using IntTree = RedBlackTree<int, int>;

// Black height of the subtree, or -1 when a colour, order or parent rule is broken below `x`.
int CheckSubtree(const IntTree& tree, IntTree::Node* x, const IntTree::Node* parent, int* count) {
  if (x == tree.Nil()) return 1;
  ++*count;
  if (x->parent != parent || (x->color == 1 && (x->left->color == 1 || x->right->color == 1)))
    return -1;
  if ((x->left != tree.Nil() && x->key < x->left->key) ||
      (x->right != tree.Nil() && x->right->key < x->key))
    return -1;
  int l = CheckSubtree(tree, x->left, x, count), r = CheckSubtree(tree, x->right, x, count);
  return l < 0 || l != r ? -1 : l + (x->color == 0 ? 1 : 0);
}

bool IsRedBlack(const IntTree& tree) {
  int count = 0;
  return tree.Nil()->color == 0 && tree.Root()->color == 0 &&
         CheckSubtree(tree, tree.Root(), tree.Nil(), &count) > 0 && count == tree.Count();
}

// Each step is one of four operations on a key; the list holds the key modulo 8 (equal
// values on purpose), the tree allows duplicates, the table refuses them. Operations 0 and 1
// insert everywhere (the list at its tail or head); 2 removes the list's first equal value,
// a random tree node and the key from the table; 3 pops the list's front and removes the key
// from the table.
TEST(Containers, ListTreeAndTableAgreeWithStandardContainersThroughOneRandomWorkload) {
  KelList<int> list;
  std::list<int> listModel;
  IntTree tree;
  int untouched = -1;  // an empty tree writes nothing; null nodes are refused
  EXPECT_TRUE(tree.GetAscendingElems(&untouched, nullptr) == 0 && untouched == -1);
  EXPECT_TRUE(tree.TreeInsertInternal(nullptr) == 0 && tree.TreeDelete(nullptr) == nullptr);
  std::multiset<int> treeModel;
  std::vector<IntTree::Node*> nodes;
  KelHash<int, int> hash;
  std::map<int, int> hashModel;
  std::vector<int> order;  // the table's keys in insertion order
  int inserted = 0, refused = 0, absent = 0;
  std::mt19937 rng(5);
  std::string out = Captured([&] {
    for (int step = 0; step < 4000; ++step) {
      const int key = static_cast<int>(rng() % 300), small = key % 8;
      const unsigned op = rng() % 4;
      const bool present = hashModel.count(key) > 0;
      if (op < 2) {
        op == 0 ? list.Insert(small) : list.InsertHead(small);
        op == 0 ? listModel.push_back(small) : listModel.push_front(small);
        nodes.push_back(new IntTree::Node(key, key * 10));
        ASSERT_EQ(tree.TreeInsertInternal(nodes.back()), 1);
        treeModel.insert(key);
        EXPECT_EQ(hash.Insert(step, key), present ? 0 : 1);
        inserted += !present;
        refused += present;
        if (!present) order.push_back(key), hashModel.emplace(key, step);
      } else if (op == 2) {
        auto it = std::find(listModel.begin(), listModel.end(), small);
        ASSERT_EQ(list.Remove(small), it != listModel.end() ? 1 : 0);
        if (it != listModel.end()) listModel.erase(it);
        if (!nodes.empty()) {
          std::swap(nodes[rng() % nodes.size()], nodes.back());
          treeModel.erase(treeModel.find(nodes.back()->key));
          ASSERT_EQ(tree.TreeDelete(nodes.back()), nodes.back());
          delete nodes.back();
          nodes.pop_back();
        }
      } else {
        int front = -1;
        ASSERT_EQ(list.PopFront(&front), !listModel.empty());
        EXPECT_EQ(front, listModel.empty() ? -1 : listModel.front());
        if (!listModel.empty()) listModel.pop_front();
      }
      if (op >= 2) {
        EXPECT_EQ(hash.Remove(key), present ? 1 : 0);
        absent += !present;
        hashModel.erase(key);
        order.erase(std::remove(order.begin(), order.end(), key), order.end());
      }
      std::list<int> seen;
      list.ForEach([&](int v) { seen.push_back(v); });
      ASSERT_EQ(seen, listModel) << "step " << step;
      ASSERT_EQ(list.Count(), static_cast<int>(listModel.size()));
      ASSERT_EQ(list.Empty() && list.Head() == nullptr, listModel.empty());
      ASSERT_TRUE(step % 97 != 0 || IsRedBlack(tree)) << "step " << step;
    }
  });
  EXPECT_EQ(Occurrences(out, "The key exists in the Hash Table\n"), refused);
  EXPECT_EQ(Occurrences(out, "The key to remove does not exist in the Hash Table\n"), absent);
  EXPECT_EQ(Occurrences(out, "\n"), refused + absent);  // nothing else reports
  list.Clear();
  EXPECT_TRUE(list.Empty() && list.Count() == 0);

  ASSERT_TRUE(IsRedBlack(tree));
  std::vector<int> keys(treeModel.size()), values(treeModel.size());
  const std::vector<int> want(treeModel.begin(), treeModel.end());
  ASSERT_EQ(tree.GetAscendingElems(keys.data(), values.data()), static_cast<int>(want.size()));
  EXPECT_EQ(tree.GetAscendingElems(nullptr, nullptr), static_cast<int>(want.size()));
  EXPECT_EQ(keys, want);
  for (int& v : values) v /= 10;
  EXPECT_EQ(values, want);
  for (int key = 0; key < 300; ++key) {
    auto* hit = tree.TreeSearchInternal(key);
    EXPECT_EQ(hit != nullptr ? hit->key : -1, treeModel.count(key) ? key : -1);
    int found = -1;
    EXPECT_EQ(hash.Find(key, &found), hashModel.count(key) > 0) << key;
    EXPECT_EQ(found, hashModel.count(key) ? hashModel[key] : -1) << key;
  }
  tree.Destroy();
  EXPECT_TRUE(tree.Count() == 0 && tree.Root() == tree.Nil());

  EXPECT_EQ(hash.GetInsertedNum(), inserted);
  EXPECT_EQ(hash.GetCurElemNum(), static_cast<int>(hashModel.size()));
  keys.assign(hashModel.size(), 0);
  ASSERT_EQ(hash.GetAllKeys(keys.data()), static_cast<int>(hashModel.size()));
  EXPECT_EQ(keys, order);
  ASSERT_EQ(hash.GetAllElems(keys.data(), nullptr), static_cast<int>(hashModel.size()));
  std::sort(order.begin(), order.end());
  EXPECT_EQ(keys, order);
  hash.Clear();
  EXPECT_TRUE(hash.GetInsertedNum() == 0 && hash.GetCurElemNum() == 0 && hash.Keys().Empty());
  EXPECT_FALSE(hash.Find(order.front(), nullptr));
  EXPECT_EQ(hash.Insert(1, order.front()), 1);  // a cleared key can come back
}

TEST(KelStack, GrowsByItsStepUpToTheCapRefusesSizesThatDoNotGrowAndPopsInReverse) {
  constexpr long kCap = KelStack<long>::kMaxCapacity;
  KelStack<long> stack(4);
  std::string out = Captured([&] {
    for (int size : {0, 4, 3}) EXPECT_EQ(stack.expand(size), 0) << size;
  });
  EXPECT_EQ(Occurrences(out, "Invalid stack size\n"), 3);
  EXPECT_EQ(stack.expand(6), 1);
  for (long i = 0; i < 10; ++i) ASSERT_TRUE(stack.Push(i));
  EXPECT_EQ(stack.Capacity(), 10);
  EXPECT_EQ(stack.expand(11), 1);
  EXPECT_EQ(*stack.Top(), 9);
  for (long i = 10; i < kCap; ++i) ASSERT_TRUE(stack.Push(i));
  EXPECT_TRUE(stack.Capacity() == kCap && stack.Count() == kCap);
  out = Captured([&] {
    EXPECT_FALSE(stack.Push(-1));
    EXPECT_FALSE(stack.Push(-2));
    EXPECT_EQ(stack.expand(kCap + 1), 0);  // silently: no room to grow
  });
  EXPECT_EQ(Occurrences(out, "Expand stack failed\n"), 2);
  EXPECT_EQ(Occurrences(out, "\n"), 2);
  for (long i = kCap - 1; i >= -1; --i) {  // the last Pop finds the stack empty
    long top = -1;
    ASSERT_EQ(stack.Pop(&top), i >= 0);
    ASSERT_EQ(top, i);
  }
  EXPECT_TRUE(stack.Empty() && stack.Top() == nullptr);
}

}  // namespace
