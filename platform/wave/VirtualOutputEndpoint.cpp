#include "platform/wave/VirtualOutputEndpoint.h"

#include <algorithm>

#include "platform/wave/WakeSignal.h"

namespace talvinor {

VirtualOutputEndpoint::VirtualOutputEndpoint(const VirtualWaveDevice& device, const WAVEFORMATEX& format,
                                             std::shared_ptr<VirtualWaveBackend::Record> record)
    : m_device(device),
      m_format(format),
      m_record(std::move(record)),
      m_fifoFrames(std::max<uint64_t>(1, static_cast<uint64_t>(format.nSamplesPerSec) * device.fifoMs / 1000)),
      m_pacer(format.nSamplesPerSec, device.pace) {}

bool VirtualOutputEndpoint::Start() {
  if (!m_running) {
    m_running = true;
    m_pacer.Restart();
  }
  return true;
}

bool VirtualOutputEndpoint::Drop() {
  m_running = false;
  m_ranDry = false;
  m_fifo.clear();
  m_head = 0;
  return true;
}

void VirtualOutputEndpoint::Emit(const uint8_t* data, uint64_t frames) {
  std::lock_guard hold(m_record->mutex);
  m_record->stats.frames += frames;
  if (m_device.keepPlayed) m_record->played.insert(m_record->played.end(), data, data + frames * m_format.nBlockAlign);
}

void VirtualOutputEndpoint::Play() {
  if (!m_running || m_pacer.Unpaced()) return;
  // Time with nothing to play is gone; it is not saved up for later.
  uint64_t frames = std::min(m_pacer.Take(), Queued());
  if (frames == 0) return;
  Emit(m_fifo.data() + m_head, frames);
  m_head += frames * m_format.nBlockAlign;
  if (m_head == m_fifo.size()) {
    m_fifo.clear();
    m_head = 0;
    m_ranDry = true;
  } else if (m_head > m_fifo.size() / 2) {
    m_fifo.erase(m_fifo.begin(), m_fifo.begin() + static_cast<std::ptrdiff_t>(m_head));
    m_head = 0;
  }
}

long VirtualOutputEndpoint::Transfer(void* data, uint32_t frames) {
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  if (m_pacer.Unpaced()) {
    Emit(bytes, frames);
    return static_cast<long>(frames);
  }
  Play();
  uint64_t count = std::min<uint64_t>(frames, m_fifoFrames - Queued());
  if (count == 0) return 0;
  if (m_ranDry) {
    std::lock_guard hold(m_record->mutex);
    ++m_record->stats.underruns;
    m_ranDry = false;
  }
  m_fifo.insert(m_fifo.end(), bytes, bytes + count * m_format.nBlockAlign);
  return static_cast<long>(count);
}

uint64_t VirtualOutputEndpoint::Delay() {
  Play();
  return Queued();
}

void VirtualOutputEndpoint::Wait(RecursiveLock* lock, int wakeFd, uint32_t wantFrames, int timeoutMs) {
  int wait = timeoutMs;
  if (wantFrames > 0) {
    int due = 0;
    if (!m_pacer.Unpaced() && m_running) {
      // Wake when there is room for the rest of the header or half the FIFO.
      Play();
      uint64_t room = m_fifoFrames - Queued();
      uint64_t target = std::min<uint64_t>(wantFrames, std::max<uint64_t>(1, m_fifoFrames / 2));
      due = room >= target ? 0 : m_pacer.MsUntil(target - room);
    } else if (!m_pacer.Unpaced()) {
      due = timeoutMs;  // a stopped device makes no room
    }
    wait = wait < 0 ? due : std::min(wait, due);
  }
  pollfd fd{wakeFd, POLLIN, 0};
  PollReleasing(lock, &fd, 1, wait);
}

}  // namespace talvinor
