#pragma once

namespace talvinor {

// Presses and releases F24 through XTest on the X display, as the handset's
// synthetic key press does: the server counts it as the user's activity, and
// no program acts on a key that no keyboard has. Where the keyboard map binds
// no key to F24 (the usual case), the F24 key position itself (XKB name
// FK24) is pressed: it carries no symbol, so it is just as inert.
// False, traced, without an X display, XTest or such a key. UI thread only.
bool SendDummyKeyPress();

}  // namespace talvinor
