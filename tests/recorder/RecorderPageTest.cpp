// The recorder page in a frame of its own, recording from the virtual input
// with a scripted message box: buttons, keys and commands in every order the
// page allows, its confirmations, texts and colours, the format line, the
// elapsed time, leaving the page, the recorded files and the call waits.
#include "recorder/RecorderPage.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QTimer>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "app/FrameTestSupport.h"
#include "audio/DeviceTestSupport.h"
#include "codec/StreamInfoReader.h"
#include "codec/StreamTags.h"
#include "command/CommandParser.h"
#include "platform/FileSystem.h"
#include "platform/power/PowerServices.h"
#include "platform/wave/VirtualWaveBackend.h"
#include "platform/wave/WaveAudio.h"
#include "settings/ConfigStore.h"
#include "support/ScriptedMessageBox.h"
#include "support/TempFolder.h"
#include "support/UiWaitUntil.h"

namespace talvinor {
namespace {

using testing::ScriptedMessageBox;
using testing::TempFolder;
using testing::WaitUntil;

// The desktop's power services as a record of the calls they received.
class RecordingServices : public PowerServices {
 public:
  bool ResetIdleTimer() override { return Record("ResetIdleTimer"); }
  bool SendDummyKey() override { return Record("SendDummyKey"); }
  bool DisplayOff() override { return Record("DisplayOff"); }
  bool QueryDisplayPower(DisplayPowerState* state) override {
    *state = DisplayPowerState::On;
    return Record("QueryDisplayPower");
  }
  size_t Count(const std::string& call) const {
    size_t n = 0;
    for (const std::string& c : calls) n += c == call;
    return n;
  }
  std::vector<std::string> calls;

 private:
  bool Record(const char* call) {
    calls.emplace_back(call);
    return true;
  }
};

// Which of the two message colours a status line background still shows:
// the fade blends the flash colour towards white, which keeps the strongest
// channel the strongest until the very end.
enum class Shade { Notice, Error, Neither };
Shade ShadeOf(ColorRef background) {
  const int r = RedOf(background), g = GreenOf(background), b = BlueOf(background);
  if (g > r && g > b) return Shade::Notice;  // 0x80FF80
  if (r > g && r > b) return Shade::Error;   // 0x4040FF (red)
  return Shade::Neither;
}

// 2026/12/8 09:05:00 and `seconds` later (within the hour).
std::tm FixedTime(int seconds) {
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 11;
  t.tm_mday = 8;
  t.tm_hour = 9;
  t.tm_min = 5 + seconds / 60;
  t.tm_sec = seconds % 60;
  return t;
}

class RecorderPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetWaveBackend(WaveBackendKind::Virtual);
    input.name = L"Virtual input";
    input.signal = VirtualSignal::Counter;
    input.pace = 4.0;
    // A device buffer of two seconds: a loaded machine may be late with its
    // buffers without the input losing sound.
    input.fifoMs = 2000;
    VirtualWaveBackend::Instance().SetDevices(WaveDirection::Input, {input});
    m_saved = config->Clone();
    config->m_RecPath = recordings.WPath();
    config->m_RecTelPath = calls.WPath();
    config->m_WaveInId = 0;
    config->m_RecSceneSelect = 0;
    config->m_QueryRecStop = 0;
    config->m_QueryRecPause = 0;
    config->m_QueryRecChange = 1;
    config->m_QueryRecClose = 1;
    config->m_SusPrvMode = 0;
    config->m_RecJustScrOff = 0;
    config->m_RecAutoScrOff = 0;
    config->m_TelInfoInName = 0;
    config->m_RecTelDelay = 0;
    config->m_RecTelInfoDelay = 0;
    config->m_RecTelStart = 0;
    SetScene(0, L"WAV", kCodecPcm, 1, 8000, 16);
    SetScene(1, L"Vorbis", kCodecVorbis, 2, 44100, 16);
    SetScene(2, L"Speex", kCodecSpeex, 1, 16000, 16);
    config->m_RecSceneList[1]->m_RecOvQuality = 0.3;
    config->m_RecSceneList[2]->m_RecSpxQuality = 8;
    config->m_RecSceneList[2]->m_RecSpxComplexity = 3;

    master = Create<CRecWaveIn>();
    keeper = Create<PowerKeeper>(kPowerKeeperDisplaySwitching,
                                 PowerKeeperPlatform{&services, scope, [this] { return ticks; }});
    page = Create<RecorderPage>(master, keeper);
    // Each start a second later than the one before, so that starts in
    // quick succession never meet the duplicate-name rule.
    page->SetLocalClock([this] { return FixedTime(m_second++); });
    frame.setup.pages = [this](PageId id, const PageContext&) -> RefPtr<Page> {
      if (id == PageId::Recorder) return page;
      return Create<testing::TestPage>(id, &frame.log);
    };
    frame.frame = Create<FrameWindow>(frame.setup);
    frame.frame->SetMasters(master, nullptr, nullptr);
    ASSERT_TRUE(frame.frame->CreateFrame());
    frame.frame->Show(true);
    QApplication::processEvents();
    ASSERT_EQ(frame.frame->Current(), page.Get());
  }

  void TearDown() override {
    if (master && !master->IsState(MasterState::Closed)) master->Close();
    QApplication::processEvents();
    if (frame.frame && frame.frame->IsCreated()) frame.frame->CloseProgram();
    QApplication::processEvents();
    config->CopyFrom(*m_saved);
    VirtualWaveBackend::Instance().ResetToDefaults();
  }

  void SetScene(int index, const std::wstring& name, uint32_t codec, uint32_t channels, uint32_t rate,
                uint32_t bits) {
    CONFIG_SCENE& scene = *config->m_RecSceneList[static_cast<size_t>(index)];
    scene.m_Name = name;
    scene.m_CodecMode = codec;
    scene.m_Cnannels = channels;
    scene.m_SampleRate = rate;
    scene.m_SampleBits = bits;
    scene.m_RecTelUse = 0;
    scene.m_SpxDenoise = 0;
  }

  std::wstring Message() const { return frame.frame->MessageArea()->ShownText(); }
  Shade MessageShade() const { return ShadeOf(frame.frame->MessageArea()->CurrentBackground()); }
  // Waits for a text in the message area.
  bool Says(const std::wstring& text, int timeoutMs = 10000) {
    return WaitUntil([&] { return Message() == text; }, timeoutMs);
  }
  bool ShowsRunning() {
    return WaitUntil([&] { return master->IsState(MasterState::Running) && !page->StartButton()->IsEnabled(); });
  }
  bool ShowsClosed() {
    return WaitUntil([&] { return master->IsState(MasterState::Closed) && page->StartButton()->IsEnabled(); });
  }
  void Key(uint32_t key, bool repeat = false, uint32_t message = kWmKeyDown) {
    WindowMessage m{page->Id(), message, key, repeat ? kKeyRepeatBit : 0};
    frame.frame->PreTranslateKey(m);
  }
  void Post(const std::wstring& text) { frame.Post(text); }
  // Every file in a folder.
  static std::vector<std::string> Files(const TempFolder& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
      names.push_back(entry.path().filename().string());
    return names;
  }
  // Runs until at least `ms` of sound have been recorded.
  bool RecordsFor(uint32_t ms) {
    return WaitUntil([&] { return master->GetPosition() >= ms; });
  }

  RefPtr<CONFIG> config = GetConfig();
  VirtualWaveDevice input;
  TempFolder recordings;
  TempFolder calls;
  TempFolder registryFolder;
  PowerScope scope{registryFolder.Path(), "PowerManager/ReloadActivityTimeouts-page-" + std::to_string(::getpid())};
  RecordingServices services;
  uint32_t ticks = 1000;
  testing::TestFrame frame;
  RefPtr<CRecWaveIn> master;
  RefPtr<PowerKeeper> keeper;
  RefPtr<RecorderPage> page;

 private:
  RefPtr<CONFIG> m_saved;
  int m_second = 100;
};

TEST_F(RecorderPageTest, TheButtonsStartPauseResumeAndStopWithTheirTextsControlsAndTitle) {
  EXPECT_EQ(page->ElapsedLabel()->GetText(), L"00:00:00");
  EXPECT_FALSE(page->StopButton()->IsEnabled());
  EXPECT_FALSE(page->PauseButton()->IsEnabled());
  EXPECT_EQ(frame.frame->GetText(), L"TALVINOR");

  page->StartButton()->Click();
  ASSERT_TRUE(ShowsRunning());
  EXPECT_TRUE(Says(RecorderPage::kStarted));
  EXPECT_EQ(MessageShade(), Shade::Notice);
  EXPECT_TRUE(page->StopButton()->IsEnabled());
  EXPECT_TRUE(page->PauseButton()->IsEnabled());
  EXPECT_FALSE(page->SceneList()->IsEnabled());
  EXPECT_FALSE(page->PauseButton()->IsToggled());
  EXPECT_EQ(frame.frame->GetText(), L"録音中 TALVINOR");
  EXPECT_EQ(page->FileNameLabel()->GetText().substr(0, 5), L"名前:rz");

  page->PauseButton()->Click();
  EXPECT_TRUE(Says(RecorderPage::kPaused));
  EXPECT_EQ(MessageShade(), Shade::Notice);
  EXPECT_TRUE(master->IsState(MasterState::Paused));
  EXPECT_TRUE(page->PauseButton()->IsToggled());
  EXPECT_FALSE(page->StartButton()->IsEnabled());

  page->PauseButton()->Click();
  EXPECT_TRUE(Says(RecorderPage::kResumed));
  EXPECT_FALSE(page->PauseButton()->IsToggled());

  page->StopButton()->Click();
  ASSERT_TRUE(ShowsClosed());
  EXPECT_TRUE(Says(RecorderPage::kEnded));
  EXPECT_EQ(MessageShade(), Shade::Notice);
  EXPECT_FALSE(page->StopButton()->IsEnabled());
  EXPECT_FALSE(page->PauseButton()->IsEnabled());
  EXPECT_TRUE(page->SceneList()->IsEnabled());
  EXPECT_EQ(frame.frame->GetText(), L"TALVINOR");
  EXPECT_EQ(Files(recordings).size(), 1u);

  // Stopped, the stop and pause requests only say so.
  page->StopRecording(true);
  EXPECT_EQ(Message(), RecorderPage::kAlreadyStopped);
  EXPECT_EQ(MessageShade(), Shade::Notice);
  EXPECT_FALSE(page->TogglePause());
  EXPECT_EQ(Message(), RecorderPage::kPauseResumeFailed);
  EXPECT_EQ(MessageShade(), Shade::Error);
  EXPECT_FALSE(page->PauseButton()->IsToggled());
}

TEST_F(RecorderPageTest, TheKeysActWhenPressedNotWhenRepeatedOrReleased) {
  Key('2');
  EXPECT_EQ(Message(), RecorderPage::kAlreadyStopped);
  EXPECT_EQ(MessageShade(), Shade::Notice);

  Key('1', true);
  Key('1', false, kWmKeyUp);
  QApplication::processEvents();
  EXPECT_TRUE(master->IsState(MasterState::Closed)) << "a repeat or a release starts nothing";

  Key('1');
  ASSERT_TRUE(ShowsRunning());
  Key('1');
  EXPECT_EQ(Message(), RecorderPage::kAlreadyRecording);
  Key('3');
  EXPECT_TRUE(WaitUntil([&] { return master->IsState(MasterState::Paused); }));
  Key('3');
  EXPECT_TRUE(ShowsRunning());
  Key('2');
  ASSERT_TRUE(ShowsClosed());

  // Enter starts, except in the scene list, where it belongs to the list.
  page->SceneList()->SetFocus();
  QApplication::processEvents();
  if (page->SceneList()->HasFocus()) {
    Key(kVkReturn);
    QApplication::processEvents();
    EXPECT_TRUE(master->IsState(MasterState::Closed));
  }
  frame.frame->FocusDefaultControl();
  QApplication::processEvents();
  Key(kVkReturn);
  ASSERT_TRUE(ShowsRunning());
  Key('2');
  EXPECT_TRUE(ShowsClosed());
}

TEST_F(RecorderPageTest, TheExternalCommandsRecordPauseRestartAndStop) {
  Post(L"/cmd:rec /scene:1");
  ASSERT_TRUE(ShowsRunning());
  EXPECT_EQ(page->SceneList()->GetCurSel(), 1);
  EXPECT_EQ(page->FormatLabel()->GetText(), L"Vorbis 44khz 16bit Q0.3 ステレオ");
  EXPECT_FALSE(page->IsToggleRecording());

  Post(L"/cmd:pause");
  EXPECT_TRUE(WaitUntil([&] { return master->IsState(MasterState::Paused) && page->PauseButton()->IsToggled(); }));
  Post(L"/cmd:pause");
  EXPECT_TRUE(Says(RecorderPage::kCommandPauseFailed));
  EXPECT_EQ(MessageShade(), Shade::Error);
  Post(L"/cmd:restart");
  EXPECT_TRUE(ShowsRunning());
  Post(L"/cmd:restart");
  EXPECT_TRUE(Says(RecorderPage::kResumeFailed));
  Post(L"/cmd:rec /scene:0");
  EXPECT_TRUE(Says(RecorderPage::kAlreadyRecording));
  Post(L"/cmd:stop");
  ASSERT_TRUE(ShowsClosed());
  EXPECT_TRUE(Says(RecorderPage::kEnded));
  Post(L"/cmd:stop");
  EXPECT_TRUE(Says(RecorderPage::kAlreadyStopped));
  EXPECT_EQ(MessageShade(), Shade::Notice);

  // A rec while recording still chose its scene; one that no item
  // carries keeps the selection.
  EXPECT_EQ(page->SceneList()->GetCurSel(), 0);
  Post(L"/cmd:rec /scene:12");
  ASSERT_TRUE(ShowsRunning());
  EXPECT_EQ(page->SceneList()->GetCurSel(), 0);
  Post(L"/cmd:stop");
  EXPECT_TRUE(ShowsClosed());
}

TEST_F(RecorderPageTest, ToggleTwiceStartsAndThenStopsWithoutAskingWhateverTheStopQuestionSays) {
  config->m_QueryRecStop = 1;
  ScriptedMessageBox box;
  Post(L"/cmd:rec /toggle:1 /scene:0");
  ASSERT_TRUE(ShowsRunning());
  EXPECT_TRUE(page->IsToggleRecording());
  Post(L"/cmd:rec /toggle:1 /scene:0");
  ASSERT_TRUE(ShowsClosed());
  EXPECT_FALSE(page->IsToggleRecording());
  EXPECT_TRUE(box.Requests().empty());
  EXPECT_EQ(Files(recordings).size(), 1u);

  // A recording started otherwise is not stopped by a toggling rec.
  page->StartRecording(0);
  ASSERT_TRUE(ShowsRunning());
  Post(L"/cmd:rec /toggle:1 /scene:0");
  EXPECT_TRUE(Says(RecorderPage::kAlreadyRecording));
  EXPECT_TRUE(master->IsState(MasterState::Running));
  // ... but it is now a toggling recording.
  Post(L"/cmd:rec /toggle:1 /scene:0");
  EXPECT_TRUE(ShowsClosed());
  EXPECT_TRUE(box.Requests().empty());
}

TEST_F(RecorderPageTest, ConfirmationsAnsweredNoLeaveTheRecordingRunningAndYesProceeds) {
  config->m_QueryRecStop = 1;
  config->m_QueryRecPause = 1;
  ScriptedMessageBox box({kIdNo, kIdNo, kIdYes, kIdYes});
  ASSERT_TRUE(page->StartRecording(0));
  ASSERT_TRUE(ShowsRunning());

  EXPECT_FALSE(page->StopRecording(true));
  EXPECT_TRUE(master->IsState(MasterState::Running));
  EXPECT_FALSE(page->TogglePause());
  EXPECT_TRUE(master->IsState(MasterState::Running));
  EXPECT_FALSE(page->PauseButton()->IsToggled());
  EXPECT_TRUE(page->TogglePause());
  EXPECT_TRUE(WaitUntil([&] { return master->IsState(MasterState::Paused); }));
  EXPECT_TRUE(page->StopRecording(true));
  EXPECT_TRUE(ShowsClosed());

  ASSERT_EQ(box.Requests().size(), 4u);
  EXPECT_EQ(box.Texts(), (std::vector<std::wstring>{RecorderPage::kAskStop, RecorderPage::kAskPause,
                                                    RecorderPage::kAskPause, RecorderPage::kAskStop}));
  for (const MessageBoxRequest& request : box.Requests()) {
    EXPECT_EQ(request.caption, L"TALVINOR");
    EXPECT_EQ(request.flags, 0x124u);
    EXPECT_EQ(request.owner, frame.frame->Id());
  }

  // Without being asked (the key, a command without toggle) no question.
  ASSERT_TRUE(page->StartRecording(0));
  ASSERT_TRUE(ShowsRunning());
  EXPECT_TRUE(page->StopRecording(false));
  EXPECT_TRUE(ShowsClosed());
  EXPECT_EQ(box.Requests().size(), 4u);
}

TEST_F(RecorderPageTest, AStartThatCannotBeginSaysWhyAndStartsNothing) {
  page->SetLocalClock([] { return FixedTime(7); });
  // No scene selected.
  page->SceneList()->SetCurSel(ComboBox::kNone);
  EXPECT_FALSE(page->StartRecording(0));
  EXPECT_EQ(Message(), RecorderPage::kInvalidScene);
  EXPECT_EQ(MessageShade(), Shade::Notice);
  page->SceneList()->SetCurSel(0);

  // No folder.
  config->m_RecPath = recordings.WPath() + L"/missing";
  EXPECT_FALSE(page->StartRecording(0));
  EXPECT_EQ(Message(), RecorderPage::kNoFolder);
  EXPECT_EQ(MessageShade(), Shade::Error);
  config->m_RecPath = recordings.WPath();

  // The same second in the same folder.
  testing::WriteBytes(recordings.File("rz261208_090507.wav"), "x");
  EXPECT_FALSE(page->StartRecording(0));
  EXPECT_EQ(Message(), RecorderPage::kDuplicateName);
  EXPECT_EQ(MessageShade(), Shade::Error);
  EXPECT_EQ(testing::ReadBytes(recordings.File("rz261208_090507.wav")), "x") << "the other file is untouched";

  // A scene without a known codec starts nothing and says nothing.
  frame.frame->MessageArea()->SetNormalText(L"");
  config->m_RecSceneList[0]->m_CodecMode = 3;
  page->UpdateFormatLine();
  EXPECT_EQ(page->FormatLabel()->GetText(), L"録音形式を設定してください。 モノラル");
  EXPECT_FALSE(page->StartRecording(0));
  EXPECT_EQ(Message(), L"");
  EXPECT_TRUE(master->IsState(MasterState::Closed));
  EXPECT_EQ(Files(recordings).size(), 1u);
}

TEST_F(RecorderPageTest, TheFormatLineDescribesEachCodecAndLeavesItselfAloneWithoutAScene) {
  struct Case {
    uint32_t codec, channels, rate, bits;
    std::wstring line;
  };
  config->m_RecSceneList[4]->m_RecOvQuality = 1.0;
  config->m_RecSceneList[4]->m_RecSpxQuality = 10;
  config->m_RecSceneList[4]->m_RecSpxComplexity = 4;
  for (const Case& c : {Case{kCodecPcm, 1, 44100, 16, L"WAV 44khz 16bit モノラル"},
                        Case{kCodecPcm, 2, 11025, 8, L"WAV 11khz 8bit ステレオ"},
                        Case{kCodecVorbis, 2, 22050, 16, L"Vorbis 22khz 16bit Q1.0 ステレオ"},
                        Case{kCodecSpeex, 1, 32000, 16, L"Speex 32khz 16bit Q10 CQ4 モノラル"},
                        Case{7, 2, 8000, 16, L"録音形式を設定してください。 ステレオ"},
                        Case{kCodecPcm, 3, 8000, 16, L"WAV 8khz 16bit"}}) {
    SetScene(4, L"S", c.codec, c.channels, c.rate, c.bits);
    page->SceneList()->SetCurSel(4);
    page->UpdateFormatLine();
    EXPECT_EQ(page->FormatLabel()->GetText(), c.line);
  }
  // The tenths of a Vorbis quality are cut, not rounded.
  SetScene(4, L"S", kCodecVorbis, 1, 44100, 16);
  config->m_RecSceneList[4]->m_RecOvQuality = 0.46;
  page->UpdateFormatLine();
  EXPECT_EQ(page->FormatLabel()->GetText(), L"Vorbis 44khz 16bit Q0.4 モノラル");

  page->SceneList()->SetCurSel(ComboBox::kNone);
  page->UpdateFormatLine();
  EXPECT_EQ(page->FormatLabel()->GetText(), L"Vorbis 44khz 16bit Q0.4 モノラル");

  // The list holds every slot, named or not, and the user's choice updates the line.
  config->m_RecSceneSelect = 2;
  page->OnActivate();
  ASSERT_EQ(page->SceneList()->GetCount(), 8);
  EXPECT_EQ(page->SceneList()->GetItemText(0), L"WAV");
  EXPECT_EQ(page->SceneList()->GetCurSel(), 2);
  EXPECT_EQ(page->FormatLabel()->GetText(), L"Speex 16khz 16bit Q8 CQ3 モノラル");
  auto* combo = qobject_cast<QComboBox*>(page->SceneList()->Widget());
  ASSERT_NE(combo, nullptr);
  combo->setCurrentIndex(0);
  emit combo->activated(0);
  QApplication::processEvents();
  EXPECT_EQ(page->FormatLabel()->GetText(), L"WAV 8khz 16bit モノラル");
}

TEST_F(RecorderPageTest, TheElapsedTimeCountsHoursBeyondTwoDigits) {
  uint32_t position = 0;
  page->SetPositionSource([&] { return position; });
  ASSERT_TRUE(page->StartRecording(0));
  ASSERT_TRUE(ShowsRunning());
  struct Case {
    uint32_t ms;
    const wchar_t* text;
  };
  for (Case c : {Case{3599999, L"00:59:59"}, Case{3600000, L"01:00:00"}, Case{86399000, L"23:59:59"},
                 Case{360000000, L"100:00:00"}, Case{360061999, L"100:01:01"}}) {
    position = c.ms;
    EXPECT_TRUE(WaitUntil([&] { return page->ElapsedLabel()->GetText() == c.text; }, 3000))
        << page->ElapsedLabel()->GetText().size();
  }
  page->StopRecording(false);
  EXPECT_TRUE(ShowsClosed());
}

TEST_F(RecorderPageTest, LeavingWhileRecordingFollowsEachReason) {
  // Stopped: every reason may leave, nothing is asked.
  {
    ScriptedMessageBox box;
    for (LeaveReason r : {LeaveReason::UserSwitch, LeaveReason::MenuExit, LeaveReason::CommandSwitch,
                          LeaveReason::CommandExit})
      EXPECT_TRUE(page->MayLeave(r));
    EXPECT_TRUE(box.Requests().empty());
  }
  ScriptedMessageBox box({kIdNo, kIdYes, kIdNo, kIdYes});
  ASSERT_TRUE(page->StartRecording(0));
  ASSERT_TRUE(ShowsRunning());

  EXPECT_FALSE(page->MayLeave(LeaveReason::CommandSwitch));
  EXPECT_EQ(Message(), RecorderPage::kNoCommandSwitch);
  EXPECT_EQ(MessageShade(), Shade::Error);
  EXPECT_TRUE(master->IsState(MasterState::Running));

  EXPECT_FALSE(page->MayLeave(LeaveReason::UserSwitch));
  EXPECT_TRUE(master->IsState(MasterState::Running));
  EXPECT_TRUE(page->MayLeave(LeaveReason::UserSwitch));
  EXPECT_TRUE(ShowsClosed());

  ASSERT_TRUE(page->StartRecording(0));
  ASSERT_TRUE(ShowsRunning());
  EXPECT_FALSE(page->MayLeave(LeaveReason::MenuExit));
  EXPECT_TRUE(master->IsState(MasterState::Running));
  EXPECT_TRUE(page->MayLeave(LeaveReason::MenuExit));
  EXPECT_TRUE(ShowsClosed());
  EXPECT_EQ(box.Texts(), (std::vector<std::wstring>{RecorderPage::kAskLeaveForSwitch, RecorderPage::kAskLeaveForSwitch,
                                                    RecorderPage::kAskLeaveForClose, RecorderPage::kAskLeaveForClose}));

  // The exit command ends the recording without a question, and so do the
  // switch and the close when their questions are turned off.
  config->m_QueryRecChange = 0;
  config->m_QueryRecClose = 0;
  for (LeaveReason r : {LeaveReason::CommandExit, LeaveReason::UserSwitch, LeaveReason::MenuExit}) {
    ASSERT_TRUE(page->StartRecording(0));
    ASSERT_TRUE(ShowsRunning());
    EXPECT_TRUE(page->MayLeave(r));
    EXPECT_TRUE(ShowsClosed());
  }
  EXPECT_EQ(box.Requests().size(), 4u);

  // The frame's tab change asks the page and keeps the tab on a refusal.
  config->m_QueryRecChange = 1;
  box.Add(kIdNo);
  ASSERT_TRUE(page->StartRecording(0));
  ASSERT_TRUE(ShowsRunning());
  frame.ChooseTab(1);
  QApplication::processEvents();
  EXPECT_EQ(frame.frame->Current(), page.Get());
  EXPECT_TRUE(master->IsState(MasterState::Running));
  page->StopRecording(false);
  EXPECT_TRUE(ShowsClosed());
}

TEST_F(RecorderPageTest, AFinishedWavHoldsExactlyWhatTheInputProduced) {
  ASSERT_TRUE(page->StartRecording(0));
  ASSERT_TRUE(ShowsRunning());
  ASSERT_TRUE(RecordsFor(1500));
  page->StopRecording(false);
  ASSERT_TRUE(ShowsClosed());
  const std::vector<std::string> files = Files(recordings);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(page->FileNameLabel()->GetText(), L"名前:" + Utf8ToWide(files[0]));
  const std::string bytes = testing::ReadBytes(recordings.File(files[0]));
  ASSERT_GT(bytes.size(), 44u + 16000u);
  EXPECT_EQ(testing::ReadLe(bytes, 40, 4), bytes.size() - 44) << "the header holds the final size";
  const std::string pcm = bytes.substr(44);
  ASSERT_EQ(VirtualWaveBackend::Instance().Stats(WaveDirection::Input, 0).overruns, 0u) << "the input lost sound";
  EXPECT_TRUE(pcm == testing::VirtualSignalBytes(input, testing::DeviceFormat(8000, 1, 16), 0,
                                                 static_cast<uint32_t>(pcm.size() / 2)));
}

TEST_F(RecorderPageTest, OggRecordingsCarryTheRecorderAndTheStartTimeAsTags) {
  input.signal = VirtualSignal::Sine;
  VirtualWaveBackend::Instance().SetDevices(WaveDirection::Input, {input});
  int second = 10;
  page->SetLocalClock([&] { return FixedTime(second); });
  for (int scene : {1, 2}) {
    SCOPED_TRACE(scene);
    ++second;
    page->SceneList()->SetCurSel(scene);
    ASSERT_TRUE(page->StartRecording(0));
    ASSERT_TRUE(ShowsRunning());
    ASSERT_TRUE(RecordsFor(500));
    page->StopRecording(false);
    ASSERT_TRUE(ShowsClosed());
    const std::wstring name = scene == 1 ? L"rz261208_0905" + std::to_wstring(second) + L".ogg"
                                         : L"rz261208_0905" + std::to_wstring(second) + L".spx";
    StreamInfo info;
    ASSERT_EQ(ReadStreamInfo(recordings.WFile(name), &info), StopReason::None);
    const std::wstring date = L"2026/12/8 09:05:" + std::to_wstring(second);
    bool recorder = false;
    bool recordDate = false;
    for (const auto& [tagName, value] : info.tags) {
      const std::wstring entry = FormatTagForDisplay(tagName, value);
      recorder = recorder || entry == L"RECORDER=TALVINOR";
      recordDate = recordDate || entry == L"RECORDDATE=" + date;
    }
    EXPECT_TRUE(recorder);
    EXPECT_TRUE(recordDate);
    EXPECT_EQ(info.format.channels, scene == 1 ? 2 : 1);
    EXPECT_GT(info.lengthMs, 400u);
  }
}

TEST_F(RecorderPageTest, EachWayARecordingEndsHasItsTextAndColour) {
  page->SetLocalClock([] { return FixedTime(30); });
  // 31: the name cannot be created (a link to nowhere is in the way).
  std::filesystem::create_symlink(recordings.File("nowhere"), recordings.File("rz261208_090530.wav"));
  ASSERT_TRUE(page->StartRecording(0));
  ASSERT_TRUE(Says(RecorderPage::kCannotOpenFile));
  EXPECT_EQ(MessageShade(), Shade::Error);
  ASSERT_TRUE(ShowsClosed());
  EXPECT_TRUE(std::filesystem::is_symlink(recordings.File("rz261208_090530.wav"))) << "what was there stays";
  std::filesystem::remove(recordings.File("rz261208_090530.wav"));

  // 91: the device is not available; the empty file goes again.
  VirtualWaveDevice busy = input;
  busy.openResult = MMSYSERR_ALLOCATED;
  VirtualWaveBackend::Instance().SetDevices(WaveDirection::Input, {busy});
  page->SetLocalClock([] { return FixedTime(31); });
  ASSERT_TRUE(page->StartRecording(0));
  ASSERT_TRUE(Says(RecorderPage::kDeviceUnavailable));
  EXPECT_EQ(MessageShade(), Shade::Error);
  ASSERT_TRUE(ShowsClosed());
  EXPECT_TRUE(Files(recordings).empty());
  EXPECT_EQ(frame.frame->GetText(), L"TALVINOR");

  // Any other reason: its code. Speex goes up to 48 kHz.
  VirtualWaveBackend::Instance().SetDevices(WaveDirection::Input, {input});
  SetScene(3, L"Speex 96", kCodecSpeex, 1, 96000, 16);
  page->SceneList()->SetCurSel(3);
  page->SetLocalClock([] { return FixedTime(32); });
  ASSERT_TRUE(page->StartRecording(0));
  ASSERT_TRUE(WaitUntil([&] { return Message().rfind(L"エラーが発生しました。(CODE:", 0) == 0; }));
  ASSERT_TRUE(ShowsClosed());
  EXPECT_EQ(Message(), L"エラーが発生しました。(CODE:" + std::to_wstring(StopCode(master->GetStopReason())) + L")");
  EXPECT_EQ(MessageShade(), Shade::Error);
  EXPECT_TRUE(Files(recordings).empty());

  // 32: a write fails (the process may not write a file beyond 4 KiB); what
  // was recorded stays.
  page->SceneList()->SetCurSel(0);
  page->SetLocalClock([] { return FixedTime(33); });
  struct rlimit saved {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto previous = ::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool started = page->StartRecording(0);
  const bool said = started && Says(RecorderPage::kFileAccessError);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, previous);
  ASSERT_TRUE(said) << WideToUtf8(Message());
  EXPECT_EQ(MessageShade(), Shade::Error);
  ASSERT_TRUE(ShowsClosed());
  EXPECT_EQ(Files(recordings), std::vector<std::string>{"rz261208_090533.wav"});
}

TEST_F(RecorderPageTest, ACallRecordingWaitsWithoutBlockingAndGoesToTheCallFolder) {
  config->m_RecTelDelay = 2000;
  config->m_RecSceneList[0]->m_RecTelUse = 1;
  bool otherWorkRan = false;
  bool stillWaiting = false;
  Post(L"/cmd:rec /scene:0 /tel:1");
  QApplication::processEvents();
  ASSERT_TRUE(page->IsCallStartWaiting());
  EXPECT_TRUE(master->IsState(MasterState::Closed));
  // The event loop goes on meanwhile.
  QTimer::singleShot(10, [&] {
    otherWorkRan = true;
    stillWaiting = page->IsCallStartWaiting();
  });
  ASSERT_TRUE(WaitUntil([&] { return otherWorkRan; }));
  EXPECT_TRUE(stillWaiting);
  ASSERT_TRUE(ShowsRunning());
  EXPECT_FALSE(page->IsCallStartWaiting());
  EXPECT_EQ(page->CallValue(), 1u);
  Post(L"/cmd:stop");
  ASSERT_TRUE(ShowsClosed());
  EXPECT_EQ(Files(calls).size(), 1u);
  EXPECT_TRUE(Files(recordings).empty());
  EXPECT_EQ(page->CallValue(), 0u);

  // A stop that arrives during the wait comes after the start, as it would
  // after a wait on the spot: the recording starts and stops.
  config->m_RecTelDelay = 10000;
  std::wstring first;
  master->GetFileName(&first);
  ASSERT_TRUE(page->StartRecording(2));
  EXPECT_TRUE(page->IsCallStartWaiting());
  Post(L"/cmd:stop");
  EXPECT_TRUE(WaitUntil([&] { return !page->IsCallStartWaiting(); }, 3000));
  ASSERT_TRUE(ShowsClosed());
  EXPECT_TRUE(Says(RecorderPage::kEnded));
  EXPECT_EQ(master->GetStopReason(), StopReason::ByOwner) << "the second run was started, then stopped";
  std::wstring second;
  master->GetFileName(&second);
  EXPECT_NE(second, first);
  EXPECT_EQ(ParentFolder(second), calls.WPath());

  // A rec without a call value never waits.
  config->m_RecSceneList[0]->m_RecTelUse = 0;
  ASSERT_TRUE(page->StartRecording(0));
  EXPECT_FALSE(page->IsCallStartWaiting());
  EXPECT_TRUE(ShowsRunning());
  page->StopRecording(false);
  EXPECT_TRUE(ShowsClosed());
}

TEST_F(RecorderPageTest, TheCallInformationRenameWaitsForTheHistoryAndRunsOnlyWhenAsked) {
  std::vector<std::wstring> renamed;
  page->SetCallInfoRename([&](CRecWaveIn& recording, Page&) {
    std::wstring name;
    recording.GetFileName(&name);
    renamed.push_back(name);
    return true;
  });
  // Not asked for: the file keeps its name and the call flag goes at once.
  ASSERT_TRUE(page->StartRecording(1));
  ASSERT_TRUE(ShowsRunning());
  page->StopRecording(false);
  ASSERT_TRUE(ShowsClosed());
  EXPECT_FALSE(page->IsCallRenameWaiting());
  EXPECT_EQ(page->CallValue(), 0u);
  EXPECT_TRUE(renamed.empty());

  config->m_TelInfoInName = 1;
  config->m_RecTelInfoDelay = 300;
  ASSERT_TRUE(page->StartRecording(1));
  ASSERT_TRUE(ShowsRunning());
  std::wstring path;
  master->GetFileName(&path);
  page->StopRecording(false);
  ASSERT_TRUE(ShowsClosed());
  EXPECT_TRUE(page->IsCallRenameWaiting());
  EXPECT_TRUE(renamed.empty());
  EXPECT_EQ(page->CallValue(), 1u);
  EXPECT_TRUE(WaitUntil([&] { return !renamed.empty(); }, 3000));
  EXPECT_EQ(renamed, std::vector<std::wstring>{path});
  EXPECT_EQ(page->CallValue(), 0u);

  // A new start during the wait renames the finished file first.
  config->m_RecTelInfoDelay = 10000;
  ASSERT_TRUE(page->StartRecording(1));
  ASSERT_TRUE(ShowsRunning());
  master->GetFileName(&path);
  page->StopRecording(false);
  ASSERT_TRUE(ShowsClosed());
  ASSERT_TRUE(page->IsCallRenameWaiting());
  ASSERT_TRUE(page->StartRecording(0));
  ASSERT_EQ(renamed.size(), 2u);
  EXPECT_EQ(renamed[1], path);
  ASSERT_TRUE(ShowsRunning());
  page->StopRecording(false);
  EXPECT_TRUE(ShowsClosed());
  EXPECT_EQ(renamed.size(), 2u) << "a recording without a call value is not renamed";
}

TEST_F(RecorderPageTest, ThePowerKeeperFollowsTheRecording) {
  config->m_SusPrvMode = 1;
  config->m_RecJustScrOff = 1;
  ASSERT_TRUE(page->StartRecording(0));
  ASSERT_TRUE(ShowsRunning());
  EXPECT_EQ(services.Count("DisplayOff"), 1u) << "the display goes dark as the recording starts";
  ticks += 6000;
  EXPECT_TRUE(WaitUntil([&] { return services.Count("ResetIdleTimer") == 1; }, 3000)) << "the refresh timer ticks";
  page->TogglePause();
  ASSERT_TRUE(WaitUntil([&] { return master->IsState(MasterState::Paused); }));
  QApplication::processEvents();
  ticks += 6000;
  QTest::qWait(300);
  EXPECT_EQ(services.Count("ResetIdleTimer"), 1u) << "no keep-awake while paused";
  page->TogglePause();
  ASSERT_TRUE(Says(RecorderPage::kResumed));
  EXPECT_EQ(services.Count("DisplayOff"), 2u) << "Begin again on resuming";
  page->StopRecording(false);
  ASSERT_TRUE(ShowsClosed());
  const size_t calls = services.calls.size();
  ticks += 6000;
  QTest::qWait(300);
  EXPECT_EQ(services.calls.size(), calls) << "nothing once stopped";
}

TEST_F(RecorderPageTest, TheMeterShowsTheInputLevelAndStaysStillWhilePaused) {
  input.signal = VirtualSignal::Sine;
  input.amplitude = 0.5;  // -6 dBFS
  input.frequency = 1000;
  VirtualWaveBackend::Instance().SetDevices(WaveDirection::Input, {input});
  page->SetTickSource([this] { return ticks; });
  ASSERT_TRUE(page->StartRecording(0));
  ASSERT_TRUE(ShowsRunning());
  ASSERT_TRUE(WaitUntil([&] { return page->Meter()->PeakDb() > -60.0f; }));
  EXPECT_NEAR(page->Meter()->PeakDb(), -6.0, 0.3);
  EXPECT_NEAR(page->Meter()->RmsDb(), -9.0, 0.3);
  EXPECT_FALSE(page->Meter()->IsClipLit());

  page->TogglePause();
  ASSERT_TRUE(WaitUntil([&] { return master->IsState(MasterState::Paused); }));
  QApplication::processEvents();
  const float peak = page->Meter()->PeakDb();
  const float held = page->Meter()->HeldPeakDb();
  ticks += 5000;
  QTest::qWait(300);
  EXPECT_EQ(page->Meter()->PeakDb(), peak);
  EXPECT_EQ(page->Meter()->HeldPeakDb(), held);
  page->TogglePause();
  ASSERT_TRUE(ShowsRunning());
  page->StopRecording(false);
  ASSERT_TRUE(ShowsClosed());
  EXPECT_LE(page->Meter()->PeakDb(), LevelMeter::kFloorDb) << "stopped, the meter rests";

  // Full scale lights the clip mark; silence reads the floor.
  input.amplitude = 1.0;
  VirtualWaveBackend::Instance().SetDevices(WaveDirection::Input, {input});
  ASSERT_TRUE(page->StartRecording(0));
  ASSERT_TRUE(ShowsRunning());
  EXPECT_TRUE(WaitUntil([&] { return page->Meter()->IsClipLit(); }));
  page->StopRecording(false);
  ASSERT_TRUE(ShowsClosed());
  input.signal = VirtualSignal::Silence;
  VirtualWaveBackend::Instance().SetDevices(WaveDirection::Input, {input});
  ASSERT_TRUE(page->StartRecording(0));
  ASSERT_TRUE(ShowsRunning());
  ASSERT_TRUE(WaitUntil([&] { return master->GetInputLevel().buffers >= 2; }));
  QTest::qWait(250);
  EXPECT_LE(page->Meter()->PeakDb(), LevelMeter::kFloorDb);
  EXPECT_LE(page->Meter()->RmsDb(), LevelMeter::kFloorDb);
  EXPECT_FALSE(page->Meter()->IsClipLit());
  page->StopRecording(false);
  EXPECT_TRUE(ShowsClosed());
}

}  // namespace
}  // namespace talvinor
