// Still-image writers: every format is read back by an independent decoder
// (check_image.py, pngcheck, tiffinfo, identify) and compared with the
// picture it should hold.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "imaging/dib_image.h"
#include "imaging/image_writers.h"
#include "imaging/png_writer.h"
#include "quvex_platform/text.h"

namespace quvex {
namespace {

namespace fs = std::filesystem;

// A picture as a file holds it: top row first, `channels` samples per pixel
// in file order (grey, RGB or RGBA) of `bits` bits each.
struct Picture {
  Picture(int w, int h, int c, int b)
      : width(w), height(h), channels(c), bits(b), samples(static_cast<size_t>(w) * h * c) {}
  uint16_t& At(int x, int y, int c) {
    return samples[(static_cast<size_t>(y) * width + x) * channels + c];
  }
  int width, height, channels, bits;
  std::vector<uint16_t> samples;
};

struct Rgb {
  uint8_t red, green, blue;
};

CDibImage MakeImage(int width, int height, uint16_t bitsPerPixel) {
  CDibImage image;
  EXPECT_EQ(image.CreateMemory(width, height, bitsPerPixel), 1);
  return image;
}

uint8_t* PixelAt(CDibImage& image, int x, int storedRow) {
  return image.Bits() + static_cast<size_t>(storedRow) * image.Stride() +
         static_cast<size_t>(x) * (image.BitsPerPixel() / 8);
}

void SetSample(CDibImage& image, int x, int storedRow, int index, uint16_t value) {
  uint8_t* sample = PixelAt(image, x, storedRow) + 2 * index;
  sample[0] = static_cast<uint8_t>(value);
  sample[1] = static_cast<uint8_t>(value >> 8);
}

uint16_t GetSample(const CDibImage& image, int x, int storedRow, int index) {
  const uint8_t* sample = image.Bits() + static_cast<size_t>(storedRow) * image.Stride() +
                          static_cast<size_t>(x) * (image.BitsPerPixel() / 8) + 2 * index;
  return static_cast<uint16_t>(sample[0] | (sample[1] << 8));
}

bool HasWideSamples(uint16_t bitsPerPixel) {
  return bitsPerPixel == 16 || bitsPerPixel == 48 || bitsPerPixel == 64;
}

// Every byte, padding included, from a fixed seed; 16-bit samples are kept
// to the 10 bits a camera delivers.
void FillRandom(CDibImage& image, uint32_t seed) {
  std::mt19937 random(seed);
  for (size_t i = 0; i < image.ByteSize(); ++i) image.Bits()[i] = static_cast<uint8_t>(random());
  if (!HasWideSamples(image.BitsPerPixel())) return;
  for (int row = 0; row < image.Height(); ++row) {
    for (int i = 0; i < image.Width() * image.BitsPerPixel() / 16; ++i) {
      SetSample(image, 0, row, i, GetSample(image, 0, row, i) & 0x03FF);
    }
  }
}

// What a PNG or TIFF of the image holds: the last stored row on top, blue and
// red exchanged, 16-bit samples moved from 10 bits to the full range.
Picture LosslessPicture(const CDibImage& image) {
  const uint16_t depth = image.BitsPerPixel();
  const bool wide = HasWideSamples(depth);
  Picture picture(image.Width(), image.Height(), wide ? depth / 16 : depth / 8, wide ? 16 : 8);
  for (int y = 0; y < picture.height; ++y) {
    const int storedRow = picture.height - 1 - y;
    for (int x = 0; x < picture.width; ++x) {
      for (int c = 0; c < picture.channels; ++c) {
        const int stored = picture.channels >= 3 && c < 3 ? 2 - c : c;
        picture.At(x, y, c) =
            wide ? static_cast<uint16_t>(GetSample(image, x, storedRow, stored) << 6)
                 : image.Bits()[static_cast<size_t>(storedRow) * image.Stride() +
                                static_cast<size_t>(x) * picture.channels + stored];
      }
    }
  }
  return picture;
}

// A 64 x 48 picture in 16-row bands (one JPEG block row each): blue on top,
// green in the middle, red on the left and white on the right at the bottom.
Rgb BandColour(int x, int pictureRow) {
  if (pictureRow < 16) return {0, 0, 255};
  if (pictureRow < 32) return {0, 255, 0};
  return x < 32 ? Rgb{255, 0, 0} : Rgb{255, 255, 255};
}

Picture BandPicture() {
  Picture picture(64, 48, 3, 8);
  for (int y = 0; y < 48; ++y) {
    for (int x = 0; x < 64; ++x) {
      const Rgb colour = BandColour(x, y);
      picture.At(x, y, 0) = colour.red;
      picture.At(x, y, 1) = colour.green;
      picture.At(x, y, 2) = colour.blue;
    }
  }
  return picture;
}

// The same picture as a bottom-up bitmap, written stored row by stored row:
// the first stored rows are the red and white ones. Wide samples hold 10-bit
// values (the 8-bit value times 4).
CDibImage BandImage(uint16_t bitsPerPixel) {
  CDibImage image = MakeImage(64, 48, bitsPerPixel);
  for (int row = 0; row < 48; ++row) {
    for (int x = 0; x < 64; ++x) {
      Rgb colour{0, 0, 255};
      if (row < 16) {
        colour = x < 32 ? Rgb{255, 0, 0} : Rgb{255, 255, 255};
      } else if (row < 32) {
        colour = {0, 255, 0};
      }
      const uint8_t stored[4] = {colour.blue, colour.green, colour.red, 0x7F};
      for (int c = 0; c < bitsPerPixel / (HasWideSamples(bitsPerPixel) ? 16 : 8); ++c) {
        if (HasWideSamples(bitsPerPixel)) {
          SetSample(image, x, row, c, static_cast<uint16_t>(stored[c] * 4));
        } else {
          PixelAt(image, x, row)[c] = stored[c];
        }
      }
    }
  }
  return image;
}

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

struct CommandResult {
  int status;
  std::string output;
};

CommandResult RunCommand(const std::string& command) {
  CommandResult result{-1, ""};
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[512];
  size_t count = 0;
  while ((count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, count);
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::vector<uint8_t> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::u16string Utf16(const fs::path& path) { return *platform::Utf8ToUtf16(path.string()); }

class ImageWritersTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quvex_image_writers_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    output_ = root_ / "out";
    fs::create_directory(output_);
  }
  void TearDown() override { fs::remove_all(root_); }

  fs::path Output(const std::string& name) const { return output_ / name; }

  static int Save(const fs::path& path, const CDibImage& image, uint32_t code) {
    return SaveImageFile(Utf16(path).c_str(), &image, code);
  }

  size_t OutputCount() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(output_), fs::directory_iterator()));
  }

  // Decodes `file` as `kind` and compares it with `expected`; empty when
  // they match, else the checker's report. Lossy files get a tolerance and
  // a margin around colour edges.
  std::string Check(const char* kind, const fs::path& file, const Picture& expected,
                    int maxError = 0, int edgeMargin = 0) const {
    std::vector<uint8_t> raw;
    for (uint16_t sample : expected.samples) {
      raw.push_back(static_cast<uint8_t>(sample));
      if (expected.bits == 16) raw.push_back(static_cast<uint8_t>(sample >> 8));
    }
    const fs::path rawPath = root_ / "expected.raw";
    WriteFile(rawPath, raw);
    std::string command = std::string(QUVEX_PYTHON) + " " +
                          ShellQuote(std::string(QUVEX_SOURCE_DIR) + "/tests/imaging/check_image.py");
    for (const std::string& argument :
         {std::string(kind), ShellQuote(file.string()), ShellQuote(rawPath.string()),
          std::to_string(expected.width), std::to_string(expected.height),
          std::to_string(expected.channels), std::to_string(expected.bits),
          "--max-error=" + std::to_string(maxError), "--edge-margin=" + std::to_string(edgeMargin)})
      command += " " + argument;
    const CommandResult result = RunCommand(command);
    return result.status == 0 ? std::string()
                              : "status " + std::to_string(result.status) + ": " + result.output;
  }

  fs::path root_;
  fs::path output_;
};

TEST_F(ImageWritersTest, RefusedCodesDepthsAndImagesCreateNoFile) {
  const CDibImage colour = BandImage(24);
  for (uint32_t code : {7u, 100u, static_cast<uint32_t>(-1)}) {
    EXPECT_EQ(Save(Output("refused"), colour, code), 0) << code;
  }
  // A depth that no encoder takes.
  const CDibImage odd = MakeImage(16, 8, 12);
  for (uint32_t code : {2u, 3u, 4u, 5u, 6u}) EXPECT_EQ(Save(Output("odd"), odd, code), 0) << code;
  const CDibImage empty;
  for (uint32_t code : {1u, 2u, 5u, 6u}) EXPECT_EQ(Save(Output("empty"), empty, code), 0) << code;
  EXPECT_EQ(SaveImageFile(Utf16(Output("none")).c_str(), nullptr, 5), 0);
  EXPECT_EQ(SaveImageFile(nullptr, &colour, 5), 0);
  EXPECT_EQ(OutputCount(), 0u);
}

TEST_F(ImageWritersTest, BareBitsAreTheStoredRowsAndReplaceExistingFiles) {
  CDibImage raw = MakeImage(640, 480, 16);
  FillRandom(raw, 1);
  const std::vector<uint8_t> stored(raw.Bits(), raw.Bits() + raw.ByteSize());

  ASSERT_EQ(Save(Output("new.raw"), raw, kImageFileBareBits), 1);
  EXPECT_EQ(ReadFile(Output("new.raw")), stored);
  EXPECT_EQ(stored.size(), 614400u);

  for (size_t existing : {size_t{100}, size_t{1000000}}) {
    WriteFile(Output("old.raw"), std::vector<uint8_t>(existing, 0xAA));
    ASSERT_EQ(Save(Output("old.raw"), raw, kImageFileBareBits), 1);
    EXPECT_EQ(ReadFile(Output("old.raw")), stored) << "over a file of " << existing << " bytes";
  }

  CDibImage colour = MakeImage(640, 480, 24);
  FillRandom(colour, 2);
  ASSERT_EQ(Save(Output("colour.raw"), colour, kImageFileBareBits), 1);
  EXPECT_EQ(fs::file_size(Output("colour.raw")), 921600u);
}

TEST_F(ImageWritersTest, JpegOfGreyImagesIsEightBitGreyWithTheTopRowFirst) {
  // A diagonal ramp: a picture upside down or mirrored would differ by far
  // more than the coding error.
  CDibImage raw = MakeImage(64, 64, 16);
  CDibImage grey = MakeImage(64, 64, 8);
  Picture expected(64, 64, 1, 8);
  for (int row = 0; row < 64; ++row) {
    for (int x = 0; x < 64; ++x) {
      const int level = 2 * x + row;  // 0 to 189
      SetSample(raw, x, row, 0, static_cast<uint16_t>(level * 4 + 3));  // >> 2 gives level
      *PixelAt(grey, x, row) = static_cast<uint8_t>(level);
      expected.At(x, 63 - row, 0) = static_cast<uint16_t>(level);
    }
  }
  ASSERT_EQ(Save(Output("raw.jpg"), raw, kImageFileJpegHigh), 1);
  EXPECT_EQ(Check("jpeg", Output("raw.jpg"), expected, 3), "");
  ASSERT_EQ(Save(Output("grey.jpg"), grey, kImageFileJpegHigh), 1);
  EXPECT_EQ(Check("jpeg", Output("grey.jpg"), expected, 3), "");
}

TEST_F(ImageWritersTest, JpegOfColourImagesOfEveryDepthKeepsColoursAndOrientation) {
  for (uint16_t depth : {24, 32, 48, 64}) {
    const std::string name = "bands" + std::to_string(depth) + ".jpg";
    ASSERT_EQ(Save(Output(name), BandImage(depth), kImageFileJpegHigh), 1) << depth;
    EXPECT_EQ(Check("jpeg", Output(name), BandPicture(), 12, 2), "") << depth;
  }
}

TEST_F(ImageWritersTest, JpegQualityFollowsTheCode) {
  const CDibImage image = BandImage(24);
  const std::pair<uint32_t, const char*> cases[] = {
      {kImageFileJpegHigh, "100"}, {kImageFileJpegMiddle, "70"}, {kImageFileJpegLow, "20"}};
  for (const auto& [code, quality] : cases) {
    const fs::path path = Output(std::to_string(code).append(".jpg"));
    ASSERT_EQ(Save(path, image, code), 1);
    const CommandResult identify = RunCommand("identify -format %Q " + ShellQuote(path.string()));
    EXPECT_EQ(identify.output, quality) << "code " << code;
  }
}

TEST_F(ImageWritersTest, LosslessFormatsPutTheFirstStoredRowAtTheBottom) {
  ASSERT_EQ(Save(Output("bands.png"), BandImage(24), kImageFilePng), 1);
  EXPECT_EQ(Check("png", Output("bands.png"), BandPicture()), "");
  ASSERT_EQ(Save(Output("bands.tif"), BandImage(24), kImageFileTiff), 1);
  EXPECT_EQ(Check("tiff", Output("bands.tif"), BandPicture()), "");
}

TEST_F(ImageWritersTest, SixteenBitSamplesFillTheFullRange) {
  // Stored rows {1, 1023} and {512, 0}.
  CDibImage raw = MakeImage(2, 2, 16);
  SetSample(raw, 0, 0, 0, 1);
  SetSample(raw, 1, 0, 0, 1023);
  SetSample(raw, 0, 1, 0, 512);
  SetSample(raw, 1, 1, 0, 0);
  Picture expected(2, 2, 1, 16);
  expected.samples = {32768, 0, 64, 65472};
  for (const auto& [code, kind] : {std::pair{kImageFilePng, "png"}, std::pair{kImageFileTiff, "tiff"}}) {
    const fs::path path = Output(std::string("raw.") + kind);
    ASSERT_EQ(Save(path, raw, code), 1);
    EXPECT_EQ(Check(kind, path, expected), "");
  }
}

TEST_F(ImageWritersTest, CameraSizedImagesRoundTripExactly) {
  CDibImage raw = MakeImage(640, 480, 16);
  FillRandom(raw, 3);
  CDibImage colour = MakeImage(640, 480, 24);
  FillRandom(colour, 4);
  for (const CDibImage* image : {&raw, &colour}) {
    const std::string depth = std::to_string(image->BitsPerPixel());
    ASSERT_EQ(Save(Output(depth + ".png"), *image, kImageFilePng), 1);
    EXPECT_EQ(Check("png", Output(depth + ".png"), LosslessPicture(*image)), "");
    // The checker also requires one uncompressed strip of exactly the picture.
    ASSERT_EQ(Save(Output(depth + ".tif"), *image, kImageFileTiff), 1);
    EXPECT_EQ(Check("tiff", Output(depth + ".tif"), LosslessPicture(*image)), "");
  }
}

TEST_F(ImageWritersTest, EveryDepthRoundTripsWithPaddedRows) {
  // 13 pixels wide: rows of 8, 16, 24 and 48 bits carry padding.
  uint32_t seed = 10;
  for (uint16_t depth : {8, 16, 24, 32, 48, 64}) {
    CDibImage image = MakeImage(13, 7, depth);
    FillRandom(image, seed++);
    for (const auto& [code, kind] : {std::pair{kImageFilePng, "png"}, std::pair{kImageFileTiff, "tiff"}}) {
      const fs::path path = Output(std::to_string(depth) + "." + kind);
      ASSERT_EQ(Save(path, image, code), 1) << depth << " " << kind;
      EXPECT_EQ(Check(kind, path, LosslessPicture(image)), "") << depth << " " << kind;
    }
  }
}

TEST_F(ImageWritersTest, FailedWritesAndClosesAreSilentFailures) {
  // The small image fits in the stream's buffer, so only the flush and
  // close see the full device; the large one fails inside the encoders,
  // whose libraries must not print to the host's standard error.
  CDibImage small = BandImage(24);
  CDibImage large = MakeImage(640, 480, 24);
  FillRandom(large, 5);
  CDibImage raw = MakeImage(640, 480, 16);
  FillRandom(raw, 6);
  for (const CDibImage* image : {&small, &large, &raw}) {
    for (uint32_t code = 0; code <= 6; ++code) {
      testing::internal::CaptureStderr();
      EXPECT_EQ(SaveImageFile(u"/dev/full", image, code), 0)
          << "code " << code << ", " << image->Width() << "x" << image->Height();
      EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "code " << code;
    }
  }
  for (uint32_t code = 1; code <= 6; ++code) {
    EXPECT_EQ(Save(Output("missing") / "file", small, code), 0) << code;
  }
  // The process goes on saving.
  EXPECT_EQ(Save(Output("after.jpg"), small, kImageFileJpegHigh), 1);
  EXPECT_EQ(Check("jpeg", Output("after.jpg"), BandPicture(), 12, 2), "");
}

TEST_F(ImageWritersTest, NamesConvertInFull) {
  const CDibImage image = BandImage(24);
  const char* extensions[] = {".bmp", ".raw", ".jpg", ".jpeg", ".jpe", ".png", ".tif"};
  for (uint32_t code = 0; code <= 6; ++code) {
    const std::u16string name = u"Bild_äöü_日本語_😀" + Utf16(extensions[code]);
    const std::u16string path = Utf16(output_) + u"/" + name;
    ASSERT_EQ(SaveImageFile(path.c_str(), &image, code), 1) << code;
    EXPECT_TRUE(fs::exists(output_ / (std::string("Bild_äöü_日本語_😀") + extensions[code]))) << code;
  }
  EXPECT_EQ(OutputCount(), 7u);

  // A name with an unpaired surrogate is no name: nothing is written anywhere.
  fs::remove_all(output_);
  fs::create_directory(output_);
  const std::u16string broken = Utf16(output_) + u"/bad_\xD800_name.img";
  for (uint32_t code = 0; code <= 6; ++code) EXPECT_EQ(SaveImageFile(broken.c_str(), &image, code), 0) << code;
  EXPECT_EQ(OutputCount(), 0u);
}

TEST_F(ImageWritersTest, PngRowPointerAllocationFailureIsSilentFailure) {
  const CDibImage image = BandImage(24);
  FILE* file = std::fopen(Output("rows.png").c_str(), "wb");
  ASSERT_NE(file, nullptr);
  testing::internal::CaptureStderr();
  const int result = EncodePng(file, image, nullptr);
  const std::string printed = testing::internal::GetCapturedStderr();
  std::fclose(file);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(printed, "");
}

TEST_F(ImageWritersTest, ConcurrentSavesRecoverIndependently) {
  // One thread keeps failing inside the encoders while another saves good
  // files: each error must return to its own save.
  CDibImage noisy = MakeImage(640, 480, 24);
  FillRandom(noisy, 7);
  const CDibImage bands = BandImage(24);
  int failures = 0;
  int successes = 0;
  std::thread failing([&] {
    for (int i = 0; i < 8; ++i) {
      failures += SaveImageFile(u"/dev/full", &noisy, kImageFilePng) == 0;
      failures += SaveImageFile(u"/dev/full", &noisy, kImageFileJpegHigh) == 0;
    }
  });
  std::thread saving([&] {
    for (int i = 0; i < 8; ++i) {
      successes += Save(Output("good.png"), bands, kImageFilePng);
      successes += Save(Output("good.jpg"), bands, kImageFileJpegHigh);
    }
  });
  failing.join();
  saving.join();
  EXPECT_EQ(failures, 16);
  EXPECT_EQ(successes, 16);
  EXPECT_EQ(Check("png", Output("good.png"), BandPicture()), "");
}

}  // namespace
}  // namespace quvex
