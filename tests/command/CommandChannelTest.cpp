#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "command/ChannelTestSupport.h"
#include "command/CommandClient.h"
#include "platform/ManualResetEvent.h"
#include "platform/ipc/NamedEvent.h"
#include "platform/ipc/NamedSemaphore.h"
#include "platform/ipc/SharedMemoryBlock.h"
#include "support/ChildProcess.h"

namespace talvinor {
namespace {

using testing::ChannelReceiver;
using testing::UniqueChannelName;

ChannelSendResult SendText(const std::string& name, const std::wstring& text, uint32_t timeoutMs = 1000) {
  return SendCommandText(text, name, timeoutMs);
}

TEST(CommandChannel, DeliversUpTo511CharactersAndRefuses512) {
  std::string name = UniqueChannelName();
  ChannelReceiver receiver(name);
  ASSERT_TRUE(receiver.server->StartServer());

  std::wstring longest(511, L'x');
  longest[0] = L'録';
  ASSERT_EQ(SendText(name, longest), ChannelSendResult::Sent);
  auto message = receiver.Next(5000);
  ASSERT_TRUE(message);
  EXPECT_EQ(message->size(), 1024u);
  EXPECT_EQ(ChannelText::Decode(*message), longest);

  EXPECT_EQ(SendText(name, std::wstring(512, L'y')), ChannelSendResult::NotWritten);
  // The refusal left the channel ready without a receive in between.
  EXPECT_EQ(SendText(name, L"/cmd:stop", 100), ChannelSendResult::Sent);
  EXPECT_EQ(receiver.NextText(5000), L"/cmd:stop");
}

TEST(CommandChannel, TheEmptyTextArrivesAsTwoZeroBytes) {
  std::string name = UniqueChannelName();
  ChannelReceiver receiver(name);
  ASSERT_TRUE(receiver.server->StartServer());
  ASSERT_EQ(SendText(name, L""), ChannelSendResult::Sent);
  auto message = receiver.Next(5000);
  ASSERT_TRUE(message);
  EXPECT_EQ(*message, (std::vector<uint8_t>{0, 0}));
}

TEST(CommandChannel, ASecondSenderWaitsForTheFirstToBeTaken) {
  std::string name = UniqueChannelName();
  ChannelReceiver receiver(name);
  ASSERT_TRUE(receiver.server->StartServer());
  ASSERT_EQ(SendText(name, L"/cmd:rec"), ChannelSendResult::Sent);

  std::atomic<bool> secondDone{false};
  ChannelSendResult second = ChannelSendResult::NotOpen;
  std::thread sender([&] {
    second = SendText(name, L"/cmd:stop", 10000);
    secondDone = true;
  });
  // The first message is still in the block: the second sender is waiting.
  ASSERT_TRUE(receiver.window.TakeMessage(kWmTakeChannelMessage, 5000));
  EXPECT_FALSE(secondDone);
  std::vector<uint8_t> first;
  ASSERT_TRUE(receiver.server->Receive(&first));
  EXPECT_EQ(ChannelText::Decode(first), L"/cmd:rec");
  EXPECT_EQ(receiver.NextText(5000), L"/cmd:stop");
  sender.join();
  EXPECT_EQ(second, ChannelSendResult::Sent);
}

TEST(CommandChannel, SendersFailWithoutAServerOrAReceiver) {
  std::string name = UniqueChannelName();
  EXPECT_EQ(SendText(name, L"/cmd:stop"), ChannelSendResult::NotOpen);

  ChannelReceiver receiver(name);
  ASSERT_TRUE(receiver.server->StartServer());
  ASSERT_EQ(SendText(name, L"/cmd:stop"), ChannelSendResult::Sent);
  // Nobody receives the first message, so the next sender times out.
  EXPECT_EQ(SendText(name, L"/cmd:rec", 100), ChannelSendResult::NotReady);

  receiver.server->StopServer();
  EXPECT_EQ(SendText(name, L"/cmd:stop"), ChannelSendResult::NotOpen) << "a stopped server removes its objects";
}

// Two senders can both pass the ready signal; the one that comes second
// finds the block full and must neither overwrite nor claim success.
TEST(CommandChannel, ASenderFindingTheBlockFullLeavesTheWaitingMessageAlone) {
  std::string name = UniqueChannelName();
  ChannelReceiver receiver(name);
  ASSERT_TRUE(receiver.server->StartServer());
  ASSERT_EQ(SendText(name, L"/cmd:rec"), ChannelSendResult::Sent);
  NamedEvent ready;
  ASSERT_TRUE(ready.Open(name + kChannelReadySuffix));
  ASSERT_TRUE(ready.Set());  // as if a second sender had seen it set too
  EXPECT_EQ(SendText(name, L"/cmd:exit"), ChannelSendResult::BlockFull);
  EXPECT_EQ(receiver.NextText(5000), L"/cmd:rec");
  EXPECT_FALSE(receiver.Next(50));
}

TEST(CommandChannel, WithoutATargetMessagesAreDiscardedAndSendersNotBlocked) {
  std::string name = UniqueChannelName();
  RefPtr<CommandServer> server = Create<CommandServer>(name);
  ASSERT_TRUE(server->StartServer());
  for (int i = 0; i < 5; ++i) EXPECT_EQ(SendText(name, L"/cmd:stop", 5000), ChannelSendResult::Sent) << i;
  server->StopServer();
}

TEST(CommandChannel, OneLiveServerPerChannel) {
  std::string name = UniqueChannelName();
  ChannelReceiver first(name);
  ASSERT_TRUE(first.server->StartServer());
  RefPtr<CommandServer> second = Create<CommandServer>(name);
  EXPECT_FALSE(second->StartServer());
  second->StopServer();
  // The refused server removed none of the live one's objects.
  EXPECT_EQ(SendText(name, L"/cmd:pause"), ChannelSendResult::Sent);
  EXPECT_EQ(first.NextText(5000), L"/cmd:pause");
}

// The sender writes and signals after the receiver took the previous message
// but before the server thread resets the written signal: the reset erases
// the signal, and only the thread's look at the block finds the message.
TEST(CommandChannel, AMessageSignalledJustBeforeTheResetIsStillDelivered) {
  std::string name = UniqueChannelName();
  ChannelReceiver receiver(name);
  ManualResetEvent waiting, held, release;
  std::atomic<int> wakes{0};
  receiver.server->SetThreadHook([&](ServerThreadPoint point) {
    if (point == ServerThreadPoint::Waiting) {
      waiting.Set();
    } else if (++wakes == 1) {
      held.Set();
      release.Wait(10000);
    }
  });
  ASSERT_TRUE(receiver.server->StartServer());
  // A message written before the thread's first look is handed on by that
  // look without a wake; this case needs the wake, so the thread must wait first.
  ASSERT_TRUE(waiting.Wait(5000));

  ASSERT_EQ(SendText(name, L"/cmd:rec"), ChannelSendResult::Sent);
  ASSERT_TRUE(held.Wait(5000));  // the thread woke and stands before its reset
  std::vector<uint8_t> first;
  ASSERT_TRUE(receiver.server->Receive(&first));  // the frame takes the first message
  EXPECT_EQ(ChannelText::Decode(first), L"/cmd:rec");
  ASSERT_EQ(SendText(name, L"/cmd:stop"), ChannelSendResult::Sent);  // written and signalled
  while (receiver.window.TakeMessage(kWmTakeChannelMessage, 0)) {
  }
  release.Set();  // now the thread resets the signal

  EXPECT_EQ(receiver.NextText(5000), L"/cmd:stop");
  EXPECT_EQ(SendText(name, L"/cmd:pause"), ChannelSendResult::Sent) << "later senders are not stalled";
  EXPECT_EQ(receiver.NextText(5000), L"/cmd:pause");
}

// Receive finds the block locked by someone else at that instant: the
// receiver must be woken again until the message is taken.
TEST(CommandChannel, AReceiveThatFindsTheBlockLockedIsRetried) {
  std::string name = UniqueChannelName();
  ChannelReceiver receiver(name);
  ASSERT_TRUE(receiver.server->StartServer());
  NamedSemaphore semaphore;
  ASSERT_TRUE(semaphore.Open(name + kChannelSemaphoreSuffix));

  ASSERT_EQ(SendText(name, L"/cmd:rec"), ChannelSendResult::Sent);
  ASSERT_TRUE(receiver.window.TakeMessage(kWmTakeChannelMessage, 5000));
  ASSERT_EQ(semaphore.Wait(0), WaitResult::Signalled);  // another process holds the block
  std::vector<uint8_t> message;
  EXPECT_EQ(receiver.server->ReceiveMessage(&message), ChannelReceiveResult::Busy);
  // Held over several retries, then let go.
  Sleep(3 * CommandServer::kBusyRetryMs);
  ASSERT_TRUE(semaphore.Release());

  EXPECT_EQ(receiver.NextText(5000), L"/cmd:rec");
}

// A sender that finds the block locked gives back the ready signal it took;
// otherwise, with the block empty, no receive would set it again.
TEST(CommandChannel, ASenderThatFindsTheBlockLockedLeavesTheChannelReady) {
  std::string name = UniqueChannelName();
  ChannelReceiver receiver(name);
  ASSERT_TRUE(receiver.server->StartServer());
  NamedSemaphore semaphore;
  ASSERT_TRUE(semaphore.Open(name + kChannelSemaphoreSuffix));
  NamedEvent ready;
  ASSERT_TRUE(ready.Open(name + kChannelReadySuffix));
  ASSERT_EQ(ready.Wait(5000), WaitResult::Signalled);

  ASSERT_EQ(semaphore.Wait(0), WaitResult::Signalled);
  EXPECT_EQ(SendText(name, L"/cmd:rec", 300), ChannelSendResult::Busy);
  ASSERT_TRUE(semaphore.Release());
  EXPECT_TRUE(ready.IsSet());
  EXPECT_EQ(SendText(name, L"/cmd:stop", 100), ChannelSendResult::Sent);
  EXPECT_EQ(receiver.NextText(5000), L"/cmd:stop");
}

TEST(CommandChannel, AServerTakesOverObjectsADeadServerLeftBehind) {
  std::string name = UniqueChannelName();
  // A process dies leaving what a killed server could: its objects with the
  // block full, the semaphore taken and the ready signal reset.
  testing::ChildProcess dead([&] {
    SharedMemoryBlock block;
    if (!block.CreateOwned(name + kChannelBlockSuffix, kChannelBlockSize)) return 1;
    ChannelBlock view(block.Data(), block.Size());
    view.Initialise();
    std::vector<uint8_t> stale = ChannelText::Encode(L"/cmd:exit");
    if (!view.Put(stale.data(), static_cast<uint32_t>(stale.size()))) return 2;
    NamedSemaphore semaphore;
    NamedEvent written, ready;
    if (!semaphore.Create(name + kChannelSemaphoreSuffix, 0) || !written.Create(name + kChannelWrittenSuffix) ||
        !ready.Create(name + kChannelReadySuffix))
      return 3;
    ::_exit(0);  // no Close: every name stays behind
  });
  ASSERT_EQ(dead.Join(5000), 0);
  EXPECT_EQ(SendText(name, L"/cmd:rec"), ChannelSendResult::NotOpen) << "left behind, not listening";

  ChannelReceiver receiver(name);
  ASSERT_TRUE(receiver.server->StartServer());
  EXPECT_EQ(SendText(name, L"/cmd:stop"), ChannelSendResult::Sent);
  EXPECT_EQ(receiver.NextText(5000), L"/cmd:stop") << "the dead server's message is not delivered";
}

// Anything in the block is untrusted: a header claiming a huge capacity must
// not make the receiver copy beyond the mapping, and no header, however
// forged, may stop the channel: the server resets it.
TEST(CommandChannel, AForgedHeaderIsResetAndTheNextSendArrives) {
  std::string name = UniqueChannelName();
  ChannelReceiver receiver(name);
  ASSERT_TRUE(receiver.server->StartServer());
  SharedMemoryBlock block;
  ASSERT_TRUE(block.Open(name + kChannelBlockSuffix));
  ChannelBlock view(block.Data(), block.Size());
  view.SetField(ChannelBlock::kCapacityOffset, 0x100000);
  view.SetField(ChannelBlock::kLengthOffset, 0xF0000);
  view.SetField(ChannelBlock::kStateOffset, 2);
  std::vector<uint8_t> message;
  EXPECT_EQ(receiver.server->ReceiveMessage(&message), ChannelReceiveResult::Empty);
  EXPECT_TRUE(message.empty());
  EXPECT_TRUE(view.IsSound()) << "the receive reset the header";
  EXPECT_EQ(view.Field(ChannelBlock::kCapacityOffset), kChannelCapacity);
  EXPECT_EQ(SendText(name, L"/cmd:stop"), ChannelSendResult::Sent);
  EXPECT_EQ(receiver.NextText(5000), L"/cmd:stop");

  // Forged while nobody receives: the sender wakes the server thread, which
  // resets the block, and the same send goes through.
  struct Forge {
    uint32_t offset, value;
  };
  for (Forge forge : {Forge{ChannelBlock::kMagicOffset, 0x58585858}, Forge{ChannelBlock::kStateOffset, 0},
                      Forge{ChannelBlock::kLengthOffset, 7}, Forge{ChannelBlock::kCapacityOffset, 0}}) {
    view.SetField(forge.offset, forge.value);
    EXPECT_EQ(SendText(name, L"/cmd:pause", 5000), ChannelSendResult::Sent) << forge.offset;
    EXPECT_EQ(receiver.NextText(5000), L"/cmd:pause") << forge.offset;
  }
}

// A block full with length 0 could never be taken: without the reset every
// later sender would find it full until the server restarts.
TEST(CommandChannel, AFullBlockOfLengthZeroDoesNotBlockTheChannel) {
  std::string name = UniqueChannelName();
  ChannelReceiver receiver(name);
  ASSERT_TRUE(receiver.server->StartServer());
  SharedMemoryBlock block;
  ASSERT_TRUE(block.Open(name + kChannelBlockSuffix));
  ChannelBlock(block.Data(), block.Size()).SetField(ChannelBlock::kStateOffset, 2);
  EXPECT_EQ(SendText(name, L"/cmd:rec", 5000), ChannelSendResult::Sent);
  EXPECT_EQ(receiver.NextText(5000), L"/cmd:rec");
}

// A sender killed between taking the block's semaphore and giving it back
// leaves it taken for good; the server takes it back.
TEST(CommandChannel, ABlockLeftLockedByAKilledSenderIsTakenBack) {
  std::string name = UniqueChannelName();
  ChannelReceiver receiver(name);
  ASSERT_TRUE(receiver.server->StartServer());
  testing::ChildProcess sender([&] {
    NamedSemaphore semaphore;
    if (!semaphore.Open(name + kChannelSemaphoreSuffix) || semaphore.Wait(0) != WaitResult::Signalled) return 1;
    ::_exit(0);  // dies holding it
  });
  ASSERT_EQ(sender.Join(5000), 0);
  EXPECT_EQ(SendText(name, L"/cmd:rec", 100), ChannelSendResult::Busy);
  EXPECT_EQ(SendText(name, L"/cmd:stop", 3 * CommandServer::kLockedGiveBackMs), ChannelSendResult::Sent);
  EXPECT_EQ(receiver.NextText(5000), L"/cmd:stop");
}

// A server that dies while a sender waits for its ready signal: the sender
// is told at once that nobody listens, not after its whole time-out.
TEST(CommandChannel, ASenderWaitingOnAServerThatIsKilledFailsAsNotOpen) {
  std::string name = UniqueChannelName();
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  // A live owner whose ready signal never comes, as a server busy elsewhere.
  testing::ChildProcess server([&] {
    SharedMemoryBlock block;
    NamedSemaphore semaphore;
    NamedEvent written, readyEvent;
    if (!block.CreateOwned(name + kChannelBlockSuffix, kChannelBlockSize)) return 1;
    ChannelBlock(block.Data(), block.Size()).Initialise();
    if (!semaphore.Create(name + kChannelSemaphoreSuffix, 1) || !written.Create(name + kChannelWrittenSuffix) ||
        !readyEvent.Create(name + kChannelReadySuffix))
      return 2;
    if (::write(ready[1], "r", 1) != 1) return 3;
    for (;;) ::pause();
  });
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  ::close(ready[0]);
  ::close(ready[1]);

  RefPtr<CommandClient> client = Create<CommandClient>(name);
  ASSERT_TRUE(client->Open()) << "the owner lives";
  std::thread killer([&] {
    Sleep(100);
    server.Kill();
  });
  std::vector<uint8_t> bytes = ChannelText::Encode(L"/cmd:rec");
  EXPECT_FALSE(client->Send(bytes.data(), static_cast<uint32_t>(bytes.size()), 60000));
  killer.join();
  EXPECT_EQ(client->LastResult(), ChannelSendResult::NotOpen);
  client->Close();
  EXPECT_FALSE(client->Open()) << "what it left is no channel";
}

}  // namespace
}  // namespace talvinor
