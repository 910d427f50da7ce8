#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/SpawnedProcess.h"

namespace talvinor::testing {

// An Xvfb server of the test's own on a free display number (the server
// picks it and reports it once it accepts connections).
class XvfbDisplay {
 public:
  // Whether the Xvfb program is installed.
  static bool Installed();
  // Starts a server; `displayNumber` -1 lets it choose a free one. Its log
  // goes to `logPath`. False, with `error`, when it does not come up.
  bool Start(const std::string& logPath, std::string* error, int displayNumber = -1);
  void Stop() { m_server.Stop(); }
  int Number() const { return m_number; }
  std::string Name() const { return ":" + std::to_string(m_number); }

 private:
  SpawnedProcess m_server;
  int m_number = -1;
};

// One key event as the X server delivered it.
struct RecordedKey {
  bool press = false;
  uint8_t keycode = 0;
  friend bool operator==(const RecordedKey&, const RecordedKey&) = default;
};

// Sees every key event the X server delivers, whoever caused it, through
// the RECORD extension, on two connections of its own.
class KeyEventRecorder {
 public:
  KeyEventRecorder();
  ~KeyEventRecorder();
  // Records from `display` on; true once the server has started recording.
  bool Start(const std::string& display);
  // Presses and releases a marker key from the recorder's own connection and
  // waits until it comes back: every key event the server took before is
  // then recorded. The events before the marker, without it.
  bool EventsUpToMarker(std::vector<RecordedKey>* events, uint32_t timeoutMs = 5000);
  uint8_t MarkerKeycode() const;

 private:
  struct Private;
  std::unique_ptr<Private> m;
};

// The keycode of the key position `name` ("FK24") in the server's XKB map; 0 when none.
uint8_t KeyPositionCode(const std::string& display, const char* name);
// The keycode the server's map binds to the F24 symbol; 0 when none.
uint8_t F24Keycode(const std::string& display);
// Whether the X screen saver is on (MIT-SCREEN-SAVER); false when it cannot tell.
bool XScreenSaverIsOn(const std::string& display, bool* on);
// Ends the screen saver, as user input would.
bool ResetXScreenSaver(const std::string& display);
// Whether the server has DPMS, and if so its level (DPMSModeOn 0 .. DPMSModeOff 3).
bool XDpmsLevel(const std::string& display, bool* hasDpms, int* level);

}  // namespace talvinor::testing
