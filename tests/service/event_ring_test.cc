// Tests of the event log's ring arithmetic, without files.
#include "service/eventlog/event_ring.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace {

TEST(EventRing, EmptyRingHoldsNothing) {
  const KelRingPos ring{10, 0, 0};
  EXPECT_EQ(RingItemCount(ring), 0);
  EXPECT_EQ(RingReadableCount(ring), 0);
  for (int slot = 0; slot < 10; ++slot) EXPECT_FALSE(RingIsOccupied(ring, slot)) << slot;
}

TEST(EventRing, HeadStaysUntilTheRingIsFullThenFollowsTheTail) {
  KelRingPos ring{10, 0, 0};
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(RingAdvance(&ring), i);
    EXPECT_EQ(ring.head, 0);
  }
  EXPECT_EQ(RingReadableCount(ring), 9);
  EXPECT_EQ(RingAdvance(&ring), 9);  // the C-th write
  EXPECT_EQ(ring.head, 1);
  EXPECT_EQ(ring.tail, 0);
  EXPECT_EQ(RingItemCount(ring), 10);
  for (int i = 0; i < 25; ++i) {
    const int written = RingAdvance(&ring);
    EXPECT_EQ(written, i % 10);
    EXPECT_EQ(ring.head, (ring.tail + 1) % 10);
    EXPECT_EQ(RingItemCount(ring), 10);
    EXPECT_EQ(RingReadableCount(ring), 9);
  }
}

// Head 0 and tail C-1 recur every C writes once the ring has wrapped; the count must not
// drop to C-1 there. The same state after C-1 writes into an empty log is counted alike,
// and the slot it overstates is refused.
TEST(EventRing, HeadZeroTailLastCountsAsFull) {
  const KelRingPos ring{10, 0, 9};
  EXPECT_EQ(RingItemCount(ring), 10);
  EXPECT_EQ(RingReadableCount(ring), 9);
  EXPECT_FALSE(RingIsOccupied(ring, RingSlotOfItem(10, 0, 9)));
  EXPECT_EQ(RingItemCount(KelRingPos{10, 0, 8}), 8);
  EXPECT_EQ(RingItemCount(KelRingPos{1, 0, 0}), 0);
}

TEST(EventRing, WrappedRingRefusesOnlyTheSlotAboutToBeOverwritten) {
  const KelRingPos ring{10, 4, 3};  // after 13 writes
  for (int slot = 0; slot < 10; ++slot) EXPECT_EQ(RingIsOccupied(ring, slot), slot != 3) << slot;
  EXPECT_FALSE(RingIsOccupied(ring, -1));
  EXPECT_FALSE(RingIsOccupied(ring, 10));
}

// Replays writes against a model of the slots: reading items 0..readable-1 must give
// consecutive writes, oldest first, ending with the newest, for every fill level.
TEST(EventRing, ItemsReadInIndexOrderAreTheNewestWritesOldestFirst) {
  for (int capacity = 2; capacity <= 7; ++capacity) {
    KelRingPos ring{capacity, 0, 0};
    std::vector<int> slots(capacity, -1);
    for (int write = 1; write <= 4 * capacity; ++write) {
      slots[RingAdvance(&ring)] = write;
      const int readable = RingReadableCount(ring);
      ASSERT_GE(readable, 1);
      for (int index = 0; index < readable; ++index) {
        const int slot = RingSlotOfItem(capacity, ring.head, index);
        ASSERT_TRUE(RingIsOccupied(ring, slot));
        EXPECT_EQ(slots[slot], write - readable + 1 + index) << "C=" << capacity << " write=" << write;
      }
    }
  }
}

TEST(EventRing, SlotOfItemWrapsAtCapacity) {
  EXPECT_EQ(RingSlotOfItem(10, 4, 0), 4);
  EXPECT_EQ(RingSlotOfItem(10, 4, 6), 0);
  EXPECT_EQ(RingSlotOfItem(10, 4, 9), 3);
  EXPECT_EQ(RingSlotOfItem(10, 4, -1), -1);
  EXPECT_EQ(RingSlotOfItem(10, 9, INT_MAX), static_cast<int>((static_cast<long long>(INT_MAX) + 9) % 10));
}

TEST(EventRing, HeaderIndexesMustLieWithinTheRing) {
  EXPECT_TRUE(RingIndexesValid(10, 0, 0));
  EXPECT_TRUE(RingIndexesValid(10, 9, 8));
  EXPECT_FALSE(RingIndexesValid(10, 0, 11));
  EXPECT_FALSE(RingIndexesValid(10, 0, 10));
  EXPECT_FALSE(RingIndexesValid(10, -1, 0));
  EXPECT_FALSE(RingIndexesValid(10, 3, -2));
}

TEST(EventRing, SlotKLiesBehindTheHeaderRecord) {
  EXPECT_EQ(RingSlotOffset(0, 200), 200);
  EXPECT_EQ(RingSlotOffset(52427, 200), 52428LL * 200);
}

TEST(EventRing, ForwardReadIsClippedAtTheLastItem) {
  const KelRingPos ring{10, 0, 3};
  KelRingReadPlan plan = RingPlanRead(ring, 1, 5);
  EXPECT_EQ(plan.status, KelRingReadStatus::kOk);
  EXPECT_TRUE(plan.clipped);
  EXPECT_EQ(plan.firstItem, 1);
  EXPECT_EQ(plan.step, 1);
  EXPECT_EQ(plan.positions, 2);

  plan = RingPlanRead(ring, 0, 3);
  EXPECT_FALSE(plan.clipped);
  EXPECT_EQ(plan.positions, 3);

  plan = RingPlanRead(ring, 3, 1);  // nothing newer than the newest
  EXPECT_EQ(plan.status, KelRingReadStatus::kOk);
  EXPECT_TRUE(plan.clipped);
  EXPECT_EQ(plan.positions, 0);
}

TEST(EventRing, ForwardReadOfAWrappedRingVisitsEveryIndex) {
  const KelRingPos ring{10, 4, 3};
  const KelRingReadPlan plan = RingPlanRead(ring, 0, 10);
  EXPECT_FALSE(plan.clipped);
  EXPECT_EQ(plan.positions, 10);
}

TEST(EventRing, BackwardReadGoesDownFromTheItemBelowTheOffset) {
  const KelRingPos ring{10, 0, 5};
  KelRingReadPlan plan = RingPlanRead(ring, 5, -2);
  EXPECT_EQ(plan.status, KelRingReadStatus::kOk);
  EXPECT_EQ(plan.firstItem, 4);
  EXPECT_EQ(plan.step, -1);
  EXPECT_EQ(plan.positions, 2);

  plan = RingPlanRead(ring, 2, -5);  // nothing lies below item 0
  EXPECT_EQ(plan.firstItem, 1);
  EXPECT_EQ(plan.positions, 2);
}

TEST(EventRing, BackwardReadBeyondTheItemsLosesTheExcess) {
  const KelRingPos ring{10, 0, 5};
  KelRingReadPlan plan = RingPlanRead(ring, 8, -4);  // excess 3: one item left
  EXPECT_EQ(plan.status, KelRingReadStatus::kOk);
  EXPECT_EQ(plan.firstItem, 4);
  EXPECT_EQ(plan.positions, 1);

  EXPECT_EQ(RingPlanRead(ring, 8, -3).status, KelRingReadStatus::kNothingOlder);
  EXPECT_EQ(RingPlanRead(ring, 8, -2).status, KelRingReadStatus::kNothingOlder);
}

TEST(EventRing, MalformedRequestsAreRefused) {
  const KelRingPos ring{10, 0, 5};
  EXPECT_EQ(RingPlanRead(ring, -1, 1).status, KelRingReadStatus::kBadOffset);
  EXPECT_EQ(RingPlanRead(ring, 11, -1).status, KelRingReadStatus::kBadOffset);
  EXPECT_EQ(RingPlanRead(ring, 10, -1).status, KelRingReadStatus::kNothingOlder);
  EXPECT_EQ(RingPlanRead(ring, 0, 0).status, KelRingReadStatus::kZeroCount);
  const KelRingReadPlan plan = RingPlanRead(ring, 5, INT_MIN);
  EXPECT_EQ(plan.status, KelRingReadStatus::kOk);
  EXPECT_EQ(plan.positions, 5);
}

TEST(EventRing, HeaderIndexesAreLittleEndian) {
  unsigned char bytes[8];
  RingEncodeHeader(0x01020304, 0x0A0B0C0D, bytes);
  const unsigned char expected[8] = {0x04, 0x03, 0x02, 0x01, 0x0D, 0x0C, 0x0B, 0x0A};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(bytes[i], expected[i]) << i;
  int32_t head = 0, tail = 0;
  RingDecodeHeader(bytes, &head, &tail);
  EXPECT_EQ(head, 0x01020304);
  EXPECT_EQ(tail, 0x0A0B0C0D);
  RingEncodeHeader(-5, 11, bytes);
  RingDecodeHeader(bytes, &head, &tail);
  EXPECT_EQ(head, -5);
  EXPECT_EQ(tail, 11);
}

}  // namespace
