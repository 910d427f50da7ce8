#include "audio/ConvertMaster.h"

#include "audio/NullEncoder.h"
#include "audio/NullSource.h"
#include "core/ScopedLock.h"

namespace talvinor {

namespace {
// No device sets the size of a conversion's blocks, so they are large: each
// buffer costs its messages and wake-ups whatever it holds.
constexpr uint32_t kSourceBufferReserve = 65536;
}  // namespace

ConvertMaster::ConvertMaster()
    : m_input(Create<FileWorker>()),
      m_output(Create<FileWorker>()),
      m_defaultSource(Create<NullSource>()),
      m_defaultEncoder(Create<NullEncoder>()) {
  m_source = m_defaultSource;
  m_encoder = m_defaultEncoder;
}

bool ConvertMaster::Setup(const std::wstring& sourcePath, RefPtr<AudioSource> source,
                          const std::wstring& destinationPath, RefPtr<AudioEncoder> encoder, ConvertOutput output) {
  if (!RunEnded() || sourcePath.empty() || destinationPath.empty() || !source || !encoder) return false;
  SetFileNames(destinationPath, sourcePath);
  Locker lock(m_lock.Get());
  m_source = std::move(source);
  m_encoder = std::move(encoder);
  m_overwrite = output == ConvertOutput::Replace ? 1 : 0;
  return true;
}

void ConvertMaster::SetBufferCount(uint32_t count) {
  Locker lock(m_lock.Get());
  m_bufferCount = count == 0 ? 1 : count;
}

RefPtr<AudioSource> ConvertMaster::GetSource() {
  Locker lock(m_lock.Get());
  return m_source;
}

RefPtr<AudioEncoder> ConvertMaster::GetEncoder() {
  Locker lock(m_lock.Get());
  return m_encoder;
}

uint32_t ConvertMaster::GetPosition() {
  Locker lock(m_lock.Get());
  return GetState() == MasterState::Running ? m_source->GetPosition() : 0;
}

uint32_t ConvertMaster::GetLength() {
  Locker lock(m_lock.Get());
  return GetState() == MasterState::Running ? m_source->GetLength() : 0;
}

StopPlan ConvertMaster::PlanStop(MasterState state, StopReason /*recorded*/, StopReason reason) {
  if (reason != StopReason::EndOfStream) return {StopEffect::Enter, MasterState::Stopping};
  // Once stopping, blocks are already being dropped: a late end of stream
  // must not report the partial output as a completed conversion.
  if (state == MasterState::Stopping) return {StopEffect::Refuse};
  return {StopEffect::Enter, MasterState::Draining};
}

bool ConvertMaster::IsTransitional(MasterState s) {
  return s == MasterState::Opening || s == MasterState::Stopping || s == MasterState::Draining;
}

StepResult ConvertMaster::Step(MasterState state) {
  switch (state) {
    case MasterState::Opening:
      Open();
      return StepResult::Continue;
    case MasterState::Running:
      return StepResult::Continue;  // messages drive the run
    case MasterState::Stopping:
    case MasterState::Draining:
      return StopStep(state) ? StepResult::Finished : StepResult::Continue;
    default:
      return StepResult::OutsideTable;
  }
}

void ConvertMaster::Open() {
  RefPtr<AudioSource> source = GetSource();
  RefPtr<AudioEncoder> encoder = GetEncoder();
  switch (GetStep<OpeningStep>()) {
    case OpeningStep::OpenInput:
      if (!m_input->Open(GetSecondFileName(), FileWorkerMode::Read, Inbox())) {
        StopWithReason(0, StopReason::SetupFailure);
        return;
      }
      SetStep(OpeningStep::OpenSource);
      return;
    case OpeningStep::OpenSource: {
      if (!m_input->IsOpen()) return;  // an open failure arrives as Abort 31
      uint32_t size = m_input->GetFileSize();
      if (size == FileWorker::kUnknownSize || !source->Open(Inbox(), size)) {
        StopWithReason(0, StopReason::SetupFailure);
        return;
      }
      uint32_t count;
      {
        Locker lock(m_lock.Get());
        count = m_bufferCount;
      }
      for (uint32_t i = 0; i < count; ++i) {
        RefPtr<AudioBuffer> buffer = Create<AudioBuffer>();
        if (!buffer->Reserve(kSourceBufferReserve)) {
          StopWithReason(0, StopReason::SetupFailure);
          return;
        }
        m_buffers.push_back(buffer);
        if (!source->PushBuffer(buffer)) {
          StopWithReason(0, StopReason::SetupFailure);
          return;
        }
      }
      SetStep(OpeningStep::AwaitFormat);
      return;
    }
    case OpeningStep::AwaitFormat:
      return;  // FormatReady moves on
    case OpeningStep::ConnectEncoder: {
      WaveFormat format;
      source->GetFormat(&format);
      SetFormatLocked(format);
      if (!encoder->SetFormat(format.channels, format.samplesPerSec, format.bitsPerSample) ||
          !encoder->Connect(Inbox())) {
        StopWithReason(0, StopReason::SetupFailure);
        return;
      }
      SetStep(OpeningStep::OpenOutput);
      return;
    }
    case OpeningStep::OpenOutput: {
      uint32_t overwrite;
      {
        Locker lock(m_lock.Get());
        overwrite = m_overwrite;
      }
      FileWorkerMode mode = overwrite ? FileWorkerMode::CreateAlways : FileWorkerMode::CreateNew;
      std::wstring destination;
      GetFileName(&destination);
      if (!m_output->Open(destination, mode, Inbox())) {
        StopWithReason(0, StopReason::SetupFailure);
        return;
      }
      SetStep(OpeningStep::AwaitOutput);
      // The encoder may already have sent its stream header.
      while (!m_heldOutput.empty()) {
        RefPtr<GraphMessage> held = std::move(m_heldOutput.front());
        m_heldOutput.pop_front();
        Dispatch(held.Get());
      }
      return;
    }
    case OpeningStep::AwaitOutput:
      if (m_output->IsOpen() && SetStateIf(MasterState::Opening, MasterState::Running) && m_endPending) {
        StopWithReason(0, StopReason::EndOfStream);
      }
      return;
    default:
      StopWithReason(0, StopReason::BadState);
      return;
  }
}

void ConvertMaster::Dispatch(GraphMessage* message) {
  MasterState state = GetState();
  bool live = state == MasterState::Opening || state == MasterState::Running;
  bool ending = state == MasterState::Stopping || state == MasterState::Draining;
  RefPtr<AudioSource> source = GetSource();
  RefPtr<AudioEncoder> encoder = GetEncoder();
  switch (message->Kind()) {
    case MessageKind::ReadBlock:
      // The source's count is kept: a reader asking for a few bytes must not
      // get a whole buffer's worth past what it asked for.
      if (live) m_input->PostRead(message->Buffer(), message->First(), message->Second());
      break;
    case MessageKind::BlockRead:
      if (live) source->QueueInput(message->Buffer());
      break;
    case MessageKind::FormatReady:
      if (state == MasterState::Opening && GetStep<OpeningStep>() == OpeningStep::AwaitFormat) {
        SetStep(OpeningStep::ConnectEncoder);
      } else if (state != MasterState::Opening) {
        StopWithReason(0, StopReason::BadState);
      }
      break;
    case MessageKind::PcmData:
      if (!ending) {
        if (RefPtr<AudioBuffer> pcm = message->Buffer()) {
          m_decodedBytes.fetch_add(pcm->Length(), std::memory_order_relaxed);
        }
        encoder->QueueInput(message->Buffer());
      }
      break;
    case MessageKind::InputConsumed:
      if (live && !source->PushBuffer(message->Buffer())) StopWithReason(0, StopReason::SetupFailure);
      break;
    case MessageKind::EncodedData: {
      RefPtr<AudioBuffer> buffer = message->Buffer();
      if (!buffer || buffer->Length() == 0) {
        encoder->ReturnBuffer(buffer);
        break;
      }
      if (state == MasterState::Opening && GetStep<OpeningStep>() < OpeningStep::AwaitOutput) {
        m_heldOutput.push_back(RefPtr<GraphMessage>(message));
        break;
      }
      // The offset is honoured: an encoder rewrites its header in place.
      if (!m_output->PostWrite(buffer, message->First())) encoder->ReturnBuffer(buffer);
      break;
    }
    case MessageKind::BlockWritten:
      encoder->ReturnBuffer(message->Buffer());
      break;
    case MessageKind::EndOfStream:
      // A short source can end before the output is open; draining then
      // would leave no output file at all.
      if (state == MasterState::Opening) {
        m_endPending = true;
      } else {
        StopWithReason(0, StopReason::EndOfStream);
      }
      break;
    case MessageKind::FileOpened:
    default:
      break;
  }
}

bool ConvertMaster::StopStep(MasterState state) {
  // Draining stops each worker only once its queue is empty.
  const bool drain = state == MasterState::Draining;
  if (Inbox()->Count() != 0) return false;
  RefPtr<AudioSource> source = GetSource();
  RefPtr<AudioEncoder> encoder = GetEncoder();
  if (m_input->IsRunning()) {
    if (!drain || m_input->GetInboxCount() == 0) {
      m_input->Wake();
      m_input->Stop(0);
    }
    return false;
  }
  if (Inbox()->Count() != 0) return false;
  if (source->IsRunning()) {
    if (!drain || source->GetInboxCount() == 0) {
      source->Wake();
      source->Stop(0);
    }
    return false;
  }
  // A component posts before its thread ends: once it no longer runs, what
  // it sent is in the inbox and is dispatched before the next one stops.
  if (Inbox()->Count() != 0) return false;
  if (encoder->IsRunning()) {
    if (!drain || encoder->GetInboxCount() == 0) {
      encoder->Wake();
      encoder->Stop(0);
    }
    return false;
  }
  if (Inbox()->Count() != 0) return false;
  if (!m_output->IsRunning()) return true;
  // The output is stopped only once its queue is empty, so blocks the
  // encoder sent while finishing (a rewritten header) reach the file.
  if (m_output->GetInboxCount() == 0) {
    m_output->Wake();
    m_output->Stop(0);
  }
  return false;
}

void ConvertMaster::EndRun() {
  RefPtr<AudioSource> source = GetSource();
  RefPtr<AudioEncoder> encoder = GetEncoder();
  source->Close();
  encoder->Close();
  m_input->Close();
  m_output->Close();
  m_heldOutput.clear();
  m_buffers.clear();
}

}  // namespace talvinor
