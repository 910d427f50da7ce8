#include "platform/power/DummyKey.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <cstring>

#include "platform/Trace.h"
#include "platform/power/XDisplayConnection.h"

namespace talvinor {

namespace {

// What was found out about the current connection.
struct KeyFacts {
  uint32_t generation = 0;  // of the connection these belong to; 0: none yet
  bool hasXTest = false;
  KeyCode keycode = 0;
};
KeyFacts g_facts;  // UI thread

KeyCode FindKeyPosition(Display* display, const char* name) {
  XkbDescPtr keyboard = XkbGetMap(display, 0, XkbUseCoreKbd);
  if (!keyboard) return 0;
  KeyCode found = 0;
  if (XkbGetNames(display, XkbKeyNamesMask, keyboard) == Success && keyboard->names && keyboard->names->keys) {
    for (int code = keyboard->min_key_code; code <= keyboard->max_key_code && !found; ++code)
      if (std::strncmp(keyboard->names->keys[code].name, name, XkbKeyNameLength) == 0)
        found = static_cast<KeyCode>(code);
  }
  XkbFreeKeyboard(keyboard, 0, True);
  return found;
}

void LearnFacts(Display* display, uint32_t generation) {
  g_facts = KeyFacts{};
  g_facts.generation = generation;
  int eventBase = 0, errorBase = 0, major = 0, minor = 0;
  g_facts.hasXTest = XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor);
  g_facts.keycode = XKeysymToKeycode(display, XK_F24);
  if (g_facts.keycode == 0) g_facts.keycode = FindKeyPosition(display, "FK24");
  if (!g_facts.hasXTest) Trace("SendDummyKeyPress - the X server has no XTEST extension\r\n");
  if (g_facts.keycode == 0) Trace("SendDummyKeyPress - the keyboard has no F24 key\r\n");
}

}  // namespace

bool SendDummyKeyPress() {
  XDisplayConnection& connection = XDisplayConnection::Shared();
  Display* display = connection.Get();
  if (!display) {
    Trace("SendDummyKeyPress - no X display; nothing sent\r\n");
    return false;
  }
  if (g_facts.generation != connection.Generation()) LearnFacts(display, connection.Generation());
  if (!g_facts.hasXTest || g_facts.keycode == 0) return false;
  XTestFakeKeyEvent(display, g_facts.keycode, True, CurrentTime);
  XTestFakeKeyEvent(display, g_facts.keycode, False, CurrentTime);
  // Waiting for the server keeps the pair in order with what comes next.
  return connection.Sync();
}

}  // namespace talvinor
