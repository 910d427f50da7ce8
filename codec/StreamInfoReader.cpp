#include "codec/StreamInfoReader.h"

#include "audio/FileWorker.h"
#include "audio/StopReason.h"
#include "codec/CodecFactory.h"
#include "codec/ContentProbe.h"
#include "platform/Clock.h"
#include "platform/File.h"

namespace talvinor {

namespace {
constexpr uint32_t kPollMs = 5;
}

StopReason ReadStreamInfo(const std::wstring& path, StreamInfo* info, uint32_t timeoutMs) {
  uint32_t code = ProbeFileContent(path);
  if (code == 0) {
    File file;
    return file.Open(path, FileOpenMode::Read) ? StopReason::MalformedStream : StopReason::FileOpen;
  }
  RefPtr<AudioSource> source = CreateFileSource(code);
  if (!source) return StopReason::MalformedStream;

  // This thread plays the master: it serves the source's reads until the
  // source has opened its stream.
  RefPtr<EventObject> event = Create<EventObject>();
  RefPtr<MessageQueue> inbox = Create<MessageQueue>(event);
  RefPtr<FileWorker> file = Create<FileWorker>();
  if (!file->Open(path, FileWorkerMode::Read, inbox)) return StopReason::SetupFailure;

  StopReason reason = StopReason::SetupFailure;
  bool formatReady = false;
  uint32_t start = GetTickCount();
  while (TicksSince(start, GetTickCount()) <= timeoutMs) {
    event->Reset();
    RefPtr<GraphMessage> message = inbox->Pop();
    if (!message) {
      if (formatReady && source->GetState() == ComponentState::Running) {
        reason = StopReason::None;
        break;
      }
      event->Wait(kPollMs);
      continue;
    }
    bool stop = false;
    switch (message->Kind()) {
      case MessageKind::Abort:
        reason = StopReasonFromCode(message->First());
        stop = true;
        break;
      case MessageKind::FileOpened:
        if (!source->Open(inbox, file->GetFileSize())) {
          reason = StopReason::SetupFailure;
          stop = true;
        }
        break;
      case MessageKind::ReadBlock:
        file->PostRead(message->Buffer(), message->First(), message->Second());
        break;
      case MessageKind::BlockRead:
        source->QueueInput(message->Buffer());
        break;
      case MessageKind::FormatReady:
        formatReady = true;
        break;
      default:
        break;
    }
    if (stop) break;
  }
  if (reason == StopReason::None && info) {
    info->sourceCode = code;
    source->GetFormat(&info->format);
    info->lengthMs = source->GetLength();
    info->tags.clear();
    for (uint32_t i = 0, n = source->GetTagCount(); i < n; ++i) {
      std::wstring name, value;
      source->GetTagName(i, &name);
      source->GetTagValue(i, &value);
      info->tags.emplace_back(std::move(name), std::move(value));
    }
  }
  source->Stop(3000);
  file->Close();
  inbox->Clear();
  return reason;
}

}  // namespace talvinor
