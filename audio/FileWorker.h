#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "audio/AudioBuffer.h"
#include "core/EventObject.h"
#include "audio/MessageQueue.h"
#include "audio/StopReason.h"
#include "core/Worker.h"
#include "core/CriticalSectionObject.h"
#include "platform/File.h"

namespace talvinor {

// How a file worker opens its file.
enum class FileWorkerMode : uint32_t {
  Read = 1,          // an existing file, read only
  CreateNew = 2,     // a new file; an existing one fails with 31
  CreateAlways = 3,  // created or emptied
};

// The thread that owns one file for a master: it opens the file, then serves
// WriteBlock and ReadBlock messages in order and answers each with
// BlockWritten or BlockRead. Failures are reported as Abort messages with
// 31 (open), 32 (write), 33 (read) or 34 (seek) and end its run.
class FileWorker : public Worker {
  TALVINOR_CLASS_CODES(0x1210)

 public:
  static constexpr uint32_t kUnknownSize = 0xFFFFFFFFu;

  FileWorker();

  // Starts the thread that opens `path`; refused while running or for an
  // empty path. Replies go to `replyQueue`.
  bool Open(const std::wstring& path, FileWorkerMode mode, RefPtr<MessageQueue> replyQueue);
  // Hands a message to the thread; false when not running or stopping.
  bool Post(RefPtr<GraphMessage> message);
  // WriteBlock: `offset` kCurrentPosition appends at the current position;
  // `count` 0 means the buffer's valid length.
  bool PostWrite(RefPtr<AudioBuffer> buffer, uint32_t offset, uint32_t count = 0);
  // ReadBlock: `count` 0 means the buffer's capacity.
  bool PostRead(RefPtr<AudioBuffer> buffer, uint32_t offset, uint32_t count);
  // The file size once opened, kUnknownSize before.
  uint32_t GetFileSize();
  bool IsOpen();
  // True when the last Open made the file (CreateNew): the file is the run's own.
  bool CreatedFile();
  uint32_t GetInboxCount() { return m_inbox->Count(); }
  void Wake();
  // Lets the inbox drain (up to 30 polls of 100 ms), then Stop(1000). True at
  // once when the thread does not run.
  bool Close();

  uint32_t Run() override;

 protected:
  ~FileWorker() override;

 private:
  // Serves one message; StopReason::None or the failure to report.
  StopReason Serve(GraphMessage* message, File* file);
  RefPtr<MessageQueue> ReplyQueue();

  RefPtr<CriticalSectionObject> m_lock;
  std::wstring m_path;                                    // guarded by m_lock
  FileWorkerMode m_mode = FileWorkerMode::Read;           // guarded by m_lock
  uint32_t m_fileSize = kUnknownSize;                     // guarded by m_lock
  bool m_opened = false;                                  // guarded by m_lock
  bool m_created = false;                                 // guarded by m_lock
  RefPtr<MessageQueue> m_inbox;
  RefPtr<MessageQueue> m_replyQueue;                      // guarded by m_lock
  RefPtr<EventObject> m_wakeEvent;                        // guarded by m_lock
};

}  // namespace talvinor
