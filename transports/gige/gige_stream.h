// Assembles one frame of the camera's image stream: a preamble of 50 sync
// bytes, a header gap, height lines of ceil(width x bits / 8) bytes and a
// trailer. The lines are copied into the attached frame buffer, never past
// its end: a geometry larger than the buffer fills it and skips the rest.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quvex {

class CGigEStream {
 public:
  // false, and nothing changes, unless 0 <= width, height <= 5000,
  // 8 <= bits <= 16, headerGap >= 0 and trailer >= 0. Takes effect at the
  // next Attach.
  bool Configure(int width, int height, int bits, int headerGap, int trailer);
  // Fills buffer (capacity bytes) from the next frame on; null detaches, and
  // a detached stream ignores everything it is fed. Re-arms.
  void Attach(uint8_t* buffer, size_t capacity);
  // Starts the frame over: searches the preamble again, writes from the start.
  void Rearm();
  // true when this call completed the frame (its last trailer byte arrived).
  bool Feed(const uint8_t* bytes, size_t count);

  bool Attached() const { return base_ != nullptr; }
  // Stream bytes of one frame with the current geometry.
  size_t FrameStreamBytes() const;
  // Image bytes of one frame with the current geometry.
  size_t ImageBytes() const { return static_cast<size_t>(height_) * LineBytes(); }

 private:
  size_t LineBytes() const { return (static_cast<size_t>(width_) * bits_ + 7) / 8; }
  void BeginHeader();
  // The current line is full: the next line, or the trailer after the last.
  void EndLine();
  void Copy(const uint8_t* bytes, size_t count);

  static constexpr uint8_t kSyncByte = 0xAA;
  static constexpr int kPreambleCount = 50;
  static constexpr size_t kLineGap = 0;

  int width_ = 2592;
  int height_ = 1940;
  int bits_ = 16;
  size_t headerGap_ = 1102;
  size_t trailerBytes_ = 64384;

  size_t lineBytes_ = 5184;
  int linesLeft_ = 1940;
  size_t lineBytesLeft_ = 0;
  size_t skipLeft_ = 0;
  int syncLeft_ = kPreambleCount;

  uint8_t* base_ = nullptr;
  size_t capacity_ = 0;
  size_t lineStart_ = 0;  // offsets into the buffer
  size_t writeAt_ = 0;
};

}  // namespace quvex
