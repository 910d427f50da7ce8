#pragma once

namespace talvinor {

// Tells the desktop's screen saver that the user is active, resetting its
// idle time as the handset's idle-timer reset does:
// org.freedesktop.ScreenSaver.SimulateUserActivity on the session bus, at
// /org/freedesktop/ScreenSaver or, for desktops that serve only that,
// /ScreenSaver (the path that answered is used from then on).
//
// Asynchronous: the call is sent and its answer (or a failure, traced)
// handled later by the event loop, so the UI thread never waits. False,
// traced, when there is no Qt application or no session bus. UI thread only.
bool SimulateUserActivity();

}  // namespace talvinor
