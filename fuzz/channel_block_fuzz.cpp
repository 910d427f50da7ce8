// The channel's block reader: any bytes as the shared block (header and
// payload; the input's length is the mapping's). The receiver never reads
// outside the block, takes only what a sound header describes, and leaves
// a block that the next sender can fill and the next receive empty again.
#include "command/ChannelBlock.h"
#include "command/ChannelText.h"
#include "command/CommandExecutor.h"
#include "fuzz/FuzzSupport.h"

using namespace talvinor;
using namespace talvinor::fuzz;

namespace {

class QuietHost : public CommandHost {
 public:
  bool IsEnabled() override { return true; }
  CommandPage* CurrentPage() override { return nullptr; }
  PageId SelectedPage() override { return PageId::Recorder; }
  void SelectPage(PageId) override {}
  void CloseProgram() override {}
  void HideWindow() override {}
  void BringToForeground() override {}
  void ShowNotice(const std::wstring&) override {}
  void ShowError(const std::wstring&) override {}
  void PostRunCommandQueue() override {}
};

}  // namespace

void WriteSeeds(const FuzzSeeds& seeds) {
  int n = 0;
  for (const wchar_t* text : {L"/cmd:rec /toggle:1 /scene:1", L"", L"/cmd:play /src:\"/tmp/録音.ogg\""}) {
    std::vector<uint8_t> memory(kChannelBlockSize, 0);
    ChannelBlock block(memory.data(), kChannelBlockSize);
    block.Initialise();
    seeds.Add("empty" + std::to_string(n), memory);
    std::vector<uint8_t> payload = ChannelText::Encode(text);
    block.Put(payload.data(), static_cast<uint32_t>(payload.size()));
    seeds.Add("full" + std::to_string(n++), memory);
  }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 2 * kChannelBlockSize) return -1;  // larger than any mapping
  // A copy of exactly the input's size, so that the sanitizers see every
  // read past the block's end.
  std::vector<uint8_t> memory(data, data + size);
  ChannelBlock block(memory.data(), static_cast<uint32_t>(size));
  const bool sound = size >= kChannelHeaderSize && block.IsSound();
  const bool full = size >= kChannelHeaderSize && block.IsFull();
  TALVINOR_FUZZ_CHECK(!full || sound);
  const uint32_t length = size >= kChannelHeaderSize ? block.Field(ChannelBlock::kLengthOffset) : 0;

  std::vector<uint8_t> message;
  bool taken = block.Take(&message);
  TALVINOR_FUZZ_CHECK(taken == full);
  if (taken) {
    TALVINOR_FUZZ_CHECK(message.size() == length && length + kChannelHeaderSize <= size);
    TALVINOR_FUZZ_CHECK(std::equal(message.begin(), message.end(), data + kChannelHeaderSize));
    TALVINOR_FUZZ_CHECK(block.IsSound() && !block.IsFull());
    QuietHost host;
    RefPtr<CommandQueue> queue = Create<CommandQueue>();
    CommandExecutor::HandleChannelMessage(&host, queue.Get(), message);
  }
  if (size < kChannelHeaderSize) return 0;
  // What the server does with a damaged header: reset it, and the channel
  // carries the next text.
  if (!block.IsSound()) block.Initialise();
  const uint8_t text[] = {'/', 0, 'x', 0, 0, 0};
  // (A mapping shorter than the capacity the reset writes stays unusable.)
  if (block.IsSound() && block.Field(ChannelBlock::kCapacityOffset) >= sizeof text) {
    TALVINOR_FUZZ_CHECK(block.Put(text, sizeof text));
    std::vector<uint8_t> back;
    TALVINOR_FUZZ_CHECK(block.Take(&back) && back == std::vector<uint8_t>(text, text + sizeof text));
  }
  return 0;
}
