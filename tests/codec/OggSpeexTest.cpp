#include <gtest/gtest.h>
#include <speex/speex.h>
#include <speex/speex_header.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

#include "codec/OggTestSupport.h"
#include "codec/ReaderInputSource.h"
#include "codec/SpeexEncoder.h"
#include "codec/SpeexFileDecoder.h"
#include "codec/SpeexFileSource.h"
#include "platform/CodePage.h"
#include "support/TempFolder.h"
#include "support/TraceCapture.h"

namespace talvinor {
namespace {

using namespace testing;

const std::wstring kJapaneseName = L"山田 太郎";

RefPtr<SpeexEncoder> SpeexWith(SpeexSettings settings = {}) {
  RefPtr<SpeexEncoder> encoder = Create<SpeexEncoder>();
  encoder->SetSpeexSettings(settings);
  return encoder;
}

// The encoder's own delay in samples, as the library reports it.
int Lookahead(int modeId) {
  void* state = speex_encoder_init(speex_lib_get_mode(modeId));
  spx_int32_t lookahead = 0;
  speex_encoder_ctl(state, SPEEX_GET_LOOKAHEAD, &lookahead);
  speex_encoder_destroy(state);
  return lookahead;
}

SpeexHeader HeaderOf(const std::vector<OggPacketInfo>& packets) {
  SpeexHeader header{};
  if (packets.empty()) return header;
  SpeexHeader* parsed = speex_packet_to_header(const_cast<char*>(packets[0].bytes.data()),
                                               static_cast<int>(packets[0].bytes.size()));
  if (parsed) {
    header = *parsed;
    speex_header_free(parsed);
  }
  return header;
}

int64_t LastGranule(const std::string& file) {
  std::vector<OggPageInfo> pages;
  ReadOgg(ReadFile(file), &pages, nullptr);
  return pages.empty() ? -1 : pages.back().granule;
}

// A 16-bit sine of `frames` frames: a test tone where speech is not needed.
std::string ToneWav(const std::string& path, uint32_t rate, uint16_t channels, uint32_t frames) {
  PcmData pcm{channels, rate, {}};
  for (uint32_t i = 0; i < frames; ++i) {
    int16_t s = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 440.0 * i / rate));
    for (uint16_t c = 0; c < channels; ++c) pcm.samples.push_back(s);
  }
  WriteWav(path, pcm);
  return path;
}

TEST(OggSpeexTest, EveryRateAndLayoutDecodesWithSpeexdecAndFfmpegAndThroughItsOwnSource) {
  TempFolder folder;
  struct Case {
    uint32_t rate;
    int mode;
  };
  const Case cases[] = {{8000, 0}, {16000, 1}, {32000, 2}, {44100, 2}};
  for (const Case& c : cases) {
    for (uint16_t channels : {1, 2}) {
      SCOPED_TRACE(std::to_string(c.rate) + " Hz, " + std::to_string(channels) + " channel(s)");
      std::string spx = folder.File("speech.spx");
      RefPtr<SpeexEncoder> encoder = SpeexWith();
      encoder->AddTag(L"RECORDER", L"TALVINOR");
      encoder->AddTag(L"RECORDDATE", L"2024/3/7 09:05:01");
      encoder->AddTag(L"TELNAME", kJapaneseName);
      ConversionResult r = EncodeFile(SpeechWav(c.rate, channels, 1.5), spx, encoder);
      ASSERT_TRUE(r.closed);
      ASSERT_EQ(r.reason, 2u);
      const uint32_t inputFrames = static_cast<uint32_t>(c.rate * 1.5);

      std::vector<OggPacketInfo> packets;
      ReadOgg(ReadFile(spx), nullptr, &packets);
      ASSERT_GE(packets.size(), 4u);
      SpeexHeader header = HeaderOf(packets);
      EXPECT_EQ(header.mode, c.mode);
      EXPECT_EQ(header.rate, static_cast<int>(c.rate));
      EXPECT_EQ(header.nb_channels, channels);
      EXPECT_EQ(header.frames_per_packet, 1);
      EXPECT_EQ(header.vbr, 0);
      const std::string& comment = packets[1].bytes;
      ASSERT_GE(comment.size(), 47u);
      EXPECT_EQ(Read32(comment, 0), 39u);
      EXPECT_EQ(comment.substr(4, 39), kSpeexVendor);
      EXPECT_EQ(Read32(comment, 43), 3u);
      EXPECT_TRUE(packets.back().eos);

      ASSERT_EQ(Shell("speexdec " + Quote(spx) + " " + Quote(folder.File("speexdec.wav"))), 0);
      PcmData ref;
      ASSERT_TRUE(ReadWav(folder.File("speexdec.wav"), &ref));
      EXPECT_EQ(ref.rate, c.rate);
      EXPECT_EQ(ref.channels, channels);
      EXPECT_NEAR(static_cast<double>(ref.Frames()), inputFrames, 1500.0);
      // ffmpeg reads the stream (it reports the end-of-stream packet as
      // undecodable, which does not stop it).
      ASSERT_EQ(Shell("ffmpeg -v quiet -y -i " + Quote(spx) + " " + Quote(folder.File("ffmpeg.wav"))), 0);
      PcmData viaFfmpeg;
      ASSERT_TRUE(ReadWav(folder.File("ffmpeg.wav"), &viaFfmpeg));
      EXPECT_EQ(viaFfmpeg.channels, channels);
      EXPECT_NEAR(static_cast<double>(viaFfmpeg.Frames()), ref.Frames(), 1500.0);

      Decoded own = DecodeFile(spx, folder.Path());
      EXPECT_EQ(own.probe, SpeexFileSource::kTypeCode);
      EXPECT_EQ(own.reason, 2u);
      EXPECT_EQ(own.pcm.channels, channels);
      EXPECT_EQ(own.pcm.rate, c.rate);
      EXPECT_EQ(static_cast<int64_t>(own.pcm.Frames()), LastGranule(spx));
      // The same library decodes both; only the start differs (speexdec drops
      // the codec delay it reads from the granule positions).
      int lag = 0;
      double snr = AlignedSnr(ref, own.pcm, 2000, &lag);
      EXPECT_GT(snr, 40.0) << "lag " << lag;
      std::printf("[ measure  ] %u Hz %u ch: own decode vs speexdec %.1f dB at lag %d\n", c.rate, channels, snr, lag);

      StreamInfo info;
      ASSERT_EQ(ReadStreamInfo(Utf8ToWide(spx), &info), StopReason::None);
      ASSERT_EQ(info.tags.size(), 4u);
      EXPECT_EQ(info.tags[0], (std::pair<std::wstring, std::wstring>(L"Comment", Utf8ToWide(kSpeexVendor))));
      EXPECT_EQ(info.tags[1], (std::pair<std::wstring, std::wstring>(L"RECORDER", L"TALVINOR")));
      EXPECT_EQ(info.tags[3], (std::pair<std::wstring, std::wstring>(L"TELNAME", kJapaneseName)));
      EXPECT_EQ(info.lengthMs, static_cast<uint32_t>(LastGranule(spx) * 1000 / c.rate));
    }
  }
}

TEST(OggSpeexTest, FilesFromSpeexencPlayToTheirTrueLengthAndMatchSpeexdec) {
  TempFolder folder;
  struct Case {
    const char* name;
    std::string wav;
    std::string options;
  };
  const std::string cp932Name = WideToAnsi(kJapaneseName);
  const Case cases[] = {
      {"narrowband mono", SpeechWav(8000, 1, 2.0), ""},
      {"wideband stereo", SpeechWav(16000, 2, 2.0), ""},
      {"ultra-wideband, three frames per packet", SpeechWav(32000, 1, 2.0), "--nframes 3 "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string spx = folder.File("peer.spx");
    ASSERT_EQ(Shell("speexenc " + c.options + "--comment " + Quote("TELNAME=" + cp932Name) + " " + Quote(c.wav) + " " + Quote(spx)),
              0);
    ASSERT_EQ(Shell("speexdec " + Quote(spx) + " " + Quote(folder.File("ref.wav"))), 0);
    PcmData ref;
    ASSERT_TRUE(ReadWav(folder.File("ref.wav"), &ref));
    Decoded own = DecodeFile(spx, folder.Path());
    EXPECT_EQ(own.reason, 2u);
    EXPECT_EQ(own.pcm.channels, ref.channels);
    // The true length: the last granule position, not padded to a frame.
    EXPECT_EQ(static_cast<int64_t>(own.pcm.Frames()), LastGranule(spx));
    int lag = 0;
    double snr = AlignedSnr(ref, own.pcm, 1000, &lag);
    EXPECT_GT(snr, 40.0) << "lag " << lag;
    std::printf("[ measure  ] speexenc %s: own decode vs speexdec %.1f dB at lag %d, %zu vs %zu frames\n", c.name, snr,
                lag, own.pcm.Frames(), ref.Frames());

    StreamInfo info;
    ASSERT_EQ(ReadStreamInfo(Utf8ToWide(spx), &info), StopReason::None);
    ASSERT_EQ(info.tags.size(), 2u);
    EXPECT_EQ(info.tags[0].first, L"Comment");
    EXPECT_EQ(info.tags[0].second.rfind(L"Encoded with Speex", 0), 0u);
    EXPECT_EQ(info.tags[1], (std::pair<std::wstring, std::wstring>(L"TELNAME", kJapaneseName)));
  }
}

TEST(OggSpeexTest, GranulePositionsCountFromTheFirstAudibleSampleWithAndWithoutDenoise) {
  TempFolder folder;
  const int frameSize = 160;
  const int lookahead = Lookahead(SPEEX_MODEID_NB);
  const std::string wav = SpeechWav(8000, 1, 4.0);
  std::vector<int64_t> lastGranules;
  for (int denoise : {0, 1}) {
    SCOPED_TRACE(denoise ? "denoise" : "no denoise");
    SpeexSettings settings;
    settings.denoise = denoise;
    std::string spx = folder.File("g.spx");
    ASSERT_EQ(EncodeFile(wav, spx, SpeexWith(settings)).reason, 2u);
    std::vector<OggPageInfo> pages;
    std::vector<OggPacketInfo> packets;
    ReadOgg(ReadFile(spx), &pages, &packets);
    const int64_t delay = (lookahead + 1) / 2 * 2 + (denoise ? frameSize : 0);
    // Every audio packet that ends a page: its frame's start, less the delay.
    int checked = 0;
    for (size_t i = 2; i < packets.size(); ++i) {
      if (packets[i].granule == -1) continue;
      EXPECT_EQ(packets[i].granule, static_cast<int64_t>(i - 2) * frameSize - delay) << "packet " << i;
      ++checked;
    }
    EXPECT_GE(checked, 2);
    // 32000 samples: 200 frames and one frame of silence; then the end packet.
    const OggPacketInfo& end = packets.back();
    EXPECT_TRUE(end.eos);
    EXPECT_EQ(end.packetNumber, 2 + 201);
    EXPECT_EQ(end.granule, 201 * frameSize - delay);
    EXPECT_LE(end.bytes.size(), 1u);
    lastGranules.push_back(end.granule);
    // Audio starts on a page of its own.
    EXPECT_EQ(pages[0].packetsEnding, 1);
    EXPECT_EQ(pages[1].packetsEnding, 1);
  }
  EXPECT_EQ(lastGranules[0] - lastGranules[1], frameSize);
}

TEST(OggSpeexTest, AHalfFrameRecordingIsOnePaddedPacketAndAnEmptyOneIsStillValid) {
  TempFolder folder;
  struct Case {
    const char* name;
    std::string wav;
    int denoise;
    size_t audioPackets;
  };
  std::string empty = folder.File("empty.wav");
  WriteFile(empty, Riff(Chunk("fmt ", FmtBody(1, 8000, 16)) + Chunk("data", "", 0x7FFFFFFF), 0x7FFFFFFF));
  const Case cases[] = {
      {"half a frame", ToneWav(folder.File("half.wav"), 8000, 1, 80), 0, 1},
      {"nothing recorded", empty, 0, 1},
      {"nothing recorded, with noise removal", empty, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string spx = folder.File("short.spx");
    SpeexSettings settings;
    settings.denoise = c.denoise;
    RefPtr<SpeexEncoder> encoder = SpeexWith(settings);
    encoder->AddTag(L"RECORDER", L"TALVINOR");
    ASSERT_EQ(EncodeFile(c.wav, spx, encoder).reason, 2u);
    std::vector<OggPacketInfo> packets;
    ReadOgg(ReadFile(spx), nullptr, &packets);
    ASSERT_EQ(packets.size(), 2 + c.audioPackets + 1);
    EXPECT_TRUE(packets.back().eos);
    EXPECT_EQ(Shell("speexdec " + Quote(spx) + " " + Quote(folder.File("d.wav"))), 0);
    EXPECT_EQ(Shell("ffmpeg -v quiet -y -i " + Quote(spx) + " " + Quote(folder.File("f.wav"))), 0);
    Decoded own = DecodeFile(spx, folder.Path());
    EXPECT_EQ(own.reason, 2u);
  }
}

TEST(OggSpeexTest, ARecordingStoppedBeforeItStartedIsStillAValidEmptyStream) {
  for (int round = 0; round < 30; ++round) {
    SCOPED_TRACE(round);
    std::vector<OggPageInfo> pages;
    std::vector<OggPacketInfo> packets;
    ReadOgg(StopAtOnce(SpeexWith()), &pages, &packets);
    // Header, comment, one frame of silence, the end.
    ASSERT_EQ(packets.size(), 4u);
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_EQ(pages[0].packetsEnding, 1);
    EXPECT_EQ(pages[1].packetsEnding, 1);
    EXPECT_TRUE(pages[2].eos);
    EXPECT_EQ(HeaderOf(packets).mode, 0);
  }
}

TEST(OggSpeexTest, TheRateChoosesTheModeWithinSixThousandToFortyEightThousandHertz) {
  TempFolder folder;
  TraceCapture trace;
  struct Case {
    uint32_t rate;
    int mode;  // -1: refused
  };
  const Case cases[] = {{5999, -1}, {6000, 0},  {12500, 0}, {12501, 1},
                        {25000, 1}, {25001, 2}, {48000, 2}, {48001, -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rate);
    std::string spx = folder.File("rate.spx");
    ConversionResult r = EncodeFile(ToneWav(folder.File("tone.wav"), c.rate, 1, c.rate / 10), spx, SpeexWith());
    ASSERT_TRUE(r.closed);
    if (c.mode < 0) {
      EXPECT_EQ(r.reason, 21u);
      continue;
    }
    EXPECT_EQ(r.reason, 2u);
    std::vector<OggPacketInfo> packets;
    ReadOgg(ReadFile(spx), nullptr, &packets);
    EXPECT_EQ(HeaderOf(packets).mode, c.mode);
    EXPECT_EQ(HeaderOf(packets).rate, static_cast<int>(c.rate));
  }
  EXPECT_TRUE(trace.Contains("Error: Sampling rate too low: 5999 Hz"));
  EXPECT_TRUE(trace.Contains("Error: sampling rate too high: 48001 Hz, try down-sampling"));
  EXPECT_TRUE(trace.Contains("Encoding 6000 Hz / mode 0 / channel 1"));
}

TEST(OggSpeexTest, ChannelLayoutsSpeexCannotCarryAreRefusedAtTheStart) {
  TempFolder folder;
  PcmData pcm{3, 8000, std::vector<int16_t>(3 * 800, 100)};
  WriteWav(folder.File("three.wav"), pcm);
  EXPECT_EQ(EncodeFile(folder.File("three.wav"), folder.File("three.spx"), SpeexWith()).reason, 21u);
  // 24-bit samples are refused at the first frame.
  WriteFile(folder.File("24bit.wav"), SimpleWav(Pcm(3000), 1, 8000, 24));
  EXPECT_EQ(EncodeFile(folder.File("24bit.wav"), folder.File("24bit.spx"), SpeexWith()).reason, 11u);
}

// Speech with steady white noise in it.
PcmData NoisySpeech(uint32_t rate, double seconds) {
  PcmData pcm = SpeechPcm(rate, 1, seconds);
  std::mt19937 random(7);
  std::normal_distribution<double> noise(0.0, 900.0);
  for (int16_t& s : pcm.samples) s = static_cast<int16_t>(std::clamp(s * 0.7 + noise(random), -32768.0, 32767.0));
  return pcm;
}

TEST(OggSpeexTest, StereoNoiseRemovalWorksOnTheMonoMixLikeAMonoRecording) {
  TempFolder folder;
  PcmData mono = NoisySpeech(16000, 3.0);
  PcmData stereo{2, mono.rate, {}};
  for (int16_t s : mono.samples) stereo.samples.insert(stereo.samples.end(), {s, s});
  WriteWav(folder.File("mono.wav"), mono);
  WriteWav(folder.File("stereo.wav"), stereo);
  SpeexSettings settings;
  settings.denoise = 1;
  ASSERT_EQ(EncodeFile(folder.File("mono.wav"), folder.File("mono.spx"), SpeexWith(settings)).reason, 2u);
  ASSERT_EQ(EncodeFile(folder.File("stereo.wav"), folder.File("stereo.spx"), SpeexWith(settings)).reason, 2u);
  Decoded monoOut = DecodeFile(folder.File("mono.spx"), folder.Path());
  Decoded stereoOut = DecodeFile(folder.File("stereo.spx"), folder.Path());
  ASSERT_EQ(stereoOut.pcm.channels, 2);
  PcmData left{1, stereoOut.pcm.rate, {}};
  for (size_t i = 0; i < stereoOut.pcm.samples.size(); i += 2) left.samples.push_back(stereoOut.pcm.samples[i]);
  // Both channels are the same signal, so the stereo coder's mix is that
  // signal and the preprocessor sees what it sees in the mono recording.
  double snr = AlignedSnr(monoOut.pcm, left, 4, nullptr);
  std::printf("[ measure  ] denoised stereo (left) vs denoised mono: %.1f dB\n", snr);
  EXPECT_GT(snr, 25.0);

  // And the noise is removed: in the quiet stretches the output is far
  // below the input noise.
  SpeexSettings plain;
  ASSERT_EQ(EncodeFile(folder.File("stereo.wav"), folder.File("plain.spx"), SpeexWith(plain)).reason, 2u);
  Decoded plainOut = DecodeFile(folder.File("plain.spx"), folder.Path());
  auto quietEnergy = [](const PcmData& pcm) {
    // The quietest tenth of 20 ms blocks.
    std::vector<double> blocks;
    const size_t block = pcm.rate / 50 * pcm.channels;
    for (size_t at = 0; at + block <= pcm.samples.size(); at += block) {
      double e = 0;
      for (size_t i = at; i < at + block; ++i) e += double(pcm.samples[i]) * pcm.samples[i];
      blocks.push_back(e / block);
    }
    std::sort(blocks.begin(), blocks.end());
    double sum = 0;
    for (size_t i = 0; i < blocks.size() / 10; ++i) sum += blocks[i];
    return sum / (blocks.size() / 10);
  };
  double reduction = 10 * std::log10(quietEnergy(plainOut.pcm) / quietEnergy(stereoOut.pcm));
  std::printf("[ measure  ] stereo noise floor lowered by %.1f dB\n", reduction);
  EXPECT_GT(reduction, 6.0);
}

TEST(OggSpeexTest, SeekingInsideAndBeyondTheFirst262144SamplesLandsWhereADecodeFromTheStartIs) {
  TempFolder folder;
  const uint32_t rate = 44100;
  const int frameSize = 640;
  SpeexSettings settings;
  settings.quality = 10;
  std::string spx = folder.File("long.spx");
  ASSERT_EQ(EncodeFile(SpeechWav(rate, 2, 12.0), spx, SpeexWith(settings)).reason, 2u);
  // Larger than the 64 KB tail, so the length comes from the tail alone.
  ASSERT_GT(std::filesystem::file_size(spx), 65536u);
  Decoded whole = DecodeFile(spx, folder.Path());
  ASSERT_EQ(whole.reason, 2u);
  ASSERT_EQ(static_cast<int64_t>(whole.pcm.Frames()), LastGranule(spx));
  const int delay = (Lookahead(SPEEX_MODEID_UWB) + 3) / 4 * 4;

  for (uint32_t ms : {2000u, 5000u, 9000u}) {
    SCOPED_TRACE(ms);
    const int64_t target = int64_t{ms} * rate / 1000;
    Decoded part = DecodeFile(spx, folder.Path(), ms);
    EXPECT_EQ(part.reason, 2u);
    ASSERT_GT(part.pcm.Frames(), 10000u);
    // Where in the whole decode the seek output begins.
    PcmData rest{2, rate, {}};
    const int64_t expected = target + delay;
    rest.samples.assign(whole.pcm.samples.begin() + (expected - 2 * frameSize) * 2, whole.pcm.samples.end());
    int lag = 0;
    double snr = AlignedSnr(part.pcm, rest, 4 * frameSize, &lag);
    const int64_t landed = expected - 2 * frameSize + lag;
    EXPECT_LE(std::llabs(landed - expected), frameSize) << "landed at " << landed << ", expected " << expected;
    EXPECT_GT(snr, 15.0);
    // It still ends where the whole stream ends.
    EXPECT_NEAR(static_cast<double>(landed + static_cast<int64_t>(part.pcm.Frames())),
                static_cast<double>(whole.pcm.Frames()), frameSize);
  }
}

// The decoder over bytes in memory (as the fuzz targets and tools use it)
// reads a file exactly as the source does through its master, seeks
// included, and a read past the end is the end, not a failure.
TEST(OggSpeexTest, TheDecoderOverBytesInMemoryDecodesWhatTheSourceDoes) {
  TempFolder folder;
  const std::string path = folder.File("stereo.spx");
  ASSERT_EQ(EncodeFile(SpeechWav(16000, 2, 2.0), path, SpeexWith()).reason, 2u);
  const std::string bytes = ReadFile(path);
  Decoded viaSource = DecodeFile(path, folder.Path());
  ASSERT_EQ(viaSource.reason, 2u);

  auto decodeAll = [&](int64_t seekSamples) {
    RefPtr<ReaderInputSource> reader =
        Create<ReaderInputSource>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    RefPtr<SpeexFileDecoder> decoder = Create<SpeexFileDecoder>();
    std::vector<int16_t> pcm;
    if (!decoder->Open(reader)) return pcm;
    if (seekSamples >= 0) decoder->Seek(seekSamples);
    std::vector<int16_t> frame(decoder->FrameBytes() / 2);
    while (uint32_t got = decoder->Decode(frame.data(), decoder->FrameBytes()))
      pcm.insert(pcm.end(), frame.begin(), frame.begin() + got / 2);
    EXPECT_TRUE(decoder->IsEnded());
    EXPECT_EQ(reader->Status(), ReaderStatus::Ok);
    return pcm;
  };
  EXPECT_EQ(decodeAll(-1), viaSource.pcm.samples);
  Decoded fromOneSecond = DecodeFile(path, folder.Path(), 1000);
  EXPECT_EQ(decodeAll(16000), fromOneSecond.pcm.samples);
  EXPECT_TRUE(decodeAll(10 * 16000).empty()) << "a seek past the end";

  RefPtr<ReaderInputSource> reader =
      Create<ReaderInputSource>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  EXPECT_EQ(reader->Seek(-10, 2), static_cast<int64_t>(bytes.size()) - 10);
  char tail[32];
  EXPECT_EQ(reader->Read(tail, sizeof tail), 10u);
  EXPECT_EQ(reader->Read(tail, sizeof tail), 0u);
  EXPECT_EQ(reader->Status(), ReaderStatus::Ok);
  EXPECT_EQ(reader->Seek(-1, 0), -1);
}

}  // namespace
}  // namespace talvinor
