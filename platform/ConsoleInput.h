#pragma once
#include <cstdint>

namespace talvinor {

// Ctrl-C (and a polite kill, SIGTERM) while a command-line run is in
// progress: caught as a request the run can answer, for example by stopping
// a recording so the file is finished, instead of ending the process at
// once. One catcher at a time; the previous handling comes back when it goes.
class InterruptCatcher {
 public:
  InterruptCatcher();
  ~InterruptCatcher();
  InterruptCatcher(const InterruptCatcher&) = delete;
  InterruptCatcher& operator=(const InterruptCatcher&) = delete;

  // True once Ctrl-C has been pressed (or SIGTERM received) since creation.
  bool Requested() const;
  // The signal that came first (SIGINT or SIGTERM), 0 while none has.
  int Signal() const;
};

// Single key presses from standard input while it is a terminal: the
// terminal stops echoing and waiting for Enter for the life of the object,
// and is restored afterwards. Ctrl-C still interrupts.
class KeyInput {
 public:
  KeyInput();
  ~KeyInput();
  KeyInput(const KeyInput&) = delete;
  KeyInput& operator=(const KeyInput&) = delete;

  // True when standard input is a terminal and was switched.
  bool Active() const { return m_active; }
  // The next key pressed within `timeoutMs` (its byte), or -1 when none was
  // (or standard input is no terminal; the call then just waits).
  int Poll(uint32_t timeoutMs);

 private:
  bool m_active = false;
  bool m_hungUp = false;  // the terminal went away while switched
  unsigned char m_saved[64];  // the terminal's settings before the switch (a termios)
};

}  // namespace talvinor
