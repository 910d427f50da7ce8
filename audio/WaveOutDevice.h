#pragma once
#include <cstdint>

#include "audio/WaveDevice.h"

namespace talvinor {

// The playback master's wrapper of one wave output device. A buffer is free
// while it is not queued at the device: Write marks it busy and the device's
// WOM_DONE marks it free again before OutputBufferDone reaches the master,
// so a buffer that sits with the source is never counted as playing.
class WaveOutDevice : public WaveDevice {
 public:
  WaveOutDevice();

  // Queues the valid part of a listed buffer for playing; false (and free
  // again) on failure.
  bool Write(WaveHeaderBuffer* buffer);
  // True when nothing written is still waiting to be played.
  bool NoneQueued() { return AllFree(); }
  // Pausing keeps every queued buffer; Restart plays on.
  bool PauseDevice();
  bool RestartDevice();
  // Paused by PauseDevice and not restarted since (a reset keeps it paused).
  bool IsPaused();

 protected:
  ~WaveOutDevice() override;

  bool HasHandle() const override { return m_handle != nullptr; }
  MMRESULT OpenHandle(uint32_t deviceId, const WAVEFORMATEX& format) override;
  MMRESULT CloseHandle() override;
  MMRESULT PrepareHeader(WAVEHDR* header) override;
  MMRESULT UnprepareHeader(WAVEHDR* header) override;
  MMRESULT ResetHandle() override;
  MMRESULT GetHandlePosition(MMTIME* time) override;
  const char* FunctionPrefix() const override { return "waveOut"; }

 private:
  static void Callback(HWAVEOUT handle, uint32_t message, uintptr_t instance, uintptr_t param1, uintptr_t param2);
  void OnCallback(uint32_t message, const WAVEHDR* header);

  HWAVEOUT m_handle = nullptr;  // guarded by m_deviceLock
  bool m_paused = false;        // guarded by m_deviceLock
};

}  // namespace talvinor
