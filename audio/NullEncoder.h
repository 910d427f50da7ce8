#pragma once
#include "audio/AudioEncoder.h"

namespace talvinor {

// An encoder whose run body returns at once: the default of a master that
// has not been given a real encoder.
class NullEncoder : public AudioEncoder {
  TALVINOR_CLASS_CODES(0x20042, 0x1210, 0x20011, 0x20041)

 public:
  uint32_t Run() override { return 0; }
};

}  // namespace talvinor
