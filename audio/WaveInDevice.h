#pragma once
#include <cstdint>

#include "audio/WaveDevice.h"

namespace talvinor {

// The recording master's wrapper of one wave input device. Filled buffers
// come back through the callback as InputBufferDone messages carrying the
// listed buffer, its valid part set to what was recorded; without a reply
// queue they are only marked free. A buffer stays not free from AddBuffer
// until the master marks it free, so it is never released while the encoder
// still reads it.
class WaveInDevice : public WaveDevice {
 public:
  WaveInDevice();

  // Queues a listed buffer for filling; false (and free again) on failure.
  bool AddBuffer(WaveHeaderBuffer* buffer);
  bool StartDevice();
  // Returns the partly filled buffer; empty ones stay queued.
  bool StopDevice();

 protected:
  // Closes the device forced: nothing may call back into a wrapper that is gone.
  ~WaveInDevice() override;

  bool HasHandle() const override { return m_handle != nullptr; }
  MMRESULT OpenHandle(uint32_t deviceId, const WAVEFORMATEX& format) override;
  MMRESULT CloseHandle() override;
  MMRESULT PrepareHeader(WAVEHDR* header) override;
  MMRESULT UnprepareHeader(WAVEHDR* header) override;
  MMRESULT ResetHandle() override;
  MMRESULT GetHandlePosition(MMTIME* time) override;
  const char* FunctionPrefix() const override { return "waveIn"; }

 private:
  static void Callback(HWAVEIN handle, uint32_t message, uintptr_t instance, uintptr_t param1, uintptr_t param2);
  void OnCallback(uint32_t message, const WAVEHDR* header);

  HWAVEIN m_handle = nullptr;  // guarded by m_deviceLock
};

}  // namespace talvinor
