#pragma once
#include "platform/wave/WaveStream.h"

namespace talvinor {

// An open input device: fills the queued headers in order while started.
class WaveInStream : public WaveStream {
 public:
  WaveInStream(std::unique_ptr<WaveEndpoint> endpoint, const WAVEFORMATEX& format, WaveInProc callback,
               uintptr_t instance);

  MMRESULT AddBuffer(WAVEHDR* header, uint32_t headerSize);
  MMRESULT Start();
  // Returns the partly filled header, keeps the empty ones queued.
  MMRESULT Stop();
  // Returns every queued header (with what had been captured up to now)
  // and sets the position to 0.
  MMRESULT Reset();

 protected:
  void Pump() override;
  bool HasQueuedHeaders() const override { return !m_queue.empty(); }
  uint64_t PositionFrames() override;
  void Invoke(uintptr_t handle, uint32_t message, uintptr_t param1) override;

 private:
  // The capture state.
  enum class InputState {
    Stopped,  // opened, stopped or reset: nothing is captured
    Started,  // capturing into the queued headers
    Failed,   // the device broke down; only stop, reset and close work
  };
  // Expect m_lock held. CompleteFront hands the front header back to the
  // caller; Fill moves up to `maxFrames` captured frames into it and
  // returns Transfer's result.
  void CompleteFront();
  long Fill(uint64_t maxFrames);
  // Moves what the device has captured but not delivered into the headers.
  void FlushCaptured();

  const WaveInProc m_callback;
  const uintptr_t m_instance;
  RingQueue<WAVEHDR*> m_queue;             // guarded by m_lock
  InputState m_state = InputState::Stopped;  // guarded by m_lock
  uint64_t m_framesCaptured = 0;            // guarded by m_lock; since open or reset
};

}  // namespace talvinor
