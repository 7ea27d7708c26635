// Device ring bookkeeping.
#include "devices/usb/usb_ring_index.h"

#include <algorithm>

namespace quvex {

bool UsbRingIndex::Reset(int count) noexcept {
  std::lock_guard lock(mutex_);
  try {
    sequence_.assign(static_cast<size_t>(std::max(count, 0)), 0);
  } catch (...) {
    sequence_.clear();
    count_ = 0;
    return false;
  }
  count_ = count;
  lastSequence_ = readSequence_ = 0;
  writeIndex_ = readIndex_ = 0;
  newest_ = filling_ = reserved_ = -1;
  copying_ = false;
  return count >= 2;
}

int UsbRingIndex::BeginFill() noexcept {
  std::lock_guard lock(mutex_);
  if (count_ < 2) return -1;
  int slot = writeIndex_;
  if (slot == reserved_) slot = Next(slot);  // the reader may have taken it since
  sequence_[static_cast<size_t>(slot)] = 0;
  if (newest_ == slot) newest_ = -1;
  filling_ = slot;
  return slot;
}

void UsbRingIndex::EndFill(int slot, bool complete) noexcept {
  std::lock_guard lock(mutex_);
  if (slot < 0 || slot >= count_) return;
  filling_ = -1;
  if (complete) {
    sequence_[static_cast<size_t>(slot)] = ++lastSequence_;
    newest_ = slot;
  }
  writeIndex_ = Next(slot);
  if (writeIndex_ == reserved_) writeIndex_ = Next(writeIndex_);
}

bool UsbRingIndex::PollNewest() noexcept {
  std::lock_guard lock(mutex_);
  if (copying_ || newest_ < 0) return false;
  if (sequence_[static_cast<size_t>(newest_)] <= readSequence_) return false;
  readIndex_ = reserved_ = newest_;
  return true;
}

int UsbRingIndex::BeginRead() noexcept {
  std::lock_guard lock(mutex_);
  if (copying_ || count_ < 2) return -1;
  const int slot = reserved_ >= 0 ? reserved_ : readIndex_;
  if (slot == filling_ || sequence_[static_cast<size_t>(slot)] <= readSequence_) return -1;
  reserved_ = slot;
  copying_ = true;
  return slot;
}

void UsbRingIndex::EndRead(int slot) noexcept {
  std::lock_guard lock(mutex_);
  if (!copying_ || slot != reserved_) return;
  readSequence_ = std::max(readSequence_, sequence_[static_cast<size_t>(slot)]);
  readIndex_ = Next(slot);
  reserved_ = -1;
  copying_ = false;
}

int UsbRingIndex::WriteIndex() const noexcept {
  std::lock_guard lock(mutex_);
  return writeIndex_;
}

int UsbRingIndex::ReadIndex() const noexcept {
  std::lock_guard lock(mutex_);
  return readIndex_;
}

}  // namespace quvex
