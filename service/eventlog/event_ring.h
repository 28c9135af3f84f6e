// The event log's ring arithmetic, kept apart from the file I/O so that it can be checked
// without files: how many items the ring holds, where item i lies, which slots may be
// read, where the next write goes and how the head moves, how a read request is clipped,
// and the byte layout of the header's two indexes.
//
// A ring of capacity C has slots 0..C-1; `head` is the oldest slot, `tail` the next slot
// to write. Items occupy head (inclusive) to tail (exclusive), wrapping at C. Once the
// ring has wrapped, head = (tail + 1) mod C: slot `tail` still holds the oldest record
// but is next to be overwritten, so it lies outside the occupied range and is not read.
#ifndef KEL_SERVICE_EVENTLOG_EVENT_RING_H
#define KEL_SERVICE_EVENTLOG_EVENT_RING_H

#include <cstdint>

struct KelRingPos {
  int capacity;  // C, at least 1 for every function below to mean anything
  int head;      // oldest slot
  int tail;      // next slot to write
};

// The reported number of items: C for a wrapped ring (tail < head, or head = (tail + 1)
// mod C), else tail - head. The state head 0 / tail C-1 is ambiguous: it follows C-1
// writes into an empty log as well as every C-th write once the ring has wrapped. It is
// counted as wrapped, so the count stays C once the ring is full; before the wrap it
// overstates by one, and the extra index is refused like a wrapped ring's last index.
int RingItemCount(const KelRingPos& ring);

// The number of slots in the occupied range, i.e. of items that can be read back; one
// less than RingItemCount once the ring has wrapped.
int RingReadableCount(const KelRingPos& ring);

// The slot of item `index` counted from `head`: (index + head) mod C, or -1 for a
// negative index.
int RingSlotOfItem(int capacity, int head, int index);

// Whether `slot` lies in the occupied range.
bool RingIsOccupied(const KelRingPos& ring, int slot);

// Whether indexes read from a header can be used: both in 0..C-1. (The writer never
// produces C, and a write at slot C would land beyond the file's maximum size.)
bool RingIndexesValid(int capacity, int head, int tail);

// Records one write: returns the slot written (the old tail), moves the tail on and, when
// the new tail is not greater than the head, moves the head on too.
int RingAdvance(KelRingPos* ring);

// Byte offset of a slot in the file: record 0 is the header, slot k is record k + 1.
int64_t RingSlotOffset(int slot, int recordSize);

enum class KelRingReadStatus {
  kOk,
  kBadOffset,     // offset outside 0..C
  kZeroCount,     // nothing asked for
  kNothingOlder,  // a backward request that lies wholly above the newest item
};

// The item positions a read request visits: `positions` items from `firstItem`, one
// `step` apart (+1 towards newer items, -1 towards older ones). Item indexes count from
// the head, 0 to RingItemCount - 1; a position may still be refused by RingIsOccupied
// (the wrapped ring's last index).
struct KelRingReadPlan {
  KelRingReadStatus status = KelRingReadStatus::kOk;
  int firstItem = 0;
  int step = 1;
  int positions = 0;
  bool clipped = false;  // a forward request ran past the newest item and was shortened
};

// count > 0: items offset, offset+1, ... up to the last item. count < 0: |count| items
// offset-1, offset-2, ... down to item 0; an offset beyond the item count first shortens
// the request by the excess and moves the offset to the item count.
KelRingReadPlan RingPlanRead(const KelRingPos& ring, int offset, int count);

// The header's first 8 bytes: head, then tail, each int32 little-endian.
void RingEncodeHeader(int32_t head, int32_t tail, unsigned char out[8]);
void RingDecodeHeader(const unsigned char in[8], int32_t* head, int32_t* tail);

#endif
