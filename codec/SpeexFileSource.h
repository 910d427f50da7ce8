#pragma once
#include <atomic>
#include <cstdint>
#include <vector>

#include "codec/OggFileSource.h"
#include "codec/ReaderInputSource.h"
#include "codec/SpeexFileDecoder.h"

namespace talvinor {

// Plays an Ogg Speex file through the program's own SpeexFileDecoder:
// 16-bit signed PCM, interleaved for stereo streams. The stream's vendor
// string and comments become the tag list (name and value kept apart).
class SpeexFileSource : public OggFileSource {
  TALVINOR_CLASS_CODES(0x20025, 0x1210, 0x20011, 0x20021)

 public:
  SpeexFileSource();

  // The length from the last granule position and the position decoded so
  // far, in milliseconds; 0 while idle or starting.
  uint32_t GetLength() override;
  uint32_t GetPosition() override;
  uint32_t GetBufferSize() override { return 8000; }
  uint32_t GetBufferCount() override { return 6; }

 protected:
  ~SpeexFileSource() override = default;
  StopReason SetupStep() override;
  void ResumeStep() override;
  void ProcessStep() override;
  bool FinishStep() override;
  // The decoder seeks when it next decodes; a target past the end leaves
  // the stream at its end.
  uint32_t SeekStream(uint32_t milliseconds) override;

 private:

  RefPtr<SpeexFileDecoder> m_decoder;
  RefPtr<ReaderInputSource> m_reader;
  std::atomic<uint32_t> m_lengthMs{0};
  std::atomic<uint32_t> m_rate{0};
  // Source thread only: the frame being handed out.
  std::vector<int16_t> m_frame;
  uint32_t m_frameOffset = 0;  // bytes of it already handed out
  uint32_t m_frameLength = 0;  // bytes it holds
};

}  // namespace talvinor
