#include "platform/wave/WaveOutStream.h"

#include <errno.h>

#include <algorithm>

#include "platform/RecursiveLock.h"
#include "platform/Trace.h"

namespace talvinor {

WaveOutStream::WaveOutStream(std::unique_ptr<WaveEndpoint> endpoint, const WAVEFORMATEX& format,
                             WaveOutProc callback, uintptr_t instance)
    : WaveStream(std::move(endpoint), format, WOM_OPEN, WOM_CLOSE), m_callback(callback), m_instance(instance) {}

void WaveOutStream::Invoke(uintptr_t handle, uint32_t message, uintptr_t param1) {
  if (m_callback) m_callback(reinterpret_cast<HWAVEOUT>(handle), message, m_instance, param1, 0);
}

MMRESULT WaveOutStream::Write(WAVEHDR* header, uint32_t headerSize) {
  if (MMRESULT r = CheckHeader(header, headerSize)) return r;
  Locker hold(&m_lock);
  if (IsClosing()) return MMSYSERR_INVALHANDLE;
  if (!(header->dwFlags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
  if (header->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
  if (!header->lpData && header->dwBufferLength > 0) return MMSYSERR_INVALPARAM;
  header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
  // A trailing partial frame cannot be played and is left out.
  m_queue.push_back({header, header->dwBufferLength / m_frameBytes, 0, false, 0});
  if (m_state == OutputState::Failed) {
    CompleteFront();
    return MMSYSERR_NOERROR;
  }
  m_wake.Signal();
  return MMSYSERR_NOERROR;
}

MMRESULT WaveOutStream::Pause() {
  Locker hold(&m_lock);
  if (IsClosing()) return MMSYSERR_INVALHANDLE;
  if (m_state != OutputState::Playing) return MMSYSERR_NOERROR;
  // Not every ALSA device can pause, so a pause drops what the device holds
  // and rewinds the headers to the first frame not played yet.
  uint64_t played = PlayedFrames();
  m_endpoint->Drop();
  for (Entry& entry : m_queue) {
    if (!entry.begun) continue;
    uint64_t done = played > entry.start ? std::min<uint64_t>(played - entry.start, entry.frames) : 0;
    entry.written = static_cast<uint32_t>(done);
    // Headers that had not started playing go out again from `played`.
    entry.begun = entry.start <= played;
  }
  m_framesWritten = played;
  CompletePlayed(played);
  m_state = OutputState::Paused;
  return MMSYSERR_NOERROR;
}

MMRESULT WaveOutStream::Restart() {
  Locker hold(&m_lock);
  if (IsClosing()) return MMSYSERR_INVALHANDLE;
  if (m_state == OutputState::Paused) {
    m_state = OutputState::Playing;
    m_wake.Signal();
  }
  return MMSYSERR_NOERROR;
}

MMRESULT WaveOutStream::Reset() {
  Locker hold(&m_lock);
  if (IsClosing()) return MMSYSERR_INVALHANDLE;
  if (m_state == OutputState::Playing) m_endpoint->Drop();
  while (!m_queue.empty()) CompleteFront();
  m_framesWritten = 0;
  return MMSYSERR_NOERROR;
}

uint64_t WaveOutStream::PositionFrames() { return PlayedFrames(); }

uint64_t WaveOutStream::PlayedFrames() {
  if (m_state != OutputState::Playing) return m_framesWritten;
  uint64_t pending = m_endpoint->Delay();
  return m_framesWritten > pending ? m_framesWritten - pending : 0;
}

void WaveOutStream::CompleteFront() {
  WAVEHDR* header = m_queue.front().header;
  m_queue.pop_front();
  header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
  QueueCallback(WOM_DONE, reinterpret_cast<uintptr_t>(header));
}

void WaveOutStream::CompletePlayed(uint64_t played) {
  while (!m_queue.empty()) {
    const Entry& front = m_queue.front();
    if (!front.begun || front.written < front.frames || front.start + front.frames > played) break;
    CompleteFront();
  }
}

void WaveOutStream::Fail(long error) {
  Trace("WaveOutStream - the output device failed (%ld); queued headers are returned unplayed\r\n", error);
  m_state = OutputState::Failed;
  while (!m_queue.empty()) CompleteFront();
}

void WaveOutStream::Pump() {
  if (m_state != OutputState::Playing) {
    WaitForWake(-1);
    return;
  }
  size_t before = m_queue.size();
  CompletePlayed(PlayedFrames());
  if (m_queue.size() != before) return;  // deliver the callbacks first

  // The first header with frames still to go out.
  Entry* cursor = nullptr;
  for (Entry& entry : m_queue) {
    if (!entry.begun) {
      entry.begun = true;
      entry.start = m_framesWritten;
    }
    if (entry.written < entry.frames) {
      cursor = &entry;
      break;
    }
  }
  if (cursor) {
    long moved = m_endpoint->Transfer(cursor->header->lpData + static_cast<size_t>(cursor->written) * m_frameBytes,
                                      cursor->frames - cursor->written);
    if (moved > 0) {
      cursor->written += static_cast<uint32_t>(moved);
      m_framesWritten += static_cast<uint64_t>(moved);
      return;
    }
    if (moved < 0 && moved != -EAGAIN) {
      if (!m_endpoint->Recover(moved)) Fail(moved);
      return;
    }
    // The device is full: it must be playing, then wait for room.
    m_endpoint->Start();
    m_endpoint->Wait(&m_lock, m_wake.Fd(), cursor->frames - cursor->written, 200);
    return;
  }
  if (m_queue.empty()) {
    WaitForWake(-1);
    return;
  }
  // Everything is at the device: let it play and come back when the oldest
  // header should be done.
  m_endpoint->Start();
  const Entry& front = m_queue.front();
  uint64_t played = PlayedFrames();
  uint64_t left = front.start + front.frames > played ? front.start + front.frames - played : 0;
  uint64_t ms = left * 1000 / m_format.nSamplesPerSec + 1;
  m_endpoint->Wait(&m_lock, m_wake.Fd(), 0, static_cast<int>(std::clamp<uint64_t>(ms, 1, 100)));
}

}  // namespace talvinor
