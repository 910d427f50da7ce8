#include "audio/CRecWaveOut.h"

#include "audio/NullSource.h"
#include "core/ScopedLock.h"
#include "platform/Trace.h"

namespace talvinor {

namespace {
constexpr uint32_t kTransitionalWaitMs = 3;
constexpr uint32_t kIdleWaitMs = 1000;
constexpr uint32_t kCloseWaitMs = 3000;
constexpr uint32_t kFlagPauseAtEnd = 1;  // flags bit 0

bool IsTransitional(MasterState s) {
  return s == MasterState::Pausing || s == MasterState::EndPausing || s == MasterState::Resuming ||
         s == MasterState::Stopping || s == MasterState::Draining;
}

// States in which nothing more is read, decoded or played.
bool IsEnding(MasterState s) {
  return s == MasterState::Stopping || s == MasterState::Draining || s == MasterState::Closed;
}

// States in which the device is open and the filters are prepared.
bool IsDeviceOpenState(MasterState s) {
  return s == MasterState::Running || s == MasterState::Pausing || s == MasterState::Paused ||
         s == MasterState::Resuming;
}
}  // namespace

CRecWaveOut::CRecWaveOut()
    : m_device(Create<WaveOutDevice>()), m_default(Create<NullSource>()), m_fileWorker(Create<FileWorker>()) {
  m_source = m_default;
}

CRecWaveOut::~CRecWaveOut() {
  if (IsRunning()) {
    StopWithReason(0, StopReason::ByOwner);
    SignalWake();
    Wait(kCloseWaitMs);
  }
  Locker lock(m_lock.Get());
  m_filters.clear();
}

bool CRecWaveOut::Setup(uint32_t deviceId, const std::wstring& path, RefPtr<AudioSource> source) {
  if (!RunEnded() || path.empty() || !source) return false;
  Locker lock(m_lock.Get());
  SetDeviceId(deviceId);
  SetFileNames(path, L"");
  m_source = std::move(source);
  SetFlags(kFlagPauseAtEnd);
  return true;
}

bool CRecWaveOut::SetEndOfStreamAction(EndOfStreamAction action) {
  if (!RunEnded()) return false;
  Locker lock(m_lock.Get());
  uint32_t flags = GetFlags() & ~kFlagPauseAtEnd;
  SetFlags(action == EndOfStreamAction::Pause ? flags | kFlagPauseAtEnd : flags);
  return true;
}

RefPtr<AudioSource> CRecWaveOut::GetSource() {
  Locker lock(m_lock.Get());
  return m_source;
}

bool CRecWaveOut::RunEnded() {
  if (!IsRunning()) return true;
  return GetState() == MasterState::Closed && Wait(kCloseWaitMs) && !IsRunning();
}

bool CRecWaveOut::Start() {
  if (!RunEnded()) return false;
  // Opening is entered before the thread runs, so an immediate Close finds
  // a run to stop.
  SetState(MasterState::Opening);
  if (Master::Start()) return true;
  StoreStopReason(StopReason::SetupFailure);
  SetStateIf(MasterState::Opening, MasterState::Closed);
  return false;
}

bool CRecWaveOut::Close() {
  if (!IsRunning()) return false;
  StopWithReason(0, StopReason::ByOwner);
  SignalWake();
  return Wait(kCloseWaitMs);
}

bool CRecWaveOut::Pause() {
  if (!SetStateIf(MasterState::Running, MasterState::Pausing)) return false;
  SignalWake();
  return true;
}

bool CRecWaveOut::Resume() {
  if (!SetStateIf(MasterState::Paused, MasterState::Resuming)) return false;
  SignalWake();
  return true;
}

uint32_t CRecWaveOut::GetPosition() {
  Locker lock(m_lock.Get());
  MasterState state = GetState();
  if (state == MasterState::Closed) return 0;
  uint32_t target = m_source->GetSeekTarget();
  if (state == MasterState::Running || target == AudioSource::kNoSeek) {
    return m_source->GetBasePosition() + m_device->GetPositionMs();
  }
  return target;
}

uint32_t CRecWaveOut::GetLength() { return GetSource()->GetLength(); }

bool CRecWaveOut::Seek(uint32_t milliseconds) { return GetSource()->SetSeekTarget(milliseconds); }

bool CRecWaveOut::FilterStateAllowed(MasterState state) {
  return state == MasterState::Closed || IsDeviceOpenState(state);
}

bool CRecWaveOut::ClearFilters() {
  Locker lock(m_lock.Get());
  if (!FilterStateAllowed(GetState())) return false;
  m_filters.clear();
  return true;
}

bool CRecWaveOut::AddFilter(RefPtr<RefObject> filter) {
  RefPtr<PlaybackFilter> playback = QueryAs<PlaybackFilter>(filter.Get());
  if (!playback) return false;
  Locker lock(m_lock.Get());
  MasterState state = GetState();
  if (!FilterStateAllowed(state)) return false;
  if (IsDeviceOpenState(state)) {
    WaveFormat format;
    GetFormat(&format);
    playback->Prepare(format);
  }
  m_filters.push_back(std::move(playback));
  return true;
}

uint32_t CRecWaveOut::GetFilterCount() {
  Locker lock(m_lock.Get());
  return static_cast<uint32_t>(m_filters.size());
}

bool CRecWaveOut::StopWithReason(uint32_t timeoutMs, StopReason reason) {
  {
    Locker lock(m_lock.Get());
    if (IsEnding(GetState())) return false;
    StoreStopReason(reason);
    if (reason != StopReason::EndOfStream) {
      SetState(MasterState::Stopping);
    } else if (GetFlags() & kFlagPauseAtEnd) {
      SetState(MasterState::EndPausing);
    } else {
      SetState(MasterState::Draining);
    }
  }
  LockState();
  RequestStop();
  UnlockState();
  return Wait(timeoutMs);
}

uint32_t CRecWaveOut::Run() {
  SetStateIf(MasterState::Closed, MasterState::Opening);
  std::wstring path;
  GetFileName(&path);
  if (!m_fileWorker->Open(path, FileWorkerMode::Read, Inbox())) StopWithReason(0, StopReason::SetupFailure);
  for (;;) {
    if (RefPtr<GraphMessage> message = Inbox()->Pop()) {
      Dispatch(message.Get());
    } else {
      WaitForMessage(IsTransitional(GetState()) ? kTransitionalWaitMs : kIdleWaitMs);
    }
    MasterState state = GetState();
    switch (state) {
      case MasterState::Stopping:
        if (StopStep()) {
          Teardown();
          return 0;
        }
        break;
      case MasterState::Draining:
        if (DrainStep()) {
          Teardown();
          return 0;
        }
        break;
      case MasterState::Pausing:
      case MasterState::EndPausing:
        PauseStep(state);
        break;
      case MasterState::Resuming:
        ResumeStep();
        break;
      case MasterState::Opening:
      case MasterState::Running:
      case MasterState::Paused:
        break;
      default:
        StopWithReason(0, StopReason::BadState);
        break;
    }
  }
}

void CRecWaveOut::Dispatch(GraphMessage* message) {
  MasterState state = GetState();
  RefPtr<AudioSource> source = GetSource();
  RefPtr<AudioBuffer> buffer = message->Buffer();
  switch (message->Kind()) {
    case MessageKind::Abort:
      Trace("Master::OnAbort - %08xh\r\n", message->First());
      StopWithReason(0, StopReasonFromCode(message->First()));
      break;
    case MessageKind::FileOpened:
      if (state == MasterState::Opening) {
        uint32_t size = m_fileWorker->GetFileSize();
        if (size == FileWorker::kUnknownSize || !source->Open(Inbox(), size)) StopWithReason(0, StopReason::SetupFailure);
      }
      break;
    case MessageKind::ReadBlock:
      if (buffer && !IsEnding(state)) m_fileWorker->PostRead(buffer, message->First(), message->Second());
      break;
    case MessageKind::BlockRead:
      if (buffer && !IsEnding(state)) source->QueueInput(buffer);
      break;
    case MessageKind::FormatReady:
      if (state == MasterState::Opening) OnFormatReady();
      break;
    case MessageKind::PcmData:
      if (buffer) OnPcm(buffer.Get());
      break;
    case MessageKind::OutputBufferDone: {
      RefPtr<WaveHeaderBuffer> played = QueryAs<WaveHeaderBuffer>(buffer.Get());
      if (!played) break;
      if (IsEnding(state)) {
        m_device->MarkFree(played.Get());
      } else if (m_device->IsListed(played.Get())) {
        source->PushBuffer(played);
      }
      break;
    }
    case MessageKind::DeviceResetRequest:
      m_device->ResetDevice();
      break;
    case MessageKind::EndOfStream:
      StopWithReason(0, StopReason::EndOfStream);
      break;
    case MessageKind::OutputOpened:
    case MessageKind::OutputClosed:
    default:
      break;
  }
}

void CRecWaveOut::OnFormatReady() {
  RefPtr<AudioSource> source = GetSource();
  WaveFormat format;
  source->GetFormat(&format);
  SetFormatLocked(format);
  uint32_t size = source->GetBufferSize();
  uint32_t count = source->GetBufferCount();
  if (size < kSmallestBuffer || count == 0 || !m_device->Open(GetDeviceId(), format, Inbox())) {
    StopWithReason(0, StopReason::DeviceFailure);
    return;
  }
  for (uint32_t i = 0; i < count; ++i) {
    RefPtr<WaveHeaderBuffer> buffer = m_device->AllocateBuffer(size);
    if (!buffer || !source->PushBuffer(buffer)) {
      StopWithReason(0, StopReason::SetupFailure);
      return;
    }
  }
  // Under the lock, so a filter added meanwhile is prepared exactly once more.
  Locker lock(m_lock.Get());
  if (!SetStateIf(MasterState::Opening, MasterState::Running)) return;
  for (const auto& filter : m_filters) filter->Prepare(format);
}

void CRecWaveOut::OnPcm(AudioBuffer* buffer) {
  RefPtr<WaveHeaderBuffer> device = QueryAs<WaveHeaderBuffer>(buffer);
  if (!device) return;
  MasterState state = GetState();
  if (state == MasterState::Stopping || state == MasterState::Draining) {
    m_device->MarkFree(device.Get());
    return;
  }
  if (!m_device->IsListed(device.Get())) return;  // not one of this run's buffers
  if (buffer->Length() == 0) {
    GetSource()->PushBuffer(device);
    return;
  }
  {
    Locker lock(m_lock.Get());
    WaveFormat format;
    GetFormat(&format);
    for (const auto& filter : m_filters) filter->Process(buffer->Data(), buffer->Length(), format);
  }
  if (!m_device->Write(device.Get())) StopWithReason(0, StopReason::SetupFailure);
}

void CRecWaveOut::PauseStep(MasterState state) {
  if (Inbox()->Count() != 0) return;
  RefPtr<AudioSource> source = GetSource();
  if (GetStepFlag() == 0) {
    // The end of the stream may come while the device was paused (a resume
    // after a seek to the last moment): what is queued must still play out.
    if (state == MasterState::EndPausing && m_device->IsPaused()) m_device->RestartDevice();
    if (source->GetState() == ComponentState::Paused || source->RequestPause()) SetStepFlag(1);
    return;
  }
  if (source->GetState() != ComponentState::Paused || m_fileWorker->GetInboxCount() != 0) return;
  if (state == MasterState::Pausing) {
    m_device->PauseDevice();
    SetStateIf(MasterState::Pausing, MasterState::Paused);
  } else if (m_device->NoneQueued()) {
    SetStateIf(MasterState::EndPausing, MasterState::Paused);
  }
}

void CRecWaveOut::ResumeStep() {
  if (Inbox()->Count() != 0) return;
  RefPtr<AudioSource> source = GetSource();
  if (GetStepFlag() == 0) {
    if (source->RequestResume()) SetStepFlag(1);
    return;
  }
  if (source->GetState() != ComponentState::Running) return;
  // A reset the source asked for while resuming (a seek) is carried out
  // before the device plays again.
  if (Inbox()->Count() != 0) return;
  m_device->RestartDevice();
  SetStateIf(MasterState::Resuming, MasterState::Running);
}

void CRecWaveOut::CloseDevice() {
  MMRESULT result = m_device->CloseDevice(ReleaseMode::IfFree);
  if (result != MMSYSERR_NOERROR) {
    Trace("CRecWaveOut::Close - error. res:%d \r\n", static_cast<int>(result));
    m_device->CloseDevice(ReleaseMode::Forced);
  }
}

bool CRecWaveOut::StopStep() {
  if (Inbox()->Count() != 0) return false;
  RefPtr<AudioSource> source = GetSource();
  if (m_fileWorker->IsRunning()) {
    m_fileWorker->Stop(0);
    m_fileWorker->Wake();
    return false;
  }
  if (source->IsRunning()) {
    source->Stop(0);
    return false;
  }
  if (Inbox()->Count() != 0) return false;
  if (m_device->AllFree()) {
    if (!m_device->IsOpen()) return true;
    CloseDevice();
    return false;
  }
  if (GetStepFlag() == 0) {
    m_device->ResetDevice();
    SetStepFlag(1);
  }
  return false;
}

bool CRecWaveOut::DrainStep() {
  if (Inbox()->Count() != 0) return false;
  if (GetStepFlag() == 0) {
    // A device paused before the end came must play what it holds.
    if (m_device->IsPaused()) m_device->RestartDevice();
    SetStepFlag(1);
  }
  RefPtr<AudioSource> source = GetSource();
  if (m_fileWorker->IsRunning()) {
    if (m_fileWorker->GetInboxCount() == 0) {
      m_fileWorker->Stop(0);
      m_fileWorker->Wake();
    }
    return false;
  }
  if (source->IsRunning()) {
    if (source->GetInboxCount() == 0) source->Stop(0);
    return false;
  }
  if (Inbox()->Count() != 0) return false;
  if (!m_device->AllFree()) return false;
  if (!m_device->IsOpen()) return true;
  CloseDevice();
  return false;
}

void CRecWaveOut::Teardown() {
  if (m_device->AllFree()) {
    MMRESULT result = m_device->CloseDevice(ReleaseMode::IfFree);
    if (result != MMSYSERR_NOERROR) Trace("CRecWaveOut::Close - error. res:%d \r\n", static_cast<int>(result));
  }
  GetSource()->Close();
  m_fileWorker->Close();
  Inbox()->Clear();
  SetState(MasterState::Closed);
}

}  // namespace talvinor
