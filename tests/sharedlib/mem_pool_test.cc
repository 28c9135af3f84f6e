// Memory pool: agreement of every placement, split, merge and chunk return with a plain
// transcription of the per-group list rules (the main test), the size rules the reference
// shares with the pool, the boundaries and misuse the random workload never reaches,
// allocation failure, and the process-wide pool behind KelMemPool.
#include "sharedlib/mem_pool.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <list>
#include <map>
#include <new>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace {

using Pool = KelMemBlock;
constexpr unsigned H = Pool::kHeaderSize;

// A chunk source over malloc that numbers what it hands out and can refuse.
class TestSource : public Pool::Source {
 public:
  void* Obtain(std::size_t bytes) override {
    if (refuse_from >= 0 && obtained >= refuse_from) return nullptr;
    void* p = std::malloc(bytes);
    m_live[reinterpret_cast<std::uintptr_t>(p)] = Entry{obtained++, bytes};
    return p;
  }
  void Release(void* base) override {
    auto it = m_live.find(reinterpret_cast<std::uintptr_t>(base));
    ASSERT_NE(it, m_live.end()) << "released memory that was never obtained";
    m_live.erase(it);
    std::free(base);
  }
  int Live() const { return static_cast<int>(m_live.size()); }
  // Which acquisition holds `p`, and at what offset.
  bool Locate(const void* p, int* seq, std::size_t* offset) const {
    auto addr = reinterpret_cast<std::uintptr_t>(p);
    auto it = m_live.upper_bound(addr);
    if (it == m_live.begin()) return false;
    --it;
    if (addr >= it->first + it->second.bytes) return false;
    *seq = it->second.seq;
    *offset = addr - it->first;
    return true;
  }

  int refuse_from = -1;  // refuse the Obtain calls numbered from here on
  int obtained = 0;

 private:
  struct Entry {
    int seq;
    std::size_t bytes;
  };
  std::map<std::uintptr_t, Entry> m_live;
};

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
class ReferencePool {
 public:
  struct Loc {
    int chunk;
    unsigned offset;  // of the payload
  };

  explicit ReferencePool(unsigned chunk) : m_size(chunk / Pool::kGranule * Pool::kGranule) {
    AddChunk();
  }

  Loc Allocate(unsigned n) {
    if (n > Pool::kBulkCoalesceAbove)
      for (int g = 0; g < Pool::kBulkCoalesceGroups; ++g)
        if (!m_lists[g].empty()) Coalesce(std::vector<int>(m_lists[g].begin(), m_lists[g].end()));
    unsigned req = Pool::RoundRequest(n);
    int chosen = -1;
    for (int g = Pool::GroupOf(req); g < Pool::kGroupCount && chosen < 0; ++g) {
      for (int id : m_lists[g]) {
        unsigned size = m_blocks[id].size;
        if (size >= req && (chosen < 0 || size < m_blocks[chosen].size)) chosen = id;
        if (size == req) break;
      }
    }
    if (chosen < 0) chosen = AddChunk();
    Unlist(chosen);
    Block& b = m_blocks[chosen];
    b.free = false;
    if (b.size - req >= Pool::kSplitThreshold) {
      int rest = NewBlock(b.chunk, b.offset + H + req, b.size - H - req);
      m_blocks[chosen].size = req;
      m_blocks[rest].free = true;
      List(rest);
    }
    return Loc{m_blocks[chosen].chunk, m_blocks[chosen].offset + H};
  }

  void Release(Loc loc) {
    int id = m_chunks.at(loc.chunk).at(loc.offset - H);
    m_blocks[id].free = true;
    List(id);
    if (m_blocks[id].size >= Pool::kCoalesceOnRelease) Coalesce({id});
  }

  int FreeListSize(int g) const { return static_cast<int>(m_lists[g].size()); }

  // Per chunk, the blocks in address order: offset, size, free.
  std::map<int, std::vector<std::tuple<unsigned, unsigned, bool>>> Layout() const {
    std::map<int, std::vector<std::tuple<unsigned, unsigned, bool>>> layout;
    for (const auto& [chunk, blocks] : m_chunks)
      for (const auto& [offset, id] : blocks)
        layout[chunk].emplace_back(offset, m_blocks[id].size, m_blocks[id].free);
    return layout;
  }

 private:
  struct Block {
    int chunk;
    unsigned offset;  // of the header
    unsigned size;
    bool free = false;
    bool mark = false;
    int list = -1;  // group list holding it
  };

  int NewBlock(int chunk, unsigned offset, unsigned size) {
    m_blocks.push_back(Block{chunk, offset, size});
    int id = static_cast<int>(m_blocks.size()) - 1;
    m_chunks[chunk][offset] = id;
    return id;
  }
  int AddChunk() {
    int id = NewBlock(m_nextChunk++, 0, m_size - H);
    m_blocks[id].free = true;
    List(id);
    return id;
  }
  void List(int id) {  // in front of the others
    m_blocks[id].list = Pool::GroupOf(m_blocks[id].size);
    m_lists[m_blocks[id].list].push_front(id);
  }
  void Unlist(int id) {
    m_lists[m_blocks[id].list].remove(id);
    m_blocks[id].list = -1;
  }

  void Coalesce(const std::vector<int>& list) {
    std::vector<int> collected, merged;
    for (int id : list) {
      if (m_blocks[id].mark) continue;
      auto& chunk = m_chunks[m_blocks[id].chunk];
      auto start = chunk.find(m_blocks[id].offset);
      auto end = start;
      while (start != chunk.begin() && m_blocks[std::prev(start)->second].free) --start;
      while (std::next(end) != chunk.end() && m_blocks[std::next(end)->second].free) ++end;
      if (start == end) continue;
      unsigned total = 0;
      for (auto it = start;; ++it) {
        m_blocks[it->second].mark = true;
        collected.push_back(it->second);
        total += m_blocks[it->second].size + H;
        if (it == end) break;
      }
      int head = start->second;
      m_blocks[head].size = total - H;
      chunk.erase(std::next(start), std::next(end));
      merged.push_back(head);
    }
    for (int id : collected) {
      Unlist(id);
      m_blocks[id].mark = false;
    }
    for (int id : merged) {
      if (m_blocks[id].size == m_size - H && m_blocks[id].chunk != 0)
        m_chunks.erase(m_blocks[id].chunk);
      else
        List(id);
    }
  }

  unsigned m_size;
  std::vector<Block> m_blocks;
  std::map<int, std::map<unsigned, int>> m_chunks;  // chunk -> header offset -> block
  std::list<int> m_lists[Pool::kGroupCount];
  int m_nextChunk = 0;
};

// Runs one random workload on both; returns the first disagreement, or "".
std::string CompareWithReference(unsigned chunk, int steps, std::uint32_t seed) {
  TestSource source;
  Pool pool(chunk, &source);
  ReferencePool ref(chunk);
  std::mt19937 rng(seed);
  struct Live {
    void* p;
    ReferencePool::Loc loc;
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
    const std::string at = "step " + std::to_string(step) + ": ";
    if (live.empty() || pick(0, 99) < 55) {
      unsigned kind = pick(0, 99);
      unsigned n = kind < 70   ? pick(1, 64)
                   : kind < 90 ? pick(65, 1000)
                   : kind < 97 ? pick(1001, 6000)
                   : kind < 98 ? edges[pick(0, 2)]
                               : pick(Pool::kBulkCoalesceAbove + 1, chunk - H);
      void* p = pool.allocate(n);
      ReferencePool::Loc want = ref.Allocate(n);
      int seq = -1;
      std::size_t offset = 0;
      if (!source.Locate(p, &seq, &offset)) return at + "pointer outside every chunk";
      if (seq != want.chunk || offset != want.offset)
        return at + "allocate(" + std::to_string(n) + ") gave chunk " + std::to_string(seq) +
               " offset " + std::to_string(offset) + ", expected chunk " +
               std::to_string(want.chunk) + " offset " + std::to_string(want.offset);
      auto fill = static_cast<unsigned char>(step);
      std::memset(p, fill, n);
      live.push_back(Live{p, want, n, fill});
    } else {
      std::size_t i = pick(0, static_cast<unsigned>(live.size() - 1));
      Live victim = live[i];
      live[i] = live.back();
      live.pop_back();
      const auto* bytes = static_cast<const unsigned char*>(victim.p);
      for (unsigned k = 0; k < victim.n; ++k)
        if (bytes[k] != victim.fill) return at + "payload overwritten";
      pool.deallocate(victim.p);
      ref.Release(victim.loc);
    }
  }
  for (int g = 0; g < Pool::kGroupCount; ++g)
    if (pool.TEST_FreeListSize(g) != ref.FreeListSize(g))
      return "free list " + std::to_string(g) + " holds " +
             std::to_string(pool.TEST_FreeListSize(g)) + ", expected " +
             std::to_string(ref.FreeListSize(g));
  std::map<int, std::vector<std::tuple<unsigned, unsigned, bool>>> layout;
  for (const auto& b : pool.TEST_Blocks()) {
    int seq = -1;
    std::size_t offset = 0;
    source.Locate(b.payload, &seq, &offset);
    layout[seq].emplace_back(static_cast<unsigned>(offset - H), b.size, b.free);
  }
  if (layout != ref.Layout()) return "block layout differs at the end";
  if (pool.TEST_ChunkCount() != source.Live()) return "chunk list and system disagree";
  return "";
}

// Small chunks come and go; the process-wide size keeps everything in one chunk.
TEST(MemBlockReference, PicksTheSameBlocksAsThePerGroupLists) {
  const struct {
    unsigned chunk;
    std::uint32_t seed;
  } runs[] = {{16384, 1}, {16384, 2}, {16384, 3}, {Pool::kSharedChunkSize, 4}, {9000, 7}};
  for (const auto& run : runs) {
    std::string diff;
    Captured([&] { diff = CompareWithReference(run.chunk, 20000, run.seed); });
    EXPECT_EQ(diff, "") << "chunk " << run.chunk << ", seed " << run.seed;
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
  void* none = reinterpret_cast<void*>(1);
  std::string out = Captured([&] { none = pool.allocate(0); });
  EXPECT_EQ(none, nullptr);
  EXPECT_NE(out.find("The request size is too small, just return NULL"), std::string::npos);

  void* whole = pool.allocate(kChunk - H);
  auto blocks = pool.TEST_Blocks();
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(blocks[0].payload, whole);
  EXPECT_FALSE(blocks[0].free);

  void* direct = nullptr;
  out = Captured([&] { direct = pool.allocate(kChunk - H + 1); });
  EXPECT_NE(out.find("The request size is too large, allocated from OS directly"),
            std::string::npos);
  ASSERT_NE(direct, nullptr);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(direct) % 8, 0u);
  std::memset(direct, 0x5A, kChunk - H + 1);
  EXPECT_EQ(pool.TEST_ChunkCount(), 2);
  EXPECT_EQ(pool.TEST_Blocks().size(), 1u);  // not part of the chain
  out = Captured([&] { pool.deallocate(direct); });
  EXPECT_EQ(out, "");
  EXPECT_EQ(source.Live(), 1);
  // Released for good: a second release is an unknown pointer.
  out = Captured([&] { pool.deallocate(direct); });
  EXPECT_NE(out.find("Try to delete an invalid memory buffer from [0x"), std::string::npos);
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
    pool.deallocate(p);  // twice
    pool.deallocate(&local);
    pool.deallocate(nullptr);
    pool.deallocate(other + H);
  });
  EXPECT_EQ(Occurrences(out, "b->free == 0"), 1);
  EXPECT_EQ(Occurrences(out, "Try to delete an invalid memory buffer from [0x"), 3);
  EXPECT_EQ(Snapshot(pool), before);
  EXPECT_EQ(pool.allocate(100), p);  // still handed out once
}

TEST_F(MemBlock, NeighboursWhoseHeadersDisagreeWithTheChainAreNotMerged) {
  Pool pool(kChunk, &source);
  auto* a = static_cast<char*>(pool.allocate(64));
  auto* b = static_cast<char*>(pool.allocate(64));
  void* c = pool.allocate(64);
  pool.allocate(64);
  pool.deallocate(a);
  pool.deallocate(c);
  // Sizes that no longer match the distance to the next header (size field at offset 16).
  const std::uint32_t wrongA = 128, wrongB = 72;
  std::memcpy(a - H + 16, &wrongA, sizeof wrongA);
  std::memcpy(b - H + 16, &wrongB, sizeof wrongB);
  std::string out = Captured([&] { pool.deallocate(b); });
  EXPECT_EQ(Occurrences(out, "non-continous memory region"), 2);
  int separate = 0;
  for (const auto& block : pool.TEST_Blocks()) separate += block.payload == b && block.free;
  EXPECT_EQ(separate, 1);
}

TEST_F(MemBlock, RefusedMemoryThrowsAndARefusedChunkReleasesEveryChunkFirst) {
  Pool pool(kChunk, &source);
  source.refuse_from = source.obtained;
  std::string out = Captured([&] { EXPECT_THROW(pool.allocate(kChunk), std::bad_alloc); });
  EXPECT_NE(out.find("Expand mem failed"), std::string::npos);
  EXPECT_EQ(pool.TEST_ChunkCount(), 1);  // a refused direct allocation leaves the pool
  source.refuse_from = -1;
  Captured([&] {
    pool.allocate(kChunk - H);  // fills the first chunk
    pool.allocate(kChunk);      // a direct allocation, also on the chunk list
  });
  ASSERT_EQ(source.Live(), 2);
  source.refuse_from = source.obtained;
  out = Captured([&] { EXPECT_THROW(pool.allocate(100), std::bad_alloc); });
  EXPECT_NE(out.find("Expand the mem pool"), std::string::npos);
  EXPECT_NE(out.find("Expand mem failed"), std::string::npos);
  EXPECT_EQ(source.Live(), 0);
  EXPECT_EQ(pool.TEST_ChunkCount(), 0);
  EXPECT_TRUE(pool.TEST_Blocks().empty());
  source.refuse_from = -1;
  void* p = nullptr;
  Captured([&] { p = pool.allocate(100); });
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(pool.TEST_ChunkCount(), 1);
  pool.deallocate(p);
}

// Three runs of a 24- and a 16-byte block each. The group's list meets them in the order
// A, B, C (by the first release of each run), while the 16-byte list alone would meet B
// first and the 24-byte list alone would meet A then C. The merged blocks (equal sizes) must
// go back in the group's list order, which the test reads back by allocating them; also
// when the list stamps run out on the way and are numbered afresh.
TEST_F(MemBlock, BulkMergedBlocksReturnInTheGroupListOrderAcrossStampRenumbering) {
  for (std::uint32_t first_stamp : {0u, Pool::kStampLimit - 5}) {
    Pool pool(kChunk, &source);
    void* a24 = pool.allocate(24);
    void* a16 = pool.allocate(16);
    pool.allocate(16);
    void* b16 = pool.allocate(16);
    void* b24 = pool.allocate(24);
    pool.allocate(16);
    void* c24 = pool.allocate(24);
    void* c16 = pool.allocate(16);
    pool.allocate(16);
    pool.TEST_SetNextStamp(first_stamp);
    for (void* p : {a24, b16, c24, a16, b24, c16}) pool.deallocate(p);
    EXPECT_EQ(pool.TEST_FreeListSize(2), 6);  // small releases wait for a large request
    pool.allocate(Pool::kBulkCoalesceAbove + 1);
    const unsigned merged = 24 + 16 + H;
    EXPECT_EQ(pool.allocate(merged), a24) << first_stamp;
    EXPECT_EQ(pool.allocate(merged), b16) << first_stamp;
    EXPECT_EQ(pool.allocate(merged), c24) << first_stamp;
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
  EXPECT_NE(a, nullptr);
  EXPECT_NE(a, b);
  KelMemPool::operator delete[](a);
  KelMemPool::operator delete[](b);
  KelMemPool::operator delete(nullptr);  // silently nothing
}

TEST(MemPool, ThreadsShareThePoolWithoutCorruption) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 20000;
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
  EXPECT_DEATH(
      {
        Node* node = new Node;
        delete node;
        static_cast<volatile char*>(node->bytes)[40] = 1;
      },
      "use-after-poison");
}
#endif

}  // namespace
