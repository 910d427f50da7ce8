#include "platform/wave/VirtualPacer.h"

#include <cmath>

namespace talvinor {

void VirtualPacer::Restart() {
  m_last = Clock::now();
  m_fraction = 0;
}

uint64_t VirtualPacer::Take() {
  Clock::time_point now = Clock::now();
  double elapsed = std::chrono::duration<double>(now - m_last).count();
  m_last = now;
  double accrued = elapsed * m_framesPerSecond + m_fraction;
  double whole = std::floor(accrued);
  m_fraction = accrued - whole;
  return static_cast<uint64_t>(whole);
}

int VirtualPacer::MsUntil(uint64_t frames) const {
  if (frames == 0 || Unpaced()) return 0;
  double elapsed = std::chrono::duration<double>(Clock::now() - m_last).count();
  double missing = static_cast<double>(frames) - m_fraction - elapsed * m_framesPerSecond;
  if (missing <= 0) return 0;
  return static_cast<int>(std::ceil(missing / m_framesPerSecond * 1000.0));
}

}  // namespace talvinor
