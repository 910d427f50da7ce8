#include <gtest/gtest.h>

#include <filesystem>

#include "audio/GraphMessage.h"
#include "codec/ConversionRunner.h"
#include "codec/WavBuilder.h"
#include "support/TempFolder.h"

namespace talvinor {
namespace {

using namespace testing;

constexpr uint32_t kClosed = 5;

// The exact file the encoder must write for `pcm` in `format`.
std::string ExpectedWav(const std::string& pcm, uint16_t channels, uint32_t rate, uint16_t bits) {
  uint8_t header[44];
  WaveFileEncoder::BuildHeader(PcmWaveFormat(channels, rate, bits), static_cast<uint32_t>(pcm.size()), header);
  return std::string(reinterpret_cast<char*>(header), 44) + pcm;
}

struct InputCase {
  const char* name;
  std::string file;  // the input file's bytes
  std::string pcm;   // what the output's data chunk must hold
};

std::vector<InputCase> InputCases() {
  const std::string pcm = Pcm(100000);  // several buffers and a partial one
  const std::string fmt = Chunk("fmt ", FmtBody(2, 44100, 16));
  const std::string list = Chunk("LIST", std::string("INFOISFT\x06\x00\x00\x00talvi\x00", 18));
  std::vector<InputCase> cases = {
      {"plain", SimpleWav(pcm), pcm},
      {"list chunk before fmt", Riff(list + fmt + Chunk("data", pcm)), pcm},
      {"list chunk between fmt and data", Riff(fmt + list + Chunk("data", pcm)), pcm},
      // Bytes after the data chunk are not sound.
      {"chunk after data", Riff(fmt + Chunk("data", pcm) + list), pcm},
      {"extensible fmt", Riff(Chunk("fmt ", ExtensibleFmtBody(2, 44100, 16)) + Chunk("data", pcm)), pcm},
      // An odd-sized chunk is skipped by its size, without a pad byte.
      {"odd chunk size", Riff(fmt + Chunk("junk", "abc") + Chunk("data", pcm)), pcm},
      // A data chunk of size 0 runs to the end of the file.
      {"data size 0", Riff(fmt + Chunk("data", pcm, 0)), pcm},
      // An interrupted recording's provisional sizes: the data ends with the file.
      {"provisional sizes", Riff(fmt + Chunk("data", pcm, 0x7FFFFFFF), 0x7FFFFFFF), pcm},
      // Cut short in the middle of the data (and of a frame): what is there is kept.
      {"cut short", SimpleWav(pcm).substr(0, 44 + 60001), pcm.substr(0, 60001)},
      // A header-only provisional file converts to an empty file.
      {"no data at all", Riff(fmt + Chunk("data", "", 0x7FFFFFFF), 0x7FFFFFFF), ""},
  };
  return cases;
}

TEST(WaveConvertTest, WaveToWaveReproducesThePcmWithTheStandardHeader) {
  TempFolder folder;
  for (const InputCase& c : InputCases()) {
    SCOPED_TRACE(c.name);
    WriteFile(folder.File("in.wav"), c.file);
    std::filesystem::remove(folder.File("out.wav"));
    ConversionResult r = Convert(folder.WFile(L"in.wav"), folder.WFile(L"out.wav"));
    ASSERT_TRUE(r.closed);
    EXPECT_EQ(r.reason, StopCode(StopReason::EndOfStream));
    EXPECT_EQ(r.states, (std::vector<uint32_t>{1, 2, 4, 5}));
    std::string out = ReadFile(folder.File("out.wav"));
    if (c.pcm.empty()) {
      // Nothing decoded: the final header says so, not the provisional sizes.
      ASSERT_EQ(out.size(), 44u);
      EXPECT_EQ(Read32(out, 4), 36u);
      EXPECT_EQ(Read32(out, 40), 0u);
    } else {
      EXPECT_TRUE(out == ExpectedWav(c.pcm, 2, 44100, 16)) << "size " << out.size();
    }
  }
}

TEST(WaveConvertTest, MalformedHeadersStopWithEightyOneAndWriteNothing) {
  TempFolder folder;
  const std::string pcm = Pcm(1000);
  const std::string fmt = Chunk("fmt ", FmtBody(1, 8000, 16));
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"not RIFF", "RIFX" + SimpleWav(pcm).substr(4)},
      {"not WAVE", SimpleWav(pcm).replace(8, 4, "AVI ")},
      {"zero-sized chunk before fmt", Riff(Chunk("LIST", "", 0) + fmt + Chunk("data", pcm))},
      {"zero-sized chunk before data", Riff(fmt + Chunk("LIST", "", 0) + Chunk("data", pcm))},
      {"no data chunk", Riff(fmt + Chunk("LIST", "abcd")) + std::string(64, '\0')},
      {"fmt shorter than 16", Riff(Chunk("fmt ", FmtBody(1, 8000, 16).substr(0, 12)) + Chunk("data", pcm))},
      {"chunk size past the end", Riff(Chunk("LIST", "ab", 0xFFFFFFF8u) + fmt + Chunk("data", pcm))},
      {"compressed format", Riff(Chunk("fmt ", FmtBody(1, 8000, 16, 0x0011)) + Chunk("data", pcm))},
      {"extensible float", Riff(Chunk("fmt ", ExtensibleFmtBody(1, 8000, 32, 3)) + Chunk("data", pcm))},
      {"zero channels", Riff(Chunk("fmt ", FmtBody(0, 8000, 16)) + Chunk("data", pcm))},
      {"nine channels", Riff(Chunk("fmt ", FmtBody(9, 8000, 16)) + Chunk("data", pcm))},
      {"a rate of 0 Hz", Riff(Chunk("fmt ", FmtBody(1, 0, 16)) + Chunk("data", pcm))},
      {"a rate above 192 kHz", Riff(Chunk("fmt ", FmtBody(1, 384000, 16)) + Chunk("data", pcm))},
      {"13-bit samples", Riff(Chunk("fmt ", FmtBody(1, 8000, 13)) + Chunk("data", pcm))},
      {"a block that is not one sample per channel",
       Riff(Chunk("fmt ", FmtBody(2, 8000, 16).replace(12, 2, std::string("\x02\x00", 2))) + Chunk("data", pcm))},
      {"too short for a header", "RIFF\x04\x00\x00\x00WAV"},
  };
  for (const auto& [name, bytes] : cases) {
    SCOPED_TRACE(name);
    WriteFile(folder.File("bad.wav"), bytes);
    ConversionResult r = Convert(folder.WFile(L"bad.wav"), folder.WFile(L"out.wav"));
    ASSERT_TRUE(r.closed);
    EXPECT_EQ(r.reason, StopCode(StopReason::MalformedStream));
    EXPECT_FALSE(std::filesystem::exists(folder.File("out.wav")));
  }
}

TEST(WaveConvertTest, MissingInputAndExistingOutputStopWithThirtyOne) {
  TempFolder folder;
  ConversionResult missing = Convert(folder.WFile(L"nothing.wav"), folder.WFile(L"out.wav"));
  ASSERT_TRUE(missing.closed);
  EXPECT_EQ(missing.reason, StopCode(StopReason::FileOpen));
  EXPECT_FALSE(std::filesystem::exists(folder.File("out.wav")));

  WriteFile(folder.File("in.wav"), SimpleWav(Pcm(20000)));
  WriteFile(folder.File("out.wav"), "keep me");
  ConversionResult exists = Convert(folder.WFile(L"in.wav"), folder.WFile(L"out.wav"), ConvertOutput::CreateNew);
  ASSERT_TRUE(exists.closed);
  EXPECT_EQ(exists.reason, StopCode(StopReason::FileOpen));
  EXPECT_EQ(ReadFile(folder.File("out.wav")), "keep me");

  // Replacing is the default set up for the owner's conversions.
  ConversionResult replaced = Convert(folder.WFile(L"in.wav"), folder.WFile(L"out.wav"));
  EXPECT_EQ(replaced.reason, StopCode(StopReason::EndOfStream));
  EXPECT_EQ(ReadFile(folder.File("out.wav")), ExpectedWav(Pcm(20000), 2, 44100, 16));
}

TEST(WaveConvertTest, DataLimitEndsTheFileWithACorrectHeaderAndItsOwnReason) {
  TempFolder folder;
  const std::string pcm = Pcm(50000);
  WriteFile(folder.File("in.wav"), SimpleWav(pcm));
  RefPtr<WaveFileEncoder> encoder = Create<WaveFileEncoder>();
  ASSERT_TRUE(encoder->SetDataLimit(10002));  // rounded down to whole 4-byte frames
  ConversionResult r = Convert(folder.WFile(L"in.wav"), folder.WFile(L"out.wav"), ConvertOutput::Replace, nullptr,
                               encoder);
  ASSERT_TRUE(r.closed);
  EXPECT_EQ(r.reason, StopCode(StopReason::FileSizeLimit));
  std::string out = ReadFile(folder.File("out.wav"));
  EXPECT_TRUE(out == ExpectedWav(pcm.substr(0, 10000), 2, 44100, 16)) << "size " << out.size();
  // Exactly at the limit the stream still ends normally.
  ASSERT_TRUE(encoder->SetDataLimit(50000));
  r = Convert(folder.WFile(L"in.wav"), folder.WFile(L"out.wav"), ConvertOutput::Replace, nullptr, encoder);
  EXPECT_EQ(r.reason, StopCode(StopReason::EndOfStream));
  EXPECT_EQ(ReadFile(folder.File("out.wav")), ExpectedWav(pcm, 2, 44100, 16));
}

TEST(WaveConvertTest, SeekTargetSetBeforeOpeningStartsOnThatFrame) {
  TempFolder folder;
  const std::string pcm = Pcm(8000 * 2 * 3, 7);  // 3 s of 8000 Hz 16-bit mono
  WriteFile(folder.File("in.wav"), SimpleWav(pcm, 1, 8000, 16));
  RefPtr<WaveFileSource> source = Create<WaveFileSource>();
  source->SetSeekTarget(1500);
  ConversionResult r = Convert(folder.WFile(L"in.wav"), folder.WFile(L"out.wav"), ConvertOutput::Replace, source);
  EXPECT_EQ(r.reason, StopCode(StopReason::EndOfStream));
  EXPECT_EQ(source->GetDataStart(), 44u);
  EXPECT_EQ(source->GetBasePosition(), 1500u);
  EXPECT_EQ(ReadFile(folder.File("out.wav")), ExpectedWav(pcm.substr(24000), 1, 8000, 16));
}

TEST(WaveConvertTest, ALongConversionAllocatesNoStoragePerBufferAndLeaksNothing) {
  TempFolder folder;
  int32_t messages = GraphMessage::LiveCount();
  int32_t buffers = AudioBuffer::LiveCount();
  int32_t components = AudioComponent::LiveCount();
  uint64_t perRun[2];
  const size_t sizes[2] = {8192 * 10, 8192 * 2000};  // 10 and 2000 buffers' worth
  for (int i = 0; i < 2; ++i) {
    WriteFile(folder.File("in.wav"), SimpleWav(Pcm(sizes[i], 3)));
    RefPtr<ConvertMaster> master = Create<ConvertMaster>();
    uint64_t before = AudioBuffer::StorageAllocations();
    ConversionResult r = Convert(folder.WFile(L"in.wav"), folder.WFile(L"out.wav"), ConvertOutput::Replace,
                                 nullptr, nullptr, master);
    perRun[i] = AudioBuffer::StorageAllocations() - before;
    EXPECT_EQ(r.reason, StopCode(StopReason::EndOfStream));
    EXPECT_EQ(std::filesystem::file_size(folder.File("out.wav")), sizes[i] + 44);
  }
  // Only the set-up's buffers are allocated, however long the file.
  EXPECT_EQ(perRun[1], perRun[0]);
  EXPECT_LE(perRun[0], 8u);
  EXPECT_EQ(GraphMessage::LiveCount(), messages);
  EXPECT_EQ(AudioBuffer::LiveCount(), buffers);
  EXPECT_EQ(AudioComponent::LiveCount(), components);
}

TEST(WaveConvertTest, OneMasterRunsConversionsOneAfterAnother) {
  TempFolder folder;
  RefPtr<ConvertMaster> master = Create<ConvertMaster>();
  for (int i = 0; i < 3; ++i) {
    std::string pcm = Pcm(30000 + 1000 * i, i);
    WriteFile(folder.File("in.wav"), SimpleWav(pcm, 1, 22050, 16));
    ConversionResult r =
        Convert(folder.WFile(L"in.wav"), folder.WFile(L"out.wav"), ConvertOutput::Replace, nullptr, nullptr, master);
    EXPECT_EQ(r.reason, StopCode(StopReason::EndOfStream));
    EXPECT_EQ(ReadFile(folder.File("out.wav")), ExpectedWav(pcm, 1, 22050, 16));
  }
}

TEST(WaveConvertTest, CloseWhileRunningStopsWithReasonOne) {
  TempFolder folder;
  // Large enough that the conversion is still running when closed.
  WriteFile(folder.File("in.wav"), SimpleWav(Pcm(8192 * 6000)));
  HeadlessMessageQueue window;
  RefPtr<ConvertMaster> master = Create<ConvertMaster>();
  master->SetNotify(window.Id(), kWmConvertNotify, 0);
  ASSERT_TRUE(master->Setup(folder.WFile(L"in.wav"), Create<WaveFileSource>(), folder.WFile(L"out.wav"),
                            Create<WaveFileEncoder>()));
  ASSERT_TRUE(master->Start());
  ASSERT_TRUE(master->WaitForState(MasterState::Running, 10000, 1));
  EXPECT_GT(master->GetLength(), 0u);
  EXPECT_FALSE(master->Pause());
  EXPECT_FALSE(master->Setup(folder.WFile(L"in.wav"), Create<WaveFileSource>(), folder.WFile(L"x.wav"),
                             Create<WaveFileEncoder>()));
  master->Close();
  ASSERT_TRUE(master->WaitForState(MasterState::Closed, 10000, 1));
  EXPECT_TRUE(master->GetStopReason() == StopReason::ByOwner || master->GetStopReason() == StopReason::EndOfStream);
  EXPECT_EQ(master->GetPosition(), 0u);
  // Whatever was written before the stop has a consistent header.
  std::string out = ReadFile(folder.File("out.wav"));
  ASSERT_GE(out.size(), 44u);
  if (out.size() > 44) {
    EXPECT_EQ(Read32(out, 40), out.size() - 44);
  }
}

}  // namespace
}  // namespace talvinor
