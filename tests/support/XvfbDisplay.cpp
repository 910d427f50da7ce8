#include "support/XvfbDisplay.h"

#include <poll.h>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/dpms.h>
#include <X11/extensions/record.h>
#include <X11/extensions/scrnsaver.h>
#include <X11/keysym.h>

#include <cstring>

#include "platform/Clock.h"

namespace talvinor::testing {

namespace {

constexpr uint32_t kStartTimeoutMs = 15000;

// A display connection of the test's own, closed when it goes.
struct Connection {
  explicit Connection(const std::string& name) : display(XOpenDisplay(name.c_str())) {}
  ~Connection() {
    if (display) XCloseDisplay(display);
  }
  Display* display;
};

}  // namespace

bool XvfbDisplay::Installed() { return ProgramInPath("Xvfb"); }

bool XvfbDisplay::Start(const std::string& logPath, std::string* error, int displayNumber) {
  std::vector<std::string> argv = {"Xvfb"};
  if (displayNumber >= 0) argv.push_back(":" + std::to_string(displayNumber));
  // -noreset: the server keeps its state when its last client goes.
  for (const char* arg : {"-displayfd", "3", "-nolisten", "tcp", "-noreset", "-screen", "0", "640x480x24"})
    argv.emplace_back(arg);
  if (!m_server.Start(argv, 3, logPath)) {
    *error = "Xvfb does not start";
    return false;
  }
  std::string line;
  if (!m_server.ReadLine(&line, kStartTimeoutMs) || line.empty()) {
    *error = "Xvfb reported no display number (see " + logPath + ")";
    m_server.Stop();
    return false;
  }
  m_number = std::atoi(line.c_str());
  return true;
}

struct KeyEventRecorder::Private {
  Display* control = nullptr;
  Display* data = nullptr;
  XRecordContext context = 0;
  bool started = false;
  uint8_t marker = 0;
  std::vector<RecordedKey> events;

  static void OnData(XPointer closure, XRecordInterceptData* intercepted) {
    auto* self = reinterpret_cast<Private*>(closure);
    if (intercepted->category == XRecordStartOfData) self->started = true;
    if (intercepted->category == XRecordFromServer && intercepted->data_len > 0) {
      const unsigned char* bytes = intercepted->data;
      const int type = bytes[0] & 0x7F;
      if (type == KeyPress || type == KeyRelease) self->events.push_back(RecordedKey{type == KeyPress, bytes[1]});
    }
    XRecordFreeData(intercepted);
  }

  // Handles what the server sent, waiting up to `ms` for something.
  void Process(int ms) {
    struct pollfd p = {ConnectionNumber(data), POLLIN, 0};
    if (XPending(data) == 0) ::poll(&p, 1, ms);
    XRecordProcessReplies(data);
  }
};

KeyEventRecorder::KeyEventRecorder() : m(std::make_unique<Private>()) {}

KeyEventRecorder::~KeyEventRecorder() {
  if (m->control && m->context) {
    XRecordDisableContext(m->control, m->context);
    XRecordFreeContext(m->control, m->context);
    XSync(m->control, False);
  }
  if (m->data) XCloseDisplay(m->data);
  if (m->control) XCloseDisplay(m->control);
}

bool KeyEventRecorder::Start(const std::string& display) {
  m->control = XOpenDisplay(display.c_str());
  m->data = XOpenDisplay(display.c_str());
  if (!m->control || !m->data) return false;
  int major = 0, minor = 0;
  if (!XRecordQueryVersion(m->control, &major, &minor)) return false;
  m->marker = XKeysymToKeycode(m->control, XK_Shift_L);
  XRecordRange* range = XRecordAllocRange();
  range->device_events.first = KeyPress;
  range->device_events.last = KeyRelease;
  XRecordClientSpec clients = XRecordAllClients;
  m->context = XRecordCreateContext(m->control, 0, &clients, 1, &range, 1);
  XFree(range);
  XSync(m->control, False);
  if (!m->context || !XRecordEnableContextAsync(m->data, m->context, &Private::OnData, reinterpret_cast<XPointer>(m.get())))
    return false;
  const uint32_t start = GetTickCount();
  while (!m->started && TicksSince(start, GetTickCount()) < kStartTimeoutMs) m->Process(10);
  return m->started;
}

uint8_t KeyEventRecorder::MarkerKeycode() const { return m->marker; }

bool KeyEventRecorder::EventsUpToMarker(std::vector<RecordedKey>* events, uint32_t timeoutMs) {
  XTestFakeKeyEvent(m->control, m->marker, True, CurrentTime);
  XTestFakeKeyEvent(m->control, m->marker, False, CurrentTime);
  XSync(m->control, False);
  const RecordedKey release{false, m->marker};
  const uint32_t start = GetTickCount();
  for (;;) {
    for (size_t i = 0; i < m->events.size(); ++i) {
      if (m->events[i] == release && i > 0 && m->events[i - 1] == RecordedKey{true, m->marker}) {
        events->assign(m->events.begin(), m->events.begin() + static_cast<long>(i) - 1);
        m->events.erase(m->events.begin(), m->events.begin() + static_cast<long>(i) + 1);
        return true;
      }
    }
    if (TicksSince(start, GetTickCount()) >= timeoutMs) return false;
    m->Process(10);
  }
}

uint8_t KeyPositionCode(const std::string& display, const char* name) {
  Connection connection(display);
  if (!connection.display) return 0;
  XkbDescPtr keyboard = XkbGetMap(connection.display, 0, XkbUseCoreKbd);
  if (!keyboard) return 0;
  uint8_t found = 0;
  if (XkbGetNames(connection.display, XkbKeyNamesMask, keyboard) == Success) {
    for (int code = keyboard->min_key_code; code <= keyboard->max_key_code && !found; ++code)
      if (std::strncmp(keyboard->names->keys[code].name, name, XkbKeyNameLength) == 0) found = static_cast<uint8_t>(code);
  }
  XkbFreeKeyboard(keyboard, 0, True);
  return found;
}

uint8_t F24Keycode(const std::string& display) {
  Connection connection(display);
  return connection.display ? XKeysymToKeycode(connection.display, XK_F24) : 0;
}

bool XScreenSaverIsOn(const std::string& display, bool* on) {
  Connection connection(display);
  if (!connection.display) return false;
  XScreenSaverInfo info{};
  if (!XScreenSaverQueryInfo(connection.display, DefaultRootWindow(connection.display), &info)) return false;
  *on = info.state == ScreenSaverOn;
  return true;
}

bool ResetXScreenSaver(const std::string& display) {
  Connection connection(display);
  if (!connection.display) return false;
  XForceScreenSaver(connection.display, ScreenSaverReset);
  XSync(connection.display, False);
  return true;
}

bool XDpmsLevel(const std::string& display, bool* hasDpms, int* level) {
  Connection connection(display);
  if (!connection.display) return false;
  int eventBase = 0, errorBase = 0;
  *hasDpms = DPMSQueryExtension(connection.display, &eventBase, &errorBase) && DPMSCapable(connection.display);
  if (!*hasDpms) return true;
  CARD16 power = 0;
  BOOL enabled = False;
  if (!DPMSInfo(connection.display, &power, &enabled)) return false;
  *level = power;
  return true;
}

}  // namespace talvinor::testing
