#pragma once
#include <memory>
#include <vector>

#include "platform/wave/VirtualPacer.h"
#include "platform/wave/VirtualWaveBackend.h"

namespace talvinor {

// A virtual loudspeaker: accepts frames into a FIFO of the device's size
// and plays them at its pace, keeping what it played.
class VirtualOutputEndpoint : public WaveEndpoint {
 public:
  VirtualOutputEndpoint(const VirtualWaveDevice& device, const WAVEFORMATEX& format,
                        std::shared_ptr<VirtualWaveBackend::Record> record);

  bool Start() override;
  bool Drop() override;
  long Transfer(void* data, uint32_t frames) override;
  uint64_t Delay() override;
  void Wait(RecursiveLock* lock, int wakeFd, uint32_t wantFrames, int timeoutMs) override;
  bool Recover(long) override { return true; }

 private:
  uint64_t Queued() const { return (m_fifo.size() - m_head) / m_format.nBlockAlign; }
  // Plays what the time since the last call allows.
  void Play();
  void Emit(const uint8_t* data, uint64_t frames);

  const VirtualWaveDevice m_device;
  const WAVEFORMATEX m_format;
  const std::shared_ptr<VirtualWaveBackend::Record> m_record;
  const uint64_t m_fifoFrames;
  VirtualPacer m_pacer;
  bool m_running = false;
  bool m_ranDry = false;       // the FIFO emptied while playing
  std::vector<uint8_t> m_fifo;  // bytes from m_head on are waiting to play
  size_t m_head = 0;
};

}  // namespace talvinor
