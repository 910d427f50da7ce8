// Measures the memo backup: five 3-minute answering-machine messages (8000 Hz
// mono speech) backed up by the job the memo page and talvinor-cli run, one
// conversion at a time through the conversion master, against oggenc at the
// same quality (-q 3 for the default m_MemoOvQuality 0.3) on the same files,
// one after the other, in the same run. Wall time and CPU time (user +
// system, every thread of the job; every child of oggenc) are shown.
//
//   memo_backup_bench [seconds per message] [runs]
#include <sys/resource.h>
#include <sys/wait.h>
#include <utime.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>

#include "audio/ConvertMaster.h"
#include "memo/MemoBackupJob.h"
#include "platform/Unicode.h"
#include "platform/window/HeadlessMessageQueue.h"

using namespace talvinor;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kMessages = 5;

void Check(bool ok, const std::string& what) {
  if (ok) return;
  std::fprintf(stderr, "failed: %s\n", what.c_str());
  std::exit(1);
}

int Shell(const std::string& command) {
  int status = std::system((command + " >/dev/null 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

double CpuSeconds(int who) {
  struct rusage usage {};
  ::getrusage(who, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Timing {
  double wall = 1e9;
  double cpu = 1e9;
};

// Best wall time and best CPU time of `runs` runs of `job`; `who` is whose
// CPU time counts (RUSAGE_SELF or RUSAGE_CHILDREN).
Timing Best(int runs, int who, const std::function<void()>& prepare, const std::function<void()>& job) {
  Timing best;
  for (int i = 0; i < runs; ++i) {
    prepare();
    const double cpu = CpuSeconds(who);
    const auto start = Clock::now();
    job();
    best.wall = std::min(best.wall, std::chrono::duration<double>(Clock::now() - start).count());
    best.cpu = std::min(best.cpu, CpuSeconds(who) - cpu);
  }
  return best;
}

struct Reporter : MemoBackupReporter {
  void ShowStatus(const std::wstring& text) override { last = text; }
  void ShowError(const std::wstring& text) override { std::fprintf(stderr, "error: %s\n", WideToUtf8(text).c_str()); }
  std::wstring last;
};

std::string LoadAverage() {
  std::string text;
  if (FILE* f = std::fopen("/proc/loadavg", "r")) {
    char line[128] = {};
    if (std::fgets(line, sizeof line, f)) text = line;
    std::fclose(f);
  }
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 180;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
  const std::string folder = (std::filesystem::temp_directory_path() / "talvinor-memo-bench").string();
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder + "/phone");
  std::filesystem::create_directories(folder + "/memo");
  std::filesystem::create_directories(folder + "/oggenc");
  auto q = [](const std::string& path) { return "'" + path + "'"; };

  Check(Shell("espeak-ng -s 150 -w " + q(folder + "/speech.wav") +
              " 'You have one new message. Please call me back when you get this, the meeting moved to "
              "Thursday at ten, and bring the papers we talked about.'") == 0,
        "espeak-ng");
  for (int i = 1; i <= kMessages; ++i) {
    const std::string message = folder + "/phone/shrec" + std::to_string(i) + ".wav";
    Check(Shell("sox " + q(folder + "/speech.wav") + " -b 16 -c 1 " + q(message) + " rate -h 8000 repeat 200 trim 0 " +
                std::to_string(seconds)) == 0,
          "sox");
    std::tm t{};
    t.tm_year = 124;
    t.tm_mon = 0;
    t.tm_mday = 2;
    t.tm_hour = 10;
    t.tm_min = i;
    t.tm_isdst = -1;
    struct utimbuf times {};
    times.actime = times.modtime = std::mktime(&t);
    ::utime(message.c_str(), &times);
  }

  MemoBackupOptions options;
  options.sourceFolder = Utf8ToWide(folder + "/phone/");
  options.sourcePattern = L"shrec%d.wav";
  options.first = 1;
  options.last = kMessages;
  options.memoFolder = Utf8ToWide(folder + "/memo");
  options.quality = 0.3;
  RefPtr<ConvertMaster> master = Create<ConvertMaster>();

  std::printf("load average at start: %s\n", LoadAverage().c_str());
  std::printf("input: %d messages of %d s, 8000 Hz mono 16-bit speech; Vorbis quality 0.3; best of %d runs\n",
              kMessages, seconds, runs);

  auto clearMemo = [&] {
    for (const auto& entry : std::filesystem::directory_iterator(folder + "/memo")) std::filesystem::remove(entry);
  };
  const Timing own = Best(runs, RUSAGE_SELF, clearMemo, [&] {
    Reporter reporter;
    RefPtr<MemoBackupJob> job = Create<MemoBackupJob>(options, master, &reporter);
    Check(job->Prepare() == MemoBackupJob::Preparation::Ready && job->GetCounts().toBackUp == kMessages, "scan");
    HeadlessMessageQueue window;
    Check(job->Begin(window.Id()), "begin");
    while (!job->IsFinished()) {
      auto notice = window.TakeMessage(kWmConvertNotify, 30000);
      Check(notice.has_value(), "notice");
      job->OnMasterNotice(notice->wParam);
    }
    Check(job->GetCounts().failed == 0 && job->ShouldCloseByItself(), "backup");
    master->Wait(5000);
  });

  auto clearOggenc = [&] {
    for (const auto& entry : std::filesystem::directory_iterator(folder + "/oggenc")) std::filesystem::remove(entry);
  };
  const Timing peer = Best(runs, RUSAGE_CHILDREN, clearOggenc, [&] {
    for (int i = 1; i <= kMessages; ++i) {
      const std::string n = std::to_string(i);
      Check(Shell("oggenc -Q -q 3 -o " + q(folder + "/oggenc/" + n + ".ogg") + " " +
                  q(folder + "/phone/shrec" + n + ".wav")) == 0,
            "oggenc");
    }
  });

  uintmax_t ownBytes = 0, peerBytes = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder + "/memo")) ownBytes += entry.file_size();
  for (const auto& entry : std::filesystem::directory_iterator(folder + "/oggenc")) peerBytes += entry.file_size();
  std::printf("%-28s %8s %8s %10s\n", "", "wall s", "CPU s", "bytes");
  std::printf("%-28s %8.3f %8.3f %10ju\n", "memo backup (5 messages)", own.wall, own.cpu, ownBytes);
  std::printf("%-28s %8.3f %8.3f %10ju\n", "oggenc -q 3 (5 files)", peer.wall, peer.cpu, peerBytes);
  std::printf("ratio (backup / oggenc)      %8.2f %8.2f\n", own.wall / peer.wall, own.cpu / peer.cpu);
  std::printf("load average at end: %s\n", LoadAverage().c_str());
  std::filesystem::remove_all(folder);
  return 0;
}
