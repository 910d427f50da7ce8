#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/Worker.h"
#include "command/ChannelBlock.h"
#include "core/CriticalSectionObject.h"
#include "platform/ipc/NamedEvent.h"
#include "platform/ipc/NamedSemaphore.h"
#include "platform/ipc/SharedMemoryBlock.h"
#include "platform/window/WindowMessages.h"

namespace talvinor {

// What Receive found.
enum class ChannelReceiveResult {
  Taken,  // a message was taken out of the block
  Empty,  // nothing waiting (or a malformed block)
  Busy,   // the block was locked; the server thread wakes the receiver again shortly
  Closed, // the server is not started
};

// Places in the server thread where a test may hold it to force an interleaving.
enum class ServerThreadPoint {
  Waiting,  // the block was looked at; the wait on the written signal comes next
  Woken,    // the wait on the written signal has returned; the reset comes next
};

// The receiving side of the command channel, owned by the frame: a worker
// thread waits for the written signal and wakes the frame with a window
// message; the frame then calls Receive on its own thread.
//
// Two holes of the channel's first design are closed here:
// - the thread used to wake the frame and only then reset the written signal
//   before its next wait; a sender that wrote and signalled in between had
//   its signal erased, its message never delivered and every later sender
//   timing out. Now the thread resets first and then looks at the block
//   itself, waking the frame while it is full;
// - a Receive that found the block locked at that instant left the message
//   waiting with nothing to ask again. Now it signals the thread, which looks
//   again every few milliseconds while the block stays locked and wakes the
//   frame once the message can be taken.
// Anything any process of the user may do to the objects must not stop the
// channel for good either:
// - a block header the channel could not have written (see
//   ChannelBlock::IsSound) is reset to an empty block wherever the server
//   looks at it, and the ready signal is set again;
// - a block that stays locked for longer than any holder keeps it (a sender
//   killed between taking the semaphore and giving it back) is taken back.
class CommandServer : public Worker {
  TALVINOR_CLASS_CODES(0x1A001, 0x1210)

 public:
  // Milliseconds between checks while the block is locked. Found locked at
  // every check for kLockedGiveBackMs, the semaphore is given back: every
  // holder keeps it only for a copy of at most 1 KiB, so its holder has died.
  static constexpr uint32_t kBusyRetryMs = 5;
  static constexpr uint32_t kLockedGiveBackMs = 2000;

  explicit CommandServer(std::string baseName = kCommandChannelName);

  // The window and message to wake when a message arrives (parameter 0);
  // without one, arriving messages are discarded.
  void SetTarget(WindowId window, uint32_t message);
  // Creates the objects (taking over those a dead server left behind),
  // initialises the block and starts the thread. Fails while another live
  // server holds the channel.
  bool StartServer();
  // Takes the waiting message; `message` may be null to discard it.
  bool Receive(std::vector<uint8_t>* message);
  ChannelReceiveResult ReceiveMessage(std::vector<uint8_t>* message);
  // Stops the thread and closes and removes the objects. Must be called
  // before the last reference is released.
  void StopServer();

  // Test seam: called on the server thread at `point`. Set before StartServer.
  void SetThreadHook(std::function<void(ServerThreadPoint)> hook) { m_hook = std::move(hook); }

  uint32_t Run() override;

 private:
  // What a look at the block found.
  enum class BlockCheck {
    Idle,    // empty, or the message was handed on
    Locked,  // the semaphore was taken
  };
  // On the server thread: wakes the target while the block is full, and
  // after a written signal.
  BlockCheck CheckBlock(bool signalled);
  ChannelReceiveResult TakeMessage(std::vector<uint8_t>* message);
  // With the semaphore held: resets a damaged header. True when it did; the
  // caller sets the ready signal once it has let go of the semaphore.
  bool ResetIfDamaged(ChannelBlock& block);
  void CloseObjects();

  std::string m_baseName;
  RefPtr<CriticalSectionObject> m_lock;
  WindowId m_targetWindow = 0;  // guarded by m_lock
  uint32_t m_targetMessage = 0;  // guarded by m_lock
  std::function<void(ServerThreadPoint)> m_hook;
  // Opened before the thread starts and closed after it ended; between
  // those, the objects' operations are safe from any thread.
  SharedMemoryBlock m_block;
  NamedSemaphore m_semaphore;
  NamedEvent m_written;
  NamedEvent m_ready;
};

}  // namespace talvinor
