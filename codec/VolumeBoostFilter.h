#pragma once
#include <cstdint>

#include "audio/PlaybackFilter.h"

namespace talvinor {

// Raises quiet sound: samples below the threshold T are multiplied by the
// gain G, louder ones follow a straight line from (T, G x T) to full scale,
// so nothing clips. Negative samples mirror the curve.
class VolumeBoostFilter : public PlaybackFilter {
 public:
  // T = 6553, G = 4: the values of Setup(20, 4).
  VolumeBoostFilter();

  // Threshold at `percent` of full scale with gain `gain`. Fails, keeping
  // the previous parameters, when the gain is not positive or when
  // percent x gain > 97 (the boosted threshold must stay below full scale).
  bool Setup(int32_t percent, int32_t gain);

  void Prepare(const WaveFormat&) override {}
  void Process(uint8_t* samples, uint32_t bytes, const WaveFormat& format) override;

  int32_t Threshold() const { return m_threshold; }
  int32_t Gain() const { return m_gain; }
  int32_t Divisor() const { return m_divisor; }
  int32_t Slope() const { return m_slope; }
  int32_t Offset() const { return m_offset; }

  // One sample through the curve.
  int16_t Apply(int16_t sample) const;

 private:
  // Set up by the user-interface thread while the filter is in no list;
  // read by the playback master's thread.
  int32_t m_threshold;  // T
  int32_t m_gain;       // G
  int32_t m_divisor;    // D = 32767 - T
  int32_t m_slope;      // K = 32767 - G x T
  int32_t m_offset;     // O = 32767 - 32767 x K / D
};

}  // namespace talvinor
