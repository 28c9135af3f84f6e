// The process-wide pool allocator for long-lived worker and timer objects and for the nodes
// of the container templates. Classes that derive from KelMemPool take their storage from
// it; KelMemBlock is the allocator itself and may be instantiated on its own (tests).
//
// Block layout on this 64-bit build. Every block is a 24-byte header followed by its payload:
//
//   offset size  field
//   0      8     prev  physically preceding block of the chain, or null
//   8      8     next  physically following block of the chain, or null; the chain runs
//                      through all chunks in the order they were added
//   16     4     size  payload bytes, not counting the header
//   20     4     word  bits 0-25 free-list stamp, 26-29 group, 30 free flag, 31 merge mark
//
// Real pointers keep the chain walk free of any lookup; the size has a word of its own so
// that direct system allocations above 64 MiB still record their size. Chunks start 16-byte
// aligned and every payload size is a multiple of kGranule (8), so with a header of 24 bytes
// every header and every payload is 8-byte aligned. Pooled types must therefore not need
// more than 8-byte alignment. A free block keeps its two free-list links in its payload,
// hence the smallest payload, kMinPayload, is 16 bytes: requests are rounded up to a
// multiple of kGranule and to at least kMinPayload. A block is split when it has at least
// kSplitThreshold (header + smallest payload) spare bytes, otherwise handed out whole.
//
// Free lists: a block is put on a list in front of the blocks already there, so among equal
// sizes the most recently freed one, still in the cache, is met first. Below kExactLimit (groups
// 0-10) there is one list per exact (rounded) payload size; the sizes of group 11 are split
// into at most kRangeBins ranges, each list kept in size order. A bitmap over the lists
// finds the smallest non-empty list at or above a size in a few word scans, whatever the
// number of free blocks. Because the groups are contiguous ranges of sizes, this picks the
// block the twelve per-group lists would pick: the smallest size >= n and, among equal
// sizes, the first one met in its group's list. Each list keeps the order of its group's
// list; the free-list stamp restores the order across the lists of groups 0-3, which is the
// order in which those groups are coalesced before large requests. The lists of the
// process-wide pool take about 80 KiB.
//
// In the sanitizer build the payload of a free block, beyond its links, is marked
// unaddressable, so use after release is reported as on the C library heap.
#ifndef KEL_SHAREDLIB_MEM_POOL_H
#define KEL_SHAREDLIB_MEM_POOL_H

#include <bit>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <vector>

class KelMutex;

// The allocator: variable-sized blocks carved from chunks obtained from the system.
// Not thread-safe; KelMemPool serialises every use of the process-wide instance.
class KelMemBlock {
 public:
  static constexpr unsigned kHeaderSize = 24;
  static constexpr unsigned kGranule = 8;
  static constexpr unsigned kMinPayload = 16;
  static constexpr unsigned kSplitThreshold = kHeaderSize + kMinPayload;
  static constexpr int kGroupCount = 12;
  static constexpr unsigned kCoalesceOnRelease = 64;    // smaller releases skip coalescing
  static constexpr unsigned kBulkCoalesceAbove = 8095;  // larger requests coalesce groups 0-3
  static constexpr int kBulkCoalesceGroups = 4;
  static constexpr unsigned kSharedChunkSize = 0x100000;  // the process-wide instance
  static constexpr unsigned kStampLimit = 1u << 26;
  static constexpr unsigned kExactLimit = 8192;  // smaller sizes have a free list each
  static constexpr unsigned kRangeBins = 4096;   // lists over ranges of larger sizes

  // Thrown by the constructor only; what() is one of the two construction messages.
  class error_info : public std::exception {
   public:
    explicit error_info(const char* text) : m_text(text) {}
    const char* what() const noexcept override { return m_text; }

   private:
    const char* m_text;  // a string literal
  };

  // Where chunks and direct allocations come from. Obtain returns memory aligned to at least
  // 8 bytes, or null when the system refuses. Tests substitute sources that count or refuse.
  class Source {
   public:
    virtual ~Source() = default;
    virtual void* Obtain(std::size_t bytes) = 0;
    virtual void Release(void* base) = 0;
  };

  // What a chain walk reports for each block (tests).
  struct BlockInfo {
    const void* payload;
    unsigned size;
    int group;
    bool free;
  };

  // Acquires the first chunk of `size` bytes (rounded down to a multiple of kGranule) from
  // `source` (null: the C library heap, which must outlive this object). Throws error_info
  // "Initial block size is too small\n" when the chunk cannot hold a header and the smallest
  // payload, "Init block failed\n" when the chunk or the free-list index cannot be obtained.
  explicit KelMemBlock(unsigned size, Source* source = nullptr);
  // Returns every chunk and direct allocation to the source.
  ~KelMemBlock();
  KelMemBlock(const KelMemBlock&) = delete;
  KelMemBlock& operator=(const KelMemBlock&) = delete;

  // A payload of at least `n` bytes, 8-byte aligned; null (with a message) for n = 0.
  // Requests above ChunkSize() - kHeaderSize go straight to the source. Throws std::bad_alloc
  // when the source refuses; a refused chunk first returns every chunk to the source, which
  // invalidates every block handed out so far, and the next allocation starts a new chain.
  void* allocate(unsigned n);
  // Releases a payload obtained from allocate. Unknown pointers and double releases are
  // reported and ignored.
  void deallocate(void* p);

  unsigned ChunkSize() const { return m_size; }
  // Size class of a payload size: 0 below 8, else the bit length of (s >> 3), at most 11.
  static int GroupOf(unsigned size) {
    if (size < 8) return 0;
    int bits = std::bit_width(size >> 3);
    return bits < kGroupCount - 1 ? bits : kGroupCount - 1;
  }
  // The payload size allocate(n) reserves for 0 < n <= ChunkSize() - kHeaderSize.
  static unsigned RoundRequest(unsigned n) {
    unsigned rounded = (n + (kGranule - 1)) / kGranule * kGranule;
    return rounded > kMinPayload ? rounded : kMinPayload;
  }

  // ---- Test accessors: observe internals without exposing them. ----
  // Chunks and direct allocations currently held.
  int TEST_ChunkCount() const { return static_cast<int>(m_chunks.size()); }
  // Number of free blocks in size class `group`.
  int TEST_FreeListSize(int group) const;
  // Walks the chain from the first block to the last.
  std::vector<BlockInfo> TEST_Blocks() const;
  // Sets the next free-list stamp, to exercise the renumbering when stamps run out.
  void TEST_SetNextStamp(std::uint32_t stamp) { m_nextStamp = stamp; }

 private:
  friend class KelMemPool;  // calls the inline bodies of allocate and deallocate

  struct Header;
  struct Bin {
    Header* head;  // first block met
    Header* tail;  // last block met
  };

  // Multi-level bitmap over the bins: bit i of level 0 says bin i is not empty, bit j of
  // level k+1 says word j of level k is not zero.
  class BinMap {
   public:
    static constexpr std::size_t npos = ~std::size_t{0};
    void Init(std::size_t bits);
    void Set(std::size_t i);
    void Clear(std::size_t i);
    // Smallest set index >= i, or npos.
    std::size_t FindFrom(std::size_t i) const;

   private:
    std::vector<std::uint64_t> m_words;
    std::size_t m_levelBits[8] = {};   // bits per level
    std::size_t m_levelStart[8] = {};  // first word of each level in m_words
    int m_levels = 0;
  };

  static char* Payload(Header* h) { return reinterpret_cast<char*>(h) + kHeaderSize; }
  static Header* HeaderOf(void* payload) {
    return reinterpret_cast<Header*>(static_cast<char*>(payload) - kHeaderSize);
  }
  unsigned ChunkPayload() const { return m_size - kHeaderSize; }

  void* Allocate(unsigned n);
  void Deallocate(void* p);
  std::size_t BinOf(unsigned size) const;
  void* AllocateDirect(unsigned n);
  Header* TakeFree(unsigned req);
  Header* AddChunk();
  void Split(Header* b, unsigned req);
  void BinInsert(Header* b);
  void RangeInsert(Header* b);
  void BinRemove(Header* b);
  void BinRemoveAt(Header* b, std::size_t bin);
  std::uint32_t NextStamp();
  void RenumberStamps();
  void CollectGroup(int group, std::vector<Header*>* out) const;
  void BulkCoalesce();
  struct Run {
    Header* start;
    Header* oldNext;  // start's successor before the merge
    Header* end;
  };
  template <typename Fn>
  void ForEachInStampOrder(std::size_t firstBin, std::size_t lastBin, Fn fn) const;
  bool MergeRun(Header* b, Run* run);
  static void ClearMarks(const Run& run);
  void FinishMerged(Header* start);
  bool FindChunk(const void* p, std::size_t* index) const;
  void RecordChunk(char* base);
  void ReleaseAllChunks();

  unsigned m_size;                       // chunk size, fixed at construction
  Source* m_source;                      // where chunks come from
  Header* m_first = nullptr;             // the first chunk's first block; never returned
  Header* m_last = nullptr;              // the last block of the chain
  std::vector<std::uintptr_t> m_chunks;  // chunks and direct allocations, sorted by address
  Bin* m_bins = nullptr;                 // the free lists, indexed by BinOf(size)
  std::size_t m_binCount = 0;
  int m_rangeShift = 8;  // log2 of the span of sizes of one range list
  BinMap m_binMap;
  int m_freeCount[kGroupCount] = {};  // free blocks per group
  std::uint32_t m_nextStamp = 0;      // next free-list stamp for blocks of groups 0-3
  std::vector<Header*> m_scratch;     // bulk coalescing: one group's blocks in list order
  std::vector<Run> m_runs;            // bulk coalescing: the runs merged so far
};

// Base class whose class-level operators allocate from the process-wide pool, one call at a
// time under the pool's mutex. Types deriving from it must not need more than 8-byte
// alignment. Allocation failure throws std::bad_alloc.
class KelMemPool {
 public:
  static void* operator new(std::size_t size);
  static void* operator new[](std::size_t size);
  static void operator delete(void* p) noexcept;
  static void operator delete[](void* p) noexcept;

  // The process-wide pool (m_blk, chunks of kSharedChunkSize) and the mutex that serialises
  // every call on it (m_blk_mutex). Both are built on first use, which the library forces
  // during static initialisation, so static objects of any file may allocate from the pool;
  // neither is ever destroyed, so static objects may also release to it during exit.
  static KelMemBlock& SharedBlock();
  static KelMutex& SharedBlockMutex();

 private:
  static void* PoolAllocate(std::size_t size);
  static void PoolRelease(void* p);
};

#endif
