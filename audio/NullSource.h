#pragma once
#include "audio/AudioSource.h"

namespace talvinor {

// A source whose run body returns at once: the default of a master that has
// not been given a real source.
class NullSource : public AudioSource {
  TALVINOR_CLASS_CODES(0x20022, 0x1210, 0x20011, 0x20021)

 public:
  uint32_t Run() override { return 0; }
};

}  // namespace talvinor
