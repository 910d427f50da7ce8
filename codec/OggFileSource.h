#pragma once
#include <cstdint>
#include <vector>

#include "audio/AudioSource.h"

namespace talvinor {

// How a read of file bytes through the master ended.
enum class FileReadStatus {
  Ok,       // data (or the end of the file) arrived
  Failed,   // the master refused the request or answered with something else
  Stopped,  // the source is being stopped
};

// What the two Ogg sources share: three 64 KB input buffers that carry their
// ReadBlock requests through the master to its file worker, and a read of
// file bytes at any position on top of them. The last block read is kept,
// so the small reads of a decoder library cost one request per 64 KB.
class OggFileSource : public AudioSource {
 public:
  static constexpr uint32_t kInputBufferSize = 65536;
  static constexpr uint32_t kInputBufferCount = 3;

  // Copies up to `count` bytes at file offset `position` into `out`;
  // `*done` is what was copied (less than asked: the end of the file).
  FileReadStatus ReadFileBytes(uint64_t position, void* out, uint32_t count, uint32_t* done);
  // The file size given at Open.
  uint64_t FileSize() { return GetOpenParameter(); }

 protected:
  OggFileSource() = default;
  ~OggFileSource() override = default;

  // Makes the three input buffers (kept across runs); false when the
  // storage cannot be had.
  bool CreateInputBuffers();
  // Marks every input buffer free again and forgets the kept block (a
  // request abandoned by a stop or seek may still hold one).
  void FreeInputBuffers();

 private:
  struct InputBuffer {
    RefPtr<AudioBuffer> buffer;
    bool free = true;
  };
  // Source thread only:
  std::vector<InputBuffer> m_inputBuffers;
  int m_cached = -1;             // index of the buffer holding the kept block
  uint64_t m_cachedOffset = 0;   // file offset of its first byte
  uint32_t m_cachedLength = 0;
};

}  // namespace talvinor
