#include "platform/power/XDisplayConnection.h"

#include <X11/Xlib.h>

#include <atomic>
#include <cstdlib>

#include "platform/Trace.h"

namespace talvinor {

namespace {

// Xlib calls its handlers on whatever thread met the error, for any display
// of the process; these tell ours apart.
std::atomic<Display*> g_ours{nullptr};
std::atomic<bool> g_lost{false};
std::atomic<int> g_lastError{0};  // X error code seen on our display since the last Sync; 0: none
XErrorHandler g_previousError = nullptr;
XIOErrorHandler g_previousIOError = nullptr;
bool g_handlersInstalled = false;  // UI thread

int OnError(Display* display, XErrorEvent* event) {
  if (display == g_ours.load()) {
    char text[128] = "";
    XGetErrorText(display, event->error_code, text, sizeof text);
    Trace("XDisplayConnection - X error %d (%s), request %d.%d\r\n", event->error_code, text, event->request_code,
          event->minor_code);
    g_lastError = event->error_code;
    return 0;
  }
  return g_previousError ? g_previousError(display, event) : 0;
}

int OnIOError(Display* display) {
  if (display == g_ours.load()) {
    Trace("XDisplayConnection - the connection to the X server broke\r\n");
    g_lost = true;
    return 0;
  }
  return g_previousIOError ? g_previousIOError(display) : 0;
}

// Xlib ends the process after the I/O error handler unless this says otherwise.
void SurviveIOError(Display*, void*) {}

}  // namespace

XDisplayConnection& XDisplayConnection::Shared() {
  static XDisplayConnection connection;
  return connection;
}

XDisplayConnection::~XDisplayConnection() { Drop(); }

void XDisplayConnection::Drop() {
  if (!m_display) return;
  XCloseDisplay(m_display);
  g_ours = nullptr;
  m_display = nullptr;
}

_XDisplay* XDisplayConnection::Get() {
  if (m_display && g_lost) Drop();
  if (m_display) return m_display;
  const char* name = std::getenv("DISPLAY");
  if (!name || !*name) {
    Trace("XDisplayConnection - DISPLAY is not set; no X display\r\n");
    return nullptr;
  }
  if (!g_handlersInstalled) {
    // Installed once and kept: a toolkit that opened its own display earlier
    // keeps its handlers for it through ours.
    g_previousError = XSetErrorHandler(OnError);
    g_previousIOError = XSetIOErrorHandler(OnIOError);
    g_handlersInstalled = true;
  }
  Display* display = XOpenDisplay(name);
  if (!display) {
    Trace("XDisplayConnection - XOpenDisplay(\"%s\") failed\r\n", name);
    return nullptr;
  }
  XSetIOErrorExitHandler(display, SurviveIOError, nullptr);
  g_lost = false;
  g_lastError = 0;
  g_ours = display;
  m_display = display;
  ++m_generation;
  return m_display;
}

bool XDisplayConnection::Sync() {
  if (!m_display || g_lost) return false;
  XSync(m_display, False);
  const int error = g_lastError.exchange(0);
  return error == 0 && !g_lost;
}

}  // namespace talvinor
