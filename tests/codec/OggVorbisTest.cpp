#include <gtest/gtest.h>

#include <filesystem>

#include "codec/OggTestSupport.h"
#include "codec/VorbisEncoder.h"
#include "codec/VorbisFileSource.h"
#include "platform/CodePage.h"
#include "support/TempFolder.h"

namespace talvinor {
namespace {

using namespace testing;

const std::wstring kJapaneseName = L"山田 太郎";

// A 16-bit speech file turned into 8-bit unsigned PCM.
std::string EightBitSpeech(const std::string& folder) {
  PcmData pcm = SpeechPcm(11025, 1, 2.0);
  std::string bytes;
  for (int16_t s : pcm.samples) bytes.push_back(static_cast<char>((s >> 8) + 128));
  std::string path = folder + "/eight.wav";
  WriteFile(path, SimpleWav(bytes, 1, 11025, 8));
  return path;
}

// `ogg` with its comment header replaced by one holding `comments` as they
// are (the bytes of any code page).
std::string WithVorbisComments(const std::string& ogg, const std::vector<std::string>& comments) {
  return RewriteHeaders(ogg, 3, [&](std::vector<OggPacketInfo>* headers) {
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    for (const std::string& c : comments) vorbis_comment_add(&vc, c.c_str());
    ogg_packet header;
    vorbis_commentheader_out(&vc, &header);
    (*headers)[1].bytes.assign(reinterpret_cast<const char*>(header.packet), static_cast<size_t>(header.bytes));
    ogg_packet_clear(&header);
    vorbis_comment_clear(&vc);
  });
}

RefPtr<VorbisEncoder> TaggedEncoder() {
  RefPtr<VorbisEncoder> encoder = Create<VorbisEncoder>();
  encoder->AddTag(L"RECORDER", L"TALVINOR");
  encoder->AddTag(L"RECORDDATE", L"2024/3/7 09:05:01");
  encoder->AddTag(L"TELNAME", kJapaneseName);
  return encoder;
}

TEST(OggVorbisTest, SpeechRecordingsDecodeWithThePeersAndCarryTheirTagsInCp932) {
  TempFolder folder;
  struct Case {
    const char* name;
    std::string wav;
  };
  std::vector<Case> cases = {
      {"44100 Hz stereo", SpeechWav(44100, 2, 2.0)},
      {"8000 Hz mono", SpeechWav(8000, 1, 2.0)},
      {"11025 Hz 8-bit", EightBitSpeech(folder.Path())},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string ogg = folder.File("out.ogg");
    ConversionResult r = EncodeFile(c.wav, ogg, TaggedEncoder());
    ASSERT_TRUE(r.closed);
    ASSERT_EQ(r.reason, 2u);

    std::string wavBytes = ReadFile(c.wav);
    const uint32_t inputFrames = Read32(wavBytes, 40) / (Read32(wavBytes, 32) & 0xFFFF);

    // oggdec and ffmpeg read it, to the sample count that went in.
    ASSERT_EQ(Shell("oggdec -Q -o " + Quote(folder.File("oggdec.wav")) + " " + Quote(ogg)), 0);
    PcmData peer;
    ASSERT_TRUE(ReadWav(folder.File("oggdec.wav"), &peer));
    EXPECT_EQ(peer.Frames(), inputFrames);
    ASSERT_EQ(Shell("ffmpeg -v error -y -i " + Quote(ogg) + " " + Quote(folder.File("ffmpeg.wav"))), 0);
    PcmData viaFfmpeg;
    ASSERT_TRUE(ReadWav(folder.File("ffmpeg.wav"), &viaFfmpeg));
    EXPECT_EQ(viaFfmpeg.rate, peer.rate);
    EXPECT_NEAR(static_cast<double>(viaFfmpeg.Frames()), static_cast<double>(inputFrames), inputFrames * 0.01);

    // The stored tag text is CP932, byte for byte.
    std::string listed = RunOutput("vorbiscomment -l -R " + Quote(ogg));
    EXPECT_NE(listed.find("RECORDER=TALVINOR\n"), std::string::npos) << listed;
    EXPECT_NE(listed.find("RECORDDATE=2024/3/7 09:05:01\n"), std::string::npos) << listed;
    EXPECT_NE(listed.find("TELNAME=" + WideToAnsi(kJapaneseName) + "\n"), std::string::npos) << listed;

    // The program's own source gives the very samples oggdec gives, and the
    // tags read back unchanged.
    Decoded own = DecodeFile(ogg, folder.Path());
    EXPECT_EQ(own.probe, VorbisFileSource::kTypeCode);
    EXPECT_EQ(own.reason, 2u);
    EXPECT_EQ(own.pcm.channels, peer.channels);
    EXPECT_TRUE(own.pcm.samples == peer.samples);

    StreamInfo info;
    ASSERT_EQ(ReadStreamInfo(Utf8ToWide(ogg), &info), StopReason::None);
    ASSERT_EQ(info.tags.size(), 3u);
    EXPECT_EQ(info.tags[0].first, L"");
    EXPECT_EQ(info.tags[0].second, L"RECORDER=TALVINOR");
    EXPECT_EQ(info.tags[2].second, L"TELNAME=" + kJapaneseName);
    EXPECT_EQ(info.lengthMs, static_cast<uint32_t>(uint64_t{inputFrames} * 1000 / peer.rate));
  }
}

TEST(OggVorbisTest, FilesFromOggencPlaySampleIdenticalToOggdecIncludingChainedLinks) {
  TempFolder folder;
  std::string first = folder.File("first.ogg");
  std::string second = folder.File("second.ogg");
  ASSERT_EQ(Shell("oggenc -Q -q 3 -o " + Quote(first) + " " + Quote(SpeechWav(44100, 2, 2.0))), 0);
  ASSERT_EQ(Shell("oggenc -Q -q 1 -o " + Quote(second) + " " + Quote(SpeechWav(44100, 2, 1.3))), 0);
  // A tag stored in CP932 by another program reads as Japanese.
  WriteFile(first, WithVorbisComments(ReadFile(first), {"TELNAME=" + WideToAnsi(kJapaneseName)}));
  std::string chained = folder.File("chained.ogg");
  WriteFile(chained, ReadFile(first) + ReadFile(second));

  for (const std::string& file : {first, chained}) {
    SCOPED_TRACE(file);
    ASSERT_EQ(Shell("oggdec -Q -o " + Quote(folder.File("ref.wav")) + " " + Quote(file)), 0);
    PcmData ref;
    ASSERT_TRUE(ReadWav(folder.File("ref.wav"), &ref));
    Decoded own = DecodeFile(file, folder.Path());
    EXPECT_EQ(own.reason, 2u);
    EXPECT_EQ(own.pcm.Frames(), ref.Frames());
    EXPECT_TRUE(own.pcm.samples == ref.samples);
  }
  StreamInfo info;
  ASSERT_EQ(ReadStreamInfo(Utf8ToWide(chained), &info), StopReason::None);
  ASSERT_FALSE(info.tags.empty());
  EXPECT_EQ(info.tags.back().second, L"TELNAME=" + kJapaneseName);
  // Every link counts in the length.
  EXPECT_NEAR(info.lengthMs, 3300.0, 2.0);
}

TEST(OggVorbisTest, ALinkInAnotherFormatEndsTheStreamInsteadOfPlayingAtTheWrongSpeed) {
  TempFolder folder;
  std::string first = folder.File("first.ogg");
  std::string other = folder.File("other.ogg");
  ASSERT_EQ(Shell("oggenc -Q -o " + Quote(first) + " " + Quote(SpeechWav(44100, 2, 1.0))), 0);
  ASSERT_EQ(Shell("oggenc -Q -o " + Quote(other) + " " + Quote(SpeechWav(8000, 1, 1.0))), 0);
  std::string chained = folder.File("chained.ogg");
  WriteFile(chained, ReadFile(first) + ReadFile(other));
  ASSERT_EQ(Shell("oggdec -Q -o " + Quote(folder.File("ref.wav")) + " " + Quote(first)), 0);
  PcmData ref;
  ASSERT_TRUE(ReadWav(folder.File("ref.wav"), &ref));
  Decoded own = DecodeFile(chained, folder.Path());
  EXPECT_EQ(own.reason, 2u);
  EXPECT_EQ(own.pcm.channels, 2);
  EXPECT_TRUE(own.pcm.samples == ref.samples);
}

TEST(OggVorbisTest, PlaybackGoesOnPastADamagedPageAsOggdecDoes) {
  TempFolder folder;
  std::string ogg = folder.File("speech.ogg");
  ASSERT_EQ(Shell("oggenc -Q -o " + Quote(ogg) + " " + Quote(SpeechWav(22050, 1, 6.0))), 0);
  std::string bytes = ReadFile(ogg);
  std::vector<OggPageInfo> pages;
  ReadOgg(bytes, &pages, nullptr);
  ASSERT_GE(pages.size(), 6u);
  // One byte of a page in the middle: its checksum fails and it is lost.
  bytes[static_cast<size_t>(pages[pages.size() / 2].offset) + 40] ^= 0x5A;
  std::string damaged = folder.File("damaged.ogg");
  WriteFile(damaged, bytes);
  Shell("oggdec -Q -o " + Quote(folder.File("ref.wav")) + " " + Quote(damaged));
  PcmData ref;
  ASSERT_TRUE(ReadWav(folder.File("ref.wav"), &ref));
  Decoded own = DecodeFile(damaged, folder.Path());
  EXPECT_EQ(own.reason, 2u);
  EXPECT_GT(own.pcm.Frames(), 22050u * 5);
  EXPECT_TRUE(own.pcm.samples == ref.samples);
}

TEST(OggVorbisTest, SeekingLandsOnTheSampleADecodeFromTheStartReaches) {
  TempFolder folder;
  std::string ogg = folder.File("speech.ogg");
  ASSERT_EQ(EncodeFile(SpeechWav(44100, 2, 4.0), ogg, Create<VorbisEncoder>()).reason, 2u);
  Decoded whole = DecodeFile(ogg, folder.Path());
  ASSERT_EQ(whole.reason, 2u);
  for (uint32_t ms : {0u, 1u, 1500u, 3990u}) {
    SCOPED_TRACE(ms);
    Decoded part = DecodeFile(ogg, folder.Path(), ms);
    EXPECT_EQ(part.reason, 2u);
    size_t from = static_cast<size_t>(uint64_t{ms} * 44100 / 1000) * 2;
    ASSERT_LE(from, whole.pcm.samples.size());
    std::vector<int16_t> expected(whole.pcm.samples.begin() + static_cast<long>(from), whole.pcm.samples.end());
    EXPECT_TRUE(part.pcm.samples == expected) << part.pcm.samples.size() << " vs " << expected.size();
  }
  // Past the end: nothing to play, and the stream still ends.
  Decoded beyond = DecodeFile(ogg, folder.Path(), 60000);
  EXPECT_EQ(beyond.reason, 2u);
}

TEST(OggVorbisTest, AnEmptyRecordingIsAValidFileWithItsTagsAndAnEndOfStreamPage) {
  TempFolder folder;
  // The header of a recording stopped before any sound arrived.
  std::string wav = folder.File("empty.wav");
  WriteFile(wav, Riff(Chunk("fmt ", FmtBody(1, 8000, 16)) + Chunk("data", "", 0x7FFFFFFF), 0x7FFFFFFF));
  std::string ogg = folder.File("empty.ogg");
  ASSERT_EQ(EncodeFile(wav, ogg, TaggedEncoder()).reason, 2u);

  std::vector<OggPageInfo> pages;
  ReadOgg(ReadFile(ogg), &pages, nullptr);
  ASSERT_GE(pages.size(), 3u);
  EXPECT_TRUE(pages.front().bos);
  EXPECT_TRUE(pages.back().eos);
  EXPECT_EQ(Shell("oggdec -Q -o " + Quote(folder.File("dec.wav")) + " " + Quote(ogg)), 0);
  EXPECT_NE(RunOutput("vorbiscomment -l " + Quote(ogg)).find("RECORDER=TALVINOR"), std::string::npos);
  Decoded own = DecodeFile(ogg, folder.Path());
  EXPECT_EQ(own.reason, 2u);
  EXPECT_EQ(own.pcm.Frames(), 0u);
}

TEST(OggVorbisTest, ARecordingStoppedWhileItsHeadersAreWrittenStillEndsThemOnTheirOwnPages) {
  for (int round = 0; round < 30; ++round) {
    SCOPED_TRACE(round);
    std::vector<OggPageInfo> pages;
    std::vector<OggPacketInfo> packets;
    std::string file = StopAtOnce(TaggedEncoder());
    ReadOgg(file, &pages, &packets);
    ASSERT_GE(pages.size(), 3u);
    ASSERT_GE(packets.size(), 4u);
    // Identification page, comment and setup page(s), then the end: the
    // three headers have ended before the page that closes the stream.
    int headersEnded = 0;
    for (size_t i = 0; i + 1 < pages.size(); ++i) headersEnded += pages[i].packetsEnding;
    EXPECT_EQ(headersEnded, 3);
    EXPECT_TRUE(pages.back().eos);
  }
}

TEST(OggVorbisTest, AnEncoderThatAbortsLeavesNoEndOfStreamPageAndTheFileStillPlays) {
  TempFolder folder;
  // 24-bit samples cannot be encoded: the first buffer aborts the encoder.
  std::string wav = folder.File("24bit.wav");
  WriteFile(wav, SimpleWav(Pcm(30000), 1, 8000, 24));
  std::string ogg = folder.File("aborted.ogg");
  ConversionResult r = EncodeFile(wav, ogg, Create<VorbisEncoder>());
  ASSERT_TRUE(r.closed);
  EXPECT_EQ(r.reason, 11u);
  std::vector<OggPageInfo> pages;
  ReadOgg(ReadFile(ogg), &pages, nullptr);
  ASSERT_FALSE(pages.empty());
  for (const OggPageInfo& page : pages) EXPECT_FALSE(page.eos);
  Decoded own = DecodeFile(ogg, folder.Path());
  EXPECT_TRUE(own.closed);
  EXPECT_EQ(own.reason, 2u);
}

TEST(OggVorbisTest, TheQualityIsHonouredAndDefaultsToPointOne) {
  TempFolder folder;
  std::string wav = SpeechWav(22050, 1, 3.0);
  auto sizeAt = [&](std::optional<float> quality) {
    RefPtr<VorbisEncoder> encoder = Create<VorbisEncoder>();
    if (quality) encoder->SetQuality(*quality);
    std::string ogg = folder.File("q.ogg");
    EXPECT_EQ(EncodeFile(wav, ogg, encoder).reason, 2u);
    return std::filesystem::file_size(ogg);
  };
  uintmax_t byDefault = sizeAt(std::nullopt);
  EXPECT_EQ(byDefault, sizeAt(0.1f));
  EXPECT_LT(sizeAt(-0.1f), byDefault);
  EXPECT_GT(sizeAt(1.0f), 2 * byDefault);
}

}  // namespace
}  // namespace talvinor
