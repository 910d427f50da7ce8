#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "audio/AudioSource.h"
#include "audio/FileWorker.h"
#include "audio/Master.h"
#include "audio/WaveOutDevice.h"
#include "codec/PlaybackFilter.h"

namespace talvinor {

// What the playback master does when its source reaches the end (flags bit 0).
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
  // or for an empty path or no source. Sets flags bit 0: the end of the
  // stream pauses (EndOfStreamAction::Pause).
  bool Setup(uint32_t deviceId, const std::wstring& path, RefPtr<AudioSource> source);
  // Flags bit 0; refused while running.
  bool SetEndOfStreamAction(EndOfStreamAction action);

  bool Start() override;
  bool Close() override;
  // Running -> Pausing only; Paused -> Resuming only.
  bool Pause() override;
  bool Resume() override;
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
  // Closed when the next playback reaches Running. `filter` must be a
  // PlaybackFilter.
  bool ClearFilters() override;
  bool AddFilter(RefPtr<RefObject> filter) override;
  uint32_t GetFilterCount();
  // Ignored while Stopping, Draining or Closed, so the first reason stays.
  // Reason 2 drains or, with flags bit 0, pauses at the end.
  bool StopWithReason(uint32_t timeoutMs, StopReason reason) override;
  uint32_t Run() override;

  RefPtr<AudioSource> GetSource();
  RefPtr<WaveOutDevice> GetDevice() const { return m_device; }

 protected:
  ~CRecWaveOut() override;

 private:
  void Dispatch(GraphMessage* message);
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
  void Teardown();
  bool FilterStateAllowed(MasterState state);
  // True once no run is in progress (a run that has posted Closed is waited for).
  bool RunEnded();

  const RefPtr<WaveOutDevice> m_device;
  RefPtr<AudioSource> m_source;  // guarded by m_lock
  const RefPtr<AudioSource> m_default;
  const RefPtr<FileWorker> m_fileWorker;
  std::vector<RefPtr<PlaybackFilter>> m_filters;  // guarded by m_lock
};

}  // namespace talvinor
