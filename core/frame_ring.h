// The frame ring: slots of a raw 16-bit image and its false-colour rendering,
// each stamped with a frame id. A slot's id is 0 while it holds no complete
// frame, and its mutex is held while its pixels are copied, so a frame is
// found by id only once it is whole, and never while it is replaced.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "core/profile.h"
#include "imaging/dib_image.h"

namespace quvex {

struct FrameSlot {
  std::atomic<int> frameId{0};
  CDibImage raw;
  CDibImage colour;
  std::mutex mutex;
  // Guarded by mutex: a frame is being read into the pixels without the
  // mutex (a network read may take long), so only the reader may touch them.
  bool filling = false;
};

class FrameRing {
 public:
  // Empty slots: images without pixels, ids 0.
  void Resize(int slots);
  int Size() const { return static_cast<int>(slots_.size()); }
  FrameSlot& operator[](int index) { return *slots_[static_cast<size_t>(index)]; }
  // The slot whose id is frameId (never 0), or null. The caller locks the
  // slot and checks the id again before it reads.
  FrameSlot* Find(int frameId);
  // A new frame id by the build's rule, never 0 and never one the ring holds.
  int NewFrameId(FrameIdRule rule, bool captureThread);

 private:
  std::vector<std::unique_ptr<FrameSlot>> slots_;
};

}  // namespace quvex
