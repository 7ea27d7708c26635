#include "imaging/dib_image.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "imaging/pixel_routines.h"

// Huge requests must come back as a null pointer under AddressSanitizer too.
extern "C" [[gnu::weak]] const char* __asan_default_options() {
  return "allocator_may_return_null=1";
}
extern "C" [[gnu::weak]] const char* __tsan_default_options() {
  return "allocator_may_return_null=1";
}

namespace quvex {
namespace {

namespace fs = std::filesystem;

std::u16string Utf16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::vector<uint8_t> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t Uint32At(const std::vector<uint8_t>& bytes, size_t offset) {
  return bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 |
         static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

bool IsEmpty(const CDibImage& image) {
  const BitmapInfoHeader& h = image.Header();
  return image.Bits() == nullptr && image.Width() == 0 && image.Height() == 0 &&
         image.Stride() == 0 && image.BitsPerPixel() == 0 && !image.IsSection() &&
         !image.HasColorTable() && h.biSize == 40 && h.biWidth == 0 && h.biHeight == 0 &&
         h.biPlanes == 0 && h.biBitCount == 0 && h.biCompression == 0 && h.biSizeImage == 0 &&
         h.biXPelsPerMeter == 0 && h.biYPelsPerMeter == 0 && h.biClrUsed == 0 &&
         h.biClrImportant == 0;
}

bool IsGreyRamp(const ColorTable& table) {
  for (int i = 0; i < 256; ++i) {
    const RgbQuad& q = table[static_cast<size_t>(i)];
    if (q.blue != i || q.green != i || q.red != i || q.reserved != 0) return false;
  }
  return true;
}

void FillPattern(CDibImage& image, uint8_t seed) {
  for (size_t i = 0; i < image.ByteSize(); ++i) image.Bits()[i] = static_cast<uint8_t>(seed + i * 7);
}

class ScratchDir : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(testing::TempDir()) /
           ("dib_image_test_" + std::to_string(getpid()) + "_" +
            testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST(DibImageCreateTest, RowsArePaddedToFourBytesAndPixelsStartZeroed) {
  CDibImage image;
  ASSERT_EQ(image.Create(640, 480, 24), 1);
  EXPECT_EQ(image.Stride(), 1920);
  EXPECT_EQ(image.ByteSize(), 921600u);
  EXPECT_TRUE(image.IsSection());
  EXPECT_FALSE(image.HasColorTable());
  const BitmapInfoHeader& h = image.Header();
  EXPECT_EQ(h.biSize, 40u);
  EXPECT_EQ(h.biWidth, 640);
  EXPECT_EQ(h.biHeight, 480);
  EXPECT_EQ(h.biPlanes, 1);
  EXPECT_EQ(h.biBitCount, 24);
  EXPECT_EQ(h.biCompression, 0u);
  EXPECT_EQ(h.biSizeImage, 0u);
  EXPECT_EQ(std::count(image.Bits(), image.Bits() + image.ByteSize(), 0), 921600);

  ASSERT_EQ(image.Create(640, 480, 16), 1);
  EXPECT_EQ(image.Stride(), 1280);
  ASSERT_EQ(image.CreateMemory(3, 2, 24), 1);
  EXPECT_EQ(image.Stride(), 12);
  EXPECT_FALSE(image.IsSection());
  ASSERT_EQ(image.CreateMemory(5, 2, 8), 1);
  EXPECT_EQ(image.Stride(), 8);
  EXPECT_FALSE(image.HasColorTable());
}

TEST(DibImageCreateTest, BadSizeOrDepthLeavesTheImageAsItWas) {
  CDibImage image;
  ASSERT_EQ(image.Create(4, 3, 24), 1);
  FillPattern(image, 3);
  const std::vector<uint8_t> before(image.Bits(), image.Bits() + image.ByteSize());
  const uint8_t* bits = image.Bits();
  const std::vector<std::tuple<int32_t, int32_t, uint16_t>> bad = {
      {0, 480, 24}, {640, -1, 24}, {640, 480, 0}, {-5, 5, 8},
      {0x7FFFFFFF / 2, 1, 64},  // a stride beyond 32 bits
  };
  for (const auto& [w, h, bits_per_pixel] : bad) {
    EXPECT_EQ(image.Create(w, h, bits_per_pixel), 0);
    EXPECT_EQ(image.CreateMemory(w, h, bits_per_pixel), 0);
  }
  EXPECT_EQ(image.Bits(), bits);
  EXPECT_EQ(image.Width(), 4);
  EXPECT_EQ(image.BitsPerPixel(), 24);
  EXPECT_TRUE(image.IsSection());
  EXPECT_EQ(std::vector<uint8_t>(image.Bits(), image.Bits() + image.ByteSize()), before);
}

TEST(DibImageCreateTest, FailedAllocationLeavesAnEmptyImage) {
  for (bool memory : {false, true}) {
    CDibImage image;
    ASSERT_EQ(image.Create(8, 8, 8), 1);
    // 2^30-byte rows times 2^20 rows: more than any address space.
    const int32_t width = 1 << 28, height = 1 << 20;
    EXPECT_EQ(memory ? image.CreateMemory(width, height, 32) : image.Create(width, height, 32), 0);
    EXPECT_TRUE(IsEmpty(image));
  }
}

TEST(DibImagePaletteTest, EightBitSectionsCarryAColourTable) {
  CDibImage image;
  ASSERT_EQ(image.Create(4, 4, 8), 1);
  ASSERT_TRUE(image.HasColorTable());
  EXPECT_TRUE(IsGreyRamp(*image.GetColorTable()));

  std::vector<RgbQuad> red(10, RgbQuad{0, 0, 255, 0});
  EXPECT_EQ(image.SetPalette(2, red.data(), 250, 10), 1);  // only 6 entries fit
  EXPECT_EQ((*image.GetColorTable())[249].red, 249);
  EXPECT_EQ((*image.GetColorTable())[250].red, 255);
  EXPECT_EQ((*image.GetColorTable())[255].blue, 0);
  EXPECT_EQ(image.SetPalette(2, red.data(), -1, 10), 1);
  EXPECT_EQ(image.SetPalette(2, nullptr, 0, 10), 1);
  EXPECT_EQ(image.SetPalette(1, red.data(), 0, 10), 1);
  EXPECT_EQ((*image.GetColorTable())[0].red, 0);
  EXPECT_EQ(image.SetPalette(0, nullptr, 0, 0), 1);
  EXPECT_TRUE(IsGreyRamp(*image.GetColorTable()));
}

TEST(DibImageCopyTest, CopyFromTakesTheShapeAndColourTableButNotThePixels) {
  CDibImage target;
  ASSERT_EQ(target.CreateMemory(2, 2, 24), 1);
  FillPattern(target, 1);
  const uint8_t* kept = target.Bits();
  const CDibImage empty;
  EXPECT_EQ(target.CopyFrom(&empty), 0);
  EXPECT_EQ(target.CopyFrom(nullptr), 0);
  EXPECT_EQ(target.Bits(), kept);

  CDibImage source;
  ASSERT_EQ(source.Create(5, 3, 8), 1);
  FillPattern(source, 9);
  const RgbQuad green{0, 200, 0, 0};
  source.SetPalette(2, &green, 7, 1);
  ASSERT_EQ(target.CopyFrom(&source), 1);
  EXPECT_TRUE(target.IsSection());
  EXPECT_EQ(target.Width(), 5);
  EXPECT_EQ(target.Height(), 3);
  EXPECT_EQ(target.Stride(), source.Stride());
  EXPECT_EQ(target.BitsPerPixel(), 8);
  EXPECT_EQ(0, std::memcmp(&target.Header(), &source.Header(), sizeof(BitmapInfoHeader)));
  EXPECT_EQ(std::count(target.Bits(), target.Bits() + target.ByteSize(), 0), 24);
  ASSERT_TRUE(target.HasColorTable());
  EXPECT_EQ((*target.GetColorTable())[7].green, 200);

  // A memory image has no table to take over: the copy gets a grey ramp.
  CDibImage memory;
  ASSERT_EQ(memory.CreateMemory(5, 3, 8), 1);
  ASSERT_EQ(target.CopyFrom(&memory), 1);
  EXPECT_TRUE(IsGreyRamp(*target.GetColorTable()));
}

TEST(DibImageCopyTest, AssignCopiesPixelsThatAreNeverShared) {
  for (bool section : {false, true}) {
    SCOPED_TRACE(section);
    CDibImage source;
    ASSERT_EQ(section ? source.Create(5, 3, 24) : source.CreateMemory(5, 3, 24), 1);
    FillPattern(source, 5);
    CDibImage target;
    ASSERT_EQ(target.Assign(&source), 1);
    EXPECT_EQ(target.IsSection(), section);
    ASSERT_EQ(target.ByteSize(), source.ByteSize());
    EXPECT_NE(target.Bits(), source.Bits());
    for (int r = 0; r < 3; ++r) {  // the pixels; row padding is not copied between sections
      EXPECT_EQ(0, std::memcmp(target.Bits() + r * 16, source.Bits() + r * 16, 15));
    }

    const CDibImage copy(source);
    source.Bits()[0] ^= 0xFF;
    EXPECT_NE(copy.Bits()[0], source.Bits()[0]);
    EXPECT_NE(target.Bits()[0], source.Bits()[0]);

    // Assigning an image to itself keeps its pixels.
    const uint8_t first = source.Bits()[0];
    EXPECT_EQ(source.Assign(&source), 1);
    EXPECT_EQ(source.Bits()[0], first);
  }
  CDibImage target;
  ASSERT_EQ(target.Create(2, 2, 16), 1);
  const CDibImage empty;
  EXPECT_EQ(target.Assign(&empty), 0);
  EXPECT_EQ(target.Width(), 2);
  const CDibImage copyOfEmpty(empty);
  EXPECT_TRUE(IsEmpty(copyOfEmpty));
}

TEST(DibImageCopyTest, MovesHandOverThePixelsAndLeaveTheSourceEmpty) {
  CDibImage original;
  ASSERT_EQ(original.Create(4, 4, 8), 1);
  const uint8_t* bits = original.Bits();
  CDibImage moved(std::move(original));
  EXPECT_EQ(moved.Bits(), bits);
  EXPECT_TRUE(moved.HasColorTable());
  EXPECT_TRUE(IsEmpty(original));  // NOLINT(bugprone-use-after-move)

  CDibImage other;
  ASSERT_EQ(other.CreateMemory(2, 2, 24), 1);
  other = std::move(moved);
  EXPECT_EQ(other.Bits(), bits);
  EXPECT_EQ(other.Width(), 4);

  // A growing ring of images keeps every image's pixels where they were.
  std::vector<CDibImage> ring(2);
  ASSERT_EQ(ring[0].Create(8, 8, 16), 1);
  const uint8_t* slot = ring[0].Bits();
  ring.resize(64);
  EXPECT_EQ(ring[0].Bits(), slot);
}

TEST(DibImageBlitTest, CopiesTheOverlapOfBothImages) {
  CDibImage source, target;
  ASSERT_EQ(source.Create(4, 4, 8), 1);
  ASSERT_EQ(target.Create(3, 3, 8), 1);
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) source.Bits()[r * source.Stride() + c] = static_cast<uint8_t>(10 * r + c + 1);
  }
  // Rectangle {1,1}-{4,4} placed at (-1, 1): source column 1 falls off the
  // left edge, source row 3 off the bottom edge of a 3-row image.
  const Rect r{1, 1, 4, 4};
  ASSERT_NE(target.Blit(&source, &r, -1, 1), 0);
  const uint8_t expected[3][3] = {{0, 0, 0}, {13, 14, 0}, {23, 24, 0}};
  for (int row = 0; row < 3; ++row) {
    for (int c = 0; c < 3; ++c) {
      EXPECT_EQ(target.Bits()[row * target.Stride() + c], expected[row][c]) << row << "," << c;
    }
  }
  // Entirely outside: nothing to copy, nothing written.
  EXPECT_NE(target.Blit(&source, nullptr, 10, 10), 0);

  CDibImage wide, memory;
  ASSERT_EQ(wide.Create(3, 3, 24), 1);
  ASSERT_EQ(memory.CreateMemory(3, 3, 8), 1);
  EXPECT_EQ(target.Blit(&wide, nullptr, 0, 0), 0);
  EXPECT_EQ(target.Blit(&memory, nullptr, 0, 0), 0);
  EXPECT_EQ(memory.Blit(&target, nullptr, 0, 0), 0);
  EXPECT_EQ(target.Blit(nullptr, nullptr, 0, 0), 0);
}

TEST(DibImageBlitTest, MovesWithinOneImageReadEachRowBeforeOverwritingIt) {
  CDibImage image;
  ASSERT_EQ(image.Create(1, 4, 8), 1);
  for (int r = 0; r < 4; ++r) image.Bits()[r * image.Stride()] = static_cast<uint8_t>(r + 1);
  ASSERT_NE(image.Blit(&image, nullptr, 0, 1), 0);  // rows move one up
  const uint8_t expected[4] = {1, 1, 2, 3};
  for (int r = 0; r < 4; ++r) EXPECT_EQ(image.Bits()[r * image.Stride()], expected[r]);
}

TEST(DibImageRoutineTest, ConvertAndStretchPassBothImagesToTheRoutine) {
  CDibImage source, target;
  ASSERT_EQ(source.Create(2, 2, 24), 1);
  const uint8_t pixel[3] = {10, 20, 30};
  std::memcpy(source.Bits(), pixel, 3);  // row 0, column 0
  ASSERT_EQ(target.CopyFrom(&source), 1);

  EXPECT_EQ(target.Convert(nullptr, &source, nullptr, nullptr, nullptr, 0, 0), 1);
  EXPECT_EQ(target.Convert(ConvertFlipSwap, nullptr, nullptr, nullptr, nullptr, 0, 0), kPixelNoArguments);
  const PixelRoutineOptions badKind{12, 5, 0};
  EXPECT_EQ(target.Convert(ConvertFlipSwap, &source, &badKind, nullptr, nullptr, 0, 0), kPixelBadOptionsKind);
  ASSERT_EQ(target.Convert(ConvertFlipSwap, &source, nullptr, nullptr, nullptr, 0, 0), kPixelOk);
  const uint8_t* moved = target.Bits() + target.Stride();  // row 1, column 0
  EXPECT_EQ(moved[0], 30);
  EXPECT_EQ(moved[2], 10);
  const Rect outside{0, 0, 3, 2};
  EXPECT_EQ(target.Convert(ConvertFlipSwap, &source, nullptr, &outside, nullptr, 0, 0), kPixelBadRect);

  EXPECT_EQ(target.Stretch(nullptr, &source, nullptr, nullptr, 0, 0), 0);
  EXPECT_EQ(target.Stretch(StretchNearest, nullptr, nullptr, nullptr, 0, 0), 0);
  CDibImage doubled;
  ASSERT_EQ(doubled.Create(4, 4, 24), 1);
  ASSERT_EQ(doubled.Stretch(StretchNearest, &source, nullptr, nullptr, 0, 0), 1);
  for (int r = 0; r < 2; ++r) {
    for (int c = 0; c < 2; ++c) {
      EXPECT_EQ(doubled.Bits()[r * doubled.Stride() + 3 * c + 2], 30) << r << "," << c;
    }
  }
  EXPECT_EQ(doubled.Bits()[2 * doubled.Stride() + 2], 0);
}

TEST(DibImageReleaseTest, LeavesAnEmptyImageWithAValidHeader) {
  CDibImage image;
  ASSERT_EQ(image.Create(7, 5, 8), 1);
  EXPECT_EQ(image.Release(), 0);
  EXPECT_TRUE(IsEmpty(image));
  EXPECT_EQ(image.Release(), 0);
}

class DibImageSaveTest : public ScratchDir {
 protected:
  // Pillow reads the file and compares it with the picture, top row first.
  void ExpectPillowReads(const fs::path& file, const std::vector<uint8_t>& picture, int32_t width,
                         int32_t height, const char* mode) {
    const fs::path expected = dir_ / "expected.raw";
    std::ofstream(expected, std::ios::binary)
        .write(reinterpret_cast<const char*>(picture.data()), static_cast<std::streamsize>(picture.size()));
    const std::string command = std::string(QUVEX_PYTHON) + " " + QUVEX_SOURCE_DIR +
                                "/tests/imaging/check_bmp.py " + file.string() + " " +
                                expected.string() + " " + std::to_string(width) + " " +
                                std::to_string(height) + " " + mode + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
    EXPECT_EQ(pclose(pipe), 0) << output;
  }

  fs::path PathOf(const char* name) const { return dir_ / name; }
};

TEST_F(DibImageSaveTest, FileSizesAndHeadersFollowTheDepth) {
  struct Case {
    uint16_t bits;
    uint32_t size;
    uint32_t offset;
  };
  for (const Case& c : {Case{24, 921654, 54}, Case{16, 614454, 54}, Case{8, 308278, 1078}}) {
    SCOPED_TRACE(c.bits);
    CDibImage image;
    ASSERT_EQ(image.Create(640, 480, c.bits), 1);
    FillPattern(image, 11);
    const fs::path file = PathOf("image.bmp");
    ASSERT_EQ(image.SaveBmp(Utf16(file.string()).c_str()), 1);
    const std::vector<uint8_t> bytes = ReadFile(file);
    ASSERT_EQ(bytes.size(), c.size);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    EXPECT_EQ(Uint32At(bytes, 2), c.size);
    EXPECT_EQ(Uint32At(bytes, 6), 0u);
    EXPECT_EQ(Uint32At(bytes, 10), c.offset);
    EXPECT_EQ(0, std::memcmp(bytes.data() + 14, &image.Header(), 40));
    EXPECT_EQ(0, std::memcmp(bytes.data() + c.offset, image.Bits(), image.ByteSize()));
    if (c.bits == 8) {
      EXPECT_EQ(0, std::memcmp(bytes.data() + 54, image.GetColorTable()->data(), 1024));
    }
  }
}

TEST_F(DibImageSaveTest, PillowSeesTheBottomUpPictureInItsColours) {
  // 3 x 2 at 24 bits: 9 pixel bytes padded to 12 per row. Stored row 0 is
  // the bottom row of the picture.
  CDibImage colour;
  ASSERT_EQ(colour.Create(3, 2, 24), 1);
  for (int r = 0; r < 2; ++r) {
    for (int c = 0; c < 3; ++c) {
      uint8_t* p = colour.Bits() + r * colour.Stride() + 3 * c;
      p[0] = static_cast<uint8_t>(10 + c);       // blue
      p[1] = static_cast<uint8_t>(100 + r);      // green
      p[2] = static_cast<uint8_t>(200 + c + r);  // red
    }
  }
  const fs::path colourFile = PathOf("colour.bmp");
  ASSERT_EQ(colour.SaveBmp(Utf16(colourFile.string()).c_str()), 1);
  std::vector<uint8_t> rgb;
  for (int top = 0; top < 2; ++top) {
    const int r = 1 - top;
    for (int c = 0; c < 3; ++c) {
      rgb.insert(rgb.end(), {static_cast<uint8_t>(200 + c + r), static_cast<uint8_t>(100 + r),
                             static_cast<uint8_t>(10 + c)});
    }
  }
  ExpectPillowReads(colourFile, rgb, 3, 2, "RGB");

  // 8 bits: a section image and a memory image both come out with a grey ramp.
  for (bool memory : {false, true}) {
    SCOPED_TRACE(memory);
    CDibImage grey;
    ASSERT_EQ(memory ? grey.CreateMemory(5, 3, 8) : grey.Create(5, 3, 8), 1);
    for (int r = 0; r < 3; ++r) {
      for (int c = 0; c < 5; ++c) grey.Bits()[r * grey.Stride() + c] = static_cast<uint8_t>(40 * r + c);
    }
    const fs::path greyFile = PathOf("grey.bmp");
    ASSERT_EQ(grey.SaveBmp(Utf16(greyFile.string()).c_str()), 1);
    std::vector<uint8_t> indices;
    for (int top = 0; top < 3; ++top) {
      for (int c = 0; c < 5; ++c) indices.push_back(static_cast<uint8_t>(40 * (2 - top) + c));
    }
    ExpectPillowReads(greyFile, indices, 5, 3, "L");
  }
}

TEST_F(DibImageSaveTest, ReplacesALongerFileAndFailsWithoutADirectory) {
  const fs::path file = PathOf("over.bmp");
  std::ofstream(file, std::ios::binary) << std::string(5000, 'x');
  CDibImage image;
  ASSERT_EQ(image.Create(4, 4, 24), 1);
  ASSERT_EQ(image.SaveBmp(Utf16(file.string()).c_str()), 1);
  EXPECT_EQ(fs::file_size(file), 54u + 48u);

  const fs::path missing = dir_ / "no such directory" / "image.bmp";
  EXPECT_EQ(image.SaveBmp(Utf16(missing.string()).c_str()), 0);
  EXPECT_FALSE(fs::exists(missing));
  EXPECT_EQ(image.SaveBmp(nullptr), 0);
}

}  // namespace
}  // namespace quvex
