#pragma once
#include <chrono>
#include <cstdint>

namespace talvinor {

// Turns elapsed steady time into whole frames at a multiple of real time,
// carrying the fractional frame so nothing drifts over a long run.
class VirtualPacer {
 public:
  VirtualPacer(uint32_t samplesPerSec, double pace) : m_framesPerSecond(samplesPerSec * pace) {}

  // Pace 0: the device moves frames as fast as it is asked to.
  bool Unpaced() const { return m_framesPerSecond <= 0; }
  // Counts from now on.
  void Restart();
  // Whole frames accrued since the previous call (or Restart).
  uint64_t Take();
  // Real milliseconds until `frames` more whole frames will have accrued
  // since the previous Take, rounded up; 0 when they already have.
  int MsUntil(uint64_t frames) const;

 private:
  using Clock = std::chrono::steady_clock;
  double m_framesPerSecond;
  Clock::time_point m_last = Clock::now();
  double m_fraction = 0;
};

}  // namespace talvinor
