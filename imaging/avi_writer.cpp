// AVI movie writer. Every size stays within its 32-bit field: frames that
// would push the finished movie past 4 GiB are refused, so the owner can roll
// over to a new file in time.
#include "imaging/avi_writer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

namespace quvex {
namespace {

constexpr uint32_t kNominalFramesPerSecond = 30;
constexpr uint32_t kStreamRate = 10000000;  // stream ticks per second
constexpr uint32_t kHasIndex = 0x10;
constexpr uint32_t kWasCaptureFile = 0x10000;
constexpr uint32_t kKeyFrame = 0x10;

constexpr uint32_t kRiffSizeOffset = 4;
constexpr uint32_t kMicroSecPerFrameOffset = 32;
constexpr uint32_t kTotalFramesOffset = 48;
constexpr uint32_t kScaleOffset = 128;
constexpr uint32_t kLengthOffset = 140;
constexpr uint32_t kMoviSizeOffset = 224;
constexpr uint32_t kFirstChunkOffset = 232;

constexpr uint32_t kChunkHeaderBytes = 8;
constexpr uint32_t kIndexHeaderBytes = 8;
constexpr uint32_t kIndexEntryBytes = 16;
constexpr uint64_t kMaxRiffSize = std::numeric_limits<uint32_t>::max();

constexpr uint32_t FourCc(const char (&tag)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(tag[0])) |
         static_cast<uint32_t>(static_cast<uint8_t>(tag[1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(tag[2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(tag[3])) << 24;
}

// Little-endian serialisation into a byte buffer.
class ByteSink {
 public:
  explicit ByteSink(uint8_t* at) : at_(at) {}
  ByteSink& U16(uint16_t value) {
    *at_++ = static_cast<uint8_t>(value);
    *at_++ = static_cast<uint8_t>(value >> 8);
    return *this;
  }
  ByteSink& U32(uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) *at_++ = static_cast<uint8_t>(value >> shift);
    return *this;
  }
  ByteSink& I32(int32_t value) { return U32(static_cast<uint32_t>(value)); }
  ByteSink& Tag(const char (&tag)[5]) { return U32(FourCc(tag)); }

 private:
  uint8_t* at_;
};

// The RIFF size of a finished movie that holds `frames` chunks of frameBytes
// pixels past riffSize, and its index with `entries` entries.
uint64_t FinishedRiffSize(uint64_t riffSize, uint64_t frameBytes, uint64_t frames,
                          uint64_t entries) {
  if (frameBytes == std::numeric_limits<uint64_t>::max()) return frameBytes;
  return riffSize + frames * (kChunkHeaderBytes + frameBytes) + kIndexHeaderBytes +
         entries * kIndexEntryBytes;
}

// A rate too high for the tick count would give a zero scale, which no
// reader can divide by; the fastest representable scale is 1.
uint32_t ScaleFor(uint32_t ticks, uint32_t rate) { return std::max<uint32_t>(1, ticks / rate); }

}  // namespace

void CAviWriter::ResetHeaders() noexcept {
  mainHeader_ = {};
  streamHeader_ = {};
  bitmapHeader_ = {};
  riffSize_ = 0;
  moviSize_ = 0;
  moviSizePosition_ = 0;
}

uint64_t CAviWriter::FrameBytes() const noexcept {
  constexpr uint64_t kTooLarge = std::numeric_limits<uint64_t>::max();
  if (width_ < 0 || height_ < 0) return kTooLarge;
  const uint64_t pixels = static_cast<uint64_t>(width_) * static_cast<uint64_t>(height_);
  if (bitsPerPixel_ != 0 && pixels > kTooLarge / bitsPerPixel_) return kTooLarge;
  return pixels * bitsPerPixel_ / 8;
}

uint64_t CAviWriter::RiffSizeWithNextFrame() const noexcept {
  const uint64_t entries = index_.size() / kIndexEntryBytes + 1;
  return FinishedRiffSize(riffSize_, FrameBytes(), 1, entries);
}

bool CAviWriter::NextFrameFits() const noexcept {
  return IsOpen() && RiffSizeWithNextFrame() <= kMaxRiffSize;
}

int CAviWriter::Open(const char16_t* path) noexcept {
  Close();
  const uint64_t frameBytes = FrameBytes();
  // A geometry whose single frame cannot fit makes no movie.
  if (FinishedRiffSize(kFirstChunkOffset - 8, frameBytes, 1, 1) > kMaxRiffSize) return 0;
  if (!file_.CreateWrite(path)) return 0;
  FillHeaders(static_cast<uint32_t>(kChunkHeaderBytes + frameBytes));
  if (!WriteHeaders()) {
    Close();
    return 0;
  }
  riffSize_ = kFirstChunkOffset - 8;  // everything after the RIFF size field
  moviSizePosition_ = kMoviSizeOffset;
  moviSize_ = 4;  // the "movi" fourcc
  return 1;
}

void CAviWriter::FillHeaders(uint32_t chunkBytes) {
  const uint32_t framesPerSecond = rate_ != 0 ? rate_ : kNominalFramesPerSecond;
  const uint64_t maxBytesPerSec = static_cast<uint64_t>(chunkBytes) * kNominalFramesPerSecond;

  mainHeader_ = {};
  mainHeader_.microSecPerFrame = 1000000 / framesPerSecond;
  mainHeader_.maxBytesPerSec = static_cast<uint32_t>(std::min(maxBytesPerSec, kMaxRiffSize));
  mainHeader_.flags = kHasIndex | kWasCaptureFile;
  mainHeader_.totalFrames = frameCount_;
  mainHeader_.streams = 1;
  mainHeader_.suggestedBufferSize = chunkBytes;
  mainHeader_.width = static_cast<uint32_t>(width_);
  mainHeader_.height = static_cast<uint32_t>(height_);

  streamHeader_ = {};
  streamHeader_.type = FourCc("vids");
  streamHeader_.handler = FourCc("DIB ");
  streamHeader_.scale = ScaleFor(kStreamRate, framesPerSecond);
  streamHeader_.rate = kStreamRate;
  streamHeader_.length = frameCount_;
  streamHeader_.suggestedBufferSize = chunkBytes;

  bitmapHeader_ = {};
  bitmapHeader_.biSize = 40;
  bitmapHeader_.biWidth = width_;
  bitmapHeader_.biHeight = height_;  // positive: rows bottom-up
  bitmapHeader_.biPlanes = 1;
  bitmapHeader_.biBitCount = bitsPerPixel_;
}

bool CAviWriter::WriteHeaders() {
  std::array<uint8_t, kFirstChunkOffset> bytes{};
  ByteSink out(bytes.data());
  out.Tag("RIFF").U32(0).Tag("AVI ");
  out.Tag("LIST").U32(200).Tag("hdrl").Tag("avih").U32(56);
  const MainHeader& main = mainHeader_;
  out.U32(main.microSecPerFrame).U32(main.maxBytesPerSec).U32(main.paddingGranularity);
  out.U32(main.flags).U32(main.totalFrames).U32(main.initialFrames).U32(main.streams);
  out.U32(main.suggestedBufferSize).U32(main.width).U32(main.height);
  for (uint32_t reserved : main.reserved) out.U32(reserved);

  out.Tag("LIST").U32(124).Tag("strl").Tag("strh").U32(64);
  const StreamHeader& stream = streamHeader_;
  out.U32(stream.type).U32(stream.handler).U32(stream.flags);
  out.U16(stream.priority).U16(stream.language);
  out.U32(stream.initialFrames).U32(stream.scale).U32(stream.rate).U32(stream.start);
  out.U32(stream.length).U32(stream.suggestedBufferSize).U32(stream.quality);
  out.U32(stream.sampleSize);
  for (int32_t edge : stream.frame) out.I32(edge);

  out.Tag("strf").U32(40);
  const BitmapInfoHeader& bitmap = bitmapHeader_;
  out.U32(bitmap.biSize).I32(bitmap.biWidth).I32(bitmap.biHeight);
  out.U16(bitmap.biPlanes).U16(bitmap.biBitCount);
  out.U32(bitmap.biCompression).U32(bitmap.biSizeImage);
  out.I32(bitmap.biXPelsPerMeter).I32(bitmap.biYPelsPerMeter);
  out.U32(bitmap.biClrUsed).U32(bitmap.biClrImportant);

  out.Tag("LIST").U32(0).Tag("movi");
  return file_.Write(bytes.data(), kFirstChunkOffset) != 0;
}

int CAviWriter::WriteFrame(const uint8_t* pixels) noexcept {
  if (pixels == nullptr || !NextFrameFits()) return 0;
  // NextFrameFits bounds the frame well below 4 GiB.
  const auto frameBytes = static_cast<uint32_t>(FrameBytes());
  if (positionLost_) {
    if (!file_.Seek(8 + static_cast<uint64_t>(riffSize_))) return 0;
    positionLost_ = false;
  }

  const size_t indexBytes = index_.size();
  try {
    index_.resize(indexBytes + kIndexEntryBytes);
  } catch (...) {
    return 0;
  }
  ByteSink(index_.data() + indexBytes).Tag("00db").U32(kKeyFrame).U32(moviSize_).U32(frameBytes);

  std::array<uint8_t, kChunkHeaderBytes> chunkHeader{};
  ByteSink(chunkHeader.data()).Tag("00db").U32(frameBytes);
  if (!file_.Write(chunkHeader.data(), kChunkHeaderBytes) || !file_.Write(pixels, frameBytes)) {
    index_.resize(indexBytes);
    positionLost_ = true;
    return 0;
  }
  riffSize_ += kChunkHeaderBytes + frameBytes;
  moviSize_ += kChunkHeaderBytes + frameBytes;
  return 1;
}

bool CAviWriter::WriteAt(uint64_t offset, uint32_t value) {
  std::array<uint8_t, 4> bytes{};
  ByteSink(bytes.data()).U32(value);
  return file_.Seek(offset) && file_.Write(bytes.data(), 4);
}

int CAviWriter::Finish() noexcept {
  if (!IsOpen()) return 0;
  // The index holds only the chunks actually written; a larger frame count
  // would describe frames that are not in the file.
  const auto frames = static_cast<uint32_t>(
      std::min<uint64_t>(frameCount_, index_.size() / kIndexEntryBytes));
  const uint32_t indexBytes = frames * kIndexEntryBytes;
  std::array<uint8_t, kIndexHeaderBytes> indexHeader{};
  ByteSink(indexHeader.data()).Tag("idx1").U32(indexBytes);

  bool ok = file_.Seek(8 + static_cast<uint64_t>(riffSize_)) &&
            file_.Write(indexHeader.data(), kIndexHeaderBytes) &&
            (indexBytes == 0 || file_.Write(index_.data(), indexBytes));
  riffSize_ += kIndexHeaderBytes + indexBytes;

  const uint32_t framesPerSecondTimes100 = rate_ != 0 ? rate_ : kNominalFramesPerSecond * 100;
  ok = ok && WriteAt(kRiffSizeOffset, riffSize_) && WriteAt(moviSizePosition_, moviSize_) &&
       WriteAt(kTotalFramesOffset, frames) && WriteAt(kLengthOffset, frames) &&
       WriteAt(kMicroSecPerFrameOffset, 100000000 / framesPerSecondTimes100) &&
       WriteAt(kScaleOffset, ScaleFor(1000000000, framesPerSecondTimes100));
  const bool closed = file_.Close() != 0;
  return ok && closed ? 1 : 0;
}

void CAviWriter::Close() noexcept {
  file_.Close();
  index_.clear();
  positionLost_ = false;
  ResetHeaders();
}

}  // namespace quvex
