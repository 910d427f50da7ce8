#include "ui/StatusLine.h"

#include <QPainter>
#include <QWidget>

#include "core/ScopedLock.h"
#include "core/Worker.h"
#include "platform/Clock.h"
#include "platform/ManualResetEvent.h"
#include "platform/Trace.h"
#include "ui/QtConversions.h"

namespace talvinor {

// Everything the worker and the painter share.
class StatusLine::State : public RefObject {
 public:
  CriticalSectionObject* Lock() { return m_lock.Get(); }

  // guarded by Lock()
  std::wstring normalText;
  std::wstring messageText;
  StatusShown shown = StatusShown::Normal;
  ColorRef normalBackground = kWhite;
  ColorRef flash = kWhite;
  ColorRef background = kWhite;
  uint32_t fadeMs = kFadeMs;
  uint32_t showMs = kShowMs;

 private:
  RefPtr<CriticalSectionObject> m_lock = talvinor::Create<CriticalSectionObject>();
};

// The worker of one message: fades the background, then brings the normal
// text back once the display time is over. It touches only the shared state
// and asks for redraws by posting, so it never reaches a window that is gone.
class StatusLine::Fader : public Worker {
 public:
  Fader(RefPtr<State> state, WindowId window) : m_state(std::move(state)), m_window(window) {}

  bool Stop(uint32_t timeoutMs) override {
    RequestStop();
    m_wake.Set();
    return Wait(timeoutMs);
  }
  uint32_t Run() override;

 private:
  // True when a stop was asked for within `ms`.
  bool StopWithin(uint32_t ms) { return m_wake.Wait(ms) && IsStopRequested(); }

  const RefPtr<State> m_state;
  const WindowId m_window;
  ManualResetEvent m_wake;
};

namespace {

class StatusLineWidget : public QWidget {
 public:
  StatusLineWidget(RefPtr<StatusLine::State> state, QWidget* parent) : QWidget(parent), m_state(std::move(state)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    Locker lock(m_state->Lock());
    painter.fillRect(rect(), ToQColor(m_state->background));
    painter.setPen(Qt::black);
    painter.setBackgroundMode(Qt::TransparentMode);
    const std::wstring& text =
        m_state->shown == StatusShown::Message ? m_state->messageText : m_state->normalText;
    QString line = ToQString(text);
    line.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    painter.drawText(rect().adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, line);
  }

 private:
  RefPtr<StatusLine::State> m_state;
};

}  // namespace

StatusLine::StatusLine() : m_state(talvinor::Create<State>()) {}

// A worker that does not stop in time holds its own reference and ends alone.
StatusLine::~StatusLine() { StopWorker(1000); }

QWidget* StatusLine::CreateWidget(QWidget* parent, const std::wstring& text, uint32_t) {
  {
    Locker lock(m_state->Lock());
    m_state->normalText = text;
  }
  return new StatusLineWidget(m_state, parent);
}

intptr_t StatusLine::HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (message == kWmDestroy) StopWorker(1000);
  return Window::HandleMessage(message, wParam, lParam);
}

ColorRef StatusLine::Blend(ColorRef normal, ColorRef flash, int weight) {
  auto channel = [weight](int n, int f) { return (n * (256 - weight) + f * weight) / 256; };
  return MakeRgb(channel(RedOf(normal), RedOf(flash)), channel(GreenOf(normal), GreenOf(flash)),
                 channel(BlueOf(normal), BlueOf(flash)));
}

bool StatusLine::StopWorker(uint32_t waitMs) {
  if (!m_fader) return true;
  if (!m_fader->Stop(waitMs)) {
    Trace("StatusLine::StopWorker - the worker did not stop within %u ms\r\n", waitMs);
    return false;
  }
  m_fader = nullptr;
  return true;
}

void StatusLine::SetNormalText(const std::wstring& text) {
  if (!StopWorker(500)) return;
  {
    Locker lock(m_state->Lock());
    m_state->normalText = text;
    m_state->shown = StatusShown::Normal;
    m_state->background = m_state->normalBackground;
  }
  Redraw();
}

void StatusLine::ShowMessage(const std::wstring& text, ColorRef flash, uint32_t fadeMs, uint32_t showMs) {
  {
    Locker lock(m_state->Lock());
    m_state->fadeMs = fadeMs;
    m_state->flash = flash;
  }
  if (!StopWorker(1000)) return;
  {
    Locker lock(m_state->Lock());
    m_state->messageText = text;
    m_state->shown = StatusShown::Message;
    m_state->background = flash;
    m_state->showMs = showMs;
  }
  Redraw();
  RefPtr<Fader> fader = talvinor::Create<Fader>(m_state, Id());
  if (fader->Start()) {
    m_fader = fader;
  } else {
    Trace("StatusLine::ShowMessage - the worker could not start\r\n");
    Locker lock(m_state->Lock());
    m_state->shown = StatusShown::Normal;
    m_state->background = m_state->normalBackground;
    Redraw();
  }
}

uint32_t StatusLine::Fader::Run() {
  State* state = m_state.Get();
  const WindowId window = m_window;
  const uint32_t t0 = GetTickCount();
  ColorRef normal;
  ColorRef flash;
  uint32_t fadeMs;
  uint32_t showMs;
  {
    Locker lock(state->Lock());
    normal = state->normalBackground;
    flash = state->flash;
    fadeMs = state->fadeMs;
    showMs = state->showMs;
  }
  // The fade: weight 256 (all flash) down to 0 (all normal), redrawn each
  // time it changes, looked at every 100 ms.
  int lastWeight = -1;
  for (;;) {
    const uint32_t elapsed = TicksSince(t0, GetTickCount());
    int weight = 0;
    if (fadeMs > 0 && elapsed < fadeMs) weight = 256 - static_cast<int>((uint64_t{elapsed} * 256) / fadeMs);
    if (weight != lastWeight) {
      {
        Locker lock(state->Lock());
        state->background = Blend(normal, flash, weight);
      }
      PostMessage(window, kWmPaint, 0, 0);
      lastWeight = weight;
    }
    if (weight == 0) break;
    if (StopWithin(100)) return 0;
  }
  // Shown until the display time has passed since the start.
  for (;;) {
    const uint32_t elapsed = TicksSince(t0, GetTickCount());
    if (elapsed >= showMs) break;
    if (StopWithin(std::min<uint32_t>(100, showMs - elapsed))) return 0;
  }
  {
    Locker lock(state->Lock());
    state->shown = StatusShown::Normal;
    state->background = state->normalBackground;
  }
  PostMessage(window, kWmPaint, 0, 0);
  return 0;
}

void StatusLine::SetNormalBackground(ColorRef colour) {
  Locker lock(m_state->Lock());
  m_state->normalBackground = colour;
  if (m_state->shown == StatusShown::Normal) m_state->background = colour;
  Redraw();
}

StatusShown StatusLine::Shown() const {
  Locker lock(m_state->Lock());
  return m_state->shown;
}

std::wstring StatusLine::ShownText() const {
  Locker lock(m_state->Lock());
  return m_state->shown == StatusShown::Message ? m_state->messageText : m_state->normalText;
}

ColorRef StatusLine::CurrentBackground() const {
  Locker lock(m_state->Lock());
  return m_state->background;
}

uint32_t StatusLine::FadeTime() const {
  Locker lock(m_state->Lock());
  return m_state->fadeMs;
}

uint32_t StatusLine::DisplayTime() const {
  Locker lock(m_state->Lock());
  return m_state->showMs;
}

bool StatusLine::IsWorkerRunning() const { return m_fader && m_fader->IsRunning(); }

}  // namespace talvinor
