#pragma once
#include "platform/wave/WaveStream.h"

namespace talvinor {

// An open output device: plays the written headers in order and returns
// each once it has been played.
class WaveOutStream : public WaveStream {
 public:
  WaveOutStream(std::unique_ptr<WaveEndpoint> endpoint, const WAVEFORMATEX& format, WaveOutProc callback,
                uintptr_t instance);

  MMRESULT Write(WAVEHDR* header, uint32_t headerSize);
  // Keeps every queued header; what the device held unplayed is played
  // again after Restart.
  MMRESULT Pause();
  MMRESULT Restart();
  // Returns every queued header and sets the position to 0.
  MMRESULT Reset();

 protected:
  void Pump() override;
  bool HasQueuedHeaders() const override { return !m_queue.empty(); }
  uint64_t PositionFrames() override;
  void Invoke(uintptr_t handle, uint32_t message, uintptr_t param1) override;

 private:
  // The playing state.
  enum class OutputState {
    Playing,  // headers are written as the device takes them
    Paused,   // nothing is written; the device holds nothing
    Failed,   // the device broke down; headers are returned unplayed
  };
  // One queued header and how far it has gone to the device.
  struct Entry {
    WAVEHDR* header;
    uint32_t frames;   // whole frames in the header
    uint32_t written;  // frames handed to the device so far
    bool begun;        // `start` is valid
    uint64_t start;    // device frame count at which its first frame went out
  };
  // Expects m_lock held.
  uint64_t PlayedFrames();
  void CompletePlayed(uint64_t played);
  void CompleteFront();
  void Fail(long error);

  const WaveOutProc m_callback;
  const uintptr_t m_instance;
  RingQueue<Entry> m_queue;                    // guarded by m_lock
  OutputState m_state = OutputState::Playing;   // guarded by m_lock
  uint64_t m_framesWritten = 0;                 // guarded by m_lock; since open or reset
};

}  // namespace talvinor
