#include "platform/wave/WaveStream.h"

#include <system_error>

#include "platform/RecursiveLock.h"
#include "platform/Trace.h"

namespace talvinor {

WaveStream::WaveStream(std::unique_ptr<WaveEndpoint> endpoint, const WAVEFORMATEX& format,
                       uint32_t openMessage, uint32_t closeMessage)
    : m_endpoint(std::move(endpoint)),
      m_format(format),
      m_frameBytes(format.nBlockAlign),
      m_openMessage(openMessage),
      m_closeMessage(closeMessage) {}

WaveStream::~WaveStream() {
  // The thread holds a reference while it runs, so it has ended (or never
  // started) by the time the last reference goes; when that reference was
  // the thread's own, the thread cannot join itself.
  if (m_thread.joinable()) m_thread.detach();
}

bool WaveStream::Launch(uintptr_t handleValue) {
  if (!m_wake.IsValid()) return false;
  m_handleValue = handleValue;
  {
    Locker hold(&m_lock);
    QueueCallback(m_openMessage, 0);
  }
  try {
    // The thread's own reference, dropped as it ends.
    m_thread = std::thread([self = shared_from_this()] { self->ThreadMain(); });
  } catch (const std::system_error& e) {
    Trace("WaveStream::Launch - cannot start the device thread: %s\r\n", e.what());
    return false;
  }
  return true;
}

MMRESULT WaveStream::Close() {
  if (OnDeviceThread()) return MMSYSERR_HANDLEBUSY;
  {
    Locker hold(&m_lock);
    if (m_closing) return MMSYSERR_INVALHANDLE;
    if (HasQueuedHeaders()) return WAVERR_STILLPLAYING;
    m_closing = true;
  }
  m_wake.Signal();
  if (m_thread.joinable()) m_thread.join();
  Locker hold(&m_lock);
  m_endpoint.reset();  // closes the device
  return MMSYSERR_NOERROR;
}

void WaveStream::ThreadMain() {
  m_threadId = std::this_thread::get_id();
  m_lock.Lock();
  for (;;) {
    m_wake.Drain();
    while (!m_callbacks.empty()) {
      PendingCallback next = m_callbacks.front();
      m_callbacks.pop_front();
      m_lock.Unlock();
      Invoke(m_handleValue, next.message, next.param1);
      m_lock.Lock();
    }
    if (m_closing) break;
    Pump();
  }
  m_lock.Unlock();
  Invoke(m_handleValue, m_closeMessage, 0);
}

void WaveStream::QueueCallback(uint32_t message, uintptr_t param1) {
  m_callbacks.push_back({message, param1});
  if (!OnDeviceThread()) m_wake.Signal();
}

void WaveStream::WaitForWake(int timeoutMs) {
  pollfd fd{m_wake.Fd(), POLLIN, 0};
  PollReleasing(&m_lock, &fd, 1, timeoutMs);
}

MMRESULT WaveStream::CheckHeader(const WAVEHDR* header, uint32_t headerSize) {
  if (!header || headerSize != sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
  return MMSYSERR_NOERROR;
}

MMRESULT WaveStream::PrepareHeader(WAVEHDR* header, uint32_t headerSize) {
  if (MMRESULT r = CheckHeader(header, headerSize)) return r;
  if (!header->lpData && header->dwBufferLength > 0) return MMSYSERR_INVALPARAM;
  Locker hold(&m_lock);
  if (m_closing) return MMSYSERR_INVALHANDLE;
  header->dwFlags |= WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT WaveStream::UnprepareHeader(WAVEHDR* header, uint32_t headerSize) {
  if (MMRESULT r = CheckHeader(header, headerSize)) return r;
  Locker hold(&m_lock);
  if (m_closing) return MMSYSERR_INVALHANDLE;
  if (header->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
  header->dwFlags &= ~WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT WaveStream::GetPosition(MMTIME* time, uint32_t timeSize) {
  if (!time || timeSize < sizeof(MMTIME)) return MMSYSERR_INVALPARAM;
  uint64_t frames;
  {
    Locker hold(&m_lock);
    if (m_closing) return MMSYSERR_INVALHANDLE;
    frames = PositionFrames();
  }
  // The 32-bit answers wrap, as the handset's do.
  switch (time->wType) {
    case TIME_SAMPLES:
      time->u.sample = static_cast<uint32_t>(frames);
      break;
    case TIME_MS:
      time->u.ms = static_cast<uint32_t>(frames * 1000 / m_format.nSamplesPerSec);
      break;
    default:  // units a wave device cannot give are answered in bytes
      time->wType = TIME_BYTES;
      [[fallthrough]];
    case TIME_BYTES:
      time->u.cb = static_cast<uint32_t>(frames * m_frameBytes);
      break;
  }
  return MMSYSERR_NOERROR;
}

}  // namespace talvinor
