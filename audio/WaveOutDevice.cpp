#include "audio/WaveOutDevice.h"

#include "audio/GraphMessage.h"
#include "core/ScopedLock.h"

namespace talvinor {

WaveOutDevice::WaveOutDevice() = default;

WaveOutDevice::~WaveOutDevice() { CloseDevice(ReleaseMode::Forced); }

MMRESULT WaveOutDevice::OpenHandle(uint32_t deviceId, const WAVEFORMATEX& format) {
  if (m_handle) {
    MMRESULT r = waveOutClose(m_handle);
    if (r != MMSYSERR_NOERROR) return r;
    m_handle = nullptr;
  }
  m_paused = false;
  return waveOutOpen(&m_handle, deviceId, &format, &WaveOutDevice::Callback, reinterpret_cast<uintptr_t>(this),
                     CALLBACK_FUNCTION);
}

MMRESULT WaveOutDevice::CloseHandle() {
  MMRESULT r = waveOutClose(m_handle);
  if (r == MMSYSERR_NOERROR) {
    m_handle = nullptr;
    m_paused = false;
  }
  return r;
}

MMRESULT WaveOutDevice::PrepareHeader(WAVEHDR* header) {
  return waveOutPrepareHeader(m_handle, header, sizeof *header);
}

MMRESULT WaveOutDevice::UnprepareHeader(WAVEHDR* header) {
  return waveOutUnprepareHeader(m_handle, header, sizeof *header);
}

MMRESULT WaveOutDevice::ResetHandle() { return waveOutReset(m_handle); }

MMRESULT WaveOutDevice::GetHandlePosition(MMTIME* time) { return waveOutGetPosition(m_handle, time, sizeof *time); }

bool WaveOutDevice::Write(WaveHeaderBuffer* buffer) {
  if (!buffer) return false;
  Locker device(m_deviceLock.Get());
  if (!m_handle || !MarkBusy(buffer)) return false;
  WAVEHDR* header = buffer->Header();
  header->lpData = reinterpret_cast<char*>(buffer->Data());
  header->dwBufferLength = buffer->Length();
  MMRESULT r = waveOutWrite(m_handle, header, sizeof *header);
  if (r == MMSYSERR_NOERROR) return true;
  TraceFailure("Write", r);
  MarkFree(buffer);
  return false;
}

bool WaveOutDevice::PauseDevice() {
  Locker device(m_deviceLock.Get());
  if (!m_handle) return false;
  MMRESULT r = waveOutPause(m_handle);
  if (r != MMSYSERR_NOERROR) {
    TraceFailure("Pause", r);
    return false;
  }
  m_paused = true;
  return true;
}

bool WaveOutDevice::RestartDevice() {
  Locker device(m_deviceLock.Get());
  if (!m_handle) return false;
  MMRESULT r = waveOutRestart(m_handle);
  if (r != MMSYSERR_NOERROR) {
    TraceFailure("Restart", r);
    return false;
  }
  m_paused = false;
  return true;
}

bool WaveOutDevice::IsPaused() {
  Locker device(m_deviceLock.Get());
  return m_handle && m_paused;
}

void WaveOutDevice::Callback(HWAVEOUT, uint32_t message, uintptr_t instance, uintptr_t param1, uintptr_t) {
  // No counted reference here, for the reason given in WaveInDevice.
  reinterpret_cast<WaveOutDevice*>(instance)->OnCallback(message, reinterpret_cast<const WAVEHDR*>(param1));
}

void WaveOutDevice::OnCallback(uint32_t message, const WAVEHDR* header) {
  RefPtr<MessageQueue> reply = ReplyQueue();
  switch (message) {
    case WOM_OPEN:
      if (reply) reply->Post(MakeMessage<MessageKind::OutputOpened>());
      break;
    case WOM_CLOSE:
      if (reply) reply->Post(MakeMessage<MessageKind::OutputClosed>());
      break;
    case WOM_DONE: {
      RefPtr<WaveHeaderBuffer> buffer = FindListed(header);
      if (!buffer) break;
      MarkHeaderFree(header);
      if (reply) reply->Post(MakeMessage<MessageKind::OutputBufferDone>(buffer));
      break;
    }
    default:
      break;
  }
}

}  // namespace talvinor
