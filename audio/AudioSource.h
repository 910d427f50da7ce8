#pragma once
#include <cstdint>

#include "audio/AudioBuffer.h"
#include "audio/AudioComponent.h"
#include "platform/RingQueue.h"

namespace talvinor {

// How a read request through the master ended.
enum class ReadResult {
  Done,     // the buffer came back holding what the file gave
  Failed,   // the request was refused or something else arrived
  Stopped,  // the component is being stopped; nothing more will come
};

// The family of file sources: file blocks in (ReadBlock requests answered as
// SourceInput), PCM out (PcmData). The master hands it the PCM buffers it is
// to fill (PushBuffer).
class AudioSource : public AudioComponent {
  TALVINOR_CLASS_CODES(0x20021, 0x1210, 0x20011)

 public:
  static constexpr uint32_t kNoSeek = 0xFFFFFFFFu;

  // Stores `parameter` (the file size for file sources) and connects;
  // refused while running and for 0 or 0xFFFFFFFF.
  virtual bool Open(RefPtr<MessageQueue> peer, uint32_t parameter);
  // Hands a PCM buffer to fill; false for null.
  virtual bool PushBuffer(RefPtr<AudioBuffer> buffer);
  // Only while running: posts SourceInput with the buffer to the own inbox.
  virtual bool QueueInput(RefPtr<AudioBuffer> buffer);
  // Position and length in milliseconds; 0 in the base.
  virtual uint32_t GetPosition() { return 0; }
  virtual uint32_t GetLength() { return 0; }
  // The size and number of PCM buffers the master is to allocate.
  virtual uint32_t GetBufferSize() { return 0; }
  virtual uint32_t GetBufferCount() { return 0; }
  // The pending seek (kNoSeek when none) and the stream position that
  // matches device position 0 of the current device run.
  virtual uint32_t GetSeekTarget();
  virtual bool SetSeekTarget(uint32_t milliseconds);
  virtual uint32_t GetBasePosition();

  // Pops a PCM buffer to fill, waiting while Started, Running or
  // ResumeRequested; null once the state has left those.
  RefPtr<AudioBuffer> TakeInputBuffer();
  // Each posts to the peer under the lock; nothing without a peer.
  bool SendPcm(RefPtr<AudioBuffer> buffer);
  bool SendFormatReady();
  bool SendEndOfStream();  // also marks the stream as ended
  bool RequestDeviceReset();

  uint32_t GetOpenParameter();
  bool IsEnded();
  uint32_t GetInputQueueCount();

 protected:
  AudioSource() = default;

  // Asks the master for `count` bytes at `offset` (kCurrentPosition: the
  // current position) into `buffer` and waits for the SourceInput that
  // brings that same buffer back.
  ReadResult RequestRead(RefPtr<AudioBuffer> buffer, uint32_t offset, uint32_t count);
  void SetEnded(bool ended);
  void SetBasePosition(uint32_t milliseconds);
  void ClearInputQueue();
  // The seek target, cleared (kNoSeek when none was pending).
  uint32_t TakeSeekTarget();

  // Moves the stream to `milliseconds`. Returns where the stream then
  // stands, in milliseconds (a target past the end leaves it at the end),
  // or kNoSeek when it could not move and stays where it was.
  virtual uint32_t SeekStream(uint32_t /*milliseconds*/) { return kNoSeek; }
  // Once the stream is open: the base position becomes 0, or where a
  // pending seek target has put the stream.
  void SeekAtStart();
  // Carries out a pending seek target: when the stream moved, the device
  // drops what it holds and the base position becomes where the stream now
  // stands; when it could not move, the base position stays, as the stream
  // plays on from where it was. Then the stream runs again.
  void ResumeStep() override;

 private:
  RingQueue<RefPtr<AudioBuffer>> m_input;  // guarded by m_lock
  uint32_t m_openParameter = 0;             // guarded by m_lock
  uint32_t m_seekTarget = kNoSeek;          // guarded by m_lock
  uint32_t m_basePosition = 0;              // guarded by m_lock
  bool m_ended = false;                     // guarded by m_lock
};

}  // namespace talvinor
