#include "codec/OggCodecState.h"

#include <cstring>

#include "core/ScopedLock.h"

namespace talvinor {

OggCodecState::OggCodecState() : m_lock(Create<CriticalSectionObject>()) { std::memset(&m_stream, 0, sizeof m_stream); }

OggCodecState::~OggCodecState() { ClearStream(); }

int OggCodecState::StreamInit(int serial) {
  Locker lock(m_lock.Get());
  ClearStream();
  int result = ogg_stream_init(&m_stream, serial);
  m_streamInit = result == 0;
  return result;
}

int OggCodecState::PacketIn(ogg_packet* packet) {
  Locker lock(m_lock.Get());
  if (!m_streamInit) return -1;
  return ogg_stream_packetin(&m_stream, packet);
}

int OggCodecState::PageOut(ogg_page* page) {
  Locker lock(m_lock.Get());
  if (!m_streamInit) return 0;
  return ogg_stream_pageout(&m_stream, page);
}

int OggCodecState::Flush(ogg_page* page) {
  Locker lock(m_lock.Get());
  if (!m_streamInit) return 0;
  return ogg_stream_flush(&m_stream, page);
}

void OggCodecState::ClearStream() {
  Locker lock(m_lock.Get());
  if (m_streamInit) ogg_stream_clear(&m_stream);
  std::memset(&m_stream, 0, sizeof m_stream);
  m_streamInit = false;
}

bool OggCodecState::IsStreamInitialised() {
  Locker lock(m_lock.Get());
  return m_streamInit;
}

}  // namespace talvinor
