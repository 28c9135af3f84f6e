// Container templates, each driven against a standard container as model: the list, the
// red-black tree with its invariants, the keyed table with its refusals and counters, and
// the stack with its growth cap.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
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

namespace {

std::string Captured(const std::function<void()>& fn) {
  testing::internal::CaptureStdout();
  fn();
  return testing::internal::GetCapturedStdout();
}

int Occurrences(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1))
    ++n;
  return n;
}

TEST(KelList, AgreesWithAStandardListThroughRandomUse) {
  KelList<int> list;
  std::list<int> model;
  std::mt19937 rng(3);
  std::string out = Captured([&] {
    for (int step = 0; step < 2000; ++step) {
      int value = static_cast<int>(rng() % 8), front = -1;  // equal values on purpose
      auto it = std::find(model.begin(), model.end(), value);
      switch (rng() % 4) {
        case 0:
          list.Insert(value);
          model.push_back(value);
          break;
        case 1:
          list.InsertHead(value);
          model.push_front(value);
          break;
        case 2:  // the first equal value only
          ASSERT_EQ(list.Remove(value), it != model.end() ? 1 : 0);
          if (it != model.end()) model.erase(it);
          break;
        default:
          ASSERT_EQ(list.PopFront(&front), !model.empty());
          EXPECT_EQ(front, model.empty() ? -1 : model.front());
          if (!model.empty()) model.pop_front();
      }
      std::list<int> seen;
      list.ForEach([&](int v) { seen.push_back(v); });
      ASSERT_EQ(seen, model) << "step " << step;
      ASSERT_EQ(list.Count(), static_cast<int>(model.size()));
      ASSERT_EQ(list.Empty() && list.Head() == nullptr, model.empty());
    }
  });
  EXPECT_EQ(out, "");
  list.Clear();
  EXPECT_TRUE(list.Empty() && list.Count() == 0);
}

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

TEST(RedBlackTree, StaysBalancedAndOrderedThroughRandomInsertsAndDeletes) {
  IntTree tree;
  int untouched = -1;
  EXPECT_EQ(tree.GetAscendingElems(&untouched, nullptr), 0);
  EXPECT_EQ(untouched, -1);
  EXPECT_EQ(tree.TreeInsertInternal(nullptr), 0);
  EXPECT_EQ(tree.TreeDelete(nullptr), nullptr);
  std::mt19937 rng(11);
  std::multiset<int> model;
  std::vector<IntTree::Node*> nodes;
  for (int step = 0; step < 4000; ++step) {
    if (nodes.empty() || rng() % 5 < 3) {
      int key = static_cast<int>(rng() % 500);  // duplicates on purpose
      nodes.push_back(new IntTree::Node(key, key * 10));
      ASSERT_EQ(tree.TreeInsertInternal(nodes.back()), 1);
      model.insert(key);
    } else {
      std::swap(nodes[rng() % nodes.size()], nodes.back());
      IntTree::Node* node = nodes.back();
      nodes.pop_back();
      model.erase(model.find(node->key));
      ASSERT_EQ(tree.TreeDelete(node), node);
      delete node;
    }
    if (step % 97 == 0) {
      ASSERT_TRUE(IsRedBlack(tree)) << "step " << step;
    }
  }
  ASSERT_TRUE(IsRedBlack(tree));
  std::vector<int> keys(model.size()), values(model.size()), want(model.begin(), model.end());
  ASSERT_EQ(tree.GetAscendingElems(keys.data(), values.data()), static_cast<int>(model.size()));
  EXPECT_EQ(tree.GetAscendingElems(nullptr, nullptr), static_cast<int>(model.size()));
  EXPECT_EQ(keys, want);
  for (int& v : values) v /= 10;
  EXPECT_EQ(values, want);
  for (int key = 0; key < 500; ++key) {
    auto* hit = tree.TreeSearchInternal(key);
    EXPECT_EQ(hit != nullptr ? hit->key : -1, model.count(key) ? key : -1);
  }
  tree.Destroy();
  EXPECT_EQ(tree.Count(), 0);
  EXPECT_EQ(tree.Root(), tree.Nil());
}

// Keys are unique; the key list keeps insertion order while the elements walk ascending.
TEST(KelHash, AgreesWithAMapAndAnInsertionOrderListThroughRandomUse) {
  KelHash<int, int> hash;
  std::map<int, int> model;
  std::vector<int> order;
  int inserted = 0, refused = 0, absent = 0;
  std::mt19937 rng(5);
  std::string out = Captured([&] {
    for (int step = 0; step < 3000; ++step) {
      int key = static_cast<int>(rng() % 300);
      bool present = model.count(key) > 0;
      if (rng() % 2) {
        EXPECT_EQ(hash.Insert(step, key), present ? 0 : 1);
        inserted += !present;
        refused += present;
        if (!present) order.push_back(key);
        model.emplace(key, step);
      } else {
        EXPECT_EQ(hash.Remove(key), present ? 1 : 0);
        absent += present ? 0 : 1;
        model.erase(key);
        order.erase(std::remove(order.begin(), order.end(), key), order.end());
      }
    }
  });
  EXPECT_EQ(Occurrences(out, "The key exists in the Hash Table\n"), refused);
  EXPECT_EQ(Occurrences(out, "The key to remove does not exist in the Hash Table\n"), absent);
  EXPECT_EQ(hash.GetInsertedNum(), inserted);
  EXPECT_EQ(hash.GetCurElemNum(), static_cast<int>(model.size()));
  for (int key = 0; key < 300; ++key) {
    int found = -1;
    EXPECT_EQ(hash.Find(key, &found), model.count(key) > 0) << key;
    EXPECT_EQ(found, model.count(key) ? model[key] : -1) << key;
  }
  std::vector<int> keys(model.size()), ascending;
  ASSERT_EQ(hash.GetAllKeys(keys.data()), static_cast<int>(model.size()));
  EXPECT_EQ(keys, order);
  ASSERT_EQ(hash.GetAllElems(keys.data(), nullptr), static_cast<int>(model.size()));
  for (const auto& kv : model) ascending.push_back(kv.first);
  EXPECT_EQ(keys, ascending);
  hash.Clear();
  EXPECT_TRUE(hash.GetInsertedNum() == 0 && hash.GetCurElemNum() == 0 && hash.Keys().Empty());
  EXPECT_FALSE(hash.Find(order.front(), nullptr));
  EXPECT_EQ(hash.Insert(1, order.front()), 1);  // a cleared key can come back
}

TEST(KelHash, StringKeysKeepInsertionOrderWhileElementsWalkAscending) {
  KelHash<char, std::string> hash;
  for (const char* k : {"sdc", "sda", "sdd", "sdb"}) hash.Insert(1, k);
  hash.Remove("sdd");
  EXPECT_FALSE(hash.Find("sd", nullptr));
  std::string keys[3];
  ASSERT_EQ(hash.GetAllKeys(keys), 3);
  EXPECT_EQ(std::vector<std::string>(keys, keys + 3),
            (std::vector<std::string>{"sdc", "sda", "sdb"}));
  ASSERT_EQ(hash.GetAllElems(keys, nullptr), 3);
  EXPECT_EQ(std::vector<std::string>(keys, keys + 3),
            (std::vector<std::string>{"sda", "sdb", "sdc"}));
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
  EXPECT_EQ(stack.Capacity(), kCap);
  EXPECT_EQ(stack.Count(), kCap);
  out = Captured([&] {
    EXPECT_FALSE(stack.Push(-1));
    EXPECT_FALSE(stack.Push(-2));
    EXPECT_EQ(stack.expand(kCap + 1), 0);  // silently: no room to grow
  });
  EXPECT_EQ(Occurrences(out, "Expand stack failed\n"), 2);
  EXPECT_EQ(Occurrences(out, "\n"), 2);
  for (long i = kCap - 1; i >= 0; --i) {
    long top = -1;
    ASSERT_TRUE(stack.Pop(&top));
    ASSERT_EQ(top, i);
  }
  long none = -1;
  EXPECT_FALSE(stack.Pop(&none));
  EXPECT_TRUE(stack.Empty() && stack.Top() == nullptr);
}

}  // namespace
