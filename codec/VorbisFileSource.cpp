#include "codec/VorbisFileSource.h"

#include <algorithm>
#include <cmath>

#include "audio/StopReason.h"
#include "core/ScopedLock.h"
#include "platform/CodePage.h"
#include "platform/Trace.h"

namespace talvinor {

namespace {
constexpr uint32_t kWaitSliceMs = 1000;
// Damaged stretches skipped in a row before the stream is given up.
constexpr int kMaxHoles = 64;

bool Idle(ComponentState s) { return s == ComponentState::Idle || s == ComponentState::Started; }
}  // namespace

VorbisFileSource::VorbisFileSource() : m_state(Create<VorbisCodecState>()) {
  m_reader = Create<ReaderInputSource>(this);
}

uint32_t VorbisFileSource::GetLength() { return Idle(GetState()) ? 0 : m_lengthMs.load(); }

uint32_t VorbisFileSource::GetPosition() { return Idle(GetState()) ? 0 : m_positionMs.load(); }

void VorbisFileSource::UpdatePosition() {
  Locker stateLock(m_state->Lock());
  double seconds = ov_time_tell(m_state->File());
  m_positionMs.store(seconds > 0 ? static_cast<uint32_t>(seconds * 1000.0) : 0);
}

bool VorbisFileSource::SeekTo(uint32_t milliseconds) {
  Locker stateLock(m_state->Lock());
  m_reader->ClearStatus();
  bool ok = ov_time_seek(m_state->File(), milliseconds * 0.001) == 0;
  UpdatePosition();
  return ok;
}

StopReason VorbisFileSource::SetupStep() {
  m_lengthMs.store(0);
  m_positionMs.store(0);
  m_holes = 0;
  SetEnded(false);
  if (!CreateInputBuffers()) return StopReason::SourceSetupFailure;
  m_reader = Create<ReaderInputSource>(this);

  Locker stateLock(m_state->Lock());
  m_state->Reset();
  int result = m_state->OpenFile(m_reader.Get(), ReaderInputSource::VorbisCallbacks());
  if (result < 0) {
    switch (m_reader->Status()) {
      case ReaderStatus::Stopped: return StopReason::None;  // the stop ends the run
      case ReaderStatus::Failed: return StopReason::SourceSetupFailure;
      case ReaderStatus::Ok: break;
    }
    Trace("VorbisFileSource - not an Ogg Vorbis stream (%d)\r\n", result);
    return StopReason::MalformedStream;
  }
  OggVorbis_File* file = m_state->File();

  ClearTags();
  if (vorbis_comment* comment = ov_comment(file, -1)) {
    for (int i = 0; i < comment->comments; ++i) {
      if (!comment->user_comments[i] || comment->comment_lengths[i] < 0) continue;
      std::string text(comment->user_comments[i], static_cast<size_t>(comment->comment_lengths[i]));
      AddTag(L"", AnsiToWide(text));
    }
  }

  vorbis_info* info = ov_info(file, -1);
  if (!info || info->channels < 1 || info->channels > 255 || info->rate < 1) return StopReason::MalformedStream;
  m_channels = info->channels;
  m_rate = info->rate;
  SetFormatLocked(PcmWaveFormat(static_cast<uint16_t>(m_channels), static_cast<uint32_t>(m_rate), 16));
  double total = ov_time_total(file, -1);
  m_lengthMs.store(total > 0 ? static_cast<uint32_t>(std::min(total * 1000.0, 4294967295.0)) : 0);
  SendFormatReady();
  SeekAtStart();
  return StopReason::None;
}

uint32_t VorbisFileSource::SeekStream(uint32_t milliseconds) {
  if (!m_state->IsFileOpen() || !SeekTo(milliseconds)) return kNoSeek;
  return milliseconds;
}

void VorbisFileSource::ResumeStep() {
  FreeInputBuffers();
  OggFileSource::ResumeStep();
}

void VorbisFileSource::ProcessStep() {
  if (IsEnded()) {
    WaitForWakeUnless([this] { return GetState() != ComponentState::Running; }, kWaitSliceMs);
    return;
  }
  RefPtr<AudioBuffer> buffer = TakeInputBuffer();
  if (!buffer) return;
  uint8_t* storage = buffer->Storage();
  const uint32_t capacity = buffer->Capacity();
  uint32_t filled = 0;
  bool end = false;
  {
    Locker stateLock(m_state->Lock());
    OggVorbis_File* file = m_state->File();
    while (filled < capacity && storage) {
      int link = -1;
      long got = ov_read(file, reinterpret_cast<char*>(storage + filled), static_cast<int>(capacity - filled), 0, 2,
                         1, &link);
      if (got == OV_HOLE && ++m_holes <= kMaxHoles) {
        // A damaged stretch was skipped; the stream goes on after it.
        Trace("VorbisFileSource - damaged data skipped\r\n");
        continue;
      }
      if (got < 1) {
        end = true;
        break;
      }
      m_holes = 0;
      vorbis_info* info = ov_info(file, link);
      if (!info || info->channels != m_channels || info->rate != m_rate) {
        Trace("VorbisFileSource - link %d changes the format; the stream ends before it\r\n", link);
        end = true;
        break;
      }
      filled += static_cast<uint32_t>(got);
    }
  }
  UpdatePosition();
  buffer->SetValid(storage, filled);
  ReaderStatus status = m_reader->Status();
  SendPcm(std::move(buffer));
  if (!end) return;
  if (status == ReaderStatus::Stopped) return;  // the stop ends the run
  if (status == ReaderStatus::Failed) {
    Abort(StopReason::SourceFailure);
    return;
  }
  SendEndOfStream();
}

bool VorbisFileSource::FinishStep() {
  Inbox()->Clear();
  ClearInputQueue();
  FreeInputBuffers();
  m_state->Reset();
  return true;
}

}  // namespace talvinor
