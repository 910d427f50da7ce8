#include "codec/OggFileSource.h"

#include <algorithm>
#include <cstring>

namespace talvinor {

bool OggFileSource::CreateInputBuffers() {
  if (m_inputBuffers.size() != kInputBufferCount) {
    m_inputBuffers.clear();
    for (uint32_t i = 0; i < kInputBufferCount; ++i) {
      InputBuffer input;
      input.buffer = Create<AudioBuffer>();
      if (!input.buffer->Reserve(kInputBufferSize)) {
        m_inputBuffers.clear();
        return false;
      }
      m_inputBuffers.push_back(std::move(input));
    }
  }
  FreeInputBuffers();
  return true;
}

void OggFileSource::FreeInputBuffers() {
  for (InputBuffer& input : m_inputBuffers) {
    if (!input.free) {
      // It may still travel through the master; a fresh one takes its place.
      input.buffer = Create<AudioBuffer>();
      input.buffer->Reserve(kInputBufferSize);
      input.free = true;
    }
  }
  m_cached = -1;
  m_cachedLength = 0;
}

FileReadStatus OggFileSource::ReadFileBytes(uint64_t position, void* out, uint32_t count, uint32_t* done) {
  uint8_t* target = static_cast<uint8_t*>(out);
  uint32_t copied = 0;
  const uint64_t size = FileSize();
  while (copied < count) {
    uint64_t at = position + copied;
    if (m_cached >= 0 && at >= m_cachedOffset && at < m_cachedOffset + m_cachedLength) {
      const AudioBuffer* cached = m_inputBuffers[m_cached].buffer.Get();
      uint32_t from = static_cast<uint32_t>(at - m_cachedOffset);
      uint32_t n = std::min(count - copied, m_cachedLength - from);
      std::memcpy(target + copied, cached->Data() + from, n);
      copied += n;
      continue;
    }
    // Past the end, or past what 32-bit file offsets reach: nothing more.
    if (at >= size || at >= 0xFFFFFFFFull) break;
    int index = -1;
    for (size_t i = 0; i < m_inputBuffers.size(); ++i) {
      if (m_inputBuffers[i].free && m_inputBuffers[i].buffer && m_inputBuffers[i].buffer->Capacity() >= kInputBufferSize) {
        index = static_cast<int>(i);
        break;
      }
    }
    if (index < 0) {
      *done = copied;
      return FileReadStatus::Failed;
    }
    InputBuffer& input = m_inputBuffers[index];
    input.free = false;
    m_cached = -1;
    input.buffer->Reserve(kInputBufferSize);
    switch (RequestRead(input.buffer, static_cast<uint32_t>(at), kInputBufferSize)) {
      case ReadResult::Done:
        break;
      case ReadResult::Failed:
        *done = copied;
        return FileReadStatus::Failed;
      case ReadResult::Stopped:
        *done = copied;
        return FileReadStatus::Stopped;
    }
    input.free = true;
    uint32_t length = std::min(input.buffer->Length(), kInputBufferSize);
    if (length == 0 || !input.buffer->Data()) break;  // a short read is the end of the file
    m_cached = index;
    m_cachedOffset = at;
    m_cachedLength = length;
  }
  *done = copied;
  return FileReadStatus::Ok;
}

}  // namespace talvinor
