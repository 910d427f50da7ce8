#include "codec/SpeexFileDecoder.h"

#include <speex/speex_callbacks.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/Trace.h"

namespace talvinor {

namespace {
constexpr int64_t kChunkBytes = 65536;        // read into the sync layer at a time
constexpr int64_t kTailBytes = 65536;         // scanned at the end for the length
constexpr int64_t kSearchStepBytes = 32768;   // page search window step
constexpr int64_t kStartSeekLimit = 262144;   // targets up to here decode from the start
constexpr int kMaxFramesPerPacket = 10;
constexpr int kMaxFrameSize = 2048;
constexpr int kMinRate = 1000;
constexpr int kMaxRate = 192000;

bool IsHeaderPacket(const ogg_packet& packet) {
  return packet.b_o_s || (packet.bytes >= 8 && std::memcmp(packet.packet, "Speex   ", 8) == 0);
}
}  // namespace

SpeexFileDecoder::SpeexFileDecoder() = default;

SpeexFileDecoder::~SpeexFileDecoder() { Close(); }

void SpeexFileDecoder::Close() {
  DestroyDecoder();
  ClearStream();
  if (m_syncInit) ogg_sync_clear(&m_sync);
  std::memset(&m_sync, 0, sizeof m_sync);
  m_syncInit = false;
  m_links.clear();
  m_reader = nullptr;
  m_packetInProgress = false;
  m_endOfStream = false;
}

void SpeexFileDecoder::DestroyDecoder() {
  if (m_decoder) speex_decoder_destroy(m_decoder);
  m_decoder = nullptr;
  if (m_bitsInit) speex_bits_destroy(&m_bits);
  std::memset(&m_bits, 0, sizeof m_bits);
  m_bitsInit = false;
}

void SpeexFileDecoder::ResetSync() {
  if (m_syncInit) {
    ogg_sync_reset(&m_sync);
  } else {
    ogg_sync_init(&m_sync);
    m_syncInit = true;
  }
}

void SpeexFileDecoder::ClearStream() {
  if (m_streamInit) ogg_stream_clear(&m_stream);
  std::memset(&m_stream, 0, sizeof m_stream);
  m_streamInit = false;
}

bool SpeexFileDecoder::InitStream(int serial) {
  ClearStream();
  if (ogg_stream_init(&m_stream, serial) != 0) return false;
  m_streamInit = true;
  m_serial = serial;
  return true;
}

bool SpeexFileDecoder::Restart(int64_t position) {
  if (!m_reader || m_reader->Seek(position, 0) < 0) return false;
  m_readPosition = position;
  m_pageOffset = position;
  m_endOfInput = false;
  ResetSync();
  return true;
}

SpeexFileDecoder::PageFetch SpeexFileDecoder::NextPage(ogg_page* page, int64_t* offset) {
  for (;;) {
    long step = ogg_sync_pageseek(&m_sync, page);
    if (step > 0) {
      *offset = m_pageOffset;
      m_pageOffset += step;
      return PageFetch::Page;
    }
    if (step < 0) {
      m_pageOffset += -step;  // bytes that are no page
      continue;
    }
    if (m_endOfInput) return PageFetch::End;
    char* buffer = ogg_sync_buffer(&m_sync, kChunkBytes);
    if (!buffer) return PageFetch::Error;
    size_t got = m_reader->Read(buffer, kChunkBytes);
    if (m_reader->Status() != ReaderStatus::Ok) return PageFetch::Error;
    ogg_sync_wrote(&m_sync, static_cast<long>(got));
    m_readPosition += static_cast<int64_t>(got);
    if (static_cast<int64_t>(got) < kChunkBytes) m_endOfInput = true;
  }
}

bool SpeexFileDecoder::SetupDecoder(const SpeexHeader& header) {
  if (header.mode < 0 || header.mode >= SPEEX_NB_MODES) return false;
  int modeId = m_forcedMode >= 0 ? m_forcedMode : header.mode;
  const SpeexMode* mode = speex_lib_get_mode(modeId);
  if (!mode) return false;
  if (mode->bitstream_version != header.mode_bitstream_version) {
    Trace("SpeexFileDecoder - bitstream version %d, the library decodes %d\r\n", header.mode_bitstream_version,
          mode->bitstream_version);
    return false;
  }
  int framesPerPacket = header.frames_per_packet == 0 ? 1 : header.frames_per_packet;
  int rate = header.rate;
  if (m_forcedMode >= 0) rate = modeId > header.mode ? rate << (modeId - header.mode) : rate >> (header.mode - modeId);
  // A layout this decoder cannot produce is refused rather than played as noise.
  if (framesPerPacket < 1 || framesPerPacket > kMaxFramesPerPacket || header.nb_channels < 1 ||
      header.nb_channels > 2 || rate < kMinRate || rate > kMaxRate) {
    Trace("SpeexFileDecoder - unusable header: %d frames per packet, %d channels, %d Hz\r\n", header.frames_per_packet,
          header.nb_channels, header.rate);
    return false;
  }
  DestroyDecoder();
  m_decoder = speex_decoder_init(mode);
  if (!m_decoder) return false;
  spx_int32_t value = m_enhancement;
  speex_decoder_ctl(m_decoder, SPEEX_SET_ENH, &value);
  spx_int32_t frameSize = 0;
  speex_decoder_ctl(m_decoder, SPEEX_GET_FRAME_SIZE, &frameSize);
  if (frameSize <= 0 || frameSize > kMaxFrameSize) return false;
  m_stereo = SPEEX_STEREO_STATE_INIT;
  SpeexCallback callback{};
  callback.callback_id = SPEEX_INBAND_STEREO;
  callback.func = speex_std_stereo_request_handler;
  callback.data = &m_stereo;
  speex_decoder_ctl(m_decoder, SPEEX_SET_HANDLER, &callback);
  speex_bits_init(&m_bits);
  m_bitsInit = true;
  m_frameSize = frameSize;
  m_rate = rate;
  m_framesPerPacket = framesPerPacket;
  m_channels = header.nb_channels;
  m_frame.assign(static_cast<size_t>(m_frameSize) * m_channels, 0);
  return true;
}

bool SpeexFileDecoder::Open(RefPtr<ReaderInputSource> reader) {
  Close();
  m_reader = std::move(reader);
  if (!m_reader) return false;
  int64_t size = m_reader->Seek(0, 2);
  if (size <= 0) return false;
  m_fileSize = size;
  const int64_t tailStart = size > kTailBytes ? size - kTailBytes : 0;
  if (!Restart(0)) return false;

  Link link;
  bool haveHeader = false;
  bool jumped = false;
  int64_t packetIndex = 0;
  m_granuleOffset = 0;
  ogg_page page;
  int64_t offset = 0;
  while (!jumped) {
    PageFetch fetch = NextPage(&page, &offset);
    if (fetch == PageFetch::Error) return false;
    if (fetch == PageFetch::End) break;
    if (!m_streamInit && !InitStream(ogg_page_serialno(&page))) return false;
    if (ogg_page_serialno(&page) != m_serial || ogg_stream_pagein(&m_stream, &page) != 0) continue;
    ogg_packet packet;
    for (;;) {
      int got = ogg_stream_packetout(&m_stream, &packet);
      if (got == 0) break;
      if (got < 0) {
        if (!haveHeader) return false;  // the stream does not even start whole
        continue;
      }
      if (packetIndex == 0) {
        if (!packet.b_o_s) return false;
        SpeexHeader* header = speex_packet_to_header(reinterpret_cast<char*>(packet.packet), static_cast<int>(packet.bytes));
        if (!header) return false;
        link.header = *header;
        speex_header_free(header);
        if (!SetupDecoder(link.header)) return false;
        haveHeader = true;
      } else if (packetIndex == 1) {
        if (!ParseSpeexCommentPacket(packet.packet, static_cast<size_t>(packet.bytes), &link.comments)) {
          link.comments.clear();
        }
      } else {
        // The first audio packet. The last packet finished on its page
        // carries the page's granule position; its output position fixes
        // how the two count.
        int64_t lastAudio = packetIndex - 2;
        for (int more; (more = ogg_stream_packetout(&m_stream, &packet)) != 0;) {
          if (more > 0) ++lastAudio;
        }
        int64_t granule = ogg_page_granulepos(&page);
        if (granule != -1) m_granuleOffset = lastAudio * m_framesPerPacket * m_frameSize - granule;
        jumped = true;
        break;
      }
      ++packetIndex;
    }
  }
  if (!haveHeader) return false;
  if (jumped) {
    ClearStream();
    if (!Restart(tailStart) || !InitStream(m_serial) || !ScanTail(&link)) return false;
  }
  m_links.push_back(std::move(link));

  ClearStream();
  if (!Restart(0)) return false;
  m_packetInProgress = false;
  m_packetEnds = false;
  m_endOfStream = false;
  m_expectComment = false;
  m_pendingSeek = -1;
  m_skipTarget = -1;
  m_skip = 0;
  m_outputIndex = 0;
  SetPosition(0);
  return true;
}

bool SpeexFileDecoder::ScanTail(Link* link) {
  ogg_page page;
  int64_t offset = 0;
  for (;;) {
    PageFetch fetch = NextPage(&page, &offset);
    if (fetch == PageFetch::Error) return false;
    if (fetch == PageFetch::End) return true;
    if (ogg_page_serialno(&page) != m_serial) continue;
    int64_t granule = ogg_page_granulepos(&page);
    if (granule > 0 && granule >= link->lastGranule) {
      link->lastGranule = granule;
      link->endPosition = offset;
    }
  }
}

int64_t SpeexFileDecoder::LengthSamples() const {
  const Link* link = CurrentLink();
  return link && link->lastGranule > 0 ? link->lastGranule : 0;
}

void SpeexFileDecoder::SetPosition(int64_t outputIndex) { m_positionSamples.store(outputIndex > 0 ? outputIndex : 0); }

void SpeexFileDecoder::Seek(int64_t samples) {
  m_pendingSeek = samples > 0 ? samples : 0;
  SetPosition(m_pendingSeek);
}

int64_t SpeexFileDecoder::PageSearch(int64_t target) {
  const int64_t total = LengthSamples();
  const long double estimate = static_cast<long double>(target) * m_fileSize / total;
  if (estimate <= kSearchStepBytes) return 0;
  int64_t start = static_cast<int64_t>(estimate) - kSearchStepBytes;
  for (;;) {
    if (!Restart(start)) return 0;
    int64_t found = -1;
    ogg_page page;
    int64_t offset = 0;
    PageFetch fetch;
    while ((fetch = NextPage(&page, &offset)) == PageFetch::Page) {
      if (ogg_page_serialno(&page) != m_serial || ogg_page_bos(&page) || ogg_page_pageno(&page) <= 1) continue;
      int64_t granule = ogg_page_granulepos(&page);
      if (granule == -1) continue;
      if (granule > target) break;
      found = offset;  // the latest page still at or before the target
    }
    if (fetch == PageFetch::Error) return 0;
    if (found >= 0) return found;
    if (start == 0) return 0;
    start = start > kSearchStepBytes ? start - kSearchStepBytes : 0;
  }
}

void SpeexFileDecoder::StartSeek(int64_t target) {
  m_packetInProgress = false;
  m_packetEnds = false;
  m_endOfStream = false;
  m_expectComment = false;
  ClearStream();
  int64_t resume = 0;
  if (target > kStartSeekLimit && LengthSamples() > 0) resume = PageSearch(target);
  if (!Restart(resume) || !InitStream(m_serial)) {
    m_endOfStream = true;
    return;
  }
  m_skipTarget = target;
  if (resume == 0) {
    m_outputIndex = 0;
    m_skip = std::max<int64_t>(0, target + m_granuleOffset);
  } else {
    // Known again at the first packet at or before the target.
    m_outputIndex = -1;
    m_skip = target;
  }
}

uint32_t SpeexFileDecoder::EmitFrame(int16_t* out, int64_t skip) {
  int64_t start = std::clamp<int64_t>(skip, 0, m_frameSize);
  int64_t count = m_frameSize - start;
  if (m_outputIndex >= 0) {
    int64_t first = m_outputIndex + start;
    m_outputIndex += m_frameSize;
    int64_t limit = LengthSamples();
    if (limit > 0) {
      if (first >= limit) {
        m_endOfStream = true;
        return 0;
      }
      if (first + count >= limit) {
        count = limit - first;
        m_endOfStream = true;
      }
    }
    SetPosition(first + count);
  }
  std::memcpy(out, m_frame.data() + start * m_channels, static_cast<size_t>(count) * m_channels * 2);
  return static_cast<uint32_t>(count * m_channels * 2);
}

uint32_t SpeexFileDecoder::Decode(int16_t* out, uint32_t capacity) {
  if (!m_decoder || !out || capacity < FrameBytes()) return 0;
  for (;;) {
    if (m_pendingSeek >= 0) {
      int64_t target = m_pendingSeek;
      m_pendingSeek = -1;
      StartSeek(target);
    }
    if (m_endOfStream) return 0;

    if (m_packetInProgress && m_frameIndex < m_framesPerPacket) {
      // Frames inside a loaded packet are always decoded, even when skipped,
      // so the next frame reads its own bits and the decoder keeps its state.
      int result = speex_decode_int(m_decoder, &m_bits, m_frame.data());
      ++m_frameIndex;
      if (result < 0 || speex_bits_remaining(&m_bits) < 0) {
        // The end code, or damaged data: nothing more in this packet.
        m_packetInProgress = false;
        continue;
      }
      if (m_channels == 2) speex_decode_stereo_int(m_frame.data(), m_frameSize, &m_stereo);
      if (m_skip >= m_frameSize) {
        m_skip -= m_frameSize;
        if (m_outputIndex >= 0) m_outputIndex += m_frameSize;
        continue;
      }
      int64_t skip = m_skip;
      m_skip = 0;
      m_skipTarget = -1;
      uint32_t bytes = EmitFrame(out, skip);
      if (bytes != 0 || m_endOfStream) return bytes;
      continue;
    }
    m_packetInProgress = false;
    if (m_packetEnds) {
      m_packetEnds = false;
      m_endOfStream = true;
      return 0;
    }

    ogg_packet packet;
    int got = m_streamInit ? ogg_stream_packetout(&m_stream, &packet) : 0;
    if (got < 0) continue;  // a gap: the packets after it still decode
    if (got > 0) {
      if (IsHeaderPacket(packet)) {
        m_expectComment = true;
        continue;
      }
      if (m_expectComment) {
        m_expectComment = false;
        continue;
      }
      const int64_t granule = packet.granulepos;
      const int64_t packetSamples = static_cast<int64_t>(m_framesPerPacket) * m_frameSize;
      if (m_skipTarget >= 0 && granule != -1 && granule <= m_skipTarget) {
        m_skip = m_skipTarget - granule;
        m_outputIndex = granule + m_granuleOffset;
      }
      if (m_skip < packetSamples) {
        speex_bits_read_from(&m_bits, reinterpret_cast<char*>(packet.packet), static_cast<int>(packet.bytes));
        m_packetInProgress = true;
        m_packetEnds = packet.e_o_s != 0;
        m_frameIndex = 0;
        continue;
      }
      m_skip -= packetSamples;
      if (m_outputIndex >= 0) m_outputIndex += packetSamples;
      if (packet.e_o_s) {
        m_endOfStream = true;
        return 0;
      }
      continue;
    }

    ogg_page page;
    int64_t offset = 0;
    PageFetch fetch = NextPage(&page, &offset);
    if (fetch == PageFetch::Error) return 0;
    if (fetch == PageFetch::End) {
      // The input ends without an end-of-stream packet (a recording that
      // was cut short): the stream ends here all the same.
      ClearStream();
      ResetSync();
      m_endOfStream = true;
      return 0;
    }
    if (!m_streamInit && !InitStream(m_serial)) return 0;
    if (ogg_page_serialno(&page) != m_serial) continue;  // another stream's page
    ogg_stream_pagein(&m_stream, &page);
  }
}

}  // namespace talvinor
