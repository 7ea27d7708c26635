// The command frame byte by byte, after each kind of operation.
#include <gtest/gtest.h>

#include <map>

#include "transports/gige/gige_command_frame.h"

namespace quvex {
namespace {

using Bytes = std::map<size_t, uint8_t>;

// The frame after Reset with no camera found: every byte not listed is 0.
Bytes BaseFrame() {
  Bytes bytes;
  const char* mac = "MORVA";
  for (size_t i = 0; i < 5; ++i) bytes[i] = static_cast<uint8_t>(mac[i]);
  const char* source = "MORVAQ";
  const char* text = "MORVAX";
  for (size_t i = 0; i < 6; ++i) {
    bytes[6 + i] = static_cast<uint8_t>(source[i]);
    bytes[45 + i] = static_cast<uint8_t>(text[i]);
  }
  bytes[12] = 0x01;
  bytes[20] = 0xFF;
  return bytes;
}

Bytes With(Bytes bytes, const Bytes& changes) {
  for (const auto& [offset, value] : changes) bytes[offset] = value;
  return bytes;
}

void ExpectFrame(const GigECommandFrame& frame, const Bytes& expected) {
  for (size_t i = 0; i < GigECommandFrame::kSize; ++i) {
    const auto found = expected.find(i);
    EXPECT_EQ(frame.Frame()[i], found == expected.end() ? 0 : found->second) << "byte " << i;
  }
}

struct FrameCase {
  const char* name;
  void (*build)(GigECommandFrame&);
  Bytes expected;
};

TEST(GigECommandFrame, BuildsEveryKindOfFrameByteForByte) {
  const FrameCase cases[] = {
      {"stop before discovery", [](GigECommandFrame& f) { f.SetCommand(29); },
       With(BaseFrame(), {{20, 0x7F}, {21, 0x80}, {22, 0x1D}})},
      {"register write after a frame request",
       [](GigECommandFrame& f) {
         f.SetCommand(29);
         f.SetCommand(26);
         f.SetRegisterWrite(1, 0, 16);
       },
       With(BaseFrame(), {{20, 0x30}, {21, 0x80}, {22, 0x1A}, {26, 1}, {32, 0x10}})},
      {"register write after a reset alone",
       [](GigECommandFrame& f) {
         f.Reset();
         f.SetRegisterWrite(1, 0x0107, 0x0A0B0C);
       },
       With(BaseFrame(), {{20, 0xB0}, {26, 1}, {27, 1}, {28, 7}, {30, 0x0A}, {31, 0x0B}, {32, 0x0C}})},
      {"register write after an acknowledgement keeps its number",
       [](GigECommandFrame& f) {
         f.SetCommand(26);
         f.SetAckNumber(640);
         f.SetRegisterWrite(1, 6, 1);
       },
       With(BaseFrame(), {{20, 0x30}, {21, 0x80}, {22, 0x1A}, {26, 1}, {28, 6}, {32, 1},
                          {43, 0x02}, {44, 0x80}})},
      {"acknowledgement of 640 on a request",
       [](GigECommandFrame& f) {
         f.SetCommand(26);
         f.SetAckNumber(640);
       },
       With(BaseFrame(), {{20, 0x7F}, {21, 0x80}, {22, 0x1A}, {43, 0x02}, {44, 0x80}})},
      {"discovery probe to a camera",
       [](GigECommandFrame& f) {
         f.SetCommand(29);
         f.SetDiscovery();
         f.SetDestination({1, 2, 3, 4, 5, 6});
       },
       With(BaseFrame(), {{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 6}, {20, 0x7F}, {21, 0x80},
                          {22, 0x1D}, {41, 1}})},
      {"a found camera is the destination of every later command",
       [](GigECommandFrame& f) {
         f.SetCameraMac({9, 8, 7, 6, 5, 4});
         f.SetCommand(26);
       },
       With(BaseFrame(), {{0, 9}, {1, 8}, {2, 7}, {3, 6}, {4, 5}, {5, 4}, {20, 0x7F}, {21, 0x80},
                          {22, 0x1A}})},
  };
  for (const FrameCase& c : cases) {
    SCOPED_TRACE(c.name);
    GigECommandFrame frame;
    c.build(frame);
    ExpectFrame(frame, c.expected);
  }
}

}  // namespace
}  // namespace quvex
