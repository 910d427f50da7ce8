#include "audio/CRecWaveIn.h"

#include "audio/NullEncoder.h"
#include "core/ScopedLock.h"
#include "platform/FileSystem.h"
#include "platform/Trace.h"
#include "platform/Unicode.h"

namespace talvinor {

CRecWaveIn::CRecWaveIn()
    : Master(PauseSupport::Device),
      m_device(Create<WaveInDevice>()),
      m_default(Create<NullEncoder>()),
      m_fileWorker(Create<FileWorker>()) {
  m_head = m_default;
}

bool CRecWaveIn::Setup(uint32_t deviceId, const std::wstring& path, RefPtr<AudioEncoder> encoder) {
  if (!RunEnded() || path.empty() || !encoder) return false;
  Locker lock(m_lock.Get());
  SetDeviceId(deviceId);
  SetFileNames(path, L"");
  m_head = std::move(encoder);
  m_soundEncoded = false;
  m_removedEmptyFile = false;
  // The level of a new run starts from nothing, before the run can be read.
  m_level.Reset();
  return true;
}

bool CRecWaveIn::RemovedEmptyFile() {
  Locker lock(m_lock.Get());
  return m_removedEmptyFile;
}

RefPtr<AudioEncoder> CRecWaveIn::GetEncoder() {
  Locker lock(m_lock.Get());
  return m_head;
}

uint32_t CRecWaveIn::GetPosition() {
  Locker lock(m_lock.Get());
  if (GetState() == MasterState::Closed) return 0;
  return m_device->GetPositionMs();
}

StopPlan CRecWaveIn::PlanStop(MasterState state, StopReason recorded, StopReason reason) {
  if (state != MasterState::Stopping) return {StopEffect::Enter, MasterState::Stopping};
  if (recorded == StopReason::ByOwner && reason != StopReason::ByOwner) return {StopEffect::ReplaceReason};
  return {StopEffect::RequestAgain};
}

bool CRecWaveIn::IsTransitional(MasterState s) {
  return s == MasterState::Opening || s == MasterState::Pausing || s == MasterState::Resuming ||
         s == MasterState::Stopping;
}

bool CRecWaveIn::Stopping() { return IsStopRequested() || GetState() == MasterState::Stopping; }

StepResult CRecWaveIn::Step(MasterState state) {
  switch (state) {
    case MasterState::Opening: OpeningStep(); break;
    case MasterState::Pausing: PauseStep(); break;
    case MasterState::Resuming: ResumeStep(); break;
    case MasterState::Stopping: return StopStep() ? StepResult::Finished : StepResult::Continue;
    case MasterState::Running:
    case MasterState::Paused: break;  // the device and the messages drive the run
    default: return StepResult::OutsideTable;
  }
  return StepResult::Continue;
}

void CRecWaveIn::OpeningStep() {
  if (GetStep<StateStep>() != StateStep::Pending) return;
  SetStep(StateStep::Issued);
  StopReason reason = OpenGraph();
  if (reason == StopReason::None && !m_device->StartDevice()) reason = StopReason::DeviceFailure;
  if (reason != StopReason::None) {
    StopWithReason(0, reason);
  } else {
    SetStateIf(MasterState::Opening, MasterState::Running);
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
    case MessageKind::InputBufferDone:
      if (!buffer) break;
      // Recorded sound is encoded even while stopping: the reset returns the
      // last partly filled buffer, and that sound belongs to the recording.
      if (buffer->Length() != 0) {
        if (m_metering.load(std::memory_order_relaxed)) {
          WaveFormat format;
          GetFormat(&format);
          m_level.Measure(buffer->Data(), buffer->Length(), format);
        }
        if (encoder->QueueInput(buffer)) break;
      }
      Requeue(buffer.Get());
      break;
    case MessageKind::InputConsumed:
      if (!buffer) break;
      // Sound an encoder hands back after it failed was never encoded.
      if (buffer->Length() != 0 && !encoder->GetAbortFlag()) NoteSoundEncoded();
      Requeue(buffer.Get());
      break;
    case MessageKind::EncodedData:
      if (!buffer) break;
      // An encoder that writes the captured sound as it is (WAV) sends the
      // device buffer itself.
      if (RefPtr<WaveHeaderBuffer> own = QueryAs<WaveHeaderBuffer>(buffer.Get()); own && m_device->IsListed(own.Get()))
        NoteSoundEncoded();
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

void CRecWaveIn::ResumeStep() {
  if (m_device->StartDevice()) {
    SetStateIf(MasterState::Resuming, MasterState::Running);
  } else {
    StopWithReason(0, StopReason::DeviceFailure);
  }
}

void CRecWaveIn::PauseStep() {
  if (GetStep<StateStep>() == StateStep::Pending) {
    m_device->StopDevice();
    SetStep(StateStep::Issued);
    return;
  }
  // What the stop returned is encoded and written before the pause shows.
  RefPtr<AudioEncoder> encoder = GetEncoder();
  if (Inbox()->Count() != 0 || encoder->GetInboxCount() != 0 || m_fileWorker->GetInboxCount() != 0) return;
  SetStateIf(MasterState::Pausing, MasterState::Paused);
}

bool CRecWaveIn::StopStep() {
  if (Inbox()->Count() != 0) return false;
  if (GetStep<StateStep>() == StateStep::Pending) {
    // Also after a pause: the stopped device still holds its empty buffers.
    m_device->ResetDevice();
    SetStep(StateStep::Issued);
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

void CRecWaveIn::EndRun() {
  if (m_device->AllFree()) {
    MMRESULT result = m_device->CloseDevice(ReleaseMode::IfFree);
    if (result != MMSYSERR_NOERROR) Trace("CRecWaveIn::Close - error. res:%d \r\n", static_cast<int>(result));
  }
  RefPtr<AudioEncoder> encoder = GetEncoder();
  encoder->Close();
  m_fileWorker->Close();
  // A file without sound goes; one with sound is made final, however the
  // run ended. Only a file this run created is touched, never one that was
  // there.
  if (!RemoveFileWithoutSound() && m_fileWorker->CreatedFile()) {
    std::wstring path;
    GetFileName(&path);
    encoder->MakeFileFinal(path);
  }
}

void CRecWaveIn::NoteSoundEncoded() {
  Locker lock(m_lock.Get());
  m_soundEncoded = true;
}

bool CRecWaveIn::RemoveFileWithoutSound() {
  bool soundEncoded = false;
  {
    Locker lock(m_lock.Get());
    soundEncoded = m_soundEncoded;
  }
  const StopReason reason = GetStopReason();
  // The owner's stop keeps even an empty file: the user asked for that
  // recording. A file this run did not create (one that existed) is never
  // touched.
  if (soundEncoded || reason == StopReason::ByOwner || reason == StopReason::None || !m_fileWorker->CreatedFile())
    return false;
  std::wstring path;
  GetFileName(&path);
  const int error = DeleteFile(path);
  if (error != 0) {
    Trace("CRecWaveIn - could not remove the empty file \"%s\" (%d)\r\n", WideToUtf8(path).c_str(), error);
    return false;
  }
  Trace("CRecWaveIn - removed \"%s\": the run ended (%u) before any sound was recorded\r\n",
        WideToUtf8(path).c_str(), StopCode(reason));
  Locker lock(m_lock.Get());
  m_removedEmptyFile = true;
  return true;
}

}  // namespace talvinor
