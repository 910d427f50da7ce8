#include "audio/ConvertMaster.h"

#include "audio/NullEncoder.h"
#include "audio/NullSource.h"
#include "core/ScopedLock.h"

namespace talvinor {

namespace {
constexpr uint32_t kSourceBufferReserve = 4096;
constexpr uint32_t kTransitionalWaitMs = 3;
constexpr uint32_t kIdleWaitMs = 1000;

// The opening step counter (the master's step flag).
enum OpeningStep : uint32_t {
  kOpenInput = 0,        // start the input file worker
  kOpenSource = 1,       // once the input is open: open the source, hand it buffers
  kAwaitFormat = 2,      // wait for the source's FormatReady
  kConnectEncoder = 3,   // format the encoder and connect it
  kOpenOutput = 4,       // start the output file worker
  kAwaitOutput = 5,      // once the output is open: Running
};
}  // namespace

ConvertMaster::ConvertMaster()
    : m_input(Create<FileWorker>()),
      m_output(Create<FileWorker>()),
      m_defaultSource(Create<NullSource>()),
      m_defaultEncoder(Create<NullEncoder>()) {
  m_source = m_defaultSource;
  m_encoder = m_defaultEncoder;
}

ConvertMaster::~ConvertMaster() {
  if (IsRunning()) {
    StopWithReason(0, StopReason::ByOwner);
    SignalWake();
    Wait(3000);
  }
}

bool ConvertMaster::Setup(const std::wstring& sourcePath, RefPtr<AudioSource> source,
                          const std::wstring& destinationPath, RefPtr<AudioEncoder> encoder, ConvertOutput output) {
  if (IsRunning() || sourcePath.empty() || destinationPath.empty() || !source || !encoder) return false;
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

bool ConvertMaster::Close() {
  if (!IsRunning()) return false;
  StopWithReason(0, StopReason::ByOwner);
  SignalWake();
  return Wait(3000);
}

uint32_t ConvertMaster::GetPosition() {
  Locker lock(m_lock.Get());
  return GetState() == MasterState::Running ? m_source->GetPosition() : 0;
}

uint32_t ConvertMaster::GetLength() {
  Locker lock(m_lock.Get());
  return GetState() == MasterState::Running ? m_source->GetLength() : 0;
}

bool ConvertMaster::StopWithReason(uint32_t timeoutMs, StopReason reason) {
  {
    Locker lock(m_lock.Get());
    // Once stopping, blocks are already being dropped: a late end of stream
    // must not report the partial output as a completed conversion.
    if (reason == StopReason::EndOfStream && GetState() == MasterState::Stopping) return false;
    StoreStopReason(reason);
    SetState(reason == StopReason::EndOfStream ? MasterState::Draining : MasterState::Stopping);
  }
  LockState();
  RequestStop();
  UnlockState();
  return Wait(timeoutMs);
}

uint32_t ConvertMaster::Run() {
  m_endPending = false;
  SetState(MasterState::Opening);
  for (;;) {
    if (RefPtr<GraphMessage> message = Inbox()->Pop()) {
      Dispatch(message.Get());
    } else {
      MasterState s = GetState();
      bool transitional = s == MasterState::Opening || s == MasterState::Stopping || s == MasterState::Draining;
      WaitForMessage(transitional ? kTransitionalWaitMs : kIdleWaitMs);
    }
    MasterState state = GetState();
    if (state == MasterState::Opening) {
      OpeningStep();
    } else if (state == MasterState::Running) {
      // Nothing: messages drive the run.
    } else if (state == MasterState::Stopping) {
      if (StopStep(false)) break;
    } else if (state == MasterState::Draining) {
      if (StopStep(true)) break;
    } else {
      StopWithReason(0, StopReason::BadState);
    }
  }
  Teardown();
  return 0;
}

void ConvertMaster::OpeningStep() {
  RefPtr<AudioSource> source = GetSource();
  RefPtr<AudioEncoder> encoder = GetEncoder();
  switch (GetStepFlag()) {
    case kOpenInput:
      if (!m_input->Open(GetSecondFileName(), FileWorkerMode::Read, Inbox())) {
        StopWithReason(0, StopReason::SetupFailure);
        return;
      }
      SetStepFlag(kOpenSource);
      return;
    case kOpenSource: {
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
      SetStepFlag(kAwaitFormat);
      return;
    }
    case kAwaitFormat:
      return;  // FormatReady moves on
    case kConnectEncoder: {
      WaveFormat format;
      source->GetFormat(&format);
      SetFormatLocked(format);
      if (!encoder->SetFormat(format.channels, format.samplesPerSec, format.bitsPerSample) ||
          !encoder->Connect(Inbox())) {
        StopWithReason(0, StopReason::SetupFailure);
        return;
      }
      SetStepFlag(kOpenOutput);
      return;
    }
    case kOpenOutput: {
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
      SetStepFlag(kAwaitOutput);
      // The encoder may already have sent its stream header.
      while (!m_heldOutput.empty()) {
        RefPtr<GraphMessage> held = std::move(m_heldOutput.front());
        m_heldOutput.pop_front();
        Dispatch(held.Get());
      }
      return;
    }
    case kAwaitOutput:
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
    case MessageKind::Abort:
      StopWithReason(0, StopReasonFromCode(message->First()));
      break;
    case MessageKind::ReadBlock:
      // The source's count is kept: a reader asking for a few bytes must not
      // get a whole buffer's worth past what it asked for.
      if (live) m_input->PostRead(message->Buffer(), message->First(), message->Second());
      break;
    case MessageKind::BlockRead:
      if (live) source->QueueInput(message->Buffer());
      break;
    case MessageKind::FormatReady:
      if (state == MasterState::Opening && GetStepFlag() == kAwaitFormat) {
        SetStepFlag(kConnectEncoder);
      } else if (state != MasterState::Opening) {
        StopWithReason(0, StopReason::BadState);
      }
      break;
    case MessageKind::PcmData:
      if (!ending) encoder->QueueInput(message->Buffer());
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
      if (state == MasterState::Opening && GetStepFlag() < kAwaitOutput) {
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

bool ConvertMaster::StopStep(bool drain) {
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

void ConvertMaster::Teardown() {
  RefPtr<AudioSource> source = GetSource();
  RefPtr<AudioEncoder> encoder = GetEncoder();
  source->Close();
  encoder->Close();
  m_input->Close();
  m_output->Close();
  Inbox()->Clear();
  m_heldOutput.clear();
  m_buffers.clear();
  SetState(MasterState::Closed);
}

}  // namespace talvinor
