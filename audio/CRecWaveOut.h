#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "audio/AudioSource.h"
#include "audio/FileWorker.h"
#include "audio/Master.h"
#include "audio/PlaybackFilter.h"
#include "audio/WaveOutDevice.h"

namespace talvinor {

// What the playback master does when its source reaches the end.
enum class EndOfStreamAction : uint32_t {
  Close = 0,  // play out what is queued (Draining), then close with reason 2
  Pause = 1,  // play out what is queued (EndPausing), then stay Paused, device open
};

// The playback master: its file worker reads the file for the source, the
// source decodes into the device buffers, the master runs the playback
// filters over each buffer and plays it on one wave output device.
//
// States: Opening, Running, Pausing, Paused, Resuming, EndPausing,
// Draining, Stopping, Closed. Every change is posted to the notice window.
class CRecWaveOut : public Master {
 public:
  static constexpr uint32_t kSmallestBuffer = 64;  // a source asking for less is refused (91)

  CRecWaveOut();

  // Device number, file and the source that reads it. Refused while running
  // or for an empty path or no source. The end of the stream then pauses
  // (EndOfStreamAction::Pause), as the player wants.
  bool Setup(uint32_t deviceId, const std::wstring& path, RefPtr<AudioSource> source);
  // Refused while running.
  bool SetEndOfStreamAction(EndOfStreamAction action);

  // Milliseconds into the stream: a pending seek target while not Running,
  // otherwise the source's base position plus what the device has played.
  // 0 while Closed.
  uint32_t GetPosition() override;
  uint32_t GetLength() override;
  // Hands the target to the source; it is carried out at the next start or
  // resume.
  bool Seek(uint32_t milliseconds) override;
  // Allowed while Running, Closed, Pausing, Paused or Resuming. A filter
  // added while the device is open is prepared at once; one added while
  // Closed when the next playback reaches Running. A null filter is refused.
  bool ClearFilters() override;
  bool AddFilter(RefPtr<PlaybackFilter> filter) override;
  uint32_t GetFilterCount();

  RefPtr<AudioSource> GetSource();
  RefPtr<WaveOutDevice> GetDevice() const { return m_device; }

 protected:
  ~CRecWaveOut() override = default;

  // Refused while Stopping or Draining, so the first reason stays. The end
  // of the stream drains or, with EndOfStreamAction::Pause, pauses at the
  // end; every other reason stops.
  StopPlan PlanStop(MasterState state, StopReason recorded, StopReason reason) override;
  // The pause, resume, stop and drain steps; Opening waits for the source.
  bool IsTransitional(MasterState state) override;
  // Opens the file for the source.
  void BeginRun() override;
  void Dispatch(GraphMessage* message) override;
  StepResult Step(MasterState state) override;
  // Closes the device when every buffer is back, then the source and the
  // file worker.
  void EndRun() override;

 private:
  void OnFormatReady();
  void OnPcm(AudioBuffer* buffer);
  // States Pausing and EndPausing.
  void PauseStep(MasterState state);
  void ResumeStep();
  // True once the graph has shut down. Draining lets the queued sound play.
  bool StopStep();
  bool DrainStep();
  // Releases the buffers and closes the device, forced when the device refuses.
  void CloseDevice();
  bool FilterStateAllowed(MasterState state);

  const RefPtr<WaveOutDevice> m_device;
  RefPtr<AudioSource> m_source;  // guarded by m_lock
  const RefPtr<AudioSource> m_default;
  const RefPtr<FileWorker> m_fileWorker;
  // The last counted member: released first at destruction.
  // The filters run on every played buffer under their own lock, so a
  // position or length asked meanwhile never waits behind them. Taken after
  // m_lock when both are held.
  RefPtr<CriticalSectionObject> m_filterLock;
  std::vector<RefPtr<PlaybackFilter>> m_filters;  // guarded by m_filterLock
  EndOfStreamAction m_endOfStream = EndOfStreamAction::Close;  // guarded by m_lock
};

}  // namespace talvinor
