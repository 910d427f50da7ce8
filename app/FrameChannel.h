#pragma once
#include <string>

#include "command/CommandHost.h"
#include "command/CommandServer.h"
#include "core/RefPtr.h"

namespace talvinor {

// The frame's end of the command channel, from the frame's creation to its
// close: the server whose thread wakes the frame with kWmTakeChannelMessage
// for each text a later start sends. A channel that cannot be opened (another
// instance or listener holds it) is reported on the frame, which runs on
// without one.
class FrameChannel {
 public:
  explicit FrameChannel(std::string channelName) : m_channelName(std::move(channelName)) {}
  // The server's thread never outlives the frame.
  ~FrameChannel() { Stop(); }
  FrameChannel(const FrameChannel&) = delete;
  FrameChannel& operator=(const FrameChannel&) = delete;

  // Serves the channel for `window`; on failure shows the error on `host`
  // and keeps no server. False then.
  bool Start(WindowId window, CommandHost* host);
  void Stop();

  bool IsRunning() const { return m_server != nullptr; }
  // The running server; null when there is none.
  CommandServer* Server() const { return m_server.Get(); }

 private:
  std::string m_channelName;
  RefPtr<CommandServer> m_server;  // null while not serving
};

}  // namespace talvinor
