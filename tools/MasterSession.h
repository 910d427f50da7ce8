#pragma once
// What talvinor-cli record and play share: settings loaded as the program
// loads them, Japanese texts on the terminal, and the loop that follows a
// device master's state notices with a progress line, the space key and
// Ctrl-C.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "audio/Master.h"
#include "platform/window/HeadlessMessageQueue.h"
#include "settings/Config.h"

namespace talvinor::cli {

// The options both commands take.
struct DeviceRunOptions {
  std::string settingsFile;  // empty: talvinor.ini in the program folder
  bool useVirtual = false;   // the virtual test devices instead of ALSA's
  bool trace = false;        // the diagnostic trace on standard error
};

// Selects the backend and the trace as the options say.
void ApplyDeviceRunOptions(const DeviceRunOptions& options);

// The settings file loaded, repaired against the wave devices and with its
// empty paths filled, as the program does at start-up. False (after saying
// why on standard error) when the file exists but cannot be loaded.
bool LoadRunSettings(const std::string& file, RefPtr<CONFIG>* config);

// --device: a device number or the device's ALSA name ("default",
// "sysdefault:CARD=PCH"), of the input devices or the output devices; empty
// keeps `fallback`. False, after saying why, for a name no device has.
bool ResolveDevice(const std::string& text, bool input, uint32_t fallback, uint32_t* id);

// One line of program text in the terminal's encoding. A progress line
// drawn by RunSession is cleared first.
void PrintLine(std::FILE* stream, const std::wstring& text);

// "HH:MM:SS"; the hours are not limited to two digits.
std::wstring ClockText(uint32_t milliseconds);

// What a run does besides following the notices; every hook may be empty.
struct SessionHooks {
  // Every state change, in order.
  std::function<void(MasterState now, MasterState before)> onNotice;
  // The space key, when standard input is a terminal.
  std::function<void()> onSpace;
  // Asked every tick; true closes the master (reason 1).
  std::function<bool()> finished;
  // The progress line drawn on standard error while it is a terminal.
  std::function<std::wstring()> progress;
};

// Follows `master` (whose notices go to `window` as `message`) until its run
// has closed; Ctrl-C closes it with reason 1. Returns the stop reason.
StopReason RunSession(Master* master, HeadlessMessageQueue& window, uint32_t message, const SessionHooks& hooks);

}  // namespace talvinor::cli
