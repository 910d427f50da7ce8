// The library calls of each conversion alone, in a tight loop on one thread:
// what a conversion costs without the graph around it. Each loop does the
// whole job the graph does (read the file, code it, write the result), so
// the difference is the graph's own cost.
#pragma once
#include <ogg/ogg.h>
#include <speex/speex.h>
#include <speex/speex_header.h>
#include <vorbis/vorbisenc.h>
#include <vorbis/vorbisfile.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace raw {

inline void Require(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "raw loop failed: %s\n", what);
  std::exit(1);
}

inline void PutLe(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// A canonical 44-byte header for 16-bit PCM of `dataBytes` bytes.
inline std::vector<uint8_t> WavHeader(uint32_t rate, uint16_t channels, uint32_t dataBytes) {
  std::vector<uint8_t> h;
  h.insert(h.end(), {'R', 'I', 'F', 'F'});
  PutLe(h, 36 + dataBytes, 4);
  h.insert(h.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  PutLe(h, 16, 4);
  PutLe(h, 1, 2);
  PutLe(h, channels, 2);
  PutLe(h, rate, 4);
  PutLe(h, rate * channels * 2, 4);
  PutLe(h, channels * 2, 2);
  PutLe(h, 16, 2);
  h.insert(h.end(), {'d', 'a', 't', 'a'});
  PutLe(h, dataBytes, 4);
  return h;
}

// Writes the header with placeholder sizes first and the real ones at the
// end, as a streaming writer must.
class WavWriter {
 public:
  WavWriter(const std::string& path, uint32_t rate, uint16_t channels) : m_rate(rate), m_channels(channels) {
    m_file = std::fopen(path.c_str(), "wb");
    Require(m_file, "open output");
    std::vector<uint8_t> h = WavHeader(rate, channels, 0);
    std::fwrite(h.data(), 1, h.size(), m_file);
  }
  void Write(const void* data, size_t bytes) {
    Require(std::fwrite(data, 1, bytes, m_file) == bytes, "write");
    m_bytes += bytes;
  }
  ~WavWriter() {
    std::vector<uint8_t> h = WavHeader(m_rate, m_channels, static_cast<uint32_t>(m_bytes));
    std::fseek(m_file, 0, SEEK_SET);
    std::fwrite(h.data(), 1, h.size(), m_file);
    std::fclose(m_file);
  }

 private:
  FILE* m_file = nullptr;
  uint32_t m_rate;
  uint16_t m_channels;
  uint64_t m_bytes = 0;
};

// Ogg Vorbis to 16-bit WAV with ov_read.
inline void VorbisToWav(const std::string& in, const std::string& out) {
  OggVorbis_File file;
  Require(ov_fopen(in.c_str(), &file) == 0, "ov_fopen");
  vorbis_info* info = ov_info(&file, -1);
  WavWriter writer(out, static_cast<uint32_t>(info->rate), static_cast<uint16_t>(info->channels));
  std::vector<char> block(16384);
  int link = 0;
  for (;;) {
    long got = ov_read(&file, block.data(), static_cast<int>(block.size()), 0, 2, 1, &link);
    if (got == OV_HOLE) continue;
    if (got <= 0) break;
    writer.Write(block.data(), static_cast<size_t>(got));
  }
  ov_clear(&file);
}

// Ogg Speex to 16-bit WAV with speex_decode_int, perceptual enhancement on
// as the players have it.
inline void SpeexToWav(const std::string& in, const std::string& out) {
  FILE* input = std::fopen(in.c_str(), "rb");
  Require(input, "open Speex input");
  ogg_sync_state sync;
  ogg_sync_init(&sync);
  ogg_stream_state stream;
  bool streamOpen = false;
  void* decoder = nullptr;
  SpeexBits bits;
  speex_bits_init(&bits);
  int frameSize = 0, framesPerPacket = 1, channels = 1, rate = 0;
  long packets = 0;
  std::vector<int16_t> frame;
  std::unique_ptr<WavWriter> writer;  // made once the header gives the rate
  ogg_page page;
  ogg_packet packet;
  for (bool eof = false; !eof;) {
    char* buffer = ogg_sync_buffer(&sync, 65536);
    size_t got = std::fread(buffer, 1, 65536, input);
    ogg_sync_wrote(&sync, static_cast<long>(got));
    eof = got == 0;
    while (ogg_sync_pageout(&sync, &page) == 1) {
      if (!streamOpen) {
        ogg_stream_init(&stream, ogg_page_serialno(&page));
        streamOpen = true;
      }
      ogg_stream_pagein(&stream, &page);
      while (ogg_stream_packetout(&stream, &packet) == 1) {
        if (packets++ == 0) {
          SpeexHeader* header = speex_packet_to_header(reinterpret_cast<char*>(packet.packet), packet.bytes);
          Require(header, "Speex header");
          const SpeexMode* mode = speex_lib_get_mode(header->mode);
          decoder = speex_decoder_init(mode);
          int enhance = 1;
          speex_decoder_ctl(decoder, SPEEX_SET_ENH, &enhance);
          speex_decoder_ctl(decoder, SPEEX_GET_FRAME_SIZE, &frameSize);
          framesPerPacket = header->frames_per_packet > 0 ? header->frames_per_packet : 1;
          channels = header->nb_channels;
          rate = header->rate;
          speex_header_free(header);
          Require(channels == 1, "mono Speex");
          frame.resize(static_cast<size_t>(frameSize));
          writer = std::make_unique<WavWriter>(out, static_cast<uint32_t>(rate), 1);
          continue;
        }
        if (packets == 2) continue;  // the comments
        speex_bits_read_from(&bits, reinterpret_cast<char*>(packet.packet), static_cast<int>(packet.bytes));
        for (int i = 0; i < framesPerPacket; ++i) {
          if (speex_decode_int(decoder, &bits, frame.data()) != 0) break;
          writer->Write(frame.data(), frame.size() * 2);
        }
      }
    }
  }
  writer.reset();
  if (decoder) speex_decoder_destroy(decoder);
  speex_bits_destroy(&bits);
  if (streamOpen) ogg_stream_clear(&stream);
  ogg_sync_clear(&sync);
  std::fclose(input);
}

// 16-bit WAV (canonical 44-byte header) to Ogg Vorbis at `quality` with
// vorbis_analysis.
inline void WavToVorbis(const std::string& in, const std::string& out, float quality) {
  FILE* input = std::fopen(in.c_str(), "rb");
  Require(input, "open WAV input");
  uint8_t header[44];
  Require(std::fread(header, 1, 44, input) == 44, "WAV header");
  const int channels = header[22] | header[23] << 8;
  const long rate = static_cast<long>(header[24] | header[25] << 8 | header[26] << 16 | static_cast<uint32_t>(header[27]) << 24);
  FILE* output = std::fopen(out.c_str(), "wb");
  Require(output, "open Vorbis output");

  vorbis_info info;
  vorbis_info_init(&info);
  Require(vorbis_encode_init_vbr(&info, channels, rate, quality) == 0, "vorbis_encode_init_vbr");
  vorbis_comment comment;
  vorbis_comment_init(&comment);
  vorbis_dsp_state dsp;
  vorbis_analysis_init(&dsp, &info);
  vorbis_block block;
  vorbis_block_init(&dsp, &block);
  ogg_stream_state stream;
  ogg_stream_init(&stream, static_cast<int>(std::time(nullptr)));
  ogg_packet first, second, third;
  vorbis_analysis_headerout(&dsp, &comment, &first, &second, &third);
  ogg_stream_packetin(&stream, &first);
  ogg_stream_packetin(&stream, &second);
  ogg_stream_packetin(&stream, &third);
  ogg_page page;
  auto writePage = [&] {
    std::fwrite(page.header, 1, static_cast<size_t>(page.header_len), output);
    std::fwrite(page.body, 1, static_cast<size_t>(page.body_len), output);
  };
  while (ogg_stream_flush(&stream, &page)) writePage();

  const int frames = 4096;
  std::vector<int16_t> pcm(static_cast<size_t>(frames * channels));
  bool end = false;
  while (!end) {
    size_t got = std::fread(pcm.data(), static_cast<size_t>(2 * channels), static_cast<size_t>(frames), input);
    if (got == 0) {
      vorbis_analysis_wrote(&dsp, 0);
    } else {
      float** buffer = vorbis_analysis_buffer(&dsp, static_cast<int>(got));
      for (size_t i = 0; i < got; ++i) {
        for (int c = 0; c < channels; ++c) buffer[c][i] = pcm[i * channels + c] / 32768.f;
      }
      vorbis_analysis_wrote(&dsp, static_cast<int>(got));
    }
    while (vorbis_analysis_blockout(&dsp, &block) == 1) {
      vorbis_analysis(&block, nullptr);
      vorbis_bitrate_addblock(&block);
      ogg_packet packet;
      while (vorbis_bitrate_flushpacket(&dsp, &packet)) {
        ogg_stream_packetin(&stream, &packet);
        while (ogg_stream_pageout(&stream, &page)) {
          writePage();
          if (ogg_page_eos(&page)) end = true;
        }
      }
    }
    if (got == 0) end = true;
  }
  while (ogg_stream_flush(&stream, &page)) writePage();
  ogg_stream_clear(&stream);
  vorbis_block_clear(&block);
  vorbis_dsp_clear(&dsp);
  vorbis_comment_clear(&comment);
  vorbis_info_clear(&info);
  std::fclose(output);
  std::fclose(input);
}

// 16-bit mono WAV (canonical header) to Ogg Speex ultra-wideband with
// speex_encode_int, one frame per packet.
inline void WavToSpeex(const std::string& in, const std::string& out, int quality, int complexity) {
  FILE* input = std::fopen(in.c_str(), "rb");
  Require(input, "open WAV input");
  uint8_t wav[44];
  Require(std::fread(wav, 1, 44, input) == 44, "WAV header");
  Require((wav[22] | wav[23] << 8) == 1, "mono WAV");
  int rate = static_cast<int>(wav[24] | wav[25] << 8 | wav[26] << 16 | static_cast<uint32_t>(wav[27]) << 24);
  FILE* output = std::fopen(out.c_str(), "wb");
  Require(output, "open Speex output");

  const SpeexMode* mode = speex_lib_get_mode(SPEEX_MODEID_UWB);
  void* encoder = speex_encoder_init(mode);
  speex_encoder_ctl(encoder, SPEEX_SET_COMPLEXITY, &complexity);
  speex_encoder_ctl(encoder, SPEEX_SET_SAMPLING_RATE, &rate);
  speex_encoder_ctl(encoder, SPEEX_SET_QUALITY, &quality);
  int frameSize = 0;
  speex_encoder_ctl(encoder, SPEEX_GET_FRAME_SIZE, &frameSize);
  SpeexBits bits;
  speex_bits_init(&bits);

  ogg_stream_state stream;
  ogg_stream_init(&stream, static_cast<int>(std::time(nullptr)));
  ogg_page page;
  auto writePages = [&](bool flush) {
    while (flush ? ogg_stream_flush(&stream, &page) : ogg_stream_pageout(&stream, &page)) {
      std::fwrite(page.header, 1, static_cast<size_t>(page.header_len), output);
      std::fwrite(page.body, 1, static_cast<size_t>(page.body_len), output);
    }
  };
  SpeexHeader header;
  speex_init_header(&header, rate, 1, mode);
  header.frames_per_packet = 1;
  int headerBytes = 0;
  char* headerPacket = speex_header_to_packet(&header, &headerBytes);
  ogg_packet packet{};
  packet.packet = reinterpret_cast<unsigned char*>(headerPacket);
  packet.bytes = headerBytes;
  packet.b_o_s = 1;
  ogg_stream_packetin(&stream, &packet);
  speex_header_free(headerPacket);
  unsigned char comments[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  packet = ogg_packet{};
  packet.packet = comments;
  packet.bytes = sizeof comments;
  packet.packetno = 1;
  ogg_stream_packetin(&stream, &packet);
  writePages(true);

  std::vector<int16_t> frame(static_cast<size_t>(frameSize));
  std::vector<char> coded(2048);
  int64_t granule = 0, number = 2;
  for (;;) {
    size_t got = std::fread(frame.data(), 2, frame.size(), input);
    if (got == 0) break;
    if (got < frame.size()) std::memset(frame.data() + got, 0, (frame.size() - got) * 2);
    speex_bits_reset(&bits);
    speex_encode_int(encoder, frame.data(), &bits);
    int bytes = speex_bits_write(&bits, coded.data(), static_cast<int>(coded.size()));
    granule += static_cast<int64_t>(got);
    packet = ogg_packet{};
    packet.packet = reinterpret_cast<unsigned char*>(coded.data());
    packet.bytes = bytes;
    packet.e_o_s = got < frame.size() || std::feof(input);
    packet.granulepos = granule;
    packet.packetno = number++;
    ogg_stream_packetin(&stream, &packet);
    writePages(false);
  }
  writePages(true);
  ogg_stream_clear(&stream);
  speex_bits_destroy(&bits);
  speex_encoder_destroy(encoder);
  std::fclose(output);
  std::fclose(input);
}

}  // namespace raw
