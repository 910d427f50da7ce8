#pragma once
#include <cstdint>

#include "audio/AudioEncoder.h"

namespace talvinor {

// Writes linear PCM as a RIFF/WAVE file: a 44-byte header at offset 0, then
// the PCM buffers themselves, appended. The header carries the provisional
// sizes 0x7FFFFFFF until the stop rewrites it with the final ones.
//
// While recording, the header is brought up to date in place about once a
// second, so a recording cut off by a crash plays up to that point; after
// the file is closed, MakeFileFinal sets the sizes from what the file really
// holds, whatever ended the run (a write error or a full disk included).
//
// The size fields are 32 bits: once the data reaches the data limit the
// encoder keeps the whole frames that still fit, drops the rest, reports
// stop reason 35 and, at the stop, writes a correct final header.
class WaveFileEncoder : public AudioEncoder {
  TALVINOR_CLASS_CODES(0x20043, 0x1210, 0x20011, 0x20041)

 public:
  static constexpr uint32_t kHeaderSize = 44;
  static constexpr uint32_t kProvisionalSize = 0x7FFFFFFFu;
  // The most PCM bytes a file can hold: its whole size must stay below 4 GiB.
  static constexpr uint32_t kMaxDataBytes = 0xFFFFFFFFu - kHeaderSize;

  WaveFileEncoder();

  // Recognises its header buffer (free again); any other buffer has been
  // written and goes back to the master as InputConsumed.
  bool ReturnBuffer(RefPtr<AudioBuffer> buffer) override;

  void MakeFileFinal(const std::wstring& path) override;

  // Lowers the data limit (for tests); refused while running.
  bool SetDataLimit(uint32_t bytes);

  // What BuildHeader takes for a header whose sizes are not known yet (it
  // writes kProvisionalSize); no real size is this large.
  static constexpr uint32_t kSizesUnknown = 0xFFFFFFFFu;

  // The 44-byte header for `format` and `dataBytes` of PCM (0 is an empty
  // file's final header, kSizesUnknown the provisional one).
  static void BuildHeader(const WaveFormat& format, uint32_t dataBytes, uint8_t out[kHeaderSize]);

 protected:
  ~WaveFileEncoder() override = default;
  StopReason SetupStep() override;
  void ProcessStep() override;
  bool FinishStep() override;

 private:
  // Counts and forwards one PCM buffer (or hands it back).
  void Encode(RefPtr<AudioBuffer> buffer);
  // Waits for the header buffer to come back, at most `timeoutMs`.
  bool WaitHeaderFree(uint32_t timeoutMs);
  bool PostHeader(uint32_t dataBytes);
  // The header with the sizes so far, when a second has passed since the
  // last one and the header buffer is back.
  void RefreshHeader();

  RefPtr<AudioBuffer> m_header;  // guarded by m_lock
  bool m_headerFree = true;      // guarded by m_lock
  uint32_t m_dataLimit = kMaxDataBytes;  // guarded by m_lock
  // Encoder thread only:
  uint32_t m_dataBytes = 0;
  uint32_t m_runLimit = 0;
  uint32_t m_headerTick = 0;  // when the header was last posted
  bool m_full = false;
};

}  // namespace talvinor
