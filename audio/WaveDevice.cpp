#include "audio/WaveDevice.h"

#include <algorithm>
#include <cstring>

#include "core/ScopedLock.h"
#include "platform/Trace.h"

namespace talvinor {

uint64_t WaveDevice::PositionCounter::Extend(uint32_t unitAnswered, uint32_t reading) {
  if (unit != unitAnswered) {
    unit = unitAnswered;
    total = reading;
  } else {
    int64_t step = static_cast<int32_t>(reading - last);
    total = step < 0 && static_cast<uint64_t>(-step) > total ? 0 : total + step;
  }
  last = reading;
  return total;
}

WaveDevice::WaveDevice()
    : m_deviceLock(Create<CriticalSectionObject>()), m_listLock(Create<CriticalSectionObject>()) {}

WaveDevice::~WaveDevice() = default;

void WaveDevice::TraceFailure(const char* function, MMRESULT result) {
  Trace("%s%s - failed: %s (%u)\r\n", FunctionPrefix(), function, WaveResultText(result), result);
}

bool WaveDevice::AllFreeLocked() {
  return std::all_of(m_buffers.begin(), m_buffers.end(), [](const auto& b) { return b->IsFree(); });
}

bool WaveDevice::AllFree() {
  Locker list(m_listLock.Get());
  return AllFreeLocked();
}

uint32_t WaveDevice::BufferCount() {
  Locker list(m_listLock.Get());
  return static_cast<uint32_t>(m_buffers.size());
}

bool WaveDevice::IsListed(const WaveHeaderBuffer* buffer) {
  Locker list(m_listLock.Get());
  return std::any_of(m_buffers.begin(), m_buffers.end(), [&](const auto& b) { return b.Get() == buffer; });
}

RefPtr<MessageQueue> WaveDevice::ReplyQueue() {
  Locker list(m_listLock.Get());
  return m_replyQueue;
}

RefPtr<WaveHeaderBuffer> WaveDevice::FindListed(const WAVEHDR* header) {
  Locker list(m_listLock.Get());
  for (const auto& b : m_buffers) {
    if (b->Header() == header) return b;
  }
  return nullptr;
}

bool WaveDevice::MarkHeaderFree(const WAVEHDR* header) {
  Locker list(m_listLock.Get());
  for (const auto& b : m_buffers) {
    if (b->Header() == header) {
      b->SetFree(true);
      return true;
    }
  }
  return false;
}

bool WaveDevice::MarkBusy(WaveHeaderBuffer* buffer) {
  Locker list(m_listLock.Get());
  for (const auto& b : m_buffers) {
    if (b.Get() == buffer) {
      b->SetFree(false);
      return true;
    }
  }
  return false;
}

void WaveDevice::MarkFree(WaveHeaderBuffer* buffer) {
  if (buffer) MarkHeaderFree(buffer->Header());
}

uint32_t WaveDevice::MarkAllFree() {
  Locker list(m_listLock.Get());
  uint32_t marked = 0;
  for (const auto& b : m_buffers) {
    marked += b->IsFree() ? 0 : 1;
    b->SetFree(true);
  }
  return marked;
}

WaveFormat WaveDevice::GetFormat() {
  Locker device(m_deviceLock.Get());
  return m_format;
}

bool WaveDevice::Open(uint32_t deviceId, const WaveFormat& format, RefPtr<MessageQueue> replyQueue) {
  Locker device(m_deviceLock.Get());
  if (!AllFree() || !ReleaseAllLocked(ReleaseMode::IfFree)) return false;
  if (HasHandle()) {
    MMRESULT r = CloseHandle();
    if (r != MMSYSERR_NOERROR) {
      TraceFailure("Close", r);
      return false;
    }
  }
  {
    Locker list(m_listLock.Get());
    m_replyQueue = std::move(replyQueue);
  }
  WAVEFORMATEX wfx;
  static_assert(sizeof wfx == sizeof format, "both formats are the 18-byte WAVEFORMATEX");
  std::memcpy(&wfx, &format, sizeof wfx);
  MMRESULT r = OpenHandle(deviceId, wfx);
  m_position.Clear();
  if (r == MMSYSERR_NOERROR) {
    m_format = format;
    return true;
  }
  // The wave layer has already traced the refusal with the format.
  Locker list(m_listLock.Get());
  m_replyQueue = nullptr;
  return false;
}

RefPtr<WaveHeaderBuffer> WaveDevice::AllocateBuffer(uint32_t size) {
  RefPtr<WaveHeaderBuffer> buffer = Create<WaveHeaderBuffer>();
  if (!buffer->AttachStorage(WAVEHDR{}, size)) return nullptr;
  Locker device(m_deviceLock.Get());
  if (!HasHandle()) return nullptr;
  MMRESULT r = PrepareHeader(buffer->Header());
  if (r != MMSYSERR_NOERROR) {
    TraceFailure("PrepareHeader", r);
    return nullptr;
  }
  Locker list(m_listLock.Get());
  m_buffers.push_back(buffer);
  return buffer;
}

bool WaveDevice::ReleaseBuffer(WaveHeaderBuffer* buffer, ReleaseMode mode) {
  Locker device(m_deviceLock.Get());
  return ReleaseLocked(buffer, mode);
}

bool WaveDevice::ReleaseLocked(WaveHeaderBuffer* buffer, ReleaseMode mode) {
  if (!buffer) return false;
  {
    Locker list(m_listLock.Get());
    auto it = std::find_if(m_buffers.begin(), m_buffers.end(), [&](const auto& b) { return b.Get() == buffer; });
    if (it == m_buffers.end()) return false;
    if (mode == ReleaseMode::IfFree && !buffer->IsFree()) return false;
  }
  if (HasHandle()) {
    MMRESULT r = UnprepareHeader(buffer->Header());
    if (r != MMSYSERR_NOERROR) {
      TraceFailure("UnprepareHeader", r);
      if (mode == ReleaseMode::IfFree && (buffer->Header()->dwFlags & WHDR_PREPARED)) return false;
    }
  }
  // Dropped outside the list lock: the buffer may be released here for good.
  RefPtr<WaveHeaderBuffer> dropped;
  Locker list(m_listLock.Get());
  auto it = std::find_if(m_buffers.begin(), m_buffers.end(), [&](const auto& b) { return b.Get() == buffer; });
  if (it != m_buffers.end()) {
    dropped = std::move(*it);
    m_buffers.erase(it);
  }
  return true;
}

bool WaveDevice::ReleaseAllLocked(ReleaseMode mode) {
  for (;;) {
    RefPtr<WaveHeaderBuffer> first;
    {
      Locker list(m_listLock.Get());
      if (m_buffers.empty()) return true;
      first = m_buffers.front();
    }
    // Stops at the first buffer that cannot be released.
    if (!ReleaseLocked(first.Get(), mode)) return false;
  }
}

bool WaveDevice::ResetDevice() {
  Locker device(m_deviceLock.Get());
  if (!HasHandle()) return false;
  MMRESULT r = ResetHandle();
  m_position.Clear();
  if (r != MMSYSERR_NOERROR) TraceFailure("Reset", r);
  return r == MMSYSERR_NOERROR;
}

bool WaveDevice::IsOpen() {
  Locker device(m_deviceLock.Get());
  return HasHandle();
}

uint32_t WaveDevice::GetPositionMs() {
  Locker device(m_deviceLock.Get());
  if (!HasHandle()) return 0;
  MMTIME time{};
  time.wType = TIME_BYTES;
  if (GetHandlePosition(&time) != MMSYSERR_NOERROR) return 0;
  uint64_t units;
  switch (time.wType) {
    case TIME_MS:
    case TIME_SAMPLES:
    case TIME_BYTES:
      units = m_position.Extend(time.wType, time.u.cb);
      break;
    default:
      return 0;
  }
  uint64_t ms;
  if (time.wType == TIME_MS) {
    ms = units;
  } else {
    uint64_t perSecond = time.wType == TIME_SAMPLES ? m_format.samplesPerSec : m_format.avgBytesPerSec;
    if (perSecond == 0) return 0;
    ms = units * 1000 / perSecond;
  }
  return static_cast<uint32_t>(ms);
}

MMRESULT WaveDevice::CloseDevice(ReleaseMode mode) {
  Locker device(m_deviceLock.Get());
  if (mode == ReleaseMode::IfFree && !AllFree()) return WAVERR_STILLPLAYING;
  // A forced close must not leave a header queued at the device while its
  // buffer goes away: the device would go on writing into freed memory.
  if (mode == ReleaseMode::Forced && HasHandle()) {
    MMRESULT r = ResetHandle();
    if (r != MMSYSERR_NOERROR) TraceFailure("Reset", r);
  }
  if (!ReleaseAllLocked(mode)) return WAVERR_STILLPLAYING;
  MMRESULT r = MMSYSERR_NOERROR;
  if (HasHandle()) {
    r = CloseHandle();
    if (r != MMSYSERR_NOERROR) {
      TraceFailure("Close", r);
      return r;
    }
  }
  m_position.Clear();
  Locker list(m_listLock.Get());
  m_replyQueue = nullptr;
  return r;
}

}  // namespace talvinor
