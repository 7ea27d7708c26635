// Which packets the handler accepts, acknowledges, ignores or restarts on,
// and when a quiet turn asks for the frame again.
#include <gtest/gtest.h>

#include "transports/gige/gige_device.h"
#include "transports/gige/gige_packet.h"

namespace quvex {
namespace {

TEST(GigESequencing, ClassifiesPacketsAgainstTheExpectedSequence) {
  struct Case {
    uint16_t sequence, expected;
    SequenceAction action;
  };
  const Case cases[] = {
      {1, 1, SequenceAction::Accept},         {63, 63, SequenceAction::Accept},
      {64, 64, SequenceAction::AcceptAndAck}, {640, 640, SequenceAction::AcceptAndAck},
      {70, 66, SequenceAction::Ignore},       {128, 66, SequenceAction::Ignore},
      {64, 65, SequenceAction::AckAgain},     {30, 65, SequenceAction::Ignore},
      {200, 65, SequenceAction::Resync},      {1, 641, SequenceAction::Resync},
      {65535, 65535, SequenceAction::Accept}, {0, 0, SequenceAction::AcceptAndAck},
      {129, 66, SequenceAction::Resync},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClassifySequence(c.sequence, c.expected), c.action)
        << c.sequence << " while expecting " << c.expected;
  }
  EXPECT_EQ(SequenceBlock(1), 64);
  EXPECT_EQ(SequenceBlock(65), 128);
  EXPECT_EQ(SequenceBlock(0), 0);
}

TEST(GigESequencing, QuietTurnAsksAgainAfterSilenceMeasuredAcrossSecondBoundaries) {
  using T = platform::PacketTime;
  struct Case {
    T lastPacket, lastRequest, now;
    bool again;
  };
  const Case cases[] = {
      // A packet came since the request: more than 2 s without one.
      {{100, 0}, {99, 0}, {102, 0}, false},
      {{100, 0}, {99, 0}, {102, 1}, true},
      // None came since the request: more than 50 ms.
      {{99, 0}, {100, 0}, {100, 50000}, false},
      {{99, 0}, {100, 0}, {100, 50001}, true},
      // 10 ms across a second boundary is still 10 ms.
      {{99, 0}, {100, 995000}, {101, 5000}, false},
      {{99, 0}, {100, 995000}, {101, 46000}, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(QuietTurnReRequests(c.lastPacket, c.lastRequest, c.now), c.again)
        << c.now.seconds << "." << c.now.microseconds;
  }
}

}  // namespace
}  // namespace quvex
