#pragma once
#include <cstdint>

#include "audio/AudioSource.h"

namespace talvinor {

// Reads linear PCM from a RIFF/WAVE file through its master's file worker:
// it finds the "fmt " and "data" chunks (skipping any others), then reads the
// data chunk straight into the PCM buffers the master hands it.
//
// A data chunk that claims more than the file holds (the provisional sizes of
// an interrupted recording, or a file cut short) ends where the file ends.
class WaveFileSource : public AudioSource {
  TALVINOR_CLASS_CODES(0x20023, 0x1210, 0x20011, 0x20021)

 public:
  WaveFileSource();

  // Milliseconds of the data chunk and of the data read so far.
  uint32_t GetLength() override;
  uint32_t GetPosition() override;
  uint32_t GetBufferSize() override { return 8192; }
  uint32_t GetBufferCount() override { return 4; }

  // File offset of the first PCM byte and the data chunk's length, once open.
  uint32_t GetDataStart();
  uint32_t GetDataSize();

 protected:
  ~WaveFileSource() override = default;
  StopReason SetupStep() override;
  void ProcessStep() override;
  bool FinishStep() override;
  // Moves the read position to the frame at `milliseconds`, or to the end of
  // the data for a target past it.
  uint32_t SeekStream(uint32_t milliseconds) override;

 private:
  // Reads up to `count` bytes at `offset` into the header buffer; the number
  // read, -1 when the read failed, -2 when the source is being stopped.
  int64_t ReadHeaderBytes(uint32_t offset, uint32_t count);
  // The read position for `milliseconds`, on a frame boundary.
  uint32_t SeekPosition(uint32_t milliseconds);

  RefPtr<AudioBuffer> m_headerBuffer;
  uint32_t m_readPosition = 0;  // guarded by m_lock
  uint32_t m_dataStart = 0;     // guarded by m_lock
  uint32_t m_dataSize = 0;      // guarded by m_lock
};

}  // namespace talvinor
