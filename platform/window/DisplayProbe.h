#pragma once
#include <string>

namespace talvinor {

// Whether an X server answers on the display `name` (DISPLAY's form, ":0").
// Opens a connection of its own and closes it again; Xlib's connection
// failure is reported, never turned into an exit.
bool XDisplayAnswers(const std::string& name);

}  // namespace talvinor
