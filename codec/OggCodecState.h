#pragma once
#include <ogg/ogg.h>

#include <cstdint>

#include "core/CriticalSectionObject.h"

namespace talvinor {

// The Ogg half of a codec state: one logical stream being written, with its
// own lock. Every libogg call on the stream is made with the lock held, one
// lock per state object, because the owner's thread encodes while a tear-down
// on another thread may reset the state.
class OggCodecState : public RefObject {
 public:
  // Clears a stream already initialised, then ogg_stream_init.
  int StreamInit(int serial);
  int PacketIn(ogg_packet* packet);
  // 1 when a page was produced (its pointers stay valid until the next call
  // on the stream, which the caller makes only after copying the page).
  int PageOut(ogg_page* page);
  int Flush(ogg_page* page);
  void ClearStream();
  bool IsStreamInitialised();

  CriticalSectionObject* Lock() const { return m_lock.Get(); }

 protected:
  OggCodecState();
  ~OggCodecState() override;

  RefPtr<CriticalSectionObject> m_lock;

 private:
  ogg_stream_state m_stream;   // guarded by m_lock
  bool m_streamInit = false;   // guarded by m_lock
};

}  // namespace talvinor
