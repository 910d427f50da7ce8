#pragma once
#include <cstdint>
#include <string>

#include "audio/AudioEncoder.h"
#include "audio/FileWorker.h"
#include "audio/Master.h"
#include "audio/WaveInDevice.h"

namespace talvinor {

// The recording master: records from one wave input device into its head
// encoder and writes the encoder's blocks through its file worker into a new
// file. Three device buffers circulate device -> master -> encoder -> master
// -> device for the whole recording.
//
// States: Opening, Running, Pausing, Paused, Resuming, Stopping, Closed.
// Every change is posted to the notice window (Master::SetNotify).
class CRecWaveIn : public Master {
 public:
  static constexpr uint32_t kDeviceBufferCount = 3;
  static constexpr uint32_t kBufferBytes16 = 16384;  // samples wider than 8 bits
  static constexpr uint32_t kBufferBytes8 = 8192;    // 8-bit samples

  CRecWaveIn();

  // Device number, output path (created new: an existing file stops the run
  // with 31) and the encoder. Refused while running or for an empty path or
  // no encoder.
  bool Setup(uint32_t deviceId, const std::wstring& path, RefPtr<AudioEncoder> encoder);

  // Starts the thread; the notice of Opening is posted before this returns.
  bool Start() override;
  bool Close() override;
  // Running -> Pausing only; Paused -> Resuming only.
  bool Pause() override;
  bool Resume() override;
  // Milliseconds recorded; 0 while Closed.
  uint32_t GetPosition() override;
  // Stores the reason and moves to Stopping. A failure reported while the
  // master is already stopping replaces the owner's reason 1 but never
  // another failure, so a file error is not hidden by the owner's stop; a
  // stop asked for after the run has closed is refused.
  bool StopWithReason(uint32_t timeoutMs, StopReason reason) override;
  uint32_t Run() override;

  RefPtr<AudioEncoder> GetEncoder();
  // The device wrapper, for diagnostics and tests.
  RefPtr<WaveInDevice> GetDevice() const { return m_device; }

 protected:
  ~CRecWaveIn() override;

 private:
  void Dispatch(GraphMessage* message);
  // The opening steps: StopReason::None, or why they failed.
  StopReason OpenGraph();
  void PauseStep();
  // True once the graph has shut down.
  bool StopStep();
  void Teardown();
  // Queues a buffer at the device again; a refusal ends the run with 20.
  void Requeue(AudioBuffer* buffer);
  bool Stopping();
  // True once no run is in progress. A run that has posted Closed is only
  // leaving its thread, so it is waited for: an owner may start again as
  // soon as it sees Closed.
  bool RunEnded();

  const RefPtr<WaveInDevice> m_device;
  RefPtr<AudioEncoder> m_head;  // guarded by m_lock
  const RefPtr<AudioEncoder> m_default;
  const RefPtr<FileWorker> m_fileWorker;
};

}  // namespace talvinor
