// The player page's two costs a person notices:
//   refill   rebuilding the folder list of a folder of 10 000 files (names,
//            sizes, dates, the name filter, sorting), beside `ls -l` of the
//            same folder as the peer;
//   first    the time from the play button to the first sound the output
//            device is given, for a WAV, an Ogg Vorbis and an Ogg Speex file
//            (virtual output device, unpaced).
//
//   player_bench [files] [runs]      (default 10000 and 7)
#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/ProgramPaths.h"
#include "core/Singletons.h"
#include "platform/FileSystem.h"
#include "platform/Unicode.h"
#include "platform/wave/VirtualWaveBackend.h"
#include "platform/wave/WaveAudio.h"
#include "player/FileListView.h"
#include "player/PlayerPage.h"
#include "settings/ConfigStore.h"
#include "ui/SkinResources.h"
#include "ui/UiApplication.h"

using namespace talvinor;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

void Report(const char* what, const std::vector<double>& runs) {
  std::printf("%-34s median %8.2f ms   best %8.2f ms   (%zu runs)\n", what, Median(runs),
              *std::min_element(runs.begin(), runs.end()), runs.size());
}

class BenchPage : public Window {};

}  // namespace

int main(int argc, char** argv) {
  const int files = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 7;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  UiApplication app(argc, argv);

  char pattern[] = "/tmp/talvinor-player-bench-XXXXXX";
  const std::string folder = ::mkdtemp(pattern);
  const std::string list = folder + "/list";
  std::filesystem::create_directory(list);
  for (int i = 0; i < files; ++i) {
    // Nine in ten are sound files; the rest are folders or other files.
    char name[64];
    const char* ext = i % 10 == 9 ? ".txt" : (i % 3 == 0 ? ".wav" : (i % 3 == 1 ? ".ogg" : ".spx"));
    std::snprintf(name, sizeof name, "/rz%08d%s", i, ext);
    if (i % 50 == 49) {
      std::filesystem::create_directory(list + name);
    } else {
      std::ofstream(list + name) << std::string(static_cast<size_t>(i % 4000), 'x');
    }
  }
  OverrideProgramFolder(Utf8ToWide(folder));
  SkinResources::Get()->Build(0, 17, 1);

  RefPtr<BenchPage> parent = Create<BenchPage>();
  parent->Create(L"", kWsVisible, {0, 0, 240, 320}, nullptr, 0);
  RefPtr<FileListView> view = Create<FileListView>();
  view->CreateList(parent.Get(), {0, 0, 240, 200});
  view->SetFolder(Utf8ToWide(list));
  std::vector<double> refill, peer;
  for (int r = 0; r < runs; ++r) {
    const auto start = Clock::now();
    view->Refill();
    refill.push_back(Ms(start, Clock::now()));
    QApplication::processEvents();
    const auto peerStart = Clock::now();
    const std::string command = "ls -l '" + list + "' > /dev/null";
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "ls failed\n");
    peer.push_back(Ms(peerStart, Clock::now()));
  }
  std::vector<double> listing;
  for (int r = 0; r < runs; ++r) {
    std::vector<FolderEntry> entries;
    const auto start = Clock::now();
    ListFolder(Utf8ToWide(list), &entries);
    listing.push_back(Ms(start, Clock::now()));
  }
  std::printf("folder of %d entries, %d rows shown\n", files, view->GetItemCount());
  Report("of which listing the folder", listing);
  Report("refill (FileListView)", refill);
  Report("peer: ls -l", peer);

  // Play to the first sound at the device.
  const std::string sounds = folder + "/sounds";
  std::filesystem::create_directory(sounds);
  const std::string make = "cd '" + sounds +
                           "' && sox -n -r 16000 -c 1 -b 16 a.wav synth 30 sine 440 && oggenc -Q a.wav -o a.ogg && "
                           "speexenc a.wav a.spx 2>/dev/null";
  if (std::system(make.c_str()) != 0) {
    std::fprintf(stderr, "sox, oggenc or speexenc failed\n");
    return 1;
  }
  SetWaveBackend(WaveBackendKind::Virtual);
  VirtualWaveDevice speaker;
  speaker.pace = 0;
  speaker.keepPlayed = false;
  VirtualWaveBackend::Instance().SetDevices(WaveDirection::Output, {speaker});
  GetConfig()->m_RecPath = Utf8ToWide(sounds);
  GetConfig()->m_SusPrvMode = 0;
  PageContext context;
  context.playbackMaster = Create<CRecWaveOut>();
  RefPtr<PlayerPage> page = Create<PlayerPage>(context);
  page->Create(L"", kWsChild | kWsVisible, {0, 0, 240, 252}, parent.Get(), 0);
  for (const wchar_t* name : {L"a.wav", L"a.ogg", L"a.spx"}) {
    std::vector<double> first;
    for (int r = 0; r < runs; ++r) {
      const std::wstring selected = name;
      page->List()->Refill(&selected);
      const uint64_t before = VirtualWaveBackend::Instance().Stats(WaveDirection::Output, 0).frames;
      const auto start = Clock::now();
      page->Play();
      while (VirtualWaveBackend::Instance().Stats(WaveDirection::Output, 0).frames == before &&
             Ms(start, Clock::now()) < 5000) {
      }
      first.push_back(Ms(start, Clock::now()));
      page->Stop();
      QApplication::processEvents();
    }
    Report(("play to first sound: " + WideToUtf8(name)).c_str(), first);
  }
  page->OnClose();
  page->DestroyWindow();
  page = nullptr;
  parent->DestroyWindow();
  ReleaseSingletons();
  std::filesystem::remove_all(folder);
  return 0;
}
