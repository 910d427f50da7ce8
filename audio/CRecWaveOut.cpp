#include "audio/CRecWaveOut.h"

#include "audio/NullSource.h"
#include "core/ScopedLock.h"
#include "platform/Trace.h"

namespace talvinor {

namespace {
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
    : Master(PauseSupport::Device),
      m_device(Create<WaveOutDevice>()),
      m_default(Create<NullSource>()),
      m_fileWorker(Create<FileWorker>()),
      m_filterLock(Create<CriticalSectionObject>()) {
  m_source = m_default;
}

bool CRecWaveOut::Setup(uint32_t deviceId, const std::wstring& path, RefPtr<AudioSource> source) {
  if (!RunEnded() || path.empty() || !source) return false;
  Locker lock(m_lock.Get());
  SetDeviceId(deviceId);
  SetFileNames(path, L"");
  m_source = std::move(source);
  m_endOfStream = EndOfStreamAction::Pause;
  return true;
}

bool CRecWaveOut::SetEndOfStreamAction(EndOfStreamAction action) {
  if (!RunEnded()) return false;
  Locker lock(m_lock.Get());
  m_endOfStream = action;
  return true;
}

RefPtr<AudioSource> CRecWaveOut::GetSource() {
  Locker lock(m_lock.Get());
  return m_source;
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
  Locker filterLock(m_filterLock.Get());
  m_filters.clear();
  return true;
}

bool CRecWaveOut::AddFilter(RefPtr<PlaybackFilter> filter) {
  if (!filter) return false;
  Locker lock(m_lock.Get());
  MasterState state = GetState();
  if (!FilterStateAllowed(state)) return false;
  if (IsDeviceOpenState(state)) {
    WaveFormat format;
    GetFormat(&format);
    Locker filterLock(m_filterLock.Get());
    filter->Prepare(format);
    m_filters.push_back(std::move(filter));
    return true;
  }
  Locker filterLock(m_filterLock.Get());
  m_filters.push_back(std::move(filter));
  return true;
}

uint32_t CRecWaveOut::GetFilterCount() {
  Locker lock(m_filterLock.Get());
  return static_cast<uint32_t>(m_filters.size());
}

StopPlan CRecWaveOut::PlanStop(MasterState state, StopReason /*recorded*/, StopReason reason) {
  if (state == MasterState::Stopping || state == MasterState::Draining) return {StopEffect::Refuse};
  if (reason != StopReason::EndOfStream) return {StopEffect::Enter, MasterState::Stopping};
  // m_lock is held.
  return {StopEffect::Enter,
          m_endOfStream == EndOfStreamAction::Pause ? MasterState::EndPausing : MasterState::Draining};
}

bool CRecWaveOut::IsTransitional(MasterState s) {
  return s == MasterState::Pausing || s == MasterState::EndPausing || s == MasterState::Resuming ||
         s == MasterState::Stopping || s == MasterState::Draining;
}

void CRecWaveOut::BeginRun() {
  std::wstring path;
  GetFileName(&path);
  if (!m_fileWorker->Open(path, FileWorkerMode::Read, Inbox())) StopWithReason(0, StopReason::SetupFailure);
}

StepResult CRecWaveOut::Step(MasterState state) {
  switch (state) {
    case MasterState::Stopping:
      return StopStep() ? StepResult::Finished : StepResult::Continue;
    case MasterState::Draining:
      return DrainStep() ? StepResult::Finished : StepResult::Continue;
    case MasterState::Pausing:
    case MasterState::EndPausing:
      PauseStep(state);
      return StepResult::Continue;
    case MasterState::Resuming:
      ResumeStep();
      return StepResult::Continue;
    case MasterState::Opening:
    case MasterState::Running:
    case MasterState::Paused:
      return StepResult::Continue;
    default:
      return StepResult::OutsideTable;
  }
}

void CRecWaveOut::Dispatch(GraphMessage* message) {
  MasterState state = GetState();
  RefPtr<AudioSource> source = GetSource();
  RefPtr<AudioBuffer> buffer = message->Buffer();
  switch (message->Kind()) {
    case MessageKind::FileOpened:
      if (state == MasterState::Opening) {
        uint32_t size = m_fileWorker->GetFileSize();
        if (size == FileWorker::kUnknownSize || !source->Open(Inbox(), size)) {
          StopWithReason(0, StopReason::SetupFailure);
        }
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
  Locker filterLock(m_filterLock.Get());
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
    WaveFormat format;
    GetFormat(&format);
    Locker filterLock(m_filterLock.Get());
    for (const auto& filter : m_filters) filter->Process(buffer->Data(), buffer->Length(), format);
  }
  if (!m_device->Write(device.Get())) StopWithReason(0, StopReason::SetupFailure);
}

void CRecWaveOut::PauseStep(MasterState state) {
  if (Inbox()->Count() != 0) return;
  RefPtr<AudioSource> source = GetSource();
  if (GetStep<StateStep>() == StateStep::Pending) {
    // The end of the stream may come while the device was paused (a resume
    // after a seek to the last moment): what is queued must still play out.
    if (state == MasterState::EndPausing && m_device->IsPaused()) m_device->RestartDevice();
    if (source->GetState() == ComponentState::Paused || source->RequestPause()) SetStep(StateStep::Issued);
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
  if (GetStep<StateStep>() == StateStep::Pending) {
    if (source->RequestResume()) SetStep(StateStep::Issued);
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
  if (GetStep<StateStep>() == StateStep::Pending) {
    m_device->ResetDevice();
    SetStep(StateStep::Issued);
  }
  return false;
}

bool CRecWaveOut::DrainStep() {
  if (Inbox()->Count() != 0) return false;
  if (GetStep<StateStep>() == StateStep::Pending) {
    // A device paused before the end came must play what it holds.
    if (m_device->IsPaused()) m_device->RestartDevice();
    SetStep(StateStep::Issued);
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

void CRecWaveOut::EndRun() {
  if (m_device->AllFree()) {
    MMRESULT result = m_device->CloseDevice(ReleaseMode::IfFree);
    if (result != MMSYSERR_NOERROR) Trace("CRecWaveOut::Close - error. res:%d \r\n", static_cast<int>(result));
  }
  GetSource()->Close();
  m_fileWorker->Close();
}

}  // namespace talvinor
