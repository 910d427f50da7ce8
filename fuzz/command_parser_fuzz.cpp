// The command language: any bytes as a command text (UTF-16LE, as the channel
// carries it). Each text is a command or a clean refusal, the same every
// time; what is queued runs through the executor against a frame and a page
// that accept everything.
#include "command/Command.h"
#include "command/CommandExecutor.h"
#include "command/CommandQueue.h"
#include "fuzz/FuzzSupport.h"

using namespace talvinor;
using namespace talvinor::fuzz;

namespace {

class AcceptingPage : public CommandPage {
 public:
  bool MayLeave(LeaveReason) override { return true; }
  bool ExecuteCommand(Command* command) override { return command != nullptr; }
};

class AcceptingHost : public CommandHost {
 public:
  bool IsEnabled() override { return true; }
  CommandPage* CurrentPage() override { return &page; }
  PageId SelectedPage() override { return selected; }
  void SelectPage(PageId id) override { selected = id; }
  void CloseProgram() override {}
  void HideWindow() override {}
  void BringToForeground() override {}
  void ShowNotice(const std::wstring&) override {}
  void ShowError(const std::wstring&) override {}
  void PostRunCommandQueue() override {}

  AcceptingPage page;
  PageId selected = PageId::Recorder;
};

std::vector<uint8_t> Utf16(const std::wstring& text) {
  std::vector<uint8_t> bytes;
  for (wchar_t c : text) {
    bytes.push_back(static_cast<uint8_t>(c));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  return bytes;
}

}  // namespace

void WriteSeeds(const FuzzSeeds& seeds) {
  const wchar_t* texts[] = {
      L"/cmd:rec /toggle:1 /scene:1",
      L"/cmd:play /src:\"/home/me/録音 1.ogg\"",
      L"/cmd:rec /scene:2.0 /tel:0x1 /toggle:0b1",
      L"/CMD : stop",
      L"/cmd:pause",
      L"/cmd:restart",
      L"/cmd:exit",
      L"/cmd:hidewindow",
      L"/cmd:openwindow",
      L"/cmd:savememo",
      L"/home/me/rec/a b.ogg",
      L"\x3000 /cmd:stop\t",
  };
  int n = 0;
  for (const wchar_t* text : texts) seeds.Add("text" + std::to_string(n++), Utf16(text));
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::wstring text;
  for (size_t i = 0; i + 1 < size; i += 2) text += static_cast<wchar_t>(data[i] | data[i + 1] << 8);

  CommandParseResult result = ParseCommand(text);
  TALVINOR_FUZZ_CHECK(!result.command == (result.failure != CommandFailure::None));
  CommandParseResult again = ParseCommand(text);
  TALVINOR_FUZZ_CHECK(again.failure == result.failure && again.parseError == result.parseError);
  if (result.command) {
    TALVINOR_FUZZ_CHECK(result.command->IsKindOf(result.command->GetTypeCode()));
    TALVINOR_FUZZ_CHECK(again.command->Describe() == result.command->Describe());
  }

  AcceptingHost host;
  RefPtr<CommandQueue> queue = Create<CommandQueue>();
  TALVINOR_FUZZ_CHECK(PostCommand(queue.Get(), text) == (result.command != nullptr));
  CommandExecutor::RunQueue(&host, queue.Get());
  return 0;
}
