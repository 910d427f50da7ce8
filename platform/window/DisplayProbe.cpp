#include "platform/window/DisplayProbe.h"

#include <X11/Xlib.h>

#include "platform/Trace.h"

namespace talvinor {

bool XDisplayAnswers(const std::string& name) {
  // XOpenDisplay only returns null when it cannot connect; the I/O error
  // handler (which would end the process) is not involved before a
  // connection exists.
  Display* display = XOpenDisplay(name.c_str());
  if (!display) {
    Trace("XDisplayAnswers - XOpenDisplay(\"%s\") failed\r\n", name.c_str());
    return false;
  }
  XCloseDisplay(display);
  return true;
}

}  // namespace talvinor
