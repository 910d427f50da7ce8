#pragma once
#include <cstdint>
#include <vector>

#include "audio/AudioEncoder.h"
#include "codec/SpeexCodecState.h"

namespace talvinor {

// The Speex settings of a recording scene.
struct SpeexSettings {
  int32_t quality = 8;     // 0-10; a negative value leaves the library's default
  int32_t complexity = 2;
  int32_t denoise = 0;     // non-zero: the preprocessor removes noise
  int32_t vad = 0;         // non-zero: voice activity detection
  int32_t dtx = 0;         // non-zero: discontinuous transmission
};

// Encodes 8- or 16-bit mono or stereo linear PCM into an Ogg Speex stream:
// narrowband up to 12500 Hz, wideband up to 25000 Hz, ultra-wideband up to
// 48000 Hz. The header, the comment packet and one packet per Speex frame go
// out as Ogg pages (EncodedData, appended), closed by an end-of-stream packet.
//
// The whole encoding run happens in one processing step: it pulls exactly one
// frame of PCM at a time from the inbox and ends once the inbox is empty
// after a stop request, padding the last frame with silence.
//
// Stereo frames are mixed down to mono by the stereo coder before the noise
// removal, so the preprocessor always sees one channel.
class SpeexEncoder : public AudioEncoder {
  TALVINOR_CLASS_CODES(0x20045, 0x1210, 0x20011, 0x20041)

 public:
  SpeexEncoder();

  // Honoured at the next start; refused while running.
  bool SetSpeexSettings(const SpeexSettings& settings);
  SpeexSettings GetSpeexSettings();

  // The Speex mode for a sample rate: 0 narrowband, 1 wideband, 2
  // ultra-wideband, or -1 for a rate below 6000 or above 48000 Hz (0 counts
  // as 8000 Hz).
  static int ModeForRate(uint32_t rate);

  // Ends a stream that a write error or a full disk cut short.
  void MakeFileFinal(const std::wstring& path) override;

 protected:
  ~SpeexEncoder() override = default;
  StopReason SetupStep() override;
  void ProcessStep() override;
  bool FinishStep() override;

 private:
  // How filling one frame ended.
  enum class FrameFill {
    Full,   // the frame holds PCM throughout
    End,    // the input ended; the rest of the frame is silence
    Error,  // a message without a buffer or an unusable sample size
  };

  // StopReason::None, or the failure that ended the run.
  StopReason EncodeRun();
  StopReason WriteHeaders(uint32_t rate, const SpeexMode* mode, int channels);
  FrameFill FillFrame(int16_t* frame, uint32_t frameBytes, const WaveFormat& format);
  // Delivers the pages ogg_stream_pageout (or, with `flush`, ogg_stream_flush)
  // yields; false when one could not be delivered.
  bool DeliverPages(bool flush);

  RefPtr<SpeexCodecState> m_state;
  SpeexSettings m_settings;  // guarded by m_lock
  // Encoder thread only:
  bool m_runDone = false;
  uint32_t m_headConsumed = 0;  // bytes of the head input buffer already taken
  int64_t m_pageGranule = 0;    // granule position of the last page delivered
};

}  // namespace talvinor
