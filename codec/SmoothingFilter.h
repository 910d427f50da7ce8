#pragma once
#include <cstdint>

#include "audio/PlaybackFilter.h"

namespace talvinor {

// Removes hiss with a one-pole low-pass per channel: each output is
// (sample + (N - 1) x previous output) / N, where N is the window length in
// samples at the playing rate.
class SmoothingFilter : public PlaybackFilter {
 public:
  static constexpr uint32_t kMaxChannels = 4;

  SmoothingFilter() = default;

  // The window in microseconds; used from the next Prepare.
  void SetWindow(uint32_t microseconds) { m_windowUs = microseconds; }
  uint32_t Window() const { return m_windowUs; }
  int32_t Divisor() const { return m_divisor; }

  // N = window x rate / 1000000 and the channel histories cleared. A window
  // shorter than one sample (N = 0) leaves the sound unchanged.
  void Prepare(const WaveFormat& format) override;
  // Buffers of more than four channels pass unchanged.
  void Process(uint8_t* samples, uint32_t bytes, const WaveFormat& format) override;

 private:
  // Set by the user-interface thread while the filter is in no list; used
  // by the playback master's thread.
  uint32_t m_windowUs = 1000;
  int32_t m_divisor = 1;  // N
  int32_t m_weight = 0;   // N - 1
  int32_t m_previous[kMaxChannels] = {0, 0, 0, 0};
};

}  // namespace talvinor
