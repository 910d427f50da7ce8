#include "audio/FileWorker.h"

#include "audio/StopReason.h"
#include "core/ScopedLock.h"
#include "platform/Clock.h"
#include "platform/Trace.h"

namespace talvinor {

namespace {
constexpr uint32_t kClosePollMs = 100;
constexpr uint32_t kClosePolls = 30;
constexpr uint32_t kIdleWaitMs = 1000;
}  // namespace

FileWorker::FileWorker()
    : m_lock(Create<CriticalSectionObject>()), m_inbox(Create<MessageQueue>()), m_wakeEvent(Create<EventObject>()) {
  m_inbox->SetEvent(m_wakeEvent);
}

FileWorker::~FileWorker() {
  if (!Close()) {
    RequestStop();
    Wake();
    Wait(3000);
  }
  m_inbox->Clear();
}

bool FileWorker::Open(const std::wstring& path, FileWorkerMode mode, RefPtr<MessageQueue> replyQueue) {
  if (IsRunning() || path.empty()) return false;
  {
    Locker lock(m_lock.Get());
    m_wakeEvent = Create<EventObject>();
    m_inbox->SetEvent(m_wakeEvent);
    m_inbox->Clear();
    m_path = path;
    m_mode = mode;
    m_replyQueue = std::move(replyQueue);
    m_fileSize = kUnknownSize;
    m_opened = false;
    m_created = false;
  }
  return Start();
}

bool FileWorker::Post(RefPtr<GraphMessage> message) {
  if (!IsRunning() || IsStopRequested()) return false;
  return m_inbox->Post(std::move(message));
}

bool FileWorker::PostWrite(RefPtr<AudioBuffer> buffer, uint32_t offset, uint32_t count) {
  if (!buffer) return false;
  return Post(MakeMessage<MessageKind::WriteBlock>(std::move(buffer), offset, count));
}

bool FileWorker::PostRead(RefPtr<AudioBuffer> buffer, uint32_t offset, uint32_t count) {
  if (!buffer) return false;
  return Post(MakeMessage<MessageKind::ReadBlock>(std::move(buffer), offset, count));
}

uint32_t FileWorker::GetFileSize() {
  Locker lock(m_lock.Get());
  return m_fileSize;
}

bool FileWorker::IsOpen() {
  Locker lock(m_lock.Get());
  return m_opened;
}

bool FileWorker::CreatedFile() {
  Locker lock(m_lock.Get());
  return m_created;
}

void FileWorker::Wake() {
  RefPtr<EventObject> event;
  {
    Locker lock(m_lock.Get());
    event = m_wakeEvent;
  }
  event->Set();
}

RefPtr<MessageQueue> FileWorker::ReplyQueue() {
  Locker lock(m_lock.Get());
  return m_replyQueue;
}

bool FileWorker::Close() {
  if (!IsRunning()) return true;
  Wake();
  for (uint32_t poll = 0; m_inbox->Count() != 0; ++poll) {
    if (poll >= kClosePolls) return false;
    Sleep(kClosePollMs);
  }
  LockState();
  RequestStop();
  UnlockState();
  Wake();
  return Wait(1000);
}

uint32_t FileWorker::Run() {
  std::wstring path;
  FileWorkerMode mode;
  {
    Locker lock(m_lock.Get());
    path = m_path;
    mode = m_mode;
  }
  RefPtr<MessageQueue> reply = ReplyQueue();
  File file;
  FileOpenMode openMode;
  switch (mode) {
    case FileWorkerMode::Read: openMode = FileOpenMode::Read; break;
    case FileWorkerMode::CreateNew: openMode = FileOpenMode::CreateNew; break;
    case FileWorkerMode::CreateAlways: openMode = FileOpenMode::CreateAlways; break;
    default: return 0;
  }
  uint32_t size = 0;
  // A file of 4 GiB or more is refused by the open itself.
  const bool opened = file.Open(path, openMode);
  if (opened && mode == FileWorkerMode::CreateNew) {
    Locker lock(m_lock.Get());
    m_created = true;
  }
  if (!opened || !file.GetSize(&size)) {
    file.Close();
    if (reply) reply->Post(MakeAbortMessage(StopReason::FileOpen));
    m_inbox->Clear();
    return 0;
  }
  // A file being written is locked, so a repair pass of another process
  // (the program's start-up, talvinor-cli repair) leaves it alone.
  if (openMode != FileOpenMode::Read) file.TryLockExclusive();
  {
    Locker lock(m_lock.Get());
    m_fileSize = size;
    m_opened = true;
  }
  if (reply) reply->Post(MakeMessage<MessageKind::FileOpened>(RefPtr<RefObject>(this)));

  while (!IsStopRequested()) {
    RefPtr<EventObject> event;
    {
      Locker lock(m_lock.Get());
      event = m_wakeEvent;
    }
    event->Reset();
    RefPtr<GraphMessage> message = m_inbox->Pop();
    if (!message) {
      if (!IsStopRequested()) event->Wait(kIdleWaitMs);
      continue;
    }
    StopReason failure = Serve(message.Get(), &file);
    if (failure != StopReason::None) {
      if (reply) reply->Post(MakeAbortMessage(failure));
      break;
    }
  }
  file.Close();
  {
    Locker lock(m_lock.Get());
    m_opened = false;
  }
  // What is left would never be served; its buffers go back to their owners
  // by being released.
  m_inbox->Clear();
  return 0;
}

StopReason FileWorker::Serve(GraphMessage* message, File* file) {
  RefPtr<MessageQueue> reply = ReplyQueue();
  MessageKind kind = message->Kind();
  if (kind != MessageKind::WriteBlock && kind != MessageKind::ReadBlock) return StopReason::None;
  RefPtr<AudioBuffer> buffer = message->Buffer();
  if (!buffer) return kind == MessageKind::WriteBlock ? StopReason::FileWrite : StopReason::FileRead;
  uint32_t offset = message->First();
  uint32_t count = message->Second();
  if (kind == MessageKind::WriteBlock) {
    if (count == 0) count = buffer->Length();
    if (count > buffer->Length()) return StopReason::FileWrite;
    if (offset != kCurrentPosition) {
      // In place, never moving the append position back: a header brought
      // up to date in mid-recording must not make the next block overwrite
      // sound, while the first header still comes before the sound.
      uint32_t position = 0;
      if (!file->Seek(0, SeekOrigin::Current, &position)) return StopReason::FileSeek;
      if (count != 0 && !file->WriteAt(offset, buffer->Data(), count)) return StopReason::FileWrite;
      const uint64_t end = static_cast<uint64_t>(offset) + count;
      if (end > position && !file->Seek(static_cast<int64_t>(end), SeekOrigin::Begin)) return StopReason::FileSeek;
    } else if (count != 0 && !file->Write(buffer->Data(), count)) {
      return StopReason::FileWrite;
    }
    if (reply) reply->Post(MakeMessage<MessageKind::BlockWritten>(buffer, count));
  } else {
    if (offset != kCurrentPosition) {
      uint32_t position = 0;
      if (!file->Seek(offset, SeekOrigin::Begin, &position) || position != offset) return StopReason::FileSeek;
    }
    uint8_t* storage = buffer->Storage();
    if (count == 0) count = buffer->Capacity();
    if (count > buffer->Capacity() || !storage) return StopReason::FileRead;
    uint32_t done = 0;
    if (!file->Read(storage, count, &done)) return StopReason::FileRead;
    buffer->SetValid(storage, done);
    if (reply) reply->Post(MakeMessage<MessageKind::BlockRead>(buffer));
  }
  return StopReason::None;
}

}  // namespace talvinor
