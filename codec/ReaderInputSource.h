#pragma once
#include <vorbis/vorbisfile.h>

#include <cstddef>
#include <cstdint>

#include "core/RefPtr.h"

namespace talvinor {

class OggFileSource;

// How the last reads of a reader ended.
enum class ReaderStatus {
  Ok,       // every read was answered (a short one: the end of the file)
  Failed,   // a read failed; the file could not be read on
  Stopped,  // the source is being stopped
};

// The file as a decoder sees it: read, seek and tell over the bytes that
// the source's master reads for it. Handed to the Speex file decoder and,
// as callbacks, to libvorbisfile. It keeps no reference on its source, which
// owns it and outlives every use.
class ReaderInputSource : public RefObject {
 public:
  explicit ReaderInputSource(OggFileSource* source);
  // A reader over `size` bytes at `data`, which outlive it: the decoders
  // without a master, as tools and the fuzz targets use them.
  ReaderInputSource(const uint8_t* data, size_t size);

  // Copies up to `bytes` bytes from the current position and moves past
  // them; 0 at the end of the file or once a read has failed.
  size_t Read(void* data, size_t bytes);
  // Origin 0: from the start, 1: from the current position, 2: from the end
  // of the file. The new position, or -1 (unchanged) for any other origin or
  // a position before the start.
  int64_t Seek(int64_t offset, int origin);
  int64_t Tell() const { return m_position; }
  int Close() { return 0; }

  ReaderStatus Status() const { return m_status; }
  void ClearStatus() { m_status = ReaderStatus::Ok; }

  // The libvorbisfile callbacks over a reader passed as the data source.
  static ov_callbacks VorbisCallbacks();

 private:
  OggFileSource* m_source = nullptr;
  const uint8_t* m_bytes = nullptr;  // without a source: the bytes read
  size_t m_size = 0;
  // Source thread only:
  int64_t m_position = 0;
  ReaderStatus m_status = ReaderStatus::Ok;
};

}  // namespace talvinor
