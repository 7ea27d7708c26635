#include "transports/gige/gige_stream.h"

#include <algorithm>
#include <cstring>

namespace quvex {

bool CGigEStream::Configure(int width, int height, int bits, int headerGap, int trailer) {
  if (width < 0 || width > 5000 || height < 0 || height > 5000 || bits < 8 || bits > 16 ||
      headerGap < 0 || trailer < 0) {
    return false;
  }
  width_ = width;
  height_ = height;
  bits_ = bits;
  headerGap_ = static_cast<size_t>(headerGap);
  trailerBytes_ = static_cast<size_t>(trailer);
  return true;
}

size_t CGigEStream::FrameStreamBytes() const {
  return kPreambleCount + headerGap_ + ImageBytes() + trailerBytes_;
}

void CGigEStream::Attach(uint8_t* buffer, size_t capacity) {
  lineBytes_ = LineBytes();
  base_ = buffer;
  capacity_ = buffer != nullptr ? capacity : 0;
  Rearm();
}

void CGigEStream::BeginHeader() {
  skipLeft_ = headerGap_;
  lineBytesLeft_ = headerGap_ == 0 ? lineBytes_ : 0;
}

void CGigEStream::Rearm() {
  linesLeft_ = height_;
  syncLeft_ = kPreambleCount;
  lineBytesLeft_ = 0;
  skipLeft_ = 0;
  lineStart_ = writeAt_ = 0;
}

void CGigEStream::EndLine() {
  --linesLeft_;
  if (linesLeft_ == 0) {
    skipLeft_ = trailerBytes_;
    return;
  }
  skipLeft_ = kLineGap;
  lineBytesLeft_ = kLineGap == 0 ? lineBytes_ : 0;
  lineStart_ += lineBytes_;
  writeAt_ = lineStart_;
}

void CGigEStream::Copy(const uint8_t* bytes, size_t count) {
  // Only what fits: the rest of an oversized frame is skipped.
  if (writeAt_ < capacity_) std::memcpy(base_ + writeAt_, bytes, std::min(count, capacity_ - writeAt_));
  writeAt_ += count;
}

bool CGigEStream::Feed(const uint8_t* bytes, size_t count) {
  if (base_ == nullptr) return false;
  const uint8_t* next = bytes;
  size_t remaining = count;
  while (syncLeft_ > 0) {
    if (remaining == 0) return false;
    --remaining;
    if (*next++ != kSyncByte) {
      syncLeft_ = kPreambleCount;
    } else if (--syncLeft_ == 0) {
      BeginHeader();
    }
  }
  while (linesLeft_ > 0) {
    if (lineBytesLeft_ > 0) {
      const size_t k = std::min(remaining, lineBytesLeft_);
      Copy(next, k);
      next += k;
      remaining -= k;
      lineBytesLeft_ -= k;
      if (lineBytesLeft_ > 0) return false;  // the payload ended inside the line
      EndLine();
    } else if (skipLeft_ > 0) {
      const size_t c = std::min(remaining, skipLeft_);
      next += c;
      remaining -= c;
      skipLeft_ -= c;
      if (skipLeft_ > 0) return false;
      lineBytesLeft_ = lineBytes_;
    } else {
      EndLine();  // a line of no bytes (width 0) ends at once
    }
    if (remaining == 0 && linesLeft_ > 0) return false;
  }
  const size_t c = std::min(remaining, skipLeft_);
  skipLeft_ -= c;
  return skipLeft_ == 0;
}

}  // namespace quvex
