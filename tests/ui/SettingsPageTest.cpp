// The settings page in the program's frame: the scene form on a virtual
// input device with chosen formats, leaving with and without changes, and
// the recording-starter launcher.
#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QWheelEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <bit>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/FrameTestSupport.h"
#include "platform/wave/VirtualWaveBackend.h"
#include "platform/wave/WaveBackend.h"
#include "settings/ConfigStore.h"
#include "support/ScriptedMessageBox.h"
#include "support/ShellRun.h"
#include "ui/SettingsPage.h"

namespace talvinor {
namespace {

using testing::ScriptedMessageBox;
using testing::TempFolder;
using testing::TestFrame;
using P = SettingsPage;

constexpr int kPlayerTab = 0;
constexpr int kSettingsTab = 3;

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class SettingsPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetWaveBackend(WaveBackendKind::Virtual);
    VirtualWaveDevice output;
    output.name = L"Virtual speaker";
    VirtualWaveBackend::Instance().SetDevices(WaveDirection::Output, {output});
    SetInputFormats(WAVE_FORMAT_ALL_STANDARD);
    setenv("XDG_DATA_HOME", xdg.Path().c_str(), 1);
    GetConfig()->CopyFrom(*Create<CONFIG>());
    frame.setup.pages = MakeProgramPage;
  }

  void TearDown() override {
    if (frame.frame && frame.frame->IsCreated()) frame.frame->CloseProgram();
    QApplication::processEvents();
    VirtualWaveBackend::Instance().ResetToDefaults();
    SetSettingsWriteLimit(std::nullopt);
    unsetenv("XDG_DATA_HOME");
  }

  void SetInputFormats(uint32_t formats) {
    VirtualWaveDevice a;
    a.name = L"Mic A";
    a.formats = formats;
    VirtualWaveDevice b;
    b.name = L"Mic B";
    b.formats = WAVE_FORMAT_ALL_STANDARD;
    VirtualWaveBackend::Instance().SetDevices(WaveDirection::Input, {a, b});
  }

  CONFIG_SCENE& Scene(int i) { return *GetConfig()->m_RecSceneList[static_cast<size_t>(i)]; }

  // Makes the frame and opens the settings tab.
  SettingsPage* Open() {
    if (!frame.frame) {
      EXPECT_TRUE(frame.Make());
      QApplication::processEvents();
    }
    frame.ChooseTab(kSettingsTab);
    QApplication::processEvents();
    auto* page = static_cast<SettingsPage*>(frame.frame->Current());
    EXPECT_TRUE(page && page->IsKindOf(SettingsPage::kTypeCode));
    return page;
  }

  // Chooses list item `index` as the user does.
  static void Choose(SettingsPage* page, int id, int index) {
    ASSERT_TRUE(page->List(id)->SetCurSel(index));
    Window::SendMessage(page->Id(), kWmCommand, MakeWParam(static_cast<uint32_t>(id), kCbnSelChange),
                        static_cast<intptr_t>(page->List(id)->Id()));
  }
  static void ChooseData(SettingsPage* page, int id, intptr_t data) {
    const int index = page->List(id)->FindItemData(data);
    ASSERT_NE(index, ComboBox::kNone) << data;
    Choose(page, id, index);
  }
  static std::vector<std::wstring> Items(ComboBox* list) {
    std::vector<std::wstring> items;
    for (int i = 0; i < list->GetCount(); ++i) items.push_back(list->GetItemText(i));
    return items;
  }
  static std::wstring Selected(ComboBox* list) {
    return list->GetCurSel() == ComboBox::kNone ? L"" : list->GetItemText(list->GetCurSel());
  }
  static bool Hidden(SettingsPage* page, int id) { return page->Control(id)->Widget()->isHidden(); }

  TempFolder xdg;
  TestFrame frame;
};

TEST_F(SettingsPageTest, AWavHighPresetFallsBackThroughItsCandidatesAndToThePoorestFormatWhenNoneIsOffered) {
  Scene(0).m_CodecMode = kCodecPcm;
  Scene(0).m_QualityMode = 3;
  struct Case {
    uint32_t formats;
    uint32_t channels, bits, rate;
    bool error;
  } cases[] = {
      {WAVE_FORMAT_ALL_STANDARD, 1, 16, 44100, false},
      {WAVE_FORMAT_ALL_STANDARD & ~0x400u, 2, 16, 44100, false},  // no 44.1 kHz 16-bit mono
      {0x0FF | 0x100, 1, 8, 44100, false},                        // 44.1 kHz only in 8-bit mono
      {0x0FF, 1, 8, 6615, true},                                  // no 44.1 kHz at all
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.formats);
    SetInputFormats(c.formats);
    ScriptedMessageBox boxes;
    SettingsPage* page = Open();
    ASSERT_NE(page, nullptr);
    const CONFIG_SCENE& scene = *page->EditedScene();
    EXPECT_EQ(scene.m_Cnannels, c.channels);
    EXPECT_EQ(scene.m_SampleBits, c.bits);
    EXPECT_EQ(scene.m_SampleRate, c.rate);
    EXPECT_TRUE(page->ButtonOf(P::kHigh)->GetCheck());
    EXPECT_FALSE(page->Control(P::kFormat)->IsEnabled()) << "a preset chooses the format itself";
    if (c.error) {
      EXPECT_EQ(frame.Message(), L"サウンドデバイスはこのモードをサポートしません。");
      EXPECT_EQ(Selected(page->List(P::kFormat)), L"6615 Hz / 8-bit / モノラル");
    } else {
      EXPECT_NE(frame.Message(), L"サウンドデバイスはこのモードをサポートしません。");
      EXPECT_EQ(page->List(P::kFormat)->GetItemData(page->List(P::kFormat)->GetCurSel()),
                static_cast<intptr_t>(FindWaveFormat(c.channels == 2 ? 19 : c.bits == 8 ? 16 : 18)->number));
    }
    // Four rates share each of the four lowest bits, two each of the others.
    int expected = 0;
    for (uint32_t bit = 1; bit <= 0x800; bit <<= 1)
      if (c.formats & bit) expected += bit < 0x10 ? 4 : 2;
    EXPECT_EQ(page->List(P::kFormat)->GetCount(), expected);
    frame.ChooseTab(kPlayerTab);
    QApplication::processEvents();
    EXPECT_TRUE(boxes.Requests().empty()) << "showing a preset is no change of the user's";
  }
}

TEST_F(SettingsPageTest, TheFormatListFollowsTheChosenRecordingDeviceAndItsCapabilities) {
  SetInputFormats(0x001 | 0x040);  // 6615/8820/8000/11025 8-bit mono, 16/22.05 kHz 16-bit mono
  Scene(0).m_CodecMode = kCodecPcm;
  Scene(0).m_QualityMode = 0;
  SettingsPage* page = Open();
  EXPECT_EQ(Items(page->List(P::kFormat)),
            (std::vector<std::wstring>{L"6615 Hz / 8-bit / モノラル", L"8820 Hz / 8-bit / モノラル",
                                       L"8000 Hz / 8-bit / モノラル", L"11025 Hz / 8-bit / モノラル",
                                       L"16000 Hz / 16-bit / モノラル", L"22050 Hz / 16-bit / モノラル"}));
  EXPECT_EQ(Items(page->List(P::kInputDevice)), (std::vector<std::wstring>{L"Mic A", L"Mic B"}));
  ChooseData(page, P::kInputDevice, 1);
  EXPECT_EQ(page->Working()->m_WaveInId, 1u);
  EXPECT_EQ(page->List(P::kFormat)->GetCount(), 32);
  EXPECT_TRUE(page->IsChanged());
}

TEST_F(SettingsPageTest, HeavyFormatsAreMarkedAndWarnedOfOnlyForVorbis) {
  Scene(0).m_QualityMode = 0;
  Scene(0).m_SampleRate = 16000;
  Scene(0).m_SampleBits = 16;
  Scene(0).m_Cnannels = 1;
  for (uint32_t codec : {kCodecVorbis, kCodecPcm}) {
    SCOPED_TRACE(codec);
    Scene(0).m_CodecMode = codec;
    ScriptedMessageBox boxes({kIdOk, kIdNo});
    SettingsPage* page = Open();
    ComboBox* formats = page->List(P::kFormat);
    EXPECT_EQ(Selected(formats), codec == kCodecVorbis ? L"16000 Hz / 16-bit / モノラル (HARD)"
                                                       : L"16000 Hz / 16-bit / モノラル");
    int hard = 0;
    for (const std::wstring& item : Items(formats)) hard += item.ends_with(L" (HARD)");
    // 16 kHz and up: all 16 rows; below: the 8 stereo ones.
    EXPECT_EQ(hard, codec == kCodecVorbis ? 24 : 0);
    EXPECT_EQ(Selected(formats).find(L"11025 Hz / 16-bit / モノラル (HARD)"), std::wstring::npos);

    ChooseData(page, P::kFormat, 34);  // 16 kHz 16-bit mono
    if (codec == kCodecVorbis) {
      ASSERT_EQ(boxes.Texts().size(), 1u);
      EXPECT_EQ(boxes.Texts()[0], SceneFormat::kHeavyWarning);
    } else {
      EXPECT_TRUE(boxes.Texts().empty());
    }
    ChooseData(page, P::kFormat, 10);  // 11025 Hz 16-bit mono: light
    EXPECT_EQ(page->EditedScene()->m_SampleRate, 11025u);
    EXPECT_EQ(boxes.Texts().size(), codec == kCodecVorbis ? 1u : 0u);
    frame.ChooseTab(kPlayerTab);  // No: revert
    QApplication::processEvents();
    EXPECT_EQ(Scene(0).m_SampleRate, 16000u);
  }
}

TEST_F(SettingsPageTest, EachCodecHasItsCaptionsControlsAndDefaults) {
  SettingsPage* page = Open();
  ScriptedMessageBox boxes;
  struct Case {
    uint32_t codec;
    const wchar_t* high;
    const wchar_t* middle;
    const wchar_t* low;
    bool highEnabled;
    const wchar_t* label;
    int checkedPreset;
    uint32_t rate;
  } cases[] = {
      {kCodecPcm, L"High - 音楽 CD 品質", L"Middle - FM ラジオ品質", L"Low - アナログ電話品質", true, nullptr, P::kHigh,
       44100},
      {kCodecVorbis, L"High", L"Middle - 品質重視、サイズ大", L"Low - 長時間向け、低品質", false, L"Ogg Vorbis 品質",
       P::kMiddle, 11025},
      {kCodecSpeex, L"High 2 - 高品質 Ultra Wide", L"High 1 - バランス Ultra Wide", L"Middle - 長時間 Wide Band", true,
       L"Speex 品質", P::kHigh, 44100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.codec);
    ChooseData(page, P::kCodec, c.codec);
    const CONFIG_SCENE& scene = *page->EditedScene();
    EXPECT_EQ(scene.m_CodecMode, c.codec);
    EXPECT_EQ(page->ButtonOf(P::kHigh)->GetText(), c.high);
    EXPECT_EQ(page->ButtonOf(P::kMiddle)->GetText(), c.middle);
    EXPECT_EQ(page->ButtonOf(P::kLow)->GetText(), c.low);
    EXPECT_EQ(page->ButtonOf(P::kHigh)->IsEnabled(), c.highEnabled);
    EXPECT_TRUE(page->ButtonOf(c.checkedPreset)->GetCheck());
    EXPECT_EQ(scene.m_SampleRate, c.rate);
    EXPECT_EQ(scene.m_Cnannels, 1u);
    EXPECT_EQ(scene.m_SampleBits, 16u);
    EXPECT_EQ(Hidden(page, P::kQualityLabel), c.label == nullptr);
    if (c.label) {
      EXPECT_EQ(page->Control(P::kQualityLabel)->GetText(), c.label);
    }
    EXPECT_EQ(Hidden(page, P::kVorbisQuality), c.codec != kCodecVorbis);
    for (int id : {P::kSpeexQuality, P::kComplexity, P::kComplexityLabel, P::kDenoise, P::kVad, P::kDtx})
      EXPECT_EQ(Hidden(page, id), c.codec != kCodecSpeex) << id;
  }
  // The Speex presets' codec values, and custom mode opening the lists.
  EXPECT_EQ(page->EditedScene()->m_RecSpxQuality, 10u);
  EXPECT_EQ(page->EditedScene()->m_RecSpxComplexity, 4u);
  EXPECT_EQ(Selected(page->List(P::kSpeexQuality)), L"10 高品質/長ビットレート");
  page->ButtonOf(P::kLow)->Click();
  EXPECT_EQ(page->EditedScene()->m_SampleRate, 16000u);
  EXPECT_EQ(page->EditedScene()->m_RecSpxQuality, 8u);
  EXPECT_FALSE(page->Control(P::kSpeexQuality)->IsEnabled());
  page->ButtonOf(P::kCustom)->Click();
  EXPECT_EQ(page->EditedScene()->m_QualityMode, 0u);
  EXPECT_TRUE(page->Control(P::kSpeexQuality)->IsEnabled());
  EXPECT_TRUE(page->Control(P::kFormat)->IsEnabled());
  ChooseData(page, P::kComplexity, 7);
  EXPECT_EQ(page->EditedScene()->m_RecSpxComplexity, 7u);
  // A Vorbis High preset has no format: its button cannot be chosen.
  ChooseData(page, P::kCodec, kCodecVorbis);
  EXPECT_FALSE(page->ButtonOf(P::kHigh)->IsEnabled());
  EXPECT_TRUE(boxes.Texts().empty());
}

TEST_F(SettingsPageTest, ListsShowTheirFallbackItemForAStoredValueTheyLack) {
  Scene(0).m_CodecMode = kCodecSpeex;
  Scene(0).m_QualityMode = 0;
  Scene(0).m_RecSpxQuality = 42;
  Scene(0).m_RecSpxComplexity = 0;
  Scene(1).m_CodecMode = kCodecVorbis;
  Scene(1).m_QualityMode = 0;
  Scene(1).m_RecOvQuality = 4.2;
  Scene(2).m_CodecMode = kCodecVorbis;
  Scene(2).m_QualityMode = 0;
  Scene(2).m_RecOvQuality = 0.3;  // ten times it is 2.99999...: still the 0.3 item
  GetConfig()->m_MemoOvQuality = 0.7;
  SettingsPage* page = Open();
  EXPECT_EQ(page->List(P::kSpeexQuality)->GetCurSel(), SceneFormat::kSpeexFallbackItem);
  EXPECT_EQ(page->List(P::kComplexity)->GetCurSel(), SceneFormat::kComplexityFallbackItem);
  EXPECT_EQ(Selected(page->List(P::kMemoQuality)), L"0.7 ");
  Choose(page, P::kScene, 1);
  EXPECT_EQ(page->List(P::kVorbisQuality)->GetCurSel(), SceneFormat::kVorbisFallbackItem);
  EXPECT_EQ(page->EditedScene()->m_RecOvQuality, 4.2) << "showing the fallback changes nothing";
  Choose(page, P::kScene, 2);
  EXPECT_EQ(Selected(page->List(P::kVorbisQuality)), L"0.3 標準");
  EXPECT_FALSE(page->IsChanged());
  EXPECT_EQ(Items(page->List(P::kVorbisQuality)).front(), L"-0.1 低品質");
  EXPECT_EQ(Items(page->List(P::kComplexity))[1], L"2 推奨(下)");
}

TEST_F(SettingsPageTest, TheSceneBoxRenamesTheSceneAndOtherControlsWriteIntoTheWorkingCopyOnly) {
  ScriptedMessageBox boxes({kIdCancel});
  SettingsPage* page = Open();
  ComboBox* scenes = page->List(P::kScene);
  scenes->SetText(L"朝の会議 with a name far longer than thirty-two characters");
  Window::SendMessage(page->Id(), kWmCommand, MakeWParam(P::kScene, kCbnEditChange), static_cast<intptr_t>(scenes->Id()));
  EXPECT_EQ(page->EditedScene()->m_Name.size(), 32u);
  EXPECT_EQ(scenes->GetItemText(0), page->EditedScene()->m_Name);
  EXPECT_EQ(Scene(0).m_Name, Create<CONFIG>()->m_RecSceneList[0]->m_Name) << "the live scene is untouched";

  EXPECT_FALSE(page->Control(P::kScreenOffInterval)->IsEnabled());
  page->ButtonOf(P::kAutoScreenOff)->Click();
  EXPECT_TRUE(page->Control(P::kScreenOffInterval)->IsEnabled());
  ChooseData(page, P::kScreenOffInterval, 180000);
  page->ButtonOf(P::kDummyKey)->Click();
  ChooseData(page, P::kSkin, 1);
  EXPECT_EQ(page->Working()->m_RecAutoScrOff, 1u);
  EXPECT_EQ(page->Working()->m_RecAutoScrOffCyc, 180000u);
  EXPECT_EQ(page->Working()->m_SusPrvMode, 2u);
  EXPECT_EQ(page->Working()->m_SkinTypeId, 1u);
  EXPECT_EQ(GetConfig()->m_SusPrvMode, 1u);

  // Cancel keeps the page and its changes.
  frame.ChooseTab(kPlayerTab);
  QApplication::processEvents();
  EXPECT_EQ(frame.frame->Current(), page);
  EXPECT_TRUE(page->IsChanged());
  ASSERT_EQ(boxes.Requests().size(), 1u);
  EXPECT_EQ(boxes.Requests()[0].text, P::kLeaveQuestion);
  EXPECT_EQ(boxes.Requests()[0].caption, L"TALVINOR");
  EXPECT_EQ(boxes.Requests()[0].flags & 0xF, kMbYesNoCancel);
  EXPECT_EQ(boxes.Requests()[0].flags & 0xF00, kMbDefButton3) << "Cancel is the default";
}

TEST_F(SettingsPageTest, FolderButtonsOfferTheWorkingCopysFolders) {
  SettingsPage* page = Open();
  std::wstring offered;
  page->SetFolderMenu([&](Window*, RefPtr<CONFIG> working, std::wstring* folder) {
    offered = working->m_RecPath;
    *folder = L"/media/card/rec";
    return true;
  });
  page->Control(P::kRecFolder)->SetText(L"/typed");
  Window::SendMessage(page->Id(), kWmCommand, MakeWParam(P::kRecFolder, kEnChange), 0);
  page->ButtonOf(P::kCallFolderButton)->Click();
  EXPECT_EQ(offered, L"/typed") << "the menu sees what was typed, not yet applied";
  EXPECT_EQ(page->Working()->m_RecTelPath, L"/media/card/rec");
  EXPECT_EQ(page->Control(P::kCallFolder)->GetText(), L"/media/card/rec");
}

TEST_F(SettingsPageTest, LeavingUnchangedAsksNothingAndYesWritesTheFileTheCliReadsBack) {
  ScriptedMessageBox boxes;
  Open();
  frame.ChooseTab(kPlayerTab);
  QApplication::processEvents();
  EXPECT_TRUE(boxes.Requests().empty());
  EXPECT_FALSE(std::filesystem::exists(frame.folder.File("talvinor.ini")));

  boxes.Add(kIdYes);
  SettingsPage* page = Open();
  page->ButtonOf(P::kQueryStop)->Click();
  ChooseData(page, P::kCodec, kCodecSpeex);
  frame.ChooseTab(kPlayerTab);
  QApplication::processEvents();
  EXPECT_NE(frame.frame->Current(), page);
  EXPECT_EQ(frame.Message(), P::kApplied);
  EXPECT_EQ(GetConfig()->m_QueryRecStop, 1u);
  EXPECT_EQ(Scene(0).m_CodecMode, kCodecSpeex);

  const testing::ShellRun show = testing::RunShell(
      "", "LC_ALL=C.UTF-8 '" TALVINOR_CLI "' settings show --settings " + testing::ShellQuote(frame.folder.File("talvinor.ini")));
  ASSERT_EQ(show.status, 0) << show.err;
  // The data part lists the values in key order: the scenes one to a line,
  // then the fields after the scene list one to a line.
  std::vector<std::string> lines;
  for (size_t at = show.out.find("data main"), next; at != std::string::npos && at < show.out.size(); at = next + 1) {
    next = show.out.find('\n', at);
    if (next == std::string::npos) next = show.out.size();
    std::string text = show.out.substr(at, next - at);
    if (!text.empty() && text.back() == '\r') text.pop_back();
    lines.push_back(text);
  }
  size_t array = 0;
  while (array < lines.size() && lines[array].find("@array") == std::string::npos) ++array;
  ASSERT_LT(array + 2, lines.size()) << show.out;
  // Scene 0: name; call flag; codec; ...
  const std::string scene = lines[array + 2];
  const std::string values = scene.substr(scene.find("\"; ") + 3);  // call flag; codec; ...
  EXPECT_EQ(values.substr(values.find("; ") + 2, 2), "2;") << scene;
  size_t afterList = 0;
  size_t field = 0;
  for (const auto& f : ConfigFields()) {
    if (f.kind == ConfigFieldKind::SceneList) afterList = field;
    if (std::wstring(f.key) == L"m_QueryRecStop") break;
    ++field;
  }
  const size_t line = array + 2 + kSceneCount + (field - afterList);  // past the closing brace
  ASSERT_LT(line, lines.size());
  EXPECT_EQ(lines[line], " 1;") << show.out;
  EXPECT_EQ(lines[line - 1], " 1;") << "m_QueryRecChange keeps its default";
  EXPECT_EQ(lines[line + 1], " 0;") << "m_QueryRecPause keeps its default";
}

TEST_F(SettingsPageTest, NoLeavesTheFileUntouchedAndAFailedSaveKeepsTheOldFileAndSaysSo) {
  ASSERT_TRUE(SaveConfig());
  const std::string path = frame.folder.File("talvinor.ini");
  const std::string before = ReadBytes(path);
  ASSERT_FALSE(before.empty());

  ScriptedMessageBox boxes({kIdNo, kIdYes});
  SettingsPage* page = Open();
  page->ButtonOf(P::kDialKey)->Click();
  frame.ChooseTab(kPlayerTab);
  QApplication::processEvents();
  EXPECT_EQ(frame.Message(), P::kReverted);
  EXPECT_EQ(ReadBytes(path), before);
  EXPECT_EQ(GetConfig()->m_DialKey, 0u);

  page = Open();
  EXPECT_FALSE(page->ButtonOf(P::kDialKey)->GetCheck()) << "the next visit starts from the live settings";
  page->ButtonOf(P::kDialKey)->Click();
  SetSettingsWriteLimit(16);  // the disk fills up after 16 bytes
  frame.ChooseTab(kPlayerTab);
  QApplication::processEvents();
  EXPECT_EQ(frame.Message(), P::kSaveFailed);
  EXPECT_EQ(ReadBytes(path), before);
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
  EXPECT_EQ(GetConfig()->m_DialKey, 1u) << "the change holds for this run";
}

TEST_F(SettingsPageTest, AnUnshownQuestionIsAskedAgainAsYesNoAndAFailedOneLeavesWithAMessage) {
  ScriptedMessageBox boxes({0, 0});
  SettingsPage* page = Open();
  page->ButtonOf(P::kQueryPause)->Click();
  frame.ChooseTab(kPlayerTab);
  QApplication::processEvents();
  ASSERT_EQ(boxes.Requests().size(), 2u);
  EXPECT_EQ(boxes.Requests()[1].flags & 0xF, kMbYesNo);
  EXPECT_NE(frame.frame->Current(), page);
  EXPECT_EQ(frame.Message(), P::kAskFailed);
  EXPECT_EQ(GetConfig()->m_QueryRecPause, 0u);
}

TEST_F(SettingsPageTest, ADragOnTheFormAndTheWheelOverAListScrollTheFormWithoutChangingAChoice) {
  SettingsPage* page = Open();
  QWidget* form = page->ClientWidget();
  // Between the controls: the left margin of the form.
  const QPoint start(1, 200);
  QTest::mousePress(form, Qt::LeftButton, Qt::NoModifier, start);
  QMouseEvent move(QEvent::MouseMove, QPointF(1, 80), form->mapToGlobal(QPointF(1, 80)), Qt::NoButton, Qt::LeftButton,
                   Qt::NoModifier);
  QApplication::sendEvent(form, &move);
  QTest::mouseRelease(form, Qt::LeftButton, Qt::NoModifier, QPoint(1, 80));
  EXPECT_EQ(page->ScrollOffset(), 120);

  ComboBox* codec = page->List(P::kCodec);
  const int chosen = codec->GetCurSel();
  QWheelEvent wheel(QPointF(5, 5), codec->Widget()->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120),
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(codec->Widget(), &wheel);
  EXPECT_GT(page->ScrollOffset(), 120);
  EXPECT_EQ(codec->GetCurSel(), chosen);
  EXPECT_FALSE(page->IsChanged());
}

TEST_F(SettingsPageTest, ClosingTheProgramWithUnappliedChangesAsksTheSameQuestion) {
  ScriptedMessageBox boxes({kIdCancel, kIdYes});
  SettingsPage* page = Open();
  page->ButtonOf(P::kTelStop)->Click();
  Window::SendMessage(frame.frame->Id(), kWmClose, 0, 0);
  QApplication::processEvents();
  EXPECT_TRUE(frame.frame->IsCreated()) << "Cancel keeps the program open";
  EXPECT_TRUE(frame.quits.empty());
  Window::SendMessage(frame.frame->Id(), kWmClose, 0, 0);
  QApplication::processEvents();
  ASSERT_EQ(boxes.Texts(), (std::vector<std::wstring>{P::kLeaveQuestion, P::kLeaveQuestion}));
  EXPECT_FALSE(frame.quits.empty()) << "Yes applies and closes";
  RefPtr<CONFIG> stored = Create<CONFIG>();
  ASSERT_EQ(LoadConfigFile(frame.folder.WFile(L"talvinor.ini"), stored.Get()), ConfigLoadResult::Loaded);
  EXPECT_EQ(stored->m_RecTelStop, 1u);
}

TEST_F(SettingsPageTest, TheLauncherIsWrittenOnceValidatedAndRemovedWithTheirMessages) {
  ScriptedMessageBox boxes({kIdYes, kIdYes});
  SettingsPage* page = Open();
  const std::string path = SettingsPage::LauncherPath();
  EXPECT_EQ(path, xdg.Path() + "/applications/TALVINOR STARTER.desktop");
  page->ButtonOf(P::kRemoveLauncher)->Click();
  EXPECT_EQ(frame.Message(), L"ショートカットファイルは存在していません。");
  EXPECT_TRUE(boxes.Requests().empty());

  page->ButtonOf(P::kCreateLauncher)->Click();
  ASSERT_EQ(boxes.Requests().size(), 1u);
  EXPECT_EQ(boxes.Requests()[0].text,
            L"自動で録音の開始・停止を行うショートカットを追加します。TALVINOR STARTER という名前でプログラムメニューに"
            L"追加します。\r\nよろしいですか？\r\n\r\n※録音シーンは「" +
                Scene(0).m_Name + L"」を使用します。");
  EXPECT_EQ(boxes.Requests()[0].flags & 0xF0F, kMbYesNo) << "Yes is the default";
  EXPECT_EQ(frame.Message(), L"ショートカットを作成しました。");
  const std::string text = ReadBytes(path);
  EXPECT_NE(text.find(" /cmd:rec /toggle:1 /scene:1\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Terminal=false"), std::string::npos);
  EXPECT_EQ(std::system(("desktop-file-validate " + testing::ShellQuote(path)).c_str()), 0);

  page->ButtonOf(P::kCreateLauncher)->Click();
  EXPECT_EQ(frame.Message(), L"ショートカットファイルは既に存在しています。");
  EXPECT_EQ(boxes.Requests().size(), 1u) << "no question for a launcher already there";
  EXPECT_EQ(ReadBytes(path), text);

  page->ButtonOf(P::kRemoveLauncher)->Click();
  ASSERT_EQ(boxes.Requests().size(), 2u);
  EXPECT_EQ(boxes.Requests()[1].text, L"TALVINOR STARTER ショートカットを削除します。\r\nよろしいですか？\r\n");
  EXPECT_EQ(frame.Message(), L"ショートカットを削除しました。");
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_FALSE(page->IsChanged()) << "the launcher is no setting";
}

TEST_F(SettingsPageTest, UpAndDownWalkTheFormAndKeepTheFocusedControlInView) {
  SettingsPage* page = Open();
  ASSERT_GT(page->FormHeight(), 3 * 252) << "the form is several screens tall";
  page->List(P::kScene)->SetFocus();
  QApplication::processEvents();
  const WindowMessage down{page->Id(), kWmKeyDown, kVkDown, 0};
  int steps = 0;
  int lastOffset = page->ScrollOffset();
  bool scrolled = false;
  while (Window::FocusedWindow() != page->Control(P::kRemoveLauncher) && steps < 80) {
    Window* before = Window::FocusedWindow();
    EXPECT_FALSE(page->OnKeyNavigate(down));
    QApplication::processEvents();
    Window* now = Window::FocusedWindow();
    ASSERT_NE(now, before) << "step " << steps;
    // The focused control lies inside the visible part of the form.
    const Rect place = now->GetRect();
    const int height = page->Widget()->findChild<QScrollArea*>()->viewport()->height();
    EXPECT_GE(place.y, page->ScrollOffset());
    EXPECT_LE(place.y + place.height, page->ScrollOffset() + height) << now->ControlId();
    scrolled = scrolled || page->ScrollOffset() > lastOffset;
    lastOffset = page->ScrollOffset();
    ++steps;
  }
  EXPECT_EQ(Window::FocusedWindow(), page->Control(P::kRemoveLauncher));
  EXPECT_TRUE(scrolled);
  EXPECT_TRUE(page->ButtonOf(P::kRemoveLauncher)->Widget()->property("default").toBool() ||
              qobject_cast<QPushButton*>(page->ButtonOf(P::kRemoveLauncher)->Widget())->isDefault());
  // The form's combo boxes never change their choice with Up or Down.
  page->List(P::kCodec)->SetFocus();
  const int codec = page->List(P::kCodec)->GetCurSel();
  page->OnKeyNavigate({page->Id(), kWmKeyDown, kVkUp, 0});
  EXPECT_EQ(page->List(P::kCodec)->GetCurSel(), codec);
  EXPECT_EQ(Window::FocusedWindow(), page->Control(P::kScene));
}

}  // namespace
}  // namespace talvinor
