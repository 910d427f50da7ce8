#include "audio/WaveHeaderBuffer.h"

namespace talvinor {

WaveHeaderBuffer::WaveHeaderBuffer() = default;

bool WaveHeaderBuffer::AttachStorage(const WAVEHDR& headerTemplate, uint32_t size) {
  if (headerTemplate.lpData != nullptr || size == 0) return false;
  uint8_t* storage = Reserve(size);
  if (!storage) return false;
  m_header = headerTemplate;
  m_header.lpData = reinterpret_cast<char*>(storage);
  m_header.dwBufferLength = size;
  return true;
}

}  // namespace talvinor
