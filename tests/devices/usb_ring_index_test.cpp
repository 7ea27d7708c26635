// Device ring bookkeeping: the newest-frame rule and the slot the reader holds.
#include <gtest/gtest.h>

#include "devices/usb/usb_ring_index.h"

namespace {

using quvex::UsbRingIndex;

// Fills the next slot completely; returns it.
int Fill(UsbRingIndex& ring, bool complete = true) {
  const int slot = ring.BeginFill();
  ring.EndFill(slot, complete);
  return slot;
}

TEST(UsbRingIndex, PollPointsAtTheNewestFrameAndSkipsOlderOnes) {
  UsbRingIndex ring;
  ASSERT_TRUE(ring.Reset(3));
  EXPECT_FALSE(ring.PollNewest());  // nothing filled
  EXPECT_EQ(Fill(ring), 0);
  EXPECT_EQ(ring.WriteIndex(), 1);
  ASSERT_TRUE(ring.PollNewest());
  EXPECT_EQ(ring.ReadIndex(), 0);

  // Three frames while the reader is idle: the newest is slot 2, not the
  // oldest unread one that an index difference would pick.
  ASSERT_TRUE(ring.Reset(3));
  Fill(ring);
  Fill(ring);
  Fill(ring);
  ASSERT_TRUE(ring.PollNewest());
  EXPECT_EQ(ring.ReadIndex(), 2);
  const int slot = ring.BeginRead();
  EXPECT_EQ(slot, 2);
  ring.EndRead(slot);
  EXPECT_EQ(ring.ReadIndex(), 0);

  // Slot 0 holds an older frame than the one read: never offered again.
  EXPECT_FALSE(ring.PollNewest());
  EXPECT_EQ(ring.BeginRead(), -1);
}

TEST(UsbRingIndex, TheSlotTheReaderHoldsIsNeverFilled) {
  UsbRingIndex ring;
  ASSERT_TRUE(ring.Reset(2));
  Fill(ring);  // slot 0
  ASSERT_TRUE(ring.PollNewest());
  EXPECT_EQ(ring.ReadIndex(), 0);
  // Until the reader is done with slot 0 the producer keeps to slot 1.
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Fill(ring), 1);
  const int slot = ring.BeginRead();
  EXPECT_EQ(slot, 0);
  EXPECT_EQ(ring.BeginFill(), 1);  // also while the copy runs
  ring.EndFill(1, true);
  ring.EndRead(slot);
  // The frame in slot 1 is newer than the one read.
  ASSERT_TRUE(ring.PollNewest());
  EXPECT_EQ(ring.ReadIndex(), 1);
  EXPECT_EQ(ring.BeginFill(), 0);
}

TEST(UsbRingIndex, FailedOrUnfinishedFillsAreNeverOffered) {
  UsbRingIndex ring;
  ASSERT_TRUE(ring.Reset(4));
  Fill(ring);
  ASSERT_TRUE(ring.PollNewest());
  ring.EndRead(ring.BeginRead());

  EXPECT_EQ(Fill(ring, false), 1);  // the read failed
  EXPECT_EQ(ring.WriteIndex(), 2);   // the slot counts as used, not as a frame
  EXPECT_FALSE(ring.PollNewest());
  EXPECT_EQ(ring.BeginRead(), -1);

  const int filling = ring.BeginFill();  // slot 2, in progress
  EXPECT_EQ(filling, 2);
  EXPECT_FALSE(ring.PollNewest());
  ring.EndFill(filling, true);
  ASSERT_TRUE(ring.PollNewest());
  EXPECT_EQ(ring.ReadIndex(), 2);
}

TEST(UsbRingIndex, NoRingNoSlots) {
  UsbRingIndex ring;
  EXPECT_FALSE(ring.Reset(1));
  EXPECT_EQ(ring.BeginFill(), -1);
  EXPECT_EQ(ring.BeginRead(), -1);
  EXPECT_FALSE(ring.PollNewest());
}

}  // namespace
