#include "command/CommandServer.h"

#include "core/ScopedLock.h"
#include "platform/Clock.h"
#include "platform/Trace.h"

namespace talvinor {

CommandServer::CommandServer(std::string baseName)
    : m_baseName(std::move(baseName)), m_lock(Create<CriticalSectionObject>()) {}

void CommandServer::SetTarget(WindowId window, uint32_t message) {
  Locker lock(m_lock.Get());
  m_targetWindow = window;
  m_targetMessage = message;
}

bool CommandServer::StartServer() {
  if (IsRunning()) return false;
  if (!m_block.CreateOwned(m_baseName + kChannelBlockSuffix, kChannelBlockSize)) {
    Trace("CommandServer::StartServer - no block (%d)\r\n", m_block.LastError());
    return false;
  }
  ChannelBlock(m_block.Data(), m_block.Size()).Initialise();
  if (!m_semaphore.Create(m_baseName + kChannelSemaphoreSuffix, 1) ||
      !m_written.Create(m_baseName + kChannelWrittenSuffix) || !m_ready.Create(m_baseName + kChannelReadySuffix) ||
      !Start()) {
    Trace("CommandServer::StartServer - failed\r\n");
    CloseObjects();
    return false;
  }
  return true;
}

void CommandServer::CloseObjects() {
  // The block goes last: while its owner lock is held no other server can
  // start and create objects that these removals would take away.
  m_ready.Close();
  m_written.Close();
  m_semaphore.Close();
  m_block.Close();
}

void CommandServer::StopServer() {
  if (IsRunning()) {
    RequestStop();
    m_written.Set();
    if (!Wait(3000)) Trace("CommandServer::StopServer - thread did not end\r\n");
  }
  CloseObjects();
}

ChannelReceiveResult CommandServer::ReceiveMessage(std::vector<uint8_t>* message) {
  ChannelReceiveResult result = TakeMessage(message);
  // Whoever holds the block now, the thread looks again shortly and wakes
  // the receiver while the message is still there.
  if (result == ChannelReceiveResult::Busy) m_written.Set();
  return result;
}

bool CommandServer::ResetIfDamaged(ChannelBlock& block) {
  if (block.IsSound()) return false;
  Trace("CommandServer - damaged block header (magic %08x capacity %u length %u state %u); reset\r\n",
        block.Field(ChannelBlock::kMagicOffset), block.Field(ChannelBlock::kCapacityOffset),
        block.Field(ChannelBlock::kLengthOffset), block.Field(ChannelBlock::kStateOffset));
  block.Initialise();
  return true;
}

ChannelReceiveResult CommandServer::TakeMessage(std::vector<uint8_t>* message) {
  if (!m_semaphore.IsOpen() || !m_block.Data()) return ChannelReceiveResult::Closed;
  if (m_semaphore.Wait(0) != WaitResult::Signalled) return ChannelReceiveResult::Busy;
  ChannelBlock block(m_block.Data(), m_block.Size());
  bool taken = !ResetIfDamaged(block) && block.Take(message);
  m_semaphore.Release();
  m_ready.Set();
  return taken ? ChannelReceiveResult::Taken : ChannelReceiveResult::Empty;
}

bool CommandServer::Receive(std::vector<uint8_t>* message) {
  return ReceiveMessage(message) == ChannelReceiveResult::Taken;
}

CommandServer::BlockCheck CommandServer::CheckBlock(bool signalled) {
  Locker lock(m_lock.Get());
  if (m_targetWindow == 0) {
    // Nobody to hand it to: discard it, so that senders are not blocked.
    return TakeMessage(nullptr) == ChannelReceiveResult::Busy ? BlockCheck::Locked : BlockCheck::Idle;
  }
  if (m_semaphore.Wait(0) != WaitResult::Signalled) return BlockCheck::Locked;
  ChannelBlock block(m_block.Data(), m_block.Size());
  bool reset = ResetIfDamaged(block);
  bool full = block.IsFull();
  m_semaphore.Release();
  if (reset) m_ready.Set();
  // Every written signal wakes the receiver, even when the block turns out
  // empty: its Receive sets the ready signal again after a sender that wrote
  // nothing (a text too long, a full block) had reset it.
  if (full || signalled) PostMessage(m_targetWindow, m_targetMessage, 0, 0);
  return BlockCheck::Idle;
}

uint32_t CommandServer::Run() {
  m_ready.Set();
  bool locked = false;      // the last look found the block locked ...
  uint32_t lockedSince = 0;  // ... and every look since this tick
  bool signalled = false;  // a written signal not yet passed on
  for (;;) {
    m_written.Reset();
    if (IsStopRequested()) break;
    // Looking after the reset closes the lost wake-up: a message written
    // before the reset is seen here, one written after it sets the signal
    // again and ends the wait below at once.
    BlockCheck check = CheckBlock(signalled);
    uint32_t timeout = kInfinite;
    if (check == BlockCheck::Locked) {
      // Someone holds the block (a sender, the receiver, a Receive that gave
      // up): look again shortly rather than trust that a signal follows.
      if (!locked) lockedSince = GetTickCount();
      locked = true;
      timeout = kBusyRetryMs;
      if (TicksSince(lockedSince, GetTickCount()) >= kLockedGiveBackMs) {
        // Locked far longer than any holder keeps it: its holder died with
        // it. Given back, the block is looked at (and its header checked)
        // at once.
        Trace("CommandServer - block locked for %u ms; its holder is gone, taking it back\r\n",
              kLockedGiveBackMs);
        m_semaphore.Release();
        locked = false;
        timeout = 0;
      }
    } else {
      locked = false;
      signalled = false;
    }
    if (m_hook) m_hook(ServerThreadPoint::Waiting);
    WaitResult wait = m_written.Wait(timeout);
    if (wait == WaitResult::Failed) {
      Trace("CommandServer - wait failed\r\n");
      break;
    }
    if (IsStopRequested()) break;
    if (wait == WaitResult::Signalled) signalled = true;
    if (m_hook) m_hook(ServerThreadPoint::Woken);
  }
  return 0;
}

}  // namespace talvinor
