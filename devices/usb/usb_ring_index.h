// Bookkeeping of the device ring: which slot the ring-fill thread fills next,
// which slot holds the newest complete frame, and which slot the reader has
// taken. One producer and one consumer; a small lock guards the indexes only,
// never a frame copy.
//
// What it guarantees: a slot is offered to the reader only when its transfer
// completed; the reader never gets a frame older than or equal to one it
// already read; the producer never fills the slot the reader has taken (from
// the poll that chose it until its copy ends).
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

namespace quvex {

class UsbRingIndex {
 public:
  // Empties every slot of a ring of count slots (at least 2) and puts both
  // indexes at 0. Returns false when the bookkeeping cannot be allocated.
  bool Reset(int count) noexcept;

  // Producer: the slot to fill now (-1 without a ring). It stops holding a
  // frame until EndFill.
  int BeginFill() noexcept;
  // Producer: the fill of slot ended; complete means the whole frame arrived,
  // which makes it the newest frame. The write index moves past it.
  void EndFill(int slot, bool complete) noexcept;

  // Consumer: true when a frame newer than the last one read is complete;
  // the read index then points at the newest such frame, which is kept for
  // the reader until EndRead.
  bool PollNewest() noexcept;
  // Consumer: the slot to copy (the one PollNewest chose, or the one at the
  // read index when it holds an unread complete frame); -1 when there is none.
  int BeginRead() noexcept;
  // Consumer: the copy of slot ended; the read index moves past it.
  void EndRead(int slot) noexcept;

  int WriteIndex() const noexcept;
  int ReadIndex() const noexcept;

 private:
  int Next(int slot) const { return (slot + 1) % count_; }

  mutable std::mutex mutex_;
  int count_ = 0;
  std::vector<uint64_t> sequence_;  // per slot: 0 = no complete frame
  uint64_t lastSequence_ = 0;       // of the newest completed frame
  uint64_t readSequence_ = 0;       // of the last frame read
  int writeIndex_ = 0;
  int readIndex_ = 0;
  int newest_ = -1;    // slot of the newest complete frame
  int filling_ = -1;   // slot being filled
  int reserved_ = -1;  // slot kept for the reader
  bool copying_ = false;
};

}  // namespace quvex
