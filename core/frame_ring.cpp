#include "core/frame_ring.h"

#include <cstdlib>

#include "quvex_platform/clock.h"

namespace quvex {

void FrameRing::Resize(int slots) {
  slots_.clear();
  for (int i = 0; i < slots; ++i) slots_.push_back(std::make_unique<FrameSlot>());
}

FrameSlot* FrameRing::Find(int frameId) {
  if (frameId == 0) return nullptr;
  for (auto& slot : slots_) {
    if (slot->frameId.load() == frameId) return slot.get();
  }
  return nullptr;
}

int FrameRing::NewFrameId(FrameIdRule rule, bool captureThread) {
  // The stamps wrap in 32 bits, as the ids always have.
  const uint32_t time = platform::TickCount();
  const auto random = static_cast<uint32_t>(std::rand());
  uint32_t id = 0;
  switch (rule) {
    case FrameIdRule::TimeTimesRand: id = time * random + (captureThread ? 1u : 0u); break;
    case FrameIdRule::TimePlusRand: id = time + random; break;
    case FrameIdRule::RandTimesTime: id = random * time; break;
  }
  // 0 is never accepted, and an id the ring already holds would find the
  // wrong frame: step past both.
  while (id == 0 || Find(static_cast<int>(id)) != nullptr) ++id;
  return static_cast<int>(id);
}

}  // namespace quvex
