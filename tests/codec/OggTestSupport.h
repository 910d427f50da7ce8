#pragma once
// Helpers of the Ogg codec tests: speech test files made with espeak-ng and
// sox (cached in the build folder), PCM WAV reading and writing, running the
// peer tools, decoding through the program's own sources, and reading or
// rewriting Ogg pages with libogg.
#include <ogg/ogg.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "audio/ConvertMaster.h"
#include "core/EventObject.h"
#include "audio/MessageQueue.h"
#include "codec/CodecFactory.h"
#include "codec/ContentProbe.h"
#include "codec/ConversionRunner.h"
#include "codec/StreamInfoReader.h"
#include "codec/StreamTags.h"
#include "codec/WavBuilder.h"
#include "codec/WaveFileEncoder.h"
#include "platform/Unicode.h"

namespace talvinor::testing {

// 16-bit PCM held in memory.
struct PcmData {
  uint16_t channels = 0;
  uint32_t rate = 0;
  std::vector<int16_t> samples;  // interleaved
  size_t Frames() const { return channels ? samples.size() / channels : 0; }
};

// Quotes a path for the shell.
inline std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Runs a shell command with its output discarded; its exit status.
inline int Shell(const std::string& command) {
  int status = std::system((command + " >/dev/null 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs a shell command; its standard output.
inline std::string RunOutput(const std::string& command) {
  std::string out;
  FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  ::pclose(pipe);
  return out;
}

// Reads the 16-bit PCM of a WAV file (any chunk layout, extensible fmt).
inline bool ReadWav(const std::string& path, PcmData* pcm) {
  std::string bytes = ReadFile(path);
  if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0) return false;
  size_t at = 12;
  bool haveFormat = false;
  while (at + 8 <= bytes.size()) {
    std::string id = bytes.substr(at, 4);
    uint32_t size = Read32(bytes, at + 4);
    at += 8;
    if (id == "fmt " && at + 16 <= bytes.size()) {
      pcm->channels = static_cast<uint8_t>(bytes[at + 2]) | (static_cast<uint8_t>(bytes[at + 3]) << 8);
      pcm->rate = Read32(bytes, at + 4);
      uint16_t bits = static_cast<uint8_t>(bytes[at + 14]) | (static_cast<uint8_t>(bytes[at + 15]) << 8);
      if (bits != 16) return false;
      haveFormat = true;
    } else if (id == "data") {
      if (!haveFormat) return false;
      size_t length = std::min<size_t>(size, bytes.size() - at) / 2 * 2;
      pcm->samples.resize(length / 2);
      if (length) std::memcpy(pcm->samples.data(), bytes.data() + at, length);
      return true;
    }
    at += size + (size & 1);
  }
  return false;
}

inline void WriteWav(const std::string& path, const PcmData& pcm) {
  std::string data(reinterpret_cast<const char*>(pcm.samples.data()), pcm.samples.size() * 2);
  WriteFile(path, SimpleWav(data, pcm.channels, pcm.rate, 16));
}

// The folder where generated test files are kept between test processes.
inline std::string TestDataCache() {
  std::string dir = TALVINOR_CODEC_TEST_CACHE;
  std::filesystem::create_directories(dir);
  return dir;
}

// Makes `path` with `make` (which writes to the temporary path it is given)
// unless it is already there; parallel test processes never see half a file.
inline std::string Cached(const std::string& name, const std::function<bool(const std::string&)>& make) {
  std::string path = TestDataCache() + "/" + name;
  if (std::filesystem::exists(path)) return path;
  std::string temp = path + ".tmp" + std::to_string(::getpid());
  if (!make(temp)) return "";
  std::filesystem::rename(temp, path);
  return path;
}

// About six seconds of English speech from espeak-ng (22050 Hz mono).
inline std::string SpeechBase() {
  return Cached("speech-base.wav", [](const std::string& out) {
    return Shell("espeak-ng -s 150 -w " + Quote(out) +
               " 'Talvinor records voice memos and plays them back. The quick brown fox jumps over the lazy dog, "
               "and seven silver spoons were left on the table.'") == 0;
  });
}

// Speech resampled by sox to `rate`, `channels` (the right channel quieter
// and a little late, so the two differ) and exactly `seconds` long
// (repeated as needed).
inline std::string SpeechWav(uint32_t rate, uint16_t channels, double seconds) {
  char name[96];
  std::snprintf(name, sizeof name, "speech-%u-%u-%.2f.wav", rate, static_cast<unsigned>(channels), seconds);
  return Cached(name, [&](const std::string& out) {
    std::string base = SpeechBase();
    if (base.empty()) return false;
    std::string layout = channels == 2 ? " remix 1 1v0.6 delay 0 0.004" : "";
    char tail[128];
    std::snprintf(tail, sizeof tail, " repeat 4 rate -h %u trim 0 %.3f", rate, seconds);
    return Shell("sox " + Quote(base) + " -b 16 -e signed -t wav " + Quote(out) + layout + tail) == 0;
  });
}

inline PcmData SpeechPcm(uint32_t rate, uint16_t channels, double seconds) {
  PcmData pcm;
  ReadWav(SpeechWav(rate, channels, seconds), &pcm);
  return pcm;
}

// What decoding a file through the program's own source gave.
struct Decoded {
  uint32_t reason = 0;     // the conversion's stop reason (2: the stream ended)
  uint32_t probe = 0;      // the class code the content probe chose
  PcmData pcm;
  bool closed = false;
};

// Decodes `path` with the source the probe picks (or `source`), optionally
// starting at `seekMs`, into a WAV in `folder` and reads it back.
inline Decoded DecodeFile(const std::string& path, const std::string& folder, uint32_t seekMs = AudioSource::kNoSeek,
                          RefPtr<AudioSource> source = nullptr) {
  Decoded d;
  d.probe = ProbeFileContent(Utf8ToWide(path));
  if (!source) source = CreateFileSource(d.probe);
  if (!source) return d;
  if (seekMs != AudioSource::kNoSeek) source->SetSeekTarget(seekMs);
  std::string out = folder + "/decoded.wav";
  std::filesystem::remove(out);
  ConversionResult r = Convert(Utf8ToWide(path), Utf8ToWide(out), ConvertOutput::Replace, source);
  d.reason = r.reason;
  d.closed = r.closed;
  ReadWav(out, &d.pcm);
  return d;
}

// Encodes a WAV file into `out` with `encoder` through the conversion master.
inline ConversionResult EncodeFile(const std::string& wav, const std::string& out, RefPtr<AudioEncoder> encoder) {
  std::filesystem::remove(out);
  return Convert(Utf8ToWide(wav), Utf8ToWide(out), ConvertOutput::Replace, Create<WaveFileSource>(), encoder);
}

// Runs `encoder` as a master would with no sound at all: connect, stop at
// once, and write what it sends. The file's bytes.
inline std::string StopAtOnce(RefPtr<AudioEncoder> encoder) {
  RefPtr<EventObject> event = Create<EventObject>();
  RefPtr<MessageQueue> inbox = Create<MessageQueue>(event);
  encoder->SetFormat(1, 8000, 16);
  if (!encoder->Connect(inbox)) return "";
  encoder->Stop(0);
  std::string file;
  while (encoder->IsRunning() || inbox->Count() != 0) {
    event->Reset();
    RefPtr<GraphMessage> message = inbox->Pop();
    if (!message) {
      event->Wait(5);
      continue;
    }
    if (message->Kind() != MessageKind::EncodedData) continue;
    RefPtr<AudioBuffer> page = message->Buffer();
    file.append(reinterpret_cast<const char*>(page->Data()), page->Length());
    encoder->ReturnBuffer(page);
  }
  return file;
}

// One Ogg packet as read back, with the page facts that go with it.
struct OggPacketInfo {
  std::string bytes;
  int64_t granule = -1;
  int64_t packetNumber = 0;
  bool bos = false;
  bool eos = false;
};

struct OggPageInfo {
  int64_t offset = 0;  // file offset of the page
  int64_t granule = 0;
  int serial = 0;
  long sequence = 0;
  bool bos = false;
  bool eos = false;
  int packetsEnding = 0;  // packets finished on the page
};

// The pages and the packets of the first logical stream of `bytes`.
inline void ReadOgg(const std::string& bytes, std::vector<OggPageInfo>* pages, std::vector<OggPacketInfo>* packets) {
  ogg_sync_state sync;
  ogg_sync_init(&sync);
  char* buffer = ogg_sync_buffer(&sync, static_cast<long>(bytes.size()));
  std::memcpy(buffer, bytes.data(), bytes.size());
  ogg_sync_wrote(&sync, static_cast<long>(bytes.size()));
  ogg_stream_state stream;
  bool streamInit = false;
  ogg_page page;
  int64_t offset = 0;
  for (;;) {
    long n = ogg_sync_pageseek(&sync, &page);
    if (n == 0) break;
    if (n < 0) {
      offset += -n;
      continue;
    }
    OggPageInfo info;
    info.offset = offset;
    offset += n;
    info.granule = ogg_page_granulepos(&page);
    info.serial = ogg_page_serialno(&page);
    info.sequence = ogg_page_pageno(&page);
    info.bos = ogg_page_bos(&page) != 0;
    info.eos = ogg_page_eos(&page) != 0;
    info.packetsEnding = ogg_page_packets(&page);
    if (pages) pages->push_back(info);
    if (!streamInit) {
      ogg_stream_init(&stream, info.serial);
      streamInit = true;
    }
    if (ogg_stream_pagein(&stream, &page) != 0) continue;
    ogg_packet packet;
    while (ogg_stream_packetout(&stream, &packet) == 1) {
      if (!packets) continue;
      OggPacketInfo p;
      p.bytes.assign(reinterpret_cast<const char*>(packet.packet), static_cast<size_t>(packet.bytes));
      p.granule = packet.granulepos;
      p.packetNumber = packet.packetno;
      p.bos = packet.b_o_s != 0;
      p.eos = packet.e_o_s != 0;
      packets->push_back(p);
    }
  }
  if (streamInit) ogg_stream_clear(&stream);
  ogg_sync_clear(&sync);
}

// Writes `packets` as one Ogg stream: each header packet (the first
// `headerPackets`) flushed onto its own page, the rest in pages of the
// usual size.
inline std::string WriteOgg(const std::vector<OggPacketInfo>& packets, int headerPackets, int serial = 1234) {
  ogg_stream_state stream;
  ogg_stream_init(&stream, serial);
  std::string out;
  ogg_page page;
  for (size_t i = 0; i < packets.size(); ++i) {
    const OggPacketInfo& p = packets[i];
    ogg_packet packet{};
    packet.packet = reinterpret_cast<unsigned char*>(const_cast<char*>(p.bytes.data()));
    packet.bytes = static_cast<long>(p.bytes.size());
    packet.b_o_s = i == 0;
    packet.e_o_s = p.eos;
    packet.granulepos = p.granule;
    packet.packetno = static_cast<int64_t>(i);
    ogg_stream_packetin(&stream, &packet);
    bool flush = static_cast<int>(i) < headerPackets || i + 1 == packets.size();
    while (flush ? ogg_stream_flush(&stream, &page) : ogg_stream_pageout(&stream, &page)) {
      out.append(reinterpret_cast<const char*>(page.header), page.header_len);
      out.append(reinterpret_cast<const char*>(page.body), page.body_len);
    }
  }
  ogg_stream_clear(&stream);
  return out;
}

// `bytes` with the first `headerCount` packets of its first stream replaced
// by what `edit` makes of them, each flushed onto its own page; the pages
// after them are kept as they are, renumbered to follow on.
inline std::string RewriteHeaders(const std::string& bytes, size_t headerCount,
                                  const std::function<void(std::vector<OggPacketInfo>*)>& edit) {
  std::vector<OggPageInfo> pages;
  std::vector<OggPacketInfo> packets;
  ReadOgg(bytes, &pages, &packets);
  if (pages.empty() || packets.size() < headerCount) return bytes;
  std::vector<OggPacketInfo> headers(packets.begin(), packets.begin() + static_cast<long>(headerCount));
  edit(&headers);
  // The headers always end a page in the files tested here.
  size_t firstAudioPage = 0;
  for (int ended = 0; firstAudioPage < pages.size() && ended < static_cast<int>(headerCount); ++firstAudioPage) {
    ended += pages[firstAudioPage].packetsEnding;
  }
  const int serial = pages[0].serial;
  std::string out;
  {
    ogg_stream_state stream;
    ogg_stream_init(&stream, serial);
    ogg_page page;
    for (size_t i = 0; i < headers.size(); ++i) {
      ogg_packet packet{};
      packet.packet = reinterpret_cast<unsigned char*>(headers[i].bytes.data());
      packet.bytes = static_cast<long>(headers[i].bytes.size());
      packet.b_o_s = i == 0;
      packet.granulepos = 0;
      packet.packetno = static_cast<int64_t>(i);
      ogg_stream_packetin(&stream, &packet);
      while (ogg_stream_flush(&stream, &page)) {
        out.append(reinterpret_cast<const char*>(page.header), page.header_len);
        out.append(reinterpret_cast<const char*>(page.body), page.body_len);
      }
    }
    ogg_stream_clear(&stream);
  }
  std::vector<OggPageInfo> newPages;
  ReadOgg(out, &newPages, nullptr);
  long sequence = static_cast<long>(newPages.size());
  for (size_t i = firstAudioPage; i < pages.size(); ++i) {
    int64_t end = i + 1 < pages.size() ? pages[i + 1].offset : static_cast<int64_t>(bytes.size());
    std::string raw = bytes.substr(static_cast<size_t>(pages[i].offset), static_cast<size_t>(end - pages[i].offset));
    if (raw.size() < 27 || pages[i].serial != serial) {
      out += raw;
      continue;
    }
    for (int b = 0; b < 4; ++b) raw[18 + b] = static_cast<char>((sequence >> (8 * b)) & 0xFF);
    ++sequence;
    size_t headerLength = 27 + static_cast<uint8_t>(raw[26]);
    ogg_page page;
    page.header = reinterpret_cast<unsigned char*>(raw.data());
    page.header_len = static_cast<long>(headerLength);
    page.body = reinterpret_cast<unsigned char*>(raw.data() + headerLength);
    page.body_len = static_cast<long>(raw.size() - headerLength);
    ogg_page_checksum_set(&page);
    out += raw;
  }
  return out;
}

// Ratio of signal to difference in decibels between `ref` and `test`,
// after shifting `test` by the lag in [-maxLag, maxLag] frames that fits
// best (found on a stretch of 8192 frames, reported in `*lagOut`).
// Compares the frames both hold.
inline double AlignedSnr(const PcmData& ref, const PcmData& test, int maxLag, int* lagOut = nullptr) {
  const int ch = ref.channels;
  auto ratio = [&](int lag, size_t from, size_t to) {
    double diff = 0, sig = 0;
    for (size_t f = from; f < to && f < ref.Frames(); ++f) {
      int64_t g = static_cast<int64_t>(f) + lag;
      if (g < 0 || g >= static_cast<int64_t>(test.Frames())) continue;
      for (int c = 0; c < ch; ++c) {
        double a = ref.samples[f * ch + c];
        double b = test.samples[static_cast<size_t>(g) * ch + c];
        sig += a * a;
        diff += (a - b) * (a - b);
      }
    }
    return sig > 0 ? diff / sig : -1.0;
  };
  // The lag is found on a stretch with sound in it: speech has pauses of
  // digital silence, and on silence every lag fits equally well.
  auto energy = [&](size_t start) {
    double sum = 0;
    for (size_t i = start * ch; i < std::min(ref.samples.size(), (start + 8192) * ch); ++i)
      sum += static_cast<double>(ref.samples[i]) * ref.samples[i];
    return sum;
  };
  size_t from = ref.Frames() / 4;
  for (size_t eighth = 1; eighth < 7; ++eighth) {
    const size_t start = ref.Frames() * eighth / 8;
    if (energy(start) > energy(from)) from = start;
  }
  int bestLag = 0;
  double best = -1;
  for (int lag = -maxLag; lag <= maxLag; ++lag) {
    double r = ratio(lag, from, from + 8192);
    if (r >= 0 && (best < 0 || r < best)) {
      best = r;
      bestLag = lag;
    }
  }
  if (lagOut) *lagOut = bestLag;
  double whole = ratio(bestLag, 0, ref.Frames());
  if (whole < 0) return -100;
  if (whole == 0) return 200;
  return -10.0 * std::log10(whole);
}

}  // namespace talvinor::testing
