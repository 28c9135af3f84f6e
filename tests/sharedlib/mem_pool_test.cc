// Memory pool: agreement of every placement, split, merge and chunk return with a plain
// transcription of the per-group list rules (the main test), the size rules the reference
// shares with the pool, the boundaries and misuse the random workload never reaches,
// allocation failure, and the process-wide pool behind KelMemPool.
#include "sharedlib/mem_pool.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <list>
#include <map>
#include <new>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/sharedlib/capture.h"

namespace {

using kel_test::Captured;
using kel_test::Occurrences;
using kel_test::Reports;
using Pool = KelMemBlock;
constexpr unsigned H = Pool::kHeaderSize;

// A chunk source over malloc that numbers what it hands out and can refuse.
class TestSource : public Pool::Source {
 public:
  void* Obtain(std::size_t bytes) override {
    if (refuse_from >= 0 && obtained >= refuse_from) return nullptr;
    void* p = std::malloc(bytes);
    live[reinterpret_cast<std::uintptr_t>(p)] = {obtained++, bytes};
    return p;
  }
  void Release(void* base) override {
    ASSERT_EQ(live.erase(reinterpret_cast<std::uintptr_t>(base)), 1u) << "never obtained";
    std::free(base);
  }
  int Live() const { return static_cast<int>(live.size()); }
  // Which acquisition holds `p`, and at what offset; -1 for none.
  std::pair<int, std::size_t> Locate(const void* p) const {
    auto addr = reinterpret_cast<std::uintptr_t>(p);
    auto it = live.upper_bound(addr);
    if (it == live.begin() || addr >= std::prev(it)->first + std::prev(it)->second.second)
      return {-1, 0};
    return {std::prev(it)->second.first, addr - std::prev(it)->first};
  }

  int refuse_from = -1;  // refuse the Obtain calls numbered from here on
  int obtained = 0;
  std::map<std::uintptr_t, std::pair<int, std::size_t>> live;  // base -> number, bytes
};

// Every block of the chain as (size, free), and the free-list count of every group.
std::pair<std::vector<std::pair<unsigned, bool>>, std::vector<int>> Snapshot(const Pool& pool) {
  std::pair<std::vector<std::pair<unsigned, bool>>, std::vector<int>> s;
  for (const auto& b : pool.TEST_Blocks()) s.first.emplace_back(b.size, b.free);
  for (int g = 0; g < Pool::kGroupCount; ++g) s.second.push_back(pool.TEST_FreeListSize(g));
  return s;
}

// ---- agreement with the per-group list rules ----

// The allocation rules written out plainly over offsets: one list per group in the order
// blocks were put on it, linear searches, coalescing by runs. Too slow for use, easy to check
// by eye.
struct ReferencePool {
  struct Blk {
    unsigned size;
    bool free;
    bool operator==(const Blk&) const = default;
  };
  using Key = std::pair<int, unsigned>;  // chunk number, header offset

  explicit ReferencePool(unsigned chunk) : size(chunk / Pool::kGranule * Pool::kGranule) {
    AddChunk();
  }
  Key Allocate(unsigned n) {
    if (n > Pool::kBulkCoalesceAbove)
      for (int g = 0; g < Pool::kBulkCoalesceGroups; ++g)
        Coalesce(std::vector<Key>(lists[g].begin(), lists[g].end()));
    const unsigned req = Pool::RoundRequest(n);
    Key best{-1, 0};
    for (int g = Pool::GroupOf(req); g < Pool::kGroupCount && best.first < 0; ++g)
      for (const Key& k : lists[g]) {
        const unsigned have = At(k).size;
        if (have >= req && (best.first < 0 || have < At(best).size)) best = k;
        if (have == req) break;
      }
    if (best.first < 0) best = AddChunk();
    Unlist(best);
    Blk& b = At(best);
    b.free = false;
    if (b.size - req >= Pool::kSplitThreshold) {
      const Key rest{best.first, best.second + H + req};
      chunks[rest.first][rest.second] = Blk{b.size - H - req, true};
      b.size = req;
      List(rest);
    }
    return best;
  }
  void Release(Key k) {
    At(k).free = true;
    List(k);
    if (At(k).size >= Pool::kCoalesceOnRelease) Coalesce({k});
  }

  Blk& At(Key k) { return chunks.at(k.first).at(k.second); }
  Key AddChunk() {
    chunks[next][0] = Blk{size - H, true};
    List({next, 0});
    return {next++, 0};
  }
  void List(Key k) { lists[Pool::GroupOf(At(k).size)].push_front(k); }  // in front of the others
  void Unlist(Key k) { lists[Pool::GroupOf(At(k).size)].remove(k); }
  // Merges the run of free blocks around each listed block that is still there, in order.
  void Coalesce(const std::vector<Key>& keys) {
    std::vector<Key> merged;
    for (const Key& k : keys) {
      auto& chunk = chunks.at(k.first);
      auto start = chunk.find(k.second), end = start;
      if (start == chunk.end()) continue;  // absorbed by an earlier run
      while (start != chunk.begin() && std::prev(start)->second.free) --start;
      while (std::next(end) != chunk.end() && std::next(end)->second.free) ++end;
      if (start == end) continue;  // alone, or the head of an earlier run
      unsigned total = 0;
      for (auto it = start; it != std::next(end); ++it) {
        Unlist({k.first, it->first});
        total += it->second.size + H;
      }
      start->second.size = total - H;
      chunk.erase(std::next(start), std::next(end));
      merged.emplace_back(k.first, start->first);
    }
    for (const Key& k : merged) {
      if (At(k).size == size - H && k.first != 0)
        chunks.erase(k.first);
      else
        List(k);
    }
  }

  unsigned size;
  int next = 0;
  std::map<int, std::map<unsigned, Blk>> chunks;  // chunk -> header offset -> block
  std::list<Key> lists[Pool::kGroupCount];
};

// Runs one random workload on both; the first disagreement, if any.
testing::AssertionResult CompareWithReference(unsigned chunk, int steps, std::uint32_t seed) {
  TestSource source;
  Pool pool(chunk, &source);
  ReferencePool ref(chunk);
  std::mt19937 rng(seed);
  struct Live {
    void* p;
    ReferencePool::Key key;
    unsigned n;
    unsigned char fill;
  };
  std::vector<Live> live;
  auto pick = [&](unsigned lo, unsigned hi) {
    return std::uniform_int_distribution<unsigned>(lo, hi)(rng);
  };
  // Sizes at the edges of the bulk-merge threshold and of the chunk payload.
  const unsigned edges[] = {Pool::kBulkCoalesceAbove, Pool::kBulkCoalesceAbove + 1, chunk - H};
  for (int step = 0; step < steps; ++step) {
    if (live.empty() || pick(0, 99) < 55) {
      unsigned kind = pick(0, 99);
      unsigned n = kind < 70   ? pick(1, 64)
                   : kind < 90 ? pick(65, 1000)
                   : kind < 97 ? pick(1001, 6000)
                   : kind < 98 ? edges[pick(0, 2)]
                               : pick(Pool::kBulkCoalesceAbove + 1, chunk - H);
      void* p = pool.allocate(n);
      const ReferencePool::Key want = ref.Allocate(n);
      const auto [seq, offset] = source.Locate(p);
      if (seq != want.first || offset != want.second + H)
        return testing::AssertionFailure()
               << "step " << step << ": allocate(" << n << ") gave chunk " << seq << " offset "
               << offset << ", expected " << want.first << "/" << want.second + H;
      const auto fill = static_cast<unsigned char>(step);
      std::memset(p, fill, n);
      live.push_back(Live{p, want, n, fill});
    } else {
      std::swap(live[pick(0, static_cast<unsigned>(live.size() - 1))], live.back());
      const Live victim = live.back();
      live.pop_back();
      for (unsigned k = 0; k < victim.n; ++k)
        if (static_cast<unsigned char*>(victim.p)[k] != victim.fill)
          return testing::AssertionFailure() << "step " << step << ": payload overwritten";
      pool.deallocate(victim.p);
      ref.Release(victim.key);
    }
  }
  for (int g = 0; g < Pool::kGroupCount; ++g)
    if (pool.TEST_FreeListSize(g) != static_cast<int>(ref.lists[g].size()))
      return testing::AssertionFailure() << "free list " << g << " differs";
  std::map<int, std::map<unsigned, ReferencePool::Blk>> layout;
  for (const auto& b : pool.TEST_Blocks()) {
    const auto [seq, offset] = source.Locate(b.payload);
    layout[seq][static_cast<unsigned>(offset - H)] = {b.size, b.free};
  }
  if (layout != ref.chunks) return testing::AssertionFailure() << "block layout differs";
  if (pool.TEST_ChunkCount() != source.Live())
    return testing::AssertionFailure() << "chunk list and system disagree";
  return testing::AssertionSuccess();
}

// Small chunks come and go; the process-wide size keeps everything in one chunk.
TEST(MemBlockReference, PicksTheSameBlocksAsThePerGroupLists) {
  const std::pair<unsigned, std::uint32_t> runs[] = {
      {16384, 1}, {16384, 2}, {16384, 3}, {Pool::kSharedChunkSize, 4}, {9000, 7}};
  for (const auto& run : runs) {
    testing::AssertionResult same = testing::AssertionSuccess();
    Captured([&] { same = CompareWithReference(run.first, 20000, run.second); });
    EXPECT_TRUE(same) << "chunk " << run.first << ", seed " << run.second;
  }
}

// The reference takes these two rules from the pool, so they are checked on their own.
TEST(MemBlockSizes, RequestsRoundToTheGranuleAndGroupByTheBitLengthOfEights) {
  const std::pair<unsigned, int> groups[] = {
      {0, 0},  {7, 0},    {8, 1},     {15, 1},    {16, 2},    {31, 2},          {63, 3},
      {64, 4}, {4095, 9}, {4096, 10}, {8191, 10}, {8192, 11}, {0xFFFFFFFFu, 11}};
  for (const auto& [size, group] : groups) EXPECT_EQ(Pool::GroupOf(size), group) << size;
  const std::pair<unsigned, unsigned> rounded[] = {{1, 16},  {16, 16}, {17, 24},
                                                   {24, 24}, {25, 32}, {1001, 1008}};
  for (const auto& [n, size] : rounded) EXPECT_EQ(Pool::RoundRequest(n), size) << n;
}

// ---- boundaries, misuse and failure ----

class MemBlock : public testing::Test {
 protected:
  static constexpr unsigned kChunk = 64 * 1024;
  TestSource source;
};

TEST_F(MemBlock, ConstructorRefusesATooSmallOrRefusedFirstChunk) {
  for (bool refuse : {false, true}) {
    source.refuse_from = refuse ? 0 : -1;
    try {
      Pool pool(refuse ? kChunk : H + Pool::kMinPayload - 1, &source);
      ADD_FAILURE() << "constructed";
    } catch (const Pool::error_info& e) {
      EXPECT_STREQ(e.what(), refuse ? "Init block failed\n" : "Initial block size is too small\n");
    }
  }
  EXPECT_EQ(source.obtained, 0);
  source.refuse_from = -1;
  Pool smallest(H + Pool::kMinPayload, &source);
  EXPECT_NE(smallest.allocate(Pool::kMinPayload), nullptr);
}

TEST_F(MemBlock, ChunkPayloadIsTheLargestPooledRequestAndOneByteMoreGoesToTheSystem) {
  Pool pool(kChunk, &source);
  EXPECT_TRUE(Reports([&] { EXPECT_EQ(pool.allocate(0), nullptr); }, "just return NULL"));
  void* whole = pool.allocate(kChunk - H);
  ASSERT_EQ(pool.TEST_Blocks().size(), 1u);
  EXPECT_TRUE(pool.TEST_Blocks()[0].payload == whole && !pool.TEST_Blocks()[0].free);
  void* direct = nullptr;
  EXPECT_TRUE(Reports([&] { direct = pool.allocate(kChunk - H + 1); }, "from OS directly"));
  ASSERT_NE(direct, nullptr);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(direct) % 8, 0u);
  std::memset(direct, 0x5A, kChunk - H + 1);
  EXPECT_EQ(pool.TEST_ChunkCount(), 2);
  EXPECT_EQ(pool.TEST_Blocks().size(), 1u);  // not part of the chain
  EXPECT_EQ(Captured([&] { pool.deallocate(direct); }), "");
  EXPECT_EQ(source.Live(), 1);
  // Released for good: a second release is an unknown pointer.
  EXPECT_TRUE(Reports([&] { pool.deallocate(direct); }, "invalid memory buffer"));
  pool.deallocate(whole);
}

TEST_F(MemBlock, MisuseIsReportedAndLeavesTheBlocksAsTheyWere) {
  Pool pool(kChunk, &source);
  void* p = pool.allocate(100);
  auto* other = static_cast<unsigned char*>(pool.allocate(100));
  pool.deallocate(p);
  // Inside `other`, the header of a would-be block whose size no chunk block can have.
  const std::uint32_t huge = 0xFFFFFFFFu;
  std::memcpy(other + 16, &huge, sizeof huge);
  auto before = Snapshot(pool);
  int local = 0;
  std::string out = Captured([&] {
    for (void* bad : std::initializer_list<void*>{p, &local, nullptr, other + H})
      pool.deallocate(bad);  // p twice
  });
  EXPECT_EQ(Occurrences(out, "b->free == 0"), 1);
  EXPECT_EQ(Occurrences(out, "Try to delete an invalid memory buffer from [0x"), 3);
  EXPECT_EQ(Snapshot(pool), before);
  EXPECT_EQ(pool.allocate(100), p);  // still handed out once
}

TEST_F(MemBlock, NeighboursWhoseHeadersDisagreeWithTheChainAreNotMerged) {
  Pool pool(kChunk, &source);
  char* blocks[4];
  for (char*& block : blocks) block = static_cast<char*>(pool.allocate(64));
  pool.deallocate(blocks[0]);
  pool.deallocate(blocks[2]);
  // Sizes that no longer match the distance to the next header (size field at offset 16).
  const std::uint32_t wrong[] = {128, 72};
  std::memcpy(blocks[0] - H + 16, &wrong[0], 4);
  std::memcpy(blocks[1] - H + 16, &wrong[1], 4);
  const std::string out = Captured([&] { pool.deallocate(blocks[1]); });
  EXPECT_EQ(Occurrences(out, "non-continous memory region"), 2);
  int separate = 0;
  for (const auto& b : pool.TEST_Blocks()) separate += b.payload == blocks[1] && b.free;
  EXPECT_EQ(separate, 1);
}

TEST_F(MemBlock, RefusedMemoryThrowsAndARefusedChunkReleasesEveryChunkFirst) {
  Pool pool(kChunk, &source);
  source.refuse_from = source.obtained;
  std::string out = Captured([&] { EXPECT_THROW(pool.allocate(kChunk), std::bad_alloc); });
  EXPECT_EQ(Occurrences(out, "Expand mem failed"), 1);
  EXPECT_EQ(pool.TEST_ChunkCount(), 1);  // a refused direct allocation leaves the pool
  source.refuse_from = -1;
  Captured([&] {
    pool.allocate(kChunk - H);  // fills the first chunk
    pool.allocate(kChunk);      // a direct allocation, also on the chunk list
  });
  ASSERT_EQ(source.Live(), 2);
  source.refuse_from = source.obtained;
  out = Captured([&] { EXPECT_THROW(pool.allocate(100), std::bad_alloc); });
  EXPECT_EQ(Occurrences(out, "Expand the mem pool"), 1);
  EXPECT_EQ(Occurrences(out, "Expand mem failed"), 1);
  EXPECT_TRUE(source.Live() == 0 && pool.TEST_ChunkCount() == 0 && pool.TEST_Blocks().empty());
  source.refuse_from = -1;
  void* p = nullptr;
  Captured([&] { p = pool.allocate(100); });
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(pool.TEST_ChunkCount(), 1);
  pool.deallocate(p);
}

// Three runs of a 24- and a 16-byte block each: A (p[0], p[1]), B (p[3] of 16, p[4] of 24)
// and C (p[6], p[7]). The group's list meets them in the order A, B, C (by the first release
// of each run), while the 16-byte list alone would meet B first and the 24-byte list alone
// would meet A then C. The merged blocks (equal sizes) must go back in the group's list
// order, which the test reads back by allocating them; also when the list stamps run out on
// the way and are numbered afresh.
TEST_F(MemBlock, BulkMergedBlocksReturnInTheGroupListOrderAcrossStampRenumbering) {
  for (std::uint32_t first_stamp : {0u, Pool::kStampLimit - 5}) {
    Pool pool(kChunk, &source);
    const unsigned sizes[] = {24, 16, 16, 16, 24, 16, 24, 16, 16};
    void* p[9];
    for (int i = 0; i < 9; ++i) p[i] = pool.allocate(sizes[i]);
    pool.TEST_SetNextStamp(first_stamp);
    for (int i : {0, 3, 6, 1, 4, 7}) pool.deallocate(p[i]);
    EXPECT_EQ(pool.TEST_FreeListSize(2), 6);  // small releases wait for a large request
    pool.allocate(Pool::kBulkCoalesceAbove + 1);
    for (int i : {0, 3, 6}) EXPECT_EQ(pool.allocate(24 + 16 + H), p[i]) << first_stamp;
  }
}

// ---- the process-wide pool ----

struct Pooled : public KelMemPool {
  explicit Pooled(int v) : value(v) {}
  int value;
};

// Allocation during static initialisation, before main, is shown by the signal queue's
// producer that posts from a static initialiser (kel_signal_test).
TEST(MemPool, PooledObjectsAndEmptyArraysComeFromTheSharedBlock) {
  auto state = [](const void* p) {
    for (const auto& b : KelMemPool::SharedBlock().TEST_Blocks())
      if (b.payload == p) return b.free ? 1 : b.size == Pool::RoundRequest(sizeof(Pooled)) ? 2 : 3;
    return 0;
  };
  Pooled* p = new Pooled(7);
  EXPECT_EQ(state(p), 2);
  delete p;
  EXPECT_EQ(state(p), 1);
  EXPECT_EQ(KelMemPool::SharedBlock().ChunkSize(), Pool::kSharedChunkSize);
  void* a = KelMemPool::operator new[](0);
  void* b = KelMemPool::operator new[](0);
  EXPECT_TRUE(a != nullptr && a != b);
  KelMemPool::operator delete[](a);
  KelMemPool::operator delete[](b);
  KelMemPool::operator delete(nullptr);  // silently nothing
}

TEST(MemPool, ThreadsShareThePoolWithoutCorruption) {
  constexpr int kThreads = 4, kRounds = 20000;
  std::vector<std::thread> threads;
  std::vector<int> bad(kThreads, 0);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &bad] {
      std::mt19937 rng(static_cast<std::uint32_t>(t));
      std::vector<Pooled*> mine;
      for (int i = 0; i < kRounds || !mine.empty(); ++i) {
        if (i < kRounds && mine.size() < 200 && (mine.empty() || rng() % 3 != 0)) {
          mine.push_back(new Pooled(t));
          continue;
        }
        std::swap(mine[rng() % mine.size()], mine.back());
        bad[t] += mine.back()->value != t;  // another thread got the same block
        delete mine.back();
        mine.pop_back();
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(bad[t], 0) << "thread " << t;
}

#if defined(__SANITIZE_ADDRESS__)
TEST(MemPoolDeathTest, UseAfterReleaseIsCaughtInTheSanitizerBuild) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  struct Node : public KelMemPool {
    char bytes[64];
  };
  Node* node = new Node;
  delete node;
  EXPECT_DEATH(static_cast<volatile char*>(node->bytes)[40] = 1, "use-after-poison");
}
#endif

}  // namespace
