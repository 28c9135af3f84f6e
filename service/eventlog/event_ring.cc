// Pure ring arithmetic of the event log; see event_ring.h for the ring rule.
#include "service/eventlog/event_ring.h"

int RingItemCount(const KelRingPos& ring) {
  // head 0 / tail C-1 is both "C-1 writes into an empty log" and a wrapped ring; it is
  // counted as wrapped so that the count stays C once the ring is full.
  if (ring.capacity > 1 && ring.head == (ring.tail + 1) % ring.capacity) return ring.capacity;
  return ring.tail >= ring.head ? ring.tail - ring.head : ring.capacity;
}

int RingReadableCount(const KelRingPos& ring) {
  return ring.tail >= ring.head ? ring.tail - ring.head : ring.capacity - ring.head + ring.tail;
}

int RingSlotOfItem(int capacity, int head, int index) {
  if (index < 0 || capacity <= 0) return -1;
  return static_cast<int>((static_cast<int64_t>(index) + head) % capacity);
}

bool RingIsOccupied(const KelRingPos& ring, int slot) {
  if (slot < 0 || slot >= ring.capacity) return false;
  if (ring.tail >= ring.head) return slot >= ring.head && slot < ring.tail;
  return slot >= ring.head || slot < ring.tail;
}

bool RingIndexesValid(int capacity, int head, int tail) {
  return head >= 0 && head < capacity && tail >= 0 && tail < capacity;
}

int RingAdvance(KelRingPos* ring) {
  const int written = ring->tail;
  ring->tail = (ring->tail + 1) % ring->capacity;
  if (ring->tail <= ring->head) ring->head = (ring->head + 1) % ring->capacity;
  return written;
}

int64_t RingSlotOffset(int slot, int recordSize) { return (static_cast<int64_t>(slot) + 1) * recordSize; }

KelRingReadPlan RingPlanRead(const KelRingPos& ring, int offset, int count) {
  KelRingReadPlan plan;
  if (offset < 0 || offset > ring.capacity) {
    plan.status = KelRingReadStatus::kBadOffset;
    return plan;
  }
  if (count == 0) {
    plan.status = KelRingReadStatus::kZeroCount;
    return plan;
  }
  const int64_t items = RingItemCount(ring);
  if (count > 0) {
    const int64_t available = offset < items ? items - offset : 0;
    int64_t wanted = count;
    if (wanted > available) {
      plan.clipped = true;
      wanted = available;
    }
    plan.firstItem = offset;
    plan.step = 1;
    plan.positions = static_cast<int>(wanted);
    return plan;
  }
  // Backward. 64-bit so that a count of INT_MIN can be negated.
  int64_t wanted = -static_cast<int64_t>(count);
  int64_t from = offset;
  if (from > items) {
    wanted -= from - items;
    from = items;
    if (wanted <= 0) {
      plan.status = KelRingReadStatus::kNothingOlder;
      return plan;
    }
  }
  if (wanted > from) wanted = from;  // nothing lies below item 0
  plan.firstItem = static_cast<int>(from) - 1;
  plan.step = -1;
  plan.positions = static_cast<int>(wanted);
  return plan;
}

void RingEncodeHeader(int32_t head, int32_t tail, unsigned char out[8]) {
  const uint32_t values[2] = {static_cast<uint32_t>(head), static_cast<uint32_t>(tail)};
  for (int v = 0; v < 2; ++v)
    for (int b = 0; b < 4; ++b) out[v * 4 + b] = static_cast<unsigned char>(values[v] >> (8 * b));
}

void RingDecodeHeader(const unsigned char in[8], int32_t* head, int32_t* tail) {
  uint32_t values[2] = {0, 0};
  for (int v = 0; v < 2; ++v)
    for (int b = 0; b < 4; ++b) values[v] |= static_cast<uint32_t>(in[v * 4 + b]) << (8 * b);
  *head = static_cast<int32_t>(values[0]);
  *tail = static_cast<int32_t>(values[1]);
}
