// False-colour mapping: every sample against the rules written out plainly,
// the refusals, the auto-range window and host stores during mapping.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

#include "core/camera_object.h"
#include "core/colour_lookup.h"
#include "tests/support/test_tables.h"

namespace quvex {
namespace {

constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kWhite = 0xFFFFFF;

BuildProfile Profile(bool singlePrecision) {
  BuildProfile profile = test::TestProfile(InterpolationVariant::Double, nullptr);
  profile.singlePrecisionPalette = singlePrecision;
  return profile;
}

const BuildProfile kGaldris = Profile(false);
const BuildProfile kCorvane = Profile(true);

Palette360 BuiltPalette() {
  Palette360 palette{};
  BuildPalette360(palette.data());
  return palette;
}

// The rules: black at or below low, white at or above high, else entry
// (v - low) x 360 / (high - low) with the quotient in double (or single)
// precision, truncated and kept within the palette.
uint32_t Reference(int low, int high, bool singlePrecision, uint32_t v) {
  static const Palette360 palette = BuiltPalette();
  const int64_t above = static_cast<int64_t>(v) - low;
  const int64_t span = static_cast<int64_t>(high) - low;
  if (above <= 0) return kBlack;
  if (static_cast<int64_t>(v) >= high) return kWhite;
  int index;
  if (singlePrecision) {
    index = static_cast<int>(static_cast<float>(above) * 360.0f / static_cast<float>(span));
  } else {
    index = static_cast<int>(static_cast<double>(above) * 360.0 / static_cast<double>(span));
  }
  index = std::min(index, 359);
  const auto rgb = static_cast<uint32_t>(palette[static_cast<size_t>(index)]);
  return ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | (rgb >> 16);
}

CDibImage RawImage(int width, int height, const std::function<uint16_t(int, int)>& sample) {
  CDibImage raw;
  EXPECT_EQ(raw.CreateMemory(width, height, 16), 1);
  for (int i = 0; i < height; ++i) {
    for (int j = 0; j < width; ++j) {
      const uint16_t v = sample(i, j);
      std::memcpy(raw.Bits() + i * raw.Stride() + 2 * j, &v, 2);
    }
  }
  return raw;
}

CDibImage ColourImage(int width, int height) {
  CDibImage colour;
  EXPECT_EQ(colour.CreateMemory(width, height, 24), 1);
  std::memset(colour.Bits(), 0xAB, colour.ByteSize());
  return colour;
}

// The colour of raw row i, column j: stored in colour row H - 1 - i.
uint32_t PixelAt(const CDibImage& colour, int i, int j) {
  const uint8_t* p = colour.Bits() + (colour.Height() - 1 - i) * colour.Stride() + 3 * j;
  return p[0] | (p[1] << 8) | (p[2] << 16);
}

void SetRange(CQuvex& camera, int count, int low, int high) {
  camera.SetParam(QUVEX_PARAM_AUTO_RANGE, count);
  camera.SetParam(QUVEX_PARAM_RANGE_LOW, low);
  camera.SetParam(QUVEX_PARAM_RANGE_HIGH, high);
}

struct Bounds {
  int low, high;
};

// 256 x 256 pixels holding every 16-bit value once.
const CDibImage& EverySample() {
  static const CDibImage raw =
      RawImage(256, 256, [](int i, int j) { return static_cast<uint16_t>(i * 256 + j); });
  return raw;
}

TEST(ColourMapping, EverySampleFollowsTheRulesForAnyBounds) {
  const Bounds bounds[] = {{1000, 3000},
                           {0, 65535},
                           {-1, 65536},
                           {0, 360},
                           {100, 460},
                           {100, 101},
                           {0, 1},
                           {5000, 5000},
                           {5000, 4000},
                           {-5, -10},
                           {-1, 0},
                           {65534, 65535},
                           {65535, 70000},
                           {70000, 80000},
                           {12345, 12345 + 65535},
                           {-70000, 40000},
                           {-(1 << 25), 65535},
                           {-(1 << 30), 1 << 30},
                           {0, (1 << 24) + 7},
                           {INT_MIN, INT_MAX},
                           {INT_MIN, 0},
                           {INT_MIN, 65535},
                           {INT_MIN, INT_MIN + 1},
                           {INT_MAX - 1, INT_MAX},
                           {INT_MAX, INT_MIN},
                           {0, INT_MAX},
                           {40000, INT_MAX},
                           {1000, 3000}};
  for (const BuildProfile* profile : {&kGaldris, &kCorvane}) {
    const bool single = profile->singlePrecisionPalette;
    CQuvex camera(*profile, nullptr);
    CDibImage colour = ColourImage(256, 256);
    for (const Bounds& b : bounds) {
      SCOPED_TRACE(testing::Message()
                   << (single ? "single" : "double") << " low " << b.low << " high " << b.high);
      SetRange(camera, 0, b.low, b.high);
      ASSERT_EQ(camera.MapRawToColor(EverySample(), colour), 1);
      const ColourRange range{b.low, b.high, single};
      int wrong = 0;
      for (uint32_t v = 0; v < 65536; ++v) {
        const uint32_t expected = Reference(b.low, b.high, single, v);
        wrong += PixelAt(colour, static_cast<int>(v / 256), static_cast<int>(v % 256)) != expected;
        wrong += SampleColour(camera.Palette(), range, v) != expected;
      }
      EXPECT_EQ(wrong, 0);
      EXPECT_EQ(camera.GetParam(QUVEX_PARAM_RANGE_LOW), b.low);  // count 0: bounds stay
      EXPECT_EQ(camera.GetParam(QUVEX_PARAM_RANGE_HIGH), b.high);
    }
  }
}

TEST(ColourMapping, BoundsAreBlackAndWhiteAndTheFirstStepIsIndexOne) {
  CQuvex camera(kGaldris, nullptr);
  SetRange(camera, 0, 1000, 1360);
  const uint16_t samples[] = {999, 1000, 1001, 1359, 1360, 1361};
  const CDibImage raw = RawImage(6, 1, [&](int, int j) { return samples[j]; });
  CDibImage colour = ColourImage(6, 1);
  ASSERT_EQ(camera.MapRawToColor(raw, colour), 1);
  const auto bgr = [&](size_t k) {
    const auto rgb = static_cast<uint32_t>(camera.Palette()[k]);
    return ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | (rgb >> 16);
  };
  EXPECT_EQ(PixelAt(colour, 0, 0), kBlack);
  EXPECT_EQ(PixelAt(colour, 0, 1), kBlack);
  EXPECT_EQ(PixelAt(colour, 0, 2), bgr(1));
  EXPECT_EQ(PixelAt(colour, 0, 3), bgr(359));
  EXPECT_EQ(PixelAt(colour, 0, 4), kWhite);
  EXPECT_EQ(PixelAt(colour, 0, 5), kWhite);
}

TEST(ColourMapping, SinglePrecisionQuotientThatRoundsTo360StaysInThePalette) {
  // Both operands round to the same float past 2^24: the quotient is 360.
  const ColourRange range{-(1 << 25), 65535, true};
  const float above = static_cast<float>(65534 + (1 << 25));
  const float span = static_cast<float>(65535 + (1 << 25));
  ASSERT_EQ(static_cast<int>(above * 360.0f / span), 360);
  EXPECT_EQ(PaletteIndex(65534, range), 359);
}

TEST(ColourMapping, RefusesImagesItCannotMapAndWritesNothing) {
  CQuvex camera(kGaldris, nullptr);
  SetRange(camera, -1, 1000, 3000);
  const CDibImage raw = RawImage(32, 24, [](int, int) { return uint16_t{2000}; });
  CDibImage raw8;
  ASSERT_EQ(raw8.CreateMemory(32, 24, 8), 1);
  CDibImage colour32;
  ASSERT_EQ(colour32.CreateMemory(32, 24, 32), 1);
  std::memset(colour32.Bits(), 0xAB, colour32.ByteSize());
  CDibImage empty;
  CDibImage narrower = ColourImage(31, 24);
  CDibImage shorter = ColourImage(32, 23);
  CDibImage colour = ColourImage(32, 24);
  const std::vector<uint8_t> untouched(colour.Bits(), colour.Bits() + colour.ByteSize());

  EXPECT_EQ(camera.MapRawToColor(empty, colour), 0);
  EXPECT_EQ(camera.MapRawToColor(raw8, colour), 0);
  EXPECT_EQ(camera.MapRawToColor(raw, empty), 0);
  EXPECT_EQ(camera.MapRawToColor(raw, colour32), 0);
  EXPECT_EQ(camera.MapRawToColor(raw, narrower), 0);
  EXPECT_EQ(camera.MapRawToColor(raw, shorter), 0);
  EXPECT_TRUE(std::equal(untouched.begin(), untouched.end(), colour.Bits()));
  for (const CDibImage* image : {&colour32, &narrower, &shorter}) {
    const uint8_t* bits = image->Bits();
    EXPECT_TRUE(std::all_of(bits, bits + image->ByteSize(), [](uint8_t b) { return b == 0xAB; }));
  }
  EXPECT_EQ(camera.GetParam(QUVEX_PARAM_RANGE_LOW), 1000);
  EXPECT_EQ(camera.GetParam(QUVEX_PARAM_RANGE_HIGH), 3000);
}

// The three ways of mapping give the same bytes and extremes for rows of
// every length (the vector kernel works in groups of eight with partial
// groups at the end) and never write past a row.
TEST(ColourLookupPaths, AgreeWithTheRulesForAnyRowLengthAndWindow) {
  const Palette360 palette = BuiltPalette();
  const Bounds bounds[] = {{1000, 3000},   {-5, 70000}, {INT_MIN, INT_MAX},
                           {30000, 30001}, {5, 5},      {65535, 70000}};
  const int widths[] = {1, 2, 7, 8, 9, 10, 11, 16, 17, 21, 22, 23, 37, 300, 301, 333};
  constexpr int kHeight = 4;
  constexpr int kGuard = 8;
  uint32_t noise = 1;
  for (const bool single : {false, true}) {
    for (const Bounds& b : bounds) {
      const ColourRange range{b.low, b.high, single};
      ColourLookup formulas(LookupPath::Formulas), table(LookupPath::Table),
          vector(LookupPath::VectorTable);
      ASSERT_TRUE(formulas.Prepare(palette, range));
      ASSERT_TRUE(table.Prepare(palette, range));
      ASSERT_TRUE(vector.Prepare(palette, range));
      for (const int width : widths) {
        std::vector<uint16_t> raw(static_cast<size_t>(width) * kHeight);
        for (uint16_t& v : raw) {
          noise = noise * 1103515245u + 12345u;
          const uint32_t r = noise >> 8;
          v = static_cast<uint16_t>(r % 2 ? r : 29990 + r % 20);  // anywhere, or near 30000
        }
        for (const int firstColumn : {0, 3, 21}) {
          for (const int extra : {0, 15, 16, 17, 1000}) {
            if (firstColumn >= width) continue;
            // Rows 1 and 2, or none when extra is 1000.
            const SampleWindow window{1, extra == 1000 ? 0 : 2, firstColumn,
                                      std::min(firstColumn + extra, width - 1)};
            SCOPED_TRACE(testing::Message()
                         << (single ? "single" : "double") << " low " << b.low << " high " << b.high
                         << " width " << width << " columns " << window.firstColumn << ".."
                         << window.lastColumn);
            SampleExtremes expectedExtremes;
            std::vector<uint8_t> expected;
            for (int i = 0; i < kHeight; ++i) {
              for (int j = 0; j < width; ++j) {
                const uint16_t v = raw[static_cast<size_t>(i * width + j)];
                const uint32_t bgr = Reference(b.low, b.high, single, v);
                expected.insert(expected.end(),
                                {uint8_t(bgr), uint8_t(bgr >> 8), uint8_t(bgr >> 16)});
                if (i >= window.firstRow && i <= window.lastRow && j >= window.firstColumn &&
                    j <= window.lastColumn) {
                  expectedExtremes.minimum = std::min(expectedExtremes.minimum, int{v});
                  expectedExtremes.maximum = std::max(expectedExtremes.maximum, int{v});
                }
              }
              expected.insert(expected.end(), kGuard, 0xCD);
            }
            for (const ColourLookup* lookup : {&formulas, &table, &vector}) {
              std::vector<uint8_t> colour(expected.size(), 0xCD);
              const ptrdiff_t stride = 3 * width + kGuard;
              const FrameRows frame{reinterpret_cast<const uint8_t*>(raw.data()),
                                    2 * width,
                                    colour.data(),
                                    stride,
                                    width,
                                    kHeight};
              SampleExtremes extremes;
              lookup->Map(frame, window, extremes);
              EXPECT_EQ(colour, expected);
              EXPECT_EQ(extremes.minimum, expectedExtremes.minimum);
              EXPECT_EQ(extremes.maximum, expectedExtremes.maximum);
            }
          }
        }
      }
    }
  }
}

TEST(AutoRange, FollowsTheWindowWithMarginsRaisedToZero) {
  CQuvex camera(kGaldris, nullptr);
  EXPECT_EQ(camera.GetParam(QUVEX_PARAM_AUTO_RANGE), -1);  // on by default
  const CDibImage raw =
      RawImage(320, 240, [](int i, int j) { return uint16_t(10 + (i + j) % 31); });
  CDibImage colour = ColourImage(320, 240);
  ASSERT_EQ(camera.MapRawToColor(raw, colour), 1);
  EXPECT_EQ(PixelAt(colour, 100, 100), kBlack);  // mapped with the old bounds 1000..3000
  EXPECT_EQ(camera.GetParam(QUVEX_PARAM_RANGE_LOW), 0);
  EXPECT_EQ(camera.GetParam(QUVEX_PARAM_RANGE_HIGH), 90);
  EXPECT_EQ(camera.GetParam(QUVEX_PARAM_AUTO_RANGE), -1);
  ASSERT_EQ(camera.MapRawToColor(raw, colour), 1);
  EXPECT_EQ(PixelAt(colour, 100, 100), Reference(0, 90, false, 10 + 200 % 31));
}

TEST(AutoRange, CountsDownThenKeepsTheLastBounds) {
  CQuvex camera(kGaldris, nullptr);
  CDibImage colour = ColourImage(64, 64);
  const auto frame = [](uint16_t level) {
    return RawImage(64, 64, [=](int i, int j) { return uint16_t(level + i + j); });
  };
  SetRange(camera, 2, 1000, 3000);
  ASSERT_EQ(camera.MapRawToColor(frame(2000), colour), 1);
  EXPECT_EQ(PixelAt(colour, 30, 30), Reference(1000, 3000, false, 2060));  // old bounds
  EXPECT_EQ(camera.GetParam(QUVEX_PARAM_AUTO_RANGE), 1);
  EXPECT_EQ(camera.GetParam(QUVEX_PARAM_RANGE_LOW), 2042 - 50);   // window from (21, 21)
  EXPECT_EQ(camera.GetParam(QUVEX_PARAM_RANGE_HIGH), 2126 + 50);  // to (63, 63)

  ASSERT_EQ(camera.MapRawToColor(frame(4000), colour), 1);
  EXPECT_EQ(camera.GetParam(QUVEX_PARAM_AUTO_RANGE), 0);
  EXPECT_EQ(camera.GetParam(QUVEX_PARAM_RANGE_LOW), 3992);
  EXPECT_EQ(camera.GetParam(QUVEX_PARAM_RANGE_HIGH), 4176);

  ASSERT_EQ(camera.MapRawToColor(frame(100), colour), 1);  // frozen now
  EXPECT_EQ(camera.GetParam(QUVEX_PARAM_AUTO_RANGE), 0);
  EXPECT_EQ(camera.GetParam(QUVEX_PARAM_RANGE_LOW), 3992);
  EXPECT_EQ(camera.GetParam(QUVEX_PARAM_RANGE_HIGH), 4176);
  EXPECT_EQ(PixelAt(colour, 30, 30), kBlack);
}

TEST(AutoRange, AnImageWithoutWindowPixelsTurnsEverythingBlack) {
  // Too narrow, too short, or both.
  for (const auto& [width, height] : {std::pair{21, 300}, std::pair{320, 21}, std::pair{21, 21}}) {
    SCOPED_TRACE(testing::Message() << width << " x " << height);
    CQuvex camera(kCorvane, nullptr);
    const CDibImage raw =
        RawImage(width, height, [](int i, int j) { return uint16_t(1000 + i * 10 + j); });
    CDibImage colour = ColourImage(width, height);
    ASSERT_EQ(camera.MapRawToColor(raw, colour), 1);
    EXPECT_EQ(camera.GetParam(QUVEX_PARAM_RANGE_HIGH), 50);
    EXPECT_EQ(camera.GetParam(QUVEX_PARAM_RANGE_LOW), 99950);
    ASSERT_EQ(camera.MapRawToColor(raw, colour), 1);
    for (int i = 0; i < height; ++i) EXPECT_EQ(PixelAt(colour, i, width - 1), kBlack) << i;
  }
}

TEST(AutoRange, OnlyTheFixedWindowWidensTheBounds) {
  CQuvex camera(kGaldris, nullptr);
  const CDibImage raw = RawImage(640, 480, [](int i, int j) -> uint16_t {
    if (i == 21 && j == 21) return 1500;  // window corners: the extremes
    if (i == 219 && j == 299) return 2600;
    if (i == 20 || j == 20) return 100;  // just outside the window
    if (i == 220 || j == 300) return 60000;
    if (i > 460 && j > 600) return 65535;  // hot spot near the far corner
    return static_cast<uint16_t>(2000 + (i * 7 + j) % 100);
  });
  CDibImage colour = ColourImage(640, 480);
  ASSERT_EQ(camera.MapRawToColor(raw, colour), 1);
  EXPECT_EQ(camera.GetParam(QUVEX_PARAM_RANGE_LOW), 1450);
  EXPECT_EQ(camera.GetParam(QUVEX_PARAM_RANGE_HIGH), 2650);
  camera.SetParam(QUVEX_PARAM_AUTO_RANGE, 0);
  ASSERT_EQ(camera.MapRawToColor(raw, colour), 1);
  EXPECT_EQ(PixelAt(colour, 470, 620), kWhite);
  EXPECT_EQ(PixelAt(colour, 220, 5), kWhite);
  EXPECT_EQ(PixelAt(colour, 20, 5), kBlack);
  EXPECT_EQ(PixelAt(colour, 100, 100), Reference(1450, 2650, false, 2000 + 800 % 100));
}

// Frames mapped on one thread while another sets parameters 12 to 14.
TEST(ColourMappingRace, EachFrameUsesOneSnapshotOfTheBounds) {
  CQuvex camera(kGaldris, nullptr);
  constexpr int kWidth = 320, kHeight = 240;
  const CDibImage raw =
      RawImage(kWidth, kHeight, [](int i, int j) { return uint16_t((i * kWidth + j) % 5000); });
  const int lows[] = {1000, 2000};
  const int highs[] = {3000, 4000};
  std::vector<std::vector<uint32_t>> expected;
  for (int low : lows) {
    for (int high : highs) {
      std::vector<uint32_t> pixels;
      for (int i = 0; i < kHeight; ++i) {
        for (int j = 0; j < kWidth; ++j)
          pixels.push_back(Reference(low, high, false, (i * kWidth + j) % 5000));
      }
      expected.push_back(std::move(pixels));
    }
  }
  SetRange(camera, 0, lows[0], highs[0]);

  std::atomic<bool> done{false};
  std::thread host([&] {
    for (unsigned n = 0; !done.load(); ++n) {
      camera.SetParam(QUVEX_PARAM_RANGE_LOW, lows[n % 2]);
      camera.SetParam(QUVEX_PARAM_RANGE_HIGH, highs[(n / 2) % 2]);
    }
  });
  CDibImage colour = ColourImage(kWidth, kHeight);
  int refused = 0, inconsistent = 0;
  for (int frame = 0; frame < 200; ++frame) {
    refused += camera.MapRawToColor(raw, colour) != 1;
    const bool matches = std::any_of(expected.begin(), expected.end(), [&](const auto& pixels) {
      for (int i = 0; i < kHeight; ++i) {
        for (int j = 0; j < kWidth; ++j) {
          if (PixelAt(colour, i, j) != pixels[static_cast<size_t>(i * kWidth + j)]) return false;
        }
      }
      return true;
    });
    inconsistent += !matches;
  }
  done.store(true);
  host.join();
  EXPECT_EQ(refused, 0);
  EXPECT_EQ(inconsistent, 0);
}

TEST(ColourMappingRace, AutoRangeAndHostStoresLeaveOnlyValuesEitherSideWrote) {
  CQuvex camera(kCorvane, nullptr);
  const CDibImage raw = RawImage(320, 240, [](int i, int j) { return uint16_t(3000 + (i ^ j)); });
  std::atomic<bool> done{false};
  std::atomic<int> strayCounts{0};
  std::thread host([&] {
    const int counts[] = {-1, 0, 3};
    const int bounds[] = {INT_MIN, -5, 0, 1000, 65535, INT_MAX};
    for (unsigned n = 0; !done.load(); ++n) {
      camera.SetParam(QUVEX_PARAM_AUTO_RANGE, counts[n % 3]);
      camera.SetParam(QUVEX_PARAM_RANGE_LOW, bounds[n % 6]);
      camera.SetParam(QUVEX_PARAM_RANGE_HIGH, bounds[(n / 6) % 6]);
      const int count = camera.GetParam(QUVEX_PARAM_AUTO_RANGE);
      if (count < -1 || count > 3) strayCounts.fetch_add(1);
    }
  });
  CDibImage colour = ColourImage(320, 240);
  int refused = 0;
  for (int frame = 0; frame < 300; ++frame) refused += camera.MapRawToColor(raw, colour) != 1;
  done.store(true);
  host.join();
  EXPECT_EQ(refused, 0);
  EXPECT_EQ(strayCounts.load(), 0);
}

}  // namespace
}  // namespace quvex
