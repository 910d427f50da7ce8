#pragma once
#include <cstdint>

#include "audio/AudioBuffer.h"
#include "platform/wave/WaveAudio.h"

namespace talvinor {

// An AudioBuffer that a wave device fills or plays: its storage is described
// by a WAVEHDR, and a free flag tells whether the device wrapper may release
// it (set while it is not queued at the device and, for input, back with the
// master). The flag belongs to the wrapper that lists the buffer and is only
// touched under that wrapper's list lock.
class WaveHeaderBuffer : public AudioBuffer {
  TALVINOR_CLASS_CODES(0x20103, 0x20102)

 public:
  WaveHeaderBuffer();

  // Gives the buffer `size` bytes of storage described by a copy of
  // `headerTemplate`, whose lpData must be null (a header that already
  // points somewhere belongs to another buffer). False when the template is
  // refused or the storage cannot be allocated.
  bool AttachStorage(const WAVEHDR& headerTemplate, uint32_t size);

  WAVEHDR* Header() { return &m_header; }
  const WAVEHDR* Header() const { return &m_header; }

  bool IsFree() const { return m_free; }
  void SetFree(bool isFree) { m_free = isFree; }

 protected:
  ~WaveHeaderBuffer() override = default;

 private:
  WAVEHDR m_header{};
  bool m_free = true;  // guarded by the listing wrapper's list lock
};

}  // namespace talvinor
