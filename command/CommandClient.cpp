#include "command/CommandClient.h"

#include <algorithm>

#include "command/ChannelText.h"
#include "platform/Clock.h"
#include "platform/Trace.h"

namespace talvinor {

CommandClient::CommandClient(std::string baseName) : m_baseName(std::move(baseName)) {}

CommandClient::~CommandClient() { Close(); }

bool CommandClient::Open() {
  Close();
  if (m_block.Open(m_baseName + kChannelBlockSuffix) && m_semaphore.Open(m_baseName + kChannelSemaphoreSuffix) &&
      m_written.Open(m_baseName + kChannelWrittenSuffix) && m_ready.Open(m_baseName + kChannelReadySuffix)) {
    // A killed server's objects stay in the namespace, its ready signal
    // still set: only its lock on the block tells that nobody listens.
    if (m_block.HasLiveOwner()) return true;
    Trace("CommandClient::Open - \"%s\": the server that made the channel has ended\r\n", m_baseName.c_str());
  }
  Close();
  m_lastResult = ChannelSendResult::NotOpen;
  return false;
}

void CommandClient::Close() {
  m_ready.Close();
  m_written.Close();
  m_semaphore.Close();
  m_block.Close();
}

bool CommandClient::Finish(ChannelSendResult result) {
  m_lastResult = result;
  if (result != ChannelSendResult::Sent) Trace("CommandClient::Send - failed %d\r\n", static_cast<int>(result));
  return result == ChannelSendResult::Sent;
}

WaitResult CommandClient::WaitReady(uint32_t timeoutMs, bool* ended) {
  *ended = false;
  const uint32_t start = GetTickCount();
  for (;;) {
    uint32_t spent = TicksSince(start, GetTickCount());
    uint32_t slice = timeoutMs > spent ? std::min(timeoutMs - spent, kOwnerCheckMs) : 0;
    WaitResult wait = m_ready.Wait(slice);
    if (wait != WaitResult::TimedOut) return wait;
    if (!m_block.HasLiveOwner()) {
      *ended = true;
      return WaitResult::TimedOut;
    }
    if (TicksSince(start, GetTickCount()) >= timeoutMs) return WaitResult::TimedOut;
  }
}

bool CommandClient::Send(const void* data, uint32_t byteCount, uint32_t timeoutMs) {
  if (!m_block.Data() || !m_semaphore.IsOpen() || !m_written.IsOpen() || !m_ready.IsOpen())
    return Finish(ChannelSendResult::NotOpen);
  if (!data || byteCount == 0 || byteCount > kChannelMaxPayload) return Finish(ChannelSendResult::BadPayload);
  const uint32_t start = GetTickCount();
  // What to report when the time runs out: why the last attempt gave way.
  ChannelSendResult pending = ChannelSendResult::NotReady;
  uint32_t busySince = 0;  // while pending is Busy: when the block was first found locked
  for (bool first = true;; first = false) {
    uint32_t spent = TicksSince(start, GetTickCount());
    // A ready signal given back by a sender that gave way is set again at
    // once: only the clock ends the retries.
    if (!first && spent >= timeoutMs) return Finish(pending);
    bool ended = false;
    WaitResult wait = WaitReady(timeoutMs > spent ? timeoutMs - spent : 0, &ended);
    if (ended) return Finish(ChannelSendResult::NotOpen);
    if (wait != WaitResult::Signalled) return Finish(pending);
    m_ready.Reset();
    if (m_semaphore.Wait(0) != WaitResult::Signalled) {
      // Give back the ready signal we took: we wrote nothing, and were the
      // block empty, no receive would ever set it again and every later
      // sender would time out. The holder lets go within microseconds.
      m_ready.Set();
      if (pending != ChannelSendResult::Busy) busySince = GetTickCount();
      // Still locked after far longer than a copy takes: its holder may have
      // died with it. The server takes it back once it looks, so wake it.
      if (TicksSince(busySince, GetTickCount()) >= kLongBusyMs) m_written.Set();
      pending = ChannelSendResult::Busy;
      Sleep(1);
      continue;
    }
    ChannelBlock block(m_block.Data(), m_block.Size());
    if (!m_block.HasLiveOwner()) {
      // Killed since we opened it: a text written now would never be read.
      m_semaphore.Release();
      return Finish(ChannelSendResult::NotOpen);
    }
    if (!block.IsSound()) {
      // Someone wrote the header who should not have: the server resets it
      // when woken and then sets the ready signal again.
      m_semaphore.Release();
      m_written.Set();
      pending = ChannelSendResult::NotWritten;
      continue;
    }
    bool written = block.Put(static_cast<const uint8_t*>(data), byteCount);
    bool full = written || block.IsFull();
    m_semaphore.Release();
    // Not written into a block that is not full either (the payload does not
    // fit, and never will): the ready signal goes back, as no receive is due
    // to set it.
    if (!full) m_ready.Set();
    m_written.Set();
    if (written) return Finish(ChannelSendResult::Sent);
    if (!full) return Finish(ChannelSendResult::NotWritten);
    // Another sender's text is waiting; its receive sets the ready signal.
    pending = ChannelSendResult::BlockFull;
  }
}

ChannelSendResult SendCommandText(const std::wstring& text, const std::string& baseName, uint32_t timeoutMs) {
  RefPtr<CommandClient> client = Create<CommandClient>(baseName);
  if (!client->Open()) return ChannelSendResult::NotOpen;
  std::vector<uint8_t> bytes = ChannelText::Encode(text);
  client->Send(bytes.data(), static_cast<uint32_t>(bytes.size()), timeoutMs);
  ChannelSendResult result = client->LastResult();
  client->Close();
  return result;
}

const char* DescribeSendResult(ChannelSendResult result) {
  switch (result) {
    case ChannelSendResult::Sent:
      return "sent";
    case ChannelSendResult::NotOpen:
      return "no running instance is listening on the command channel";
    case ChannelSendResult::BadPayload:
      return "the message is empty or too large";
    case ChannelSendResult::NotReady:
      return "the running instance did not become ready in time";
    case ChannelSendResult::Busy:
      return "the command channel was busy";
    case ChannelSendResult::NotWritten:
      return "the message did not fit the command channel's block";
    case ChannelSendResult::BlockFull:
      return "another sender's message was still waiting in the command channel";
  }
  return "unknown";
}

}  // namespace talvinor
