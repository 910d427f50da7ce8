#pragma once
#include <atomic>
#include <memory>
#include <thread>

#include "platform/RecursiveLock.h"
#include "platform/RingQueue.h"
#include "platform/wave/WakeSignal.h"
#include "platform/wave/WaveEndpoint.h"

namespace talvinor {

// One open device: the caller-facing header queue in front of a backend's
// endpoint, with the device thread that moves frames and delivers the
// callbacks. WaveInStream and WaveOutStream add the direction's rules.
//
// Every field below is guarded by m_lock unless it says otherwise; the
// device thread holds m_lock except while it blocks or runs a callback.
// Streams are shared: the handle table and the running device thread each
// hold one, so a close racing with another call never frees a stream in use.
class WaveStream : public std::enable_shared_from_this<WaveStream> {
 public:
  // Starts the device thread, which delivers the open callback first.
  // `handleValue` is the id callbacks report as their handle.
  bool Launch(uintptr_t handleValue);
  // Ends the device thread after it has delivered every pending callback
  // and the close callback, then closes the endpoint. WAVERR_STILLPLAYING
  // while a header is queued; MMSYSERR_HANDLEBUSY from a callback.
  MMRESULT Close();

  MMRESULT PrepareHeader(WAVEHDR* header, uint32_t headerSize);
  MMRESULT UnprepareHeader(WAVEHDR* header, uint32_t headerSize);
  MMRESULT GetPosition(MMTIME* time, uint32_t timeSize);

 protected:
  WaveStream(std::unique_ptr<WaveEndpoint> endpoint, const WAVEFORMATEX& format, uint32_t openMessage,
             uint32_t closeMessage);
  virtual ~WaveStream();

  // One step of the device thread with m_lock held: move frames, complete
  // headers or wait (releasing the lock) when nothing can be done now.
  virtual void Pump() = 0;
  // True while a header is queued at the device. Expects m_lock held.
  virtual bool HasQueuedHeaders() const = 0;
  // Frames captured or played since the open or the last reset. Expects
  // m_lock held.
  virtual uint64_t PositionFrames() = 0;
  // Calls the caller's procedure; runs on the device thread without m_lock.
  virtual void Invoke(uintptr_t handle, uint32_t message, uintptr_t param1) = 0;

  // Expects m_lock held: the device thread delivers it after the earlier ones.
  void QueueCallback(uint32_t message, uintptr_t param1);
  // Waits on the wake signal alone; expects m_lock held once.
  void WaitForWake(int timeoutMs);
  bool IsClosing() const { return m_closing; }
  bool OnDeviceThread() const { return std::this_thread::get_id() == m_threadId.load(); }
  static MMRESULT CheckHeader(const WAVEHDR* header, uint32_t headerSize);

  RecursiveLock m_lock;
  WakeSignal m_wake;                       // thread-safe
  std::unique_ptr<WaveEndpoint> m_endpoint;  // guarded by m_lock
  const WAVEFORMATEX m_format;             // fixed at open
  const uint32_t m_frameBytes;             // nBlockAlign, fixed at open

 private:
  struct PendingCallback {
    uint32_t message;
    uintptr_t param1;
  };
  void ThreadMain();

  const uint32_t m_openMessage;
  const uint32_t m_closeMessage;
  uintptr_t m_handleValue = 0;            // set before the thread starts
  RingQueue<PendingCallback> m_callbacks;  // guarded by m_lock
  bool m_closing = false;                 // guarded by m_lock
  std::thread m_thread;                   // touched by Launch and Close only
  std::atomic<std::thread::id> m_threadId{};
};

}  // namespace talvinor
