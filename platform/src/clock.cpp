// The millisecond clock behind TickCount, replaceable by tests.
#include "quvex_platform/clock.h"

#include <chrono>
#include <mutex>
#include <thread>

#include "quvex/quvex_window.h"

namespace quvex::platform {
namespace {

struct ClockState {
  std::mutex mutex;
  QuvexClockSource source = nullptr;
  void* context = nullptr;
};

ClockState& State() {
  static ClockState* state = new ClockState;  // outlives every library's static destructors
  return *state;
}

uint32_t SystemTickCount() {
  using namespace std::chrono;
  const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  return static_cast<uint32_t>(ms);  // wraps every 2^32 ms, as intended
}

}  // namespace

uint32_t TickCount() {
  ClockState& state = State();
  std::lock_guard lock(state.mutex);
  return state.source ? state.source(state.context) : SystemTickCount();
}

void SleepMs(uint32_t ms) {
  if (ms == 0) {
    std::this_thread::yield();
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace quvex::platform

extern "C" void QuvexPlatform_SetClock(QuvexClockSource source, void* context) {
  try {
    auto& state = quvex::platform::State();
    std::lock_guard lock(state.mutex);
    state.source = source;
    state.context = context;
  } catch (...) {
    // Nothing thrown reaches the host; the clock stays as it was.
  }
}

extern "C" uint32_t QuvexPlatform_TickCount(void) {
  try {
    return quvex::platform::TickCount();
  } catch (...) {
    return quvex::platform::SystemTickCount();
  }
}
