// Tests of the event log's ring arithmetic, without files.
#include "service/eventlog/event_ring.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace {

using St = KelRingReadStatus;

// Head 0 and tail C-1 recur every C writes once the ring has wrapped; the count must not
// drop to C-1 there. The same state after C-1 writes into an empty log is counted alike.
TEST(EventRing, CountsOfEmptyPartFullAndWrappedRings) {
  const struct { KelRingPos ring; int items, readable; } cases[] = {
      {{10, 0, 0}, 0, 0}, {{10, 0, 8}, 8, 8}, {{10, 0, 9}, 10, 9}, {{10, 1, 0}, 10, 9},
      {{10, 4, 3}, 10, 9}, {{10, 3, 5}, 2, 2}, {{1, 0, 0}, 0, 0}};
  for (const auto& k : cases) {
    EXPECT_TRUE(RingItemCount(k.ring) == k.items && RingReadableCount(k.ring) == k.readable)
        << k.ring.head << "/" << k.ring.tail;
  }
  for (int slot = -1; slot <= 10; ++slot)
    EXPECT_TRUE(!RingIsOccupied(KelRingPos{10, 0, 0}, slot) &&
                RingIsOccupied(KelRingPos{10, 4, 3}, slot) == (slot >= 0 && slot < 10 && slot != 3)) << slot;
  EXPECT_FALSE(RingIsOccupied(KelRingPos{10, 0, 9}, RingSlotOfItem(10, 0, 9)));
}

// Replays writes against a model of the slots: the head stays until the ring is full and
// then follows the tail, and reading items 0..readable-1 gives consecutive writes, oldest
// first, ending with the newest, for every fill level.
TEST(EventRing, ItemsReadInIndexOrderAreTheNewestWritesOldestFirst) {
  for (int capacity = 2; capacity <= 10; ++capacity) {
    KelRingPos ring{capacity, 0, 0};
    std::vector<int> slots(capacity, -1);
    for (int write = 1; write <= 4 * capacity; ++write) {
      const int tail = ring.tail;
      ASSERT_EQ(RingAdvance(&ring), tail);
      slots[tail] = write;
      EXPECT_EQ(ring.head, write < capacity ? 0 : (ring.tail + 1) % capacity) << write;
      const int readable = RingReadableCount(ring);
      ASSERT_EQ(readable, write < capacity ? write : capacity - 1);
      for (int index = 0; index < readable; ++index) {
        const int slot = RingSlotOfItem(capacity, ring.head, index);
        ASSERT_TRUE(RingIsOccupied(ring, slot));
        EXPECT_EQ(slots[slot], write - readable + 1 + index) << "C=" << capacity << " write=" << write;
      }
    }
  }
}

TEST(EventRing, SlotsIndexesAndOffsetsStayWithinTheRing) {
  EXPECT_EQ((std::vector<int>{RingSlotOfItem(10, 4, 6), RingSlotOfItem(10, 4, 9), RingSlotOfItem(10, 4, -1),
                              RingSlotOfItem(10, 9, INT_MAX)}),
            (std::vector<int>{0, 3, -1, static_cast<int>((static_cast<long long>(INT_MAX) + 9) % 10)}));
  EXPECT_TRUE(RingIndexesValid(10, 9, 8));
  const int bad[][2] = {{0, 10}, {0, 11}, {-1, 0}, {3, -2}};
  for (const auto& b : bad) EXPECT_FALSE(RingIndexesValid(10, b[0], b[1])) << b[0] << "/" << b[1];
  // Slot k lies behind the header record; offsets do not overflow.
  EXPECT_TRUE(RingSlotOffset(0, 200) == 200 && RingSlotOffset(52427, 200) == 52428LL * 200);
}

TEST(EventRing, ReadRequestsArePlannedClippedOrRefused) {
  const struct { KelRingPos ring; int offset, count; St status; int first, step, positions; bool clipped; } cases[] = {
      {{10, 0, 3}, 1, 5, St::kOk, 1, 1, 2, true},  // forward, clipped at the last item
      {{10, 0, 3}, 0, 3, St::kOk, 0, 1, 3, false}, {{10, 4, 3}, 0, 10, St::kOk, 0, 1, 10, false},
      {{10, 0, 3}, 3, 1, St::kOk, 3, 1, 0, true},  // nothing newer than the newest
      {{10, 0, 5}, 5, -2, St::kOk, 4, -1, 2, false},  // backward from the item below
      {{10, 0, 5}, 2, -5, St::kOk, 1, -1, 2, false},  // nothing lies below item 0
      {{10, 0, 5}, 8, -4, St::kOk, 4, -1, 1, false},  // excess 3 lost: one item left
      {{10, 0, 5}, 8, -3, St::kNothingOlder, 0, 1, 0, false}, {{10, 0, 5}, 10, -1, St::kNothingOlder, 0, 1, 0, false},
      {{10, 0, 5}, 5, INT_MIN, St::kOk, 4, -1, 5, false},     {{10, 0, 5}, -1, 1, St::kBadOffset, 0, 1, 0, false},
      {{10, 0, 5}, 11, -1, St::kBadOffset, 0, 1, 0, false},   {{10, 0, 5}, 0, 0, St::kZeroCount, 0, 1, 0, false},
  };
  for (const auto& k : cases) {
    const KelRingReadPlan p = RingPlanRead(k.ring, k.offset, k.count);
    EXPECT_TRUE(p.status == k.status && p.firstItem == k.first && p.step == k.step && p.positions == k.positions &&
                p.clipped == k.clipped)
        << k.offset << ", " << k.count << ": " << p.firstItem << " " << p.step << " " << p.positions;
  }
}


}  // namespace
