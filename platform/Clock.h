#pragma once
#include <cstdint>

namespace talvinor {

// Milliseconds on the steady clock truncated to 32 bits, so it wraps every
// 49.7 days exactly like the handset's tick count. Compare ticks only by
// unsigned difference: `GetTickCount() - start >= timeout`.
uint32_t GetTickCount();

// Sleeps for `milliseconds`; 0 only yields the processor.
void Sleep(uint32_t milliseconds);

// Wait time-out meaning "no time-out".
inline constexpr uint32_t kInfinite = 0xFFFFFFFFu;

// Milliseconds elapsed from `start` to `now`, correct across the 32-bit wrap.
inline uint32_t TicksSince(uint32_t start, uint32_t now) { return now - start; }

}  // namespace talvinor
