#pragma once

namespace talvinor {

// Which standard stream a question is about.
enum class StandardStream { Output, Error };

// True when the stream is connected to a terminal (progress lines are only
// drawn there).
bool IsTerminal(StandardStream stream);

}  // namespace talvinor
