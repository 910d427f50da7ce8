#pragma once
#include <cstdint>

#include "audio/WaveFormat.h"
#include "core/RefPtr.h"

namespace talvinor {

// An in-place PCM filter the playback master runs over every buffer before
// it is queued for the device. Only 16-bit PCM is changed; any other sample
// size passes unchanged.
class PlaybackFilter : public RefObject {
  TALVINOR_CLASS_CODES(0x1001)

 public:
  // Called when the filter joins a playing list and right after the device
  // has been opened at the start of playback.
  virtual void Prepare(const WaveFormat& format) = 0;
  virtual void Process(uint8_t* samples, uint32_t bytes, const WaveFormat& format) = 0;

 protected:
  PlaybackFilter() = default;
};

}  // namespace talvinor
