#include <gtest/gtest.h>

#include <random>
#include <set>

#include "codec/OggProbe.h"
#include "codec/OggTestSupport.h"
#include "codec/SpeexEncoder.h"
#include "codec/SpeexFileSource.h"
#include "codec/VorbisEncoder.h"
#include "codec/VorbisFileSource.h"
#include "support/TempFolder.h"

namespace talvinor {
namespace {

using namespace testing;

// How a source may end on damaged input: the stream ends, the file is not
// playable (81), or it could not be read (12, 22). Never a hang or a crash.
const std::set<uint32_t> kAcceptedEnds = {2, 12, 22, 81};

struct Sample {
  const char* name;
  std::string bytes;
  size_t headerPackets;
};

// Small files of each kind the sources read: written by the program and by
// the peers.
std::vector<Sample> Samples(const std::string& folder) {
  std::vector<Sample> samples;
  std::string path = folder + "/sample";
  EncodeFile(SpeechWav(8000, 1, 6.0), path, Create<VorbisEncoder>());
  samples.push_back({"own vorbis", ReadFile(path), 3});
  EncodeFile(SpeechWav(8000, 1, 4.0), path, Create<SpeexEncoder>());
  samples.push_back({"own speex", ReadFile(path), 2});
  EncodeFile(SpeechWav(16000, 2, 2.0), path, Create<SpeexEncoder>());
  samples.push_back({"own stereo speex", ReadFile(path), 2});
  Shell("oggenc -Q -o " + Quote(path) + " " + Quote(SpeechWav(8000, 1, 6.0)));
  samples.push_back({"oggenc", ReadFile(path), 3});
  Shell("speexenc " + Quote(SpeechWav(8000, 1, 4.0)) + " " + Quote(path));
  samples.push_back({"speexenc", ReadFile(path), 2});
  return samples;
}

// Plays `bytes` through the source the probe picks and checks how it ends.
Decoded PlayDamaged(const std::string& bytes, const std::string& folder, uint32_t seekMs = AudioSource::kNoSeek) {
  std::string path = folder + "/damaged";
  WriteFile(path, bytes);
  Decoded d = DecodeFile(path, folder, seekMs);
  // A head of fewer than 64 bytes, or one naming no codec, is not played.
  if (d.probe != 0) {
    EXPECT_TRUE(d.closed);
    EXPECT_EQ(kAcceptedEnds.count(d.reason), 1u) << "reason " << d.reason;
  }
  return d;
}

TEST(OggRobustnessTest, FilesCutAtEveryPageBoundaryAndInsideEveryPageEndCleanly) {
  TempFolder folder;
  for (const Sample& sample : Samples(folder.Path())) {
    SCOPED_TRACE(sample.name);
    std::vector<OggPageInfo> pages;
    ReadOgg(sample.bytes, &pages, nullptr);
    ASSERT_GE(pages.size(), 4u);
    Decoded whole = PlayDamaged(sample.bytes, folder.Path());
    ASSERT_EQ(whole.reason, 2u);
    for (size_t i = 1; i <= pages.size(); ++i) {
      size_t end = i < pages.size() ? static_cast<size_t>(pages[i].offset) : sample.bytes.size();
      size_t start = static_cast<size_t>(pages[i - 1].offset);
      for (size_t cut : {end, start + (end - start) / 2, start + 20}) {
        SCOPED_TRACE(cut);
        Decoded d = PlayDamaged(sample.bytes.substr(0, cut), folder.Path());
        // Once the headers are whole, what is there plays and the stream ends.
        if (i > 3 && cut == end) {
          EXPECT_EQ(d.reason, 2u);
          EXPECT_LE(d.pcm.Frames(), whole.pcm.Frames());
        }
      }
    }
  }
}

TEST(OggRobustnessTest, RandomBytesInHeadersAndAudioNeverCrashOrHang) {
  TempFolder folder;
  std::mt19937 random(20240307);
  for (const Sample& sample : Samples(folder.Path())) {
    SCOPED_TRACE(sample.name);
    std::vector<OggPageInfo> pages;
    ReadOgg(sample.bytes, &pages, nullptr);
    const size_t headerEnd = static_cast<size_t>(pages.at(3).offset);
    for (int round = 0; round < 12; ++round) {
      SCOPED_TRACE(round);
      // Raw damage (the pages' checksums no longer match).
      std::string raw = sample.bytes;
      for (int n = 0; n < 1 + round % 4; ++n) raw[random() % headerEnd] = static_cast<char>(random());
      PlayDamaged(raw, folder.Path());

      // Damage inside intact pages: the header packets themselves.
      std::string rewritten = RewriteHeaders(sample.bytes, sample.headerPackets, [&](std::vector<OggPacketInfo>* h) {
        OggPacketInfo& packet = (*h)[random() % h->size()];
        if (packet.bytes.empty()) return;
        for (int n = 0; n < 1 + round % 3; ++n) {
          packet.bytes[random() % packet.bytes.size()] = static_cast<char>(random());
        }
        if (round % 4 == 3) packet.bytes.resize(random() % packet.bytes.size());
      });
      PlayDamaged(rewritten, folder.Path());

      // Damaged audio data in intact pages.
      std::vector<OggPacketInfo> packets;
      ReadOgg(sample.bytes, nullptr, &packets);
      for (size_t i = sample.headerPackets; i < packets.size(); ++i) {
        if (packets[i].bytes.empty() || random() % 3 != 0) continue;
        packets[i].bytes[random() % packets[i].bytes.size()] ^= static_cast<char>(1 + random() % 255);
      }
      std::string audio = WriteOgg(packets, static_cast<int>(sample.headerPackets));
      PlayDamaged(audio, folder.Path());
    }
  }
}

TEST(OggRobustnessTest, DamagedLongSpeexFilesSeekAndEndCleanly) {
  TempFolder folder;
  std::string spx = folder.File("long.spx");
  ASSERT_EQ(EncodeFile(SpeechWav(44100, 1, 12.0), spx, Create<SpeexEncoder>()).reason, 2u);
  const std::string bytes = ReadFile(spx);
  std::mt19937 random(11);
  for (size_t cut : {bytes.size() / 3, bytes.size() / 2, bytes.size() - 70000, bytes.size() - 100}) {
    SCOPED_TRACE(cut);
    PlayDamaged(bytes.substr(0, cut), folder.Path(), 9000);
    std::string scrambled = bytes;
    for (int n = 0; n < 200; ++n) scrambled[4000 + random() % (bytes.size() - 4000)] = static_cast<char>(random());
    PlayDamaged(scrambled.substr(0, cut), folder.Path(), 9000);
  }
}

// An own Speex file whose comment packet is replaced by `comment`.
std::string WithSpeexComment(const std::string& spx, const std::string& comment) {
  return RewriteHeaders(spx, 2, [&](std::vector<OggPacketInfo>* h) { (*h)[1].bytes = comment; });
}

TEST(OggRobustnessTest, ASpeexCommentWhoseLengthsRunPastItsEndLeavesNoTagsAndPlaybackGoesOn) {
  TempFolder folder;
  std::string spx = folder.File("tagged.spx");
  RefPtr<SpeexEncoder> encoder = Create<SpeexEncoder>();
  encoder->AddTag(L"RECORDER", L"TALVINOR");
  ASSERT_EQ(EncodeFile(SpeechWav(8000, 1, 2.0), spx, encoder).reason, 2u);
  const std::string original = ReadFile(spx);
  Decoded reference = PlayDamaged(original, folder.Path());

  auto counted = [](const std::string& text) {
    std::string s;
    Append32(s, static_cast<uint32_t>(text.size()));
    return s + text;
  };
  auto count = [](uint32_t n) {
    std::string s;
    Append32(s, n);
    return s;
  };
  const std::string vendor = counted("vendor");
  const std::vector<std::pair<const char*, std::string>> broken = {
      {"vendor length past the end", count(1000) + "vendor"},
      {"no room for the count", vendor + "\x01\x00"},
      {"more comments than present", vendor + count(5) + counted("A=1")},
      {"comment length past the end", vendor + count(2) + counted("A=1") + count(400) + "B=2"},
      {"a length of 0xFFFFFFFF", vendor + count(1) + count(0xFFFFFFFFu) + "B=2"},
      {"empty packet", ""},
  };
  for (const auto& [name, comment] : broken) {
    SCOPED_TRACE(name);
    std::string damaged = WithSpeexComment(original, comment);
    WriteFile(folder.File("broken.spx"), damaged);
    StreamInfo info;
    ASSERT_EQ(ReadStreamInfo(Utf8ToWide(folder.File("broken.spx")), &info), StopReason::None);
    EXPECT_TRUE(info.tags.empty());
    Decoded d = PlayDamaged(damaged, folder.Path());
    EXPECT_EQ(d.reason, 2u);
    EXPECT_TRUE(d.pcm.samples == reference.pcm.samples);
  }

  // Entries with empty names or values, a vendor string with '=', and a
  // comment whose text stops at a zero byte.
  std::string unusual = counted("ENCODER=someone") + count(4) + counted("=value only") + counted("NAME=") +
                        counted("") + counted(std::string("CUT\0=hidden", 11));
  WriteFile(folder.File("unusual.spx"), WithSpeexComment(original, unusual));
  StreamInfo info;
  ASSERT_EQ(ReadStreamInfo(Utf8ToWide(folder.File("unusual.spx")), &info), StopReason::None);
  const std::vector<std::pair<std::wstring, std::wstring>> expected = {
      {L"ENCODER", L"someone"}, {L"", L"value only"}, {L"NAME", L""}, {L"", L""}, {L"CUT", L""}};
  EXPECT_EQ(info.tags, expected);
}

// An own Speex file with its header's 32-bit field at `offset` set to `value`.
std::string WithHeaderField(const std::string& spx, size_t offset, int32_t value) {
  return RewriteHeaders(spx, 2, [&](std::vector<OggPacketInfo>* h) {
    std::string& header = (*h)[0].bytes;
    for (int b = 0; b < 4; ++b) header[offset + b] = static_cast<char>((static_cast<uint32_t>(value) >> (8 * b)) & 0xFF);
  });
}

TEST(OggRobustnessTest, SpeexHeadersTheDecoderCannotFollowAreRefusedAsUnplayable) {
  TempFolder folder;
  std::string spx = folder.File("h.spx");
  ASSERT_EQ(EncodeFile(SpeechWav(8000, 1, 1.0), spx, Create<SpeexEncoder>()).reason, 2u);
  const std::string original = ReadFile(spx);
  // Offsets in the 80-byte Speex header.
  // (The library itself brings a channel count outside 1-2 into range.)
  constexpr size_t kRate = 36, kMode = 40, kBitstream = 44, kFramesPerPacket = 64;
  const std::vector<std::tuple<const char*, size_t, int32_t>> refused = {
      {"mode 3", kMode, 3},
      {"negative mode", kMode, -1},
      {"bitstream version", kBitstream, 99},
      {"rate 0", kRate, 0},
      {"rate 10 MHz", kRate, 10000000},
      {"eleven frames per packet", kFramesPerPacket, 11},
  };
  for (const auto& [name, offset, value] : refused) {
    SCOPED_TRACE(name);
    EXPECT_EQ(PlayDamaged(WithHeaderField(original, offset, value), folder.Path()).reason, 81u);
  }
  // A first packet that is not a Speex header at all.
  std::string notHeader = RewriteHeaders(original, 2, [](std::vector<OggPacketInfo>* h) { (*h)[0].bytes = "Speex"; });
  EXPECT_EQ(PlayDamaged(notHeader, folder.Path()).reason, 81u);
  // Zero frames per packet is read as one, as other decoders do.
  EXPECT_EQ(PlayDamaged(WithHeaderField(original, kFramesPerPacket, 0), folder.Path()).reason, 2u);
}

TEST(OggRobustnessTest, TheProbeTestsVorbisBeforeSpeexOnTheFirst64Bytes) {
  auto head = [](const std::vector<std::pair<size_t, std::string>>& words) {
    std::string h(64, 'x');
    h.replace(0, 4, "OggS");
    for (const auto& [at, word] : words) h.replace(at, word.size(), word);
    return h;
  };
  auto probe = [](const std::string& h) {
    return ProbeContent(reinterpret_cast<const uint8_t*>(h.data()), static_cast<uint32_t>(h.size()));
  };
  EXPECT_EQ(probe(head({{28, "Speex"}, {40, "vorbis"}})), VorbisFileSource::kTypeCode);
  EXPECT_EQ(probe(head({{4, "vorbis"}})), VorbisFileSource::kTypeCode);
  EXPECT_EQ(probe(head({{57, "vorbis"}})), VorbisFileSource::kTypeCode);
  EXPECT_EQ(probe(head({{58, "vorbis"}})), 0u);
  EXPECT_EQ(probe(head({{58, "Speex"}})), SpeexFileSource::kTypeCode);
  EXPECT_EQ(probe(head({{59, "Speex"}})), 0u);
  std::string notOgg = head({{28, "Speex"}});
  notOgg[0] = 'o';
  EXPECT_EQ(probe(notOgg), 0u);

  // A Speex file whose head also says "vorbis" goes to the Vorbis source,
  // which finds no Vorbis stream in it.
  TempFolder folder;
  std::string spx = folder.File("both.spx");
  ASSERT_EQ(EncodeFile(SpeechWav(8000, 1, 1.0), spx, Create<SpeexEncoder>()).reason, 2u);
  std::string both = RewriteHeaders(ReadFile(spx), 2, [](std::vector<OggPacketInfo>* h) {
    (*h)[0].bytes.replace(8, 6, "vorbis");  // inside the library version text
  });
  Decoded d = PlayDamaged(both, folder.Path());
  EXPECT_EQ(d.probe, VorbisFileSource::kTypeCode);
  EXPECT_EQ(d.reason, 81u);
  // A file shorter than 64 bytes is of no known type.
  WriteFile(folder.File("short.ogg"), ReadFile(spx).substr(0, 63));
  EXPECT_EQ(ProbeFileContent(Utf8ToWide(folder.File("short.ogg"))), 0u);
}

}  // namespace
}  // namespace talvinor
