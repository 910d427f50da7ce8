#pragma once
#include <functional>
#include <memory>
#include <string>

#include "platform/window/WindowMessages.h"

namespace talvinor {

// The Qt application of the window program and the process-wide services
// that come with it: the event loop, the modal-dialog test, the screen size
// and the key hook through which the frame sees every key first.
class UiApplication {
 public:
  // Whether a Qt platform can start here; `why` says otherwise, in words a
  // user can act on. Checked before construction because Qt ends the
  // process when it finds no display.
  static bool DisplayAvailable(std::string* why);

  // Creates the Qt application (one per process) and installs the font
  // substitutions and the key hook's filter. `argc` must outlive it.
  UiApplication(int& argc, char** argv);
  ~UiApplication();
  UiApplication(const UiApplication&) = delete;
  UiApplication& operator=(const UiApplication&) = delete;

  // Runs the event loop until Quit; returns its exit code.
  int Run();
  // Ends the event loop with `code` (the quit message).
  static void Quit(int code);
  // Handles the events that are waiting (tests, waits on the UI thread).
  static void ProcessEvents();

  // True while a modal dialog or message box is open: the frame counts as
  // disabled then and refuses external commands.
  static bool IsModalDialogOpen();
  // Closes the open modal dialogs as if each had been cancelled; their
  // nested loops end once control returns to the event loop.
  static void CloseModalDialogs();
  // Size of the primary screen in pixels; false without a screen.
  static bool GetScreenSize(int* width, int* height);

  // Sees each key press and release before the focused control does, as
  // kWmKeyDown / kWmKeyUp with the focused window's id in `window`; a true
  // answer consumes the key.
  using KeyHook = std::function<bool(const WindowMessage& key)>;
  static void SetKeyHook(KeyHook hook);

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace talvinor
