// Recordings cut off by a crash or a full disk, made playable in place: WAV
// sizes from the file's length, Ogg cut back to its last complete page and
// marked as ended; and the encoders' share in keeping the loss small (a page
// at least every second of sound).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "codec/OggTestSupport.h"
#include "codec/RecordingRepair.h"
#include "codec/SpeexEncoder.h"
#include "codec/VorbisEncoder.h"
#include "platform/File.h"
#include "support/TempFolder.h"

namespace talvinor {
namespace {

using namespace testing;

RepairReport Repair(const std::string& path, RepairMode mode = RepairMode::Repair) {
  return RepairRecording(Utf8ToWide(path), mode);
}

// Seconds of sound a peer decodes from `path` (soxi for WAV, ffmpeg for Ogg:
// the length of what it could really decode, not what a header claims).
double PeerSeconds(const std::string& path) {
  std::string out = RunOutput("ffmpeg -v error -i " + Quote(path) + " -f s16le -ac 1 - | wc -c");
  std::string rate = RunOutput("ffprobe -v error -select_streams a:0 -show_entries stream=sample_rate -of csv=p=0 " +
                               Quote(path));
  double r = std::atof(rate.c_str());
  return r > 0 ? std::atof(out.c_str()) / 2 / r : -1;
}

// What soxi reads from a WAV header: its length in samples.
long SoxSamples(const std::string& path) { return std::atol(RunOutput("soxi -s " + Quote(path)).c_str()); }

std::string OwnWaveHeader(uint16_t channels, uint32_t rate, uint32_t dataBytes) {
  WaveFormat format = PcmWaveFormat(channels, rate, 16);
  uint8_t header[WaveFileEncoder::kHeaderSize];
  WaveFileEncoder::BuildHeader(format, dataBytes, header);
  return std::string(reinterpret_cast<char*>(header), sizeof header);
}

TEST(RecordingRepairTest, AWaveCutOffGetsItsSizesFromTheWholeFramesItHoldsAndIsThenLeftAlone) {
  TempFolder folder;
  const std::string path = folder.File("rz240102_103000.wav");
  const std::string pcm = Pcm(8000 * 4 * 3);  // three seconds of 8 kHz stereo
  // Provisional sizes, as a recording killed before its first update leaves
  // them, and half a frame at the end.
  WriteFile(path, OwnWaveHeader(2, 8000, WaveFileEncoder::kSizesUnknown) + pcm + "ab");
  RepairReport report = Repair(path);
  EXPECT_EQ(report.outcome, RepairOutcome::Repaired) << report.what;
  EXPECT_EQ(report.dataBytesBefore, WaveFileEncoder::kProvisionalSize);
  EXPECT_EQ(report.dataBytesAfter, pcm.size());
  EXPECT_EQ(SoxSamples(path), 8000 * 3);
  const std::string repaired = ReadFile(path);
  EXPECT_TRUE(repaired.substr(44) == pcm + "ab") << "the sound itself is never touched";

  // An update in mid-recording left sizes smaller than what followed.
  WriteFile(path, OwnWaveHeader(2, 8000, 8000 * 4) + pcm);
  EXPECT_EQ(Repair(path).outcome, RepairOutcome::Repaired);
  EXPECT_EQ(SoxSamples(path), 8000 * 3);

  // Complete files stay byte for byte: the repaired one, and one from
  // another program with a chunk after its sound.
  EXPECT_EQ(Repair(path).outcome, RepairOutcome::Complete);
  const std::string body = "WAVE" + Chunk("fmt ", FmtBody(1, 8000, 16)) + Chunk("data", Pcm(1600)) +
                           Chunk("LIST", std::string("INFOISFT\x04\x00\x00\x00sox\x00", 16));
  WriteFile(folder.File("list.wav"), Chunk("RIFF", body));
  for (const std::string& name : {std::string("rz240102_103000.wav"), std::string("list.wav")}) {
    const std::string before = ReadFile(folder.File(name));
    EXPECT_EQ(Repair(folder.File(name)).outcome, RepairOutcome::Complete) << name;
    EXPECT_TRUE(ReadFile(folder.File(name)) == before) << name;
  }
}

TEST(RecordingRepairTest, AFileStillBeingRecordedIsLeftAlone) {
  TempFolder folder;
  const std::string path = folder.File("rz240102_103000.wav");
  const std::string bytes = OwnWaveHeader(1, 8000, WaveFileEncoder::kSizesUnknown) + Pcm(1600);
  WriteFile(path, bytes);
  // The recorder's file worker holds this lock while it writes.
  File writer;
  ASSERT_TRUE(writer.Open(Utf8ToWide(path), FileOpenMode::ReadWrite));
  ASSERT_TRUE(writer.TryLockExclusive());
  RepairReport report = Repair(path);
  EXPECT_EQ(report.outcome, RepairOutcome::LeftAlone) << report.what;
  EXPECT_TRUE(ReadFile(path) == bytes);
  writer.Close();
  EXPECT_EQ(Repair(path).outcome, RepairOutcome::Repaired);
}

TEST(RecordingRepairTest, WhatIsNotARecordingOrNotAFileIsNeverWritten) {
  TempFolder folder;
  WriteFile(folder.File("notes.wav"), "just some text that is long enough to be read as a header, or not");
  const std::string before = ReadFile(folder.File("notes.wav"));
  EXPECT_EQ(Repair(folder.File("notes.wav")).outcome, RepairOutcome::NotRecording);
  EXPECT_EQ(ReadFile(folder.File("notes.wav")), before);
  WriteFile(folder.File("short.wav"), "RIFF");
  EXPECT_EQ(Repair(folder.File("short.wav")).outcome, RepairOutcome::NotRecording);
  EXPECT_EQ(Repair(folder.File("missing.wav")).outcome, RepairOutcome::Failed);
  ASSERT_EQ(::mkfifo(folder.File("fifo.ogg").c_str(), 0600), 0);
  RepairReport fifo = Repair(folder.File("fifo.ogg"));  // must not wait for a writer
  EXPECT_EQ(fifo.outcome, RepairOutcome::Failed);
  EXPECT_EQ(fifo.what, "not a regular file");
}

struct OggCase {
  const char* name;
  const char* decoder;  // the peer that must accept the repaired file: "%s" is the file
  RefPtr<AudioEncoder> (*make)();
};

class RecordingRepairOggTest : public ::testing::TestWithParam<OggCase> {};

TEST_P(RecordingRepairOggTest, ACutOffStreamEndsAtItsLastCompletePageAndPlaysInThePeers) {
  const OggCase& c = GetParam();
  TempFolder folder;
  const std::string full = folder.File("full");
  ASSERT_EQ(EncodeFile(SpeechWav(16000, 1, 6.0), full, c.make()).reason, 2u);
  const std::string bytes = ReadFile(full);
  std::vector<OggPageInfo> pages;
  std::vector<OggPacketInfo> packets;
  ReadOgg(bytes, &pages, &packets);
  ASSERT_GT(pages.size(), 4u);

  // A complete file is not written to.
  EXPECT_EQ(Repair(full).outcome, RepairOutcome::Complete);
  EXPECT_TRUE(ReadFile(full) == bytes);

  // Cut inside a page in the middle, right after a page, and after the
  // headers alone (a recording killed at once).
  size_t firstSound = 0;
  while (firstSound < pages.size() && pages[firstSound].granule <= 0) ++firstSound;
  ASSERT_LT(firstSound, pages.size());
  const size_t afterHeaders = static_cast<size_t>(pages[firstSound].offset);
  const size_t middle = pages.size() / 2;
  struct Cut {
    size_t at;
    const char* where;
  };
  for (Cut cut : {Cut{static_cast<size_t>(pages[middle].offset) + 100, "inside a page"},
                  Cut{static_cast<size_t>(pages[middle].offset), "after a page"},
                  Cut{afterHeaders, "after the headers"}}) {
    SCOPED_TRACE(cut.where);
    // The last page that is whole before the cut and ends a packet: the
    // repair keeps everything up to its end.
    size_t keep = 0, lastStart = 0;
    for (size_t i = 0; i < pages.size(); ++i) {
      const size_t end = i + 1 < pages.size() ? static_cast<size_t>(pages[i + 1].offset) : bytes.size();
      if (end > cut.at) break;
      if (pages[i].granule != -1) {
        keep = end;
        lastStart = static_cast<size_t>(pages[i].offset);
      }
    }
    const std::string path = folder.File(std::string("rz240102_103000.") + c.name);
    WriteFile(path, bytes.substr(0, cut.at));
    RepairReport report = Repair(path);
    ASSERT_EQ(report.outcome, RepairOutcome::Repaired) << report.what;
    EXPECT_TRUE(report.endMarkAdded);
    const std::string repaired = ReadFile(path);
    ASSERT_EQ(repaired.size(), keep);
    EXPECT_TRUE(repaired.substr(0, lastStart) == bytes.substr(0, lastStart)) << "only the last page's header changes";
    std::vector<OggPageInfo> kept;
    std::vector<OggPacketInfo> keptPackets;
    ReadOgg(repaired, &kept, &keptPackets);
    ASSERT_FALSE(kept.empty());
    EXPECT_EQ(static_cast<size_t>(kept.back().offset), lastStart) << "every page's sum is right";
    EXPECT_TRUE(kept.back().eos);
    if (cut.at > afterHeaders) {
      char command[512];
      std::snprintf(command, sizeof command, c.decoder, Quote(path).c_str());
      EXPECT_EQ(Shell(command), 0) << command << " refused the repaired file";
      EXPECT_GT(PeerSeconds(path), 1.0) << "ffmpeg decodes what was kept";
    }
    // Once repaired, the file is complete.
    EXPECT_EQ(Repair(path).outcome, RepairOutcome::Complete);
    EXPECT_TRUE(ReadFile(path) == repaired);
  }
}

TEST_P(RecordingRepairOggTest, AStreamWithSoundAfterADamagedStretchIsLeftAsItIs) {
  const OggCase& c = GetParam();
  TempFolder folder;
  const std::string path = folder.File("damaged");
  ASSERT_EQ(EncodeFile(SpeechWav(16000, 1, 6.0), path, c.make()).reason, 2u);
  std::string bytes = ReadFile(path);
  std::vector<OggPageInfo> pages;
  std::vector<OggPacketInfo> packets;
  ReadOgg(bytes, &pages, &packets);
  ASSERT_GT(pages.size(), 4u);
  // One flipped byte inside a page in the middle, and the end cut off.
  bytes[static_cast<size_t>(pages[pages.size() / 2].offset) + 40] ^= 0x55;
  bytes.resize(bytes.size() - 10);
  WriteFile(path, bytes);
  RepairReport report = Repair(path);
  EXPECT_EQ(report.outcome, RepairOutcome::LeftAlone) << report.what;
  EXPECT_TRUE(ReadFile(path) == bytes);
}

TEST_P(RecordingRepairOggTest, TheEncoderClosesAPageAtLeastEverySecondOfSound) {
  const OggCase& c = GetParam();
  TempFolder folder;
  const std::string path = folder.File("paged");
  // 8 kHz mono at the lowest settings: the sparsest stream either codec
  // writes, whose pages would otherwise hold several seconds.
  RefPtr<AudioEncoder> encoder = c.make();
  if (RefPtr<VorbisEncoder> vorbis = QueryAs<VorbisEncoder>(encoder.Get())) vorbis->SetQuality(-0.1f);
  if (RefPtr<SpeexEncoder> speex = QueryAs<SpeexEncoder>(encoder.Get())) {
    SpeexSettings settings;
    settings.quality = 0;
    speex->SetSpeexSettings(settings);
  }
  ASSERT_EQ(EncodeFile(SpeechWav(8000, 1, 12.0), path, encoder).reason, 2u);
  std::vector<OggPageInfo> pages;
  std::vector<OggPacketInfo> packets;
  ReadOgg(ReadFile(path), &pages, &packets);
  int64_t last = 0;
  for (const OggPageInfo& page : pages) {
    if (page.granule == -1) continue;
    // One packet's worth over the second at most: the page closes with the
    // first packet past it.
    EXPECT_LE(page.granule - last, 8000 + 2048) << "page at " << page.offset;
    last = page.granule;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, RecordingRepairOggTest,
    ::testing::Values(OggCase{"ogg", "oggdec -Q -o /dev/null %s",
                              [] { return RefPtr<AudioEncoder>(Create<VorbisEncoder>()); }},
                      OggCase{"spx", "speexdec %s /dev/null", [] { return RefPtr<AudioEncoder>(Create<SpeexEncoder>()); }}),
    [](const ::testing::TestParamInfo<OggCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace talvinor
