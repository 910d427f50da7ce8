#pragma once
#include <memory>

#include "platform/wave/VirtualPacer.h"
#include "platform/wave/VirtualWaveBackend.h"

namespace talvinor {

// A virtual microphone: captures the device's signal at its pace into a
// FIFO of the device's size, from which the headers are filled.
class VirtualInputEndpoint : public WaveEndpoint {
 public:
  VirtualInputEndpoint(const VirtualWaveDevice& device, const WAVEFORMATEX& format,
                       std::shared_ptr<VirtualWaveBackend::Record> record);

  bool Start() override;
  bool Drop() override;
  long Transfer(void* data, uint32_t frames) override;
  uint64_t Delay() override;
  void Wait(RecursiveLock* lock, int wakeFd, uint32_t wantFrames, int timeoutMs) override;
  bool Recover(long) override { return true; }

 private:
  // Moves the captured-but-unread count forward to now; an overflowing FIFO
  // loses its oldest frames.
  void Capture();

  const VirtualWaveDevice m_device;
  const WAVEFORMATEX m_format;
  const std::shared_ptr<VirtualWaveBackend::Record> m_record;
  const uint64_t m_fifoFrames;
  VirtualPacer m_pacer;
  bool m_running = false;
  uint64_t m_available = 0;  // captured, not read yet
  uint64_t m_nextFrame = 0;  // signal frame the next read starts at
};

}  // namespace talvinor
