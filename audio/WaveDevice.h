#pragma once
#include <cstdint>
#include <vector>

#include "audio/MessageQueue.h"
#include "audio/WaveFormat.h"
#include "audio/WaveHeaderBuffer.h"
#include "core/CriticalSectionObject.h"
#include "platform/wave/WaveAudio.h"

namespace talvinor {

// How a wrapper lets go of its buffers.
enum class ReleaseMode {
  IfFree,  // only free buffers; a header the device will not unprepare stays listed
  Forced,  // every buffer whatever the device says (the device is reset first)
};

// The part the recording and playback wrappers of a wave device share: one
// open device, the buffers prepared for it, the queue its callbacks report
// to, and the format it was opened with.
//
// Two locks: the device lock serialises every call into the wave layer, the
// list lock guards the buffer list, the free flags and the reply queue. The
// device callback takes only the list lock, because closing a device waits
// for its last callbacks while the device lock is held. Order: device lock
// before list lock.
class WaveDevice : public RefObject {
 public:
  // Opens device `deviceId` with `format`; callbacks report to `replyQueue`.
  // Refused while a listed buffer is not free. Buffers of an earlier open
  // are released and a device still open is closed first.
  bool Open(uint32_t deviceId, const WaveFormat& format, RefPtr<MessageQueue> replyQueue);
  // A prepared buffer of `size` bytes, listed and free; null on failure.
  RefPtr<WaveHeaderBuffer> AllocateBuffer(uint32_t size);
  // Marks a listed buffer free; it stays prepared.
  void MarkFree(WaveHeaderBuffer* buffer);
  // Marks every listed buffer free: for a stop whose buffers can no longer
  // come back (they were dropped by a worker that failed). The number that
  // were not free.
  uint32_t MarkAllFree();
  // Unprepares and unlists `buffer`. IfFree: only when it is free, and it
  // stays listed when the device refuses to unprepare it.
  bool ReleaseBuffer(WaveHeaderBuffer* buffer, ReleaseMode mode);
  bool AllFree();
  uint32_t BufferCount();
  bool IsListed(const WaveHeaderBuffer* buffer);
  // Returns every queued buffer at once and sets the position to 0.
  bool ResetDevice();
  bool IsOpen();
  // Milliseconds captured or played since the open or the last reset (0
  // when closed or when the device cannot tell).
  uint32_t GetPositionMs();
  // Releases every buffer, then closes the device. IfFree does nothing while
  // a buffer is not free (WAVERR_STILLPLAYING). The device's own result
  // otherwise.
  MMRESULT CloseDevice(ReleaseMode mode);
  WaveFormat GetFormat();

  // Keeps a position that the device reports in 32 bits counting beyond the
  // wrap: successive readings are taken to be less than half the range
  // apart, so a reading a little lower than the last (sound dropped at a
  // stop) lowers the total instead of being taken for a wrap.
  struct PositionCounter {
    uint32_t unit = 0;   // wType of the last reading; 0: none since the last reset
    uint32_t last = 0;   // the last 32-bit reading
    uint64_t total = 0;  // the reading extended to 64 bits
    uint64_t Extend(uint32_t unitAnswered, uint32_t reading);
    void Clear() { *this = PositionCounter{}; }
  };

 protected:
  WaveDevice();
  ~WaveDevice() override;

  // The direction's wave functions; each is called with the device lock held.
  virtual bool HasHandle() const = 0;
  virtual MMRESULT OpenHandle(uint32_t deviceId, const WAVEFORMATEX& format) = 0;
  virtual MMRESULT CloseHandle() = 0;
  virtual MMRESULT PrepareHeader(WAVEHDR* header) = 0;
  virtual MMRESULT UnprepareHeader(WAVEHDR* header) = 0;
  virtual MMRESULT ResetHandle() = 0;
  virtual MMRESULT GetHandlePosition(MMTIME* time) = 0;
  // "waveIn" or "waveOut", for traces.
  virtual const char* FunctionPrefix() const = 0;

  // For the callbacks (list lock taken inside).
  RefPtr<MessageQueue> ReplyQueue();
  // The listed buffer whose header is `header` (null when none: the buffer
  // may have been released while its callback was on its way).
  RefPtr<WaveHeaderBuffer> FindListed(const WAVEHDR* header);
  // Marks the listed buffer of `header` free; false when it is not listed.
  bool MarkHeaderFree(const WAVEHDR* header);
  // Marks a listed buffer busy (queued at the device).
  bool MarkBusy(WaveHeaderBuffer* buffer);

  void TraceFailure(const char* function, MMRESULT result);

  RefPtr<CriticalSectionObject> m_deviceLock;
  RefPtr<CriticalSectionObject> m_listLock;

 private:
  bool AllFreeLocked();  // list lock held
  // Device lock held.
  bool ReleaseLocked(WaveHeaderBuffer* buffer, ReleaseMode mode);
  bool ReleaseAllLocked(ReleaseMode mode);

  std::vector<RefPtr<WaveHeaderBuffer>> m_buffers;  // guarded by m_listLock
  RefPtr<MessageQueue> m_replyQueue;                // guarded by m_listLock
  WaveFormat m_format;                              // guarded by m_deviceLock
  PositionCounter m_position;                       // guarded by m_deviceLock
};

}  // namespace talvinor
