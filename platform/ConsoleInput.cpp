#include "platform/ConsoleInput.h"

#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

#include "platform/Clock.h"
#include "platform/Trace.h"

namespace talvinor {

namespace {
std::atomic<int> g_signal{0};
struct sigaction g_oldInt;
struct sigaction g_oldTerm;

void OnSignal(int number) {
  int none = 0;
  g_signal.compare_exchange_strong(none, number);
}

static_assert(sizeof(termios) <= 64, "the saved terminal settings fit their room");
}  // namespace

InterruptCatcher::InterruptCatcher() {
  g_signal.store(0);
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = &OnSignal;
  sigemptyset(&action.sa_mask);
  if (sigaction(SIGINT, &action, &g_oldInt) != 0) TraceErrno(errno, "sigaction SIGINT");
  if (sigaction(SIGTERM, &action, &g_oldTerm) != 0) TraceErrno(errno, "sigaction SIGTERM");
}

InterruptCatcher::~InterruptCatcher() {
  if (sigaction(SIGINT, &g_oldInt, nullptr) != 0) TraceErrno(errno, "sigaction SIGINT");
  if (sigaction(SIGTERM, &g_oldTerm, nullptr) != 0) TraceErrno(errno, "sigaction SIGTERM");
}

bool InterruptCatcher::Requested() const { return g_signal.load() != 0; }

int InterruptCatcher::Signal() const { return g_signal.load(); }

KeyInput::KeyInput() {
  if (::isatty(STDIN_FILENO) != 1) return;
  termios saved;
  if (tcgetattr(STDIN_FILENO, &saved) != 0) {
    TraceErrno(errno, "tcgetattr on standard input");
    return;
  }
  termios raw = saved;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  raw.c_cc[VMIN] = 0;
  raw.c_cc[VTIME] = 0;
  if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) {
    TraceErrno(errno, "tcsetattr on standard input");
    return;
  }
  std::memcpy(m_saved, &saved, sizeof saved);
  m_active = true;
}

KeyInput::~KeyInput() {
  if (!m_active) return;
  termios saved;
  std::memcpy(&saved, m_saved, sizeof saved);
  if (tcsetattr(STDIN_FILENO, TCSANOW, &saved) != 0) TraceErrno(errno, "tcsetattr on standard input");
}

int KeyInput::Poll(uint32_t timeoutMs) {
  if (!m_active || m_hungUp) {
    Sleep(timeoutMs);
    return -1;
  }
  pollfd fd{STDIN_FILENO, POLLIN, 0};
  int ready = ::poll(&fd, 1, static_cast<int>(timeoutMs));
  if (ready < 0) {
    // A signal (Ctrl-C) ends the wait early; the caller looks at it.
    if (errno != EINTR) TraceErrno(errno, "poll on standard input");
    return -1;
  }
  if (ready == 0) return -1;
  if (!(fd.revents & POLLIN)) {
    // The terminal went away: nothing more will come.
    m_hungUp = true;
    return -1;
  }
  unsigned char key = 0;
  ssize_t got = ::read(STDIN_FILENO, &key, 1);
  if (got == 1) return key;
  if (got < 0 && errno != EINTR && errno != EAGAIN) TraceErrno(errno, "read from standard input");
  return -1;
}

}  // namespace talvinor
