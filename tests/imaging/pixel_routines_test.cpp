#include "imaging/pixel_routines.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <vector>

namespace quvex {
namespace {

constexpr uint8_t kCanary = 0xA5;

// A pixel buffer of exactly stride x height bytes with its descriptor.
struct TestImage {
  std::vector<uint8_t> bytes;
  ImageDesc desc{};

  TestImage(int32_t width, int32_t height, uint32_t bitsPerPixel, uint8_t fill = 0,
            int32_t stride = 0) {
    if (stride == 0) stride = static_cast<int32_t>((bitsPerPixel / 8 * width + 3) & ~3u);
    bytes.assign(static_cast<size_t>(stride) * static_cast<size_t>(height), fill);
    desc = {sizeof(ImageDesc), width, height, stride, bitsPerPixel, bytes.data(),
            {0, 0, width, height}};
  }
  uint8_t* Pixel(int32_t row, int32_t column) {
    return bytes.data() + static_cast<size_t>(row) * static_cast<size_t>(desc.stride) +
           static_cast<size_t>(column) * (desc.bitsPerPixel / 8);
  }
  uint16_t Sample(int32_t row, int32_t column, int k = 0) {
    uint16_t v;
    std::memcpy(&v, Pixel(row, column) + 2 * k, 2);
    return v;
  }
  void SetSample(int32_t row, int32_t column, int k, uint16_t v) {
    std::memcpy(Pixel(row, column) + 2 * k, &v, 2);
  }
  void Randomize(uint32_t seed) {
    std::mt19937 random(seed);
    for (auto& b : bytes) b = static_cast<uint8_t>(random());
  }
};

const PixelRoutineOptions kDefaults{12, kOptionsDefaults, 0};

int Apply(ConvertRoutine routine, TestImage& destination, TestImage& source,
        const PixelRoutineOptions& options = kDefaults) {
  return routine(&destination.desc, &source.desc, &options, 0, 0);
}

TEST(ValidateImageDescTest, ReportsTheFirstFailingCheckInOrder) {
  TestImage image(10, 4, 24);
  EXPECT_EQ(ValidateImageDesc(&image.desc), kPixelOk);

  const std::vector<std::pair<std::function<void(ImageDesc&)>, int>> cases = {
      {[](ImageDesc& d) { d.width = 0; d.height = 0; }, kPixelNoWidth},
      {[](ImageDesc& d) { d.height = 0; d.stride = 0; }, kPixelNoHeight},
      {[](ImageDesc& d) { d.stride = 0; d.bitsPerPixel = 0; }, kPixelBadStride},
      {[](ImageDesc& d) { d.bitsPerPixel = 0; d.bits = nullptr; }, kPixelBadDepth},
      {[](ImageDesc& d) { d.bits = nullptr; d.rect.right = 99; }, kPixelNoBits},
      {[](ImageDesc& d) { d.rect.right = d.width + 1; }, kPixelBadRect},
      {[](ImageDesc& d) { d.rect.left = d.rect.right; }, kPixelBadRect},
      {[](ImageDesc& d) { d.rect.top = -1; }, kPixelBadRect},
      {[](ImageDesc& d) { d.rect.bottom = d.height + 1; }, kPixelBadRect},
      {[](ImageDesc& d) { d.width = -10; }, kPixelBadRect},
      // Refusals that keep the routines inside the buffers.
      {[](ImageDesc& d) { d.stride = -d.stride; }, kPixelBadStride},
      {[](ImageDesc& d) { d.stride = 29; }, kPixelBadStride},  // a 10-pixel row needs 30
      {[](ImageDesc& d) { d.bitsPerPixel = 12; }, kPixelBadDepth},
  };
  for (const auto& [mutate, expected] : cases) {
    ImageDesc d = image.desc;
    mutate(d);
    EXPECT_EQ(ValidateImageDesc(&d), expected);
  }
  ImageDesc exact = image.desc;
  exact.stride = 30;
  EXPECT_EQ(ValidateImageDesc(&exact), kPixelOk);
}

TEST(ConversionEntryTest, ChecksArgumentsSizesAndOptionsBeforeTheImages) {
  TestImage destination(4, 4, 24), source(4, 4, 24);
  for (ConvertRoutine routine : {ConvertDepth, ConvertSameDepth, ConvertFlipSwap}) {
    EXPECT_EQ(routine(nullptr, nullptr, nullptr, 0, 0), kPixelNoArguments);
    EXPECT_EQ(routine(nullptr, &source.desc, &kDefaults, 0, 0), kPixelNoArguments);
    EXPECT_EQ(routine(&destination.desc, nullptr, &kDefaults, 0, 0), kPixelNoArguments);
    EXPECT_EQ(routine(&destination.desc, &source.desc, nullptr, 0, 0), kPixelNoArguments);

    // The descriptor size comes before the options and the rectangles.
    ImageDesc small = destination.desc;
    small.size = sizeof(ImageDesc) - 1;
    small.rect.right = 99;
    const PixelRoutineOptions badKind{12, 2, 0};
    EXPECT_EQ(routine(&small, &source.desc, &badKind, 0, 0), kPixelBadSize);
    EXPECT_EQ(routine(&destination.desc, &small, &kDefaults, 0, 0), kPixelBadSize);

    EXPECT_EQ(Apply(routine, destination, source, badKind), kPixelBadOptionsKind);
    EXPECT_EQ(Apply(routine, destination, source, {11, kOptionsGiven, 0}), kPixelBadSize);
    EXPECT_EQ(Apply(routine, destination, source, {12, kOptionsGiven, 0}), kPixelOk);
    EXPECT_EQ(Apply(routine, destination, source, {0, kOptionsDefaults, 0}), kPixelOk);

    // The destination is validated before the source.
    ImageDesc noWidth = destination.desc;
    noWidth.width = 0;
    ImageDesc noHeight = source.desc;
    noHeight.height = 0;
    EXPECT_EQ(routine(&noWidth, &noHeight, &kDefaults, 0, 0), kPixelNoWidth);
    EXPECT_EQ(routine(&destination.desc, &noHeight, &kDefaults, 0, 0), kPixelNoHeight);
  }
}

TEST(ConversionEntryTest, RefusesDepthPairsThatARoutineDoesNotConvert) {
  TestImage d8(4, 2, 8), d16(4, 2, 16), d24(4, 2, 24), s24(4, 2, 24), s16(4, 2, 16);
  EXPECT_EQ(Apply(ConvertDepth, d8, s24), kPixelBadDepth);
  EXPECT_EQ(Apply(ConvertDepth, d16, s16), kPixelBadDepth);
  EXPECT_EQ(Apply(ConvertSameDepth, d8, s16), kPixelBadDepth);
  EXPECT_EQ(Apply(ConvertFlipSwap, d16, s24), kPixelBadDepth);
  TestImage d40(4, 2, 40), s40(4, 2, 40);
  EXPECT_EQ(Apply(ConvertSameDepth, d40, s40), kPixelBadDepth);
  EXPECT_EQ(Apply(ConvertFlipSwap, d40, s40), kPixelBadDepth);
  ImageDesc twelve = d16.desc;
  twelve.bitsPerPixel = 12;
  ImageDesc twelveSource = s16.desc;
  twelveSource.bitsPerPixel = 12;
  EXPECT_EQ(ConvertFlipSwap(&twelve, &twelveSource, &kDefaults, 0, 0), kPixelBadDepth);
}

// Each refused call must leave every byte of the destination as it was.
TEST(ConversionEntryTest, RefusedCallsLeaveTheDestinationUntouched) {
  struct Case {
    const char* name;
    ConvertRoutine routine;
    std::function<void(TestImage&, TestImage&)> spoil;
    int expected;
  };
  const std::vector<Case> cases = {
      {"rect partly left of image", ConvertFlipSwap,
       [](TestImage&, TestImage& s) { s.desc.rect.left = -2; }, kPixelBadRect},
      {"rect partly below image", ConvertSameDepth,
       [](TestImage& d, TestImage&) { d.desc.rect.bottom = d.desc.height + 3; }, kPixelBadRect},
      {"source stride shorter than a row", ConvertFlipSwap,
       [](TestImage&, TestImage& s) { s.desc.stride = 8; }, kPixelBadStride},
      {"negative stride", ConvertSameDepth,
       [](TestImage& d, TestImage&) { d.desc.stride = -d.desc.stride; }, kPixelBadStride},
      {"smaller source in a block copy", ConvertDepth,
       [](TestImage&, TestImage& s) { s.desc.height = 5; s.desc.rect.bottom = 5; }, kPixelBadRect},
      {"depth without whole bytes", ConvertSameDepth,
       [](TestImage& d, TestImage& s) { d.desc.bitsPerPixel = s.desc.bitsPerPixel = 20; },
       kPixelBadDepth},
      {"unknown options kind", ConvertFlipSwap, nullptr, kPixelBadOptionsKind},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestImage destination(6, 6, 24, kCanary), source(6, 6, 24);
    source.Randomize(1);
    PixelRoutineOptions options = kDefaults;
    if (c.spoil) {
      c.spoil(destination, source);
    } else {
      options.kind = 3;
    }
    EXPECT_EQ(Apply(c.routine, destination, source, options), c.expected);
    EXPECT_EQ(std::vector<uint8_t>(destination.bytes.size(), kCanary), destination.bytes);
  }
}

// 10-bit samples scale exactly; anything above 0x03FF saturates.
struct SampleCase {
  uint16_t in;
  uint8_t to8;
  uint16_t to16;
};
const SampleCase kSamples[] = {
    {0x0000, 0x00, 0x0000}, {0x0001, 0x00, 0x0040}, {0x0007, 0x01, 0x01C0},
    {0x0200, 0x80, 0x8000}, {0x03FF, 0xFF, 0xFFC0}, {0x0400, 0xFF, 0xFFC0},
    {0x8001, 0xFF, 0xFFC0}, {0xFFFF, 0xFF, 0xFFC0},
};
constexpr int kSampleCount = sizeof(kSamples) / sizeof(kSamples[0]);

TEST(SampleScalingTest, GreySamplesScaleAndSaturate) {
  TestImage source(kSampleCount, 1, 16);
  for (int j = 0; j < kSampleCount; ++j) source.SetSample(0, j, 0, kSamples[j].in);
  TestImage narrow(kSampleCount, 1, 8), wide(kSampleCount, 1, 16), flipped(kSampleCount, 1, 16);
  ASSERT_EQ(Apply(ConvertDepth, narrow, source), kPixelOk);
  ASSERT_EQ(Apply(ConvertSameDepth, wide, source), kPixelOk);
  ASSERT_EQ(Apply(ConvertFlipSwap, flipped, source), kPixelOk);
  for (int j = 0; j < kSampleCount; ++j) {
    SCOPED_TRACE(kSamples[j].in);
    EXPECT_EQ(*narrow.Pixel(0, j), kSamples[j].to8);
    EXPECT_EQ(wide.Sample(0, j), kSamples[j].to16);
    EXPECT_EQ(flipped.Sample(0, j), kSamples[j].to16);
  }
}

TEST(SampleScalingTest, ColourSamplesScaleSaturateAndSwap) {
  for (uint32_t bits : {48u, 64u}) {
    SCOPED_TRACE(bits);
    const int samples = static_cast<int>(bits / 16);
    TestImage source(kSampleCount, 1, bits);
    // Pixel j carries kSamples[j] in sample 0 and small marks in the others.
    for (int j = 0; j < kSampleCount; ++j) {
      source.SetSample(0, j, 0, kSamples[j].in);
      for (int k = 1; k < samples; ++k) source.SetSample(0, j, k, static_cast<uint16_t>(4 * k));
    }
    TestImage narrow(kSampleCount, 1, 24), wide(kSampleCount, 1, bits), flipped(kSampleCount, 1, bits);
    ASSERT_EQ(Apply(ConvertDepth, narrow, source), kPixelOk);
    ASSERT_EQ(Apply(ConvertSameDepth, wide, source), kPixelOk);
    ASSERT_EQ(Apply(ConvertFlipSwap, flipped, source), kPixelOk);
    for (int j = 0; j < kSampleCount; ++j) {
      SCOPED_TRACE(kSamples[j].in);
      EXPECT_EQ(narrow.Pixel(0, j)[0], kSamples[j].to8);
      EXPECT_EQ(narrow.Pixel(0, j)[1], 1);
      EXPECT_EQ(narrow.Pixel(0, j)[2], 2);
      EXPECT_EQ(wide.Sample(0, j, 0), kSamples[j].to16);
      EXPECT_EQ(wide.Sample(0, j, 1), 4 << 6);
      // Samples 0 and 2 change places; a fourth stays fourth.
      EXPECT_EQ(flipped.Sample(0, j, 0), 8 << 6);
      EXPECT_EQ(flipped.Sample(0, j, 1), 4 << 6);
      EXPECT_EQ(flipped.Sample(0, j, 2), kSamples[j].to16);
      if (samples == 4) {
        EXPECT_EQ(flipped.Sample(0, j, 3), 12 << 6);
      }
    }
  }
}

TEST(ColourOrderTest, ThirtyTwoBitPixelsDropOrKeepTheirFourthByte) {
  TestImage source(2, 2, 32);
  const uint8_t pixel[4] = {10, 20, 30, 40};
  std::memcpy(source.Pixel(0, 1), pixel, 4);

  TestImage narrow(2, 2, 24, kCanary);
  ASSERT_EQ(Apply(ConvertDepth, narrow, source), kPixelOk);
  EXPECT_EQ(std::vector<uint8_t>(narrow.Pixel(0, 1), narrow.Pixel(0, 1) + 3),
            (std::vector<uint8_t>{10, 20, 30}));
  EXPECT_EQ(narrow.bytes[6], kCanary);  // row padding is not a pixel

  TestImage swapped(2, 2, 32);
  ASSERT_EQ(Apply(ConvertFlipSwap, swapped, source), kPixelOk);
  EXPECT_EQ(std::vector<uint8_t>(swapped.Pixel(1, 1), swapped.Pixel(1, 1) + 4),
            (std::vector<uint8_t>{30, 20, 10, 40}));
}

TEST(RectangleTest, OnlyTheOverlapOfBothRectanglesIsWritten) {
  TestImage source(5, 5, 16), destination(6, 6, 16, kCanary);
  for (int r = 0; r < 5; ++r) {
    for (int c = 0; c < 5; ++c) source.SetSample(r, c, 0, static_cast<uint16_t>(10 * r + c));
  }
  source.desc.rect = {1, 1, 5, 5};       // 4 x 4
  destination.desc.rect = {2, 1, 5, 3};  // 3 x 2
  ASSERT_EQ(Apply(ConvertFlipSwap, destination, source), kPixelOk);
  for (int r = 0; r < 6; ++r) {
    for (int c = 0; c < 6; ++c) {
      SCOPED_TRACE(testing::Message() << r << "," << c);
      if (r >= 1 && r < 3 && c >= 2 && c < 5) {
        // Destination row 1 + i takes source row bottom - 1 - i.
        const int sourceRow = 5 - 1 - (r - 1);
        const int sourceColumn = 1 + (c - 2);
        EXPECT_EQ(destination.Sample(r, c), (10 * sourceRow + sourceColumn) << 6);
      } else {
        EXPECT_EQ(destination.Sample(r, c), kCanary * 0x101);
      }
    }
  }
}

TEST(BlockCopyTest, EqualDepthCopiesMoveTheWholeBlockIncludingPadding) {
  for (uint32_t bits : {8u, 24u}) {
    TestImage source(5, 3, bits), destination(5, 3, bits, kCanary);
    source.Randomize(bits);
    destination.desc.rect = {1, 1, 2, 2};  // ignored by block copies
    ASSERT_EQ(Apply(ConvertDepth, destination, source), kPixelOk);
    EXPECT_EQ(destination.bytes, source.bytes);
  }
  // A larger source is fine: the destination's block is read from its start.
  TestImage source(8, 8, 32), destination(4, 4, 32);
  source.Randomize(7);
  ASSERT_EQ(Apply(ConvertSameDepth, destination, source), kPixelOk);
  EXPECT_TRUE(std::equal(destination.bytes.begin(), destination.bytes.end(), source.bytes.begin()));
}

TEST(BlockCopyTest, EightBitFlipCopiesRowsFromTheRectanglesLeftWithinTheRow) {
  TestImage source(6, 3, 8), destination(6, 3, 8, kCanary);  // stride 8
  source.Randomize(3);
  ASSERT_EQ(Apply(ConvertFlipSwap, destination, source), kPixelOk);
  for (int r = 0; r < 3; ++r) {
    EXPECT_EQ(0, std::memcmp(destination.Pixel(r, 0), source.Pixel(2 - r, 0), 8));  // padding too
  }
  // From column 3 on only what is left of each row is copied, and the copy
  // of the last stored row ends at the end of the buffer.
  TestImage shifted(6, 3, 8, kCanary);
  shifted.desc.rect = {3, 0, 6, 3};
  source.desc.rect = {2, 0, 6, 3};
  ASSERT_EQ(Apply(ConvertFlipSwap, shifted, source), kPixelOk);
  for (int r = 0; r < 3; ++r) {
    EXPECT_EQ(shifted.Pixel(r, 2)[0], kCanary);
    EXPECT_EQ(0, std::memcmp(shifted.Pixel(r, 3), source.Pixel(2 - r, 2), 5));
  }
}

// The vectorised paths must agree with the per-pixel rules at every width,
// including rows that end in a partial block.
TEST(RowKernelTest, EveryWidthFollowsThePixelRules) {
  std::vector<int32_t> widths;
  for (int32_t w = 1; w <= 72; ++w) widths.push_back(w);
  widths.push_back(640);
  for (int32_t w : widths) {
    SCOPED_TRACE(w);
    const int32_t h = 3;
    TestImage grey(w, h, 16), colour(w, h, 24), deep(w, h, 64);
    grey.Randomize(static_cast<uint32_t>(w));
    colour.Randomize(static_cast<uint32_t>(w) + 1000);
    deep.Randomize(static_cast<uint32_t>(w) + 2000);
    TestImage greyOut(w, h, 16), colourOut(w, h, 24), narrowOut(w, h, 8), deepOut(w, h, 64);
    ASSERT_EQ(Apply(ConvertFlipSwap, greyOut, grey), kPixelOk);
    ASSERT_EQ(Apply(ConvertFlipSwap, colourOut, colour), kPixelOk);
    ASSERT_EQ(Apply(ConvertDepth, narrowOut, grey), kPixelOk);
    ASSERT_EQ(Apply(ConvertSameDepth, deepOut, deep), kPixelOk);
    for (int32_t r = 0; r < h; ++r) {
      for (int32_t c = 0; c < w; ++c) {
        const uint16_t g = grey.Sample(h - 1 - r, c);
        ASSERT_EQ(greyOut.Sample(r, c), g > 0x3FF ? 0xFFC0 : g << 6) << r << "," << c;
        const uint16_t straight = grey.Sample(r, c);
        ASSERT_EQ(*narrowOut.Pixel(r, c), straight > 0x3FF ? 0xFF : straight >> 2);
        const uint8_t* in = colour.Pixel(h - 1 - r, c);
        const uint8_t* out = colourOut.Pixel(r, c);
        ASSERT_TRUE(out[0] == in[2] && out[1] == in[1] && out[2] == in[0]) << r << "," << c;
        for (int k = 0; k < 4; ++k) {
          const uint16_t v = deep.Sample(r, c, k);
          ASSERT_EQ(deepOut.Sample(r, c, k), v > 0x3FF ? 0xFFC0 : v << 6);
        }
      }
    }
  }
}

TEST(RowKernelTest, InPlaceConversionReadsEachPixelBeforeWritingIt) {
  TestImage grey(37, 2, 16);
  for (int c = 0; c < 37; ++c) grey.SetSample(0, c, 0, static_cast<uint16_t>(c * 20));
  ASSERT_EQ(ConvertSameDepth(&grey.desc, &grey.desc, &kDefaults, 0, 0), kPixelOk);
  for (int c = 0; c < 37; ++c) {
    const int v = c * 20;
    EXPECT_EQ(grey.Sample(0, c), v > 0x3FF ? 0xFFC0 : v << 6);
  }
  TestImage colour(40, 1, 24);
  colour.Randomize(5);
  const TestImage before = colour;
  ASSERT_EQ(ConvertFlipSwap(&colour.desc, &colour.desc, &kDefaults, 0, 0), kPixelOk);
  for (size_t i = 0; i < 120; i += 3) {
    EXPECT_EQ(colour.bytes[i], before.bytes[i + 2]);
    EXPECT_EQ(colour.bytes[i + 2], before.bytes[i]);
  }
}

// Stretch helpers: each pixel of a 24-bit image holds its own coordinates.
TestImage CoordinateImage(int32_t width, int32_t height, uint32_t bits = 24) {
  TestImage image(width, height, bits);
  for (int32_t r = 0; r < height; ++r) {
    for (int32_t c = 0; c < width; ++c) {
      uint8_t* p = image.Pixel(r, c);
      p[0] = static_cast<uint8_t>(c);
      p[1] = static_cast<uint8_t>(c >> 8);
      p[2] = static_cast<uint8_t>(r);
    }
  }
  return image;
}

int ApplyStretch(StretchRoutine routine, TestImage& destination, TestImage& source,
            const Rect* destinationRect = nullptr, const Rect* sourceRect = nullptr) {
  const Rect d = destinationRect ? *destinationRect : destination.desc.rect;
  const Rect s = sourceRect ? *sourceRect : source.desc.rect;
  return routine(destination.bytes.data(), source.bytes.data(), &d, &s, destination.desc.width,
                 destination.desc.height, source.desc.width, source.desc.height,
                 static_cast<uint16_t>(destination.desc.bitsPerPixel / 8),
                 static_cast<uint16_t>(source.desc.bitsPerPixel / 8), destination.desc.stride,
                 source.desc.stride, 0, 0);
}

int Column(TestImage& image, int32_t r, int32_t c) { return image.Pixel(r, c)[0] | image.Pixel(r, c)[1] << 8; }
int Row(TestImage& image, int32_t r, int32_t c) { return image.Pixel(r, c)[2]; }

TEST(StretchTest, HalvingSamplesEverySecondPixelAndDoublingRepeatsThem) {
  TestImage large = CoordinateImage(640, 240);
  TestImage half(320, 120, 24);
  ASSERT_EQ(ApplyStretch(StretchNearest, half, large), 1);
  for (int32_t r = 0; r < 120; r += 7) {
    for (int32_t c = 0; c < 320; c += 3) {
      ASSERT_EQ(Column(half, r, c), 2 * c);
      ASSERT_EQ(Row(half, r, c), 2 * r);
    }
  }
  TestImage small = CoordinateImage(320, 120);
  TestImage doubled(640, 240, 24);
  ASSERT_EQ(ApplyStretch(StretchNearest, doubled, small), 1);
  for (int32_t r = 0; r < 240; r += 5) {
    for (int32_t c = 0; c < 640; c += 3) {
      ASSERT_EQ(Column(doubled, r, c), c / 2);
      ASSERT_EQ(Row(doubled, r, c), r / 2);
    }
  }
}

TEST(StretchTest, FlipSamplesRowsBottomUpAndLeavesTheFourthByte) {
  TestImage source = CoordinateImage(8, 6);
  TestImage destination(8, 6, 32, kCanary);
  ASSERT_EQ(ApplyStretch(StretchNearestFlip, destination, source), 1);
  for (int32_t r = 0; r < 6; ++r) {
    for (int32_t c = 0; c < 8; ++c) {
      EXPECT_EQ(Row(destination, r, c), 5 - r);
      EXPECT_EQ(Column(destination, r, c), c);
      EXPECT_EQ(destination.Pixel(r, c)[3], kCanary);
    }
  }
}

TEST(StretchTest, SamplesFromTheSourceRectangleAndWritesOnlyTheDestinationRectangle) {
  TestImage source = CoordinateImage(10, 10);
  TestImage destination(6, 6, 24, kCanary);
  const Rect sourceRect{4, 2, 8, 6};       // 4 x 4 from (4, 2)
  const Rect destinationRect{1, 1, 5, 5};  // 4 x 4
  ASSERT_EQ(ApplyStretch(StretchNearest, destination, source, &destinationRect, &sourceRect), 1);
  ASSERT_EQ(ApplyStretch(StretchNearestFlip, destination, source, &destinationRect, &sourceRect), 1);
  for (int32_t r = 0; r < 6; ++r) {
    for (int32_t c = 0; c < 6; ++c) {
      if (r >= 1 && r < 5 && c >= 1 && c < 5) {
        EXPECT_EQ(Column(destination, r, c), 4 + c - 1);
        EXPECT_EQ(Row(destination, r, c), 6 - 1 - (r - 1));  // the flip ran last
      } else {
        EXPECT_EQ(destination.Pixel(r, c)[0], kCanary);
      }
    }
  }
}

TEST(StretchTest, RefusesUnusableImagesAndRectanglesWithoutWriting) {
  TestImage source = CoordinateImage(8, 8);
  const std::vector<std::pair<const char*, std::function<int(TestImage&)>>> cases = {
      {"destination rect partly outside", [&](TestImage& d) {
         const Rect r{-1, 0, 4, 4};
         return ApplyStretch(StretchNearest, d, source, &r);
       }},
      {"source rect partly outside", [&](TestImage& d) {
         const Rect r{0, 4, 8, 9};
         return ApplyStretch(StretchNearestFlip, d, source, nullptr, &r);
       }},
      {"empty destination rect", [&](TestImage& d) {
         const Rect r{2, 2, 2, 4};
         return ApplyStretch(StretchNearest, d, source, &r);
       }},
      {"pixels narrower than three bytes", [&](TestImage& d) {
         TestImage grey(8, 8, 16);
         return ApplyStretch(StretchNearest, d, grey);
       }},
      {"source stride shorter than a row", [&](TestImage& d) {
         source.desc.stride = 12;
         const int result = ApplyStretch(StretchNearest, d, source);
         source.desc.stride = 24;
         return result;
       }},
      {"no source bits", [&](TestImage& d) {
         const Rect r{0, 0, 8, 8};
         return StretchNearest(d.bytes.data(), nullptr, &r, &r, 8, 8, 8, 8, 3, 3, 24, 24, 0, 0);
       }},
  };
  for (const auto& [name, call] : cases) {
    SCOPED_TRACE(name);
    TestImage destination(8, 8, 24, kCanary);
    EXPECT_EQ(call(destination), 0);
    EXPECT_EQ(std::vector<uint8_t>(destination.bytes.size(), kCanary), destination.bytes);
  }
}

}  // namespace
}  // namespace quvex
