#include "platform/wave/WaveInStream.h"

#include <errno.h>

#include <algorithm>
#include <cstdint>

#include "platform/RecursiveLock.h"
#include "platform/Trace.h"

namespace talvinor {

WaveInStream::WaveInStream(std::unique_ptr<WaveEndpoint> endpoint, const WAVEFORMATEX& format,
                           WaveInProc callback, uintptr_t instance)
    : WaveStream(std::move(endpoint), format, WIM_OPEN, WIM_CLOSE), m_callback(callback), m_instance(instance) {}

void WaveInStream::Invoke(uintptr_t handle, uint32_t message, uintptr_t param1) {
  if (m_callback) m_callback(reinterpret_cast<HWAVEIN>(handle), message, m_instance, param1, 0);
}

MMRESULT WaveInStream::AddBuffer(WAVEHDR* header, uint32_t headerSize) {
  if (MMRESULT r = CheckHeader(header, headerSize)) return r;
  Locker hold(&m_lock);
  if (IsClosing()) return MMSYSERR_INVALHANDLE;
  if (!(header->dwFlags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
  if (header->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
  // A header that cannot hold one frame could never be returned full.
  if (!header->lpData || header->dwBufferLength < m_frameBytes) return MMSYSERR_INVALPARAM;
  header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
  header->dwBytesRecorded = 0;
  m_queue.push_back(header);
  m_wake.Signal();
  return MMSYSERR_NOERROR;
}

MMRESULT WaveInStream::Start() {
  Locker hold(&m_lock);
  if (IsClosing()) return MMSYSERR_INVALHANDLE;
  if (m_state == InputState::Failed) return MMSYSERR_ERROR;
  if (m_state == InputState::Started) return MMSYSERR_NOERROR;
  if (!m_endpoint->Start()) return MMSYSERR_ERROR;
  m_state = InputState::Started;
  m_wake.Signal();
  return MMSYSERR_NOERROR;
}

MMRESULT WaveInStream::Stop() {
  Locker hold(&m_lock);
  if (IsClosing()) return MMSYSERR_INVALHANDLE;
  if (m_state == InputState::Started) {
    FlushCaptured();
    m_endpoint->Drop();
    m_state = InputState::Stopped;
  }
  if (!m_queue.empty() && m_queue.front()->dwBytesRecorded > 0) CompleteFront();
  return MMSYSERR_NOERROR;
}

void WaveInStream::FlushCaptured() {
  // What the device captured up to now belongs to the recording: move it
  // into the headers before the device lets go of it.
  for (uint64_t held = m_endpoint->Delay(); held > 0 && !m_queue.empty();) {
    long moved = Fill(held);
    if (moved <= 0) break;
    held -= std::min<uint64_t>(held, static_cast<uint64_t>(moved));
  }
}

MMRESULT WaveInStream::Reset() {
  Locker hold(&m_lock);
  if (IsClosing()) return MMSYSERR_INVALHANDLE;
  if (m_state == InputState::Started) {
    FlushCaptured();
    m_endpoint->Drop();
  }
  if (m_state != InputState::Failed) m_state = InputState::Stopped;
  while (!m_queue.empty()) CompleteFront();
  m_framesCaptured = 0;
  return MMSYSERR_NOERROR;
}

uint64_t WaveInStream::PositionFrames() {
  if (m_state != InputState::Started) return m_framesCaptured;
  return m_framesCaptured + m_endpoint->Delay();
}

void WaveInStream::CompleteFront() {
  WAVEHDR* header = m_queue.front();
  m_queue.pop_front();
  header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
  QueueCallback(WIM_DATA, reinterpret_cast<uintptr_t>(header));
}

long WaveInStream::Fill(uint64_t maxFrames) {
  WAVEHDR* header = m_queue.front();
  uint32_t capacity = header->dwBufferLength / m_frameBytes;
  uint32_t filled = header->dwBytesRecorded / m_frameBytes;
  uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(capacity - filled, maxFrames));
  long moved = m_endpoint->Transfer(header->lpData + header->dwBytesRecorded, want);
  if (moved > 0) {
    header->dwBytesRecorded += static_cast<uint32_t>(moved) * m_frameBytes;
    m_framesCaptured += static_cast<uint64_t>(moved);
    if (filled + static_cast<uint32_t>(moved) >= capacity) CompleteFront();
  }
  return moved;
}

void WaveInStream::Pump() {
  if (m_state != InputState::Started || m_queue.empty()) {
    WaitForWake(-1);
    return;
  }
  long moved = Fill(UINT32_MAX);
  if (moved > 0) return;
  if (moved == 0 || moved == -EAGAIN) {
    const WAVEHDR* header = m_queue.front();
    uint32_t room = (header->dwBufferLength - header->dwBytesRecorded) / m_frameBytes;
    // Bounded, so a device that never becomes ready cannot stall a stop.
    m_endpoint->Wait(&m_lock, m_wake.Fd(), room, 1000);
    return;
  }
  if (!m_endpoint->Recover(moved)) {
    Trace("WaveInStream - the input device failed (%ld); capture ends\r\n", moved);
    m_state = InputState::Failed;
  }
}

}  // namespace talvinor
