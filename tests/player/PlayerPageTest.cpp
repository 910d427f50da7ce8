#include "player/PlayerPage.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "PlayerPageTestSupport.h"
#include "command/Command.h"
#include "player/RenameDialog.h"
#include "support/ScriptedMessageBox.h"
#include "support/ShellRun.h"
#include "support/TraceCapture.h"

namespace talvinor {
namespace {

using testing::PlayerPageFixture;
using testing::RefusingMaster;
using testing::ScriptedMessageBox;

// Answers the rename dialog for the life of the object.
class ScriptedRename {
 public:
  explicit ScriptedRename(std::wstring answer, bool ok = true) {
    m_previous = RenameDialog::SetPrompt([this, answer, ok](const std::wstring& oldName, std::wstring* newName) {
      asked.push_back(oldName);
      if (ok) *newName = answer;
      return ok;
    });
  }
  ~ScriptedRename() { RenameDialog::SetPrompt(std::move(m_previous)); }
  std::vector<std::wstring> asked;

 private:
  RenameDialog::Prompt m_previous;
};

TEST(PlayerPageTest, StartsStoppedOnTheRecordingFolder) {
  PlayerPageFixture t;
  t.WriteWav("a.wav", 100);
  ASSERT_TRUE(t.Make());
  EXPECT_EQ(t.page->List()->CurrentFolder(), t.files.WPath());
  EXPECT_EQ(t.page->FolderText()->GetText(), t.files.WPath());
  EXPECT_FALSE(t.page->ButtonOf(PlayerPage::kStop)->IsEnabled());
  EXPECT_FALSE(t.page->ButtonOf(PlayerPage::kPause)->IsEnabled());
  EXPECT_TRUE(t.page->ButtonOf(PlayerPage::kPlay)->IsEnabled());
  EXPECT_EQ(t.page->PositionText()->GetText(), L"00:00:00");
  EXPECT_EQ(t.page->LengthText()->GetText(), L"00:00:00");
  EXPECT_EQ(t.page->Slider()->GetRangeMax(), 0);
  EXPECT_EQ(t.page->FilterBox()->GetCount(), 5);
  EXPECT_EQ(t.page->FilterBox()->GetItemText(3), L"N1.ノイズ除去弱");
  EXPECT_EQ(t.page->ViewMode(), 1);
  EXPECT_TRUE(t.page->List()->IsVisible());
  EXPECT_FALSE(t.page->Information()->IsVisible());
}

TEST(PlayerPageTest, FolderThatCannotBeOpenedFallsBackToTheProgramFolder) {
  PlayerPageFixture t;
  GetConfig()->m_RecPath = t.files.WFile(L"missing");
  ASSERT_TRUE(t.Make());
  EXPECT_EQ(t.page->List()->CurrentFolder(), t.program.WPath());
  t.page->OpenStorageRoot(L"/");
  EXPECT_EQ(t.page->FolderText()->GetText(), PlayerPage::kRootText);
  t.page->OpenStorageRoot(t.files.WFile(L"nowhere"));
  EXPECT_TRUE(t.IsError(L"選択したフォルダは存在しません。"));
  EXPECT_EQ(t.page->List()->CurrentFolder(), L"");
}

TEST(PlayerPageTest, PlayPauseResumeAndStopFromButtonsKeysAndCommands) {
  PlayerPageFixture t;
  t.WriteWav("speech.wav", 20000);
  ASSERT_TRUE(t.Make());
  ASSERT_TRUE(t.PlayByButton(L"speech.wav"));
  EXPECT_TRUE(t.page->ButtonOf(PlayerPage::kStop)->IsEnabled());
  EXPECT_TRUE(t.page->ButtonOf(PlayerPage::kPause)->IsEnabled());
  EXPECT_EQ(t.page->LengthText()->GetText(), L"00:00:20");
  EXPECT_GT(t.host.titleUpdates, 0);
  EXPECT_TRUE(t.page->List()->HasFocus() || !t.page->IsVisible());

  // "3" pauses, the restart command resumes.
  EXPECT_FALSE(t.Key('3'));
  ASSERT_TRUE(t.WaitForMessage(L"再生を一時停止しました。"));
  EXPECT_TRUE(t.page->ButtonOf(PlayerPage::kPause)->IsToggled());
  RefPtr<Command> restart = CreateCommand(L"restart");
  EXPECT_TRUE(t.page->ExecuteCommand(restart.Get()));
  ASSERT_TRUE(t.WaitForMessage(L"再生を再開しました。"));
  EXPECT_FALSE(t.page->ButtonOf(PlayerPage::kPause)->IsToggled());

  // The pause command, then the pause button resumes.
  t.messages.clear();
  RefPtr<Command> pause = CreateCommand(L"pause");
  EXPECT_TRUE(t.page->ExecuteCommand(pause.Get()));
  ASSERT_TRUE(t.WaitForMessage(L"再生を一時停止しました。"));
  t.page->ButtonOf(PlayerPage::kPause)->Click();
  ASSERT_TRUE(t.WaitForMessage(L"再生を再開しました。"));

  // A restart while playing cannot resume; a key repeat does nothing.
  t.messages.clear();
  EXPECT_TRUE(t.page->ExecuteCommand(restart.Get()));
  EXPECT_TRUE(t.IsError(L"再生を再開できませんでした。"));
  EXPECT_TRUE(t.page->OnKeyNavigate(WindowMessage{t.page->List()->Id(), kWmKeyDown, '2', kKeyRepeatBit}));
  EXPECT_TRUE(t.page->Master()->IsState(MasterState::Running));

  // "2" stops.
  EXPECT_FALSE(t.Key('2'));
  ASSERT_TRUE(t.WaitForMessage(L"再生を停止しました。"));
  EXPECT_FALSE(t.page->ButtonOf(PlayerPage::kStop)->IsEnabled());
  EXPECT_EQ(t.page->LengthText()->GetText(), L"00:00:00");
  EXPECT_EQ(t.page->Information()->GetText(), L"");
  EXPECT_EQ(t.page->Slider()->GetRangeMax(), 0);
  EXPECT_EQ(t.page->Slider()->GetPageSize(), 0);

  // Stop while stopped says so and asks nothing of the master.
  t.messages.clear();
  RefPtr<Command> stop = CreateCommand(L"stop");
  EXPECT_TRUE(t.page->ExecuteCommand(stop.Get()));
  t.page->ButtonOf(PlayerPage::kStop)->Click();  // disabled: no click at all
  EXPECT_TRUE(t.HasMessage(L"既に停止しています。"));
  EXPECT_FALSE(t.IsError(L"既に停止しています。"));
  EXPECT_EQ(t.page->Master()->GetStopReason(), StopReason::ByOwner);
  EXPECT_TRUE(t.page->Master()->IsState(MasterState::Closed));

  // Pause and resume with nothing playing.
  t.messages.clear();
  t.page->PauseOrResume();
  EXPECT_TRUE(t.IsError(L"休止または再開ができませんでした。"));
  EXPECT_TRUE(t.page->ExecuteCommand(pause.Get()));
  EXPECT_TRUE(t.IsError(L"再生を休止できませんでした。"));

  // "1" plays the selection; the stop button stops.
  t.messages.clear();
  EXPECT_FALSE(t.Key('1'));
  ASSERT_TRUE(t.WaitForMessage(L"再生を開始しました。"));
  t.page->ButtonOf(PlayerPage::kStop)->Click();
  ASSERT_TRUE(t.WaitForMessage(L"再生を停止しました。"));
  // The keeper began and ended, and never switched the display off.
  EXPECT_EQ(t.power.displayOffs, 0);
}

TEST(PlayerPageTest, PlayingAnotherFileStopsTheFirstWithoutAStaleMessage) {
  PlayerPageFixture t;
  t.WriteWav("one.wav", 20000);
  t.WriteWav("two.wav", 20000);
  ASSERT_TRUE(t.Make());
  ASSERT_TRUE(t.PlayByButton(L"one.wav"));
  ASSERT_TRUE(t.PlayByButton(L"two.wav"));
  QApplication::processEvents();
  std::wstring playing;
  t.page->Master()->GetFileName(&playing);
  EXPECT_EQ(playing, t.File(L"two.wav"));
  for (const auto& m : t.messages) EXPECT_FALSE(m.second) << WideToUtf8(m.first);
  EXPECT_TRUE(t.page->ButtonOf(PlayerPage::kStop)->IsEnabled());
  EXPECT_NE(t.page->Information()->GetText().find(L"two.wav"), std::wstring::npos);
}

TEST(PlayerPageTest, SkipsSeekPauseAndResumeByTheirRules) {
  PlayerPageFixture t;
  t.WriteWav("long.wav", 30000);
  ASSERT_TRUE(t.Make());
  ASSERT_TRUE(t.PlayByButton(L"long.wav"));
  CRecWaveOut* master = t.page->Master();

  // Forward past the end: the last millisecond, and paused there.
  t.page->ButtonOf(PlayerPage::kForward300)->Click();
  EXPECT_TRUE(master->IsState(MasterState::Paused));
  EXPECT_EQ(master->GetPosition(), 29999u);
  QApplication::processEvents();
  EXPECT_TRUE(master->IsState(MasterState::Paused));
  EXPECT_EQ(t.page->PositionText()->GetText(), L"00:00:29");
  EXPECT_EQ(t.page->Slider()->GetPos(), 2999);

  // Back while paused: the position moves and the pause stays.
  EXPECT_FALSE(t.Key('8'));  // back 30 s: below 0
  EXPECT_EQ(master->GetPosition(), 0u);
  EXPECT_TRUE(master->IsState(MasterState::Paused));
  t.page->Skip(5);
  EXPECT_EQ(master->GetPosition(), 5000u);
  EXPECT_TRUE(master->IsState(MasterState::Paused));

  // Back past 0 while playing: from the start, playing again.
  ASSERT_TRUE(t.page->ResumeIfPaused());
  ASSERT_TRUE(t.WaitForState(MasterState::Running));
  t.page->ButtonOf(PlayerPage::kBack300)->Click();
  EXPECT_TRUE(master->IsState(MasterState::Resuming) || master->IsState(MasterState::Running));
  ASSERT_TRUE(t.WaitForState(MasterState::Running));
  EXPECT_LT(master->GetPosition(), 5000u);

  // Forward within the file while playing keeps playing from there.
  t.page->Skip(30 - 30 + 5);
  ASSERT_TRUE(t.WaitForState(MasterState::Running));
  EXPECT_GE(master->GetPosition(), 5000u);
}

TEST(PlayerPageTest, SliderDragPausesAndItsEndResumes) {
  PlayerPageFixture t;
  t.WriteWav("long.wav", 30000);
  ASSERT_TRUE(t.Make());
  ASSERT_TRUE(t.PlayByButton(L"long.wav"));
  CRecWaveOut* master = t.page->Master();
  SeekSlider* slider = t.page->Slider();
  EXPECT_EQ(slider->GetRangeMax(), 3000);
  EXPECT_EQ(slider->GetPageSize(), 150);
  const int width = slider->GetRect().width;
  slider->OnPenDown(width / 2);
  EXPECT_TRUE(master->IsState(MasterState::Paused));
  const uint32_t target = static_cast<uint32_t>(slider->GetPos()) * 10;
  EXPECT_GT(target, 10000u);
  EXPECT_EQ(master->GetPosition(), target);
  slider->OnPenMove(width / 4);
  EXPECT_EQ(master->GetPosition(), static_cast<uint32_t>(slider->GetPos()) * 10);
  EXPECT_LT(master->GetPosition(), target);
  QApplication::processEvents();
  EXPECT_TRUE(master->IsState(MasterState::Paused));
  slider->OnPenUp();
  ASSERT_TRUE(t.WaitForState(MasterState::Running));

  // A drag of a paused file leaves it paused.
  ASSERT_TRUE(t.page->PauseIfPlaying());
  ASSERT_TRUE(t.WaitForState(MasterState::Paused));
  slider->OnPenDown(width / 2);
  slider->OnPenUp();
  QApplication::processEvents();
  EXPECT_TRUE(master->IsState(MasterState::Paused));
}

TEST(PlayerPageTest, FilterChangeAppliesOrRestoresTheOldChoice) {
  RefPtr<RefusingMaster> master = Create<RefusingMaster>();
  PlayerPageFixture t(1.0, master);
  ASSERT_TRUE(t.Make());
  ComboBox* box = t.page->FilterBox();
  box->SetCurSel(2);
  t.page->HandleMessage(kWmCommand, MakeWParam(PlayerPage::kFilter, kCbnSelChange), 0);
  EXPECT_EQ(t.page->FilterChoiceShown(), 2);
  EXPECT_EQ(master->GetFilterCount(), 1u);
  box->SetCurSel(4);
  t.page->ChangeFilter();
  EXPECT_EQ(t.page->FilterChoiceShown(), 4);
  EXPECT_EQ(master->GetFilterCount(), 2u);

  master->refuseFilters = true;
  box->SetCurSel(1);
  t.page->ChangeFilter();
  EXPECT_TRUE(t.IsError(L"再生フィルタを変更できない状態です。"));
  EXPECT_EQ(box->GetCurSel(), 4);
  EXPECT_EQ(t.page->FilterChoiceShown(), 4);
  EXPECT_EQ(master->GetFilterCount(), 2u);
}

TEST(PlayerPageTest, InformationTextShowsFormatLengthAndSliderScale) {
  PlayerPageFixture t;
  t.WriteWav("exact.wav", 75500);
  ASSERT_TRUE(t.Make());
  ASSERT_TRUE(t.PlayByButton(L"exact.wav"));
  EXPECT_EQ(t.page->Information()->GetText(),
            t.File(L"exact.wav") + L"\n【形式】\nRaw PCM モノラル 8000 Hz 16 bit / 長さ 1 分 15 秒 50\n【タグ】\n（タグはありません）");
  EXPECT_EQ(t.page->LengthText()->GetText(), L"00:01:15");
  EXPECT_EQ(t.page->Slider()->GetRangeMax(), 7550);
  EXPECT_EQ(t.page->Slider()->GetPageSize(), 377);
}

TEST(PlayerPageTest, EmptyFileGetsSliderPageSizeOne) {
  PlayerPageFixture t(0.0);
  // No sound at all: a Vorbis stream of no samples.
  const testing::ShellRun made =
      testing::RunShell(t.files.Path(), "sox -n -r 8000 -c 1 -b 16 z.wav trim 0 0 && oggenc -Q z.wav -o empty.ogg");
  ASSERT_EQ(made.status, 0) << made.err;
  ASSERT_TRUE(t.Make());
  ASSERT_TRUE(t.PlayByButton(L"empty.ogg"));
  EXPECT_EQ(t.page->Slider()->GetRangeMax(), 0);
  EXPECT_EQ(t.page->Slider()->GetPageSize(), 1);
  EXPECT_NE(t.page->Information()->GetText().find(L"/ 長さ 0 秒\n"), std::wstring::npos);
  // The end pauses the file, and says so; skipping forward stays at 0.
  ASSERT_TRUE(t.WaitForMessage(L"終わりまで再生しました。"));
  t.page->Skip(5);
  EXPECT_EQ(t.page->Master()->GetPosition(), 0u);
}

TEST(PlayerPageTest, PlaysVorbisAndSpeexFilesWithTheirTags) {
  PlayerPageFixture t(0.0);
  const testing::ShellRun made = testing::RunShell(
      t.files.Path(),
      "sox -n -r 16000 -c 1 -b 16 tone.wav synth 1.5 sine 440 && "
      "oggenc -Q -c ARTIST=someone -c TITLE=tone tone.wav -o tone.ogg && speexenc tone.wav tone.spx 2>/dev/null");
  ASSERT_EQ(made.status, 0) << made.err;
  ASSERT_TRUE(t.Make());
  ASSERT_TRUE(t.PlayByButton(L"tone.ogg"));
  const std::wstring vorbis = t.page->Information()->GetText();
  EXPECT_NE(vorbis.find(L"Vorbis モノラル 16000 Hz 16 bit / 長さ 1 秒 50\n"), std::wstring::npos) << WideToUtf8(vorbis);
  EXPECT_NE(vorbis.find(L"【タグ】\nARTIST=someone\nTITLE=tone\n"), std::wstring::npos) << WideToUtf8(vorbis);
  ASSERT_TRUE(t.WaitForMessage(L"終わりまで再生しました。"));
  EXPECT_GT(VirtualWaveBackend::Instance().Played(0).size(), 40000u);

  VirtualWaveBackend::Instance().ClearPlayed(0);
  ASSERT_TRUE(t.PlayByButton(L"tone.spx"));
  const std::wstring speex = t.page->Information()->GetText();
  EXPECT_NE(speex.find(L"Speex モノラル 16000 Hz 16 bit / 長さ 1 秒 50\n"), std::wstring::npos) << WideToUtf8(speex);
  EXPECT_NE(speex.find(L"Comment=Encoded with Speex"), std::wstring::npos) << WideToUtf8(speex);
  ASSERT_TRUE(t.WaitForMessage(L"終わりまで再生しました。"));
  EXPECT_GT(VirtualWaveBackend::Instance().Played(0).size(), 40000u);
}

TEST(PlayerPageTest, EveryStopReasonHasItsMessage) {
  bool error = false;
  EXPECT_EQ(PlayerPage::StopMessage(StopReason::ByOwner, &error), L"再生を停止しました。");
  EXPECT_FALSE(error);
  EXPECT_EQ(PlayerPage::StopMessage(StopReason::EndOfStream, &error), L"終わりまで再生しました。");
  EXPECT_FALSE(error);
  const std::pair<StopReason, const wchar_t*> errors[] = {
      {StopReason::FileOpen, L"ファイルを開けません。"},
      {StopReason::FileRead, L"ファイルアクセスエラーです。"},
      {StopReason::FileSeek, L"ファイルアクセスエラーです。"},
      {StopReason::MalformedStream, L"再生できないファイル形式です。"},
      {StopReason::DeviceFailure, L"再生デバイスが使用できません。"},
      {StopReason::SourceSetupFailure, L"エラーが発生しました。(CODE:22)"},
      {StopReason::BadState, L"エラーが発生しました。(CODE:10)"},
      {StopReasonFromCode(4711), L"エラーが発生しました。(CODE:4711)"},
  };
  for (const auto& [reason, text] : errors) {
    EXPECT_EQ(PlayerPage::StopMessage(reason, &error), text);
    EXPECT_TRUE(error);
  }
}

TEST(PlayerPageTest, DeviceThatCannotOpenAndUnplayableFilesAreReported) {
  PlayerPageFixture t;
  t.WriteWav("fine.wav", 1000);
  testing::WriteFile(t.files.File("broken.wav"), "RIFF\x10\0\0\0WAVEfmt \x02\0\0\0\x01\0" + std::string(60, 'x'));
  testing::WriteFile(t.files.File("text.wav"), std::string(200, 'x'));
  std::filesystem::create_directories(t.files.File("folder.wav"));
  ASSERT_TRUE(t.Make());

  t.Select(L"text.wav");
  t.page->Play();
  EXPECT_TRUE(t.IsError(L"再生できないファイル形式です。"));
  t.messages.clear();
  t.Select(L"broken.wav");
  t.page->Play();
  ASSERT_TRUE(t.WaitUntilAnyMessage());
  EXPECT_TRUE(t.IsError(L"再生できないファイル形式です。"));

  VirtualWaveDevice dead;
  dead.openResult = MMSYSERR_ALLOCATED;
  VirtualWaveBackend::Instance().SetDevices(WaveDirection::Output, {dead});
  t.messages.clear();
  t.Select(L"fine.wav");
  t.page->Play();
  ASSERT_TRUE(t.WaitForMessage(L"再生デバイスが使用できません。"));
  EXPECT_TRUE(t.IsError(L"再生デバイスが使用できません。"));
  EXPECT_FALSE(t.HasMessage(L"再生を開始しました。"));
}

TEST(PlayerPageTest, EnterAndOneOpenFoldersAndTheUpRow) {
  PlayerPageFixture t;
  std::filesystem::create_directories(t.files.File("sub"));
  t.WriteWav("sub/in.wav", 100);
  ASSERT_TRUE(t.Make());
  t.Select(L"sub");
  EXPECT_FALSE(t.Key(kVkReturn));
  EXPECT_EQ(t.page->List()->CurrentFolder(), t.files.WFile(L"sub"));
  EXPECT_EQ(t.page->FolderText()->GetText(), t.files.WFile(L"sub"));
  t.Select(L"..");
  EXPECT_FALSE(t.Key('1'));
  EXPECT_EQ(t.page->List()->CurrentFolder(), t.files.WPath());
  EXPECT_TRUE(t.page->Master()->IsState(MasterState::Closed));
  EXPECT_TRUE(t.messages.empty());
  // Enter elsewhere than in the list is not the page's.
  EXPECT_TRUE(t.Key(kVkReturn, t.page->FilterBox()->Id()));
}

TEST(PlayerPageTest, RenamingThePlayingFileStopsItSilentlyAndRenames) {
  PlayerPageFixture t;
  t.WriteWav("old.wav", 20000);
  ASSERT_TRUE(t.Make());
  ASSERT_TRUE(t.PlayByButton(L"old.wav"));
  ScriptedRename rename(L" \t新しい名前.wav\u3000");
  t.page->Rename();
  ASSERT_EQ(rename.asked, std::vector<std::wstring>{L"old.wav"});
  EXPECT_TRUE(t.HasMessage(L"名前を 新しい名前.wav にしました。"));
  EXPECT_TRUE(std::filesystem::exists(t.files.File("新しい名前.wav")));
  EXPECT_FALSE(std::filesystem::exists(t.files.File("old.wav")));
  ASSERT_TRUE(t.WaitUntil([&] { return !t.page->ButtonOf(PlayerPage::kStop)->IsEnabled(); }));
  EXPECT_FALSE(t.HasMessage(L"再生を停止しました。"));
  std::wstring selected;
  t.page->List()->GetSelectedName(&selected);
  EXPECT_EQ(selected, L"新しい名前.wav");
  // The suppression ended with that stop: the next stop is reported.
  ASSERT_TRUE(t.PlayByButton(L"新しい名前.wav"));
  t.page->Stop();
  EXPECT_TRUE(t.WaitForMessage(L"再生を停止しました。"));
}

TEST(PlayerPageTest, RenameRefusesUnchangedExistingAndEscapingNames) {
  PlayerPageFixture t;
  t.WriteWav("a.wav", 100);
  t.WriteWav("b.wav", 200);
  std::filesystem::create_directories(t.files.File("sub"));
  ASSERT_TRUE(t.Make());
  const auto sizeOf = [&](const char* name) { return std::filesystem::file_size(t.files.File(name)); };
  const uintmax_t aSize = sizeOf("a.wav");
  const uintmax_t bSize = sizeOf("b.wav");
  t.Select(L"a.wav");
  {
    ScriptedRename same(L"a.wav");
    t.page->Rename();
    EXPECT_TRUE(t.IsError(L"ファイル名に変更がありません。"));
  }
  {
    ScriptedRename onto(L"b.wav");
    t.page->Rename();
    EXPECT_TRUE(t.IsError(L"名前を変更できませんでした。(17)"));
    EXPECT_EQ(sizeOf("a.wav"), aSize);
    EXPECT_EQ(sizeOf("b.wav"), bSize);
  }
  for (const std::wstring& bad : {std::wstring(L"sub/a.wav"), std::wstring(L"../a.wav"), std::wstring(L".."),
                                  std::wstring(L"."), std::wstring(L"x\0y", 3), std::wstring(L"")}) {
    SCOPED_TRACE(WideToUtf8(bad));
    t.messages.clear();
    ScriptedRename escape(bad);
    t.page->Rename();
    EXPECT_TRUE(t.IsError(L"名前を変更できませんでした。(22)"));
    EXPECT_EQ(sizeOf("a.wav"), aSize);
    EXPECT_FALSE(std::filesystem::exists(t.files.File("sub/a.wav")));
  }
  {
    t.messages.clear();
    ScriptedRename cancel(L"", false);
    t.page->Rename();
    EXPECT_TRUE(t.messages.empty());
  }
  // Folders and the up row are not renamed; without a selection nothing is.
  ScriptedRename never(L"z");
  t.Select(L"sub");
  t.page->Rename();
  EXPECT_TRUE(t.IsError(L"フォルダ名は変更できません。"));
  t.Select(L"..");
  t.page->Rename();
  t.page->List()->SelectItem(ListView::kNone);
  t.page->Rename();
  EXPECT_TRUE(t.IsError(L"ファイルが選択されていません。"));
  EXPECT_TRUE(never.asked.empty());
  EXPECT_TRUE(std::filesystem::is_directory(t.files.File("sub")));
}

TEST(PlayerPageTest, DeleteAsksNoFirstAndStopsThePlayingFileSilently) {
  PlayerPageFixture t;
  t.WriteWav("keep.wav", 100);
  t.WriteWav("gone.wav", 20000);
  ASSERT_TRUE(t.Make());
  ScriptedMessageBox boxes({kIdNo, kIdYes});
  t.Select(L"keep.wav");
  t.page->Delete();
  ASSERT_EQ(boxes.Requests().size(), 1u);
  EXPECT_EQ(boxes.Requests()[0].text, L"keep.wav を削除します。\r\nよろしいですか？");
  EXPECT_EQ(boxes.Requests()[0].caption, L"TALVINOR");
  EXPECT_EQ(boxes.Requests()[0].flags, 0x124u);
  EXPECT_EQ(boxes.Requests()[0].owner, t.host.frame);
  EXPECT_TRUE(std::filesystem::exists(t.files.File("keep.wav")));

  ASSERT_TRUE(t.PlayByButton(L"gone.wav"));
  t.page->Delete();
  EXPECT_FALSE(std::filesystem::exists(t.files.File("gone.wav")));
  EXPECT_TRUE(t.HasMessage(L"gone.wav を削除しました。"));
  ASSERT_TRUE(t.WaitUntil([&] { return !t.page->ButtonOf(PlayerPage::kStop)->IsEnabled(); }));
  EXPECT_FALSE(t.HasMessage(L"再生を停止しました。"));

  std::filesystem::create_directories(t.files.File("dir"));
  t.Select(L"dir");
  t.page->Delete();
  EXPECT_TRUE(t.IsError(L"フォルダは削除できません。"));
  EXPECT_EQ(boxes.Requests().size(), 2u);
}

TEST(PlayerPageTest, ExternalPlayFindsTheFileEvenWhereTheListHidesIt) {
  PlayerPageFixture t;
  std::filesystem::create_directories(t.files.File("other"));
  t.WriteWav("other/two.wav", 20000);
  t.WriteWav("other/three.bin", 20000);  // a WAV the name filter hides
  ASSERT_TRUE(t.Make());
  RefPtr<Command> play = CreateCommand(L"play");
  static_cast<PlayCommand*>(play.Get())->src = t.File(L"other/two.wav");
  EXPECT_TRUE(t.page->ExecuteCommand(play.Get()));
  ASSERT_TRUE(t.WaitForMessage(L"再生を開始しました。"));
  EXPECT_EQ(t.page->List()->CurrentFolder(), t.files.WFile(L"other"));
  std::wstring playing;
  t.page->Master()->GetFileName(&playing);
  EXPECT_EQ(playing, t.File(L"other/two.wav"));

  t.messages.clear();
  static_cast<PlayCommand*>(play.Get())->src = t.File(L"other/three.bin");
  EXPECT_TRUE(t.page->ExecuteCommand(play.Get()));
  ASSERT_TRUE(t.WaitForMessage(L"再生を開始しました。"));
  t.page->Master()->GetFileName(&playing);
  EXPECT_EQ(playing, t.File(L"other/three.bin"));

  t.messages.clear();
  static_cast<PlayCommand*>(play.Get())->src = t.File(L"other/missing.wav");
  EXPECT_TRUE(t.page->ExecuteCommand(play.Get()));
  EXPECT_TRUE(t.IsError(L"ファイルを開けません。"));
  EXPECT_FALSE(t.page->ExecuteCommand(CreateCommand(L"exit").Get()));
}

TEST(PlayerPageTest, MenusViewModesAndLeaving) {
  PlayerPageFixture t;
  t.WriteWav("a.wav", 20000);
  testing::WriteFile(t.files.File("notes.txt"), "x");
  ASSERT_TRUE(t.Make());
  RefPtr<Menu> tools = Create<Menu>();
  EXPECT_TRUE(t.page->ContributeToolsMenu(tools.Get()));
  ASSERT_EQ(tools->ItemCount(), 3);
  EXPECT_EQ(tools->ItemId(0), PlayerPage::kMenuShowAll);
  EXPECT_EQ(tools->ItemText(0), L"全ファイル表示");
  EXPECT_EQ(tools->ItemText(1), L"画面切り替え");
  EXPECT_EQ(tools->ItemText(2), L"ファイル");
  EXPECT_FALSE(tools->IsChecked(PlayerPage::kMenuShowAll));
  ASSERT_EQ(t.page->ContextMenu()->ItemCount(), 2);
  EXPECT_EQ(t.page->ContextMenu()->ItemId(0), PlayerPage::kMenuRename);
  EXPECT_EQ(t.page->ContextMenu()->ItemId(1), PlayerPage::kMenuDelete);

  t.page->OnMenuCommand(PlayerPage::kMenuShowAll, 0);
  EXPECT_TRUE(t.page->ShowsAllFiles());
  std::wstring shown;
  t.page->List()->Refill();
  bool hasText = false;
  for (int i = 0; i < t.page->List()->GetItemCount(); ++i)
    hasText = hasText || t.page->List()->GetItemText(i, FileListView::kColumnName) == L"notes.txt";
  EXPECT_TRUE(hasText);
  tools->Clear();
  t.page->ContributeToolsMenu(tools.Get());
  EXPECT_TRUE(tools->IsChecked(PlayerPage::kMenuShowAll));
  t.page->OnMenuCommand(PlayerPage::kMenuShowAll, 0);
  EXPECT_FALSE(t.page->ShowsAllFiles());

  // F8 and 222 switch the view; the page shown again is in list view.
  EXPECT_FALSE(t.Key(kVkF8));
  EXPECT_EQ(t.page->ViewMode(), 2);
  EXPECT_TRUE(t.page->Information()->IsVisible());
  EXPECT_FALSE(t.page->List()->IsVisible());
  EXPECT_TRUE(t.page->ButtonOf(PlayerPage::kSwitchView)->IsEnabled());
  EXPECT_GT(t.host.defaultFocus, 0);
  EXPECT_FALSE(t.Key(kVkOem7));
  EXPECT_EQ(t.page->ViewMode(), 1);
  t.page->OnMenuCommand(PlayerPage::kMenuSwitchView, 0);
  EXPECT_EQ(t.page->ViewMode(), 2);
  t.page->OnActivate();
  EXPECT_EQ(t.page->ViewMode(), 1);
  EXPECT_TRUE(t.page->List()->IsVisible());

  // Leaving stops the playback and is always allowed.
  ASSERT_TRUE(t.PlayByButton(L"a.wav"));
  EXPECT_TRUE(t.page->MayLeave(LeaveReason::UserSwitch));
  EXPECT_TRUE(t.page->Master()->IsState(MasterState::Closed));
  EXPECT_TRUE(t.page->MayLeave(LeaveReason::MenuExit));
}

TEST(PlayerPageTest, UpAndDownStayInTheListAtItsEnds) {
  PlayerPageFixture t;
  t.WriteWav("a.wav", 100);
  t.WriteWav("b.wav", 100);
  ASSERT_TRUE(t.Make());
  t.Select(L"..");
  EXPECT_FALSE(t.Key(kVkUp));
  EXPECT_TRUE(t.Key(kVkDown));
  t.Select(L"b.wav");
  EXPECT_FALSE(t.Key(kVkDown));
  EXPECT_TRUE(t.Key(kVkUp));
}

TEST(PlayerPageTest, WithoutASessionBusTheMediaControlsAreTracedAndThePagePlaysOn) {
  PlayerPageFixture t;
  t.WriteWav("a.wav", 20000);
  ASSERT_TRUE(t.Make());
  testing::TraceCapture trace;
  std::string error;
  EXPECT_FALSE(t.page->StartMediaControls("", &error));
  EXPECT_NE(error.find("no session bus"), std::string::npos) << error;
  EXPECT_TRUE(trace.Contains("MprisService::Start - no session bus")) << error;
  EXPECT_EQ(t.page->MediaControls(), nullptr);
  ASSERT_TRUE(t.PlayByButton(L"a.wav"));
  t.page->Stop();
  EXPECT_TRUE(t.WaitForMessage(L"再生を停止しました。"));
}

TEST(PlayerPageTest, NeighbourPlaysTheNextAndPreviousFileSkippingFolders) {
  PlayerPageFixture t;
  std::filesystem::create_directories(t.files.File("dir"));
  t.WriteWav("a.wav", 20000);
  t.WriteWav("b.wav", 20000);
  ASSERT_TRUE(t.Make());
  t.Select(L"..");
  EXPECT_TRUE(t.page->PlayNeighbour(1));
  ASSERT_TRUE(t.WaitForMessage(L"再生を開始しました。"));
  std::wstring playing;
  t.page->Master()->GetFileName(&playing);
  EXPECT_EQ(playing, t.File(L"a.wav"));
  EXPECT_TRUE(t.page->PlayNeighbour(1));
  t.page->Master()->GetFileName(&playing);
  EXPECT_EQ(playing, t.File(L"b.wav"));
  EXPECT_FALSE(t.page->PlayNeighbour(1));
  EXPECT_TRUE(t.page->PlayNeighbour(-1));
  t.page->Master()->GetFileName(&playing);
  EXPECT_EQ(playing, t.File(L"a.wav"));
  EXPECT_FALSE(t.page->PlayNeighbour(-1));
}

}  // namespace
}  // namespace talvinor
