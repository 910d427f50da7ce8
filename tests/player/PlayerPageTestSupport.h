#pragma once
// A player page on the virtual output, with a frame stand-in that records
// what the page asks of it and every message the page shows.
#include <QApplication>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "audio/CRecWaveOut.h"
#include "codec/WavBuilder.h"
#include "core/ProgramPaths.h"
#include "core/Singletons.h"
#include "platform/Unicode.h"
#include "platform/power/PowerServices.h"
#include "platform/wave/VirtualWaveBackend.h"
#include "platform/wave/WaveAudio.h"
#include "player/PlayerPage.h"
#include "settings/ConfigStore.h"
#include "support/TempFolder.h"
#include "support/UiWaitUntil.h"
#include "ui/SkinResources.h"
#include "ui/UiTestSupport.h"

namespace talvinor::testing {

class RecordingHost : public PageHost {
 public:
  StatusLine* MessageArea() override { return nullptr; }
  void UpdateTitle() override { ++titleUpdates; }
  void FocusDefaultControl() override { ++defaultFocus; }
  WindowId FrameId() const override { return frame; }
  int titleUpdates = 0;
  int defaultFocus = 0;
  WindowId frame = 0;
};

// The desktop services as a keeper sees them, counted.
class CountingPowerServices : public PowerServices {
 public:
  bool ResetIdleTimer() override { return ++idleResets, true; }
  bool SendDummyKey() override { return ++keys, true; }
  bool DisplayOff() override { return ++displayOffs, true; }
  bool QueryDisplayPower(DisplayPowerState* state) override {
    *state = DisplayPowerState::On;
    return true;
  }
  int idleResets = 0;
  int keys = 0;
  int displayOffs = 0;
};

// A master whose filter changes can be refused, as in the states that do.
class RefusingMaster : public CRecWaveOut {
 public:
  bool refuseFilters = false;
  bool ClearFilters() override { return !refuseFilters && CRecWaveOut::ClearFilters(); }
};

// 16-bit PCM of `ms` milliseconds at `rate` Hz, mono, that is never silent.
inline std::string TonePcm(uint32_t ms, uint32_t rate = 8000) { return Pcm(static_cast<size_t>(ms) * rate / 1000 * 2); }

class PlayerPageFixture {
 public:
  // `skinFolder`, when given, is where the skin bitmap is found; the skin is
  // then built in that type and size class.
  explicit PlayerPageFixture(double pace = 1.0, RefPtr<CRecWaveOut> master = nullptr, const std::wstring& skinFolder = L"",
                             int skinType = 1, int sizeClass = 17) {
    if (!skinFolder.empty()) {
      OverrideProgramFolder(skinFolder);
      GetConfig()->m_SkinTypeId = static_cast<uint32_t>(skinType);
      SkinResources::Get()->Build(0, sizeClass, skinType);
    } else {
      SkinResources::Get()->Build(0, 17, 1);
    }
    OverrideProgramFolder(program.WPath());
    SetWaveBackend(WaveBackendKind::Virtual);
    VirtualWaveBackend::Instance().ResetToDefaults();
    VirtualWaveDevice speaker;
    speaker.name = L"speaker";
    speaker.pace = pace;
    VirtualWaveBackend::Instance().SetDevices(WaveDirection::Output, {speaker});
    RefPtr<CONFIG> config = GetConfig();
    config->m_RecPath = files.WPath();
    config->m_WaveOutId = 0;
    config->m_SusPrvMode = 1;
    config->m_RecJustScrOff = 1;  // a player's keeper ignores these
    config->m_RecAutoScrOff = 1;
    config->m_RecAutoScrOffCyc = 0;

    frame = Create<RecordingWindow>();
    const int scale = SkinResources::Get()->Scale();
    frame->Create(L"TALVINOR", kWsVisible, {0, 0, 240 * scale, 320 * scale}, nullptr, 0);
    host.frame = frame->Id();
    PageContext context;
    context.playbackMaster = master ? master : Create<CRecWaveOut>();
    context.host = &host;
    PowerKeeperPlatform platform;
    platform.services = &power;
    keeper = Create<PowerKeeper>(0, platform);
    page = Create<PlayerPage>(context, keeper);
    page->SetHost(&host);
    page->SetMessageObserver([this](const std::wstring& text, bool error) { messages.emplace_back(text, error); });
  }
  ~PlayerPageFixture() {
    if (::testing::Test::HasFailure())
      for (const auto& m : messages) std::fprintf(stderr, "  message: %s%s\n", m.second ? "error: " : "", WideToUtf8(m.first).c_str());
    if (page) {
      page->OnClose();
      page->DestroyWindow();
    }
    page = nullptr;
    if (frame) frame->DestroyWindow();
    QApplication::processEvents();
    VirtualWaveBackend::Instance().ResetToDefaults();
    ReleaseSingletons();
    OverrideProgramFolder(L"");
  }

  bool Make() {
    const int scale = SkinResources::Get()->Scale();
    if (!page->Create(L"", kWsChild | kWsVisible, {0, 0, 240 * scale, 252 * scale}, frame.Get(), 0)) return false;
    page->OnActivate();
    return true;
  }
  std::wstring File(const std::wstring& name) const { return files.WFile(name); }
  std::wstring WriteWav(const std::string& name, uint32_t ms, uint32_t rate = 8000) {
    WriteFile(files.File(name), SimpleWav(TonePcm(ms, rate), 1, rate, 16));
    return Utf8ToWide(files.File(name));
  }
  // Refills the list and selects `name`.
  void Select(const std::wstring& name) {
    page->List()->Refill(&name);
    std::wstring selected;
    page->List()->GetSelectedName(&selected);
    ASSERT_EQ(selected, name);
  }
  bool WaitForMessage(const std::wstring& text, int timeoutMs = 5000) {
    return testing::WaitUntil([&] { return HasMessage(text); }, timeoutMs);
  }
  bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 5000) { return testing::WaitUntil(done, timeoutMs); }
  bool WaitUntilAnyMessage(int timeoutMs = 5000) {
    return testing::WaitUntil([&] { return !messages.empty(); }, timeoutMs);
  }
  bool HasMessage(const std::wstring& text) const {
    for (const auto& m : messages)
      if (m.first == text) return true;
    return false;
  }
  bool IsError(const std::wstring& text) const {
    for (const auto& m : messages)
      if (m.first == text) return m.second;
    return false;
  }
  bool WaitForState(MasterState state, int timeoutMs = 5000) {
    return testing::WaitUntil([&] { return page->Master()->IsState(state); }, timeoutMs);
  }
  // Plays `name` with the play button and waits until the page has shown it.
  bool PlayByButton(const std::wstring& name) {
    Select(name);
    messages.clear();
    page->ButtonOf(PlayerPage::kPlay)->Click();
    return WaitForMessage(L"再生を開始しました。");
  }
  bool Key(uint32_t vk, WindowId window = 0) {
    return page->OnKeyNavigate(WindowMessage{window ? window : page->List()->Id(), kWmKeyDown, vk, 1});
  }

  TempFolder program;
  TempFolder files;
  RecordingHost host;
  CountingPowerServices power;
  RefPtr<RecordingWindow> frame;
  RefPtr<PowerKeeper> keeper;
  RefPtr<PlayerPage> page;
  std::vector<std::pair<std::wstring, bool>> messages;  // (text, is error)
};

}  // namespace talvinor::testing
