#pragma once
#include <cstdint>
#include <string>

#include "audio/AudioBuffer.h"
#include "audio/AudioComponent.h"
#include "platform/RingQueue.h"

namespace talvinor {

// The family of encoders: PCM buffers in (EncoderInput), encoded blocks out
// (EncodedData from the encoder's pool of free buffers); PCM buffers it has
// finished with go back to the master as InputConsumed.
class AudioEncoder : public AudioComponent {
  TALVINOR_CLASS_CODES(0x20041, 0x1210, 0x20011)

 public:
  // Linear PCM with the given layout; refused while running.
  virtual bool SetFormat(uint16_t channels, uint32_t samplesPerSec, uint16_t bitsPerSample);
  // A new pool buffer of at least `size` bytes (null when the storage
  // could not be allocated).
  virtual RefPtr<AudioBuffer> AllocateBuffer(uint32_t size);
  // A buffer the master has finished with goes back to the pool.
  virtual bool ReturnBuffer(RefPtr<AudioBuffer> buffer);
  // Only while running: posts EncoderInput with the buffer to the own inbox.
  virtual bool QueueInput(RefPtr<AudioBuffer> buffer);

  // Pops a free pool buffer, waiting for one to come back. Gives up (null)
  // when the stop request is set and no buffer has come back for a whole
  // second, so a stop still lets the last blocks through while the master
  // keeps returning buffers, yet never hangs on a master that stopped.
  RefPtr<AudioBuffer> TakeFreeBuffer();
  // Copies head and body into one free buffer and posts it as EncodedData
  // (offset: append). False when no buffer was free or no peer is set.
  bool DeliverEncoded(const void* head, uint32_t headLength, const void* body, uint32_t bodyLength);
  // Posts InputConsumed with the buffer to the peer.
  bool ReportInputDone(RefPtr<AudioBuffer> buffer);

  uint32_t GetFreeBufferCount();

  // Called by a recording master once the run's file is closed, however the
  // run ended (a stop, a write error, a full disk): brings what the file
  // holds into a final, playable form in place. Nothing to do by default.
  virtual void MakeFileFinal(const std::wstring& path);

 protected:
  AudioEncoder() = default;

 private:
  RingQueue<RefPtr<AudioBuffer>> m_pool;  // guarded by m_lock
};

}  // namespace talvinor
