// Uncompressed AVI 1.0 movies of bottom-up RGB frames: one "vids" stream
// of "DIB " frames, a "00db" chunk per frame and an "idx1" index at the end.
// The headers are written at open with placeholder sizes; Finish appends the
// index and rewrites the sizes, the frame counts and the timing.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/dib_image.h"
#include "imaging/file_buffer.h"

namespace quvex {

class CAviWriter {
 public:
  CAviWriter() noexcept { ResetHeaders(); }
  CAviWriter(const CAviWriter&) = delete;
  CAviWriter& operator=(const CAviWriter&) = delete;
  ~CAviWriter() { Close(); }

  // Zeroes the header records and the RIFF size, movi size and movi position.
  void ResetHeaders() noexcept;
  // Starts a new movie at path (an existing file is emptied) from the current
  // width, height, bits per pixel, rate (frames per second; 0 means 30) and
  // frame count. 1 when the headers are written; 0 when the file cannot be
  // made or written, or one frame of this geometry cannot fit a 32-bit RIFF.
  int Open(const char16_t* path) noexcept;
  // Appends one chunk of FrameBytes() bytes. 0, with nothing counted, when no
  // movie is open, pixels is null, the write fails, or the finished movie
  // would outgrow the 32-bit RIFF size (see NextFrameFits).
  int WriteFrame(const uint8_t* pixels) noexcept;
  // Appends the index, rewrites sizes, counts and timing (rate in frames per
  // second x 100; 0 means 30.00) and closes the file. 1 when every seek,
  // write and the close succeeded.
  int Finish() noexcept;
  // Closes without finishing, empties the index, ResetHeaders. The geometry,
  // rate and frame count keep their values.
  void Close() noexcept;

  bool IsOpen() const noexcept { return file_.IsOpen(); }
  // The RIFF size field the finished movie would carry with one more frame
  // (its chunk and one more index entry), in 64 bits.
  uint64_t RiffSizeWithNextFrame() const noexcept;
  // True while a movie is open and one more frame keeps it within 32 bits.
  bool NextFrameFits() const noexcept;
  // Bytes of one frame's pixel rows from the current geometry; UINT64_MAX
  // when the geometry is negative or too large to count.
  uint64_t FrameBytes() const noexcept;

  int32_t Width() const noexcept { return width_; }
  int32_t Height() const noexcept { return height_; }
  uint16_t BitsPerPixel() const noexcept { return bitsPerPixel_; }
  uint32_t Rate() const noexcept { return rate_; }
  uint32_t FrameCount() const noexcept { return frameCount_; }
  // Bytes written after the RIFF size field so far; 0 while closed.
  uint32_t RiffSize() const noexcept { return riffSize_; }

  void SetWidth(int32_t width) noexcept { width_ = width; }
  void SetHeight(int32_t height) noexcept { height_ = height; }
  void SetBitsPerPixel(uint16_t bits) noexcept { bitsPerPixel_ = bits; }
  void SetRate(uint32_t rate) noexcept { rate_ = rate; }
  void SetFrameCount(uint32_t count) noexcept { frameCount_ = count; }

 private:
  struct MainHeader {
    uint32_t microSecPerFrame, maxBytesPerSec, paddingGranularity, flags;
    uint32_t totalFrames, initialFrames, streams, suggestedBufferSize;
    uint32_t width, height, reserved[4];
  };
  struct StreamHeader {
    uint32_t type, handler, flags;
    uint16_t priority, language;
    uint32_t initialFrames, scale, rate, start, length;
    uint32_t suggestedBufferSize, quality, sampleSize;
    int32_t frame[4];
  };

  void FillHeaders(uint32_t chunkBytes);
  bool WriteHeaders();
  bool WriteAt(uint64_t offset, uint32_t value);

  CFileBuffer file_;
  MainHeader mainHeader_{};
  StreamHeader streamHeader_{};
  BitmapInfoHeader bitmapHeader_{};
  uint32_t riffSize_ = 0;
  uint32_t moviSize_ = 0;
  uint32_t moviSizePosition_ = 0;
  // Index entries as they go into the file, 16 bytes each.
  std::vector<uint8_t> index_;
  // Set when a chunk write failed part-way: the next chunk first returns to
  // the end of the last complete one.
  bool positionLost_ = false;
  int32_t width_ = 0;
  int32_t height_ = 0;
  uint16_t bitsPerPixel_ = 0;
  uint32_t rate_ = 0;
  uint32_t frameCount_ = 0;
};

}  // namespace quvex
