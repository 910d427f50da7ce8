#include "audio/CRecWaveIn.h"

#include "audio/NullEncoder.h"
#include "core/ScopedLock.h"
#include "platform/Trace.h"

namespace talvinor {

namespace {
constexpr uint32_t kTransitionalWaitMs = 3;
constexpr uint32_t kIdleWaitMs = 1000;
constexpr uint32_t kCloseWaitMs = 3000;

bool IsTransitional(MasterState s) {
  return s == MasterState::Opening || s == MasterState::Pausing || s == MasterState::Resuming ||
         s == MasterState::Stopping;
}
}  // namespace

CRecWaveIn::CRecWaveIn()
    : m_device(Create<WaveInDevice>()), m_default(Create<NullEncoder>()), m_fileWorker(Create<FileWorker>()) {
  m_head = m_default;
}

CRecWaveIn::~CRecWaveIn() {
  if (IsRunning()) {
    StopWithReason(0, StopReason::ByOwner);
    SignalWake();
    Wait(kCloseWaitMs);
  }
}

bool CRecWaveIn::Setup(uint32_t deviceId, const std::wstring& path, RefPtr<AudioEncoder> encoder) {
  if (!RunEnded() || path.empty() || !encoder) return false;
  Locker lock(m_lock.Get());
  SetDeviceId(deviceId);
  SetFileNames(path, L"");
  m_head = std::move(encoder);
  SetFlags(0);
  return true;
}

RefPtr<AudioEncoder> CRecWaveIn::GetEncoder() {
  Locker lock(m_lock.Get());
  return m_head;
}

bool CRecWaveIn::RunEnded() {
  if (!IsRunning()) return true;
  return GetState() == MasterState::Closed && Wait(kCloseWaitMs) && !IsRunning();
}

bool CRecWaveIn::Start() {
  if (!RunEnded()) return false;
  // Opening is entered here rather than on the new thread, so a Close that
  // follows Start at once always finds a run to stop.
  SetState(MasterState::Opening);
  if (Master::Start()) return true;
  StoreStopReason(StopReason::SetupFailure);
  SetStateIf(MasterState::Opening, MasterState::Closed);
  return false;
}

bool CRecWaveIn::Close() {
  if (!IsRunning()) return false;
  StopWithReason(0, StopReason::ByOwner);
  SignalWake();
  return Wait(kCloseWaitMs);
}

bool CRecWaveIn::Pause() {
  if (!SetStateIf(MasterState::Running, MasterState::Pausing)) return false;
  SignalWake();
  return true;
}

bool CRecWaveIn::Resume() {
  if (!SetStateIf(MasterState::Paused, MasterState::Resuming)) return false;
  SignalWake();
  return true;
}

uint32_t CRecWaveIn::GetPosition() {
  Locker lock(m_lock.Get());
  if (GetState() == MasterState::Closed) return 0;
  return m_device->GetPositionMs();
}

bool CRecWaveIn::StopWithReason(uint32_t timeoutMs, StopReason reason) {
  {
    Locker lock(m_lock.Get());
    MasterState state = GetState();
    if (state == MasterState::Closed) return false;
    if (state != MasterState::Stopping) {
      StoreStopReason(reason);
      SetState(MasterState::Stopping);
    } else if (GetStopReason() == StopReason::ByOwner && reason != StopReason::ByOwner) {
      StoreStopReason(reason);
    }
  }
  LockState();
  RequestStop();
  UnlockState();
  return Wait(timeoutMs);
}

bool CRecWaveIn::Stopping() { return IsStopRequested() || GetState() == MasterState::Stopping; }

uint32_t CRecWaveIn::Run() {
  SetStateIf(MasterState::Closed, MasterState::Opening);
  for (;;) {
    if (RefPtr<GraphMessage> message = Inbox()->Pop()) {
      Dispatch(message.Get());
    } else {
      WaitForMessage(IsTransitional(GetState()) ? kTransitionalWaitMs : kIdleWaitMs);
    }
    switch (GetState()) {
      case MasterState::Opening:
        if (GetStepFlag() == 0) {
          SetStepFlag(1);
          StopReason reason = OpenGraph();
          if (reason == StopReason::None && !m_device->StartDevice()) reason = StopReason::DeviceFailure;
          if (reason != StopReason::None) {
            StopWithReason(0, reason);
          } else {
            SetStateIf(MasterState::Opening, MasterState::Running);
          }
        }
        break;
      case MasterState::Running:
      case MasterState::Paused:
        break;
      case MasterState::Pausing:
        PauseStep();
        break;
      case MasterState::Resuming:
        if (m_device->StartDevice()) {
          SetStateIf(MasterState::Resuming, MasterState::Running);
        } else {
          StopWithReason(0, StopReason::DeviceFailure);
        }
        break;
      case MasterState::Stopping:
        if (StopStep()) {
          Teardown();
          return 0;
        }
        break;
      default:
        StopWithReason(0, StopReason::BadState);
        break;
    }
  }
}

StopReason CRecWaveIn::OpenGraph() {
  std::wstring path;
  GetFileName(&path);
  if (!m_fileWorker->Open(path, FileWorkerMode::CreateNew, Inbox())) return StopReason::SetupFailure;
  RefPtr<AudioEncoder> encoder = GetEncoder();
  if (!encoder->Connect(Inbox())) return StopReason::SetupFailure;
  WaveFormat format;
  encoder->GetFormat(&format);
  SetFormatLocked(format);
  if (!m_device->Open(GetDeviceId(), format, Inbox())) return StopReason::DeviceFailure;
  uint32_t size = format.bitsPerSample > 8 ? kBufferBytes16 : kBufferBytes8;
  for (uint32_t i = 0; i < kDeviceBufferCount; ++i) {
    RefPtr<WaveHeaderBuffer> buffer = m_device->AllocateBuffer(size);
    if (!buffer || !m_device->AddBuffer(buffer.Get())) return StopReason::SetupFailure;
  }
  return StopReason::None;
}

void CRecWaveIn::Requeue(AudioBuffer* buffer) {
  RefPtr<WaveHeaderBuffer> device = QueryAs<WaveHeaderBuffer>(buffer);
  if (!device || !m_device->IsListed(device.Get())) return;  // not one of this run's buffers
  if (Stopping()) {
    m_device->MarkFree(device.Get());
  } else if (!m_device->AddBuffer(device.Get())) {
    StopWithReason(0, StopReason::SetupFailure);
  }
}

void CRecWaveIn::Dispatch(GraphMessage* message) {
  RefPtr<AudioEncoder> encoder = GetEncoder();
  RefPtr<AudioBuffer> buffer = message->Buffer();
  switch (message->Kind()) {
    case MessageKind::Abort:
      StopWithReason(0, StopReasonFromCode(message->First()));
      break;
    case MessageKind::InputBufferDone:
      if (!buffer) break;
      // Recorded sound is encoded even while stopping: the reset returns the
      // last partly filled buffer, and that sound belongs to the recording.
      if (buffer->Length() != 0 && encoder->QueueInput(buffer)) break;
      Requeue(buffer.Get());
      break;
    case MessageKind::InputConsumed:
      if (buffer) Requeue(buffer.Get());
      break;
    case MessageKind::EncodedData:
      if (!buffer) break;
      if (buffer->Length() != 0 && m_fileWorker->PostWrite(buffer, message->First())) break;
      encoder->ReturnBuffer(buffer);
      break;
    case MessageKind::BlockWritten:
      if (buffer) encoder->ReturnBuffer(buffer);
      break;
    case MessageKind::DeviceOpened:
    case MessageKind::DeviceClosed:
    default:
      break;
  }
}

void CRecWaveIn::PauseStep() {
  if (GetStepFlag() == 0) {
    m_device->StopDevice();
    SetStepFlag(1);
    return;
  }
  // What the stop returned is encoded and written before the pause shows.
  RefPtr<AudioEncoder> encoder = GetEncoder();
  if (Inbox()->Count() != 0 || encoder->GetInboxCount() != 0 || m_fileWorker->GetInboxCount() != 0) return;
  SetStateIf(MasterState::Pausing, MasterState::Paused);
}

bool CRecWaveIn::StopStep() {
  if (Inbox()->Count() != 0) return false;
  if (GetStepFlag() == 0) {
    // Also after a pause: the stopped device still holds its empty buffers.
    m_device->ResetDevice();
    SetStepFlag(1);
    return false;
  }
  RefPtr<AudioEncoder> encoder = GetEncoder();
  // Whether they run is read before the inbox: a component posts before its
  // thread ends, so what it sent last is seen before it is seen ended.
  const bool headRuns = encoder->IsRunning();
  const bool writerRuns = m_fileWorker->IsRunning();
  if (Inbox()->Count() != 0) return false;
  if (headRuns && (encoder->GetState() == ComponentState::Aborted || !writerRuns)) {
    // An aborted encoder, or one whose blocks can no longer be written, is
    // stopped at once so that it hands back the buffers it holds.
    encoder->Wake();
    encoder->Stop(0);
    return false;
  }
  if (!m_device->AllFree()) {
    if (headRuns || writerRuns) return false;
    // Nothing that could hand a buffer back still runs: a file worker that
    // failed dropped the blocks it held, and with them these buffers.
    uint32_t lost = m_device->MarkAllFree();
    Trace("CRecWaveIn - %u buffer(s) did not come back; released\r\n", lost);
  }
  if (m_device->IsOpen()) {
    MMRESULT result = m_device->CloseDevice(ReleaseMode::IfFree);
    if (result != MMSYSERR_NOERROR) {
      Trace("CRecWaveIn::Close - error. res:%d \r\n", static_cast<int>(result));
      m_device->CloseDevice(ReleaseMode::Forced);
    }
    return false;
  }
  if (headRuns) {
    if (encoder->GetInboxCount() == 0) {
      encoder->Wake();
      encoder->Stop(0);
    }
    return false;
  }
  if (!writerRuns) return true;
  // The writer goes last, once it has written everything the encoder sent
  // while finishing (the WAV header with its final sizes).
  if (m_fileWorker->GetInboxCount() == 0) {
    m_fileWorker->Stop(0);
    m_fileWorker->Wake();
  }
  return false;
}

void CRecWaveIn::Teardown() {
  if (m_device->AllFree()) {
    MMRESULT result = m_device->CloseDevice(ReleaseMode::IfFree);
    if (result != MMSYSERR_NOERROR) Trace("CRecWaveIn::Close - error. res:%d \r\n", static_cast<int>(result));
  }
  GetEncoder()->Close();
  m_fileWorker->Close();
  Inbox()->Clear();
  SetState(MasterState::Closed);
}

}  // namespace talvinor
