#pragma once
#include <atomic>
#include <cstdint>

#include "codec/OggFileSource.h"
#include "codec/ReaderInputSource.h"
#include "codec/VorbisCodecState.h"

namespace talvinor {

// Plays an Ogg Vorbis file through libvorbisfile: 16-bit signed
// little-endian interleaved PCM, seeking by time, every link of a chained
// file in turn. The stream's comments become the tag list, each as one entry
// with an empty name and the whole "NAME=value" text as its value.
//
// A link whose channels or rate differ from the first ends the stream there:
// the device was opened for the first link's format and would play the rest
// at the wrong speed or with its channels mixed up.
class VorbisFileSource : public OggFileSource {
  TALVINOR_CLASS_CODES(0x20024, 0x1210, 0x20011, 0x20021)

 public:
  VorbisFileSource();

  // Whole stream (all links) and the position reached, in milliseconds; 0
  // while idle or starting. Both are kept by the decoding thread, so asking
  // never waits for a read in progress.
  uint32_t GetLength() override;
  uint32_t GetPosition() override;
  uint32_t GetBufferSize() override { return 8192; }
  uint32_t GetBufferCount() override { return 6; }

 protected:
  ~VorbisFileSource() override = default;
  StopReason SetupStep() override;
  void ResumeStep() override;
  void ProcessStep() override;
  bool FinishStep() override;
  // A target the decoder cannot reach (past the end) leaves it where it was.
  uint32_t SeekStream(uint32_t milliseconds) override;

 private:
  // Moves the decoder to `milliseconds`; true when it got there.
  bool SeekTo(uint32_t milliseconds);
  void UpdatePosition();

  RefPtr<VorbisCodecState> m_state;
  RefPtr<ReaderInputSource> m_reader;
  std::atomic<uint32_t> m_lengthMs{0};
  std::atomic<uint32_t> m_positionMs{0};
  // Source thread only:
  int m_channels = 0;
  long m_rate = 0;
  int m_holes = 0;  // damaged stretches skipped in a row
};

}  // namespace talvinor
