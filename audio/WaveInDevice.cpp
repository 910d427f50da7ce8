#include "audio/WaveInDevice.h"

#include "audio/GraphMessage.h"
#include "core/ScopedLock.h"

namespace talvinor {

WaveInDevice::WaveInDevice() = default;

WaveInDevice::~WaveInDevice() { CloseDevice(ReleaseMode::Forced); }

MMRESULT WaveInDevice::OpenHandle(uint32_t deviceId, const WAVEFORMATEX& format) {
  if (m_handle) {
    MMRESULT r = waveInClose(m_handle);
    if (r != MMSYSERR_NOERROR) return r;
    m_handle = nullptr;
  }
  return waveInOpen(&m_handle, deviceId, &format, &WaveInDevice::Callback, reinterpret_cast<uintptr_t>(this),
                    CALLBACK_FUNCTION);
}

MMRESULT WaveInDevice::CloseHandle() {
  MMRESULT r = waveInClose(m_handle);
  if (r == MMSYSERR_NOERROR) m_handle = nullptr;
  return r;
}

MMRESULT WaveInDevice::PrepareHeader(WAVEHDR* header) { return waveInPrepareHeader(m_handle, header, sizeof *header); }

MMRESULT WaveInDevice::UnprepareHeader(WAVEHDR* header) {
  return waveInUnprepareHeader(m_handle, header, sizeof *header);
}

MMRESULT WaveInDevice::ResetHandle() { return waveInReset(m_handle); }

MMRESULT WaveInDevice::GetHandlePosition(MMTIME* time) { return waveInGetPosition(m_handle, time, sizeof *time); }

bool WaveInDevice::AddBuffer(WaveHeaderBuffer* buffer) {
  if (!buffer) return false;
  Locker device(m_deviceLock.Get());
  if (!m_handle || !MarkBusy(buffer)) return false;
  MMRESULT r = waveInAddBuffer(m_handle, buffer->Header(), sizeof(WAVEHDR));
  if (r == MMSYSERR_NOERROR) return true;
  TraceFailure("AddBuffer", r);
  MarkFree(buffer);
  return false;
}

bool WaveInDevice::StartDevice() {
  Locker device(m_deviceLock.Get());
  if (!m_handle) return false;
  MMRESULT r = waveInStart(m_handle);
  if (r != MMSYSERR_NOERROR) TraceFailure("Start", r);
  return r == MMSYSERR_NOERROR;
}

bool WaveInDevice::StopDevice() {
  Locker device(m_deviceLock.Get());
  if (!m_handle) return false;
  MMRESULT r = waveInStop(m_handle);
  if (r != MMSYSERR_NOERROR) TraceFailure("Stop", r);
  return r == MMSYSERR_NOERROR;
}

void WaveInDevice::Callback(HWAVEIN, uint32_t message, uintptr_t instance, uintptr_t param1, uintptr_t) {
  // No counted reference is taken here: the wrapper closes its device (which
  // waits for the last callback) before it goes, and a reference taken while
  // that close runs in its destructor would revive a dying object.
  reinterpret_cast<WaveInDevice*>(instance)->OnCallback(message, reinterpret_cast<const WAVEHDR*>(param1));
}

void WaveInDevice::OnCallback(uint32_t message, const WAVEHDR* header) {
  RefPtr<MessageQueue> reply = ReplyQueue();
  switch (message) {
    case WIM_OPEN:
      if (reply) reply->Post(MakeMessage<MessageKind::DeviceOpened>());
      break;
    case WIM_CLOSE:
      if (reply) reply->Post(MakeMessage<MessageKind::DeviceClosed>());
      break;
    case WIM_DATA: {
      if (!reply) {
        MarkHeaderFree(header);
        break;
      }
      RefPtr<WaveHeaderBuffer> buffer = FindListed(header);
      if (!buffer) break;
      buffer->SetValidLength(header->dwBytesRecorded);
      reply->Post(MakeMessage<MessageKind::InputBufferDone>(buffer));
      break;
    }
    default:
      break;
  }
}

}  // namespace talvinor
