// The pool allocator: chunk acquisition, block split and coalescing, the free lists with
// their bitmap, and the process-wide instance behind KelMemPool's operators.
// The layout and the free-list scheme are described at the top of mem_pool.h.
#include "sharedlib/mem_pool.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <climits>
#include <cstdlib>
#include <new>

#include "sharedlib/diag.h"
#include "sharedlib/kel_mutex.h"

// In the sanitizer build the payload of a free block (beyond its free-list links) is marked
// unaddressable, so a pooled object used after its release is reported as it would be on
// the C library heap.
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define KEL_POOL_POISON(addr, size) ASAN_POISON_MEMORY_REGION((addr), (size))
#define KEL_POOL_UNPOISON(addr, size) ASAN_UNPOISON_MEMORY_REGION((addr), (size))
#else
#define KEL_POOL_POISON(addr, size) ((void)(addr), (void)(size))
#define KEL_POOL_UNPOISON(addr, size) ((void)(addr), (void)(size))
#endif

struct KelMemBlock::Header {
  Header* prev;
  Header* next;
  std::uint32_t size;
  std::uint32_t word;
};

namespace {

static_assert(alignof(std::max_align_t) % KelMemBlock::kGranule == 0);

constexpr std::uint32_t kStampMask = KelMemBlock::kStampLimit - 1;
constexpr int kGroupShift = 26;
constexpr std::uint32_t kGroupMask = 0xFu << kGroupShift;
constexpr std::uint32_t kFreeBit = 1u << 30;
constexpr std::uint32_t kMergeBit = 1u << 31;

// The two links a free block keeps at the start of its payload.
template <typename H>
struct FreeLinks {
  H* prev;  // the block in front of it on its list; stale while it is the head
  H* next;  // the block behind it, or null
};

class HeapSource : public KelMemBlock::Source {
 public:
  void* Obtain(std::size_t bytes) override { return std::malloc(bytes); }
  void Release(void* base) override { std::free(base); }
};

// Never destroyed, like the process-wide pool that uses it: releases during exit still work.
KelMemBlock::Source& DefaultSource() {
  alignas(HeapSource) static unsigned char storage[sizeof(HeapSource)];
  static HeapSource* source = new (storage) HeapSource();
  return *source;
}

std::uintptr_t Addr(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }

template <typename H>
FreeLinks<H>* Links(H* h) {
  return reinterpret_cast<FreeLinks<H>*>(reinterpret_cast<char*>(h) + KelMemBlock::kHeaderSize);
}

// Sets a block's payload size and recomputes its group.
template <typename H>
void SetSize(H* h, std::uint32_t size) {
  h->size = size;
  h->word = (h->word & ~kGroupMask) |
            (static_cast<std::uint32_t>(KelMemBlock::GroupOf(size)) << kGroupShift);
}

template <typename H>
int GroupBits(const H* h) {
  return static_cast<int>((h->word & kGroupMask) >> kGroupShift);
}

}  // namespace

// The helpers of the allocation and release paths are declared inline: the library is built
// position-independent, and only inline functions may then be inlined into their callers.

// ---- bitmap over the bins ----

void KelMemBlock::BinMap::Init(std::size_t bits) {
  std::size_t total = 0;
  m_levels = 0;
  do {
    m_levelBits[m_levels] = bits;
    m_levelStart[m_levels] = total;
    bits = (bits + 63) / 64;
    total += bits;
    ++m_levels;
  } while (bits > 1);
  m_words.assign(total, 0);
}

inline void KelMemBlock::BinMap::Set(std::size_t i) {
  for (int lvl = 0; lvl < m_levels; ++lvl) {
    std::uint64_t& word = m_words[m_levelStart[lvl] + (i >> 6)];
    bool was_empty = word == 0;
    word |= std::uint64_t{1} << (i & 63);
    if (!was_empty) return;
    i >>= 6;
  }
}

inline void KelMemBlock::BinMap::Clear(std::size_t i) {
  for (int lvl = 0; lvl < m_levels; ++lvl) {
    std::uint64_t& word = m_words[m_levelStart[lvl] + (i >> 6)];
    word &= ~(std::uint64_t{1} << (i & 63));
    if (word != 0) return;
    i >>= 6;
  }
}

inline std::size_t KelMemBlock::BinMap::FindFrom(std::size_t i) const {
  int lvl = 0;
  // Climb until a word holds a set bit at or after the position.
  for (;;) {
    if (i >= m_levelBits[lvl]) return npos;
    std::uint64_t word = m_words[m_levelStart[lvl] + (i >> 6)] & (~std::uint64_t{0} << (i & 63));
    if (word != 0) {
      i = (i & ~std::size_t{63}) | static_cast<std::size_t>(std::countr_zero(word));
      break;
    }
    if (lvl + 1 == m_levels) return npos;
    i = (i >> 6) + 1;
    ++lvl;
  }
  // Descend along the lowest set bits.
  while (lvl > 0) {
    --lvl;
    std::uint64_t word = m_words[m_levelStart[lvl] + i];
    i = (i << 6) | static_cast<std::size_t>(std::countr_zero(word));
  }
  return i;
}

// ---- construction ----

KelMemBlock::KelMemBlock(unsigned size, Source* source)
    : m_size(size / kGranule * kGranule), m_source(source != nullptr ? source : &DefaultSource()) {
  static_assert(sizeof(Header) == kHeaderSize);
  static_assert(kHeaderSize % kGranule == 0);
  static_assert(kMinPayload >= sizeof(FreeLinks<Header>) && kMinPayload % kGranule == 0);
  if (m_size < kHeaderSize + kMinPayload) throw error_info("Initial block size is too small\n");
  // About kRangeBins range lists cover the sizes from kExactLimit to the chunk payload.
  m_rangeShift = 8;
  while (ChunkPayload() >= kExactLimit &&
         ((ChunkPayload() - kExactLimit) >> m_rangeShift) >= kRangeBins)
    ++m_rangeShift;
  m_binCount = BinOf(ChunkPayload()) + 1;
  m_bins = static_cast<Bin*>(std::calloc(m_binCount, sizeof(Bin)));
  void* base = nullptr;
  try {
    if (m_bins != nullptr) {
      m_binMap.Init(m_binCount);
      base = m_source->Obtain(m_size);
      if (base != nullptr) RecordChunk(static_cast<char*>(base));
    }
  } catch (const std::bad_alloc&) {
    if (base != nullptr) m_source->Release(base);
    base = nullptr;
  }
  if (base == nullptr) {
    std::free(m_bins);
    throw error_info("Init block failed\n");
  }
  Header* first = new (base) Header{nullptr, nullptr, 0, kFreeBit};
  SetSize(first, ChunkPayload());
  m_first = m_last = first;
  BinInsert(first);
}

KelMemBlock::~KelMemBlock() {
  for (std::uintptr_t base : m_chunks) m_source->Release(reinterpret_cast<void*>(base));
  std::free(m_bins);
}

// ---- free lists ----

inline std::uint32_t KelMemBlock::NextStamp() {
  if (m_nextStamp >= kStampLimit) RenumberStamps();
  return m_nextStamp++ & kStampMask;
}

// Blocks of groups 0-3 in list order, newest first: each of their exact-size lists is
// already in falling stamp order, so the group order is a merge of at most eight lists.
// Needs no memory of its own.
template <typename Fn>
void KelMemBlock::ForEachInStampOrder(std::size_t firstBin, std::size_t lastBin, Fn fn) const {
  constexpr std::size_t kMaxBins = (8u << (kBulkCoalesceGroups - 1)) / kGranule;
  Header* cursor[kMaxBins] = {};
  lastBin = std::min(lastBin, m_binCount - 1);
  if (firstBin > lastBin) return;
  std::size_t count = std::min(lastBin - firstBin + 1, kMaxBins);
  for (std::size_t i = 0; i < count; ++i) cursor[i] = m_bins[firstBin + i].head;
  for (;;) {
    std::size_t best = kMaxBins;
    for (std::size_t i = 0; i < count; ++i) {
      if (cursor[i] == nullptr) continue;
      if (best == kMaxBins || (cursor[i]->word & kStampMask) > (cursor[best]->word & kStampMask))
        best = i;
    }
    if (best == kMaxBins) return;
    Header* h = cursor[best];
    cursor[best] = Links(h)->next;
    fn(h);
  }
}

// Stamps only need to order the blocks of groups 0-3; when they run out, those blocks are
// numbered afresh from 0 in the same order.
void KelMemBlock::RenumberStamps() {
  constexpr unsigned kSmallLimit = 8u << (kBulkCoalesceGroups - 1);
  constexpr std::size_t kLastSmallBin = (kSmallLimit - 1) / kGranule;
  std::uint32_t count = 0;
  ForEachInStampOrder(0, kLastSmallBin, [&count](Header*) { ++count; });
  // The walk meets the newest first, which keeps the highest number.
  std::uint32_t stamp = count;
  ForEachInStampOrder(0, kLastSmallBin, [&stamp](Header* h) {
    h->word = (h->word & ~kStampMask) | (--stamp & kStampMask);
  });
  m_nextStamp = count;
}

inline std::size_t KelMemBlock::BinOf(unsigned size) const {
  if (size < kExactLimit) return size / kGranule;
  return kExactLimit / kGranule + ((size - kExactLimit) >> m_rangeShift);
}

// A block is put on its list in front of the blocks already there; on a range list, in
// front of every block not smaller than itself, so each list runs from the smallest size up
// and, among equal sizes, newest first. The newest free block is the one still in the
// cache, which is what keeps node churn cheap. Only blocks behind the head keep a valid prev
// link: taking the head, the common case, then touches no other block.
inline void KelMemBlock::BinInsert(Header* b) {
  int group = GroupBits(b);
  if (group < kBulkCoalesceGroups) b->word = (b->word & ~kStampMask) | NextStamp();
  ++m_freeCount[group];
  if (b->size >= kExactLimit) {
    RangeInsert(b);
  } else {
    std::size_t i = b->size / kGranule;
    Bin& bin = m_bins[i];
    new (Payload(b)) FreeLinks<Header>{nullptr, bin.head};
    if (bin.head != nullptr) {
      Links(bin.head)->prev = b;
    } else {
      bin.tail = b;
      m_binMap.Set(i);
    }
    bin.head = b;
  }
  KEL_POOL_POISON(Payload(b) + kMinPayload, b->size - kMinPayload);
}

void KelMemBlock::RangeInsert(Header* b) {
  std::size_t i = BinOf(b->size);
  Bin& bin = m_bins[i];
  Header* after = bin.tail;
  while (after != nullptr && after->size >= b->size)
    after = after == bin.head ? nullptr : Links(after)->prev;
  Header* before = after != nullptr ? Links(after)->next : bin.head;
  new (Payload(b)) FreeLinks<Header>{after, before};
  if (after != nullptr)
    Links(after)->next = b;
  else
    bin.head = b;
  if (before != nullptr)
    Links(before)->prev = b;
  else
    bin.tail = b;
  if (after == nullptr && before == nullptr) m_binMap.Set(i);
}

inline void KelMemBlock::BinRemove(Header* b) { BinRemoveAt(b, BinOf(b->size)); }

inline void KelMemBlock::BinRemoveAt(Header* b, std::size_t i) {
  Bin& bin = m_bins[i];
  FreeLinks<Header>* links = Links(b);
  if (bin.head == b)
    bin.head = links->next;  // the new head's prev link goes stale
  else
    Links(links->prev)->next = links->next;
  if (bin.tail == b)
    bin.tail = bin.head == nullptr ? nullptr : links->prev;
  else if (links->next != bin.head)
    Links(links->next)->prev = links->prev;
  if (bin.head == nullptr) m_binMap.Clear(i);
  --m_freeCount[GroupBits(b)];
}

// The smallest free block of at least `req` bytes, the newest among equal
// sizes, taken off its list; null when there is none.
inline KelMemBlock::Header* KelMemBlock::TakeFree(unsigned req) {
  std::size_t i = BinOf(req);
  Header* b = m_bins[i].head;
  if (req >= kExactLimit) {
    while (b != nullptr && b->size < req) b = Links(b)->next;
  }
  if (b == nullptr) {
    i = m_binMap.FindFrom(i + 1);
    if (i == BinMap::npos) return nullptr;
    b = m_bins[i].head;
  }
  BinRemoveAt(b, i);
  return b;
}

// ---- chunks ----

void KelMemBlock::RecordChunk(char* base) {
  std::uintptr_t addr = Addr(base);
  m_chunks.insert(std::upper_bound(m_chunks.begin(), m_chunks.end(), addr), addr);
}

// The entry e with e < p <= e + chunk size; direct allocations are found the same way.
// The search is written without data-dependent branches: releases hit chunks at random,
// which a branch predictor cannot follow.
inline bool KelMemBlock::FindChunk(const void* p, std::size_t* index) const {
  std::uintptr_t addr = Addr(p);
  std::size_t n = m_chunks.size();
  if (n == 0) return false;
  const std::uintptr_t* first = m_chunks.data();
  while (n > 1) {  // keeps the last entry below addr, if any, within [first, first + n)
    std::size_t half = n / 2;
    first = first[half] < addr ? first + half : first;
    n -= half;
  }
  if (*first >= addr || addr - *first > m_size) return false;
  *index = static_cast<std::size_t>(first - m_chunks.data());
  return true;
}

void KelMemBlock::ReleaseAllChunks() {
  for (std::uintptr_t base : m_chunks) m_source->Release(reinterpret_cast<void*>(base));
  m_chunks.clear();
  for (std::size_t i = m_binMap.FindFrom(0); i != BinMap::npos; i = m_binMap.FindFrom(i + 1)) {
    m_bins[i] = Bin{nullptr, nullptr};
    m_binMap.Clear(i);
  }
  std::fill(std::begin(m_freeCount), std::end(m_freeCount), 0);
  // The next chunk starts a new chain.
  m_first = m_last = nullptr;
}

void* KelMemBlock::AllocateDirect(unsigned n) {
  void* base = m_source->Obtain(std::size_t{n} + kHeaderSize);
  if (base != nullptr) {
    try {
      RecordChunk(static_cast<char*>(base));
    } catch (const std::bad_alloc&) {
      m_source->Release(base);
      base = nullptr;
    }
  }
  if (base == nullptr) {
    KEL_PRINT(ZEP_DBG_ASSERT, "Expand mem failed");
    throw std::bad_alloc();
  }
  Header* h = new (base) Header{nullptr, nullptr, n, 0};
  return Payload(h);
}

// Appends a chunk to the chain; its single block is free and not on any list.
KelMemBlock::Header* KelMemBlock::AddChunk() {
  KEL_PRINT(ZEP_DBG_WARN, "Expand the mem pool");
  void* base = m_source->Obtain(m_size);
  if (base == nullptr) {
    ReleaseAllChunks();
    KEL_PRINT(ZEP_DBG_ASSERT, "Expand mem failed");
    throw std::bad_alloc();
  }
  try {
    RecordChunk(static_cast<char*>(base));
  } catch (const std::bad_alloc&) {
    m_source->Release(base);
    KEL_PRINT(ZEP_DBG_ASSERT, "Expand mem failed");
    throw;
  }
  Header* h = new (base) Header{m_last, nullptr, 0, kFreeBit};
  SetSize(h, ChunkPayload());
  if (m_last != nullptr)
    m_last->next = h;
  else
    m_first = h;
  m_last = h;
  return h;
}

// ---- allocation ----

inline void KelMemBlock::Split(Header* b, unsigned req) {
  if (b->size - req < kSplitThreshold) return;
  Header* rest = new (Payload(b) + req) Header{b, b->next, 0, kFreeBit};
  SetSize(rest, b->size - kHeaderSize - req);
  if (b->next != nullptr) b->next->prev = rest;
  if (m_last == b) m_last = rest;
  b->next = rest;
  SetSize(b, req);
  if (!((b->size < m_size) && (rest->size < m_size)))
    KEL_ASSERT_TEXT("(b->size < m_size) && (newblk->size < m_size)");
  BinInsert(rest);
}

inline void* KelMemBlock::Allocate(unsigned n) {
  if (n > ChunkPayload()) {
    KEL_PRINT(ZEP_DBG_WARN, "The request size is too large, allocated from OS directly");
    return AllocateDirect(n);
  }
  if (n == 0) {
    KEL_PRINT(ZEP_DBG_WARN, "The request size is too small, just return NULL");
    return nullptr;
  }
  // Small blocks are not merged when released; a large request gathers them first.
  if (n > kBulkCoalesceAbove) BulkCoalesce();
  unsigned req = RoundRequest(n);
  Header* b = TakeFree(req);
  if (b == nullptr) b = AddChunk();
  b->word &= ~kFreeBit;
  KEL_POOL_UNPOISON(Payload(b), b->size);
  Split(b, req);
  return Payload(b);
}

// ---- release and coalescing ----

// Forced inline: the compiler leaves it out of line by size, and KelMemPool's release path is
// the hottest caller of the process.
__attribute__((always_inline)) inline void KelMemBlock::Deallocate(void* p) {
  std::size_t index = 0;
  Header* b = p != nullptr ? HeaderOf(p) : nullptr;
  if (!FindChunk(p, &index)) {
    KEL_PRINT(ZEP_DBG_WARN, "Try to delete an invalid memory buffer from [0x%p]\n", p);
    return;
  }
  if (b->size > ChunkPayload()) {
    if (m_chunks[index] != Addr(b)) {  // a size no block of a chunk can have
      KEL_PRINT(ZEP_DBG_WARN, "Try to delete an invalid memory buffer from [0x%p]\n", p);
      return;
    }
    m_chunks.erase(m_chunks.begin() + static_cast<std::ptrdiff_t>(index));
    m_source->Release(b);
    return;
  }
  if (b->word & kFreeBit) {
    KEL_ASSERT_TEXT("b->free == 0");
    return;
  }
  b->word |= kFreeBit;
  BinInsert(b);
  if (b->size < kCoalesceOnRelease) return;
  Run run;
  if (!MergeRun(b, &run)) return;
  ClearMarks(run);
  FinishMerged(run.start);
}

void* KelMemBlock::allocate(unsigned n) { return Allocate(n); }
void KelMemBlock::deallocate(void* p) { Deallocate(p); }

// Merges the maximal run of physically adjacent free blocks around `b` into the run's first
// block, which keeps the merge mark, leaves the free lists and is not yet put back. False
// when `b` has no free neighbour.
inline bool KelMemBlock::MergeRun(Header* b, Run* run) {
  Header* start = b;
  while (start->prev != nullptr) {
    Header* prev = start->prev;
    std::uintptr_t distance = Addr(start) - Addr(prev);
    std::uintptr_t expected = std::uintptr_t{prev->size} + kHeaderSize;
    if (distance != expected) {
      KEL_PRINT(ZEP_DBG_WARN, "non-continous memory region[%d] != [%d]\n",
                static_cast<int>(distance), static_cast<int>(expected));
      break;
    }
    if (!(prev->word & kFreeBit)) break;
    start = prev;
  }
  Header* end = b;
  while (end->next != nullptr) {
    Header* next = end->next;
    if (Addr(next) - Addr(end) != std::uintptr_t{end->size} + kHeaderSize) {
      KEL_PRINT(ZEP_DBG_WARN, "non-continous memory region\n");
      break;
    }
    if (!(next->word & kFreeBit)) break;
    end = next;
  }
  if (start == end) return false;

  std::uint64_t span = 0;
  for (Header* h = start;; h = h->next) {
    h->word |= kMergeBit;
    BinRemove(h);
    span += std::uint64_t{h->size} + kHeaderSize;
    if (h == end) break;
  }
  *run = Run{start, start->next, end};
  SetSize(start, static_cast<std::uint32_t>(span - kHeaderSize));
  start->next = end->next;
  if (end->next != nullptr) end->next->prev = start;
  if (m_last == end) m_last = start;
  return true;
}

// The absorbed headers still link to each other, so the run can be walked once more.
void KelMemBlock::ClearMarks(const Run& run) {
  run.start->word &= ~kMergeBit;
  for (Header* h = run.oldNext;; h = h->next) {
    h->word &= ~kMergeBit;
    if (h == run.end) break;
  }
}

// A merged block that covers a whole chunk other than the first goes back to the system.
void KelMemBlock::FinishMerged(Header* start) {
  if (start->size != ChunkPayload() || start == m_first) {
    BinInsert(start);
    return;
  }
  if (start->prev != nullptr) start->prev->next = start->next;
  if (start->next != nullptr) start->next->prev = start->prev;
  if (m_last == start) m_last = start->prev;
  std::size_t index = 0;
  if (FindChunk(Payload(start), &index) && m_chunks[index] == Addr(start))
    m_chunks.erase(m_chunks.begin() + static_cast<std::ptrdiff_t>(index));
  m_source->Release(start);
  KEL_PRINT(ZEP_DBG_WARN, "Free a chunk\n");
}

void KelMemBlock::CollectGroup(int group, std::vector<Header*>* out) const {
  out->clear();
  std::size_t lo = group == 0 ? 0 : (4u << group);
  std::size_t hi = (4u << (group + 1)) - 1;
  ForEachInStampOrder(lo / kGranule, hi / kGranule, [out](Header* h) { out->push_back(h); });
}

void KelMemBlock::BulkCoalesce() {
  for (int group = 0; group < kBulkCoalesceGroups; ++group) {
    if (m_freeCount[group] == 0) continue;
    CollectGroup(group, &m_scratch);
    m_runs.clear();
    m_runs.reserve(m_scratch.size());  // no allocation once blocks start to move
    for (Header* h : m_scratch) {
      if (h->word & kMergeBit) continue;
      Run run;
      if (MergeRun(h, &run)) m_runs.push_back(run);
    }
    for (const Run& run : m_runs) ClearMarks(run);
    for (const Run& run : m_runs) FinishMerged(run.start);
  }
}

// ---- test accessors ----

int KelMemBlock::TEST_FreeListSize(int group) const {
  if (group < 0 || group >= kGroupCount) return 0;
  return m_freeCount[group];
}

std::vector<KelMemBlock::BlockInfo> KelMemBlock::TEST_Blocks() const {
  std::vector<BlockInfo> blocks;
  for (Header* h = m_first; h != nullptr; h = h->next)
    blocks.push_back(BlockInfo{Payload(h), h->size, GroupBits(h), (h->word & kFreeBit) != 0});
  return blocks;
}

// ---- the process-wide pool ----

namespace {

// m_blk and m_blk_mutex, built together in static storage on first use and never destroyed:
// objects released during exit still find them.
struct SharedPool {
  SharedPool() : blk(KelMemBlock::kSharedChunkSize) {}
  KelMemBlock blk;
  KelMutex mutex;
};

// Set once the pool is built; zero before any static constructor runs.
std::atomic<SharedPool*> g_sharedPool{nullptr};

SharedPool& BuildShared() {
  alignas(SharedPool) static unsigned char storage[sizeof(SharedPool)];
  static SharedPool* pool = new (storage) SharedPool();
  g_sharedPool.store(pool, std::memory_order_release);
  return *pool;
}

inline SharedPool& Shared() {
  SharedPool* pool = g_sharedPool.load(std::memory_order_acquire);
  return pool != nullptr ? *pool : BuildShared();
}

// Builds the pool and its mutex during static initialisation, before main runs.
[[maybe_unused]] const bool kSharedPoolBuilt = (Shared(), true);

// Holds m_blk_mutex for one pool call. It takes the POSIX mutex inside the KelMutex
// directly: this is the hottest lock of the process, and a failure is handled exactly as
// KelMutex::lock handles it.
class PoolLock {
 public:
  explicit PoolLock(KelMutex& mutex) : m_mutex(mutex.native()) {
    int ret = pthread_mutex_lock(m_mutex);
    if (ret != 0) {
      KEL_PRINT(ZEP_DBG_ERROR, "pthread_mutex_lock failed. Ret=%d\n", ret);
      IssueSignal(100);
    }
  }
  ~PoolLock() { pthread_mutex_unlock(m_mutex); }
  PoolLock(const PoolLock&) = delete;
  PoolLock& operator=(const PoolLock&) = delete;

 private:
  pthread_mutex_t* m_mutex;
};

}  // namespace

void* KelMemPool::PoolAllocate(std::size_t size) {
  if (size > UINT_MAX) throw std::bad_alloc();
  SharedPool& shared = Shared();
  PoolLock lock(shared.mutex);
  // An empty array still needs a distinct address; allocate(0) would answer null.
  return shared.blk.Allocate(size == 0 ? 1u : static_cast<unsigned>(size));
}

void KelMemPool::PoolRelease(void* p) {
  if (p == nullptr) return;
  SharedPool& shared = Shared();
  PoolLock lock(shared.mutex);
  shared.blk.Deallocate(p);
}

KelMemBlock& KelMemPool::SharedBlock() { return Shared().blk; }
KelMutex& KelMemPool::SharedBlockMutex() { return Shared().mutex; }

void* KelMemPool::operator new(std::size_t size) { return PoolAllocate(size); }
void* KelMemPool::operator new[](std::size_t size) { return PoolAllocate(size); }
void KelMemPool::operator delete(void* p) noexcept { PoolRelease(p); }
void KelMemPool::operator delete[](void* p) noexcept { PoolRelease(p); }
