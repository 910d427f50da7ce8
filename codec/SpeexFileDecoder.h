#pragma once
#include <ogg/ogg.h>
#include <speex/speex.h>
#include <speex/speex_header.h>
#include <speex/speex_stereo.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "codec/ReaderInputSource.h"
#include "codec/StreamTags.h"

namespace talvinor {

// The program's own Ogg Speex file decoder, reading through a
// ReaderInputSource.
//
// Open reads the header and comment packets of the first stream, then jumps
// to the last 64 KB of the file for the last granule position (the stream's
// length). Decode then returns one Speex frame of 16-bit PCM at a time
// (interleaved for stereo). A seek is carried out by the next Decode: a page
// search near the target, then frames are skipped up to it.
//
// Positions: the decoder counts the samples it produces from the first audio
// frame of the stream (its output position). The granule positions of a
// file relate to that count by a fixed offset, which Open learns from the
// first audio page, so seeks land on the same sample a decode from the start
// would reach. The output ends at the last granule position: a stream is as
// long as its granule positions say, not padded to whole frames.
class SpeexFileDecoder : public RefObject {
 public:
  // One logical stream of the file.
  struct Link {
    SpeexHeader header{};
    AnsiTagList comments;     // vendor entry first, then the comments
    int64_t endPosition = 0;  // file offset of the page with the last granule position
    int64_t lastGranule = 0;
  };

  SpeexFileDecoder();

  // False when the first stream is no usable Speex stream (no header packet
  // first, an unreadable header, mode 3 or above, a bitstream version the
  // library does not know, or an unsupported layout); the reader's status
  // tells whether a read failed instead.
  bool Open(RefPtr<ReaderInputSource> reader);
  void Close();

  // Decodes the next frame into `out` (at least FrameBytes() bytes); the
  // bytes produced, 0 at the end of the stream or when a read failed.
  uint32_t Decode(int16_t* out, uint32_t capacity);
  // Asks for `samples` (per channel) from the start; carried out by the next
  // Decode.
  void Seek(int64_t samples);

  bool IsEnded() const { return m_endOfStream; }
  uint32_t Channels() const { return static_cast<uint32_t>(m_channels); }
  uint32_t Rate() const { return static_cast<uint32_t>(m_rate); }
  uint32_t FrameSize() const { return static_cast<uint32_t>(m_frameSize); }
  uint32_t FrameBytes() const { return static_cast<uint32_t>(m_frameSize * m_channels * 2); }
  const Link* CurrentLink() const { return m_links.empty() ? nullptr : &m_links.front(); }
  // The stream's length and the position reached, in samples per channel
  // from its first audible sample. Any thread may ask for the position.
  int64_t LengthSamples() const;
  int64_t PositionSamples() const { return m_positionSamples.load(); }

 protected:
  ~SpeexFileDecoder() override;

 private:
  // How fetching a page ended.
  enum class PageFetch {
    Page,   // a page came out
    End,    // the input has no more pages
    Error,  // a read failed or was stopped
  };

  bool SetupDecoder(const SpeexHeader& header);
  void DestroyDecoder();
  void ResetSync();
  void ClearStream();
  bool InitStream(int serial);
  // The next page of the input, reading 64 KB chunks as needed; `*offset`
  // is the file offset of its first byte.
  PageFetch NextPage(ogg_page* page, int64_t* offset);
  // Starts reading at file offset `position`.
  bool Restart(int64_t position);
  // Reads the rest of the file from the current position for the last
  // granule position of `link`'s stream.
  bool ScanTail(Link* link);
  // Chooses where decoding resumes for a target beyond the start and moves
  // there; the chosen file offset.
  int64_t PageSearch(int64_t target);
  void StartSeek(int64_t target);
  // Copies the decoded frame (less a skip at its front and anything past
  // the end of the stream) to `out`; the bytes produced.
  uint32_t EmitFrame(int16_t* out, int64_t skip);
  void SetPosition(int64_t outputIndex);

  RefPtr<ReaderInputSource> m_reader;
  ogg_sync_state m_sync{};
  bool m_syncInit = false;
  ogg_stream_state m_stream{};
  bool m_streamInit = false;
  int m_serial = 0;
  int64_t m_readPosition = 0;  // file offset of the next byte handed to the sync layer
  int64_t m_pageOffset = 0;    // file offset of the next page the sync layer yields
  bool m_endOfInput = false;
  bool m_endOfStream = false;

  bool m_packetInProgress = false;
  bool m_packetEnds = false;   // the packet in progress closes the stream
  int m_frameIndex = 0;
  bool m_expectComment = false;  // the next packet is the comment packet

  int64_t m_pendingSeek = -1;  // samples; -1: none
  int64_t m_skipTarget = -1;   // the target the current skip runs to; -1: none
  int64_t m_skip = 0;          // samples still to skip
  int64_t m_outputIndex = 0;   // output position of the next frame; -1: not known yet
  int64_t m_granuleOffset = 0; // output position minus granule position
  std::atomic<int64_t> m_positionSamples{0};

  int m_enhancement = 1;
  int m_forcedMode = -1;
  int m_framesPerPacket = 1;
  int m_channels = 1;
  int m_frameSize = 0;
  int m_rate = 0;
  void* m_decoder = nullptr;
  SpeexBits m_bits{};
  bool m_bitsInit = false;
  SpeexStereoState m_stereo = SPEEX_STEREO_STATE_INIT;
  std::vector<int16_t> m_frame;  // one decoded frame
  int64_t m_fileSize = 0;
  std::vector<Link> m_links;
};

}  // namespace talvinor
