// Under ThreadSanitizer, the libraries the program and its tests use (Qt,
// libdbus, GLib, libX11) are not instrumented: their own locking and
// atomics are invisible to it, and it reports their internal hand-offs
// between their threads as races. Those reports are silenced here, in
// every program of a ThreadSanitizer build; a race whose two sides are both in our code
// is still reported.
extern "C" const char* __tsan_default_suppressions() {
  return "race:libQt6Core.so\n"
         "race:libQt6Gui.so\n"
         "race:libQt6Widgets.so\n"
         "race:libQt6DBus.so\n"
         "race:libdbus-1.so\n"
         "race:libglib-2.0.so\n"
         "deadlock:libdbus-1.so\n"
         "mutex:libX11.so\n";
}
