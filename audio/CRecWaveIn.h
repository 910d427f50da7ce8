#pragma once
#include <cstdint>
#include <string>

#include "audio/AudioEncoder.h"
#include "audio/FileWorker.h"
#include "audio/InputLevel.h"
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
  // with FileOpen) and the encoder. Refused while running or for an empty
  // path or no encoder.
  bool Setup(uint32_t deviceId, const std::wstring& path, RefPtr<AudioEncoder> encoder);

  // Milliseconds recorded; 0 while Closed.
  uint32_t GetPosition() override;

  RefPtr<AudioEncoder> GetEncoder();

  // The level of the sound captured last; any thread, without waiting.
  LevelReading GetInputLevel() const { return m_level.Read(); }
  // Whether captured buffers are measured (on by default); any thread.
  void SetLevelMetering(bool on) { m_metering.store(on, std::memory_order_relaxed); }
  // True when the last run's file was removed because the run failed before
  // its encoder had taken any sound: such a file holds nothing but headers
  // and would look like a recording.
  bool RemovedEmptyFile();
  // The device wrapper, for diagnostics and tests.
  RefPtr<WaveInDevice> GetDevice() const { return m_device; }

 protected:
  ~CRecWaveIn() override = default;

  // Every stop enters Stopping. A failure reported while the master is
  // already stopping replaces the owner's reason but never another failure,
  // so a file error is not hidden by the owner's stop.
  StopPlan PlanStop(MasterState state, StopReason recorded, StopReason reason) override;
  // Opening, Pausing, Resuming and Stopping: the device steps.
  bool IsTransitional(MasterState state) override;
  void Dispatch(GraphMessage* message) override;
  StepResult Step(MasterState state) override;
  // Closes the device when every buffer is back, then the encoder and the
  // file worker.
  void EndRun() override;

 private:
  // Opens the file, the encoder and the device and starts recording.
  void OpeningStep();
  // The opening steps: StopReason::None, or why they failed.
  StopReason OpenGraph();
  void PauseStep();
  void ResumeStep();
  // True once the graph has shut down.
  bool StopStep();
  // Queues a buffer at the device again; a refusal ends the run with
  // SetupFailure.
  void Requeue(AudioBuffer* buffer);
  bool Stopping();
  void NoteSoundEncoded();
  // The file of a failed run whose encoder took no sound is removed.
  // True when it removed the file.
  bool RemoveFileWithoutSound();

  const RefPtr<WaveInDevice> m_device;
  RefPtr<AudioEncoder> m_head;  // guarded by m_lock
  const RefPtr<AudioEncoder> m_default;
  const RefPtr<FileWorker> m_fileWorker;
  InputLevel m_level;  // written on the master thread, read anywhere
  std::atomic<bool> m_metering{true};  // set by the owner, read on the master thread
  bool m_soundEncoded = false;    // guarded by m_lock: the encoder has taken captured sound in this run
  bool m_removedEmptyFile = false;  // guarded by m_lock
};

}  // namespace talvinor
