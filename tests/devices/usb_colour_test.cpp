// Raw-to-RGB conversions: Bayer phase, demosaic, white balance, YUV.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "devices/usb/models/usb_colour.h"
#include "devices/usb/usb_device.h"

namespace {

using namespace quvex;

using Pixel = std::array<int, 3>;  // blue, green, red

Pixel PixelAt(const std::vector<uint8_t>& rgb, int width, int x, int y) {
  const size_t at = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
  return {rgb[at], rgb[at + 1], rgb[at + 2]};
}

// A frame of exactly the region (offsets 0, pitch = width).
UsbFrameLayout Plain(int width, int height, int sampleBytes) {
  UsbFrameLayout l;
  l.pitch = l.width = width;
  l.lines = l.height = height;
  l.sampleBytes = sampleBytes;
  return l;
}

// Phase-0 mosaic G R / B G of the given colour values.
std::vector<uint8_t> Mosaic8(int width, int height, uint8_t red, uint8_t green, uint8_t blue) {
  std::vector<uint8_t> frame(static_cast<size_t>(width * height));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const BayerColour c = BayerColourAt(0, x, y);
      frame[static_cast<size_t>(y * width + x)] =
          c == BayerColour::Red ? red : c == BayerColour::Blue ? blue : green;
    }
  }
  return frame;
}

TEST(UsbColourPhase, FromRegionAndMirrors) {
  struct Case {
    int32_t x, y, width, height;
    int columnMirror, rowMirror;
    int32_t phase;
  };
  for (const Case& c : {Case{0, 0, 10, 10, 0, 0, 0}, Case{1, 0, 10, 10, 0, 0, 2},
                        Case{0, 1, 10, 10, 0, 0, 1}, Case{0, 0, 10, 10, 1, 1, 2},
                        Case{0, 0, 9, 9, 0, 1, 1}, Case{1, 1, 10, 10, 0, 0, 3}}) {
    EXPECT_EQ(BayerPhaseOf(c.x, c.y, c.width, c.height, c.columnMirror, c.rowMirror), c.phase)
        << c.x << "," << c.y << " " << c.width << "x" << c.height;
  }
  // The mosaic of each phase at (0, 0): top row, then bottom row.
  const BayerColour G = BayerColour::Green, R = BayerColour::Red, B = BayerColour::Blue;
  const std::array<std::array<BayerColour, 4>, 4> table{
      {{G, R, B, G}, {B, G, G, R}, {R, G, G, B}, {G, B, R, G}}};
  for (int32_t phase = 0; phase < 4; ++phase) {
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(BayerColourAt(phase, i % 2, i / 2), table[static_cast<size_t>(phase)][static_cast<size_t>(i)])
          << phase << " " << i;
    }
  }
}

TEST(UsbColourDemosaic, WorkedExamplesAndBorders) {
  // 2 x 2 cell rule, 8-bit, phase 0, cell (G 10, R 20 / B 30, G 40).
  std::vector<uint8_t> frame(25, 0);
  frame[0] = 10, frame[1] = 20, frame[5] = 30, frame[6] = 40;
  std::vector<uint8_t> rgb(75, 0xEE);
  BayerConvertParams p;
  p.width = p.pitch = p.height = p.lines = 5;
  p.source = frame.data();
  p.target = rgb.data();
  p.interpolationMode = 1;
  EXPECT_EQ(DemosaicBayer8(p), 1);
  EXPECT_EQ(PixelAt(rgb, 5, 2, 2), (Pixel{30, 25, 20}));
  for (int i = 0; i < 25; ++i) {
    if (i == 12) continue;  // only (2, 2) is written
    EXPECT_EQ(rgb[static_cast<size_t>(i) * 3], 0xEE) << i;
  }
  // Four columns: nothing written; no size: 0.
  std::vector<uint8_t> narrow(4 * 5 * 3, 0xEE);
  p.width = p.pitch = 4;
  p.target = narrow.data();
  EXPECT_EQ(DemosaicBayer8(p), 1);
  EXPECT_EQ(narrow, std::vector<uint8_t>(60, 0xEE));
  p.width = 0;
  EXPECT_EQ(DemosaicBayer8(p), 0);

  // Interpolation of a uniform 16-bit frame of 400 with gains 1.0.
  std::vector<uint16_t> uniform(8 * 8, 400);
  std::vector<uint8_t> out(8 * 8 * 3, 0);
  BayerConvertParams q;
  q.width = q.pitch = q.height = q.lines = 8;
  q.source = uniform.data();
  q.target = out.data();
  for (int32_t phase = 0; phase < 4; ++phase) {
    q.phase = phase;
    EXPECT_EQ(DemosaicBayer16(q), 1);
    EXPECT_EQ(PixelAt(out, 8, 3, 4), (Pixel{100, 100, 100})) << phase;
  }
  // Products above 255 clamp, never wrap.
  q.gainRed = 4.0;
  q.gainBlue = 1.0e12;
  std::vector<uint16_t> bright(8 * 8, 0xFFFF);
  q.source = bright.data();
  EXPECT_EQ(DemosaicBayer16(q), 1);
  EXPECT_EQ(PixelAt(out, 8, 5, 5), (Pixel{255, 255, 255}));
}

// Every row of a region of odd width (W - 4 odd) reads the mosaic at its own
// phase: a mosaic of one colour converts to that colour everywhere.
TEST(UsbColourDemosaic, ColumnPhaseRestartsAtEachRow) {
  for (int32_t interpolate = 0; interpolate < 2; ++interpolate) {
    for (int width : {7, 8, 9}) {
      const auto frame = Mosaic8(width, 7, 200, 0, 50);
      std::vector<uint8_t> rgb(static_cast<size_t>(width) * 7 * 3, 0);
      BayerConvertParams p;
      p.width = p.pitch = width;
      p.height = p.lines = 7;
      p.source = frame.data();
      p.target = rgb.data();
      p.interpolationMode = interpolate == 0 ? 1 : 0;
      ASSERT_EQ(DemosaicBayer8(p), 1);
      for (int y = 2; y <= 4; ++y) {
        for (int x = 2; x <= width - 3; ++x) {
          // 8-bit: red = 200 (cell) or 16 x 200 >> 4 (bilinear); blue alike.
          EXPECT_EQ(PixelAt(rgb, width, x, y), (Pixel{50, 0, 200}))
              << "width " << width << " at " << x << "," << y << " mode " << interpolate;
        }
      }
    }
  }
}

TEST(UsbColourWhiteBalance, GreyWorldGains) {
  struct Case {
    uint8_t red, green, blue;
    double gainRed, gainBlue;
  };
  for (const Case& c : {Case{50, 100, 25, 2.0, 4.0}, Case{0, 100, 100, 1.0, 1.0},
                        Case{100, 0, 50, 0.0, 0.0}}) {
    const auto frame = Mosaic8(6, 6, c.red, c.green, c.blue);
    BayerConvertParams p;
    p.width = p.pitch = p.height = p.lines = 6;
    p.source = frame.data();
    p.x1 = p.y1 = 5;
    EXPECT_EQ(EstimateWhiteBalance8(p), 1);
    EXPECT_DOUBLE_EQ(p.gainRed, c.gainRed) << int(c.red);  // a zero mean keeps 1.0
    EXPECT_DOUBLE_EQ(p.gainGreen, 1.0);
    EXPECT_DOUBLE_EQ(p.gainBlue, c.gainBlue);
  }
  // Sums of a large 16-bit frame do not wrap.
  std::vector<uint16_t> big(4096 * 2050, 0xFFFF);
  BayerConvertParams q;
  q.width = q.pitch = 4096;
  q.height = q.lines = 2050;
  q.source = big.data();
  q.x1 = 4095;
  q.y1 = 2049;
  EstimateWhiteBalance16(q);
  EXPECT_DOUBLE_EQ(q.gainRed, 1.0);
  EXPECT_DOUBLE_EQ(q.gainBlue, 1.0);
}

TEST(UsbColourConvert, GreyColourAndBounds) {
  UsbFrameLayout l = Plain(6, 6, 2);
  l.pitch = 8;
  l.xOffset = 1;
  l.lines = 7;
  l.yOffset = 1;
  std::vector<uint16_t> frame(8 * 7, 0x1234);
  std::vector<uint8_t> rgb(6 * 6 * 3 + 3, 0xEE);
  UsbColourSettings settings;
  const size_t exact = 6 * 6 * 3;
  EXPECT_EQ(ConvertSensorToRgb(l, settings, WholeRegion(l), rgb.data(), exact, frame.data(),
                               frame.size() * 2, 0, 0),
            QUVEX_USB_OK);
  EXPECT_EQ(PixelAt(rgb, 6, 5, 5), (Pixel{0x12, 0x12, 0x12}));
  EXPECT_EQ(rgb[exact], 0xEE);

  struct Refusal {
    UsbRoiRect rect;
    size_t targetBytes, sourceBytes;
    int colour;
  };
  const size_t source = frame.size() * 2;
  for (const Refusal& r : {Refusal{{0, 0, 5, 5}, exact - 1, source, 0},
                           Refusal{{0, 0, 5, 5}, exact - 1, source, 1},
                           Refusal{{0, 0, 5, 5}, exact, source - 3, 1},
                           Refusal{{0, 0, 6, 5}, exact, source, 0},
                           Refusal{{3, 0, 2, 5}, exact, source, 0},
                           Refusal{{-1, 0, 4, 5}, exact, source, 0}}) {
    std::fill(rgb.begin(), rgb.end(), 0xEE);
    EXPECT_EQ(ConvertSensorToRgb(l, settings, r.rect, rgb.data(), r.targetBytes, frame.data(),
                                 r.sourceBytes, r.colour, 1),
              QUVEX_USB_ERR_ROI);
    EXPECT_EQ(rgb, std::vector<uint8_t>(rgb.size(), 0xEE));
  }
  EXPECT_DOUBLE_EQ(settings.gainRed, 1.0);  // refused: no estimate kept

  // Colour with white balance: the estimate stays in the settings.
  const auto mosaic = Mosaic8(6, 6, 50, 100, 25);
  UsbFrameLayout narrow = Plain(6, 6, 1);
  EXPECT_EQ(ConvertSensorToRgb(narrow, settings, WholeRegion(narrow), rgb.data(), exact,
                               mosaic.data(), mosaic.size(), 1, 1),
            QUVEX_USB_OK);
  EXPECT_DOUBLE_EQ(settings.gainRed, 2.0);
  EXPECT_EQ(PixelAt(rgb, 6, 2, 2), (Pixel{100, 100, 100}));
}

// One word per sample: luma low byte, chroma high byte.
uint16_t Yuv(int luma, int chroma) { return static_cast<uint16_t>(chroma << 8 | luma); }

TEST(UsbColourConvert, YuvRows) {
  struct Case {
    int twoField;
    int luma, chroma;
    Pixel pixel;
  };
  // Set B (progressive, studio range), set A (two fields, full range); both clamp.
  for (const Case& c : {Case{0, 16, 128, {0, 0, 0}}, Case{0, 235, 128, {254, 254, 254}},
                        Case{0, 255, 255, {255, 125, 255}}, Case{0, 0, 0, {0, 135, 0}},
                        Case{1, 100, 128, {100, 100, 100}}, Case{1, 100, 138, {120, 90, 111}}}) {
    UsbFrameLayout l = Plain(4, 4, 2);
    l.sourceFamily = QUVEX_USB_SOURCE_FIELDS;
    l.twoField = c.twoField;
    l.fieldLines = 2;
    l.fieldHeight = 2;
    std::vector<uint16_t> frame(16, Yuv(c.luma, c.chroma));
    std::vector<uint8_t> rgb(48, 0);
    ASSERT_EQ(ConvertFieldsToRgb(l, WholeRegion(l), rgb.data(), rgb.size(), frame.data(),
                                 frame.size() * 2, 1),
              QUVEX_USB_OK);
    for (int i = 0; i < 16; ++i) {
      EXPECT_EQ(PixelAt(rgb, 4, i % 4, i / 4), c.pixel) << c.luma << "/" << c.chroma << " " << i;
    }
  }
}

TEST(UsbColourConvert, FieldRowsAndGrey) {
  // Two fields of 3 lines, 2 region rows each, from line 1: rows alternate.
  UsbFrameLayout l = Plain(2, 4, 2);
  l.pitch = 3;
  l.xOffset = 1;
  l.lines = 6;
  l.sourceFamily = QUVEX_USB_SOURCE_FIELDS;
  l.twoField = 1;
  l.fieldLines = 3;
  l.fieldYOffset = 1;
  l.fieldHeight = 2;
  std::vector<uint16_t> frame(18);
  for (int line = 0; line < 6; ++line) {
    for (int x = 0; x < 3; ++x) frame[static_cast<size_t>(line * 3 + x)] = Yuv(10 * line + x, 128);
  }
  std::vector<uint8_t> rgb(2 * 4 * 3);
  ASSERT_EQ(ConvertFieldsToRgb(l, WholeRegion(l), rgb.data(), rgb.size(), frame.data(), 36, 0),
            QUVEX_USB_OK);
  const std::array<int, 4> lines{1, 4, 2, 5};
  for (int row = 0; row < 4; ++row) {
    EXPECT_EQ(PixelAt(rgb, 2, 1, row)[0], 10 * lines[static_cast<size_t>(row)] + 2) << row;
  }
  EXPECT_EQ(ConvertFieldsToRgb(l, WholeRegion(l), rgb.data(), rgb.size(), frame.data(), 34, 0),
            QUVEX_USB_ERR_ROI);
  EXPECT_EQ(ConvertFieldsToRgb(l, WholeRegion(l), rgb.data(), rgb.size() - 1, frame.data(), 36, 1),
            QUVEX_USB_ERR_ROI);
  EXPECT_EQ(ConvertFieldsToRgb(l, WholeRegion(l), nullptr, rgb.size(), frame.data(), 36, 1),
            QUVEX_USB_ERR_NO_BUFFER);
}

}  // namespace
