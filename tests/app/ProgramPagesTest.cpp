// The program's own pages as the frame gets them: a call recording made on
// the recorder page is renamed from the phone's call histories, found
// relative to the program folder as the settings' defaults say.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/FrameTestSupport.h"
#include "app/ProgramPages.h"
#include "platform/CodePage.h"
#include "platform/wave/VirtualWaveBackend.h"
#include "platform/wave/WaveAudio.h"
#include "settings/ConfigStore.h"
#include "support/TempFolder.h"
#include "codec/WavBuilder.h"

namespace talvinor {
namespace {

using testing::TempFolder;
using testing::TestFrame;
using testing::WaitUntil;
namespace fs = std::filesystem;

struct CallRecordingFrame {
  CallRecordingFrame() {
    SetWaveBackend(WaveBackendKind::Virtual);
    VirtualWaveDevice input;
    input.name = L"Virtual input";
    input.signal = VirtualSignal::Counter;
    input.pace = 4.0;
    VirtualWaveBackend::Instance().SetDevices(WaveDirection::Input, {input});
    RefPtr<CONFIG> config = GetConfig();
    config->m_RecPath = recordings.WPath();
    config->m_RecTelPath = calls.WPath();
    config->m_WaveInId = 0;
    config->m_QueryRecStop = 0;
    config->m_QueryRecChange = 0;
    config->m_QueryRecClose = 0;
    config->m_SusPrvMode = 0;
    config->m_TelInfoInName = 1;
    config->m_RecTelDelay = 0;
    config->m_RecTelInfoDelay = 0;
    config->m_CalledCsvPath = L"windows/calledhistory.dat";
    config->m_CallingCsvPath = L"windows/callinghistory.dat";
    CONFIG_SCENE& scene = *config->m_RecSceneList[0];
    scene.m_CodecMode = kCodecPcm;
    scene.m_Cnannels = 1;
    scene.m_SampleRate = 8000;
    scene.m_SampleBits = 16;
    scene.m_RecTelUse = 1;
    fs::create_directories(frame.folder.File("windows"));
    frame.setup.pages = [this](PageId id, const PageContext& context) -> RefPtr<Page> {
      if (id == PageId::Recorder) return MakeProgramPage(id, context);
      return Create<testing::TestPage>(id, &frame.log);
    };
    master = Create<CRecWaveIn>();
  }
  ~CallRecordingFrame() {
    if (!master->IsState(MasterState::Closed)) master->Close();
    QApplication::processEvents();
    if (frame.frame && frame.frame->IsCreated()) frame.frame->CloseProgram();
    QApplication::processEvents();
    VirtualWaveBackend::Instance().ResetToDefaults();
  }
  bool Make() {
    frame.frame = Create<FrameWindow>(frame.setup);
    frame.frame->SetMasters(master, nullptr, nullptr);
    if (!frame.frame->CreateFrame()) return false;
    frame.frame->Show(true);
    QApplication::processEvents();
    return true;
  }
  void History(const std::wstring& row) {
    testing::WriteFile(frame.folder.File("windows/calledhistory.dat"), WideToAnsi(row));
  }
  // Records a call for a moment and stops it; the file names in the call folder then.
  std::vector<std::string> RecordACall() {
    frame.Post(L"/cmd:rec /scene:0 /tel:1");
    EXPECT_TRUE(WaitUntil([&] { return master->IsState(MasterState::Running) && master->GetPosition() >= 200; }));
    frame.Post(L"/cmd:stop");
    EXPECT_TRUE(WaitUntil([&] { return master->IsState(MasterState::Closed); }));
    QApplication::processEvents();
    std::vector<std::string> names;
    WaitUntil([&] {
      names.clear();
      for (const auto& entry : fs::directory_iterator(calls.Path())) names.push_back(entry.path().filename());
      return names.size() == 1 && names[0].find("_着信_") != std::string::npos;
    }, 2000);
    return names;
  }

  TempFolder recordings;
  TempFolder calls;
  TestFrame frame;
  RefPtr<CRecWaveIn> master;
};

TEST(ProgramPages, ACallRecordingIsRenamedWithTheLatestCallOfTheHistory) {
  CallRecordingFrame f;
  f.History(L"0311111111\t\t202401010900\t\t佐藤\r\n0312345678\t\t209912312359\t\t山田\r\n");
  ASSERT_TRUE(f.Make());
  const std::vector<std::string> names = f.RecordACall();
  ASSERT_EQ(names.size(), 1u);
  const std::string& name = names[0];
  EXPECT_EQ(name.substr(0, 2), "rz");
  EXPECT_EQ(name.substr(name.size() - std::string("_着信_0312345678_山田.wav").size()), "_着信_0312345678_山田.wav")
      << name;
  EXPECT_TRUE(fs::is_empty(f.recordings.Path()));
}

TEST(ProgramPages, ACallerNameWithASlashLeavesTheRecordingWhereAndAsItWas) {
  CallRecordingFrame f;
  f.History(L"0312345678\t\t209912312359\t\t../山田\r\n");
  ASSERT_TRUE(f.Make());
  const std::vector<std::string> names = f.RecordACall();
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0].find("_着信_"), std::string::npos) << names[0];
  EXPECT_EQ(names[0].substr(names[0].size() - 4), ".wav");
  EXPECT_TRUE(fs::is_empty(f.recordings.Path()));
  EXPECT_EQ(f.frame.frame->MessageArea()->ShownText().find(L"Exception"), std::wstring::npos);
}

}  // namespace
}  // namespace talvinor
