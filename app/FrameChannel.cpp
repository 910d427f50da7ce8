#include "app/FrameChannel.h"

#include "command/CommandExecutor.h"

namespace talvinor {

bool FrameChannel::Start(WindowId window, CommandHost* host) {
  Stop();
  m_server = talvinor::Create<CommandServer>(m_channelName);
  m_server->SetTarget(window, kWmTakeChannelMessage);
  if (m_server->StartServer()) return true;
  m_server = nullptr;  // a refused start has closed what it made
  host->ShowError(kCommandServerStartError);
  return false;
}

void FrameChannel::Stop() {
  if (!m_server) return;
  m_server->StopServer();
  m_server = nullptr;
}

}  // namespace talvinor
