#include "codec/ReaderInputSource.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "codec/OggFileSource.h"

namespace talvinor {

namespace {
size_t ReadCallback(void* data, size_t size, size_t count, void* dataSource) {
  auto* reader = static_cast<ReaderInputSource*>(dataSource);
  if (size == 0 || count == 0) return 0;
  if (count > std::numeric_limits<size_t>::max() / size) count = std::numeric_limits<size_t>::max() / size;
  size_t done = reader->Read(data, size * count);
  // libvorbisfile tells a failed read from the end of the file by errno.
  errno = reader->Status() == ReaderStatus::Ok ? 0 : EIO;
  return done / size;
}

int SeekCallback(void* dataSource, ogg_int64_t offset, int origin) {
  auto* reader = static_cast<ReaderInputSource*>(dataSource);
  // Only -1 counts as a failure; positions past 2 GiB must not look like one.
  return reader->Seek(offset, origin) < 0 ? -1 : 0;
}

int CloseCallback(void* dataSource) { return static_cast<ReaderInputSource*>(dataSource)->Close(); }

long TellCallback(void* dataSource) { return static_cast<long>(static_cast<ReaderInputSource*>(dataSource)->Tell()); }
}  // namespace

ReaderInputSource::ReaderInputSource(OggFileSource* source) : m_source(source) {}

ReaderInputSource::ReaderInputSource(const uint8_t* data, size_t size) : m_bytes(data), m_size(size) {}

size_t ReaderInputSource::Read(void* data, size_t bytes) {
  if (m_status != ReaderStatus::Ok || !data || bytes == 0 || m_position < 0) return 0;
  if (!m_source) {
    if (static_cast<uint64_t>(m_position) >= m_size) return 0;
    size_t done = std::min<size_t>(bytes, m_size - static_cast<size_t>(m_position));
    std::memcpy(data, m_bytes + m_position, done);
    m_position += static_cast<int64_t>(done);
    return done;
  }
  size_t total = 0;
  uint8_t* out = static_cast<uint8_t*>(data);
  while (total < bytes) {
    uint32_t ask = static_cast<uint32_t>(std::min<size_t>(bytes - total, OggFileSource::kInputBufferSize));
    uint32_t done = 0;
    FileReadStatus status = m_source->ReadFileBytes(static_cast<uint64_t>(m_position), out + total, ask, &done);
    total += done;
    m_position += done;
    if (status == FileReadStatus::Failed) m_status = ReaderStatus::Failed;
    if (status == FileReadStatus::Stopped) m_status = ReaderStatus::Stopped;
    if (status != FileReadStatus::Ok || done < ask) break;
  }
  return total;
}

int64_t ReaderInputSource::Seek(int64_t offset, int origin) {
  int64_t base;
  switch (origin) {
    case 0: base = 0; break;
    case 1: base = m_position; break;
    case 2: base = static_cast<int64_t>(m_source ? m_source->FileSize() : m_size); break;
    default: return -1;
  }
  int64_t position = base + offset;
  if (position < 0) return -1;
  m_position = position;
  return position;
}

ov_callbacks ReaderInputSource::VorbisCallbacks() {
  ov_callbacks callbacks;
  callbacks.read_func = &ReadCallback;
  callbacks.seek_func = &SeekCallback;
  callbacks.close_func = &CloseCallback;
  callbacks.tell_func = &TellCallback;
  return callbacks;
}

}  // namespace talvinor
