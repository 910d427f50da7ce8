#include "command/CommandClient.h"

#include "command/ChannelText.h"
#include "platform/Trace.h"

namespace talvinor {

CommandClient::CommandClient(std::string baseName) : m_baseName(std::move(baseName)) {}

CommandClient::~CommandClient() { Close(); }

bool CommandClient::Open() {
  Close();
  if (m_block.Open(m_baseName + kChannelBlockSuffix) && m_semaphore.Open(m_baseName + kChannelSemaphoreSuffix) &&
      m_written.Open(m_baseName + kChannelWrittenSuffix) && m_ready.Open(m_baseName + kChannelReadySuffix)) {
    return true;
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

bool CommandClient::Send(const void* data, uint32_t byteCount, uint32_t timeoutMs) {
  if (!m_block.Data() || !m_semaphore.IsOpen() || !m_written.IsOpen() || !m_ready.IsOpen())
    return Finish(ChannelSendResult::NotOpen);
  if (!data || byteCount == 0 || byteCount > kChannelMaxPayload) return Finish(ChannelSendResult::BadPayload);
  if (m_ready.Wait(timeoutMs) != WaitResult::Signalled) return Finish(ChannelSendResult::NotReady);
  m_ready.Reset();
  if (m_semaphore.Wait(0) != WaitResult::Signalled) {
    // Give back the ready signal we took: we wrote nothing, and were the
    // block empty, no receive would ever set it again and every later
    // sender would time out.
    m_ready.Set();
    return Finish(ChannelSendResult::Busy);
  }
  ChannelBlock block(m_block.Data(), m_block.Size());
  bool written = block.Put(static_cast<const uint8_t*>(data), byteCount);
  bool full = written || block.IsFull();
  m_semaphore.Release();
  // Not written into a block that is not full either (the payload did not
  // fit): the ready signal goes back, as no receive is due to set it.
  if (!full) m_ready.Set();
  m_written.Set();
  if (written) return Finish(ChannelSendResult::Sent);
  return Finish(full ? ChannelSendResult::BlockFull : ChannelSendResult::NotWritten);
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
