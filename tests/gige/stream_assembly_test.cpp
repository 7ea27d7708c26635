// Stream assembly: the preamble, the header gap, the lines and the trailer,
// and never a byte past the attached buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <vector>

#include "transports/gige/gige_camera_types.h"
#include "transports/gige/gige_stream.h"

namespace quvex {
namespace {

constexpr size_t kPayload = 1024;
constexpr uint8_t kGuard = 0x5A;

// One frame's stream: preamble, header gap of 0x11, lines of a counting
// pattern, trailer of 0x22.
std::vector<uint8_t> StreamOf(const GigEGeometry& g, std::vector<uint8_t>* image = nullptr) {
  const size_t imageBytes = static_cast<size_t>(g.height) * ((g.width * g.bits + 7) / 8);
  const size_t gap = static_cast<size_t>(g.headerGap);
  // Sized once and filled in place: growing a vector step by step trips a
  // false -Warray-bounds of g++ 12 at -O3.
  std::vector<uint8_t> bytes(50 + gap + imageBytes + static_cast<size_t>(g.trailer), 0x22);
  std::fill_n(bytes.begin(), 50, 0xAA);
  std::fill_n(bytes.begin() + 50, gap, 0x11);
  const auto first = bytes.begin() + static_cast<long>(50 + gap);
  for (size_t i = 0; i < imageBytes; ++i) {
    first[static_cast<long>(i)] = static_cast<uint8_t>(i * 7 + i / 251);
  }
  if (image != nullptr) image->assign(first, first + static_cast<long>(imageBytes));
  return bytes;
}

// Feeds whole payloads; the number of the payload that completed the frame
// (from 1), or 0.
size_t FeedPayloads(CGigEStream& stream, std::vector<uint8_t> bytes) {
  bytes.resize((bytes.size() + kPayload - 1) / kPayload * kPayload, 0);
  for (size_t p = 0; p * kPayload < bytes.size(); ++p) {
    if (stream.Feed(bytes.data() + p * kPayload, kPayload)) return p + 1;
  }
  return 0;
}

TEST(GigEStream, EveryCameraTypeCompletesOnItsLastPayloadWithinTheBuffer) {
  constexpr size_t kSlot = 640 * 480 * 2;
  for (unsigned type : {0u, 1u, 2u, 4u, 5u, 6u}) {
    SCOPED_TRACE(type);
    const GigEGeometry g = *GigECameraGeometry(type, true);
    CGigEStream stream;
    ASSERT_TRUE(stream.Configure(g.width, g.height, g.bits, g.headerGap, g.trailer));
    std::vector<uint8_t> buffer(kSlot + 64, kGuard);
    stream.Attach(buffer.data(), kSlot);
    std::vector<uint8_t> image;
    const std::vector<uint8_t> bytes = StreamOf(g, &image);
    EXPECT_EQ(FeedPayloads(stream, bytes), (bytes.size() + kPayload - 1) / kPayload);
    const size_t kept = std::min(kSlot, image.size());
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + static_cast<long>(kept), buffer.begin()));
    EXPECT_TRUE(std::all_of(buffer.begin() + kSlot, buffer.end(), [](uint8_t b) { return b == kGuard; }));
  }
  // Type 6 fills exactly 640 payloads.
  const GigEGeometry six = *GigECameraGeometry(6, true);
  EXPECT_EQ(StreamOf(six).size(), 640 * kPayload);
}

TEST(GigEStream, PreambleRestartsOnAnyOtherByteAndItsNextSyncByteStartsTheGap) {
  // 49 sync bytes, one other byte, then 51 sync bytes: the 51st is the first
  // byte of the header gap, so the image begins one byte earlier.
  CGigEStream stream;
  ASSERT_TRUE(stream.Configure(4, 1, 8, 2, 0));
  std::vector<uint8_t> buffer(4, 0);
  stream.Attach(buffer.data(), buffer.size());
  std::vector<uint8_t> bytes(49, 0xAA);
  bytes.push_back(0x00);
  bytes.insert(bytes.end(), 51, 0xAA);
  for (uint8_t b : {0x10, 1, 2, 3, 4}) bytes.push_back(b);
  EXPECT_TRUE(stream.Feed(bytes.data(), bytes.size()));
  EXPECT_EQ(buffer, (std::vector<uint8_t>{1, 2, 3, 4}));
}

TEST(GigEStream, TrailerCountsFromTheByteAfterTheLastLine) {
  CGigEStream stream;
  ASSERT_TRUE(stream.Configure(3, 2, 8, 0, 5));
  std::vector<uint8_t> buffer(6, 0);
  stream.Attach(buffer.data(), buffer.size());
  std::vector<uint8_t> bytes(50, 0xAA);
  for (uint8_t b = 1; b <= 6; ++b) bytes.push_back(b);
  bytes.insert(bytes.end(), 4, 0xEE);
  EXPECT_FALSE(stream.Feed(bytes.data(), bytes.size()));  // one trailer byte short
  const uint8_t last = 0xEE;
  EXPECT_TRUE(stream.Feed(&last, 1));
  EXPECT_EQ(buffer, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
}

TEST(GigEStream, DetachedOrEmptyGeometryNeverWritesNorHangs) {
  CGigEStream stream;
  std::vector<uint8_t> bytes(4096, 0xAA);
  EXPECT_FALSE(stream.Feed(bytes.data(), bytes.size()));  // nothing attached

  ASSERT_TRUE(stream.Configure(0, 3, 16, 0, 0));  // lines of no bytes
  uint8_t guard = kGuard;
  stream.Attach(&guard, 0);
  EXPECT_TRUE(stream.Feed(bytes.data(), 60));
  EXPECT_EQ(guard, kGuard);
  EXPECT_FALSE(stream.Configure(5001, 1, 8, 0, 0));
  EXPECT_FALSE(stream.Configure(1, 1, 17, 0, 0));
  EXPECT_FALSE(stream.Configure(1, 1, 8, -1, 0));
}

}  // namespace
}  // namespace quvex
