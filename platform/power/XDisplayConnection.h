#pragma once
#include <cstdint>

// Xlib's display type, named without Xlib's header (whose macros clash with Qt).
struct _XDisplay;

namespace talvinor {

// The X display the power services use: opened on first need from DISPLAY
// and kept. The server going away (a logout, a crashed X server) is survived:
// Xlib would end the process, so the connection installs handlers that mark
// this display lost instead (errors on any other display still go to the
// handlers that were there before), and the next Get opens it afresh.
// UI thread only.
class XDisplayConnection {
 public:
  static XDisplayConnection& Shared();
  ~XDisplayConnection();

  // The open display, opening it when needed; null (traced) when there is none.
  _XDisplay* Get();
  // Sends what is queued and waits until the server has handled it. False
  // when a request failed since the last Sync or the connection broke.
  bool Sync();
  // Counts the opens, so callers can keep facts about one connection.
  uint32_t Generation() const { return m_generation; }

 private:
  XDisplayConnection() = default;
  void Drop();

  _XDisplay* m_display = nullptr;
  uint32_t m_generation = 0;
};

}  // namespace talvinor
