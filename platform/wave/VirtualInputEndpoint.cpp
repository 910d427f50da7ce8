#include "platform/wave/VirtualInputEndpoint.h"

#include <algorithm>

#include "platform/wave/WakeSignal.h"

namespace talvinor {

VirtualInputEndpoint::VirtualInputEndpoint(const VirtualWaveDevice& device, const WAVEFORMATEX& format,
                                           std::shared_ptr<VirtualWaveBackend::Record> record)
    : m_device(device),
      m_format(format),
      m_record(std::move(record)),
      m_fifoFrames(std::max<uint64_t>(1, static_cast<uint64_t>(format.nSamplesPerSec) * device.fifoMs / 1000)),
      m_pacer(format.nSamplesPerSec, device.pace) {}

bool VirtualInputEndpoint::Start() {
  if (!m_running) {
    m_running = true;
    m_available = 0;
    m_pacer.Restart();
  }
  return true;
}

bool VirtualInputEndpoint::Drop() {
  // What was captured but not read is discarded; the signal goes on from
  // the last frame delivered, so a paused recording stays seamless.
  m_running = false;
  m_available = 0;
  return true;
}

void VirtualInputEndpoint::Capture() {
  if (!m_running || m_pacer.Unpaced()) return;
  m_available += m_pacer.Take();
  if (m_available > m_fifoFrames) {
    uint64_t lost = m_available - m_fifoFrames;
    m_nextFrame += lost;
    m_available = m_fifoFrames;
    std::lock_guard hold(m_record->mutex);
    ++m_record->stats.overruns;
    m_record->stats.lostFrames += lost;
  }
}

long VirtualInputEndpoint::Transfer(void* data, uint32_t frames) {
  if (!m_running) return 0;
  uint64_t count = frames;
  if (!m_pacer.Unpaced()) {
    Capture();
    count = std::min<uint64_t>(count, m_available);
    m_available -= count;
  }
  if (count == 0) return 0;
  VirtualWaveBackend::GenerateSignal(m_device, m_format, m_nextFrame, static_cast<uint32_t>(count), data);
  m_nextFrame += count;
  std::lock_guard hold(m_record->mutex);
  m_record->stats.frames += count;
  return static_cast<long>(count);
}

uint64_t VirtualInputEndpoint::Delay() {
  Capture();
  return m_available;
}

void VirtualInputEndpoint::Wait(RecursiveLock* lock, int wakeFd, uint32_t wantFrames, int timeoutMs) {
  int wait = timeoutMs;
  if (m_running && wantFrames > 0) {
    // Wake for a useful amount: the rest of the header or 10 ms of sound,
    // but well before the FIFO could overflow.
    uint64_t chunk = std::min<uint64_t>(m_format.nSamplesPerSec / 100, m_fifoFrames / 2);
    uint64_t target = std::min<uint64_t>(wantFrames, std::max<uint64_t>(1, chunk));
    Capture();
    int due = m_available >= target ? 0 : m_pacer.MsUntil(target - m_available);
    wait = wait < 0 ? due : std::min(wait, due);
  }
  pollfd fd{wakeFd, POLLIN, 0};
  PollReleasing(lock, &fd, 1, wait);
}

}  // namespace talvinor
