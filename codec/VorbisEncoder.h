#pragma once
#include <cstdint>

#include "audio/AudioEncoder.h"
#include "codec/VorbisCodecState.h"

namespace talvinor {

// Encodes 8- or 16-bit linear PCM into an Ogg Vorbis stream (variable bit
// rate at the chosen quality). Every finished Ogg page goes to the master as
// EncodedData to be appended; the tags present at the start are written into
// the comment header in CP932. A page is closed at least once per second of
// sound, so a recording cut off by a crash loses at most about a second, and
// MakeFileFinal ends a stream that a write error or a full disk cut short.
class VorbisEncoder : public AudioEncoder {
  TALVINOR_CLASS_CODES(0x20044, 0x1210, 0x20011, 0x20041)

 public:
  static constexpr float kDefaultQuality = 0.1f;

  VorbisEncoder();

  // Honoured at the next start; refused while running.
  bool SetQuality(float quality);
  float GetQuality();

  void MakeFileFinal(const std::wstring& path) override;

 protected:
  ~VorbisEncoder() override = default;
  StopReason SetupStep() override;
  void ProcessStep() override;
  bool FinishStep() override;

 private:
  // Analyses one PCM buffer; false for an unusable one.
  bool Feed(AudioBuffer* buffer, const WaveFormat& format);
  // Turns what the analysis has ready into pages and delivers them; false
  // when a page could not be delivered.
  bool Drain();
  bool DeliverPage(const ogg_page& page);
  // Feeds, drains and hands the buffer back; false on failure.
  bool Encode(RefPtr<AudioBuffer> buffer);

  RefPtr<VorbisCodecState> m_state;
  float m_quality = kDefaultQuality;  // guarded by m_lock
  // Encoder thread only:
  WaveFormat m_runFormat;
  bool m_endWritten = false;  // the end-of-stream page has gone out
  bool m_failed = false;      // feeding or draining failed this run
  bool m_setUp = false;       // the stream's headers have gone out
  int64_t m_pageGranule = 0;  // granule position of the last page delivered
};

}  // namespace talvinor
