#pragma once
#include <cstdint>
#include <string>

#include "command/ChannelBlock.h"
#include "core/RefPtr.h"
#include "platform/ipc/NamedEvent.h"
#include "platform/ipc/NamedSemaphore.h"
#include "platform/ipc/SharedMemoryBlock.h"

namespace talvinor {

// How a send ended.
enum class ChannelSendResult {
  Sent,         // the message is in the block and the receiver was woken
  NotOpen,      // no channel, or one whose server has ended: nothing is listening
  BadPayload,   // no payload, an empty one, or more than 1 MiB
  NotReady,     // the receiver did not become ready within the time-out
  Busy,         // the block was locked at that moment
  NotWritten,   // the payload did not fit the block, or the block is malformed
  BlockFull,    // another sender's message was still waiting in the block
};

// The sending side of the command channel: a second start of the program,
// `talvinor-cli send`, or any other sender.
class CommandClient : public RefObject {
  TALVINOR_CLASS_CODES(0x1A002)

 public:
  explicit CommandClient(std::string baseName = kCommandChannelName);
  ~CommandClient() override;

  // How often a sender waiting for the ready signal asks whether the server
  // still lives.
  static constexpr uint32_t kOwnerCheckMs = 20;
  // A block found locked for this long wakes the server, which takes back a
  // block whose holder died.
  static constexpr uint32_t kLongBusyMs = 100;

  // Opens the four objects; on any failure closes what it opened. Objects a
  // server left behind when it was killed are not a channel: without the
  // server's lock on the block, Open fails (NotOpen).
  bool Open();
  // Writes one message and wakes the receiver. True only when it was written.
  // Within `timeoutMs` a sender that lost the block to another sender (locked
  // at that instant, or full with the other's message) and one that found the
  // header damaged (the server resets it) wait for the ready signal again; a
  // server that ends meanwhile fails the send at once (NotOpen).
  bool Send(const void* data, uint32_t byteCount, uint32_t timeoutMs = 1000);
  // Closes everything; Open may be called again.
  void Close();

  ChannelSendResult LastResult() const { return m_lastResult; }

 private:
  bool Finish(ChannelSendResult result);
  // Waits for the ready signal up to `timeoutMs`, in slices between which it
  // checks the server's lock; `ended` tells a server gone from a time-out.
  WaitResult WaitReady(uint32_t timeoutMs, bool* ended);

  std::string m_baseName;
  SharedMemoryBlock m_block;
  NamedSemaphore m_semaphore;
  NamedEvent m_written;
  NamedEvent m_ready;
  ChannelSendResult m_lastResult = ChannelSendResult::NotOpen;
};

// Sends `text` (UTF-16 with its terminator) the way a second start of the
// program forwards its command line: open, send with a 1000 ms time-out, close.
ChannelSendResult SendCommandText(const std::wstring& text, const std::string& baseName = kCommandChannelName,
                                  uint32_t timeoutMs = 1000);

// A short English account of a send result, for tools.
const char* DescribeSendResult(ChannelSendResult result);

}  // namespace talvinor
