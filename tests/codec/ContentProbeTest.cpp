#include "codec/ContentProbe.h"

#include <gtest/gtest.h>

#include "codec/StreamInfoReader.h"
#include "codec/WavBuilder.h"
#include "support/StopReasonPrint.h"
#include "support/TempFolder.h"

namespace talvinor {
namespace {

using namespace testing;

TEST(ContentProbeTest, RecognisesWaveOnlyWithSixtyFourBytes) {
  TempFolder folder;
  std::string wav = SimpleWav(Pcm(100));
  WriteFile(folder.File("a.wav"), wav);
  WriteFile(folder.File("short.wav"), wav.substr(0, 63));
  WriteFile(folder.File("riff.avi"), wav.substr(0, 8) + "AVI " + wav.substr(12));
  WriteFile(folder.File("named.ogg"), wav);  // content decides, not the name
  EXPECT_EQ(ProbeFileContent(folder.WFile(L"a.wav")), 0x20023u);
  EXPECT_EQ(ProbeFileContent(folder.WFile(L"named.ogg")), 0x20023u);
  EXPECT_EQ(ProbeFileContent(folder.WFile(L"short.wav")), 0u);
  EXPECT_EQ(ProbeFileContent(folder.WFile(L"riff.avi")), 0u);
  EXPECT_EQ(ProbeFileContent(folder.WFile(L"missing.wav")), 0u);
  EXPECT_EQ(ProbeFileContent(folder.WPath()), 0u);  // a folder
}

TEST(ContentProbeTest, StreamInfoReportsFormatLengthOrTheReason) {
  TempFolder folder;
  // 75.5 s of 8000 Hz 16-bit mono.
  WriteFile(folder.File("a.wav"), SimpleWav(Pcm(8000 * 2 * 755 / 10), 1, 8000, 16));
  StreamInfo info;
  ASSERT_EQ(ReadStreamInfo(folder.WFile(L"a.wav"), &info), StopReason::None);
  EXPECT_EQ(info.sourceCode, 0x20023u);
  EXPECT_EQ(info.format, PcmWaveFormat(1, 8000, 16));
  EXPECT_EQ(info.lengthMs, 75500u);
  EXPECT_TRUE(info.tags.empty());

  WriteFile(folder.File("bad.wav"), Riff(Chunk("fmt ", FmtBody(1, 8000, 16))) + std::string(64, 'x'));
  EXPECT_EQ(ReadStreamInfo(folder.WFile(L"bad.wav"), &info), StopReason::MalformedStream);
  WriteFile(folder.File("text.txt"), std::string(100, 't'));
  EXPECT_EQ(ReadStreamInfo(folder.WFile(L"text.txt"), &info), StopReason::MalformedStream);
  EXPECT_EQ(ReadStreamInfo(folder.WFile(L"missing.wav"), &info), StopReason::FileOpen);
}

}  // namespace
}  // namespace talvinor
