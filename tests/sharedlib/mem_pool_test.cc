// Memory pool: construction limits, the direct-allocation threshold, split and coalescing
// rules, chunk return, misuse reports, allocation failure, agreement of the exact-size free
// lists with a plain transcription of the per-group list rules, and the process-wide pool
// behind KelMemPool (static initialisation, several threads).
#include "sharedlib/mem_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
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
#include <vector>

#include "sharedlib/kel_list.h"

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
    ++released;
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
  int released = 0;

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

std::vector<int> FreeCounts(const Pool& pool) {
  std::vector<int> counts;
  for (int g = 0; g < Pool::kGroupCount; ++g) counts.push_back(pool.TEST_FreeListSize(g));
  return counts;
}

const Pool::BlockInfo* FindBlock(const std::vector<Pool::BlockInfo>& blocks, const void* payload) {
  for (const auto& b : blocks)
    if (b.payload == payload) return &b;
  return nullptr;
}

class MemBlock : public testing::Test {
 protected:
  static constexpr unsigned kChunk = 64 * 1024;
  TestSource source;
};

TEST(MemBlockGroups, FollowTheBitLengthOfTheSizeInEights) {
  EXPECT_EQ(Pool::GroupOf(0), 0);
  EXPECT_EQ(Pool::GroupOf(7), 0);
  EXPECT_EQ(Pool::GroupOf(8), 1);
  EXPECT_EQ(Pool::GroupOf(15), 1);
  EXPECT_EQ(Pool::GroupOf(16), 2);
  EXPECT_EQ(Pool::GroupOf(31), 2);
  EXPECT_EQ(Pool::GroupOf(63), 3);
  EXPECT_EQ(Pool::GroupOf(64), 4);
  EXPECT_EQ(Pool::GroupOf(4095), 9);
  EXPECT_EQ(Pool::GroupOf(4096), 10);
  EXPECT_EQ(Pool::GroupOf(8191), 10);
  EXPECT_EQ(Pool::GroupOf(8192), 11);
  EXPECT_EQ(Pool::GroupOf(0xFFFFFFFFu), 11);
}

TEST_F(MemBlock, ConstructorRefusesAChunkThatCannotHoldTheSmallestBlock) {
  try {
    Pool pool(H + Pool::kMinPayload - 1, &source);
    FAIL() << "constructed";
  } catch (const Pool::error_info& e) {
    EXPECT_STREQ(e.what(), "Initial block size is too small\n");
  }
  EXPECT_EQ(source.obtained, 0);
  Pool smallest(H + Pool::kMinPayload, &source);
  EXPECT_NE(smallest.allocate(Pool::kMinPayload), nullptr);
}

TEST_F(MemBlock, ConstructorReportsARefusedFirstChunk) {
  source.refuse_from = 0;
  try {
    Pool pool(kChunk, &source);
    FAIL() << "constructed";
  } catch (const Pool::error_info& e) {
    EXPECT_STREQ(e.what(), "Init block failed\n");
  }
}

TEST_F(MemBlock, FreshPoolIsOneFreeBlockSpanningTheChunk) {
  Pool pool(kChunk, &source);
  auto blocks = pool.TEST_Blocks();
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(blocks[0].size, kChunk - H);
  EXPECT_TRUE(blocks[0].free);
  EXPECT_EQ(blocks[0].group, Pool::GroupOf(kChunk - H));
  EXPECT_EQ(pool.TEST_ChunkCount(), 1);
  EXPECT_EQ(pool.TEST_FreeListSize(blocks[0].group), 1);
}

TEST_F(MemBlock, AllocateZeroReturnsNullAndChangesNothing) {
  Pool pool(kChunk, &source);
  auto before = pool.TEST_Blocks();
  void* p = reinterpret_cast<void*>(1);
  std::string out = Captured([&] { p = pool.allocate(0); });
  EXPECT_EQ(p, nullptr);
  EXPECT_NE(out.find("The request size is too small, just return NULL"), std::string::npos);
  auto after = pool.TEST_Blocks();
  ASSERT_EQ(after.size(), before.size());
  EXPECT_EQ(after[0].size, before[0].size);
  EXPECT_TRUE(after[0].free);
}

TEST_F(MemBlock, PayloadsAreAlignedAndRoundedToTheGranule) {
  Pool pool(kChunk, &source);
  std::vector<void*> ptrs;
  for (unsigned n = 1; n <= 200; ++n) {
    void* p = pool.allocate(n);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 8, 0u) << n;
    std::memset(p, 0xAB, n);
    ptrs.push_back(p);
  }
  auto blocks = pool.TEST_Blocks();
  for (unsigned n = 1; n <= 200; ++n) {
    const auto* b = FindBlock(blocks, ptrs[n - 1]);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->size, std::max(Pool::kMinPayload,
                                (n + Pool::kGranule - 1) / Pool::kGranule * Pool::kGranule));
    EXPECT_EQ(b->size, Pool::RoundRequest(n));
  }
}

TEST_F(MemBlock, ChunkPayloadSizedRequestIsServedFromAChunk) {
  Pool pool(kChunk, &source);
  void* whole = nullptr;
  std::string out = Captured([&] { whole = pool.allocate(kChunk - H); });
  EXPECT_EQ(out, "");
  auto blocks = pool.TEST_Blocks();
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(blocks[0].payload, whole);
  EXPECT_FALSE(blocks[0].free);
  // A second one needs a chunk of its own.
  void* second = nullptr;
  out = Captured([&] { second = pool.allocate(kChunk - H); });
  EXPECT_NE(out.find("Expand the mem pool"), std::string::npos);
  EXPECT_EQ(pool.TEST_ChunkCount(), 2);
  EXPECT_EQ(pool.TEST_Blocks().size(), 2u);
  pool.deallocate(second);
  pool.deallocate(whole);
}

TEST_F(MemBlock, OneByteAboveTheChunkPayloadGoesStraightToTheSystemAndBack) {
  Pool pool(kChunk, &source);
  void* p = nullptr;
  std::string out = Captured([&] { p = pool.allocate(kChunk - H + 1); });
  EXPECT_NE(out.find("The request size is too large, allocated from OS directly"),
            std::string::npos);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 8, 0u);
  std::memset(p, 0x5A, kChunk - H + 1);
  EXPECT_EQ(pool.TEST_ChunkCount(), 2);
  EXPECT_EQ(source.Live(), 2);
  auto blocks = pool.TEST_Blocks();  // not part of the chain
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_TRUE(blocks[0].free);
  out = Captured([&] { pool.deallocate(p); });
  EXPECT_EQ(out, "");
  EXPECT_EQ(pool.TEST_ChunkCount(), 1);
  EXPECT_EQ(source.Live(), 1);
  // Released for good: a second release is an unknown pointer.
  out = Captured([&] { pool.deallocate(p); });
  EXPECT_NE(out.find("Try to delete an invalid memory buffer from [0x"), std::string::npos);
}

TEST_F(MemBlock, RefusedDirectAllocationThrowsBadAlloc) {
  Pool pool(kChunk, &source);
  source.refuse_from = source.obtained;
  std::string out = Captured([&] { EXPECT_THROW(pool.allocate(kChunk), std::bad_alloc); });
  EXPECT_NE(out.find("Expand mem failed"), std::string::npos);
  EXPECT_EQ(pool.TEST_ChunkCount(), 1);  // the pool itself is untouched
  EXPECT_NE(pool.allocate(100), nullptr);
}

TEST_F(MemBlock, RefusedChunkReleasesEveryChunkAndThrowsBadAlloc) {
  Pool pool(kChunk, &source);
  Captured([&] {
    pool.allocate(kChunk - H);  // fills the first chunk
    pool.allocate(kChunk);      // a direct allocation, also on the chunk list
  });
  ASSERT_EQ(source.Live(), 2);
  source.refuse_from = source.obtained;
  std::string out = Captured([&] { EXPECT_THROW(pool.allocate(100), std::bad_alloc); });
  EXPECT_NE(out.find("Expand the mem pool"), std::string::npos);
  EXPECT_NE(out.find("Expand mem failed"), std::string::npos);
  EXPECT_EQ(source.Live(), 0);
  EXPECT_EQ(pool.TEST_ChunkCount(), 0);
  EXPECT_TRUE(pool.TEST_Blocks().empty());
  // Once the system gives memory again, the pool starts a new chain.
  source.refuse_from = -1;
  void* p = nullptr;
  Captured([&] { p = pool.allocate(100); });
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(pool.TEST_ChunkCount(), 1);
  pool.deallocate(p);
}

// Frees a block of exactly `size` bytes between two blocks in use; returns its payload.
void* MakeFreeBlock(Pool& pool, unsigned size) {
  void* block = pool.allocate(size);
  pool.allocate(Pool::kMinPayload);  // keeps the block off the rest of the chunk
  pool.deallocate(block);
  return block;
}

TEST_F(MemBlock, BlockShortOfTheSplitThresholdIsHandedOutWhole) {
  Pool pool(kChunk, &source);
  const unsigned size = 200;
  void* block = MakeFreeBlock(pool, size);
  unsigned request = size - (Pool::kSplitThreshold - Pool::kGranule);
  auto free_before = FreeCounts(pool);
  EXPECT_EQ(pool.allocate(request), block);
  auto blocks = pool.TEST_Blocks();
  EXPECT_EQ(FindBlock(blocks, block)->size, size);
  auto free_after = FreeCounts(pool);
  --free_before[Pool::GroupOf(size)];
  EXPECT_EQ(free_after, free_before);
}

TEST_F(MemBlock, BlockAtTheSplitThresholdIsSplitAndTheRestGoesToItsGroup) {
  Pool pool(kChunk, &source);
  const unsigned size = 200;
  void* block = MakeFreeBlock(pool, size);
  unsigned request = size - Pool::kSplitThreshold;
  int rest_group = Pool::GroupOf(Pool::kMinPayload);
  int rest_before = pool.TEST_FreeListSize(rest_group);
  EXPECT_EQ(pool.allocate(request), block);
  auto blocks = pool.TEST_Blocks();
  const auto* b = FindBlock(blocks, block);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->size, request);
  const auto* rest = b + 1;
  EXPECT_EQ(rest->payload, static_cast<char*>(block) + request + H);
  EXPECT_EQ(rest->size, Pool::kMinPayload);
  EXPECT_TRUE(rest->free);
  EXPECT_EQ(rest->group, rest_group);
  EXPECT_EQ(pool.TEST_FreeListSize(rest_group), rest_before + 1);
}

TEST_F(MemBlock, SearchTakesTheSmallestFittingSizeAndTheNewestFreeAmongEquals) {
  Pool pool(kChunk, &source);
  void* later = pool.allocate(96);
  pool.allocate(16);
  void* middle = pool.allocate(80);
  pool.allocate(16);
  void* earlier = pool.allocate(96);
  pool.allocate(16);
  void* bigger = pool.allocate(200);
  pool.allocate(16);
  pool.deallocate(earlier);
  pool.deallocate(bigger);
  pool.deallocate(middle);
  pool.deallocate(later);
  EXPECT_EQ(pool.allocate(90), later);    // two of 96: the one released last
  EXPECT_EQ(pool.allocate(72), middle);   // 80 is the smallest that fits
  EXPECT_EQ(pool.allocate(81), earlier);  // no 88: the next size up, 96
  EXPECT_EQ(pool.allocate(97), bigger);   // group 4 has nothing left: group 5
}

TEST_F(MemBlock, ReleasingTwiceReportsOnceAndKeepsLists) {
  Pool pool(kChunk, &source);
  void* p = pool.allocate(100);
  pool.allocate(16);
  pool.deallocate(p);
  auto counts = FreeCounts(pool);
  auto blocks = pool.TEST_Blocks();
  std::string out = Captured([&] { pool.deallocate(p); });
  EXPECT_EQ(Occurrences(out, "b->free == 0"), 1);
  EXPECT_EQ(FreeCounts(pool), counts);
  auto after = pool.TEST_Blocks();
  ASSERT_EQ(after.size(), blocks.size());
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    EXPECT_EQ(after[i].size, blocks[i].size);
    EXPECT_EQ(after[i].free, blocks[i].free);
  }
  EXPECT_EQ(pool.allocate(100), p);  // still handed out once
}

TEST_F(MemBlock, PointerOutsideEveryChunkIsReportedAndIgnored) {
  Pool pool(kChunk, &source);
  int local = 0;
  std::string out = Captured([&] {
    pool.deallocate(&local);
    pool.deallocate(nullptr);
  });
  EXPECT_EQ(Occurrences(out, "Try to delete an invalid memory buffer from [0x"), 2);
  EXPECT_EQ(pool.TEST_Blocks().size(), 1u);
}

TEST_F(MemBlock, ThreeAdjacentFreeBlocksBecomeOneSpanningTheirHeaders) {
  Pool pool(kChunk, &source);
  void* a = pool.allocate(64);
  void* b = pool.allocate(120);
  void* c = pool.allocate(72);
  pool.allocate(16);
  pool.deallocate(a);
  pool.deallocate(c);
  EXPECT_EQ(pool.TEST_Blocks().size(), 5u);  // a, b, c, guard, rest of the chunk
  pool.deallocate(b);
  auto blocks = pool.TEST_Blocks();
  ASSERT_EQ(blocks.size(), 3u);
  EXPECT_EQ(blocks[0].payload, a);
  EXPECT_EQ(blocks[0].size, 64u + 120u + 72u + 2 * H);
  EXPECT_TRUE(blocks[0].free);
  EXPECT_EQ(blocks[0].group, Pool::GroupOf(64 + 120 + 72 + 2 * H));
  EXPECT_EQ(pool.TEST_FreeListSize(Pool::GroupOf(64)), 0);
  EXPECT_EQ(pool.TEST_FreeListSize(Pool::GroupOf(120)), 0);
}

TEST_F(MemBlock, SmallReleasesMergeOnlyBeforeALargeRequest) {
  Pool pool(kChunk, &source);
  void* a = pool.allocate(16);
  void* b = pool.allocate(24);
  void* c = pool.allocate(16);
  pool.allocate(16);  // guard
  pool.deallocate(a);
  pool.deallocate(b);
  pool.deallocate(c);
  EXPECT_EQ(pool.TEST_FreeListSize(2), 3);
  pool.allocate(Pool::kBulkCoalesceAbove);
  EXPECT_EQ(pool.TEST_FreeListSize(2), 3);
  pool.allocate(Pool::kBulkCoalesceAbove + 1);
  EXPECT_EQ(pool.TEST_FreeListSize(2), 0);
  auto blocks = pool.TEST_Blocks();
  EXPECT_EQ(blocks[0].payload, a);
  EXPECT_EQ(blocks[0].size, 16u + 24u + 16u + 2 * H);
  EXPECT_TRUE(blocks[0].free);
}

// Three runs of a 24- and a 16-byte block each. The group's list meets them in the order
// A, B, C (by the first release of each run), while the 16-byte list alone would meet B
// first and the 24-byte list alone would meet A then C. The merged blocks (equal sizes) must
// go back in the group's list order, which the test reads back by allocating them.
void CheckBulkMergeOrder(Pool& pool, std::uint32_t first_stamp) {
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
  pool.allocate(Pool::kBulkCoalesceAbove + 1);
  const unsigned merged = 24 + 16 + H;
  EXPECT_EQ(pool.allocate(merged), a24);
  EXPECT_EQ(pool.allocate(merged), b16);
  EXPECT_EQ(pool.allocate(merged), c24);
}

TEST_F(MemBlock, BulkMergedBlocksReturnInTheGroupListOrder) {
  Pool pool(kChunk, &source);
  CheckBulkMergeOrder(pool, 0);
}

TEST_F(MemBlock, ListOrderSurvivesRenumberingWhenStampsRunOut) {
  Pool pool(kChunk, &source);
  CheckBulkMergeOrder(pool, Pool::kStampLimit - 2);
}

TEST_F(MemBlock, WhollyFreeSecondChunkGoesBackButTheFirstStays) {
  Pool pool(kChunk, &source);
  void* first = pool.allocate(kChunk - H);
  std::vector<void*> second;
  Captured([&] {
    for (unsigned n : {64u, 300u, 1000u, 128u}) second.push_back(pool.allocate(n));
  });
  ASSERT_EQ(pool.TEST_ChunkCount(), 2);
  std::string out = Captured([&] {
    pool.deallocate(second[1]);
    pool.deallocate(second[3]);
    pool.deallocate(second[0]);
    EXPECT_EQ(pool.TEST_ChunkCount(), 2);
    pool.deallocate(second[2]);
  });
  EXPECT_EQ(Occurrences(out, "Free a chunk\n"), 1);
  EXPECT_EQ(pool.TEST_ChunkCount(), 1);
  EXPECT_EQ(source.Live(), 1);
  out = Captured([&] { pool.deallocate(first); });
  EXPECT_EQ(out.find("Free a chunk"), std::string::npos);
  EXPECT_EQ(pool.TEST_ChunkCount(), 1);
  auto blocks = pool.TEST_Blocks();
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_TRUE(blocks[0].free);
  EXPECT_EQ(blocks[0].size, kChunk - H);
}

TEST_F(MemBlock, ChunkOfSmallBlocksGoesBackAtTheNextLargeRequest) {
  Pool pool(kChunk, &source);
  void* first = pool.allocate(kChunk - H);
  std::vector<void*> small;
  Captured([&] {
    for (int i = 0; i < 10; ++i) small.push_back(pool.allocate(16 + 8 * (i % 5)));
  });
  ASSERT_EQ(pool.TEST_ChunkCount(), 2);
  for (void* p : small) pool.deallocate(p);
  EXPECT_EQ(pool.TEST_ChunkCount(), 2);  // small releases do not merge
  EXPECT_EQ(source.released, 0);
  void* big = nullptr;
  std::string out = Captured([&] { big = pool.allocate(Pool::kBulkCoalesceAbove + 1); });
  // The merge frees the small blocks' chunk before the search; the large block then needs
  // a fresh chunk.
  EXPECT_EQ(Occurrences(out, "Free a chunk\n"), 1);
  EXPECT_LT(out.find("Free a chunk\n"), out.find("Expand the mem pool"));
  EXPECT_EQ(source.released, 1);
  EXPECT_EQ(pool.TEST_ChunkCount(), 2);
  Captured([&] { pool.deallocate(big); });
  EXPECT_EQ(pool.TEST_ChunkCount(), 1);
  pool.deallocate(first);
}

TEST_F(MemBlock, ChainStaysContiguousAcrossChunks) {
  Pool pool(4096, &source);
  std::vector<void*> live;
  Captured([&] {
    for (int i = 0; i < 200; ++i) live.push_back(pool.allocate(100 + (i % 7) * 50));
  });
  int seq = 0;
  std::size_t offset = 0;
  std::map<int, std::size_t> next_offset;  // per chunk, where the next header must start
  for (const auto& b : pool.TEST_Blocks()) {
    ASSERT_TRUE(source.Locate(b.payload, &seq, &offset));
    EXPECT_EQ(offset - H, next_offset[seq]) << "gap or overlap in chunk " << seq;
    next_offset[seq] = offset + b.size;
  }
  for (const auto& [chunk, end] : next_offset) EXPECT_EQ(end, 4096u) << chunk;
  Captured([&] {
    for (void* p : live) pool.deallocate(p);
  });
  EXPECT_EQ(pool.TEST_ChunkCount(), 1);
  EXPECT_EQ(source.Live(), 1);
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
    bool operator==(const Loc&) const = default;
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
  for (int step = 0; step < steps; ++step) {
    if (live.empty() || pick(0, 99) < 55) {
      unsigned kind = pick(0, 99);
      unsigned n = kind < 70   ? pick(1, 64)
                   : kind < 90 ? pick(65, 1000)
                   : kind < 98 ? pick(1001, 6000)
                               : pick(Pool::kBulkCoalesceAbove + 1, chunk - H);
      void* p = pool.allocate(n);
      ReferencePool::Loc want = ref.Allocate(n);
      int seq = -1;
      std::size_t offset = 0;
      if (!source.Locate(p, &seq, &offset))
        return "step " + std::to_string(step) + ": pointer outside every chunk";
      if (seq != want.chunk || offset != want.offset)
        return "step " + std::to_string(step) + ": allocate(" + std::to_string(n) +
               ") gave chunk " + std::to_string(seq) + " offset " + std::to_string(offset) +
               ", expected chunk " + std::to_string(want.chunk) + " offset " +
               std::to_string(want.offset);
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
        if (bytes[k] != victim.fill)
          return "step " + std::to_string(step) + ": payload overwritten";
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

TEST(MemBlockReference, PicksTheSameBlocksAsThePerGroupLists) {
  for (std::uint32_t seed : {1u, 2u, 3u}) {
    std::string diff;
    Captured([&] { diff = CompareWithReference(16384, 20000, seed); });
    EXPECT_EQ(diff, "") << "seed " << seed;
  }
}

TEST(MemBlockReference, AgreesAtTheProcessWideChunkSize) {
  std::string diff;
  Captured([&] { diff = CompareWithReference(Pool::kSharedChunkSize, 20000, 4); });
  EXPECT_EQ(diff, "");
}

TEST(MemBlockReference, AgreesWithSmallChunksThatComeAndGo) {
  std::string diff;
  Captured([&] { diff = CompareWithReference(9000, 20000, 7); });
  EXPECT_EQ(diff, "");
}

// ---- the process-wide pool ----

struct Pooled : public KelMemPool {
  explicit Pooled(int v) : value(v) {}
  virtual ~Pooled() = default;
  int value;
  void* link = nullptr;
};

// Built before main: a static list whose nodes come from the pool.
KelList<int>& StaticList() {
  static KelList<int> list;
  return list;
}
const bool kStaticInsertDone = [] {
  StaticList().Insert(41);
  StaticList().Insert(42);
  return true;
}();

TEST(MemPool, StaticObjectsAllocateFromThePoolBeforeMain) {
  ASSERT_TRUE(kStaticInsertDone);
  ASSERT_EQ(StaticList().Count(), 2);
  EXPECT_EQ(StaticList().Head()->m_val, 41);
  EXPECT_EQ(StaticList().Head()->next->m_val, 42);
  EXPECT_EQ(KelMemPool::SharedBlock().ChunkSize(), Pool::kSharedChunkSize);
}

TEST(MemPool, PooledObjectsComeFromTheSharedBlock) {
  Pooled* p = new Pooled(7);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 8, 0u);
  auto blocks = KelMemPool::SharedBlock().TEST_Blocks();
  const auto* b = FindBlock(blocks, p);
  ASSERT_NE(b, nullptr);
  EXPECT_FALSE(b->free);
  EXPECT_EQ(b->size, Pool::RoundRequest(sizeof(Pooled)));
  delete p;
  blocks = KelMemPool::SharedBlock().TEST_Blocks();
  b = FindBlock(blocks, p);
  ASSERT_NE(b, nullptr);
  EXPECT_TRUE(b->free);
}

TEST(MemPool, EmptyArrayGetsADistinctAddress) {
  Pooled* a = static_cast<Pooled*>(KelMemPool::operator new[](0));
  Pooled* b = static_cast<Pooled*>(KelMemPool::operator new[](0));
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
      for (int i = 0; i < kRounds; ++i) {
        if (mine.size() < 200 && (mine.empty() || rng() % 3 != 0)) {
          mine.push_back(new Pooled(t * kRounds + i));
        } else {
          std::size_t k = rng() % mine.size();
          Pooled* victim = mine[k];
          mine[k] = mine.back();
          mine.pop_back();
          if (victim->value / kRounds != t) ++bad[t];
          delete victim;
        }
      }
      for (Pooled* p : mine) {
        if (p->value / kRounds != t) ++bad[t];
        delete p;
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
