// Millisecond clock and sleeping. TickCount wraps every 2^32 ms like the
// clock the libraries were designed around; tests replace its source through
// QuvexPlatform_SetClock (quvex/quvex_window.h).
#pragma once

#include <cstdint>

namespace quvex::platform {

inline constexpr uint32_t kInfinite = 0xFFFFFFFFu;

// Current time in ms from the installed source (the monotonic system clock
// unless a test installed another one).
uint32_t TickCount();

// Sleeps the calling thread for ms milliseconds of real time.
void SleepMs(uint32_t ms);

}  // namespace quvex::platform
