// Container templates: the list's edge cases, the red-black tree's invariants under random
// inserts and deletes, the keyed table's refusals and counters, and the stack's growth cap.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "sharedlib/kel_hash.h"
#include "sharedlib/kel_list.h"
#include "sharedlib/kel_stack.h"
#include "sharedlib/red_black_tree.h"

namespace {

std::string Captured(const std::function<void()>& fn) {
  testing::internal::CaptureStdout();
  fn();
  return testing::internal::GetCapturedStdout();
}

int Lines(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

// ---- KelList ----

TEST(KelList, RemovingTheOnlyElementLeavesItEmptyWithoutAMessage) {
  KelList<int> list;
  list.Insert(5);
  std::string out = Captured([&] { EXPECT_EQ(list.Remove(5), 1); });
  EXPECT_EQ(out, "");
  EXPECT_EQ(list.Head(), nullptr);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_TRUE(list.Empty());
}

TEST(KelList, RemoveUnlinksTheFirstEqualValueOnly) {
  KelList<std::string> list;
  for (const char* s : {"a", "b", "a", "c"}) list.Insert(s);
  EXPECT_EQ(list.Remove("a"), 1);
  EXPECT_EQ(list.Remove("x"), 0);
  std::vector<std::string> seen;
  list.ForEach([&](const std::string& s) { seen.push_back(s); });
  EXPECT_EQ(seen, (std::vector<std::string>{"b", "a", "c"}));
  EXPECT_EQ(list.Count(), 3);
}

// ---- RedBlackTree ----

using IntTree = RedBlackTree<int, int>;

// Black height of the subtree, or -1 when a rule is broken below `x`.
int CheckSubtree(const IntTree& tree, IntTree::Node* x, const IntTree::Node* parent, int* count) {
  if (x == tree.Nil()) return 1;
  ++*count;
  if (x->parent != parent) return -1;
  if (x->color == 1 && (x->left->color == 1 || x->right->color == 1)) return -1;
  if (x->left != tree.Nil() && x->key < x->left->key) return -1;
  if (x->right != tree.Nil() && x->right->key < x->key) return -1;
  int l = CheckSubtree(tree, x->left, x, count);
  int r = CheckSubtree(tree, x->right, x, count);
  if (l < 0 || r < 0 || l != r) return -1;
  return l + (x->color == 0 ? 1 : 0);
}

::testing::AssertionResult IsRedBlack(const IntTree& tree) {
  if (tree.Nil()->color != 0) return ::testing::AssertionFailure() << "nil is not black";
  if (tree.Root() != tree.Nil() && tree.Root()->color != 0)
    return ::testing::AssertionFailure() << "root is red";
  int count = 0;
  if (CheckSubtree(tree, tree.Root(), tree.Nil(), &count) < 0)
    return ::testing::AssertionFailure() << "colour, order or parent rule broken";
  if (count != tree.Count())
    return ::testing::AssertionFailure()
           << "count " << tree.Count() << " but " << count << " nodes";
  return ::testing::AssertionSuccess();
}

TEST(RedBlackTree, StaysBalancedThroughRandomInsertsAndDeletes) {
  IntTree tree;
  std::mt19937 rng(11);
  std::multimap<int, int> model;
  std::vector<IntTree::Node*> nodes;
  for (int step = 0; step < 4000; ++step) {
    if (nodes.empty() || rng() % 5 < 3) {
      int key = static_cast<int>(rng() % 500);  // duplicates on purpose
      auto* node = new IntTree::Node(key, step);
      ASSERT_EQ(tree.TreeInsertInternal(node), 1);
      nodes.push_back(node);
      model.emplace(key, step);
    } else {
      std::size_t i = rng() % nodes.size();
      IntTree::Node* node = nodes[i];
      nodes[i] = nodes.back();
      nodes.pop_back();
      auto range = model.equal_range(node->key);
      auto it = std::find_if(range.first, range.second,
                             [&](const auto& kv) { return kv.second == node->value; });
      ASSERT_NE(it, range.second);
      model.erase(it);
      ASSERT_EQ(tree.TreeDelete(node), node);
      delete node;
    }
    if (step % 97 == 0) {
      ASSERT_TRUE(IsRedBlack(tree)) << "step " << step;
    }
  }
  ASSERT_TRUE(IsRedBlack(tree));
  std::vector<int> keys(static_cast<std::size_t>(tree.Count()));
  ASSERT_EQ(tree.GetAscendingElems(keys.data(), nullptr), static_cast<int>(model.size()));
  std::vector<int> want;
  for (const auto& kv : model) want.push_back(kv.first);
  EXPECT_EQ(keys, want);
}

TEST(RedBlackTree, AscendingWalkOfAnEmptyTreeReturnsZero) {
  IntTree tree;
  int key = -1;
  EXPECT_EQ(tree.GetAscendingElems(&key, nullptr), 0);
  EXPECT_EQ(key, -1);
}

TEST(RedBlackTree, AscendingWalkWithNoOutputStillCounts) {
  IntTree tree;
  for (int k : {5, 3, 8, 1}) tree.TreeInsertInternal(new IntTree::Node(k, k * 10));
  EXPECT_EQ(tree.GetAscendingElems(nullptr, nullptr), 4);
  int keys[4];
  int values[4];
  EXPECT_EQ(tree.GetAscendingElems(keys, values), 4);
  EXPECT_EQ(std::vector<int>(keys, keys + 4), (std::vector<int>{1, 3, 5, 8}));
  EXPECT_EQ(std::vector<int>(values, values + 4), (std::vector<int>{10, 30, 50, 80}));
}

TEST(RedBlackTree, NullNodesAreRefused) {
  IntTree tree;
  EXPECT_EQ(tree.TreeInsertInternal(nullptr), 0);
  EXPECT_EQ(tree.TreeDelete(nullptr), nullptr);
  EXPECT_EQ(tree.Count(), 0);
}

TEST(RedBlackTree, SearchFindsStringKeys) {
  RedBlackTree<char, std::string> tree;
  for (const char* k : {"WDC1234", "ST500", "HGST9", "ST5000"})
    tree.TreeInsertInternal(new RedBlackTreeNode<char, std::string>(k, 1));
  auto* hit = tree.TreeSearchInternal("ST500");
  ASSERT_NE(hit, nullptr);
  EXPECT_EQ(hit->key, "ST500");
  EXPECT_EQ(tree.TreeSearchInternal("ST50"), nullptr);
  tree.Destroy();
  EXPECT_EQ(tree.Count(), 0);
  EXPECT_EQ(tree.Root(), tree.Nil());
}

// ---- KelHash ----

TEST(KelHash, InsertingAPresentKeyReturnsZeroAndChangesNothing) {
  KelHash<int, int> hash;
  ASSERT_EQ(hash.Insert(100, 7), 1);
  std::string out = Captured([&] { EXPECT_EQ(hash.Insert(200, 7), 0); });
  EXPECT_NE(out.find("The key exists in the Hash Table\n"), std::string::npos);
  EXPECT_EQ(Lines(out), 1);
  int value = 0;
  EXPECT_TRUE(hash.Find(7, &value));
  EXPECT_EQ(value, 100);
  EXPECT_EQ(hash.GetCurElemNum(), 1);
  EXPECT_EQ(hash.GetInsertedNum(), 1);
  EXPECT_EQ(hash.Keys().Count(), 1);
}

TEST(KelHash, RemovingAnAbsentKeyReturnsZeroWithOneLine) {
  KelHash<int, int> hash;
  hash.Insert(1, 1);
  std::string out = Captured([&] { EXPECT_EQ(hash.Remove(2), 0); });
  EXPECT_NE(out.find("The key to remove does not exist in the Hash Table\n"), std::string::npos);
  EXPECT_EQ(Lines(out), 1);
  EXPECT_EQ(hash.GetCurElemNum(), 1);
}

TEST(KelHash, CountersTrackInsertionsAndElementsUntilClear) {
  KelHash<int, int> hash;
  for (int k = 1; k <= 5; ++k) hash.Insert(k * 10, k);
  EXPECT_EQ(hash.Remove(3), 1);
  Captured([&] { EXPECT_EQ(hash.Remove(3), 0); });
  EXPECT_EQ(hash.GetInsertedNum(), 5);
  EXPECT_EQ(hash.GetCurElemNum(), 4);
  EXPECT_FALSE(hash.Find(3, nullptr));
  hash.Clear();
  EXPECT_EQ(hash.GetInsertedNum(), 0);
  EXPECT_EQ(hash.GetCurElemNum(), 0);
  EXPECT_EQ(hash.GetAllElems(nullptr, nullptr), 0);
  EXPECT_TRUE(hash.Keys().Empty());
  EXPECT_EQ(hash.Insert(1, 3), 1);  // a cleared key can come back
}

TEST(KelHash, KeysKeepInsertionOrderWhileElementsWalkAscending) {
  KelHash<char, std::string> hash;
  for (const char* k : {"sdc", "sda", "sdd", "sdb"}) hash.Insert(1, k);
  hash.Remove("sdd");
  std::string keys[4];
  ASSERT_EQ(hash.GetAllKeys(keys), 3);
  EXPECT_EQ(std::vector<std::string>(keys, keys + 3),
            (std::vector<std::string>{"sdc", "sda", "sdb"}));
  ASSERT_EQ(hash.GetAllElems(keys, nullptr), 3);
  EXPECT_EQ(std::vector<std::string>(keys, keys + 3),
            (std::vector<std::string>{"sda", "sdb", "sdc"}));
}

TEST(KelHash, AgreesWithAMapThroughRandomUse) {
  KelHash<int, int> hash;
  std::map<int, int> model;
  std::mt19937 rng(5);
  std::string out = Captured([&] {
    for (int step = 0; step < 3000; ++step) {
      int key = static_cast<int>(rng() % 300);
      if (rng() % 2) {
        EXPECT_EQ(hash.Insert(step, key), model.count(key) ? 0 : 1);
        model.emplace(key, step);
      } else {
        EXPECT_EQ(hash.Remove(key), model.erase(key) ? 1 : 0);
      }
    }
  });
  EXPECT_EQ(hash.GetCurElemNum(), static_cast<int>(model.size()));
  for (const auto& [key, value] : model) {
    int found = -1;
    EXPECT_TRUE(hash.Find(key, &found));
    EXPECT_EQ(found, value);
  }
}

// ---- KelStack ----

TEST(KelStack, PopsInReverseOrderAndGrowsByItsStep) {
  KelStack<int*> stack(4);
  int cells[10];
  for (int& c : cells) EXPECT_TRUE(stack.Push(&c));
  EXPECT_EQ(stack.Capacity(), 12);
  EXPECT_EQ(stack.Count(), 10);
  for (int i = 9; i >= 0; --i) {
    int* top = nullptr;
    ASSERT_TRUE(stack.Pop(&top));
    EXPECT_EQ(top, &cells[i]);
  }
  int* none = nullptr;
  EXPECT_FALSE(stack.Pop(&none));
  EXPECT_TRUE(stack.Empty());
}

TEST(KelStack, StopsGrowingAtTheCapAndDropsFurtherPushes) {
  KelStack<long> stack(100);
  for (long i = 0; i < KelStack<long>::kMaxCapacity; ++i) ASSERT_TRUE(stack.Push(i));
  EXPECT_EQ(stack.Capacity(), KelStack<long>::kMaxCapacity);
  std::string out = Captured([&] {
    EXPECT_FALSE(stack.Push(-1));
    EXPECT_FALSE(stack.Push(-2));
  });
  EXPECT_EQ(out.find("Invalid stack size"), std::string::npos);
  EXPECT_EQ(Lines(out), 2);
  EXPECT_NE(out.find("Expand stack failed\n"), std::string::npos);
  EXPECT_EQ(stack.Count(), KelStack<long>::kMaxCapacity);
  long top = 0;
  ASSERT_TRUE(stack.Pop(&top));
  EXPECT_EQ(top, KelStack<long>::kMaxCapacity - 1);
}

TEST(KelStack, ExpandRefusesSizesThatDoNotGrow) {
  KelStack<int> stack(8);
  std::string out = Captured([&] {
    EXPECT_EQ(stack.expand(0), 0);
    EXPECT_EQ(stack.expand(8), 0);
    EXPECT_EQ(stack.expand(4), 0);
  });
  EXPECT_EQ(Lines(out), 3);
  EXPECT_NE(out.find("Invalid stack size\n"), std::string::npos);
  EXPECT_EQ(stack.expand(5000), 1);
  EXPECT_EQ(stack.Capacity(), KelStack<int>::kMaxCapacity);
}

TEST(KelStack, ExpandKeepsTheElements) {
  KelStack<int> stack(2);
  stack.Push(1);
  stack.Push(2);
  ASSERT_EQ(stack.expand(3), 1);
  stack.Push(3);
  ASSERT_NE(stack.Top(), nullptr);
  EXPECT_EQ(*stack.Top(), 3);
  int v = 0;
  stack.Pop(&v);
  stack.Pop(&v);
  EXPECT_EQ(v, 2);
  stack.Pop(&v);
  EXPECT_EQ(v, 1);
}

}  // namespace
